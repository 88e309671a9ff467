#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <functional>
#include <sstream>

#include "core/globals.h"
#include "engine_com/gang_workers.h"
#include "support/simulated_gang.h"

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
