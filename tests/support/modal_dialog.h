#pragma once
// Driving modal dialogs from tests: the dialog runs its own loop, so the test acts on it from
// a timer once it has become the active modal window.
#include <QApplication>
#include <QTimer>
#include <functional>

#include "support/spin_until.h"

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

// The same wait under the name the dialog tests use.
template <class Done>
bool SpinUntil(Done done) {
    return spinUntil(done);
}
