#include "engine_com/single_pass_steps.h"

#include <algorithm>

#include "core/globals.h"
#include "engine_com/gang_settings.h"
#include "engine_com/variant_steps.h"
#include "link/com_frames.h"
#include "link/com_reply.h"
#include "link/serial_port.h"
#include "platform/clock.h"
#include "platform/strfmt.h"

namespace engine_com {

using namespace engine_hid;

namespace {

constexpr uint32_t kBlock = 32;
constexpr uint32_t kFrame8 = 8;
constexpr uint32_t kPage = 256;
constexpr uint8_t kKeyPageHi = 0x40;
constexpr uint8_t kTagRead8 = 0x00;
constexpr uint8_t kTagRead = 0x01;
constexpr uint8_t kTagReadMark = 0x02;

// A step with its own text where the member shows texts; else its time-out ends the run silently.
ComStep Texted(const SinglePass& sp, uint8_t tag, std::function<bool()> frame, uint32_t waitMs, const char* text) {
    if (!sp.plan.texts) return {tag, std::move(frame), waitMs, Timeout::Silent};
    return {tag, std::move(frame), waitMs, Timeout::Message, text};
}

ComStep Quiet(uint8_t tag, std::function<bool()> frame, uint32_t waitMs = kTargetWaitMs, Timeout kind = Timeout::Silent) {
    return {tag, std::move(frame), waitMs, kind};
}

// The kinds of a read-back's steps: a lost reply ends the run that reads one target back, and
// fails one target alone where each of several is read back in turn.
struct ReadKinds {
    Timeout hiByte = Timeout::Silent;
    Timeout read = Timeout::Silent;
};
constexpr ReadKinds kOneOfSeveral{Timeout::Verify, Timeout::Judge};

// A write that nothing compares after it: a program-memory error that the target reports ends
// the run failed.
bool Judged(SinglePass& sp, uint32_t address) {
    if (WriteLanded(sp.run, TargetWriteStatus(), address)) return true;
    sp.run.running = false;
    return false;
}

// The encryption mark in the low four bits of the byte at P; its high four bits are the code
// option's and stay.
constexpr uint8_t kMark = 0x0A;
bool Marked(uint8_t byte) { return (byte & 0x0F) == kMark; }
uint8_t WithMark(uint8_t byte) { return static_cast<uint8_t>((byte & 0xF0) | kMark); }

// These runs log every line, whatever "Log Steps" says.
void Log(SinglePass& sp, const std::string& line) { LogAndScroll(sp.run.page, line); }

// The high address byte of address, sent only when it changed since the last one of the run.
bool SendHiByte(SinglePass& sp, uint32_t address, bool texted, Timeout quiet = Timeout::Silent) {
    const uint8_t hi = static_cast<uint8_t>(address >> 8);
    if (hi == sp.hi) return true;
    sp.hi = hi;
    const auto frame = [hi] { return ComIspTransHiByte(hi); };
    return sp.run.step(texted ? Texted(sp, kTagHiByte, frame, kTargetWaitMs, "ISP_TRANSHIBYTE!")
                              : Quiet(kTagHiByte, frame, kTargetWaitMs, quiet));
}

bool Finish(SinglePass& sp, bool texted, uint32_t waitMs = kTargetWaitMs) {
    return sp.run.step(texted ? Texted(sp, kTagFinish, ComIspCmdFinish, waitMs, "ISP_CMDFINISH!")
                              : Quiet(kTagFinish, ComIspCmdFinish, waitMs));
}

// count image bytes from offset, staged in a block of 0xFF.
std::array<uint8_t, kBlock> Staged(const SinglePass& sp, uint32_t offset, uint32_t count) {
    std::array<uint8_t, kBlock> block;
    block.fill(0xFF);
    std::copy_n(sp.run.image.buffer.begin() + offset, count, block.begin());
    return block;
}

// One block of count bytes: one data frame, or an 8-byte frame per started 8 bytes.
bool SendBlock(SinglePass& sp, uint32_t address, uint32_t offset, uint32_t count, bool texted) {
    const auto block = Staged(sp, offset, count);
    const uint8_t lo = static_cast<uint8_t>(address);
    const auto data = [&](uint32_t at, std::function<bool()> frame) {
        return sp.run.step(texted ? Texted(sp, kTagData, std::move(frame), kTargetWaitMs, "ISP_TRANS8DATA!")
                                  : Quiet(kTagData, std::move(frame))) &&
               (sp.plan.compared || Judged(sp, address + at));
    };
    if (sp.plan.frames == BlockFrames::Wide)
        return data(0, [lo, block, count] { return ComIspTransData(lo, std::span(block).first(count)); }) &&
               Finish(sp, texted);
    // A block from an address inside a page reaches into the next one: each frame names its page.
    for (uint32_t at = 0; at < count; at += kFrame8) {
        const uint8_t frameLo = static_cast<uint8_t>(lo + at);
        if (!SendHiByte(sp, address + at, texted)) return false;
        if (!data(at, [frameLo, block, at] { return ComIspTrans8Data(frameLo, std::span(block).subspan(at).first<kFrame8>()); }))
            return false;
        if (sp.plan.finishEachFrame && !Finish(sp, texted)) return false;
    }
    return sp.plan.finishEachFrame || Finish(sp, texted);
}

// Reads count bytes back from address, in one frame or in 8-byte frames, and compares them with
// the expected ones. A reply with fewer bytes than asked compares nothing: the block differs.
enum class ReadBack { Matched, Differed, Unanswered };
ReadBack ReadAndCompare(SinglePass& sp, BlockFrames frames, uint32_t address, const uint8_t* expected, uint32_t count,
                        ReadKinds kinds = {}) {
    const uint32_t frameSize = frames == BlockFrames::Wide ? count : kFrame8;
    for (uint32_t at = 0; at < count; at += frameSize) {
        const uint8_t lo = static_cast<uint8_t>(address + at);
        const uint32_t compared = std::min(frameSize, count - at);
        const ComStep read = frames == BlockFrames::Wide
                                 ? Quiet(kTagRead, [lo, n = static_cast<uint8_t>(count)] { return ComIspReadN(lo, n); },
                                         kTargetWaitMs, kinds.read)
                                 : Quiet(kTagRead8, [lo] { return ComIspRead8(lo); }, kTargetWaitMs, kinds.read);
        if (!SendHiByte(sp, address + at, false, kinds.hiByte) || !sp.run.step(read)) return ReadBack::Unanswered;
        if (g_nReplyDataSize < compared || !std::equal(expected + at, expected + at + compared, g_pBlockBuf.data()))
            return ReadBack::Differed;
    }
    return ReadBack::Matched;
}

bool Mismatch(SinglePass& sp, uint32_t offset) { return Refuse(sp.run, strfmt("Verified Failure at 0x%x!!!", offset)); }

void BeginVerify(SinglePass& sp) {
    Log(sp, "Begin verifying........");
    sp.run.page.setProgressPos(0);
    sp.verifyStart = platform::wallSeconds();
}

bool SerialInBlock() { return g_bCodeOption && g_bGangSerialEnable; }

// The option block about to go out, with its number taken from the INI file (and advanced there)
// as it is spent, so that no other part gets it whatever becomes of this run.
bool NumberedOptionBytes(SinglePass& sp, std::array<uint8_t, 8>& block) {
    if (SerialInBlock()) {
        if (!TakeSerialNumber(sp.run, NumbersPerPart())) return false;
        sp.serialTaken = true;
    }
    block = CodeOptionBlock();
    if (sp.serialTaken && g_bSerialAutoInc) ++g_nGangSerial;
    return true;
}

bool KeyPageWanted() { return g_bEncry && g_bKeyWrite; }

// The key page through the switches that are closed; socket names the target reached alone in
// the message of a byte it reports not landed.
enum class KeyWrite { Landed, NotLanded, Unanswered };
KeyWrite WriteKeyPage(SinglePass& sp, bool erasePage, int socket = -1) {
    GangRun& run = sp.run;
    sp.hi = kKeyPageHi;
    if (!run.step(Quiet(kTagHiByte, [] { return ComIspTransHiByte(kKeyPageHi); }))) return KeyWrite::Unanswered;
    if (erasePage) {
        if (!run.step(Quiet(kTagPageErase, ComIspCmd18))) return KeyWrite::Unanswered;
        // Cancel ends the pause the page's erase needs: the key is not written over it.
        if (!run.pause(40) || !Finish(sp, false)) return KeyWrite::Unanswered;
    }
    for (uint32_t j = 0; j < g_KeyBytes.size(); ++j) {
        const uint8_t value = g_KeyBytes[j];
        if (!run.step(Quiet(kTagData1, [j, value] { return ComIspTrans1Data(static_cast<uint8_t>(j), value); })))
            return KeyWrite::Unanswered;
        if (!WriteLanded(run, TargetWriteStatus(), uint32_t{kKeyPageHi} << 8 | j, socket)) return KeyWrite::NotLanded;
        if (!run.pause(100) || !Finish(sp, false)) return KeyWrite::Unanswered;
    }
    return KeyWrite::Landed;
}

// Every socket the broadcast greeted and has not let go yet, reached at once: one leave frame.
// Every switch frame goes out whatever the one before it answered (an unanswered one is told),
// so that a lost reply keeps no target in ISP mode; then the switches settle and the targets
// leave, whatever Cancel says. False when it holds none.
bool LetHeldTargetsGo(SinglePass& sp) {
    if (std::none_of(sp.held.begin(), sp.held.end(), [](bool held) { return held; })) return false;
    for (int line = 0; line < kSocketCount; ++line) sp.run.step(SwitchStep(line, sp.held[line], Timeout::End));
    GangPause(g_dwWaitMs, PauseKind::RunEnd);
    sp.run.leave();
    GangPause(1, PauseKind::RunEnd);
    sp.held.fill(false);
    return true;
}

}  // namespace

bool StartSinglePass(SinglePass& sp, bool blockBuffer) {
    if (!StartRun(sp.run, false, platform::MsgIcon::Error, sp.plan.startButton)) return false;
    if (blockBuffer && !g_pBlockBuf.allocate(64)) return Refuse(sp.run, "Error allocating data buffer memory for 64  bytes\n");
    return OpenBoardPort(sp.run);
}

bool PatchOptionBlock(SinglePass& sp, OptionPatch patch) {
    GangRun& run = sp.run;
    const uint32_t p = run.optionAddr;
    // The start's gate has refused code that passes P from a start address above 0 (only an
    // image from address 0 carries its own option block) and an option block beyond the flash:
    // an image that passes P starts at address 0, and its block ends within the flash.
    const bool reached = uint64_t{run.startAddr} + run.image.size > p;
    run.dataLength = static_cast<uint32_t>(run.image.size);
    uint8_t& mark = run.image.buffer[p];
    if (reached && g_bCodeOption && patch != OptionPatch::Mark) {
        const auto block = CodeOptionBlock();
        std::copy_n(block.begin(), 5, run.image.buffer.begin() + p);
        run.dataLength = p + 8;
        sp.serialInImage = SerialInBlock();
    } else if (reached && g_bEncry && patch == OptionPatch::CodeOptionOrMark) {
        mark = 0xFA;
    } else if (reached && g_bEncry && patch == OptionPatch::Mark && !Marked(mark)) {
        // The mark goes in with the code, where the verify sees it; written after the code it
        // would spoil the programmed byte.
        mark = WithMark(mark);
    }
    ScaleBlocks(sp);
    return CheckKeyPage(run, uint32_t{kKeyPageHi} << 8);
}

// The bar over the 32-byte blocks of S, one step for divisor blocks.
void ScaleBlocks(SinglePass& sp) {
    GangRun& run = sp.run;
    run.divisor = 1;
    while (run.dataLength / (8 * run.divisor) >= 255) ++run.divisor;
    run.page.setProgressRange(0, static_cast<int>(run.dataLength / kBlock / run.divisor));
    run.page.setProgressPos(0);
}

bool EnterIsp(SinglePass& sp) {
    sp.greeted = true;
    if (!sp.run.step(Texted(sp, kTagLinkStart, ComIspStart, kBoardWaitMs, "ISP_START!"))) return false;
    if (sp.plan.extraDelay && !sp.run.pause(g_nComExtraDelay)) return false;
    return sp.run.step(Texted(sp, kTagStopMcu, ComIspStopMcu, kBoardWaitMs, "ISP_STOPMCU!"));
}

bool EraseTarget(SinglePass& sp) {
    GangRun& run = sp.run;
    const double start = platform::wallSeconds();
    if (run.startAddr == 0) {
        Log(sp, "Begin erase chip all data.............");
        if (!EraseChip(sp)) return false;
    } else {
        const uint32_t first = run.startAddr / kPage;
        const uint32_t end = static_cast<uint32_t>(FlashSizeOfMode(g_nChipMode) / kPage);
        Log(sp, "Begin erase chip page data.............");
        if (!ErasePages(sp, first, end > first ? end - first : 0)) return false;
    }
    Log(sp, strfmt("erase chip elapsed time : %2.1f seconds\n", SecondsSince(start)));
    return run.pause(500);
}

bool EraseChip(SinglePass& sp) {
    return sp.run.step(Texted(sp, kTagErase, ComIspEraseChip, kBoardWaitMs, "ISP_ERASECHIP!")) &&
           Finish(sp, true, kBoardWaitMs);
}

bool ErasePages(SinglePass& sp, uint32_t first, uint32_t count) {
    GangRun& run = sp.run;
    run.page.setProgressRange(0, static_cast<int>(count & 0xFFFF));
    run.page.setProgressPos(0);
    for (uint32_t page = first; page < first + count; ++page) {
        sp.hi = static_cast<uint8_t>(page);
        const auto hiByte = [page] { return ComIspTransHiByte(static_cast<uint8_t>(page)); };
        if (!run.step(Texted(sp, kTagHiByte, hiByte, kTargetWaitMs, "ISP_TRANSHIBYTE!")) ||
            !run.step(Quiet(kTagPageErase, ComIspCmd18)))
            return false;
        // Cancel ends the pause a page's erase needs: no finish, and no page after it.
        if (!run.pause(40) || !Finish(sp, true)) return false;
        run.page.setProgressPos(static_cast<int>(page - first + 1));
    }
    return true;
}

bool ProgramTarget(SinglePass& sp, const char* closingLine) {
    GangRun& run = sp.run;
    std::array<uint8_t, 8> block;
    if (sp.serialInImage) {
        if (!NumberedOptionBytes(sp, block)) return false;
        std::copy_n(block.begin() + 1, 3, run.image.buffer.begin() + run.optionAddr + 1);
    }
    ScaleBlocks(sp);
    const double start = platform::wallSeconds();
    const uint32_t blocks = run.dataLength / kBlock;
    const uint32_t tail = run.dataLength % kBlock;
    uint32_t address = run.startAddr;
    uint32_t offset = 0;
    for (uint32_t b = 0; b < blocks; ++b) {
        if (run.endsOnStop()) return false;
        if (!SendHiByte(sp, address, true) || !SendBlock(sp, address, offset, kBlock, true)) return false;
        address += kBlock;
        offset += kBlock;
        run.page.setProgressPos(static_cast<int>(b / run.divisor));
    }
    if (tail != 0) {
        if (!SendHiByte(sp, address, false) || !SendBlock(sp, address, offset, tail, false)) return false;
        run.noteTag(kIdleTag);
    }
    Log(sp, strfmt(closingLine, SecondsSince(start)));
    return true;
}

// Nothing erases the block before a run that compares nothing: written over one a failed run
// left, it holds the AND of both, another number than this one. It is read back at once.
bool HoldsOptionBlock(SinglePass& sp, const uint8_t* written) {
    const ReadBack held = ReadAndCompare(sp, sp.plan.frames, sp.run.optionAddr, written, kFrame8);
    if (held == ReadBack::Differed)
        return Refuse(sp.run, strfmt("Option block at 0x%X does not hold what was written!!!", sp.run.optionAddr));
    return held == ReadBack::Matched;
}

bool WriteSingleOptionBlock(SinglePass& sp) {
    GangRun& run = sp.run;
    // Code that ends at P has not reached the block either. Code that reaches it carries the
    // block the code option patched in.
    if (uint64_t{run.startAddr} + run.dataLength > run.optionAddr)
        return sp.plan.compared || !g_bCodeOption || HoldsOptionBlock(sp, run.image.buffer.data() + run.optionAddr);
    if (!(g_bEncry || g_bCodeOption)) return true;
    const uint8_t hi = static_cast<uint8_t>(run.optionAddr >> 8);
    const uint8_t lo = static_cast<uint8_t>(run.optionAddr);
    sp.hi = hi;
    std::array<uint8_t, 8> block;
    if (!run.step(Quiet(kTagHiByte, [hi] { return ComIspTransHiByte(hi); })) || !NumberedOptionBytes(sp, block))
        return false;
    sp.optionSent = block;
    if (!(run.step(Quiet(kTagData, [lo, block] { return ComIspTrans8Data(lo, block); })) &&
          (sp.plan.compared || Judged(sp, run.optionAddr)) && Finish(sp, false)))
        return false;
    return sp.plan.compared || HoldsOptionBlock(sp, block.data());
}

bool WriteKeyBytes(SinglePass& sp, bool erasePage) {
    if (!KeyPageWanted()) return true;
    const KeyWrite result = WriteKeyPage(sp, erasePage);
    if (result == KeyWrite::NotLanded) sp.run.running = false;
    return result == KeyWrite::Landed;
}

bool MarkEncryption(SinglePass& sp) {
    GangRun& run = sp.run;
    if (!g_bEncry) return true;
    const uint8_t hi = static_cast<uint8_t>(run.optionAddr >> 8);
    const uint8_t lo = static_cast<uint8_t>(run.optionAddr);
    sp.hi = hi;
    // The byte at P; a reply without it reads as an erased byte without the mark.
    const auto readMark = [&](uint8_t& held) {
        if (!run.step(Quiet(kTagReadMark, [lo] { return ComIspRead8(lo); }))) return false;
        held = g_nReplyDataSize > 0 ? g_pBlockBuf[0] : 0xFF;
        return true;
    };
    uint8_t held = 0xFF;
    if (!run.step(Quiet(kTagHiByte, [hi] { return ComIspTransHiByte(hi); })) || !readMark(held)) return false;
    if (Marked(held)) return true;
    const uint8_t mark = WithMark(held);
    if (!run.step(Quiet(kTagData1, [lo, mark] { return ComIspTrans1Data(lo, mark); })) ||
        !Judged(sp, run.optionAddr) || !Finish(sp, false))
        return false;
    run.noteTag(kIdleTag);
    // No compare follows the mark: it is read back.
    if (!readMark(held)) return false;
    if (Marked(held)) return true;
    return Refuse(sp.run, strfmt("Encryption mark at 0x%X did not land!!!", run.optionAddr));
}

// Every block of S read back from the target the switches reach; at a difference, its offset.
ReadBack ReadBackImage(SinglePass& sp, uint32_t& differsAt, ReadKinds kinds = {}) {
    GangRun& run = sp.run;
    const uint32_t blocks = run.dataLength / kBlock;
    const uint32_t tail = run.dataLength % kBlock;
    uint32_t address = run.startAddr;
    uint32_t offset = 0;
    for (uint32_t b = 0; b <= blocks; ++b) {
        const uint32_t count = b < blocks ? kBlock : tail;
        if (count == 0) break;
        if ((b < blocks && run.endsOnStop()) || !SendHiByte(sp, address, false, kinds.hiByte)) return ReadBack::Unanswered;
        const ReadBack result = ReadAndCompare(sp, sp.plan.frames, address, run.image.buffer.data() + offset, count, kinds);
        if (result != ReadBack::Matched) {
            differsAt = offset;
            return result;
        }
        if (b == blocks) break;
        address += kBlock;
        offset += kBlock;
        run.page.setProgressPos(static_cast<int>(b / run.divisor));
        run.noteTag(kIdleTag);
    }
    // An option block that went out on its own is the part's as much as its code.
    if (!sp.optionSent) return ReadBack::Matched;
    differsAt = run.optionAddr - run.startAddr;
    return ReadAndCompare(sp, sp.plan.frames, run.optionAddr, sp.optionSent->data(), kFrame8, kinds);
}

bool VerifyByReadBack(SinglePass& sp) {
    BeginVerify(sp);
    uint32_t differsAt = 0;
    const ReadBack result = ReadBackImage(sp, differsAt);
    if (result == ReadBack::Differed) return Mismatch(sp, differsAt);
    return result == ReadBack::Matched;
}

bool VerifyEachFound(SinglePass& sp, const char* line) {
    GangRun& run = sp.run;
    BeginVerify(sp);
    bool allPassed = true;
    for (int socket = 0; socket < kSocketCount; ++socket) {
        if (!run.found(socket)) continue;
        if (!SelectSocket(run, socket, Timeout::Message) || !run.pause(g_dwWaitMs)) return false;
        // Each target keeps the high byte it was last sent; the next one is asked afresh.
        sp.hi = 0xFF;
        run.page.setProgressPos(0);
        uint32_t differsAt = 0;
        const ReadBack result = ReadBackImage(sp, differsAt, kOneOfSeveral);
        // Cancel, or a board lost; one lost reply fails this target alone.
        if (!run.running || run.timedOut) return false;
        if (result == ReadBack::Differed)
            run.page.messageBox(strfmt("Verified Failure at 0x%x!!!", differsAt), platform::MsgIcon::Error);
        // The frames that reached every target at once are judged by the first one's reply only.
        const KeyWrite key = result == ReadBack::Matched && KeyPageWanted() ? WriteKeyPage(sp, true, socket) : KeyWrite::Landed;
        if (key == KeyWrite::Unanswered) return false;
        if (result != ReadBack::Matched || key == KeyWrite::NotLanded) {
            run.state[socket] = kVerifyFailed;
            allPassed = false;
            Log(sp, strfmt("Verify IC%d failure!!!\n", socket + 1));
        }
        run.leave();
        sp.held[socket] = false;
        if (!run.pause(1)) return false;
    }
    // Every target is let go: the run's end.
    GangPause(100, PauseKind::RunEnd);
    if (allPassed) Log(sp, strfmt(line, SecondsSince(sp.verifyStart)));
    return true;
}

bool VerifyOnTarget(SinglePass& sp) {
    GangRun& run = sp.run;
    BeginVerify(sp);
    sp.hi = 0xFF;
    const uint32_t blocks = run.dataLength / kBlock;
    const uint32_t tail = run.dataLength % kBlock;
    uint32_t address = run.startAddr;
    uint32_t offset = 0;
    for (uint32_t b = 0; b < blocks; ++b) {
        if (run.endsOnStop() || !SendHiByte(sp, address, false)) return false;
        const auto block = Staged(sp, offset, kBlock);
        for (uint32_t at = 0; at < kBlock; at += kFrame8) {
            const uint8_t lo = static_cast<uint8_t>(address + at);
            const auto compare = [lo, block, at] { return ComIspCmd3A8(lo, std::span(block).subspan(at).first<kFrame8>()); };
            if (!SendHiByte(sp, address + at, false) || !run.step(Quiet(kTagCompare, compare))) return false;
        }
        // The target keeps a difference until asked: every 64 bytes, and after the last block.
        if ((offset % 64 == 0 && offset != 0) || b + 1 == blocks) {
            if (!run.step(Quiet(kTagCompareResult, ComIspCmd0B))) return false;
            if (g_bSkipBlockErase == 0) return Mismatch(sp, offset);
        }
        address += kBlock;
        offset += kBlock;
        run.page.setProgressPos(static_cast<int>(b / run.divisor));
        run.noteTag(kIdleTag);
    }
    if (tail == 0) return true;
    if (!SendHiByte(sp, address, false)) return false;
    const ReadBack result = ReadAndCompare(sp, BlockFrames::Eight, address, run.image.buffer.data() + offset, tail);
    if (result == ReadBack::Differed) return Mismatch(sp, offset);
    return result == ReadBack::Matched;
}

void CloseVerify(SinglePass& sp, uint32_t pauseMs, const char* line) {
    sp.run.leave();
    GangPause(1, PauseKind::RunEnd);
    GangPause(pauseMs, PauseKind::RunEnd);
    Log(sp, strfmt(line, SecondsSince(sp.verifyStart)));
}

bool ScanForBroadcast(SinglePass& sp) {
    GangRun& run = sp.run;
    const auto boardStep = [&](const ComStep& s) { return run.step(s) && run.pause(g_dwWaitMs); };
    if (!boardStep({kTagMultiplexer, [] { return ComSet4053(0); }, kBoardWaitMs, Timeout::Message, "ISP_4053 timeout!"}))
        return false;
    for (const int on : {1, 0, 1}) {
        if (!boardStep({static_cast<uint8_t>(on ? 0x34 : 0x33), [on] { return ComSetWakeup(on); }, kBoardWaitMs,
                        Timeout::Message, "ISP_WAKEUP TIMEOUT!"}))
            return false;
    }
    sp.greeted = true;
    for (int socket = 0; socket < kSocketCount; ++socket) {
        for (int line = 0; line < kSocketCount; ++line) {
            ComStep s = SwitchStep(line, line == socket, Timeout::Message);
            // The steps of socket 1 name switches B and C in lower case.
            if (socket == 0 && (line == 1 || line == 2)) s.message = strfmt("ISP_4066%c timeout!", "abcd"[line]);
            if (!boardStep(s)) return false;
        }
        // A target whose answer is lost is in ISP mode all the same.
        sp.held[socket] = true;
        const bool answered = run.step({kTagLinkStart, ComIspStart, kBoardWaitMs, Timeout::Handshake});
        g_bSocketFound[socket] = answered ? 1 : 0;
        run.counted[socket] = answered;
        run.state[socket] = answered ? kGood : kEmpty;
        if (!run.pause(g_nComExtraDelay)) return false;
    }
    const auto found = std::count(run.counted.begin(), run.counted.end(), true);
    if (found == 0) return Refuse(sp.run, "No Target IC found!");
    // The same frames reach every found target: one serial number must not go into several.
    if (SerialInBlock() && found > 1)
        return Refuse(sp.run, strfmt("One serial number cannot go to %d ICs at once!", static_cast<int>(found)));
    for (int line = 0; line < kSocketCount; ++line) {
        if (!boardStep(SwitchStep(line, run.found(line), Timeout::Message))) return false;
    }
    return run.step({kTagStopMcu, ComIspStopMcu, kBoardWaitMs, Timeout::Message, "ISP_STOPMCU!"});
}

void EndSinglePass(SinglePass& sp) {
    GangRun& run = sp.run;
    if (run.timedOut) {
        run.running = false;
        run.page.messageBox(kTimeoutText, platform::MsgIcon::Error);
    }
    g_pBlockBuf.release();
    run.image = {};
    run.page.setProgressPos(0);
    run.page.enableControl(ctl::kCancel, false);
    // A broadcast lets every target it greeted and still holds go, however it ended: the one
    // switch left closed reaches one target. Any other unfinished run lets its target go, but
    // after a time-out the members with icons leave it be.
    if (g_SerialPort.IsOpen() && !LetHeldTargetsGo(sp) && !run.running && sp.greeted && (!sp.plan.icons || !run.timedOut)) {
        run.leave();
        GangPause(1, PauseKind::RunEnd);
    }
    // A socket that the broadcast scan did not find shows nothing; the others their own result.
    if (sp.plan.icons) {
        for (int socket = 0; socket < kSocketCount; ++socket) {
            if (run.state[socket] == kEmpty) continue;
            const bool passed = run.running && run.state[socket] == kGood;
            run.page.setControlIcon(ctl::kSiteIcon1 + socket, passed ? icon::kPass : icon::kFail);
            run.page.setControlIcon(ctl::kIndicator1 + socket, icon::kTargetPresent[socket]);
        }
    }
    if (sp.serialTaken) ShowSerial(run.page);
    ReleaseBoardPort();
    run.page.enableControl(sp.plan.startButton, true);
    g_bTaskWorking = false;
}

bool CheckPageRange(SinglePass& sp, const WorkerPage::PageRange& range) {
    const uint64_t end = uint64_t{range.first} + range.count;
    const uint64_t flash = FlashSizeOfMode(g_nChipMode);
    if (end * kPage <= flash) return true;
    return Refuse(sp.run, strfmt("Pages 0x%X to 0x%X lie beyond the flash of 0x%X bytes!", range.first,
                             static_cast<uint32_t>(end - 1), static_cast<uint32_t>(flash)));
}

bool EnterEraseRun(SinglePass& sp, bool waitForStop) {
    GangRun& run = sp.run;
    if (!OpenBoardPort(run) || !run.step(Quiet(kTagLinkStart, ComIspStart, kBoardWaitMs))) return false;
    if (waitForStop) return run.step(Quiet(kTagStopMcu, ComIspStopMcu, kBoardWaitMs));
    run.noteTag(kTagStopMcu);
    run.sendUnanswered(ComIspStopMcu);
    return true;
}

void LeaveErasedTarget(SinglePass& sp, double start) {
    sp.run.leave();
    GangPause(1, PauseKind::RunEnd);
    Log(sp, strfmt("erase chip elapsed time : %2.1f seconds\n", SecondsSince(start)));
}

void EndEraseRun(SinglePass& sp) {
    GangRun& run = sp.run;
    // A cancelled erase lets its target go too.
    const bool cancelled = !run.running && run.stopRequested() && g_SerialPort.IsOpen();
    if (!run.timedOut && !cancelled) return;
    if (run.timedOut) run.page.messageBox(kTimeoutText, platform::MsgIcon::Error);
    run.leave();
    for (int i = 0; i < 3; ++i) GangPause(1, PauseKind::RunEnd);
}

}  // namespace engine_com
