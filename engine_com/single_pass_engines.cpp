// The single-pass runs: one target (or, after a board scan, every target found at once) from
// handshake to leave frame in one pass, without socket power, LEDs or counters; and the page and
// chip erase runs.
#include "core/globals.h"
#include "core/worker_page.h"
#include "engine_com/gang_variants.h"
#include "engine_com/single_pass_steps.h"
#include "platform/clock.h"

using namespace engine_com;
namespace ctl = engine_hid::ctl;

namespace {

constexpr const char* kBeginProgramming = "Begin programming.............";
constexpr const char* kProgrammed = "program successful, elapsed time : %2.1f seconds\n";
constexpr const char* kVerified = "Verify successful, elapsed time : %2.1f seconds\n";
constexpr const char* kVerifyTime = "Verify elapsed time : %2.1f seconds\n";

// The reference run after its handshake or scan: speed, erase, program, option block, key page,
// read-back.
// After a broadcast each target is read back and given its key page on its own.
enum class Readers { One, EachFound };
void EraseProgramAndVerify(SinglePass& sp, Readers readers = Readers::One) {
    if (!ChangeLineSpeed(sp.run) || !EraseTarget(sp)) return;
    engine_hid::LogAndScroll(sp.run.page, kBeginProgramming);
    if (!(ProgramTarget(sp, kProgrammed) && WriteSingleOptionBlock(sp))) return;
    if (readers == Readers::EachFound)
        VerifyEachFound(sp, kVerified);
    else if (WriteKeyBytes(sp, true) && VerifyByReadBack(sp))
        CloseVerify(sp, 100, kVerified);
}

// The members that say nothing of a step's own time-out and wait no extra delay at the handshake.
SinglePlan Quiet8(int startButton) {
    return {.startButton = startButton, .texts = false, .extraDelay = false, .frames = BlockFrames::Eight, .icons = false};
}

}  // namespace

void GangSingleProgramThread(WorkerPage& page) {
    SinglePass sp(page, {.startButton = ctl::kAuto});
    if (StartSinglePass(sp, true) && PatchOptionBlock(sp, OptionPatch::CodeOption) && EnterIsp(sp))
        EraseProgramAndVerify(sp);
    EndSinglePass(sp);
}

void GangBroadcastProgramThread(WorkerPage& page) {
    SinglePass sp(page, {.startButton = ctl::kAuto});
    // A socket shows its icons only once the scan has found it.
    sp.run.state.fill(kEmpty);
    if (StartSinglePass(sp, true) && PatchOptionBlock(sp, OptionPatch::CodeOption) && ScanForBroadcast(sp))
        EraseProgramAndVerify(sp, Readers::EachFound);
    EndSinglePass(sp);
}

void GangSingleProgram8Thread(WorkerPage& page) {
    SinglePass sp(page, {.startButton = ctl::kAuto, .frames = BlockFrames::Eight});
    if (StartSinglePass(sp, true) && PatchOptionBlock(sp, OptionPatch::CodeOptionOrMark) && EnterIsp(sp))
        EraseProgramAndVerify(sp);
    EndSinglePass(sp);
}

// No option block: only the encryption mark; every stage logs its time.
void GangTimedProgramThread(WorkerPage& page) {
    SinglePlan plan = Quiet8(ctl::kAuto);
    plan.finishEachFrame = true;
    SinglePass sp(page, plan);
    if (StartSinglePass(sp, true) && PatchOptionBlock(sp, OptionPatch::Mark) && EnterIsp(sp)) {
        if (ChangeLineSpeed(sp.run) && EraseTarget(sp)) {
            engine_hid::LogAndScroll(page, kBeginProgramming);
            if (ProgramTarget(sp, "program elapsed time : %2.1f seconds\n") && MarkEncryption(sp) &&
                WriteKeyBytes(sp, false) && VerifyOnTarget(sp))
                CloseVerify(sp, 0, kVerifyTime);
        }
    }
    EndSinglePass(sp);
}

// Nothing compares the code it writes: every write is judged by the target's report. The option
// block, which no erase goes before, is read back.
void GangProgramOnlyThread(WorkerPage& page) {
    SinglePlan plan = Quiet8(ctl::kProgram);
    plan.compared = false;
    SinglePass sp(page, plan);
    if (StartSinglePass(sp, true) && PatchOptionBlock(sp, OptionPatch::CodeOption)) {
        engine_hid::LogAndScroll(page, kBeginProgramming);
        if (EnterIsp(sp) && ChangeLineSpeed(sp.run) && ProgramTarget(sp, kProgrammed) && WriteSingleOptionBlock(sp) &&
            WriteKeyBytes(sp, true)) {
            sp.run.leave();
            GangPause(1, PauseKind::RunEnd);
        }
    }
    EndSinglePass(sp);
}

void GangVerifyOnlyThread(WorkerPage& page) {
    SinglePass sp(page, Quiet8(ctl::kVerify));
    if (StartSinglePass(sp, true)) {
        ScaleBlocks(sp);
        if (EnterIsp(sp) && VerifyByReadBack(sp)) CloseVerify(sp, 0, kVerifyTime);
    }
    EndSinglePass(sp);
}

// The range comes from the page; the port stays open for the next request.
void GangPageEraseThread(WorkerPage& page) {
    g_bTaskWorking = true;
    SinglePass sp(page, {.startButton = 0, .texts = false});
    const WorkerPage::PageRange range = page.pageEraseRange();
    if (CheckPageRange(sp, range)) {
        engine_hid::LogAndScroll(page, "Begin erase chip data.............");
        const double start = platform::wallSeconds();
        if (EnterEraseRun(sp, true) && ErasePages(sp, range.first, range.count)) LeaveErasedTarget(sp, start);
        EndEraseRun(sp);
    }
    page.setProgressPos(0);
    g_bTaskWorking = false;
}

void GangChipEraseThread(WorkerPage& page) {
    g_bTaskWorking = true;
    SinglePass sp(page, {.startButton = 0, .texts = false});
    engine_hid::LogAndScroll(page, "Begin erase chip all data.............");
    const double start = platform::wallSeconds();
    if (EnterEraseRun(sp, false) && EraseChip(sp)) {
        LeaveErasedTarget(sp, start);
        GangPause(1, PauseKind::RunEnd);
    }
    EndEraseRun(sp);
    ReleaseBoardPort(false);
    g_bTaskWorking = false;
}
