#include "link/com_frames.h"

#include <initializer_list>
#include <vector>

#include "core/globals.h"
#include "core/registry_settings.h"
#include "link/com_clock.h"
#include "link/com_reply.h"
#include "link/com_settings.h"
#include "link/serial_port.h"
#include "platform/services.h"

namespace {

// Frames are built in 256 bytes: a target frame carries at most 251 data bytes, a serial-flash
// program frame 248. A longer one is refused whole rather than cut.
constexpr size_t kFrameBufferSize = 256;
constexpr int kHandshakeReopenAttempts = 35;
constexpr uint32_t kFirstHandshakePauseMs = 85;

bool Send(std::span<const uint8_t> frame) {
    if (frame.size() > kFrameBufferSize) return false;
    return g_SerialPort.WriteToPort(frame, g_byReplyTag);
}

bool Send(std::initializer_list<uint8_t> frame) { return Send(std::span(frame.begin(), frame.size())); }

// The handshakes and the link start go out through the port's byte writer.
bool SendBytes(std::span<const uint8_t> bytes) {
    if (bytes.size() > kFrameBufferSize) return false;
    return g_SerialPort.WriteBytesToPort(bytes, g_byReplyTag);
}

bool SendBytes(std::initializer_list<uint8_t> bytes) { return SendBytes(std::span(bytes.begin(), bytes.size())); }

uint8_t State(int on) { return on == 1 ? 0x01 : 0x00; }

bool BoardLine(uint8_t cmd, int on) {
    const uint8_t s = State(on);
    return Send({0xF0, cmd, s, s, s, 0xFF});
}

// 0F cmd lo n, the data, FF.
bool TargetData(uint8_t cmd, uint8_t lo, std::span<const uint8_t> data) {
    std::vector<uint8_t> frame = {0x0F, cmd, lo, static_cast<uint8_t>(data.size())};
    frame.insert(frame.end(), data.begin(), data.end());
    frame.push_back(0xFF);
    return Send(frame);
}

bool OpenWithStoredSettings(SerialPortOwner* owner, uint32_t baudRate) {
    return g_SerialPort.InitPort(owner, g_nComPort, baudRate, g_chComParity, g_nComDataBits,
                                 g_nComStopBits, g_dwComEventMask, g_nComWriteBufSize);
}

bool IsWindows5() { return g_dwOsMajor == 5; }
bool IsWindows61or62() { return g_dwOsMajor == 6 && (g_dwOsMinor == 1 || g_dwOsMinor == 2); }

// Windows 6.1 and 6.2 lose the port after the wake-up; the handshake opens it again, with its
// pauses taken in full: the run's end needs the port.
bool ReopenForHandshake() {
    SerialPortOwner* owner = g_SerialPort.Owner();
    for (int attempt = 0; attempt < kHandshakeReopenAttempts; ++attempt) {
        ComClosePort();
        ComPause(2 * g_nDelayCount, PauseKind::RunEnd);
        const bool opened = OpenWithStoredSettings(owner, g_nComBaudRate);
        ComPause(g_nDelayCount, PauseKind::RunEnd);
        if (opened) {
            g_SerialPort.StartMonitoring();
            if (g_SerialPort.IsOpen()) break;
        }
    }
    ComPause(g_nDelayCount, PauseKind::RunEnd);
    if (g_SerialPort.IsOpen()) return true;
    MessageBox("Can not open COM port !", platform::MsgIcon::Error);
    return false;
}

enum class WakeUp5x { ZeroFF, FF };

// The frame follows the wake-up after a pause; Cancel in that pause keeps the frame back.
bool Handshake(std::span<const uint8_t> frame, WakeUp5x wakeUp5x, uint32_t pauseMs) {
    if (IsWindows5()) {
        if (wakeUp5x == WakeUp5x::FF)
            SendBytes({0xFF});
        else
            SendBytes({0x00, 0xFF});
        return ComPause(pauseMs) && SendBytes(frame);
    }
    SendBytes({0x00, 0xFF});
    if (IsWindows61or62() ? !ReopenForHandshake() : !ComPause(pauseMs)) return false;
    return SendBytes(frame);
}

bool HandshakeWithText(const char (&text)[7], WakeUp5x wakeUp5x, uint32_t pauseMs) {
    const uint8_t frame[] = {0x55, 0x0F, uint8_t(text[0]), uint8_t(text[1]), uint8_t(text[2]),
                             uint8_t(text[3]), uint8_t(text[4]), uint8_t(text[5]), 0xFF};
    return Handshake(frame, wakeUp5x, pauseMs);
}

}  // namespace

