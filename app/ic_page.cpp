#include "app/ic_page.h"

#include <QApplication>
#include <QCheckBox>
#include <QEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <cstdio>

#include "core/control_set_page.h"
#include "core/counter_texts.h"
#include "core/counters.h"
#include "core/globals.h"
#include "core/hex_converter.h"
#include "core/image_loader.h"
#include "app/main_window.h"
#include "app/prompts.h"
#include "core/protect_area.h"
#include "core/registry_settings.h"
#include "dialogs/config_dlg.h"
#include "dialogs/info_param_dlg.h"
#include "engine_com/gang_settings.h"
#include "engine_com/gang_workers.h"
#include "engine_hid/hid_workers.h"
#include "link/com_frames.h"
#include "link/com_settings.h"
#include "link/hid_commands.h"
#include "link/hid_device.h"
#include "link/port_failure.h"
#include "platform/clock.h"
#include "platform/registry_store.h"
#include "platform/strfmt.h"
#include "platform/ui.h"
#include "res/ic_page_template.h"
#include "res/icons.h"

using namespace res;

void InstallIcPage() {
    CreatePageWindow = [previous = CreatePageWindow](int templateId, QWidget* parent) -> QWidget* {
        if (templateId == kIcPage130.id) return new CISPDlg(parent);
        return previous ? previous(templateId, parent) : nullptr;
    };
    BurnFromKey = [] {
        if (g_pISPDlg) g_pISPDlg->OnBurn();
    };
    RefreshIcPageSettings = [] {
        if (g_pISPDlg) g_pISPDlg->RefreshSettingsView();
    };
}

CISPDlg::CISPDlg(QWidget* parent)
    : ui::TemplatePage(kIcPage130, parent),
      protectArea_(new CProtectArea(this)),
      list_(controls().control<QListWidget>(kIdcLogList)),
      workers_{SiteProgramThread, SiteVerifyThread, GangProgramThread, GangVerifyThread, ProgramInfoBlockThread} {
    controls().replace(kIdcProtectMap, protectArea_);
    g_pISPDlg = this;
    g_pComPageOwner = this;

    onClicked(kIdcLoadFile, &CISPDlg::OnLoadFile);
    onClicked(kIdcBurn, &CISPDlg::OnBurn);
    onToggled(kIdcVerifyMode, &CISPDlg::OnVerifyMode);
    onClicked(kIdcResetCount, &CISPDlg::OnResetCount);
    onClicked(kIdcClearList, &CISPDlg::OnClearList);
    onClicked(kIdcDump, &CISPDlg::OnDump);
    onClicked(kIdcExportLog, &CISPDlg::OnExportLog);
    onToggled(kIdcLevel0, &CISPDlg::OnLevel0);
    onToggled(kIdcLevel1, &CISPDlg::OnLevel1);
    onClicked(kIdcAuto, &CISPDlg::OnAuto);
    onClicked(kIdcProgramTest, &CISPDlg::OnProgramTest);
    onClicked(kIdcVerifyTest, &CISPDlg::OnVerifyTest);
    onClicked(kIdcErase, &CISPDlg::OnErase);
    onClicked(kIdcCancel, &CISPDlg::OnCancelTask);
    onToggled(kIdcInfoBlockEnable, &CISPDlg::OnEnableInfoBlock);
    onToggled(kIdcParamEnable, &CISPDlg::OnEnableParameter);
    onClicked(kIdcConfig, &CISPDlg::OnConfig);
    onClicked(kIdcViewDetail, &CISPDlg::OnViewDetail);
    onClicked(kIdcProtectMap, &CISPDlg::OnProtectAreaClick);

    // The protection and information-block controls only show settings: grey text.
    SetGreyText(controls(), {kIdcRdpLabel, kIdcLevel0, kIdcLevel1, kIdcProtectLabel, kIdcInfoBlockEnable,
                             kIdcViewDetail, kIdcParamEnable});
    controls().enable(kIdcCancel, false);
    controls().show(kIdcDump, true);
    controls().show(kIdcExportLog, true);
    controls().setText(kIdcStartAddr,
                       QString::fromStdString(strfmt("ISP Start Address From :0x%X", g_nIspStartAddr)));
    g_hwndStartAddr = controls().control<QLabel>(kIdcStartAddr);
    g_hwndSerialLast = controls().control<QLabel>(kIdcSerialLast);
    controls().show(kIdcSerialLast, g_bSerialEnable != 0);
    controls().setIcon(kIdcBurn, kIconBurn);
    ShowCounters(CurrentCounts());
    RefreshSettingsView();

    // The page has no field for typing: B burns, every other key is swallowed.
    installEventFilter(this);
    for (QWidget* child : findChildren<QWidget*>()) child->installEventFilter(this);
}

