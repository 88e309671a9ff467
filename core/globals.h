#pragma once
// The program's shared state. One worker task runs at a time (g_bTaskWorking), so plain
// globals stay consistent; the flags that two threads race on are atomic.
#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "platform/event.h"

class CUart_ISPDlg;
class CISPDlg;
class CFlashISP;
class CInfoBlk1Dlg;
class CInfoBlk2Dlg;
class CEepromDlg;
class QLabel;
namespace platform {
class DurableWriter;
}

// Chip-model table, indexed by the chip mode (0 to 13 used, 20 entries).
constexpr int kChipTableSize = 20;
constexpr int kChipModeCount = 14;
extern const std::array<std::string, kChipTableSize> g_strChipName;
extern const std::array<uint32_t, kChipTableSize> g_dwFlashSizeByMode;
extern const std::array<std::array<uint8_t, 4>, kChipTableSize> g_OptionTailByMode;

extern const std::string g_strVersion;  // "1.09"
extern std::string g_strExeDir;         // program folder, with its trailing '/'
extern std::string g_strLastDir;
extern std::string g_strLastFile;
extern std::string g_strIniPath;
extern std::string g_strParam;
// The program's one output stream: the parameter file being saved, on the user-interface
// thread only. It replaces the file whole or not at all; nullptr between saves.
extern std::unique_ptr<platform::DurableWriter> g_DataFile;

extern uint32_t g_dwOsMajor;
extern uint32_t g_dwOsMinor;
extern uint32_t g_dwWaitMs;

// Stored settings and counters.
extern uint8_t g_bLimitEnable;
extern uint32_t g_nLimitQuantity;
extern uint32_t g_bSerialEnable;
extern uint32_t g_dwSerialAddr;
extern uint32_t g_nLastSerial;
extern uint32_t g_nTotalCount;
extern uint32_t g_nPassCount;
extern uint32_t g_nFailCount;
extern uint8_t g_nChipMode;
extern uint32_t g_bSerialAutoInc;
extern uint32_t g_nSerialLocation;  // 0 main flash, 1 information area
extern uint32_t g_dwFlashSize;
extern uint32_t g_nIspStartAddr;
extern uint32_t g_nRdpLevel;
extern uint32_t g_nPcropType;
extern uint32_t g_dwProtectAddr;
extern uint32_t g_bEncry;
extern uint32_t g_bCodeOption;
extern uint8_t g_nComPort;
extern uint32_t g_nComBaudRate;

extern uint32_t g_bBeepSound;
extern uint32_t g_nFlashPageSize;  // target flash page of the HID path, 2048 bytes

// Busy flag of the one worker task; the starter sets it with a test-and-set.
extern std::atomic<bool> g_bTaskWorking;
extern std::atomic<uint32_t> g_nDelayCount;
extern std::atomic<bool> g_bNoticeShown;
// Set by the serial-flash full, verify and program runs when their image cannot be read;
// nothing reads it.
extern std::atomic<uint32_t> g_bTaskDone;

extern platform::Event g_hStopEvent;
extern platform::Event g_hReplyEvent;

// Per-site "a target answered" flags of the last HID run.
extern std::array<uint32_t, 4> g_bSocketFound;

// Answers of the warning prompt, read back by the gang workers.
extern uint32_t g_bWarnProtect;
extern uint32_t g_bProtectContinue;
extern uint32_t g_bWarnCodeOption;
extern uint32_t g_bCodeOptionContinue;

extern CUart_ISPDlg* g_pMainDlg;
extern CISPDlg* g_pISPDlg;
extern CFlashISP* g_pFlashISPDlg;
extern CInfoBlk1Dlg* g_pInfoBlk1Dlg;
extern CInfoBlk2Dlg* g_pInfoBlk2Dlg;
extern CEepromDlg* g_pEepromDlg;
// The start-address label of the page whose window was made last, which the programming
// configuration rewrites on OK; nullptr while no such page exists.
extern QLabel* g_hwndStartAddr;
// The serial-number labels ("S/N Last") of the IC page and of the serial-flash page while
// each page exists, else nullptr. Workers reach the label through their page, never directly.
extern QLabel* g_hwndSerialLast;
extern QLabel* g_hwndFlashStatic;
// The last worker a page or dialog started; a detached thread, kept only as its id.
extern std::atomic<std::thread::id> g_hWorkThread;
// Starts a page's or dialog's worker on a detached thread and notes it in g_hWorkThread.
// Returns false when the system refuses a thread.
bool StartWorkThread(std::function<void()> fn);

// The flash size of a chip mode; 0 for modes beyond the table.
uint32_t FlashSizeOfMode(uint32_t mode);

// Information-block settings: the option words and parameter area of the targets'
// information block. Nothing in the program sets them yet, so they keep 0.
extern uint32_t g_bInfoBlockEnable;
extern uint32_t g_bBootDataEnable;
extern uint32_t g_bVidPidEnable;
extern uint32_t g_bPllEnable;
extern uint32_t g_bParamEnable;
// VID, PID, PLL_L, PLL_H, SN_EN, SN1, SN2, SN3, BOOT_PIN_CFG, UART_ISP_CFG.
extern std::array<uint16_t, 10> g_IspParam;
extern uint16_t g_wProtectMask;

// The low 16 bits of the byte sum of the file last loaded on the serial-flash page.
extern uint16_t g_wSfImageCrc;
