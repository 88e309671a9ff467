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
uint32_t g_nGangSerialNext = 0;
uint32_t g_bKeyWrite = 0;
std::array<uint8_t, 16> g_KeyBytes{};
std::array<uint8_t, 16> g_LoadedKeyBytes{};
std::array<uint8_t, 3> g_LoadedSerialFixed{};
uint32_t g_bKeyLoaded = 0;
uint32_t g_dwKeyAddr = 0;
uint32_t g_bLogSteps = 0;
uint32_t g_nComExtraDelay = 0;
uint32_t g_bProtectNoProgram = 0;
uint32_t g_bProtectNoRead = 0;
std::array<std::atomic<uint32_t>, 4> g_bSocketPass{};

void LoadGangSettings() {
    // Every run reads the store afresh: a value removed since the last run gives its default
    // again, never what the last run took.
    g_dwOptionAddr = RegLoadIfStored("Option Addr", GetFlashTailAddr(g_nChipMode));
    g_dwKeyAddr = GetFlashBlockSize(g_nChipMode);
    g_bEncry = RegLoadIfStored("ENCRY", 1);
    g_bCodeOption = RegLoadIfStored("Code Option", 0);
    g_bOptionSerial = RegLoadIfStored("Option Serial", 1);
    g_bGangSerialEnable = RegLoadIfStored("Gang Serial En", 0);
    const auto& loaded = g_LoadedSerialFixed;
    const uint32_t fixed = RegLoadIfStored("Gang Serial Fixed", uint32_t{loaded[0]} << 16 | loaded[1] << 8 | loaded[2]);
    g_GangSerialFixed = {static_cast<uint8_t>(fixed >> 16), static_cast<uint8_t>(fixed >> 8), static_cast<uint8_t>(fixed)};
    g_bKeyWrite = RegLoadIfStored("Key Write", 0);
    if (!RegLoadKeyBytes(g_KeyBytes)) g_KeyBytes = g_LoadedKeyBytes;
    g_bLogSteps = RegLoadIfStored("Log Steps", 0);
    g_nComExtraDelay = RegLoadIfStored("COM Extra Delay", 0);
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
