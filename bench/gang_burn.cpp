// Burns a 16 KB image into four targets on the simulated gang board, whose line is modelled at
// 115200 baud and 10 bits a byte, by the program run and by the read-back variant (which reads
// each block back to the computer), and sets each run time beside what the run must spend: the
// prescribed pauses (and the waits of steps that time out, none in a clean run) plus the line
// time of every byte sent and received. What remains is counted as our own share, whole: it
// still holds the board's lateness (replies that left after their modelled time), which is also
// shown on its own.
//
// Our share is set beside a reference taken in the same run: the same frames and replies, in
// the same order, exchanged over a bare pseudo-terminal by two threads, the replying one paced
// as the board paces its line; its time beyond the line time is what the exchange itself costs
// on this machine. Context switches per frame are counted for our threads (the whole process
// less the board's thread), for the board, and for the reference's writing thread. Also sets
// the frames sent beside the count the sequence prescribes.
//   bench_gang_burn [runs]   (default 5)
#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <termios.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "bench/paired_runs.h"
#include "bench/random_image.h"
#include "bench/silent_page.h"
#include "core/counters.h"
#include "core/globals.h"
#include "core/ini_settings.h"
#include "core/worker_page.h"
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

// The frames of a four-target run from address 0, by the sequence: power and multiplexer, the
// scan, the socket LEDs, the chip erase and leave, the chip-id pass and its LEDs, the blocks
// (with the blink of every found socket and a high byte per 256 bytes), each socket's compare,
// option block and release, the end's LEDs, switches and power. A block is verified in a
// compare and its result, or in one read frame.
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

bool WakeUpOnly(const std::vector<uint8_t>& bytes) {
    return std::all_of(bytes.begin(), bytes.end(), [](uint8_t b) { return b == 0x00 || b == 0xFF; });
}

// One write of the program and what the board answered to it.
struct Exchange {
    std::vector<uint8_t> frame;
    std::vector<uint8_t> reply;
};

// The board's log as the program wrote it: wake-up bytes belong to the frame that follows them.
std::vector<Exchange> ExchangesOf(const std::vector<sim::LogEntry>& log) {
    std::vector<Exchange> exchanges;
    std::vector<uint8_t> wakeUp;
    for (const sim::LogEntry& entry : log) {
        if (!entry.fromHost) {
            if (!exchanges.empty()) exchanges.back().reply.insert(exchanges.back().reply.end(), entry.bytes.begin(), entry.bytes.end());
        } else if (WakeUpOnly(entry.bytes)) {
            wakeUp.insert(wakeUp.end(), entry.bytes.begin(), entry.bytes.end());
        } else {
            exchanges.push_back({wakeUp, {}});
            exchanges.back().frame.insert(exchanges.back().frame.end(), entry.bytes.begin(), entry.bytes.end());
            wakeUp.clear();
        }
    }
    return exchanges;
}

// Context switches: voluntary (the thread waited) and involuntary (the machine took it away).
struct Switches {
    double voluntary = 0, involuntary = 0;
    Switches operator-(const Switches& o) const { return {voluntary - o.voluntary, involuntary - o.involuntary}; }
    Switches per(size_t frames) const {
        return {voluntary / static_cast<double>(frames), involuntary / static_cast<double>(frames)};
    }
};

// RUSAGE_SELF: every thread of the process, those that have ended included; RUSAGE_THREAD: this one.
Switches SwitchesOf(int who) {
    rusage usage{};
    getrusage(who, &usage);
    return {static_cast<double>(usage.ru_nvcsw), static_cast<double>(usage.ru_nivcsw)};
}

// The switches of the live thread with this name, since it started.
Switches SwitchesOfThread(const std::string& name) {
    Switches switches;
    for (const auto& task : std::filesystem::directory_iterator("/proc/self/task")) {
        std::ifstream comm(task.path() / "comm");
        std::string taskName;
        std::getline(comm, taskName);
        if (taskName != name) continue;
        std::ifstream status(task.path() / "status");
        for (std::string line; std::getline(status, line);) {
            const double count = std::atof(line.c_str() + line.find(':') + 1);
            if (line.starts_with("voluntary_ctxt_switches:")) switches.voluntary = count;
            if (line.starts_with("nonvoluntary_ctxt_switches:")) switches.involuntary = count;
        }
    }
    return switches;
}

