#include "platform/thread.h"

#include <system_error>

namespace platform {

bool startThread(std::function<void()> fn, std::thread::id* started) {
    try {
        std::thread thread(std::move(fn));
        if (started) *started = thread.get_id();
        thread.detach();
        return true;
    } catch (const std::system_error&) {
        return false;
    }
}

}  // namespace platform
