#include "platform/event.h"

namespace platform {

void Event::set() {
    {
        std::lock_guard lock(mutex_);
        signalled_ = true;
    }
    changed_.notify_all();
}

void Event::reset() {
    std::lock_guard lock(mutex_);
    signalled_ = false;
}

bool Event::isSet() const {
    std::lock_guard lock(mutex_);
    return signalled_;
}

WaitResult Event::wait(std::chrono::milliseconds limit) {
    std::unique_lock lock(mutex_);
    // A look needs no wait: a wait that has already run out still costs a system call.
    if (limit.count() <= 0) return signalled_ ? WaitResult::Signalled : WaitResult::TimedOut;
    const bool signalled = changed_.wait_for(lock, limit, [this] { return signalled_; });
    return signalled ? WaitResult::Signalled : WaitResult::TimedOut;
}

void Event::wait() {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return signalled_; });
}

}  // namespace platform
