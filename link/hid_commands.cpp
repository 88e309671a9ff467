#include "link/hid_commands.h"

#include <algorithm>
#include <array>

namespace {

constexpr uint8_t kCmdConnect = 0x00;
constexpr uint8_t kCmdPrepare = 0x03;
constexpr uint8_t kCmdWriteWord04 = 0x04;
constexpr uint8_t kCmdReadWord05 = 0x05;
constexpr uint8_t kCmdWriteWord = 0x06;
constexpr uint8_t kCmdReadWord = 0x07;
constexpr uint8_t kCmdReadBlock = 0x0B;
constexpr uint8_t kCmdVersion = 0x0E;
constexpr uint8_t kCmdSubVersion = 0x0F;
constexpr uint8_t kCmdQuery22 = 0x22;
constexpr uint8_t kCmdEraseAddr = 0x26;
constexpr uint8_t kCmdErase27 = 0x27;
constexpr uint8_t kCmdEraseInfo = 0x28;
constexpr uint8_t kCmdLoadPageBuffer = 0x29;
constexpr uint8_t kCmdProgramPage = 0x2B;
constexpr uint8_t kCmdSfErase = 0x31;
constexpr uint8_t kCmdSfReadPage = 0x32;
constexpr uint8_t kCmdSfLoadPageBuffer = 0x33;
constexpr uint8_t kCmdSfProgramPage = 0x34;
constexpr uint8_t kCmdSfReadPageBuffer = 0x35;
constexpr uint8_t kCmdSfStatus = 0x37;
constexpr uint8_t kCmdSocketPower = 0x39;
constexpr uint8_t kCmdSelectSocket = 0x3A;
constexpr uint8_t kCmdConnectAlt = 0x3D;

constexpr std::size_t kBlockBytes = 32;
constexpr std::size_t kSfReadChunk = 16;

// What the commands sent tell of the adapter's sites: the one selected (-1 while unknown) and
// the targets that answered a connect since their site's last power-off. An exchange that
// failed did not reach the adapter and changes nothing, but for a select, after which the
// selected site is not known.
int g_selectedSite = -1;
std::array<bool, 4> g_targetReached{};

// Only bytes 0 to 2 are cleared: whatever a command does not set goes out as the previous
// command left it, as the adapter has always received it.
void beginReport(uint8_t command) {
    g_HidFeatureOut[0] = 0;
    g_HidFeatureOut[1] = 0;
    g_HidFeatureOut[2] = 0;
    g_HidFeatureOut[3] = command;
}

void putWord(std::size_t at, uint32_t value) {
    for (std::size_t i = 0; i < 4; ++i) g_HidFeatureOut[at + i] = uint8_t(value >> (8 * i));
}

bool sendReport() {
    if (g_hHidDevice == kInvalidHidHandle || g_nHidFeatureLen > kHidReportSize) return false;
    return g_hHidDevice->setFeature(std::span(g_HidFeatureOut).first(g_nHidFeatureLen));
}

// An answer shorter than the report is a failed exchange; the report is cleared first, so no
// byte of an earlier answer can pass for part of this one.
bool getReport() {
    if (g_hHidDevice == kInvalidHidHandle || g_nHidFeatureLen > kHidReportSize) return false;
    g_HidFeatureIn.fill(0);  // report id 0 included
    return g_hHidDevice->getFeature(std::span(g_HidFeatureIn).first(g_nHidFeatureLen)) == g_nHidFeatureLen;
}

// A query answers count bytes from byte 1; no more than out holds are copied.
bool exchange(std::span<uint8_t> out, std::size_t count) {
    if (!sendReport() || !getReport()) return false;
    std::copy_n(g_HidFeatureIn.begin() + 1, std::min(count, out.size()), out.begin());
    return true;
}

int command(uint8_t code) {
    beginReport(code);
    return sendReport() ? 1 : 0;
}

int commandWithArgument(uint8_t code, uint32_t argument) {
    beginReport(code);
    putWord(4, argument);
    return sendReport() ? 1 : 0;
}

int writeWord(uint8_t code, uint32_t address, uint32_t value) {
    beginReport(code);
    putWord(4, address);
    putWord(8, value);
    return sendReport() ? 1 : 0;
}

int query(uint8_t code, uint32_t argument, std::span<uint8_t> out, std::size_t count) {
    beginReport(code);
    putWord(4, argument);
    return exchange(out, count) ? 1 : 0;
}

int queryWithoutArgument(uint8_t code, std::span<uint8_t> out, std::size_t count) {
    beginReport(code);
    return exchange(out, count) ? 1 : 0;
}

int connect(uint8_t code) {
    beginReport(code);
    if (!sendReport() || !getReport()) return kConnectTransferFailed;
    uint32_t id = 0;
    for (std::size_t i = 0; i < 4; ++i) id |= uint32_t(g_HidFeatureIn[1 + i]) << (8 * i);
    const int result = id == 0 || id == 0xFFFFFFFF ? kConnectNoTarget : kConnectOk;
    if (g_selectedSite >= 0) g_targetReached[g_selectedSite] = result == kConnectOk;
    return result;
}

int loadBuffer(uint8_t code, uint32_t start, std::span<const uint8_t> data) {
    for (std::size_t at = 0; at < data.size(); at += kBlockBytes) {
        beginReport(code);
        putWord(4, uint32_t(start + at));
        for (std::size_t j = 0; j < kBlockBytes; ++j)
            g_HidFeatureOut[8 + j] = at + j < data.size() ? data[at + j] : 0xFF;
        if (!sendReport()) return 0;
    }
    return 1;
}

// An exchange that failed is sent again at once, up to tries times in all.
template <class Exchange>
bool tried(int tries, Exchange exchange) {
    for (int i = 0; i < tries; ++i) {
        if (exchange()) return true;
    }
    return false;
}

int readBytes(uint32_t address, std::span<uint8_t> out, int tries) {
    for (std::size_t i = 0; i < out.size(); ++i) {
        if (!tried(tries, [&] { return query(kCmdReadWord, uint32_t(address + i), out.subspan(i, 1), 1) == 1; })) return 0;
    }
    return 1;
}

}  // namespace

