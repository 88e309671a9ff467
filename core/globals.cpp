#include "core/globals.h"

#include "platform/durable_file.h"
#include "platform/thread.h"

const std::array<std::string, kChipTableSize> g_strChipName = {
    "RQ45N064", "RQ45N032", "RQ27K316", "RQ23K204",  "RQ27K208",  "RQ23K216",  "RQ23K208",
    "RQ27K348", "RQ27K332", "RQ23K208S", "RQ23K204S", "RQ27K216S", "RQ27K208S", "RQ84M302",
};

const std::array<uint32_t, kChipTableSize> g_dwFlashSizeByMode = {
    0x10000, 0x8000, 0x4000, 0x1000, 0x2000, 0x4000, 0x2000,
    0xC000,  0x8000, 0x2000, 0x1000, 0x4000, 0x2000, 0xC000,
};

const std::array<std::array<uint8_t, 4>, kChipTableSize> g_OptionTailByMode = {{
    {0xFF, 0x0E, 0x00, 0x00}, {0xFF, 0x04, 0x00, 0x00}, {0xFF, 0x0E, 0x00, 0x00},
    {0xFF, 0x06, 0x04, 0x02}, {0xFF, 0x06, 0x04, 0x02}, {0xFF, 0x06, 0x04, 0x03},
    {0xFF, 0x06, 0x04, 0x03}, {0xFF, 0x06, 0x04, 0x02}, {0xFF, 0x04, 0x00, 0x00},
    {0xFF, 0x06, 0x04, 0x02}, {0xFF, 0x04, 0x00, 0x00}, {0x00, 0x00, 0x00, 0x00},
    {0x00, 0x00, 0x00, 0x00}, {0x00, 0x00, 0x00, 0x00},
}};

const std::string g_strVersion = "1.09";
std::string g_strExeDir;
std::string g_strLastDir;
std::string g_strLastFile;
std::string g_strIniPath;
std::string g_strParam;
std::unique_ptr<platform::DurableWriter> g_DataFile;

uint32_t g_dwOsMajor = 0;
uint32_t g_dwOsMinor = 0;
uint32_t g_dwWaitMs = 20;

uint8_t g_bLimitEnable = 0;
uint32_t g_nLimitQuantity = 0;
uint32_t g_bSerialEnable = 0;
uint32_t g_dwSerialAddr = 0;
uint32_t g_nLastSerial = 0;
uint32_t g_nTotalCount = 0;
uint32_t g_nPassCount = 0;
uint32_t g_nFailCount = 0;
uint8_t g_nChipMode = 0;
uint32_t g_bSerialAutoInc = 0;
uint32_t g_nSerialLocation = 0;
uint32_t g_dwFlashSize = 0x10000;
uint32_t g_nIspStartAddr = 0;
uint32_t g_nRdpLevel = 1;
uint32_t g_nPcropType = 2;
uint32_t g_dwProtectAddr = 0;
uint32_t g_bEncry = 1;
uint32_t g_bCodeOption = 0;
uint8_t g_nComPort = 0;
uint32_t g_nComBaudRate = 0;

uint32_t g_bBeepSound = 0;
uint32_t g_nFlashPageSize = 2048;

std::atomic<bool> g_bTaskWorking{false};
std::atomic<uint32_t> g_nDelayCount{0};
std::atomic<bool> g_bNoticeShown{false};
std::atomic<uint32_t> g_bTaskDone{0};

platform::Event g_hStopEvent;
platform::Event g_hReplyEvent;

std::array<uint32_t, 4> g_bSocketFound{};

uint32_t g_bWarnProtect = 1;
uint32_t g_bProtectContinue = 1;
uint32_t g_bWarnCodeOption = 1;
uint32_t g_bCodeOptionContinue = 1;

CUart_ISPDlg* g_pMainDlg = nullptr;
CISPDlg* g_pISPDlg = nullptr;
CFlashISP* g_pFlashISPDlg = nullptr;
CInfoBlk1Dlg* g_pInfoBlk1Dlg = nullptr;
CInfoBlk2Dlg* g_pInfoBlk2Dlg = nullptr;
CEepromDlg* g_pEepromDlg = nullptr;
QLabel* g_hwndStartAddr = nullptr;
QLabel* g_hwndSerialLast = nullptr;
QLabel* g_hwndFlashStatic = nullptr;
std::atomic<std::thread::id> g_hWorkThread{};

bool StartWorkThread(std::function<void()> fn) {
    std::thread::id started;
    if (!platform::startThread(std::move(fn), &started)) return false;
    g_hWorkThread = started;
    return true;
}

uint32_t FlashSizeOfMode(uint32_t mode) {
    return mode < g_dwFlashSizeByMode.size() ? g_dwFlashSizeByMode[mode] : 0;
}

// Information-block settings.
uint32_t g_bInfoBlockEnable = 0;
uint32_t g_bBootDataEnable = 0;
uint32_t g_bVidPidEnable = 0;
uint32_t g_bPllEnable = 0;
uint32_t g_bParamEnable = 0;
std::array<uint16_t, 10> g_IspParam{};
uint16_t g_wProtectMask = 0;
uint16_t g_wSfImageCrc = 0;
