#pragma once
// A manual-reset event: stays signalled from set() until reset(), and wakes every waiter.
#include <chrono>
#include <condition_variable>
#include <mutex>

namespace platform {

enum class WaitResult { Signalled, TimedOut };

class Event {
public:
    void set();
    void reset();
    bool isSet() const;
    // Waits until the event is set or the limit passes; a zero limit only looks.
    WaitResult wait(std::chrono::milliseconds limit);
    // Waits without a limit.
    void wait();

private:
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    bool signalled_ = false;
};

}  // namespace platform
