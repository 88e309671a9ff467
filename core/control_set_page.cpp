#include "core/control_set_page.h"

#include <QListWidget>
#include <QProgressBar>
#include <algorithm>

#include "core/dump_listing.h"
#include "core/globals.h"
#include "core/hex_converter.h"
#include "core/image_loader.h"
#include "platform/durable_file.h"
#include "platform/ui.h"

void ControlSetPage::appendLog(const std::string& line) {
    if (listId_ == 0) return;
    ui::sendToUi([&] { controls_.control<QListWidget>(listId_)->addItem(QString::fromStdString(line)); });
}

void ControlSetPage::scrollLog() {
    if (listId_ == 0) return;
    ui::sendToUi([&] { ScrollToLastLines(*controls_.control<QListWidget>(listId_)); });
}

void ControlSetPage::setProgressRange(int lower, int upper) {
    ui::sendToUi([&] {
        if (auto* bar = controls_.control<QProgressBar>(progressId_)) bar->setRange(lower, upper);
    });
}

void ControlSetPage::setProgressPos(int pos) {
    ui::sendToUi([&] {
        if (auto* bar = controls_.control<QProgressBar>(progressId_)) bar->setValue(pos);
    });
}

void ControlSetPage::setProgressMarquee(bool on) {
    setProgressRange(0, on ? 0 : 100);
}

void ControlSetPage::showControl(int controlId, bool show) {
    ui::sendToUi([&] { controls_.show(controlId, show); });
}

void ControlSetPage::enableControl(int controlId, bool enable) {
    ui::sendToUi([&] { controls_.enable(controlId, enable); });
}

void ControlSetPage::setControlText(int controlId, const std::string& text) {
    ui::sendToUi([&] { controls_.setText(controlId, QString::fromStdString(text)); });
}

void ControlSetPage::setControlIcon(int controlId, int iconId) {
    ui::sendToUi([&] { controls_.setIcon(controlId, iconId); });
}

int ControlSetPage::messageBox(const std::string& text, platform::MsgIcon icon) {
    int answer = 0;
    ui::sendToUi([&] { answer = MessageBox(text, icon); });
    return answer;
}

void ScrollToLastLines(QListWidget& list) {
    if (QListWidgetItem* item = list.item(std::max(0, list.count() - 5)))
        list.scrollToItem(item, QAbstractItemView::PositionAtTop);
}

void ExportOperationList(const QListWidget& list) {
    const std::string path = g_strExeDir + "ISP_log.txt";
    platform::DurableWriter file(path);
    if (!file.opened()) {
        MessageBox("Could not create the file!");
        return;
    }
    for (int row = 0; row < list.count(); ++row) file.append(list.item(row)->text().toStdString() + "\r\n");
    if (!file.commit()) {
        MessageBox(NotWrittenMessage(path), platform::MsgIcon::Error);
        return;
    }
    platform::services().openInViewer(path);
}

void SetGreyText(ui::ControlSet& controls, std::initializer_list<int> ids) {
    for (int id : ids) {
        QWidget* widget = controls.control(id);
        QPalette palette = widget->palette();
        palette.setColor(QPalette::WindowText, QColor(128, 128, 128));
        palette.setColor(QPalette::ButtonText, QColor(128, 128, 128));
        widget->setPalette(palette);
    }
}


bool ChooseImageFile(ui::ControlSet& controls, int sizeId, int crcId, ImageFileLoad& load,
                     const HexToBinConverter& convert) {
    platform::FileDialogRequest request;
    request.filter = "bin file (*.bin)|*.bin|hex(*.hex)|*.hex|All Files (*.*)|*.*||";
    request.defaultExtension = "bin";
    request.defaultName = "*.bin";
    request.startFolder = g_strLastDir;
    const std::string chosen = platform::services().openFileName(request);
    if (chosen.empty()) return false;

    controls.setText(sizeId, "");
    controls.setText(crcId, "");
    const size_t slash = chosen.rfind('/');
    g_strLastDir = slash == std::string::npos ? std::string() : chosen.substr(0, slash);
    g_strLastFile = slash == std::string::npos ? chosen : chosen.substr(slash + 1);

    load = LoadImageFile(chosen, FlashSizeOfMode(g_nChipMode), convert);
    const bool refused = load.outcome == ImageLoadOutcome::Refused || load.outcome == ImageLoadOutcome::Oversized;
    if (refused && !load.error.empty()) MessageBox(load.error, load.icon);
    return true;
}

int ShowConversion(const HexConversion& conversion) {
    if (!conversion.ok) MessageBox(conversion.error, platform::MsgIcon::Error);
    return conversion.ok ? 1 : 0;
}

void ShowReloadedImage(ui::ControlSet& controls, QListWidget& list, int sizeId, int sumId, const std::string& chosenPath,
                       const ImageReload& reload) {
    if (reload.outcome == ImageLoadOutcome::Loaded) {
        controls.setText(sizeId, QString::fromStdString(reload.sizeText));
        controls.setText(sumId, QString::fromStdString(reload.sumText));
    }
    list.addItem(QString::fromStdString(chosenPath));
}

void ShowLoadedImage(ui::ControlSet& controls, QListWidget& list, int sizeId, int crcId, const ImageFileLoad& load) {
    list.addItem(QString::fromStdString(load.chosenPath));
    controls.setText(sizeId, QString::fromStdString(load.sizeText));
    controls.setText(crcId, QString::fromStdString(load.crcText));
}
