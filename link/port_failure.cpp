#include "link/port_failure.h"

#include <QMetaObject>
#include <QObject>

#include "platform/services.h"

void ShowPortFailure(const std::string& report) {
    MessageBox(report, platform::MsgIcon::Error, platform::MsgButtons::Ok, kPortErrorCaption);
}

void PostPortFailure(QObject* page, const std::string& report) {
    QMetaObject::invokeMethod(page, [report] { ShowPortFailure(report); }, Qt::QueuedConnection);
}