CISPDlg::~CISPDlg() {
    ComClosePort();
    if (g_pComPageOwner == this) g_pComPageOwner = nullptr;
    if (g_SerialPort.Owner() == this) g_SerialPort.SetOwner(nullptr);
    if (g_pISPDlg == this) g_pISPDlg = nullptr;
    if (g_hwndStartAddr == controls().control<QLabel>(kIdcStartAddr)) g_hwndStartAddr = nullptr;
    if (g_hwndSerialLast == controls().control<QLabel>(kIdcSerialLast)) g_hwndSerialLast = nullptr;
}

bool CISPDlg::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::KeyPress) return ui::TemplatePage::eventFilter(watched, event);
    if (static_cast<QKeyEvent*>(event)->key() == Qt::Key_B) OnBurn();
    return true;
}

void CISPDlg::ShowCounters(const Counts& counts) {
    controls().setText(kIdcTotal, QString::number(counts.total));
    controls().setText(kIdcPass, QString::number(counts.pass));
    controls().setText(kIdcFail, QString::number(counts.fail));
    controls().setText(kIdcYield, QString::fromStdString(YieldText(counts.pass, counts.total)));
}

void CISPDlg::ShowLevels() {
    controls().setChecked(kIdcLevel0, g_nRdpLevel != 0);
    controls().setChecked(kIdcLevel1, g_nRdpLevel == 0);
}

void CISPDlg::RefreshSettingsView() {
    protectArea_->ShowStoredSettings();
    ShowLevels();
    controls().setChecked(kIdcInfoBlockEnable, g_bInfoBlockEnable != 0);
    controls().setChecked(kIdcParamEnable, g_bParamEnable != 0);
    controls().setText(kIdcParamFile, QString::fromStdString(g_strParam));
    // As the store holds it: another running copy may have given numbers since.
    controls().setText(kIdcSerialLast, QString::fromStdString(SerialLastText(RegFollowLastSn())));
    controls().show(kIdcSerialLast, g_bSerialEnable != 0);
}

bool CISPDlg::StartWorker(const Worker& worker, int runningIcon) {
    if (!worker) return false;
    bool idle = false;
    if (!g_bTaskWorking.compare_exchange_strong(idle, true)) return false;
    // The running icon goes up before the worker can put the idle one back at its end.
    const int idleIcon = programMode_ ? kIconBurn : kIconVerify;
    controls().setIcon(kIdcBurn, runningIcon);
    if (!StartWorkThread([this, worker] { worker(*this); })) {
        g_bTaskWorking = false;
        controls().setIcon(kIdcBurn, idleIcon);
        return false;
    }
    return true;
}

void CISPDlg::OnLoadFile() {
    ImageFileLoad load;
    if (!ChooseImageFile(controls(), kIdcImageSize, kIdcImageCrc, load, &CISPDlg::ConvertHexToBin)) return;
    imageExtension_ = load.extension;
    if (load.outcome == ImageLoadOutcome::Loaded || load.outcome == ImageLoadOutcome::Oversized) {
        std::lock_guard lock(imageMutex_);
        imagePath_ = load.imagePath;
    }
    if (load.outcome == ImageLoadOutcome::Refused || load.outcome == ImageLoadOutcome::Oversized) return;
    if (load.outcome == ImageLoadOutcome::Loaded) {
        imageSize_ = std::stoull(load.sizeText);
        imageSum_ = static_cast<uint16_t>(load.byteSum);
    }
    ShowLoadedImage(controls(), *list_, kIdcImageSize, kIdcImageCrc, load);
}

int CISPDlg::ConvertHexToBin(const std::string& hexPath, const std::string& binPath) {
    return ShowConversion(::ConvertHexToBin(hexPath, binPath));
}

void CISPDlg::ReloadImage() {
    const std::string chosen = LastImagePath();
    const ImageReload reload = ReloadImageFile(chosen, imageSize_, imageSum_, &CISPDlg::ConvertHexToBin);
    if (reload.outcome == ImageLoadOutcome::Refused) {
        if (!reload.error.empty()) MessageBox(reload.error, reload.icon);
        return;
    }
    if (reload.outcome == ImageLoadOutcome::Loaded) {
        imageExtension_ = reload.extension;
        std::lock_guard lock(imageMutex_);
        imagePath_ = reload.imagePath;
    }
    ShowReloadedImage(controls(), *list_, kIdcImageSize, kIdcImageCrc, chosen, reload);
    list_->setCurrentRow(list_->count() - 1);
}