bool ComSetLed1(int on) { return BoardLine(0x01, on); }
bool ComSetLed2(int on) { return BoardLine(0x02, on); }
bool ComSetLed3(int on) { return BoardLine(0x03, on); }
bool ComSetLed4(int on) { return BoardLine(0x04, on); }
bool ComSetLed5(int on) { return BoardLine(0x05, on); }
bool ComSetLed6(int on) { return BoardLine(0x06, on); }
bool ComSetLed7(int on) { return BoardLine(0x07, on); }
bool ComSetLed8(int on) { return BoardLine(0x08, on); }
bool ComSetLedByIndex(uint32_t index, int on) { return BoardLine(static_cast<uint8_t>(index + 1), on); }
bool ComSet4053(int on) { return BoardLine(0x09, on); }
bool ComSet4066A(int on) { return BoardLine(0x0A, on); }
bool ComSet4066B(int on) { return BoardLine(0x0B, on); }
bool ComSet4066C(int on) { return BoardLine(0x0C, on); }
bool ComSet4066D(int on) { return BoardLine(0x0D, on); }
bool ComSet4066ByIndex(uint32_t index, int on) { return BoardLine(static_cast<uint8_t>(index + 0x0A), on); }
bool ComSetWakeup(int on) { return BoardLine(0x0E, on); }
bool ComSet2501(int on) { return BoardLine(0x0F, on); }
bool ComBoardCmd10() { return BoardLine(0x10, 1); }

bool ComSfCmd20() { return Send({0xF0, 0x20, 0x00, 0x00, 0x00, 0xFF}); }
bool ComSfReadId() { return Send({0xF0, 0x21, 0x00, 0x00, 0x00, 0xFF}); }
bool ComSfCmd22(uint8_t instr) { return Send({0xF0, 0x22, instr, instr, instr, 0xFF}); }
bool ComSfCmd23(uint8_t instr, uint8_t value) { return Send({0xF0, 0x23, instr, value, 0xFF, 0xFF}); }

bool ComSfRead(uint8_t instr, uint32_t address, uint8_t count) {
    return Send({0xF0, 0x24, count, instr, uint8_t(address >> 16), uint8_t(address >> 8),
                 uint8_t(address), 0xFF});
}

bool ComSfProgram(uint8_t instr, uint32_t address, std::span<const uint8_t> data) {
    std::vector<uint8_t> frame = {0xF0, 0x25, static_cast<uint8_t>(data.size()), instr,
                                  uint8_t(address >> 16), uint8_t(address >> 8), uint8_t(address)};
    frame.insert(frame.end(), data.begin(), data.end());
    frame.push_back(0xFF);
    return Send(frame);
}

bool ComIspStopMcu() { return Send({0x0F, 0x40, 0x20, 0x01, 0x02, 0xFF}); }
bool ComIspCmd40() { return Send({0x0F, 0x40, 0x20, 0x01, 0x00, 0xFF}); }
bool ComIspCmd58() { return Send({0x0F, 0x58, 0x05, 0x0A, 0x05, 0xFF}); }
bool ComIspTransHiByte(uint8_t hi) { return Send({0x0F, 0x08, 0x01, 0x01, hi, 0xFF}); }
bool ComIspTrans8Data(uint8_t lo, std::span<const uint8_t, 8> data) { return TargetData(0x22, lo, data); }
bool ComIspTrans1Data(uint8_t lo, uint8_t value) { return Send({0x0F, 0x22, lo, 0x01, value, 0xFF}); }
bool ComIspTransData(uint8_t lo, std::span<const uint8_t> data) { return TargetData(0x22, lo, data); }
bool ComIspRead8(uint8_t lo) { return Send({0x0F, 0x03, lo, 0x08, 0x00, 0xFF}); }
bool ComIspReadN(uint8_t lo, uint8_t count) { return Send({0x0F, 0x03, lo, count, 0x00, 0xFF}); }
bool ComIspCmd3A8(uint8_t lo, std::span<const uint8_t, 8> data) { return TargetData(0x3A, lo, data); }
bool ComIspCmd3A(uint8_t lo, std::span<const uint8_t> data) { return TargetData(0x3A, lo, data); }
bool ComIspCmd0B() { return Send({0x0F, 0x0B, 0x00, 0x01, 0x00, 0xFF}); }
bool ComIspEraseChip() { return Send({0x0F, 0x12, 0x00, 0x01, 0x00, 0xFF}); }
bool ComIspEraseChip2() { return ComIspEraseChip(); }
bool ComIspCmd0A00() { return Send({0x0F, 0x0A, 0x00, 0x00, 0x00, 0x00, 0xFF}); }
bool ComIspCmd0E80() { return Send({0x0F, 0x0E, 0x01, 0x80, 0x80, 0x80, 0xFF}); }
bool ComIspCmd0E82() { return Send({0x0F, 0x0E, 0x01, 0x82, 0x82, 0x82, 0xFF}); }
bool ComIspCmd18() { return Send({0x0F, 0x18, 0x00, 0x01, 0x00, 0xFF}); }
bool ComIspCmdFinish() { return Send({0x0F, 0x00, 0x00, 0x01, 0x00, 0xFF}); }
bool ComIspLeave() { return Send({0x0F, 0x0C, 0x02, 0x01, 0x01, 0xFF}); }
bool ComIspCmd0841() { return Send({0x0F, 0x08, 0x02, 0x01, 0x41, 0xFF}); }
bool ComIspCmd0840() { return Send({0x0F, 0x08, 0x02, 0x01, 0x40, 0xFF}); }
bool ComIspCmd0A62() { return Send({0x0F, 0x0A, 0x02, 0x01, 0x62, 0xFF}); }
bool ComIspCmd0A60() { return Send({0x0F, 0x0A, 0x02, 0x01, 0x60, 0xFF}); }
bool ComIspCmd49() { return Send({0x0F, 0x49, 0x00, 0x01, 0x00, 0xFF}); }
bool ComIspCmd09() { return Send({0x0F, 0x09, 0x00, 0x01, 0x00, 0xFF}); }
bool ComIspCmd09p2() { return Send({0x0F, 0x09, 0x02, 0x01, 0x00, 0xFF}); }