bool ReadAll(int fd, size_t count) {
    uint8_t buffer[512];
    while (count > 0) {
        const ssize_t got = ::read(fd, buffer, std::min(count, sizeof buffer));
        if (got <= 0) return false;
        count -= static_cast<size_t>(got);
    }
    return true;
}

bool WriteAll(int fd, const std::vector<uint8_t>& bytes) {
    return bytes.empty() || ::write(fd, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
}

using Clock = std::chrono::steady_clock;

Clock::duration LineTime(size_t bytes) {
    return std::chrono::nanoseconds(int64_t{10} * 1000000000 * static_cast<int64_t>(bytes) / kBaud);
}

// The exchanges over a bare pseudo-terminal in raw mode, paced as the board paces its line: this
// thread writes each frame and reads its reply; a peer thread reads the frame and writes the
// reply once the frame and the reply would have crossed the line. Seconds beyond the line time,
// and the writing thread's switches per frame.
std::pair<double, Switches> BareExchange(const std::vector<Exchange>& exchanges) {
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    char name[128];
    if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0 || ::ptsname_r(master, name, sizeof name) != 0)
        return {0, {}};
    const int host = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    termios t{};
    ::tcgetattr(host, &t);
    cfmakeraw(&t);
    ::tcsetattr(host, TCSANOW, &t);
    Clock::duration line{};
    for (const Exchange& e : exchanges) line += LineTime(e.frame.size() + e.reply.size());
    const Switches switchesBefore = SwitchesOf(RUSAGE_THREAD);
    const double start = platform::wallSeconds();
    // The peer keeps the line's pace awake, as the board does: it never sleeps between a frame and
    // its reply, nor for a millisecond after a reply.
    ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);
    std::thread peer([&] {
        Clock::time_point lineFreeAt{};
        Clock::time_point lastReply{};
        for (const Exchange& e : exchanges) {
            for (size_t got = 0; got < e.frame.size();) {
                const bool awake = Clock::now() - lastReply < std::chrono::milliseconds(1);
                pollfd in{master, POLLIN, 0};
                if (::poll(&in, 1, awake ? 0 : -1) <= 0) continue;
                uint8_t buffer[512];
                const ssize_t n = ::read(master, buffer, std::min(e.frame.size() - got, sizeof buffer));
                if (n > 0) got += static_cast<size_t>(n);
            }
            lineFreeAt = std::max(Clock::now(), lineFreeAt) + LineTime(e.frame.size());
            if (e.reply.empty()) continue;
            lineFreeAt += LineTime(e.reply.size());
            while (Clock::now() < lineFreeAt) {
            }
            if (!WriteAll(master, e.reply)) return;
            lastReply = Clock::now();
        }
    });
    for (const Exchange& e : exchanges) {
        if (!WriteAll(host, e.frame) || !ReadAll(host, e.reply.size())) break;
    }
    peer.join();
    const double seconds = platform::wallSeconds() - start - std::chrono::duration<double>(line).count();
    const Switches switches = (SwitchesOf(RUSAGE_THREAD) - switchesBefore).per(exchanges.size());
    ::close(host);
    ::close(master);
    return {seconds, switches};
}

struct RunFigures {
    double run = 0, ours = 0, reference = 0;
    Switches oursSwitches, boardSwitches, referenceSwitches;
    bool passed = false;
};

struct Engine {
    const char* name;
    void (*worker)(WorkerPage&);
    int verifyFramesPerBlock;
};