bool CISPDlg::ConvertTextToBin(const std::string& textPath, const std::string& binPath) {
    return ShowConversion(ConvertByteLinesToBin(textPath, binPath)) == 1;
}

int CISPDlg::ParseHexRecordWithKey(std::istream& in, HexKeyRecord& record) {
    // The IC page takes the key only; the fixed serial bytes are the serial-flash page's.
    const HexKeyRuling ruling{.takeKey = g_bEncry == 1,
                              .keyAddress = g_dwKeyAddr,
                              .key = g_LoadedKeyBytes,
                              .takeFixedSerial = false,
                              .optionAddress = 0,
                              .fixedSerial = {}};
    HexKeyPickup pickup;
    const int result = ReadHexRecordWithKey(in, hexUpper_, record, ruling, pickup);
    if (pickup.keyTaken) {
        g_bKeyLoaded = 1;
        g_KeyBytes = g_LoadedKeyBytes;
        list_->addItem(QString::fromStdString(LoadNewKeyText(g_KeyBytes)));
        ScrollToLastLines(*list_);
    }
    return result;
}

void CISPDlg::OnBurn() {
    if (g_bTaskWorking) return;
    if (imagePath().empty()) {
        MessageBox("BIN file not found!", platform::MsgIcon::Error);
        return;
    }
    if (!OpenHidDevice()) {
        MessageBox(HidNotOpenedText(), platform::MsgIcon::Error);
        return;
    }
    g_hStopEvent.reset();
    const bool hidModel = g_nChipMode <= 1;
    if (programMode_) {
        StartWorker(hidModel ? workers_.siteProgram : workers_.gangProgram, kIconBurnRunning);
    } else {
        StartWorker(hidModel ? workers_.siteVerify : workers_.gangVerify, kIconVerifyRunning);
    }
}

void CISPDlg::OnVerifyMode() {
    if (g_bTaskWorking) {
        MessageBox("Can't change mode during a task working!", platform::MsgIcon::Error);
        controls().setChecked(kIdcVerifyMode, programMode_ == 0);
        return;
    }
    programMode_ = controls().isChecked(kIdcVerifyMode) ? 0 : 1;
    controls().setIcon(kIdcBurn, programMode_ ? kIconBurn : kIconVerify);
}

// Allowed during a run: the worker's counting and this reset never interleave. A reset the
// store cannot keep leaves the counters shown, as the store still holds them.
void CISPDlg::OnResetCount() {
    CountsSave why = CountsSave::Saved;
    const std::optional<Counts> counts = ResetCounters(&why);
    if (!counts) {
        MessageBox(ResetRefusalText(platform::registryStorePath(), why), platform::MsgIcon::Error);
        return;
    }
    ShowCounters(*counts);
}

void CISPDlg::OnClearList() {
    list_->clear();
}

void CISPDlg::OnDump() {
    if (!g_bTaskWorking && RunDumpDialog) RunDumpDialog(nullptr);
}

void CISPDlg::OnExportLog() { ExportOperationList(*list_); }

// The Level boxes only show the stored level: a click is put back at once.
void CISPDlg::OnLevel0() { ShowLevels(); }
void CISPDlg::OnLevel1() { ShowLevels(); }

void CISPDlg::OnEnableInfoBlock() {
    controls().setChecked(kIdcInfoBlockEnable, g_bInfoBlockEnable != 0);
}

void CISPDlg::OnEnableParameter() {
    controls().setChecked(kIdcParamEnable, g_bParamEnable != 0);
}

void CISPDlg::OnConfig() {
    if (RunProgrammingConfig(this)) RefreshSettingsView();
}

void CISPDlg::OnViewDetail() { RunInfoParamView(this); }

void CISPDlg::OnAuto() {
    if (g_bTaskWorking) return;
    if (!OpenHidDevice()) {
        MessageBox(HidNotOpenedText(), platform::MsgIcon::Error);
        return;
    }
    g_hStopEvent.reset();
    if (programMode_) {
        StartWorker(g_nChipMode <= 1 ? workers_.infoBlock : workers_.gangProgram, kIconBurnRunning);
    }
}

void CISPDlg::OnProgramTest() {
    if (!OpenHidDevice()) {
        MessageBox(HidNotOpenedText(), platform::MsgIcon::Error);
        return;
    }
    for (uint32_t site = 0; site < 4; ++site) {
        HidSelectSocket(site);
        DelayMs(100);
        HidSetSocketPower(1);
        DelayMs(100);
        HidConnectTarget();
        DelayMs(10);
    }
}

void CISPDlg::OnVerifyTest() {
    for (uint32_t site = 0; site < 4; ++site) {
        HidSelectSocket(site);
        DelayMs(10);
        HidSetSocketPower(0);
    }
}