bool ComIsp2StopMcu() { return Send({0x0F, 0x44, 0x20, 0x01, 0x02, 0xFF}); }
bool ComIsp2TransHiByte(uint8_t hi) { return Send({0x0F, 0x0C, 0x01, 0x01, hi, 0xFF}); }
bool ComIsp2Trans8Data(uint8_t lo, std::span<const uint8_t, 8> data) { return TargetData(0x26, lo, data); }
bool ComIsp2Trans1Data(uint8_t lo, uint8_t value) { return Send({0x0F, 0x26, lo, 0x01, value, 0xFF}); }
bool ComIsp2TransData(uint8_t lo, std::span<const uint8_t> data) { return TargetData(0x26, lo, data); }
bool ComIsp2EraseChip() { return Send({0x0F, 0x16, 0x00, 0x01, 0x00, 0xFF}); }
bool ComIsp2Cmd1C() { return Send({0x0F, 0x1C, 0x00, 0x01, 0x00, 0xFF}); }
bool ComIsp2CmdFinish() { return Send({0x0F, 0x04, 0x00, 0x01, 0x00, 0xFF}); }

bool ComSendRaw(std::span<const uint8_t> bytes) { return Send(bytes); }
bool ComSendZeroByte() { return Send({0x00}); }
bool ComSendZeroFF() { return Send({0x00, 0xFF}); }

bool ComIspStart() {
    return SendBytes({0x00, 0xFF, 0x00, 0xFF, 0x00, 0xFF, 0x00, 0xFF, 0x00, 0xFF,
                      0x0F, 'R', 'Q', '2', '7', '3', 'K', 0xFF});
}

bool ComHandshake1() { return HandshakeWithText("RQ2728", WakeUp5x::ZeroFF, kFirstHandshakePauseMs); }
bool ComHandshake2() { return HandshakeWithText("R23216", WakeUp5x::FF, 25); }
bool ComHandshake3() { return HandshakeWithText("R27348", WakeUp5x::FF, 25); }

bool ComHandshakeById(std::span<const uint8_t> id) {
    std::vector<uint8_t> frame = {0x55};
    frame.insert(frame.end(), id.begin(), id.end());
    return Handshake(frame, WakeUp5x::ZeroFF, 25);
}

bool ComOpenPort(SerialPortOwner* owner) {
    // A task opens the port with the stored port number and speed of the moment.
    RegLoadComPort();
    RegLoadBaudRate();
    return OpenWithStoredSettings(owner, g_nComBaudRate) && g_SerialPort.StartMonitoring();
}

bool ComChangeBaudRate() {
    if (g_nComBaudRate == 57600)
        Send({0x0F, 0x0E, 0x02, 0x8C, 0x8C, 0x8C, 0xFF});
    else if (g_nComBaudRate == 115200)
        Send({0x0F, 0x0E, 0x02, 0xCC, 0xCC, 0xCC, 0xFF});
    ComPause(50, PauseKind::RunEnd);
    g_SerialPort.ClosePort();
    ComPause(50, PauseKind::RunEnd);
    return OpenWithStoredSettings(g_pComPageOwner, g_nComBaudRate) && g_SerialPort.StartMonitoring();
}

bool ComReopenPort() { return ComReopenPort(g_pComPageOwner); }

bool ComReopenPort(SerialPortOwner* owner) {
    ComPause(50, PauseKind::RunEnd);
    g_SerialPort.ClosePort();
    ComPause(500, PauseKind::RunEnd);
    g_bComPortOpen = 1;
    OpenWithStoredSettings(owner, g_nComBaudRate2);
    ComPause(500, PauseKind::RunEnd);
    return g_SerialPort.StartMonitoring();
}

bool ComClosePort() {
    if (!g_SerialPort.IsOpen()) return false;
    g_SerialPort.ClosePort();
    ComPause(500, PauseKind::RunEnd);
    return true;
}
