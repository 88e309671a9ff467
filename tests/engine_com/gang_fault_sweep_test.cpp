#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <functional>
#include <sstream>
#include <thread>

#include "core/globals.h"
#include "engine_com/gang_workers.h"
#include "platform/event.h"
#include "support/cancel_sweep.h"
#include "support/simulated_gang.h"
#include "variant_table.h"

namespace {

// The step that each reply of a run answered, in the order of the replies: its wait (0 for a
// frame sent without one), and whether its reply judges the part (a compare result, a read-back).
struct Answered {
    uint32_t waitMs;
    bool judges;
};

std::vector<Answered> StepsOfReplies(const std::string& exchangeLog) {
    std::vector<Answered> steps;
    std::istringstream lines(exchangeLog);
    for (std::string line; std::getline(lines, line);) {
        std::istringstream words(line);
        std::string paused, tag, wait, arrow, lead, cmd;
        words >> paused >> tag >> wait >> arrow >> lead;
        while (lead == "00" || lead == "FF") words >> lead;
        words >> cmd;
        const uint32_t ms = !wait.empty() && std::isdigit(static_cast<unsigned char>(wait[0])) ? std::stoul(wait) : 0;
        const bool judges = lead == "0F" && (cmd == "0B" || cmd == "03");
        for (size_t at = line.find("| <"); at != std::string::npos; at = line.find("| <", at + 1)) steps.push_back({ms, judges});
    }
    return steps;
}

struct Outcome {
    Counters counted;
    std::vector<std::string> messages;
    std::vector<uint8_t> flash0, flash2;
};

void ExpectSame(const Outcome& late, const Outcome& dropped) {
    EXPECT_EQ(late.counted, dropped.counted);
    EXPECT_EQ(late.messages, dropped.messages);
    EXPECT_TRUE(late.flash0 == dropped.flash0 && late.flash2 == dropped.flash2);
}

}  // namespace

// Every reply of a run over sockets 1 and 3 dropped in turn, and delivered in turn one and two
// of its step's waits late: the run always ends, and a socket is only counted as passed when it
// holds the image. A reply that comes within the let-go after its step's time-out answers
// nothing: the run ends as if it had been dropped. That is any reply one wait late, and a reply
// that judges the part two waits late.
TEST(GangFaultSweep, DroppingOrDelayingAnyReplyNeverHangsNorPassesABadPart) {
    const std::vector<uint8_t> image = PatternImage(150);
    std::vector<Answered> steps;
    const auto runWith = [&](const std::function<void(SimulatedGang&)>& fault) {
        SimulatedGang gang;
        gang.populate({0, 2});
        fault(gang);
        gang.run(GangProgramThread, image);
        const Counters counted = gang.bench.counters();
        EXPECT_EQ(gang.bench.storedCounters(), counted);
        EXPECT_LE(counted.total, 2u);
        const auto holds = [&](int socket) { return std::equal(image.begin(), image.end(), gang.board.target(socket)->flash.begin()); };
        EXPECT_TRUE(counted.pass == 0 || holds(0) || holds(2));
        EXPECT_TRUE(counted.pass < 2 || (holds(0) && holds(2)));
        if (steps.empty()) steps = StepsOfReplies(gang.exchangeLog());
        return Outcome{counted, gang.messages(), gang.board.target(0)->flash, gang.board.target(2)->flash};
    };
    ASSERT_EQ(runWith([](SimulatedGang&) {}).counted, (Counters{2, 2, 0}));
    ASSERT_GT(steps.size(), 80u);
    ASSERT_GT(std::count_if(steps.begin(), steps.end(), [](const Answered& a) { return a.judges; }), 4);
    for (int n = 1; n <= static_cast<int>(steps.size()); ++n) {
        SCOPED_TRACE(n);
        const Outcome dropped = runWith([n](SimulatedGang& g) { g.board.dropReplyNumber(n); });
        const uint32_t wait = steps[n - 1].waitMs;
        if (wait == 0) continue;
        for (const uint32_t late : {1, 2}) {
            SCOPED_TRACE(late);
            const Outcome delayed = runWith([&](SimulatedGang& g) { g.board.delayReplyNumber(n, late * wait + wait / 10); });
            if (late == 1 || steps[n - 1].judges) ExpectSame(delayed, dropped);
        }
    }
}