int HidConnectTarget() { return connect(kCmdConnect); }
int HidConnectTargetAlt() { return connect(kCmdConnectAlt); }
int HidCmdPrepare() { return command(kCmdPrepare); }

int HidWriteWord04(uint32_t address, uint32_t value) { return writeWord(kCmdWriteWord04, address, value); }
int HidReadWord05(uint32_t address, std::span<uint8_t> out) { return query(kCmdReadWord05, address, out, 4); }
int HidWriteWord(uint32_t address, uint32_t value) { return writeWord(kCmdWriteWord, address, value); }
int HidWriteWord2(uint32_t address, uint32_t value) { return writeWord(kCmdWriteWord, address, value); }
int HidReadWord(uint32_t address, std::span<uint8_t> out) { return query(kCmdReadWord, address, out, 4); }

int HidReadBytes(uint32_t address, std::span<uint8_t> out) { return readBytes(address, out, 1); }

int HidReadBlock(uint32_t address, std::span<uint8_t> out) { return query(kCmdReadBlock, address, out, kBlockBytes); }
int HidReadBlock2(uint32_t address, std::span<uint8_t> out) { return query(kCmdReadBlock, address, out, kBlockBytes); }

int HidGetFirmwareVersion(std::span<uint8_t> out) { return queryWithoutArgument(kCmdVersion, out, 4); }
int HidGetFirmwareSubVersion(std::span<uint8_t> out) { return queryWithoutArgument(kCmdSubVersion, out, 8); }
int HidCmdQuery22() { return queryWithoutArgument(kCmdQuery22, {}, 0); }

