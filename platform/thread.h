#pragma once
// Workers are started and never joined: the starter returns at once and the worker clears
// its own busy flag at its end.
#include <functional>
#include <thread>

namespace platform {

// Starts fn on a new detached thread and gives its id through started. Returns false when the
// system refuses a thread.
bool startThread(std::function<void()> fn, std::thread::id* started = nullptr);

}  // namespace platform
