#include "dialogs/vosk_ver_dlg.h"

#include <QPointer>
#include <array>

#include "core/globals.h"
#include "link/hid_commands.h"
#include "platform/services.h"
#include "platform/ui.h"
#include "res/vosk_ver_template.h"

using namespace res::vosk_ver;

namespace {

void ReadVoskVersionThread(const QPointer<CVoskVerDlg>& dialog) {
    const std::optional<FirmwareTexts> texts = ReadFirmwareTexts();
    ui::sendToUi([&] {
        if (dialog) dialog->ShowVersion(texts);
    });
    g_bTaskWorking = false;
}

}  // namespace

std::optional<FirmwareTexts> ReadFirmwareTexts() {
    // The adapter answers texts without a terminator; the zeroed buffer ends them.
    std::array<uint8_t, 20> buffer{};
    const auto asText = [&] { return std::string(reinterpret_cast<const char*>(buffer.data())); };
    FirmwareTexts texts;
    const bool mainRead = HidGetFirmwareVersion(std::span(buffer).first(4)) == 1;
    texts.main = asText();
    buffer.fill(0);
    const bool subRead = HidGetFirmwareSubVersion(std::span(buffer).first(8)) == 1;
    texts.sub = asText();
    if (!mainRead || !subRead) return std::nullopt;
    return texts;
}

CVoskVerDlg::CVoskVerDlg(QWidget* parent) : ui::TemplateDialog(kVoskVer171, parent) {
    onClicked(1, &CVoskVerDlg::accept);
    // Searching for the adapter again would close the handle a running task works with.
    bool idle = false;
    if (!g_bTaskWorking.compare_exchange_strong(idle, true)) return;
    if (!OpenHidDevice()) {
        g_bTaskWorking = false;
        MessageBox(HidNotOpenedText(), platform::MsgIcon::Error);
        return;
    }
    g_hStopEvent.reset();
    m_bReading = true;
    if (!StartWorkThread([dialog = QPointer<CVoskVerDlg>(this)] { ReadVoskVersionThread(dialog); })) {
        m_bReading = false;
        g_bTaskWorking = false;
    }
}

void CVoskVerDlg::done(int result) {
    if (!m_bReading) ui::TemplateDialog::done(result);
}

void CVoskVerDlg::ShowVersion(const std::optional<FirmwareTexts>& texts) {
    m_bReading = false;
    if (!texts) {
        MessageBox("Read firmware version fail !", platform::MsgIcon::Error);
        return;
    }
    controls().setText(kMainVersion, QString::fromLatin1(texts->main));
    controls().setText(kSubVersion, QString::fromLatin1(texts->sub));
}
