#include "dialogs/info_blk1_dlg.h"

#include <QTest>
#include <numeric>

#include "core/registry_settings.h"
#include "link/com_reply.h"
#include "link/com_settings.h"
#include "platform/strfmt.h"
#include "link/com_frames.h"
#include "res/info_blk1_template.h"
#include "sim/gang_board.h"
#include "support/board_clock.h"
#include "support/cancel_sweep.h"
#include "support/simulated_gang.h"
#include "support/temp_config_folder.h"
#include "tool_bench.h"

using namespace res;

namespace {

const char* const kLinkStart = "> 00 FF 00 FF 00 FF 00 FF 00 FF\n> 0F 52 51 32 37 33 4B FF\n";
const char* const kStopMcu = "> 0F 40 20 01 02 FF\n";
const char* const kOpenAccess = "> 0F 0A 02 01 62 FF\n> 0F 08 01 01 00 FF\n";
const char* const kCloseAccess = "> 0F 0A 02 01 60 FF\n> 0F 40 20 01 00 FF\n";
const char* const kFinish = "> 0F 00 00 01 00 FF\n";
const char* const kLeave = "> 0F 0C 02 01 01 FF\n";
const char* const kTimeout = "Wait COM port timeout, pls check MCU and COM port status!";

// The page over the simulated board, wired for one target in socket A.
class InfoBlk1 : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(board.start());
        board.wireSingleTarget(0);
        SetComPortDeviceOverride(board.path());
        g_dwOsMajor = 10;
        g_dwOsMinor = 0;
        g_bTaskWorking = false;
        g_bInfoBlk1Busy = 0;
    }
    void TearDown() override {
        g_SerialPort.ClosePort();
        SetComPortDeviceOverride("");
        board.stop();
    }

    // Clicks the button and serves the worker's calls until it has given the busy flag back.
    void run(int button) {
        board.clearLog();
        Click(page.controls(), button);
        ASSERT_TRUE(QTest::qWaitFor([] { return !g_bTaskWorking; }, 20000)) << "the worker did not end";
    }
    // The frames the board received (the time of each, ms), once the last one has arrived.
    std::string hostFrames(const std::string& last, std::vector<double>* times = nullptr) {
        std::string frames;
        (void)QTest::qWaitFor([&] {
            frames.clear();
            if (times) times->clear();
            for (const sim::LogEntry& entry : board.log()) {
                if (!entry.fromHost) continue;
                frames += ">";
                for (uint8_t b : entry.bytes) frames += strfmt(" %02X", b);
                frames += "\n";
                if (times) times->push_back(entry.ms);
            }
            return frames.ends_with(last);
        }, 2000);
        return frames;
    }
    std::vector<uint8_t> targetBytes() {
        const std::vector<uint8_t> flash = board.target(0)->flash;
        return {flash.begin(), flash.begin() + kInfoBlk1Bytes};
    }
    Texts takeMessages() { return TakeMessages(services); }

    TempConfigFolder config;
    RecordingServices services;
    sim::GangBoard board;
    BoardClock clock{board};
    CInfoBlk1Dlg page;
};

// The data frame of the eight bytes from a, when the grid holds its own offsets.
std::string DataFrame(uint32_t a) {
    std::string frame = strfmt("> 0F 22 %02X 08", a);
    for (uint32_t i = a; i < a + 8; ++i) frame += strfmt(" %02X", i);
    return frame + " FF\n";
}

std::vector<uint8_t> Counting() {
    std::vector<uint8_t> bytes(kInfoBlk1Bytes);
    std::iota(bytes.begin(), bytes.end(), uint8_t{0});
    return bytes;
}

