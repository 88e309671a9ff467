#include "platform/thread.h"

#include <system_error>
#include <thread>

namespace platform {

bool startThread(std::function<void()> fn) {
    try {
        std::thread(std::move(fn)).detach();
        return true;
    } catch (const std::system_error&) {
        return false;
    }
}

}  // namespace platform