RunFigures BurnOnce(const std::string& imagePath, const Engine& engine) {
    sim::GangBoard board;
    if (!board.start()) {
        std::fprintf(stderr, "no pseudo-terminal\n");
        std::exit(1);
    }
    board.setLineRate(kBaud);
    SetComPortDeviceOverride(board.path());

    // Pauses and the waits that ran out, as the run's notes tell them. The listener runs between
    // a reply and the next frame, so it reads the note without a stream.
    uint64_t prescribedMs = 0;
    uint32_t lastWait = 0;
    engine_com::SetGangNotesForTests([&](const std::string& note) {
        unsigned ms = 0;
        unsigned tag = 0;
        if (std::sscanf(note.c_str(), "pause %u", &ms) == 1)
            prescribedMs += ms;
        else if (std::sscanf(note.c_str(), "step %x %u", &tag, &ms) == 2)
            lastWait = ms;
        else if (note == "timeout")
            prescribedMs += lastWait;
    });
    SilentPage page(imagePath);
    g_bTaskWorking = true;
    const Switches switchesBefore = SwitchesOf(RUSAGE_SELF);
    const double start = platform::wallSeconds();
    engine.worker(page);
    RunFigures figures;
    figures.run = platform::wallSeconds() - start;
    const Switches boardSwitches = SwitchesOfThread("gang board");
    const Switches allSwitches = SwitchesOf(RUSAGE_SELF) - switchesBefore;
    engine_com::SetGangNotesForTests({});
    board.stop();
    SetComPortDeviceOverride("");

    const std::vector<Exchange> exchanges = ExchangesOf(board.log());
    uint64_t lineBytes = 0;
    for (const Exchange& e : exchanges) lineBytes += e.frame.size() + e.reply.size();
    const double line = static_cast<double>(lineBytes) * 10 / kBaud;
    figures.ours = figures.run - static_cast<double>(prescribedMs) / 1000 - line;
    figures.oursSwitches = (allSwitches - boardSwitches).per(exchanges.size());
    figures.boardSwitches = boardSwitches.per(exchanges.size());
    std::tie(figures.reference, figures.referenceSwitches) = BareExchange(exchanges);

    const int prescribedFrames = FramesOfTheSequence(std::min(kImageSize, g_dwOptionAddr), engine.verifyFramesPerBlock);
    figures.passed = g_nPassCount == kSockets && static_cast<int>(exchanges.size()) == prescribedFrames;
    std::printf("run %.3f s = pauses %.3f s + line %.3f s (%llu bytes) + ours %.3f s (%.2f%%, of it the board's "
                "lateness %.3f s); reference %.3f s, ratio %.2f; switches per frame, voluntary + involuntary: "
                "ours %.2f + %.2f, board %.2f + %.2f, reference %.2f + %.2f; passed %u of %d, frames %zu of %d\n",
                figures.run, static_cast<double>(prescribedMs) / 1000, line, static_cast<unsigned long long>(lineBytes),
                figures.ours, 100 * figures.ours / figures.run, board.latenessSeconds(), figures.reference,
                figures.ours / figures.reference, figures.oursSwitches.voluntary, figures.oursSwitches.involuntary,
                figures.boardSwitches.voluntary, figures.boardSwitches.involuntary, figures.referenceSwitches.voluntary,
                figures.referenceSwitches.involuntary, g_nPassCount, kSockets, exchanges.size(), prescribedFrames);
    ResetCounters();  // the next run counts from zero, in memory and in the store
    return figures;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int runCount = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    // The board's sleeps end close to their time, so replies leave when the modelled line lets them.
    prctl(PR_SET_TIMERSLACK, 1UL);
    QTemporaryDir folder;
    platform::setConfigFolderForTest(folder.path().toStdString() + "/");
    InitIniPath();
    g_nChipMode = 2;
    g_nIspStartAddr = 0;
    g_bBeepSound = 0;

    const std::string path = folder.filePath("image.bin").toStdString();
    WriteRandomImage(path, kImageSize);

    bool passed = true;
    for (const Engine& engine : {Engine{"program run", GangProgramThread, 2}, Engine{"read-back variant", GangProgramThreadOld, 1}}) {
        std::printf("gang burn (%s), %d targets, %u bytes at %u baud\n", engine.name, kSockets, kImageSize, kBaud);
        PairedFigure share{"our share of the run", "ms", {}, {}};
        PairedFigure switches{"voluntary switches", "a frame", {}, {}};
        std::vector<double> percent;
        for (int r = 0; r < runCount; ++r) {
            const RunFigures figures = BurnOnce(path, engine);
            share.add(1000 * figures.ours, 1000 * figures.reference);
            switches.add(figures.oursSwitches.voluntary, figures.referenceSwitches.voluntary);
            percent.push_back(100 * figures.ours / figures.run);
            passed = passed && figures.passed;
        }
        share.print();
        switches.print();
        std::printf("%-24s runs %zu  min %.2f %%  median %.2f %%\n", "our share of the run", percent.size(),
                    PairedFigure::min(percent), PairedFigure::median(percent));
    }
    return passed ? 0 : 1;
}
