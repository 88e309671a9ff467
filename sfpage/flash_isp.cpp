#include "sfpage/flash_isp.h"

#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <algorithm>

#include "core/counter_texts.h"
#include "core/globals.h"
#include "core/hex_converter.h"
#include "core/image_loader.h"
#include "core/page_hooks.h"
#include "core/protect_area.h"
#include "core/registry_settings.h"
#include "controls/mac_progress_ctrl.h"
#include "dialogs/config_dlg.h"
#include "dialogs/info_param_dlg.h"
#include "dialogs/read_info_dlg.h"
#include "engine_com/gang_settings.h"
#include "link/com_frames.h"
#include "link/com_settings.h"
#include "link/hid_device.h"
#include "link/port_failure.h"
#include "platform/registry_store.h"
#include "platform/strfmt.h"
#include "res/flash_page_template.h"
#include "res/icons.h"
#include "sfpage/dump_sf_dlg.h"
#include "sfpage/sf_workers.h"

using namespace res::sf;


namespace {

constexpr uint32_t kQuantityLimit = 1000000;
// Which key byte scrambles a byte, by the low four bits of its position: each one once.
constexpr std::array<uint8_t, 16> kKeyPick = {7, 12, 3, 14, 1, 9, 5, 0, 11, 2, 15, 6, 10, 4, 13, 8};
constexpr uint8_t kScrambleInverted = 0x4C;  // bits 6, 3 and 2
constexpr uint32_t kSerialMask = 0x3B61A7;
constexpr uint32_t kSerialInverted = 1u << 21 | 1u << 16 | 1u << 15 | 1u << 5;

constexpr COLORREF kEraseBarColor = 0x00FF0000;
constexpr int kEraseBarMarquee = 10;

QString decimal(uint32_t value) { return QString::number(value); }

}  // namespace

void InstallFlashPage() {
    CreatePageWindow = [previous = CreatePageWindow](int templateId, QWidget* parent) -> QWidget* {
        if (templateId == res::kFlashPage161.id) return new CFlashISP(parent);
        return previous ? previous(templateId, parent) : nullptr;
    };
}

int CFlashISP::CheckQuantityText(const std::string& text, uint32_t limit) {
    if (text.empty()) return 1;
    uint64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return 1;
        value = std::min<uint64_t>(value * 10 + static_cast<uint64_t>(c - '0'), uint64_t{limit} + 1);
    }
    return value > limit ? 2 : 0;
}

CFlashISP::View::View(CFlashISP& page, CMacProgressCtrl* eraseBar)
    : ControlSetPage(page.controls(), kIdcLogList, kIdcProgress), page_(page), eraseBar_(eraseBar) {}

void CFlashISP::View::setProgressMarquee(bool on) {
    if (on) {
        eraseBar_->SetBarColor(kEraseBarColor);
        showControl(kIdcEraseBar, true);
        eraseBar_->SetRange(0, 100);
        eraseBar_->SetMarqueeMode(kEraseBarMarquee);
    } else {
        eraseBar_->SetMarqueeMode(0);
        showControl(kIdcEraseBar, false);
    }
}

CFlashISP::CFlashISP(QWidget* parent)
    : ui::TemplatePage(res::kFlashPage161, parent),
      eraseBar_(new CMacProgressCtrl(this)),
      protectArea_(new CProtectArea(this)),
      list_(controls().control<QListWidget>(kIdcLogList)),
      view_(*this, eraseBar_) {
    controls().replace(kIdcEraseBar, eraseBar_);
    controls().replace(kIdcProtectMap, protectArea_);
    g_pFlashISPDlg = this;

    onClicked(kIdcCancel, &CFlashISP::OnCancelTask);
    onClicked(kIdcClearList, &CFlashISP::OnClearList);
    onClicked(kIdcDump, &CFlashISP::OnDump);
    onClicked(kIdcErase, &CFlashISP::OnErase);
    onClicked(kIdcExportLog, &CFlashISP::OnExportLog);
    onClicked(kIdcLoadFile, &CFlashISP::OnLoadFile);
    onClicked(kIdcProgram, &CFlashISP::OnProgram);
    onClicked(kIdcAuto, &CFlashISP::OnAuto);
    onClicked(kIdcVerify, &CFlashISP::OnVerify);
    onToggled(kIdcLimitEnable, &CFlashISP::OnLimitEnable);
    onChanged(kIdcLimitQuantity, &CFlashISP::OnChangeLimitQuantity);
    onToggled(kIdcLevel0, &CFlashISP::OnLevel0);
    onToggled(kIdcLevel1, &CFlashISP::OnLevel1);
    onToggled(kIdcInfoBlockEnable, &CFlashISP::OnEnableInfoBlock);
    onClicked(kIdcViewDetail, &CFlashISP::OnViewDetail);
    onClicked(kIdcConfig, &CFlashISP::OnConfig);
    onClicked(kIdcReadInfo, &CFlashISP::OnReadInfo);
    onToggled(kIdcParamEnable, &CFlashISP::OnEnableParameter);

    OnCtlColor();
    controls().enable(kIdcCancel, false);
    controls().setText(kIdcStartAddr, QString::fromStdString(strfmt("ISP Start Address From :0x%X", g_nIspStartAddr)));
    g_hwndStartAddr = controls().control<QLabel>(kIdcStartAddr);
    g_hwndFlashStatic = controls().control<QLabel>(kIdcSerialLast);
    // A stored quantity the field refuses would bring up its error box on every showing.
    g_nLimitQuantity = std::min(g_nLimitQuantity, kQuantityLimit);
    ShowLimitQuantity();
    controls().enable(kIdcLimitQuantity, g_bLimitEnable != 0);
    controls().setChecked(kIdcLimitEnable, g_bLimitEnable != 0);
    RefreshSettingsView();

    installEventFilter(this);
    for (QWidget* child : findChildren<QWidget*>()) child->installEventFilter(this);
}

