#include "platform/ui.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QThread>

namespace ui {

bool onUiThread() {
    QCoreApplication* app = QCoreApplication::instance();
    return app == nullptr || QThread::currentThread() == app->thread();
}

void sendToUi(const std::function<void()>& fn) {
    if (onUiThread()) {
        fn();
        return;
    }
    QMetaObject::invokeMethod(QCoreApplication::instance(), fn, Qt::BlockingQueuedConnection);
}

}  // namespace ui
