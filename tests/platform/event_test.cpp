#include "platform/event.h"

#include <gtest/gtest.h>
#include <thread>

using namespace std::chrono_literals;
using platform::WaitResult;

// A manual-reset event stays signalled until reset, and a set from another thread wakes a waiter.
TEST(Event, StaysSignalledUntilResetAndWakesAWaiterOnAnotherThread) {
    platform::Event event;
    EXPECT_EQ(event.wait(0ms), WaitResult::TimedOut);
    event.set();
    EXPECT_EQ(event.wait(0ms), WaitResult::Signalled);
    EXPECT_EQ(event.wait(0ms), WaitResult::Signalled);
    event.reset();
    EXPECT_EQ(event.wait(10ms), WaitResult::TimedOut);
    std::thread setter([&] {
        std::this_thread::sleep_for(20ms);
        event.set();
    });
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(event.wait(5000ms), WaitResult::Signalled);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 2000ms);
    setter.join();
}
