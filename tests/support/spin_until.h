#pragma once
// Runs the user-interface loop (so workers' calls to the page are served) until done() holds;
// false after five seconds.
#include <QCoreApplication>
#include <chrono>

template <class Done>
bool spinUntil(Done done) {
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!done()) {
        if (std::chrono::steady_clock::now() > limit) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return true;
}