// The page's operations on the gang bench, whose recording page hears their messages.
class BenchPage final : public InfoBlk1Page {
public:
    explicit BenchPage(WorkerPage& page) : page_(page) {}
    std::array<uint8_t, kInfoBlk1Bytes> gridBytes() override { return {}; }
    void showGridBytes(std::span<const uint8_t, kInfoBlk1Bytes>) override {}
    int messageBox(const std::string& text, platform::MsgIcon icon) override { return page_.messageBox(text, icon); }
    void setBusyCursor(bool) override {}

private:
    WorkerPage& page_;
};

template <void (*Operation)(InfoBlk1Page&)>
void OnBench(WorkerPage& page) {
    BenchPage bench(page);
    Operation(bench);
}

}  // namespace

// Write then Read: each is one whole ISP session, so the second starts the link again. A board
// that answers writes without the target's status byte reports no failed write.
TEST_F(InfoBlk1, WriteStoresTheGridAndReadShowsTheTarget) {
    board.answerWritesMinimally(true);
    const std::vector<uint8_t> counting = Counting();
    std::copy(counting.begin(), counting.end(), page.m_grid.m_byData.begin());
    run(kIdcInfo1Write);

    // One whole session around the frames between opening and closing the access.
    const auto session = [](const std::function<std::string(uint32_t)>& frames) {
        std::string text = std::string(kLinkStart) + kStopMcu + kOpenAccess;
        for (uint32_t a = 0; a < kInfoBlk1Bytes; a += 8) text += frames(a);
        return text + kCloseAccess + kLeave;
    };
    EXPECT_EQ(hostFrames(kLeave), session([](uint32_t a) { return DataFrame(a) + kFinish; }));
    EXPECT_EQ(targetBytes(), counting);
    EXPECT_FALSE(g_SerialPort.IsOpen());
    EXPECT_FALSE(board.target(0)->inIsp);

    std::vector<uint8_t> stored(kInfoBlk1Bytes, 0x5A);
    stored[0x7F] = 0xC3;
    board.writeFlash(0, 0, stored);
    page.m_grid.m_byData.fill(0);
    run(kIdcInfo1Read);

    EXPECT_EQ(hostFrames(kLeave), session([](uint32_t a) { return strfmt("> 0F 03 %02X 08 00 FF\n", a); }));
    EXPECT_EQ(std::vector<uint8_t>(page.m_grid.m_byData.begin(), page.m_grid.m_byData.begin() + kInfoBlk1Bytes), stored);
    EXPECT_EQ(page.m_grid.m_byData[kInfoBlk1Bytes], 0) << "bytes beyond the first 256 are not read";
    EXPECT_EQ(takeMessages(), Texts{});
}

// At another link speed the board is switched to it after the MCU stop and the port follows;
// the close brings the port back to 115200 before the leave frame.
TEST_F(InfoBlk1, EraseAndResetSendTheirSessions) {
    const std::string speed57600 = "> 0F 0E 02 8C 8C 8C FF\n";
    const std::string erase = std::string(kOpenAccess) + "> 0F 18 00 01 00 FF\n" + kFinish + kCloseAccess;
    const struct {
        int button;
        uint32_t baud;
        std::string frames;
    } cases[] = {
        {kIdcInfo1Erase, 115200, std::string(kLinkStart) + kStopMcu + erase + kLeave},
        {kIdcInfo1Reset, 115200, std::string(kLinkStart) + kStopMcu + kLeave},
        {kIdcInfo1Erase, 57600, std::string(kLinkStart) + kStopMcu + speed57600 + erase + kLeave},
        {kIdcInfo1Reset, 57600, std::string(kLinkStart) + kStopMcu + speed57600 + kLeave},
    };
    for (const auto& c : cases) {
        g_nComBaudRate = c.baud;
        RegSaveBaudRate();
        board.writeFlash(0, 0, Counting());
        run(c.button);
        std::vector<double> ms;
        const std::string frames = hostFrames(kLeave, &ms);
        EXPECT_EQ(frames, c.frames) << c.button << " " << c.baud;
        if (const size_t at = frames.find("> 0F 18"); at != std::string::npos) {
            const size_t erase = std::count(frames.begin(), frames.begin() + at, '\n');
            EXPECT_GE(ms.at(erase + 1) - ms.at(erase), 40.0) << "the page erase gets its time";
        }
        EXPECT_FALSE(board.target(0)->inIsp) << c.button;
        EXPECT_EQ(g_bInfoBlk1Busy, 0u) << c.button;
        EXPECT_EQ(takeMessages(), Texts{}) << c.button;
        EXPECT_EQ(targetBytes(), c.button == kIdcInfo1Reset ? Counting() : std::vector<uint8_t>(kInfoBlk1Bytes, 0xFF));
    }
    g_nComBaudRate = 115200;
    RegSaveBaudRate();
}