CFlashISP::~CFlashISP() {
    OnDestroy();
    if (g_SerialPort.Owner() == this) g_SerialPort.SetOwner(nullptr);
    if (g_pFlashISPDlg == this) g_pFlashISPDlg = nullptr;
    if (g_hwndStartAddr == controls().control<QLabel>(kIdcStartAddr)) g_hwndStartAddr = nullptr;
    if (g_hwndFlashStatic == controls().control<QLabel>(kIdcSerialLast)) g_hwndFlashStatic = nullptr;
}

bool CFlashISP::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress && PreTranslateMessage(static_cast<QKeyEvent*>(event)->key())) return true;
    return ui::TemplatePage::eventFilter(watched, event);
}

// Enter does nothing on this page, whichever control has the focus.
bool CFlashISP::PreTranslateMessage(int key) { return key == Qt::Key_Return || key == Qt::Key_Enter; }

// The main window's filter burns the IC page on B: not from this page.
void CFlashISP::keyPressEvent(QKeyEvent* event) { event->accept(); }

// The protection and information-block controls only show settings: grey text.
void CFlashISP::OnCtlColor() {
    SetGreyText(controls(), {kIdcRdpLabel, kIdcLevel0, kIdcLevel1, kIdcProtectLabel, kIdcInfoBlockEnable,
                             kIdcParamEnable});
}

void CFlashISP::OnDestroy() {
    ComClosePort();
    g_bComPortOpen = 0;
}

// On the caller's thread, as the IC page's: the run waits for it anyway.
void CFlashISP::OnReopenComPort() { ComReopenPort(this); }

void CFlashISP::OnCloseLog() { logFile_.close(); }

void CFlashISP::serialFailed(const std::string& report) { PostPortFailure(this, report); }

void CFlashISP::ShowLevels() {
    controls().setChecked(kIdcLevel0, g_nRdpLevel != 0);
    controls().setChecked(kIdcLevel1, g_nRdpLevel == 0);
}

void CFlashISP::RefreshSettingsView() {
    protectArea_->ShowStoredSettings();
    ShowLevels();
    controls().setChecked(kIdcInfoBlockEnable, g_bInfoBlockEnable != 0);
    controls().setChecked(kIdcParamEnable, g_bParamEnable != 0);
    controls().setText(kIdcParamFile, QString::fromStdString(g_strParam));
    // As the store holds it: another running copy may have given numbers since.
    controls().setText(kIdcSerialLast, QString::fromStdString(SerialLastText(RegFollowLastSn())));
    controls().show(kIdcSerialLast, g_bSerialEnable != 0);
}

void CFlashISP::OnLoadFile() {
    ImageFileLoad load;
    if (!ChooseImageFile(controls(), kIdcImageSize, kIdcImageCrc, load, &CFlashISP::ConvertHexToBin)) return;
    if (load.outcome == ImageLoadOutcome::Refused) return;
    // A file larger than the flash stays the image so a starter names the reason.
    if (load.outcome == ImageLoadOutcome::Oversized) {
        imagePath_ = load.imagePath;
        return;
    }
    if (load.outcome == ImageLoadOutcome::Loaded) {
        imagePath_ = load.imagePath;
        imageType_ = load.extension;
        imageSize_ = std::stoull(load.sizeText);
        g_wSfImageCrc = static_cast<uint16_t>(load.byteSum);
    } else {
        g_wSfImageCrc = 0;
    }
    ShowLoadedImage(controls(), *list_, kIdcImageSize, kIdcImageCrc, load);
    ScrollToLastLines(*list_);
}

