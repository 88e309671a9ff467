#pragma once
// Runs the user-interface loop (so workers' calls to the page are served) until done() holds;
// false after the limit, a bound against a hang that a busy machine never comes near.
#include <QCoreApplication>
#include <chrono>

template <class Done>
bool spinUntil(Done done, std::chrono::seconds limit = std::chrono::seconds(30)) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return true;
}
