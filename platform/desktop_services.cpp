#include "platform/services.h"
#include "platform/ui.h"

#include <QApplication>
#include <QDesktopServices>
#include <QFileDialog>
#include <QMessageBox>
#include <QUrl>
#include <thread>

#include "platform/audio_tone.h"

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
    int messageBox(const std::string& text, MsgIcon icon, MsgButtons buttons, const std::string& caption) override {
        int answer = IDOK;
        ui::sendToUi([&] {
            QMessageBox box(iconOf(icon),
                            caption.empty() ? QApplication::applicationDisplayName() : QString::fromStdString(caption),
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
        // Without an audio output the desktop's beep stands in.
        ui::sendToUi([&] {
            if (!playTone(frequencyHz, durationMs)) QApplication::beep();
        });
        // Beep returns when the tone has ended; the workers' pacing relies on that.
        std::this_thread::sleep_for(std::chrono::milliseconds(durationMs));
    }

    void defaultBeep() override {
        ui::sendToUi([] { QApplication::beep(); });
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
};

DesktopServices* g_override = nullptr;

}  // namespace

DesktopServices& services() {
    static QtDesktopServices desktop;
    return g_override ? *g_override : desktop;
}

void setServices(DesktopServices* replacement) { g_override = replacement; }

}  // namespace platform

int MessageBox(const std::string& text, platform::MsgIcon icon, platform::MsgButtons buttons,
               const std::string& caption) {
    return platform::services().messageBox(text, icon, buttons, caption);
}

void Beep(unsigned frequencyHz, unsigned durationMs) {
    platform::services().tone(frequencyHz, durationMs);
}

void MessageBeep() { platform::services().defaultBeep(); }