int HidCmdEraseAddr(uint32_t address) { return commandWithArgument(kCmdEraseAddr, address); }
int HidCmdErase27() { return command(kCmdErase27); }
int HidCmdEraseInfo(uint32_t address) { return commandWithArgument(kCmdEraseInfo, address); }
int HidLoadPageBuffer(uint32_t start, std::span<const uint8_t> data) { return loadBuffer(kCmdLoadPageBuffer, start, data); }
int HidProgramPage(uint32_t address) { return commandWithArgument(kCmdProgramPage, address); }

int HidSfCmd31() { return command(kCmdSfErase); }
int HidSfReadPage(uint32_t page) { return commandWithArgument(kCmdSfReadPage, page); }
int HidSfLoadPageBuffer(uint32_t start, std::span<const uint8_t> data) { return loadBuffer(kCmdSfLoadPageBuffer, start, data); }
int HidSfProgramPage(uint32_t page) { return commandWithArgument(kCmdSfProgramPage, page); }

int HidSfReadPageBuffer(uint32_t, std::span<uint8_t> out) {
    for (std::size_t offset = 0; offset < out.size(); offset += kSfReadChunk) {
        const std::size_t count = std::min(kSfReadChunk, out.size() - offset);
        if (!query(kCmdSfReadPageBuffer, uint32_t(offset), out.subspan(offset, count), count)) return 0;
    }
    return 1;
}

int HidSfReadStatus(std::span<uint8_t> out) { return queryWithoutArgument(kCmdSfStatus, out, 1); }
int HidSetSocketPower(uint32_t on) {
    const int result = commandWithArgument(kCmdSocketPower, on);
    if (result == 1 && on != 1 && g_selectedSite >= 0) g_targetReached[g_selectedSite] = false;
    return result;
}

int HidSelectSocket(uint32_t site) {
    const int result = commandWithArgument(kCmdSelectSocket, site);
    g_selectedSite = result == 1 && site < g_targetReached.size() ? int(site) : -1;
    return result;
}

bool HidSelectedTargetReached() { return g_selectedSite >= 0 && g_targetReached[g_selectedSite]; }

namespace {

constexpr uint32_t kCtrlKey1 = 0x5A3C7E19;
constexpr uint32_t kCtrlKey2 = 0x1D2E4F60;
constexpr uint32_t kOptionKey1 = 0x7C6B5A49;
constexpr uint32_t kOptionKey2 = 0x3E2D1C0B;
constexpr uint32_t kWriteEnableBits = 0x7;

int unlock(uint32_t keyRegister, uint32_t key1, uint32_t key2) {
    uint8_t control[1];
    HidReadBytes(kFlashCtrlReg, control);  // the adapter expects the control register read first
    // The controller opens only on both keys in turn: a lost first key leaves it locked.
    const int first = HidWriteWord(keyRegister, key1);
    const int second = HidWriteWord(keyRegister, key2);
    return first == 1 && second == 1 ? 1 : 0;
}

}  // namespace

int FlashUnlockCtrl() { return unlock(kFlashKeyReg, kCtrlKey1, kCtrlKey2); }
int FlashUnlockOption() { return unlock(kFlashOptionKeyReg, kOptionKey1, kOptionKey2); }

bool FlashEnableWrite(int tries) {
    uint8_t bytes[4];
    // Writing back a word that was never read would clear the control register's other bits.
    if (!readBytes(kFlashCtrlReg, bytes, tries)) return false;
    uint32_t control = 0;
    for (std::size_t i = 0; i < 4; ++i) control |= uint32_t(bytes[i]) << (8 * i);
    if (!tried(tries, [&] { return HidWriteWord(kFlashCtrlReg, control | kWriteEnableBits) == 1; })) return false;
    uint8_t readBack[1];
    if (!readBytes(kFlashCtrlReg, readBack, tries)) return false;
    return readBack[0] == kWriteEnableBits;
}
