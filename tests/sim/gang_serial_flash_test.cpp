#include "sim/gang_serial_flash.h"

#include <chrono>
#include <functional>

#include "link/com_frames.h"
#include "link/com_reply.h"
#include "support/gang_link.h"

namespace {

using Bytes = std::vector<uint8_t>;
using BoardSerialFlashTest = GangLinkTest;

bool WriteEnable() { return Step(2, [] { return ComSfCmd22(0x06); }); }
bool Program(uint32_t address, const Bytes& data) {
    return Step(5, [=] { return ComSfProgram(0x02, address, data); }, 800);
}

// What the flash takes and what it refuses: a refused frame is answered and leaves the bytes as
// they were, so a run that leaves out a step ends with the wrong flash.
TEST_F(BoardSerialFlashTest, TakesOnlyEnabledWritesInsideAPage) {
    const struct {
        const char* name;
        std::function<void(sim::BoardSerialFlash&)> steps;
        uint32_t at;
        Bytes holds;
    } cases[] = {
        {"program without write enable", [](auto&) { ASSERT_TRUE(Program(0x100, {0x12})); }, 0x100, {0xF0}},
        {"programs AND into the flash", [](auto&) { ASSERT_TRUE(WriteEnable() && Program(0x100, {0x3C, 0x00})); },
         0x100, {0x30, 0x00}},
        {"the latch serves one program", [](auto&) { ASSERT_TRUE(WriteEnable() && Program(0x100, {0x00}) && Program(0x101, {0x00})); },
         0x100, {0x00, 0xF0}},
        {"program across a page", [](auto&) { ASSERT_TRUE(WriteEnable() && Program(0x1FF, {0x00, 0x00})); }, 0x1FF,
         {0xF0, 0xFF}},
        {"erase without write enable", [](auto&) { ASSERT_TRUE(Step(2, [] { return ComSfCmd22(0xC7); })); }, 0x100, {0xF0}},
        {"erase", [](auto&) { ASSERT_TRUE(WriteEnable() && Step(2, [] { return ComSfCmd22(0xC7); })); }, 0x100, {0xFF}},
        {"block protection refuses the erase",
         [](sim::BoardSerialFlash& flash) {
             flash.setStatus(0x1C);
             ASSERT_TRUE(WriteEnable() && Step(2, [] { return ComSfCmd22(0xC7); }));
         },
         0x100, {0xF0}},
        {"a cleared status lets it erase",
         [](sim::BoardSerialFlash& flash) {
             flash.setStatus(0x1C);
             ASSERT_TRUE(Step(3, [] { return ComSfCmd23(0x01, 0x00); }) && WriteEnable() &&
                         Step(2, [] { return ComSfCmd22(0xC7); }));
         },
         0x100, {0xFF}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        sim::BoardSerialFlash& flash = board.serialFlash();
        flash.write(0x100, Bytes(0x100, 0xF0));
        flash.setStatus(0);
        ASSERT_TRUE(Step(2, [] { return ComSfCmd22(0x04); }));
        c.steps(flash);
        EXPECT_EQ(flash.read(c.at, c.holds.size()), c.holds);
    }
}

TEST_F(BoardSerialFlashTest, ReadsItsIdAndBytesAndHoldsRepliesWhileErasing) {
    ASSERT_TRUE(g_pBlockBuf.allocate(64));
    ASSERT_TRUE(Step(1, [] { return ComSfReadId(); }));
    EXPECT_EQ(Bytes(g_pBlockBuf.data(), g_pBlockBuf.data() + 3), (Bytes{0x5E, 0x40, 0x15}));
    board.serialFlash().write(0x1FFFFE, Bytes{0x11, 0x22});
    board.serialFlash().write(0, Bytes{0x33});
    ASSERT_TRUE(Step(4, [] { return ComSfRead(0x03, 0x1FFFFE, 3); }, 800));
    EXPECT_EQ(g_pBlockBuf.takeStoredCount(), 3u);
    EXPECT_EQ(Bytes(g_pBlockBuf.data(), g_pBlockBuf.data() + 3), (Bytes{0x11, 0x22, 0x33})) << "the address wraps";

    // The board answers the erase at once and the next frame only when the erase is done, by
    // its own clock.
    board.serialFlash().setEraseTime(std::chrono::milliseconds(150));
    ASSERT_TRUE(WriteEnable());
    board.clearLog();
    ASSERT_TRUE(Step(2, [] { return ComSfCmd22(0xC7); }));
    ASSERT_TRUE(Step(4, [] { return ComSfRead(0x03, 0, 1); }, 2000));
    const std::vector<sim::LogEntry> log = board.log();
    ASSERT_EQ(log.size(), 4u);
    EXPECT_GE(log[3].ms - log[0].ms, 150.0);
    EXPECT_EQ(g_pBlockBuf[0], 0xFF);
}

}  // namespace