// An unanswered step ends the operation with the message, the leave frame and the port closed:
// a Reset that ends before its own leave frame lets the target go in the close, as the others
// do. A read answered with fewer than eight bytes is a failed read, and a write the target
// reports as not landed ends the writes. Either way the grid keeps what it held; the next
// operation starts the link afresh and succeeds.
TEST_F(InfoBlk1, UnansweredStepEndsTheSessionAndTheNextOneWorks) {
    const std::string session = std::string(kLinkStart) + kStopMcu + kOpenAccess;
    const auto read = [](uint32_t a) { return strfmt("> 0F 03 %02X 08 00 FF\n", a); };
    const struct {
        int button;
        std::function<void()> fault;
        std::string frames;
        std::string message = kTimeout;
    } cases[] = {
        // The board counts frames from its start: the first MCU stop of all, and the third read
        // after the 32 of the Read that follows the first row.
        {kIdcInfo1Reset, [&] { board.dropReplyAt(sim::TargetFrame(0x40), 1); }, std::string(kLinkStart) + kStopMcu + kLeave},
        {kIdcInfo1Read, [&] { board.cutReplyAt(sim::TargetFrame(0x03), 32 + 3, 4); },
         session + read(0x00) + read(0x08) + read(0x10) + kCloseAccess + kLeave, "Read fail at 0x00000010!"},
        {kIdcInfo1Read, [&] { board.setSilent(true); }, std::string(kLinkStart) + kLeave},
        {kIdcInfo1Reset, [&] { board.setSilent(true); }, std::string(kLinkStart) + kLeave},
        {kIdcInfo1Write, [&] { board.dropReplyAt(sim::TargetFrame(0x22), 3); },
         session + DataFrame(0x00) + kFinish + DataFrame(0x08) + kFinish + DataFrame(0x10) + kLeave},
        {kIdcInfo1Erase, [&] { board.dropReplyAt(sim::TargetFrame(0x18), 1); },
         session + "> 0F 18 00 01 00 FF\n" + kLeave},
        // Nothing reads a write back: a byte the target reports as not landed (a cleared bit set
        // again) ends the writes with the message, and the session closes as usual.
        {kIdcInfo1Write, [&] { board.writeFlash(0, 0x10, std::vector<uint8_t>{0x00}); },
         session + DataFrame(0x00) + kFinish + DataFrame(0x08) + kFinish + DataFrame(0x10) + kFinish + kCloseAccess + kLeave,
         "Program memory error at 0x10!!!"},
    };
    for (const auto& c : cases) {
        c.fault();
        const bool read = c.button == kIdcInfo1Read;
        if (read) page.m_grid.m_byData.fill(0x77);
        run(c.button);
        EXPECT_EQ(hostFrames(kLeave), c.frames) << c.button;
        EXPECT_EQ(takeMessages(), Texts{c.message}) << c.button;
        EXPECT_FALSE(board.target(0)->inIsp) << c.button;
        EXPECT_TRUE(!read || page.m_grid.m_byData[0x10] == 0x77) << "a failed read leaves the grid";
        EXPECT_FALSE(g_SerialPort.IsOpen()) << c.button;
        EXPECT_EQ(g_bInfoBlk1Busy, 0u) << c.button;

        board.setSilent(false);
        board.writeFlash(0, 0, Counting());
        page.m_grid.m_byData.fill(0);
        run(kIdcInfo1Read);
        EXPECT_EQ(hostFrames(kLeave).substr(0, session.size()), session) << c.button;
        EXPECT_EQ(takeMessages(), Texts{}) << c.button;
        EXPECT_EQ(page.m_grid.m_byData[0xF9], 0xF9) << c.button;
    }
}

