#include "link/com_frames.h"

#include <termios.h>

#include <cstring>
#include <functional>
#include <numeric>
#include <thread>

#include "core/globals.h"
#include "core/registry_settings.h"
#include "link/com_clock.h"
#include "support/gang_link.h"
#include "support/temp_dir.h"
#include "support/watchdog.h"
#include "link/com_settings.h"

namespace {

using Bytes = std::vector<uint8_t>;

// Bytes a tty in cooked mode would translate or act on.
const std::array<uint8_t, 8> kData = {0x0D, 0x0A, 0x11, 0x13, 0x03, 0x7F, 0x00, 0xFF};

Bytes Concat(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes& part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
}

Bytes Text(const char* text) { return Bytes(text, text + std::strlen(text)); }

std::function<bool()> OnOs(uint32_t major, uint32_t minor, bool (*send)()) {
    return [=] {
        g_dwOsMajor = major;
        g_dwOsMinor = minor;
        return send();
    };
}

speed_t LineSpeed(const sim::GangBoard& board) {
    const termios line = board.lineSettings();
    return cfgetospeed(&line);
}

struct FrameCase {
    const char* name;
    std::function<bool()> send;
    Bytes wire;
};

std::vector<FrameCase> FrameCases() {
    const Bytes d(kData.begin(), kData.end());
    Bytes block(64);
    std::iota(block.begin(), block.end(), uint8_t{0xC0});
    return {
        {"ComSetLed1", [] { return ComSetLed1(1); }, {0xF0, 0x01, 0x01, 0x01, 0x01, 0xFF}},
        {"ComSetLed2", [] { return ComSetLed2(0); }, {0xF0, 0x02, 0x00, 0x00, 0x00, 0xFF}},
        {"ComSetLed3 state 2", [] { return ComSetLed3(2); }, {0xF0, 0x03, 0x00, 0x00, 0x00, 0xFF}},
        {"ComSetLed4", [] { return ComSetLed4(1); }, {0xF0, 0x04, 0x01, 0x01, 0x01, 0xFF}},
        {"ComSetLed5", [] { return ComSetLed5(1); }, {0xF0, 0x05, 0x01, 0x01, 0x01, 0xFF}},
        {"ComSetLed6", [] { return ComSetLed6(1); }, {0xF0, 0x06, 0x01, 0x01, 0x01, 0xFF}},
        {"ComSetLed7", [] { return ComSetLed7(1); }, {0xF0, 0x07, 0x01, 0x01, 0x01, 0xFF}},
        {"ComSetLed8", [] { return ComSetLed8(1); }, {0xF0, 0x08, 0x01, 0x01, 0x01, 0xFF}},
        {"ComSetLedByIndex", [] { return ComSetLedByIndex(7, 1); }, {0xF0, 0x08, 0x01, 0x01, 0x01, 0xFF}},
        {"ComSet4053", [] { return ComSet4053(0); }, {0xF0, 0x09, 0x00, 0x00, 0x00, 0xFF}},
        {"ComSet4066A", [] { return ComSet4066A(1); }, {0xF0, 0x0A, 0x01, 0x01, 0x01, 0xFF}},
        {"ComSet4066B", [] { return ComSet4066B(0); }, {0xF0, 0x0B, 0x00, 0x00, 0x00, 0xFF}},
        {"ComSet4066C", [] { return ComSet4066C(1); }, {0xF0, 0x0C, 0x01, 0x01, 0x01, 0xFF}},
        {"ComSet4066D state -1", [] { return ComSet4066D(-1); }, {0xF0, 0x0D, 0x00, 0x00, 0x00, 0xFF}},
        {"ComSet4066ByIndex", [] { return ComSet4066ByIndex(3, 1); }, {0xF0, 0x0D, 0x01, 0x01, 0x01, 0xFF}},
        {"ComSetWakeup", [] { return ComSetWakeup(1); }, {0xF0, 0x0E, 0x01, 0x01, 0x01, 0xFF}},
        {"ComSet2501", [] { return ComSet2501(1); }, {0xF0, 0x0F, 0x01, 0x01, 0x01, 0xFF}},
        {"ComBoardCmd10", [] { return ComBoardCmd10(); }, {0xF0, 0x10, 0x01, 0x01, 0x01, 0xFF}},
        {"ComSfCmd20", [] { return ComSfCmd20(); }, {0xF0, 0x20, 0x00, 0x00, 0x00, 0xFF}},
        {"ComSfReadId", [] { return ComSfReadId(); }, {0xF0, 0x21, 0x00, 0x00, 0x00, 0xFF}},
        {"ComSfCmd22", [] { return ComSfCmd22(0x06); }, {0xF0, 0x22, 0x06, 0x06, 0x06, 0xFF}},
        {"ComSfCmd23", [] { return ComSfCmd23(0x01, 0x00); }, {0xF0, 0x23, 0x01, 0x00, 0xFF, 0xFF}},
        {"ComSfRead", [] { return ComSfRead(0x03, 0x5000, 0x20); },
         {0xF0, 0x24, 0x20, 0x03, 0x00, 0x50, 0x00, 0xFF}},
        {"ComSfProgram", [] { return ComSfProgram(0x02, 0x123456, kData); },
         Concat({{0xF0, 0x25, 0x08, 0x02, 0x12, 0x34, 0x56}, d, {0xFF}})},
        {"ComIspStopMcu", [] { return ComIspStopMcu(); }, {0x0F, 0x40, 0x20, 0x01, 0x02, 0xFF}},
        {"ComIspCmd40", [] { return ComIspCmd40(); }, {0x0F, 0x40, 0x20, 0x01, 0x00, 0xFF}},
        {"ComIspCmd58", [] { return ComIspCmd58(); }, {0x0F, 0x58, 0x05, 0x0A, 0x05, 0xFF}},
        {"ComIspTransHiByte", [] { return ComIspTransHiByte(0x3C); }, {0x0F, 0x08, 0x01, 0x01, 0x3C, 0xFF}},
        {"ComIspTrans8Data", [] { return ComIspTrans8Data(0x40, kData); },
         Concat({{0x0F, 0x22, 0x40, 0x08}, d, {0xFF}})},
        {"ComIspTrans1Data", [] { return ComIspTrans1Data(0x05, 0x0D); }, {0x0F, 0x22, 0x05, 0x01, 0x0D, 0xFF}},
        {"ComIspTransData", [] { return ComIspTransData(0x10, std::span(kData).first(3)); },
         {0x0F, 0x22, 0x10, 0x03, 0x0D, 0x0A, 0x11, 0xFF}},
        {"ComIspRead8", [] { return ComIspRead8(0x20); }, {0x0F, 0x03, 0x20, 0x08, 0x00, 0xFF}},
        {"ComIspReadN", [] { return ComIspReadN(0x20, 0x10); }, {0x0F, 0x03, 0x20, 0x10, 0x00, 0xFF}},
        {"ComIspCmd3A8", [] { return ComIspCmd3A8(0x08, kData); }, Concat({{0x0F, 0x3A, 0x08, 0x08}, d, {0xFF}})},
        {"ComIspCmd3A", [block] { return ComIspCmd3A(0x40, block); }, Concat({{0x0F, 0x3A, 0x40, 0x40}, block, {0xFF}})},
        {"ComIspCmd0B", [] { return ComIspCmd0B(); }, {0x0F, 0x0B, 0x00, 0x01, 0x00, 0xFF}},
        {"ComIspEraseChip", [] { return ComIspEraseChip(); }, {0x0F, 0x12, 0x00, 0x01, 0x00, 0xFF}},
        {"ComIspEraseChip2", [] { return ComIspEraseChip2(); }, {0x0F, 0x12, 0x00, 0x01, 0x00, 0xFF}},
        {"ComIspCmd0A00", [] { return ComIspCmd0A00(); }, {0x0F, 0x0A, 0x00, 0x00, 0x00, 0x00, 0xFF}},
        {"ComIspCmd0E80", [] { return ComIspCmd0E80(); }, {0x0F, 0x0E, 0x01, 0x80, 0x80, 0x80, 0xFF}},
        {"ComIspCmd0E82", [] { return ComIspCmd0E82(); }, {0x0F, 0x0E, 0x01, 0x82, 0x82, 0x82, 0xFF}},
        {"ComIspCmd18", [] { return ComIspCmd18(); }, {0x0F, 0x18, 0x00, 0x01, 0x00, 0xFF}},
        {"ComIspCmdFinish", [] { return ComIspCmdFinish(); }, {0x0F, 0x00, 0x00, 0x01, 0x00, 0xFF}},
        {"ComIspLeave", [] { return ComIspLeave(); }, {0x0F, 0x0C, 0x02, 0x01, 0x01, 0xFF}},
        {"ComIspCmd0841", [] { return ComIspCmd0841(); }, {0x0F, 0x08, 0x02, 0x01, 0x41, 0xFF}},
        {"ComIspCmd0840", [] { return ComIspCmd0840(); }, {0x0F, 0x08, 0x02, 0x01, 0x40, 0xFF}},
        {"ComIspCmd0A62", [] { return ComIspCmd0A62(); }, {0x0F, 0x0A, 0x02, 0x01, 0x62, 0xFF}},
        {"ComIspCmd0A60", [] { return ComIspCmd0A60(); }, {0x0F, 0x0A, 0x02, 0x01, 0x60, 0xFF}},
        {"ComIspCmd49", [] { return ComIspCmd49(); }, {0x0F, 0x49, 0x00, 0x01, 0x00, 0xFF}},
        {"ComIspCmd09", [] { return ComIspCmd09(); }, {0x0F, 0x09, 0x00, 0x01, 0x00, 0xFF}},
        {"ComIspCmd09p2", [] { return ComIspCmd09p2(); }, {0x0F, 0x09, 0x02, 0x01, 0x00, 0xFF}},
        {"ComIsp2StopMcu", [] { return ComIsp2StopMcu(); }, {0x0F, 0x44, 0x20, 0x01, 0x02, 0xFF}},
        {"ComIsp2TransHiByte", [] { return ComIsp2TransHiByte(0x12); }, {0x0F, 0x0C, 0x01, 0x01, 0x12, 0xFF}},
        {"ComIsp2Trans8Data", [] { return ComIsp2Trans8Data(0x00, kData); },
         Concat({{0x0F, 0x26, 0x00, 0x08}, d, {0xFF}})},
        {"ComIsp2Trans1Data", [] { return ComIsp2Trans1Data(0x01, 0x0A); }, {0x0F, 0x26, 0x01, 0x01, 0x0A, 0xFF}},
        {"ComIsp2TransData", [block] { return ComIsp2TransData(0x80, block); },
         Concat({{0x0F, 0x26, 0x80, 0x40}, block, {0xFF}})},
        {"ComIsp2EraseChip", [] { return ComIsp2EraseChip(); }, {0x0F, 0x16, 0x00, 0x01, 0x00, 0xFF}},
        {"ComIsp2Cmd1C", [] { return ComIsp2Cmd1C(); }, {0x0F, 0x1C, 0x00, 0x01, 0x00, 0xFF}},
        {"ComIsp2CmdFinish", [] { return ComIsp2CmdFinish(); }, {0x0F, 0x04, 0x00, 0x01, 0x00, 0xFF}},
        {"ComSendRaw", [] { return ComSendRaw(std::span(kData).first(3)); }, {0x0D, 0x0A, 0x11}},
        {"ComSendZeroByte", [] { return ComSendZeroByte(); }, {0x00}},
        {"ComSendZeroFF", [] { return ComSendZeroFF(); }, {0x00, 0xFF}},
        {"ComIspStart", [] { return ComIspStart(); },
         Concat({{0x00, 0xFF, 0x00, 0xFF, 0x00, 0xFF, 0x00, 0xFF, 0x00, 0xFF, 0x0F}, Text("RQ273K"), {0xFF}})},
        {"ComHandshake1", [] { return ComHandshake1(); }, Concat({{0x00, 0xFF, 0x55, 0x0F}, Text("RQ2728"), {0xFF}})},
        {"ComHandshake2", [] { return ComHandshake2(); }, Concat({{0x00, 0xFF, 0x55, 0x0F}, Text("R23216"), {0xFF}})},
        {"ComHandshake3", [] { return ComHandshake3(); }, Concat({{0x00, 0xFF, 0x55, 0x0F}, Text("R27348"), {0xFF}})},
        {"ComHandshakeById", [] { return ComHandshakeById(Concat({{0x0F}, Text("R23208"), {0xFF}})); },
         Concat({{0x00, 0xFF, 0x55, 0x0F}, Text("R23208"), {0xFF}})},
        // Queued frames leave in order; none replaces one not yet written.
        {"queue", [] { return ComIspLeave() && ComSetLed1(1) && ComSetLed2(0); },
         {0x0F, 0x0C, 0x02, 0x01, 0x01, 0xFF, 0xF0, 0x01, 0x01, 0x01, 0x01, 0xFF, 0xF0, 0x02, 0x00, 0x00, 0x00, 0xFF}},
        // The system version shapes the handshakes: 5 sends its own wake-up, 6.1 reopens the port first.
        {"ComHandshake2 on 5", OnOs(5, 0, &ComHandshake2), Concat({{0xFF, 0x55, 0x0F}, Text("R23216"), {0xFF}})},
        {"ComHandshake1 on 5", OnOs(5, 0, &ComHandshake1), Concat({{0x00, 0xFF, 0x55, 0x0F}, Text("RQ2728"), {0xFF}})},
        {"ComHandshake3 on 6.1", OnOs(6, 1, &ComHandshake3), Concat({{0x00, 0xFF, 0x55, 0x0F}, Text("R27348"), {0xFF}})},
    };
}

using ComFrames = GangLinkTest;

TEST_F(ComFrames, EveryFrameFunctionPutsItsExactBytesOnTheWire) {
    for (const FrameCase& frame : FrameCases()) {
        SCOPED_TRACE(frame.name);
        board.clearLog();
        EXPECT_TRUE(frame.send());
        EXPECT_EQ(HostBytes(frame.wire.size()), frame.wire);
    }
    EXPECT_TRUE(Step(0x36, [] { return ComSet2501(1); }));
}

TEST_F(ComFrames, AFrameBeyondTheFrameBufferIsRefusedWhole) {
    const Bytes largest(251, 0x5A);
    const Bytes tooLong(252, 0x5A);
    EXPECT_FALSE(ComIspTransData(0, tooLong));
    EXPECT_FALSE(ComIsp2TransData(0, tooLong));
    EXPECT_FALSE(ComIspCmd3A(0, tooLong));
    EXPECT_FALSE(ComSfProgram(0x02, 0, Bytes(249, 0x5A)));
    EXPECT_TRUE(ComIspTransData(0, largest));
    EXPECT_EQ(HostBytes(256), Concat({{0x0F, 0x22, 0x00, 251}, largest, {0xFF}}));
}

TEST_F(ComFrames, APortThatCannotBeOpenedFailsSilentlyAndTheHandshakeSaysSo) {
    g_SerialPort.ClosePort();
    SetComPortDeviceOverride("/dev/no-such-gang-board");
    EXPECT_FALSE(ComOpenPort(&owner));
    EXPECT_FALSE(g_SerialPort.IsOpen());
    EXPECT_TRUE(messages.messages().empty());

    g_dwOsMajor = 6;
    g_dwOsMinor = 2;
    EXPECT_FALSE(ComHandshake1());
    ASSERT_EQ(messages.messages().size(), 1u);
    EXPECT_EQ(messages.messages()[0].text, "Can not open COM port !");
    EXPECT_EQ(messages.messages()[0].icon, platform::MsgIcon::Error);
    EXPECT_EQ(messages.messages()[0].caption, "");  // the program's own boxes keep its name
    EXPECT_FALSE(g_SerialPort.IsOpen());
    EXPECT_FALSE(ComClosePort());
}

// On 6.1 and 6.2 the handshake opens the port again, up to 35 times, before it gives up. A
// regular file in the port's place opens but takes no line settings, so each try shows.
// Cancel ends a pause of the link at once, however long: the one under way and every one after.
TEST(ComPauses, CancelEndsAnyPauseAtOnce) {
    const Watchdog watchdog("a pause after Cancel", std::chrono::seconds(60));
    g_hStopEvent.reset();
    std::thread pausing([] { ComPause(0x80000000); });
    g_hStopEvent.set();  // before or after the pause began
    pausing.join();
    ComPause(0xFFFFFFFF);
    g_hStopEvent.reset();
}

TEST_F(ComFrames, TheHandshakeTriesThirtyFiveTimesToOpenThePortAgain) {
    TempDir dir;
    dir.write("not-a-tty", "");
    SetComPortDeviceOverride(dir.file("not-a-tty"));
    g_dwOsMajor = 6;
    g_dwOsMinor = 1;
    EXPECT_FALSE(ComHandshake2());
    const auto shown = messages.messages();
    ASSERT_EQ(shown.size(), 36u);
    for (size_t i = 0; i < 35; ++i)
        EXPECT_EQ(shown[i].text.rfind("WARNING:  tcgetattr() Failed with the following error: \n", 0), 0u) << i;
    EXPECT_EQ(shown.back().text, "Can not open COM port !");
    EXPECT_FALSE(g_SerialPort.IsOpen());
}

TEST_F(ComFrames, BaudChangeAsksTheBoardAndReopensAtTheRate) {
    struct Case {
        uint32_t rate;
        Bytes frame;
        speed_t speed;
    };
    for (const Case& c : {Case{57600, {0x0F, 0x0E, 0x02, 0x8C, 0x8C, 0x8C, 0xFF}, B57600},
                          Case{115200, {0x0F, 0x0E, 0x02, 0xCC, 0xCC, 0xCC, 0xFF}, B115200},
                          Case{9600, {}, B9600}}) {
        SCOPED_TRACE(c.rate);
        g_nComBaudRate = c.rate;
        board.clearLog();
        EXPECT_TRUE(ComChangeBaudRate());
        EXPECT_EQ(HostBytes(c.frame.size()), c.frame);
        ASSERT_TRUE(g_SerialPort.IsOpen());
        EXPECT_EQ(LineSpeed(board), c.speed);
        EXPECT_EQ(g_SerialPort.Owner(), &owner);
        if (!c.frame.empty()) {
            EXPECT_EQ(board.state().linkSpeed, c.rate);
        }
        EXPECT_TRUE(Step(0x1A, [] { return ComSetLed1(1); }));
    }
}

TEST_F(ComFrames, ReopenCloseAndOpenKeepTheBoardAsItWas) {
    ASSERT_TRUE(Step(0x36, [] { return ComSet2501(1); }));
    ASSERT_TRUE(Step(0x1E, [] { return ComSetLed3(1); }));
    g_nComBaudRate = 57600;
    EXPECT_TRUE(ComReopenPort());
    EXPECT_EQ(g_bComPortOpen, 1u);
    EXPECT_EQ(LineSpeed(board), B115200);
    EXPECT_TRUE(Step(0x1D, [] { return ComSetLed3(0); }));
    EXPECT_TRUE(board.state().power);
    EXPECT_FALSE(board.state().leds[2]);

    EXPECT_TRUE(ComClosePort());
    EXPECT_FALSE(g_SerialPort.IsOpen());
    EXPECT_FALSE(ComClosePort());
    EXPECT_FALSE(ComSetLed4(1));

    // Opening for a task takes the stored port and speed.
    RegSaveBaudRate();
    g_nComBaudRate = 115200;
    g_nComPort = 7;
    ASSERT_TRUE(ComOpenPort(&owner));
    EXPECT_EQ(g_nComBaudRate, 57600u);
    EXPECT_EQ(g_nComPort, 1);  // nothing stored: port 1
    EXPECT_EQ(LineSpeed(board), B57600);
    EXPECT_TRUE(Step(0x20, [] { return ComSetLed4(1); }));
    EXPECT_TRUE(board.state().power);
}

}  // namespace
