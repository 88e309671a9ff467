#pragma once
// Ends the test program when what it guards has not ended within limit: some waits (an endless
// read) cannot be freed from outside, and a test must fail rather than hang.
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>

class Watchdog {
public:
    Watchdog(std::string what, std::chrono::seconds limit)
        : thread_([this, what = std::move(what), limit] {
              std::unique_lock lock(mutex_);
              if (ended_.wait_for(lock, limit, [this] { return done_; })) return;
              std::fprintf(stderr, "watchdog: %s has not ended within %llds\n", what.c_str(),
                           static_cast<long long>(limit.count()));
              std::abort();
          }) {}
    ~Watchdog() {
        {
            std::lock_guard lock(mutex_);
            done_ = true;
        }
        ended_.notify_one();
        thread_.join();
    }
    Watchdog(const Watchdog&) = delete;
    Watchdog& operator=(const Watchdog&) = delete;

private:
    std::mutex mutex_;
    std::condition_variable ended_;
    bool done_ = false;
    std::thread thread_;
};