// Cancel in each pause of the work in turn, over every engine: the board runs (a part in socket
// 3 that differs at its first compare, so that its erase is cut too), the single-pass, broadcast
// and erase runs and the link tries, at the board's own line speed and at another, where the runs
// that change the speed pause after it. The runs that write a key page do it once more with
// "Key Write" on, so that the pauses after the key page's erase and its bytes are cut too. The
// run ends at the pause it cut (cancel_sweep.h), and a board run counts every part it found as
// failed and none as passed.
TEST(GangFaultSweep, CancelInAnyPauseEndsTheRunThere) {
    std::vector<GangVariant> engines = {{"GangProgramThread", GangProgramThread}, {"GangVerifyThread", GangVerifyThread}};
    for (const GangVariant& variant : GangVariants()) engines.push_back(variant);
    const std::vector<uint8_t> image = PatternImage(100);
    int pauses = 0;
    for (const GangVariant& engine : engines) {
        for (const bool keyWrite : {false, true}) {
            SCOPED_TRACE(strfmt("%s, Key Write %s", engine.name, keyWrite ? "on" : "off"));
            const bool landed = engine.entry == GangProgramThread || engine.entry == GangVerifyThread;
            // The runs the page starts reach their targets as the variants of chip mode 2 do.
            VariantFacts facts = FactsOf(landed ? "GangProgramThreadOld" : engine.name);
            if (landed) facts.programs = engine.entry == GangProgramThread;
            if (keyWrite && !(facts.programs || facts.optionOnVerify)) continue;
            const bool board = facts.cycle == Cycle::Board;
            const std::vector<int> sockets = board || facts.cycle == Cycle::Broadcast ? std::vector{0, 2} : std::vector{0};
            pauses += SweepCancel({.arrange =
                                       [&](SimulatedGang& g, uint32_t baud) {
                                           g.store("BaudRate", baud);
                                           g.store("Key Write", keyWrite ? 1 : 0);
                                           PrepareTargets(g, facts, sockets, image);
                                           if (board && facts.programs) g.board.differAtCompare(2, 1);
                                           g.bench.page.pageErase = {0x10, 2};
                                       },
                                   .worker = engine.entry,
                                   .image = image,
                                   .letsGoThroughSwitches = facts.cycle == Cycle::Broadcast,
                                   .check =
                                       [&](SimulatedGang& g) {
                                           const auto found = static_cast<uint32_t>(
                                               std::count(g_bSocketFound.begin(), g_bSocketFound.end(), 1u));
                                           EXPECT_EQ(g.bench.counters(), board ? (Counters{found, 0, found}) : Counters{});
                                       }});
        }
    }
    EXPECT_GT(pauses, 200);
}

// On the real clock: Cancel in a run's longest pause (the broadcast run's wait after the
// multiplexer, made a minute long) ends the run at once, far sooner than the pause would. The
// short sleep only makes it likely that Cancel comes while the worker waits; the run must end
// at once either way.
TEST(GangFaultSweep, CancelInALongPauseOnTheRealClockEndsTheRunAtOnce) {
    SimulatedGang gang(GangTime::Real);
    PrepareTargets(gang, FactsOf("GangBroadcastProgramThread"), {0, 2}, PatternImage(100));
    g_dwWaitMs = 60000;
    platform::Event pausing;
    gang.onNote = [&](const std::string& note) {
        if (note == "pause 60000") pausing.set();
    };
    std::chrono::steady_clock::time_point cancelled;
    std::thread operatorThread([&] {
        ASSERT_EQ(pausing.wait(std::chrono::seconds(30)), platform::WaitResult::Signalled);
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        cancelled = std::chrono::steady_clock::now();
        g_hStopEvent.set();
    });
    gang.run(GangBroadcastProgramThread, PatternImage(100));
    const auto ended = std::chrono::steady_clock::now();
    operatorThread.join();
    EXPECT_LT(ended - cancelled, std::chrono::seconds(20));
    EXPECT_EQ(gang.framesOf(0xF0, 0x0E), 0) << "the wake-up line after the pause";
    EXPECT_TRUE(gang.messages().empty());
}
