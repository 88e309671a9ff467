#include "sim/gang_serial_flash.h"

#include <chrono>
#include <functional>

#include "link/com_frames.h"
#include "link/com_reply.h"
#include "support/gang_link.h"

namespace {

using Bytes = std::vector<uint8_t>;
using BoardSerialFlashTest = GangLinkTest;

bool Instruction(uint8_t instr) { return Step(2, [=] { return ComSfCmd22(instr); }); }
bool Program(uint32_t address, const Bytes& data) { return Step(5, [=] { return ComSfProgram(0x02, address, data); }, 800); }

// A refused frame is answered with status 1 and leaves the bytes as they were, so a run that
// leaves out a step ends with the wrong flash. The flash holds F0 from 0x100 to 0x1FF before
// each case; answer is the status of the last frame's reply.
TEST_F(BoardSerialFlashTest, TakesOnlyEnabledWritesAndWrapsAtThePageEnd) {
    const auto clearStatus = [] { return Step(3, [] { return ComSfCmd23(0x01, 0x00); }); };
    const struct { const char* name; std::function<bool()> steps; uint8_t status; uint32_t at; Bytes holds; int answer;
                   bool writeProtectLow = false; } cases[] = {
        {"program without write enable", [] { return Program(0x100, {0x12}); }, 0, 0x100, {0xF0}, 1},
        {"programs AND into the flash", [] { return Instruction(0x06) && Program(0x100, {0x3C, 0x00}); }, 0, 0x100, {0x30, 0x00}, 0},
        {"one program a write enable", [] { return Instruction(0x06) && Program(0x100, {0}) && Program(0x101, {0}); }, 0, 0x100,
         {0x00, 0xF0}, 1},
        // The byte past 0x1FF lands at 0x100, over what the page held.
        {"program across a page", [] { return Instruction(0x06) && Program(0x1FF, {0x0F, 0x00}); }, 0, 0x1FF, {0x00, 0xFF}, 0},
        {"program across a page wraps", [] { return Instruction(0x06) && Program(0x1FF, {0x0F, 0x00}); }, 0, 0x100, {0x00, 0xF0}, 0},
        {"erase without write enable", [] { return Instruction(0xC7); }, 0, 0x100, {0xF0}, 1},
        {"erase", [] { return Instruction(0x06) && Instruction(0xC7); }, 0, 0x100, {0xFF}, 0},
        {"block protection", [] { return Instruction(0x06) && Instruction(0xC7); }, 0x1C, 0x100, {0xF0}, 1},
        {"program under block protection", [] { return Instruction(0x06) && Program(0x100, {0}); }, 0x1C, 0x100, {0xF0}, 1},
        {"status cleared", [=] { return clearStatus() && Instruction(0x06) && Instruction(0xC7); }, 0x9C, 0x100, {0xFF}, 0},
        {"status locked by the write-protect line", [=] { return clearStatus() && Instruction(0x06) && Instruction(0xC7); }, 0x9C,
         0x100, {0xF0}, 1, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        board.serialFlash().write(0x100, Bytes(0x100, 0xF0));
        board.serialFlash().setStatus(c.status);
        board.serialFlash().holdWriteProtect(c.writeProtectLow);
        ASSERT_TRUE(Instruction(0x04) && c.steps());
        EXPECT_EQ(int{g_byReplyStatus}, c.answer);
        EXPECT_EQ(board.serialFlash().read(c.at, c.holds.size()), c.holds);
    }
}

// Reads wrap at the end of the part; the frame after an erase is answered when the erase is
// done, by the board's own clock.
TEST_F(BoardSerialFlashTest, ReadsAndHoldsRepliesWhileErasing) {
    ASSERT_TRUE(g_pBlockBuf.allocate(64));
    board.serialFlash().write(0x1FFFFE, Bytes{0x11, 0x22});
    board.serialFlash().write(0, Bytes{0x33});
    ASSERT_TRUE(Step(4, [] { return ComSfRead(0x03, 0x1FFFFE, 3); }, 800));
    EXPECT_EQ(Bytes(g_pBlockBuf.data(), g_pBlockBuf.data() + 3), (Bytes{0x11, 0x22, 0x33}));
    board.serialFlash().setEraseTime(std::chrono::milliseconds(150));
    ASSERT_TRUE(Instruction(0x06));
    board.clearLog();
    ASSERT_TRUE(Instruction(0xC7) && Step(4, [] { return ComSfRead(0x03, 0, 1); }, 2000));
    const std::vector<sim::LogEntry> log = board.log();
    ASSERT_EQ(log.size(), 4u);
    EXPECT_GE(log[3].ms - log[0].ms, 150.0);
}

}  // namespace