// The port and the busy flag belong to a running task: a click then sends nothing and opens
// nothing; a port that cannot be opened is reported and gives the flag back.
TEST_F(InfoBlk1, StartRefusesWhileBusyAndWithoutPort) {
    g_bTaskWorking = true;
    Click(page.controls(), kIdcInfo1Write);
    EXPECT_FALSE(g_SerialPort.IsOpen());
    g_bTaskWorking = false;
    QTest::qWait(50);
    EXPECT_TRUE(board.log().empty());
    EXPECT_EQ(takeMessages(), Texts{});

    SetComPortDeviceOverride(config.path() + "no-such-tty");
    Click(page.controls(), kIdcInfo1Read);
    EXPECT_EQ(takeMessages(), Texts{"Com port not found!"});
    EXPECT_FALSE(g_bTaskWorking);
}

// A port that does not open again at the new speed ends Erase and Reset with the port's
// message: nothing is erased, and the next start greets the target afresh.
TEST(InfoBlk1Operations, APortLostAtTheSpeedChangeIsTold) {
    for (void (*worker)(WorkerPage&) : {OnBench<InfoBlk1EraseThread>, OnBench<InfoBlk1ResetThread>}) {
        SimulatedGang g;
        g.store("BaudRate", 57600);
        g.board.wireSingleTarget(0);
        g_bInfoBlk1Busy = 0;
        ASSERT_TRUE(ComOpenPort(nullptr));
        SetComPortDeviceOverride("/nonexistent/tty");
        g.run(worker, {});
        EXPECT_EQ(g.messages(), std::vector<std::string>{"Can not open COM port !"});
        EXPECT_EQ(g.framesOf(0x0F, 0x18), 0);
        EXPECT_EQ(g_bInfoBlk1Busy, 0u);
    }
    g_nComBaudRate = 115200;
}

// Cancel in each pause of every operation's work in turn, at the board's speed and at another
// (cancel_sweep.h): nothing of the operation follows the cut pause (no finish after the page
// erase's), the close lets the target go with its own pauses taken in full, and the next
// operation starts the link again.
TEST(InfoBlk1Operations, CancelInAnyPauseEndsTheOperationThere) {
    const struct {
        const char* name;
        void (*worker)(WorkerPage&);
    } operations[] = {{"read", OnBench<InfoBlk1ReadThread>},
                      {"write", OnBench<InfoBlk1WriteThread>},
                      {"erase", OnBench<InfoBlk1EraseThread>},
                      {"reset", OnBench<InfoBlk1ResetThread>}};
    int pauses = 0;
    for (const auto& o : operations) {
        SCOPED_TRACE(o.name);
        pauses += SweepCancel({.arrange =
                                   [](SimulatedGang& g, uint32_t baud) {
                                       g.store("BaudRate", baud);
                                       g.board.wireSingleTarget(0);
                                       g_bInfoBlk1Busy = 0;
                                       EXPECT_TRUE(ComOpenPort(nullptr));
                                   },
                               .worker = o.worker,
                               .image = {},
                               .check =
                                   [](SimulatedGang&) {
                                       EXPECT_EQ(g_bInfoBlk1Busy, 0u);
                                       EXPECT_FALSE(g_SerialPort.IsOpen());
                                   }});
    }
    EXPECT_GE(pauses, 4);
    g_nComBaudRate = 115200;
}
