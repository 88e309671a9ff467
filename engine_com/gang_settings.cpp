#include "engine_com/gang_settings.h"

#include <algorithm>

#include "core/globals.h"
#include "core/registry_settings.h"
#include "core/validators.h"

uint32_t g_dwOptionAddr = 0;
uint32_t g_bOptionSerial = 1;
uint32_t g_bGangSerialEnable = 0;
std::array<uint8_t, 3> g_GangSerialFixed{};
uint32_t g_nGangSerial = 0;
uint32_t g_bKeyWrite = 0;
std::array<uint8_t, 16> g_KeyBytes{};
uint32_t g_bKeyLoaded = 0;
uint32_t g_dwKeyAddr = 0;
uint32_t g_bLogSteps = 0;
uint32_t g_nComExtraDelay = 0;
uint32_t g_bProtectNoProgram = 0;
uint32_t g_bProtectNoRead = 0;
std::array<std::atomic<uint32_t>, 4> g_bSocketPass{};

void LoadGangSettings() {
    g_dwOptionAddr = RegLoadIfStored("Option Addr", GetFlashTailAddr(g_nChipMode));
    g_dwKeyAddr = GetFlashBlockSize(g_nChipMode);
    g_bEncry = RegLoadIfStored("ENCRY", g_bEncry);
    g_bCodeOption = RegLoadIfStored("Code Option", g_bCodeOption);
    g_bOptionSerial = RegLoadIfStored("Option Serial", g_bOptionSerial);
    g_bGangSerialEnable = RegLoadIfStored("Gang Serial En", g_bGangSerialEnable);
    const uint32_t fixed = RegLoadIfStored(
        "Gang Serial Fixed", uint32_t{g_GangSerialFixed[0]} << 16 | g_GangSerialFixed[1] << 8 | g_GangSerialFixed[2]);
    g_GangSerialFixed = {static_cast<uint8_t>(fixed >> 16), static_cast<uint8_t>(fixed >> 8), static_cast<uint8_t>(fixed)};
    g_bKeyWrite = RegLoadIfStored("Key Write", g_bKeyWrite);
    RegLoadKeyBytes(g_KeyBytes);
    g_bLogSteps = RegLoadIfStored("Log Steps", g_bLogSteps);
    g_nComExtraDelay = RegLoadIfStored("COM Extra Delay", g_nComExtraDelay);
}

std::array<uint8_t, 8> CodeOptionBlock() {
    std::array<uint8_t, 8> block;
    block.fill(0xFF);
    if (g_bEncry) block[0] = 0xFA;
    if (!g_bCodeOption) return block;
    block[0] &= 0xAF;
    if (g_bGangSerialEnable) {
        block[1] = static_cast<uint8_t>(g_nGangSerial >> 16);
        block[2] = static_cast<uint8_t>(g_nGangSerial >> 8);
        block[3] = static_cast<uint8_t>(g_nGangSerial);
    } else {
        std::copy(g_GangSerialFixed.begin(), g_GangSerialFixed.end(), block.begin() + 1);
    }
    block[4] = g_bProtectNoProgram ? 0x00 : g_bProtectNoRead ? 0x10 : 0xFF;
    return block;
}