int CFlashISP::ConvertHexToBin(const std::string& hexPath, const std::string& binPath) {
    return ShowConversion(::ConvertHexToBin(hexPath, binPath));
}

bool CFlashISP::Passes(Check check) {
    switch (check) {
        case Check::Image:
            if (!imagePath_.empty()) return true;
            MessageBox("BIN file not found!", platform::MsgIcon::Error);
            return false;
        case Check::Adapter:
            if (OpenHidDevice()) return true;
            MessageBox(HidNotOpenedText(), platform::MsgIcon::Error);
            return false;
        case Check::Quantity: {
            const std::string refusal = LimitQuantityRefusal(g_bLimitEnable != 0, g_nLimitQuantity);
            if (refusal.empty()) return true;
            MessageBox(refusal, platform::MsgIcon::Error);
            return false;
        }
    }
    return false;
}

void CFlashISP::Start(std::initializer_list<Check> checks, const std::function<Worker()>& makeWorker) {
    bool idle = false;
    if (!g_bTaskWorking.compare_exchange_strong(idle, true)) return;
    for (Check check : checks) {
        if (!Passes(check)) {
            g_bTaskWorking = false;
            return;
        }
    }
    g_hStopEvent.reset();
    if (!StartWorkThread([this, worker = makeWorker()] { worker(view_); })) g_bTaskWorking = false;
}

void CFlashISP::OnAuto() {
    Start({Check::Image, Check::Quantity, Check::Adapter}, [this] {
        return [run = SfRunFromSettings(imagePath_, imageType_)](WorkerPage& page) { AutoSFThread(page, run); };
    });
}

void CFlashISP::OnProgram() {
    Start({Check::Adapter, Check::Image}, [this] {
        return [run = SfRunFromSettings(imagePath_, imageType_)](WorkerPage& page) { ProgramSFThread(page, run); };
    });
}

void CFlashISP::OnVerify() {
    Start({Check::Adapter, Check::Image}, [this] {
        return [run = SfRunFromSettings(imagePath_, imageType_)](WorkerPage& page) { VerifySFThread(page, run); };
    });
}

void CFlashISP::OnErase() {
    Start({Check::Adapter}, [] { return Worker(EraseSFThread); });
}

void CFlashISP::ReloadImage() {
    const std::string chosen = LastImagePath();
    const ImageReload reload = ReloadImageFile(chosen, imageSize_, g_wSfImageCrc, &CFlashISP::ConvertHexToBin);
    if (reload.outcome == ImageLoadOutcome::Refused) {
        if (!reload.error.empty()) MessageBox(reload.error, reload.icon);
        return;
    }
    if (reload.outcome == ImageLoadOutcome::Loaded) {
        imagePath_ = reload.imagePath;
        imageType_ = reload.extension;
    }
    ShowReloadedImage(controls(), *list_, kIdcImageSize, kIdcImageCrc, chosen, reload);
    ScrollToLastLines(*list_);
}

void CFlashISP::ClearImageInfo() {
    controls().setText(kIdcImageSize, "");
    controls().setText(kIdcImageCrc, "");
    imagePath_.clear();
}

int CFlashISP::ParseHexRecordWithKey(std::istream& in, HexKeyRecord& record) {
    const HexKeyRuling ruling{.takeKey = g_bEncry == 1,
                              .keyAddress = g_dwKeyAddr,
                              .key = g_LoadedKeyBytes,
                              .takeFixedSerial = g_bOptionSerial != 0,
                              .optionAddress = g_dwOptionAddr,
                              .fixedSerial = g_LoadedSerialFixed};
    HexKeyPickup pickup;
    const int result = ReadHexRecordWithKey(in, hexUpper_, record, ruling, pickup);
    if (pickup.keyTaken) {
        g_bKeyLoaded = 1;
        g_KeyBytes = g_LoadedKeyBytes;
        list_->addItem(QString::fromStdString(LoadNewKeyText(g_KeyBytes)));
        ScrollToLastLines(*list_);
    }
    if (pickup.fixedSerialTaken) {
        g_GangSerialFixed = g_LoadedSerialFixed;
        std::string text;
        for (uint8_t byte : g_GangSerialFixed) text += ByteToHexChars(byte);
        list_->addItem(QString::fromStdString(strfmt("Gang Serial Fixed : %s", text.c_str())));
        ScrollToLastLines(*list_);
    }
    return result;
}

