// Burns a 16 KB image into four targets on the simulated gang board, whose line is modelled at
// 115200 baud and 10 bits a byte, with the landed program run and with the read-back variant
// (which reads each block back to the computer), and sets each run time beside what the run must spend: the
// prescribed pauses (and the waits of steps that time out, none in a clean run) plus the line
// time of every byte sent and received. What remains is counted as our own overhead, whole: it
// still holds the board's lateness (replies that left after their modelled time), which is also
// shown on its own. Also sets the frames sent beside the count the sequence prescribes.
#include <sys/prctl.h>

#include <QCoreApplication>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <optional>
#include <vector>

#include "core/counters.h"
#include "core/globals.h"
#include "core/ini_settings.h"
#include "core/worker_page.h"
#include "bench/random_image.h"
#include "bench/silent_page.h"
#include "engine_com/gang_settings.h"
#include "engine_com/gang_steps.h"
#include "engine_com/gang_variants.h"
#include "engine_com/gang_workers.h"
#include "link/com_settings.h"
#include "platform/clock.h"
#include "platform/paths.h"
#include "sim/gang_board.h"

namespace {

constexpr uint32_t kImageSize = 0x4000;
constexpr uint32_t kBaud = 115200;
constexpr int kSockets = 4;

// Pauses and the waits that ran out, as the run's clock hears them.
struct Prescribed {
    uint64_t pauseMs = 0;
    uint64_t timedOutWaitMs = 0;
    uint32_t lastWait = 0;
};

// The frames of a four-target run from address 0, by the sequence: power and multiplexer, the
// scan, the socket LEDs, the chip erase and leave, the chip-id pass and its LEDs, the blocks
// (with the blink of every found socket and a high byte per 256 bytes), each socket's compare,
// option block and release, the end's LEDs, switches and power. A block is verified in one read
// frame or in a compare and its result.
int FramesOfTheSequence(uint32_t length, int verifyFramesPerBlock) {
    const int blocks = static_cast<int>(length / 64);
    const bool tail = length % 64 != 0;
    int blinks = 0;
    for (int b = 0; b < blocks; ++b) blinks += (blocks - b < 2 || b % 10 == 0 || b % 10 == 5) ? 1 : 0;
    const int hiBytes = static_cast<int>((length + 255) / 256);
    const int scan = kSockets * (4 + 2);
    const int leds = kSockets * 3;
    const int erase = 2 + 1;
    const int chipIds = kSockets * (4 + 3);
    const int program = kSockets * blinks + hiBytes + 2 * blocks + (tail ? 2 : 0);
    const int compare = 4 + blinks + hiBytes + verifyFramesPerBlock * (blocks + (tail ? 1 : 0)) + 3 + 1;
    const int end = 2 * kSockets + 4 + 1;
    return 2 + scan + leds + erase + chipIds + leds + program + kSockets * compare + end;
}

// One four-target burn with the worker; whether every target passed with the prescribed frames.
bool Burn(const char* name, void (*worker)(WorkerPage&), int verifyFramesPerBlock, const std::string& path) {
    sim::GangBoard board;
    if (!board.start()) {
        std::fprintf(stderr, "no pseudo-terminal\n");
        return false;
    }
    board.setLineRate(kBaud);
    SetComPortDeviceOverride(board.path());

    Prescribed prescribed;
    // The listener runs between a reply and the next frame, so it reads the note without a stream.
    engine_com::SetGangClockForTests({100, 100, 0, [&](const std::string& note) {
                                          unsigned ms = 0;
                                          unsigned tag = 0;
                                          if (std::sscanf(note.c_str(), "pause %u", &ms) == 1)
                                              prescribed.pauseMs += ms;
                                          else if (std::sscanf(note.c_str(), "step %x %u", &tag, &ms) == 2)
                                              prescribed.lastWait = ms;
                                          else if (note == "timeout")
                                              prescribed.timedOutWaitMs += prescribed.lastWait;
                                      }});
    SilentPage page(path);
    ResetCounters();
    g_bTaskWorking = true;
    const double start = platform::wallSeconds();
    worker(page);
    const double run = platform::wallSeconds() - start;

    uint64_t lineBytes = 0;
    int frames = 0;
    // From each reply leaving the board to the next frame reaching it: the host's turn.
    double turnaroundMs = 0;
    std::optional<double> replyAt;
    for (const sim::LogEntry& entry : board.log()) {
        if (!entry.fromHost) replyAt = entry.ms;
        if (entry.fromHost && replyAt) {
            turnaroundMs += entry.ms - *replyAt;
            replyAt.reset();
        }
        lineBytes += entry.bytes.size();
        const bool wakeUp = std::all_of(entry.bytes.begin(), entry.bytes.end(), [](uint8_t b) { return b == 0 || b == 0xFF; });
        if (entry.fromHost && !wakeUp) ++frames;
    }
    const double line = static_cast<double>(lineBytes) * 10 / kBaud;
    const double pauses = static_cast<double>(prescribed.pauseMs + prescribed.timedOutWaitMs) / 1000;
    const double late = board.latenessSeconds();
    const double ours = run - pauses - line;
    const uint32_t length = std::min(kImageSize, g_dwOptionAddr);
    const int sequence = FramesOfTheSequence(length, verifyFramesPerBlock);
    std::printf("gang burn (%s), %d targets, %u bytes: run %.3f s = pauses %.3f s + line %.3f s (%llu bytes at %u "
                "baud) + ours %.3f s (%.2f%%, of it the board's own lateness %.3f s; the turns from a reply to the "
                "next frame %.3f s with the pauses between them); passed %u of %d; frames %d, prescribed %d\n",
                name, kSockets, kImageSize, run, pauses, line, static_cast<unsigned long long>(lineBytes), kBaud, ours,
                100 * ours / run, late, turnaroundMs / 1000, g_nPassCount, kSockets, frames, sequence);
    engine_com::SetGangClockForTests({});
    SetComPortDeviceOverride("");
    return g_nPassCount == kSockets && frames == sequence;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    prctl(PR_SET_TIMERSLACK, 1UL);
    QTemporaryDir folder;
    platform::setConfigFolderForTest(folder.path().toStdString() + "/");
    InitIniPath();
    g_nChipMode = 2;
    g_nIspStartAddr = 0;
    g_bBeepSound = 0;

    const std::string path = folder.filePath("image.bin").toStdString();
    WriteRandomImage(path, kImageSize);
    const bool landed = Burn("program run", GangProgramThread, 2, path);
    const bool readBack = Burn("read-back variant", GangProgramThreadOld, 1, path);
    return landed && readBack ? 0 : 1;
}
