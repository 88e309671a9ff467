// The variants for the targets of handshake A ("RQ2728", tag 0x39) and the protection bytes 0xA5
// and 0x5A: the byte-wise run (one byte a frame into every found target at once, a read-back of
// each in 32-byte blocks, the erase of a part that differs, the option block through the second
// command set) and its twin that only verifies and writes the option block into a part without
// one; the MTP run (byte-wise programming, the landed on-target verify, the option block a byte at
// a time with busy polls); and the verify-only run that compares the image on the target up to
// the option block.
#include "core/globals.h"
#include "core/worker_page.h"
#include "engine_com/byte_steps.h"
#include "engine_com/gang_settings.h"
#include "engine_com/gang_variants.h"
#include "engine_com/variant_steps.h"
#include "link/com_frames.h"
#include "platform/strfmt.h"

using namespace engine_com;
using engine_hid::SaveCounters;
namespace icon = engine_hid::icon;

namespace {

constexpr uint32_t kReadBackBlock = 32;

// Start, key page, port and the guard for the protection bytes 0xA5 and 0x5A.
bool StartByteWise(GangRun& run, uint32_t blockBuffer) {
    return StartVariant(run, true, blockBuffer) && CheckKeyPage(run, g_dwKeyAddr) &&
           OpenBoardPort(run) && ProtectionGuard(run, CodeOptionPrompt::None, kKeyProtection);
}

bool PowerAndScan(GangRun& run) { return PowerOnBoard(run) && ScanPass(run, {HandshakeA()}); }

// Each found socket read back in 32-byte blocks; a differing part is erased; one that passes gets
// its option block through the second command set when encryption, the code option or the serial
// number ask for it. Nothing erases the block before: it and the key page are read back.
PassPlan ByteWisePass() {
    return {.readout = Readout::ReadBack,
            .selection = Selection::Quiet,
            .readBlock = kReadBackBlock,
            .eraseOnMismatch = true,
            .option = OptionPlan{.rule = OptionRule::ByteWise, .hiByte = ComIsp2TransHiByte,
                                 .frames = OptionFrames::EightSecondSet, .forImageReachingIt = false, .readBack = true}};
}

// The bar of the MTP run: the programming's P bytes and the image once per found socket, with d
// the least for which their sum / d is below 256. Returns the programming's bytes.
uint64_t ScaleOverSockets(GangRun& run) {
    uint64_t found = 0;
    for (int socket = 0; socket < kSocketCount; ++socket) found += run.found(socket) ? 1 : 0;
    const uint64_t total = run.image.size * found + run.optionAddr;
    run.divisor = 1;
    while (total / run.divisor >= 256) ++run.divisor;
    run.page.setProgressRange(0, static_cast<int>(total / run.divisor));
    run.page.setProgressPos(0);
    return run.optionAddr;
}

// The serial number shown after a completed run; an early end shows the empty sockets too.
EndPlan ByteWiseEnd(SaveCounters save, int burnIcon) {
    return {.save = save, .burnIcon = burnIcon, .serialNumbers = true, .emptyShownOnAbort = true};
}

}  // namespace

void GangByteProgramThread(WorkerPage& page) {
    GangRun run(page);
    if (StartByteWise(run, 64)) {
        ScaleByBlocks(run, kReadBackBlock);
        if (PowerAndScan(run) && ShowSockets(run) && ChangeLineSpeed(run)) {
            ScaleForBytes(run);
            if (ProgramBytes(run, {.idleTagAfterFill = true, .blinkEarlyFill = true})) {
                ScaleByBlocks(run, kReadBackBlock);
                VerifyEachSocket(run, ByteWisePass());
            }
        }
    }
    EndRun(run, ByteWiseEnd(SaveCounters::Yes, icon::kBurnProgram));
}

// It writes option blocks as its twin does, so it asks before an image that locks the part.
// A part that holds an option block keeps it, and its serial number.
void GangByteVerifyThread(WorkerPage& page) {
    GangRun run(page);
    if (StartByteWise(run, 64) && PowerAndScan(run) && ShowSockets(run)) {
        ScaleByBlocks(run, kReadBackBlock);
        PassPlan pass = ByteWisePass();
        pass.optionOnBlankOnly = true;
        VerifyEachSocket(run, pass);
    }
    EndRun(run, ByteWiseEnd(SaveCounters::No, icon::kBurnProgram));
}

void GangProgramMtpThread(WorkerPage& page) {
    GangRun run(page);
    if (StartByteWise(run, 128)) {
        ScaleByBlocks(run, kReadBackBlock);
        if (PowerAndScan(run)) {
            const uint64_t programmed = ScaleOverSockets(run);
            if (ShowSockets(run) && ChangeLineSpeed(run)) {
                if (ProgramBytes(run, {.idleTagAfterFill = false, .blinkEarlyFill = false}))
                    VerifyEachSocket(run, {.readout = Readout::OnTarget, .selection = Selection::Socket4CEndsRun,
                                           .segments = true, .units = run.image.size, .leadUnits = programmed,
                                           .tailMessage = false,
                                           .option = OptionPlan{.rule = OptionRule::ByteWise, .hiByte = ComIspTransHiByte,
                                                                .frames = OptionFrames::BytesPolled}});
            }
        }
    }
    EndRun(run, ByteWiseEnd(SaveCounters::Yes, icon::kBurnProgram));
}

void GangVerifyThreadA(WorkerPage& page) {
    GangRun run(page);
    // The code of the program runs is compared, up to the option block, which a finished part
    // holds: the last frame carries only the bytes below it.
    if (StartVariant(run, true, 128) && OpenBoardPort(run)) {
        ScaleByBlocks(run, kReadBackBlock);
        if (PowerAndScan(run) && ShowSockets(run) && ChangeLineSpeed(run)) {
            ScaleByBlocks(run, kVerifyBlock);
            VerifyEachSocket(run, {.readout = Readout::OnTarget, .selection = Selection::Socket4CEndsRun,
                                   .tailMessage = false});
        }
    }
    EndRun(run, ByteWiseEnd(SaveCounters::No, icon::kBurnVerify));
}