uint8_t CFlashISP::ScrambleByte(uint8_t byte, uint32_t position) {
    return static_cast<uint8_t>(byte ^ g_KeyBytes[kKeyPick[position & 0x0F]] ^ kScrambleInverted);
}

uint32_t CFlashISP::EncodeSerialNumber(uint32_t serial) {
    return (serial ^ kSerialMask ^ kSerialInverted) & 0xFFFFFF;
}

void CFlashISP::LogAppendByte(uint8_t byte) { AppendByteToLastLine(*list_, byte); }

void CFlashISP::LogBytesLine(std::span<const uint8_t> bytes) { AddBytesLine(*list_, bytes); }

void CFlashISP::FileLogByte(uint8_t byte) { logFile_.write(strfmt(" %02x", byte)); }

void CFlashISP::FileLogBytesLine(std::span<const uint8_t> bytes) { logFile_.write(BytesLineText(bytes) + "\r\n"); }

void CFlashISP::OnCancelTask() {
    if (g_bTaskWorking) g_hStopEvent.set();
}

void CFlashISP::OnClearList() { list_->clear(); }

void CFlashISP::OnDump() {
    if (g_bTaskWorking) return;
    if (!OpenHidDevice()) {
        MessageBox(HidNotOpenedText(), platform::MsgIcon::Error);
        return;
    }
    CDumpSFDlg dialog(this);
    dialog.exec();
}

void CFlashISP::OnExportLog() { ExportOperationList(*list_); }

void CFlashISP::OnLimitEnable() {
    bool ok = false;
    const uint32_t typed = controls().text(kIdcLimitQuantity).toUInt(&ok);
    if (ok) g_nLimitQuantity = typed;
    const bool on = controls().isChecked(kIdcLimitEnable);
    g_bLimitEnable = on ? 1 : 0;
    controls().enable(kIdcLimitQuantity, on);
    TellSettingsRefusal(RegSaveBurnLimitEn(g_bLimitEnable));
}

void CFlashISP::TellSettingsRefusal(CountsSave saved) {
    if (saved != CountsSave::Saved)
        MessageBox(SettingsRefusalText(platform::registryStorePath(), saved), platform::MsgIcon::Error);
}

void CFlashISP::OnChangeLimitQuantity() {
    const std::string text = controls().text(kIdcLimitQuantity).toStdString();
    switch (CheckQuantityText(text, kQuantityLimit)) {
        case 1:
            MessageBox("Code Error! Quantity must be digital number", platform::MsgIcon::Error);
            ShowLimitQuantity();
            break;
        case 2:
            MessageBox("Out of range! Quantity should be <= 1000000", platform::MsgIcon::Error);
            ShowLimitQuantity();
            break;
        default:
            g_nLimitQuantity = static_cast<uint32_t>(std::stoul(text));
            // Only the operator's entry is stored: the value the page shows or puts back after a
            // refusal would be stored over one another running copy stored meanwhile.
            if (!showingQuantity_) TellSettingsRefusal(RegSaveLimitQuantity(g_nLimitQuantity));
            break;
    }
}

void CFlashISP::ShowLimitQuantity() {
    showingQuantity_ = true;
    controls().setText(kIdcLimitQuantity, decimal(g_nLimitQuantity));
    showingQuantity_ = false;
}

// The Level and enable boxes only show the stored settings: a change is put back at once.
void CFlashISP::OnLevel0() { ShowLevels(); }
void CFlashISP::OnLevel1() { ShowLevels(); }

void CFlashISP::OnEnableInfoBlock() {
    controls().setChecked(kIdcInfoBlockEnable, g_bInfoBlockEnable != 0);
}

void CFlashISP::OnEnableParameter() {
    controls().setChecked(kIdcParamEnable, g_bParamEnable != 0);
}

void CFlashISP::OnViewDetail() { RunInfoParamView(this); }

void CFlashISP::OnConfig() {
    if (!RunProgrammingConfig(this)) return;
    if (RefreshIcPageSettings) RefreshIcPageSettings();
    RefreshSettingsView();
}

// The flash information dialog reads the adapter on a worker of its own: not while a task
// holds the adapter.
void CFlashISP::OnReadInfo() {
    if (g_bTaskWorking) return;
    CReadInfoDlg dialog(this);
    dialog.exec();
}
