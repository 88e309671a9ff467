#include "engine_com/variant_steps.h"

#include <algorithm>

#include "core/globals.h"
#include "core/worker_page.h"
#include "engine_com/gang_settings.h"
#include "engine_com/socket_helpers.h"
#include "link/com_frames.h"
#include "link/com_reply.h"
#include "link/serial_port.h"
#include "platform/clock.h"
#include "platform/strfmt.h"

namespace engine_com {

using namespace engine_hid;

namespace {

constexpr uint32_t kKeyPage = 256;
constexpr uint8_t kTagRead = 0x01;

bool IsWindows62() { return g_dwOsMajor == 6 && g_dwOsMinor == 2; }

bool Overlaps(uint64_t from, uint64_t to, uint64_t otherFrom, uint64_t otherTo) {
    return from < otherTo && otherFrom < to;
}

std::atomic<uint8_t>& IdByte(const ChipIdRule& rule) { return g_byReplyData[rule.tag == 0x3B ? 0 : 1]; }

bool AcceptsFixedId(uint8_t mode, uint8_t id) {
    return mode == 2 ? id == 0x57 : mode == 3 ? id == 0x5A : true;
}
bool AcceptsSecondFamily(uint8_t mode, uint8_t id) {
    return mode == 5 ? id == 0xF0 : mode == 6 ? id == 0x80 : true;
}
bool AcceptsFamilyC(uint8_t mode, uint8_t id) {
    return mode == 7 ? (id & 0xF0) == 0xF0 : mode == 8 ? (id & 0xF0) == 0x80 : true;
}

// Six pauses of 1 ms give the leave frame its time, then the port is closed and opened again.
bool ReopenByClosing(const ReopenPauses& pauses) {
    for (int i = 0; i < 6; ++i) GangPause(1, PauseKind::RunEnd);
    return ReopenPortAfterErase(pauses);
}

uint32_t LeastDivisor(uint64_t units, uint64_t limit, uint64_t per) {
    uint32_t d = 1;
    while (units / (per * d) >= limit) ++d;
    return d;
}

void SetRange(GangRun& run, uint64_t upper) {
    run.page.setProgressRange(0, static_cast<int>(upper));
    run.page.setProgressPos(0);
}

// Closes socket s's switch alone for its verify. False: the socket is skipped; ended is set
// when the run ends with it.
bool SelectForVerify(GangRun& run, int socket, Selection selection, bool& ended) {
    for (int line = 0; line < kSocketCount; ++line) {
        const bool on = line == socket;
        if (selection == Selection::Helpers) {
            if (GangSetSwitch(run, line, on ? 1 : 0) != 0) {
                // The helpers leave a lost board to their caller.
                ended = run.boardLost();
                run.timedOut = run.timedOut || ended;
                return false;
            }
            ended = !run.pause(g_dwWaitMs);
            if (ended) return false;
            continue;
        }
        Timeout kind = Timeout::Verify;
        if (socket == 3 && line == 2 && selection == Selection::Socket4CEndsRun) kind = Timeout::Message;
        // Shown, and the socket is skipped rather than verified through another socket's switch.
        if (socket == 3 && line == 2 && selection == Selection::Socket4CShown) kind = Timeout::End;
        if (run.step(SwitchStep(line, on, kind))) continue;
        ended = kind == Timeout::Message || run.timedOut;
        return false;
    }
    ended = selection != Selection::Helpers && !run.pause(g_dwWaitMs);
    return !ended;
}

// The pass LED's blink of block b of C; false when its step went unanswered.
bool Blink(GangRun& run, const PassPlan& plan, int socket, uint32_t b, uint32_t count) {
    const bool last = count - b < 2;
    if (!last && b % 10 != 0 && b % 10 != 5) return true;
    const bool on = last || b % 10 == 0;
    if (plan.blink == LineTags::PerLine) return run.step(LedStep(2 * socket + 2, on, Timeout::Verify));
    if (GangSetLed(run, static_cast<uint32_t>(2 * socket + 1), on ? 1 : 0) == 0) return true;
    // The helpers leave a lost board to their caller; one lost reply fails the socket alone.
    run.timedOut = run.timedOut || run.boardLost();
    return false;
}

enum class Block { Matched, Differed, Failed, EndsRun };

// One block of count image bytes at offset, target address address: its high byte when it
// changed, then the compare on the target or the read-back.
Block CheckBlock(GangRun& run, const PassPlan& plan, uint32_t address, uint32_t offset, uint32_t count, bool tail,
                 uint16_t& cachedHi) {
    const uint8_t hi = static_cast<uint8_t>(address >> 8);
    const uint8_t lo = static_cast<uint8_t>(address);
    if (hi != cachedHi) {
        cachedHi = hi;
        if (!run.step({kTagHiByte, [hi] { return ComIspTransHiByte(hi); }, kTargetWaitMs, Timeout::Verify}))
            return Block::Failed;
    }
    const uint8_t* expected = run.image.buffer.data() + offset;
    if (plan.readout == Readout::ReadBack) {
        const auto n = static_cast<uint8_t>(count);
        if (!run.step({kTagRead, [lo, n] { return ComIspReadN(lo, n); }, kTargetWaitMs, Timeout::Judge}))
            return run.timedOut ? Block::EndsRun : Block::Failed;
        // A reply with fewer bytes than asked leaves an earlier block's bytes behind: no compare.
        if (g_nReplyDataSize < count) return Block::Failed;
        return std::equal(expected, expected + count, g_pBlockBuf.data()) ? Block::Matched : Block::Differed;
    }
    std::array<uint8_t, kVerifyBlock> block;
    block.fill(0xFF);
    std::copy_n(expected, count, block.begin());
    // A verify-only run meets finished parts, which hold their option block at P: the padding
    // of the last block stops short of it. A program run compares before the block is written.
    uint32_t frame = kVerifyBlock;
    if (!plan.option && address < run.optionAddr) frame = std::clamp(run.optionAddr - address, count, kVerifyBlock);
    const uint32_t dataWait = tail ? plan.tailDataWaitMs : kTargetWaitMs;
    const auto send = [lo, block, frame] { return ComIspCmd3A(lo, std::span(block).first(frame)); };
    if (!run.step({kTagCompare, send, dataWait, Timeout::Verify})) return Block::Failed;
    if (!run.step({kTagCompareResult, ComIspCmd0B, plan.resultWaitMs, Timeout::Judge}))
        return run.timedOut ? Block::EndsRun : Block::Failed;
    return g_bSkipBlockErase == 0 ? Block::Differed : Block::Matched;
}

// What follows a block that differs: the message where the variant shows one, and a program
// variant's erase of the target, so that no half-right part leaves the board.
void OnMismatch(GangRun& run, const PassPlan& plan, uint32_t offset, bool message) {
    if (message) run.page.messageBox(strfmt("Verified Failure at 0x%x!!!", offset), platform::MsgIcon::Error);
    if (!plan.eraseOnMismatch) return;
    if (!run.step({kTagErase, ComIsp2EraseChip, kBoardWaitMs, Timeout::Verify})) return;
    if (!run.step({kTagFinish, ComIsp2CmdFinish, kBoardWaitMs, Timeout::Verify})) return;
    LeaveTarget(run, plan.leave);
}

enum class HeldBlock { Blank, Written, Other, Unread };

// The eight bytes at P read back: blank when all are 0xFF, written when they are the block this
// run would write but for the part's own serial number. Any other bytes are a block cut short or
// written for other settings. A reply without them judges nothing.
HeldBlock ReadHeldBlock(GangRun& run, OptionRule rule) {
    const uint8_t hi = static_cast<uint8_t>(run.optionAddr >> 8);
    const uint8_t lo = static_cast<uint8_t>(run.optionAddr);
    if (!run.step({kTagHiByte, [hi] { return ComIspTransHiByte(hi); }, kTargetWaitMs, Timeout::Verify}) ||
        !run.step({kTagRead, [lo] { return ComIspReadN(lo, 8); }, kTargetWaitMs, Timeout::Judge}) ||
        g_nReplyDataSize < 8)
        return HeldBlock::Unread;
    const uint8_t* held = g_pBlockBuf.data();
    if (std::all_of(held, held + 8, [](uint8_t b) { return b == 0xFF; })) return HeldBlock::Blank;
    // Building the block steps the number past the one it takes: the number stays as it was.
    const uint32_t serial = g_nGangSerial;
    std::array<uint8_t, 8> whole = BuildOptionBlock(run, rule);
    g_nGangSerial = serial;
    if (GivesSerialNumbers()) std::copy_n(held + 1, 3, whole.begin() + 1);
    return std::equal(whole.begin(), whole.end(), held) ? HeldBlock::Written : HeldBlock::Other;
}

// A part that holds an option block keeps it: written over, the flash would keep the AND of both
// blocks, another part's serial number among them. Its key page is written all the same: a run
// that failed after the block may have left it erased or half written. False when the run ends.
bool WriteOptionIfBlank(GangRun& run, const PassPlan& plan, int socket) {
    const bool read = plan.optionOnBlankOnly && OptionBlockWanted(run, *plan.option);
    const HeldBlock held = read ? ReadHeldBlock(run, plan.option->rule) : HeldBlock::Blank;
    if (held == HeldBlock::Blank) return WriteOptionBlock(run, socket, *plan.option);
    if (held != HeldBlock::Written) run.state[socket] = kVerifyFailed;
    if (run.timedOut) return false;
    if (held == HeldBlock::Other)
        run.page.messageBox(strfmt("IC%d option block at 0x%X is not a whole block: not written!!!", socket + 1, run.optionAddr),
                            platform::MsgIcon::Error);
    if (held != HeldBlock::Written) return true;
    LogAndScroll(run.page, strfmt("IC%d holds an option block already: not written", socket + 1));
    return WritePlannedKeyPage(run, socket, *plan.option);
}

}  // namespace

const ChipIdRule kFixedIdRule = {0x37, ComIspCmd49, AcceptsFixedId};
const ChipIdRule kSecondFamilyRule = {0x3B, ComIspCmd09, AcceptsSecondFamily};
const ChipIdRule kFamilyCRule = {0x3B, ComIspCmd09, AcceptsFamilyC};

bool StartVariant(GangRun& run, bool serialNumbers, uint32_t blockBufferSize) {
    return StartRun(run, serialNumbers) && AllocateBlockBuffer(run, blockBufferSize);
}

bool CheckKeyPage(GangRun& run, uint32_t keyAddr) {
    if (!(g_bEncry && g_bKeyWrite)) return true;
    if (keyAddr == 0) return Refuse(run, "Key page address 0 is refused!");
    // The key page's erase takes its whole 256-byte page.
    const uint64_t page = keyAddr / kKeyPage * kKeyPage;
    const uint64_t codeEnd = uint64_t{run.startAddr} + run.dataLength;
    if (Overlaps(page, page + kKeyPage, run.startAddr, codeEnd) ||
        Overlaps(page, page + kKeyPage, run.optionAddr, uint64_t{run.optionAddr} + 8))
        return Refuse(run, strfmt("Key page address 0x%X lies on the code or the option block!", keyAddr));
    return true;
}

bool ChipAccepted(const ChipIdRule& rule) {
    return g_nReplyDataSize > 0 && rule.accepts(g_nChipMode, IdByte(rule));
}

bool RefuseChip(GangRun& run) {
    run.leave();
    if (!run.pause(1)) return false;
    run.page.messageBox("Wrong Chip ID !", platform::MsgIcon::Error);
    return true;
}

bool ScanPass(GangRun& run, const ScanPlan& plan) {
    for (int socket = 0; socket < kSocketCount; ++socket) {
        if (plan.foundOnly && !run.found(socket)) continue;
        const Reach reach = ConnectSocket(run, socket, plan.handshake);
        // A target that answered counts, also when the run ends at its next step.
        run.counted[socket] = run.counted[socket] || run.found(socket);
        if (reach == Reach::Ended) return false;
        if (reach == Reach::Target) {
            if (plan.chipId) {
                IdByte(*plan.chipId) = 0xFF;
                if (!run.step({plan.chipId->tag, plan.chipId->request, kBoardWaitMs, Timeout::Silent})) return false;
                if (!ChipAccepted(*plan.chipId)) {
                    run.state[socket] = kWrongChip;
                    if (!RefuseChip(run)) return false;
                }
            }
        }
        if (!run.pause(g_nComExtraDelay) || (plan.waitAfter[socket] && !run.pause(g_dwWaitMs))) return false;
    }
    return CheckSocketsLeft(run);
}

bool CheckSocketsLeft(GangRun& run) {
    if (!AnySiteFound()) return Refuse(run, "No Target IC found!");
    if (std::none_of(run.state.begin(), run.state.end(), [](uint8_t s) { return s == kGood; })) {
        run.running = false;
        return false;
    }
    return true;
}

bool StopAllTargets(GangRun& run) {
    return run.step({kTagStopMcu, ComIsp2StopMcu, kBoardWaitMs, Timeout::Message, "ISP_STOPMCU!"});
}

bool LeaveTarget(GangRun& run, const LeavePauses& pauses) {
    run.leave();
    const int count = pauses.count + (pauses.moreOn62 && IsWindows62() ? 6 : 0);
    for (int i = 0; i < count; ++i) {
        if (!run.pause(1)) return false;
    }
    return true;
}

ErasePlan VariantErase(AfterErase after, uint32_t pagePause) {
    ErasePlan plan = LandedErase();
    plan.pagePause = pagePause;
    switch (after) {
    case AfterErase::LostPortOnly:
        plan.reopen = [](GangRun& run) {
            GangPause(1, PauseKind::RunEnd);
            return PortOpenedAgain(run, ReopenLostPort());
        };
        break;
    case AfterErase::ClosePort:
        plan.reopen = [](GangRun& run) { return PortOpenedAgain(run, ReopenByClosing({0, 500 + 30, 30, 30})); };
        break;
    case AfterErase::ClosePortByDelay:
        plan.reopen = [](GangRun& run) {
            const uint32_t d = g_nDelayCount;
            return PortOpenedAgain(run, ReopenByClosing({d, 500 + 2 * d, d, d}));
        };
        break;
    }
    return plan;
}

void ScaleByBlocks(GangRun& run, uint32_t blockSize) {
    run.divisor = LeastDivisor(run.image.size, 255, 8);
    SetRange(run, run.dataLength / blockSize / run.divisor);
}

void ScaleBySegments(GangRun& run, uint64_t units) {
    uint64_t segments = 1;
    for (int socket = 0; socket < kSocketCount; ++socket) segments += run.found(socket) ? 1 : 0;
    run.divisor = LeastDivisor(units * segments, 256, 1);
    SetRange(run, units * segments / run.divisor);
}

bool VerifyEachSocket(GangRun& run, const PassPlan& plan) {
    const uint32_t blockSize = plan.readout == Readout::ReadBack ? plan.readBlock : kVerifyBlock;
    const uint32_t blocks = run.dataLength / blockSize;
    const uint32_t tail = run.dataLength % blockSize;
    uint64_t done = plan.leadUnits != 0 ? plan.leadUnits : plan.units;
    for (int socket = 0; socket < kSocketCount; ++socket) {
        g_bSocketPass[socket] = 0;
        if (!run.found(socket)) continue;
        const uint64_t base = done / run.divisor;
        done += plan.units;
        run.log(strfmt("Begin verifying IC%d ........", socket + 1));
        if (!plan.segments) run.page.setProgressPos(0);
        const double start = platform::wallSeconds();
        bool ended = false;
        if (!SelectForVerify(run, socket, plan.selection, ended)) {
            if (ended) return false;
            continue;
        }
        if (plan.rangePerSocket) SetRange(run, blocks / run.divisor);
        uint8_t& state = run.state[socket];
        uint16_t cachedHi = 0xFF;
        uint32_t address = run.startAddr;
        uint32_t offset = 0;
        for (uint32_t b = 0; b < blocks; ++b) {
            if (run.stopRequested()) {
                run.running = false;
                return false;
            }
            // A block left uncompared must not let the part pass.
            if (!Blink(run, plan, socket, b, blocks)) {
                if (run.timedOut) return false;
                state = kVerifyFailed;
                break;
            }
            const Block result = CheckBlock(run, plan, address, offset, blockSize, false, cachedHi);
            if (result == Block::EndsRun || run.timedOut) return false;
            if (result != Block::Matched) {
                state = kVerifyFailed;
                if (result == Block::Differed) OnMismatch(run, plan, offset, plan.blockMessage);
                break;
            }
            offset += blockSize;
            address += blockSize;
            run.page.setProgressPos(static_cast<int>(plan.segments ? base + offset / run.divisor : b / run.divisor));
            run.noteTag(kIdleTag);
        }
        if (!run.running || run.timedOut) return false;
        if (tail != 0 && state != kVerifyFailed) {
            const Block result = CheckBlock(run, plan, address, offset, tail, true, cachedHi);
            if (result == Block::EndsRun || run.timedOut) return false;
            if (result != Block::Matched) state = kVerifyFailed;
            // A tail that differs ends the pass over the sockets; one left unanswered fails its
            // part alone, as in any other block.
            if (result == Block::Differed) {
                OnMismatch(run, plan, offset, plan.tailMessage);
                return true;
            }
        }
        if (plan.option && state == kGood && !WriteOptionIfBlank(run, plan, socket)) return false;
        if (!LeaveTarget(run, plan.leave)) return false;
        if (!PortOpenedAgain(run, ReopenLostPort())) return false;
        if (state == kGood) g_bSocketPass[socket] = 1;
        run.log(state == kGood ? strfmt("Verify IC%d successful, elapsed time : %2.1f seconds\n", socket + 1,
                                        SecondsSince(start))
                               : strfmt("Verify IC%d failure!!!\n", socket + 1));
    }
    return true;
}

}  // namespace engine_com