void CISPDlg::OnCancelTask() {
    if (g_bTaskWorking) g_hStopEvent.set();
}

// WorkerPage: each call runs on the user-interface thread.

void CISPDlg::appendLog(const std::string& line) {
    ui::sendToUi([&] { list_->addItem(QString::fromStdString(line)); });
}

void CISPDlg::scrollLog() {
    ui::sendToUi([&] { ScrollToLastLines(*list_); });
}

void CISPDlg::setProgressRange(int lower, int upper) {
    ui::sendToUi([&] { controls().control<QProgressBar>(kIdcProgress)->setRange(lower, upper); });
}

void CISPDlg::setProgressPos(int pos) {
    ui::sendToUi([&] { controls().control<QProgressBar>(kIdcProgress)->setValue(pos); });
}

void CISPDlg::setProgressMarquee(bool on) {
    ui::sendToUi([&] {
        auto* bar = controls().control<QProgressBar>(kIdcProgress);
        bar->setRange(0, on ? 0 : 100);
    });
}

void CISPDlg::showControl(int controlId, bool show) {
    ui::sendToUi([&] { controls().show(controlId, show); });
}

void CISPDlg::enableControl(int controlId, bool enable) {
    ui::sendToUi([&] { controls().enable(controlId, enable); });
}

void CISPDlg::setControlText(int controlId, const std::string& text) {
    ui::sendToUi([&] { controls().setText(controlId, QString::fromStdString(text)); });
}

void CISPDlg::setControlIcon(int controlId, int iconId) {
    ui::sendToUi([&] { controls().setIcon(controlId, iconId); });
}

int CISPDlg::messageBox(const std::string& text, platform::MsgIcon icon) {
    int answer = 0;
    ui::sendToUi([&] { answer = MessageBox(text, icon); });
    return answer;
}

int CISPDlg::stopPrompt(int kind, uint32_t address) {
    int answer = 0;
    ui::sendToUi([&] { answer = OnStopPrompt(static_cast<uint32_t>(kind), address); });
    return answer;
}

int CISPDlg::warnPrompt(int kind, uint32_t address) {
    int answer = 0;
    ui::sendToUi([&] { answer = OnWarnPrompt(static_cast<uint32_t>(kind), address); });
    return answer;
}

int CISPDlg::OnStopPrompt(uint32_t kind, uint32_t address) {
    CStopDlg prompt(kind, address, QApplication::activeWindow());
    prompt.exec();
    return 0;
}

int CISPDlg::OnWarnPrompt(uint32_t kind, uint32_t address) {
    CWarnDlg prompt(kind, address, QApplication::activeWindow());
    prompt.exec();
    // Only OK lets the worker go on: a prompt that ended any other way aborts, and says so to
    // a worker that goes on unless it hears Abort (3).
    const uint32_t goOn = prompt.choice() == 1 ? 1 : 0;
    if (kind == kCodeOptionKind) {
        g_bWarnCodeOption = prompt.askAgain();
        g_bCodeOptionContinue = goOn;
    } else {
        g_bWarnProtect = prompt.askAgain();
        g_bProtectContinue = goOn;
    }
    return goOn ? 1 : 3;
}

// Received bytes go to the link's receive side; the page has nothing to show of them.
void CISPDlg::serialByteReceived(uint8_t, unsigned) {}

void CISPDlg::serialFailed(const std::string& report) { PostPortFailure(this, report); }

std::string CISPDlg::imagePath() const {
    std::lock_guard lock(imageMutex_);
    return imagePath_;
}

// On the caller's thread: the worker waits for it anyway, and the window need not freeze for
// the second of pauses around the re-open. The page stays the port's owner.
void CISPDlg::reopenComPort() { OnReopenComPort(); }

void CISPDlg::OnReopenComPort() { ComReopenPort(this); }

void CISPDlg::OnCloseLog() { logFile_.close(); }

void CISPDlg::LogAppendByte(uint8_t byte) { AppendByteToLastLine(*list_, byte); }

void CISPDlg::LogBytesLine(std::span<const uint8_t> bytes) { AddBytesLine(*list_, bytes); }

void CISPDlg::FileLogByte(uint8_t byte) { logFile_.write(strfmt(" %02x", byte)); }

void CISPDlg::FileLogBytesLine(std::span<const uint8_t> bytes) { logFile_.write(BytesLineText(bytes) + "\r\n"); }

void CISPDlg::ClearImageInfo() {
    controls().setText(kIdcImageSize, "");
    controls().setText(kIdcImageCrc, "");
    std::lock_guard lock(imageMutex_);
    imagePath_.clear();
}
