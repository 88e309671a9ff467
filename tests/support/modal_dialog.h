#pragma once
// Driving modal dialogs from tests: the dialog runs its own loop, so the test acts on it from
// a timer once it has become the active modal window.
#include <QApplication>
#include <QCoreApplication>
#include <QTimer>
#include <chrono>
#include <functional>

// Runs open() (which returns once the dialog it opens has closed) and calls act on the first
// modal dialog of class D that becomes active meanwhile; act must close it. False when no such
// dialog opened.
template <class D>
bool WhenModal(const std::function<void()>& open, const std::function<void(D&)>& act) {
    bool seen = false;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] {
        if (auto* dialog = dynamic_cast<D*>(QApplication::activeModalWidget())) {
            timer.stop();
            seen = true;
            act(*dialog);
        }
    });
    timer.start(5);
    open();
    return seen;
}

// Runs the user-interface loop until done() holds; false after five seconds.
template <class Done>
bool SpinUntil(Done done) {
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!done()) {
        if (std::chrono::steady_clock::now() > limit) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return true;
}
