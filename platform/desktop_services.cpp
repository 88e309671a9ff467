#include "platform/services.h"
#include "platform/ui.h"

#include <QApplication>
#include <QAudioFormat>
#include <QAudioSink>
#include <QBuffer>
#include <QDesktopServices>
#include <QFileDialog>
#include <QMediaDevices>
#include <QMessageBox>
#include <QTimer>
#include <QUrl>
#include <cmath>
#include <thread>

namespace platform {
namespace {

// "bin(*.bin)|*.bin|All Files (*.*)|*.*||" becomes "bin(*.bin);;All Files (*.*)".
QString qtFilter(const std::string& filter) {
    QStringList parts = QString::fromStdString(filter).split('|', Qt::SkipEmptyParts);
    QStringList names;
    for (int i = 0; i < parts.size(); i += 2) names << parts[i];
    return names.join(";;");
}

QString startPath(const FileDialogRequest& request) {
    QString path = QString::fromStdString(request.startFolder);
    if (!request.defaultName.empty()) {
        if (!path.isEmpty() && !path.endsWith('/')) path += '/';
        path += QString::fromStdString(request.defaultName);
    }
    return path;
}

class QtDesktopServices final : public DesktopServices {
public:
    int messageBox(const std::string& text, MsgIcon icon, MsgButtons buttons) override {
        int answer = IDOK;
        ui::sendToUi([&] {
            QMessageBox box(iconOf(icon), QApplication::applicationDisplayName(),
                            QString::fromStdString(text), buttonsOf(buttons),
                            QApplication::activeWindow());
            answer = answerOf(box.exec());
        });
        return answer;
    }

    std::string openFileName(const FileDialogRequest& request) override {
        std::string chosen;
        ui::sendToUi([&] {
            chosen = QFileDialog::getOpenFileName(QApplication::activeWindow(),
                                                  QString::fromStdString(request.title),
                                                  startPath(request), qtFilter(request.filter))
                         .toStdString();
        });
        return chosen;
    }

    std::string saveFileName(const FileDialogRequest& request) override {
        std::string chosen;
        ui::sendToUi([&] {
            QFileDialog dialog(QApplication::activeWindow(), QString::fromStdString(request.title),
                               startPath(request), qtFilter(request.filter));
            dialog.setAcceptMode(QFileDialog::AcceptSave);
            dialog.setDefaultSuffix(QString::fromStdString(request.defaultExtension));
            if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty())
                chosen = dialog.selectedFiles().first().toStdString();
        });
        return chosen;
    }

    void openInViewer(const std::string& path) override {
        ui::sendToUi([&] { QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdString(path))); });
    }

    void tone(unsigned frequencyHz, unsigned durationMs) override {
        ui::sendToUi([&] { startTone(frequencyHz, durationMs); });
        // Beep returns when the tone has ended; the workers' pacing relies on that.
        std::this_thread::sleep_for(std::chrono::milliseconds(durationMs));
    }

private:
    static QMessageBox::Icon iconOf(MsgIcon icon) {
        switch (icon) {
            case MsgIcon::Error: return QMessageBox::Critical;
            case MsgIcon::Warning: return QMessageBox::Warning;
            case MsgIcon::Information: return QMessageBox::Information;
            case MsgIcon::Question: return QMessageBox::Question;
            case MsgIcon::None: break;
        }
        return QMessageBox::NoIcon;
    }

    static QMessageBox::StandardButtons buttonsOf(MsgButtons buttons) {
        switch (buttons) {
            case MsgButtons::OkCancel: return QMessageBox::Ok | QMessageBox::Cancel;
            case MsgButtons::YesNo: return QMessageBox::Yes | QMessageBox::No;
            case MsgButtons::YesNoCancel: return QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
            case MsgButtons::Ok: break;
        }
        return QMessageBox::Ok;
    }

    static int answerOf(int button) {
        switch (button) {
            case QMessageBox::Cancel: return IDCANCEL;
            case QMessageBox::Yes: return IDYES;
            case QMessageBox::No: return IDNO;
            default: return IDOK;
        }
    }

    // Plays a generated sine on the default output, or the desktop's beep without one.
    static void startTone(unsigned frequencyHz, unsigned durationMs) {
        const QAudioDevice device = QMediaDevices::defaultAudioOutput();
        if (device.isNull()) {
            QApplication::beep();
            return;
        }
        QAudioFormat format;
        format.setSampleRate(44100);
        format.setChannelCount(1);
        format.setSampleFormat(QAudioFormat::Int16);
        const int samples = static_cast<int>(44100LL * durationMs / 1000);
        QByteArray pcm(samples * 2, Qt::Uninitialized);
        auto* out = reinterpret_cast<int16_t*>(pcm.data());
        for (int i = 0; i < samples; ++i)
            out[i] = static_cast<int16_t>(12000 * std::sin(2 * M_PI * frequencyHz * i / 44100.0));
        auto* buffer = new QBuffer(qApp);
        buffer->setData(pcm);
        buffer->open(QIODevice::ReadOnly);
        auto* sink = new QAudioSink(device, format, qApp);
        sink->start(buffer);
        QTimer::singleShot(durationMs + 200, qApp, [sink, buffer] {
            sink->stop();
            sink->deleteLater();
            buffer->deleteLater();
        });
    }
};

DesktopServices* g_override = nullptr;

}  // namespace

DesktopServices& services() {
    static QtDesktopServices desktop;
    return g_override ? *g_override : desktop;
}

void setServices(DesktopServices* replacement) { g_override = replacement; }

}  // namespace platform

int MessageBox(const std::string& text, platform::MsgIcon icon, platform::MsgButtons buttons) {
    return platform::services().messageBox(text, icon, buttons);
}

void Beep(unsigned frequencyHz, unsigned durationMs) {
    platform::services().tone(frequencyHz, durationMs);
}
