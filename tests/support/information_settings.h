#pragma once
// The information-block settings (enable flags, protection, parameter words and file) that a
// test changes, put back when it ends.
#include <array>
#include <cstdint>
#include <string>
#include <tuple>

#include "core/globals.h"

// Puts the information-block settings back as they were when it was made.
class InformationSettingsKept {
public:
    ~InformationSettingsKept() {
        std::tie(g_bInfoBlockEnable, g_bBootDataEnable, g_bParamEnable, g_bVidPidEnable, g_bPllEnable) = flags_;
        std::tie(g_nRdpLevel, g_nPcropType, g_dwProtectAddr) = protection_;
        g_wProtectMask = mask_;
        g_IspParam = parameters_;
        g_strExeDir = exeDir_;
        g_strParam = paramFile_;
    }

private:
    std::tuple<uint32_t, uint32_t, uint32_t, uint32_t, uint32_t> flags_{g_bInfoBlockEnable, g_bBootDataEnable,
                                                                         g_bParamEnable, g_bVidPidEnable, g_bPllEnable};
    std::tuple<uint32_t, uint32_t, uint32_t> protection_{g_nRdpLevel, g_nPcropType, g_dwProtectAddr};
    uint16_t mask_ = g_wProtectMask;
    std::array<uint16_t, 10> parameters_ = g_IspParam;
    std::string exeDir_ = g_strExeDir, paramFile_ = g_strParam;
};
