#include "support/staging_trap.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <stdexcept>
#include <thread>

namespace {
constexpr const char* kOutsideText = "a file in another folder";
}

StagingTrap::StagingTrap(const std::string& file, OldStagingName kind) : trap_(file + ".tmp"), kind_(kind) {
    outside_.write("target", kOutsideText);
    const bool made = kind == OldStagingName::Fifo ? ::mkfifo(trap_.c_str(), 0644) == 0
                                                   : ::symlink(outside_.file("target").c_str(), trap_.c_str()) == 0;
    if (!made) throw std::runtime_error("cannot make " + trap_);
}

bool StagingTrap::endsWithin(const std::function<void()>& work, std::chrono::seconds limit) {
    std::atomic<bool> ended{false};
    std::thread worker([&] {
        work();
        ended = true;
    });
    const auto until = std::chrono::steady_clock::now() + limit;
    while (!ended && std::chrono::steady_clock::now() < until) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    const bool inTime = ended;
    if (!inTime && kind_ == OldStagingName::Fifo) {
        const int fifo = ::open(trap_.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        char sink[4096];
        while (!ended) {
            if (fifo < 0 || ::read(fifo, sink, sizeof sink) <= 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        if (fifo >= 0) ::close(fifo);
    }
    worker.join();
    return inTime;
}

bool StagingTrap::untouched() const {
    struct stat info {};
    if (::lstat(trap_.c_str(), &info) != 0) return false;
    if (kind_ == OldStagingName::Fifo) return S_ISFIFO(info.st_mode);
    return S_ISLNK(info.st_mode) && outside_.read("target") == kOutsideText;
}
