#include "app/main_window.h"

#include <QAction>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLayout>
#include <QMenuBar>

#include "core/counter_texts.h"
#include "core/counters.h"
#include "core/globals.h"
#include "core/registry_settings.h"
#include "link/serial_port.h"
#include "platform/registry_store.h"
#include "platform/services.h"
#include "platform/strfmt.h"
#include "res/icons.h"
#include "res/main_window_template.h"
#include "res/menu.h"

namespace {

enum Command {
    kCmdIspIc = 32771,
    kCmdConfig = 32772,
    kCmdAboutKey = 32773,
    kCmdClose = 32774,
    kCmdInfoBlk1 = 32776,
    kCmdEeprom = 32777,
    kCmdEepromPage = 32778,
    kCmdIspSf = 32780,
    kCmdHidePages = 32781,
    kCmdAbout = 32782,
    kCmdFirmwareVer = 32783,
    kCmdReadCrc = 32785,
    kCmdSecurityBootData = 32787,
};

constexpr int kPageTemplate[] = {130, 161, 137, 138};
// The information-block page needs a larger window than the compact one.
constexpr int kEnlargeWidth = 70;
constexpr int kEnlargeHeight = 180;
constexpr int kNoticeMs = 2000;
const char* const kBusyNotice = "Please wait for ISP finish !";

void runToolDialog(int templateId, QWidget* parent) {
    if (RunToolDialog) RunToolDialog(templateId, parent);
}

}  // namespace

CUart_ISPDlg::Notice g_hNoticeThread = CUart_ISPDlg::Notice::None;

CUart_ISPDlg::CUart_ISPDlg(QWidget* parent)
    : QMainWindow(parent), client_(new ui::TemplatePage(res::kMainWindow102, this)) {
    g_pMainDlg = this;
    setCentralWidget(client_);
    setWindowIcon(res::icon(res::kIconApp));
    // A caption with the system menu, a minimise box and a close box; no maximise box.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    // The window keeps the size of its client area; the operator does not resize it.
    layout()->setSizeConstraint(QLayout::SetFixedSize);

    ui::buildMenuBar(menuBar(), res::kMenu129, [this](int command) { OnCommand(command); });
    ui::removeCommand(menuBar(), kCmdEepromPage);
    // Commands that no menu item carries: the window handles them when they are sent.
    for (int command : {kCmdAboutKey, kCmdClose, kCmdHidePages}) {
        auto* action = new QAction(menuBar());
        action->setData(command);
        connect(action, &QAction::triggered, this, [this, command] { OnCommand(command); });
    }

    auto* notice = client_->controls().control<QLabel>(res::kIdcNotice);
    QPalette palette = notice->palette();
    palette.setColor(QPalette::WindowText, QColor(0, 0, 255));
    notice->setPalette(palette);
    noticeTimer_.setSingleShot(true);
    connect(&noticeTimer_, &QTimer::timeout, this, [this] {
        client_->controls().show(res::kIdcNotice, false);
        g_hNoticeThread = Notice::None;
        g_bNoticeShown = false;
    });

    UpdateTitle();
    OnIspIc();
    // The compact window ends at the top of the marker control.
    compact_ = QSize(client_->width(), client_->control(res::kIdcCompactEdge)->y());
    ResizeClient(0, 0);
    client_->controls().show(res::kIdcNotice, false);
}

CUart_ISPDlg::~CUart_ISPDlg() {
    if (g_pMainDlg == this) g_pMainDlg = nullptr;
    if (g_hNoticeThread != Notice::None) {
        g_hNoticeThread = Notice::None;
        g_bNoticeShown = false;
    }
}

void CUart_ISPDlg::OnCommand(int command) {
    switch (command) {
        case kCmdIspIc: OnIspIc(); break;
        case kCmdIspSf: OnIspSf(); break;
        case kCmdEeprom: OnEeprom(); break;
        case kCmdEepromPage: OnEepromPage(); break;
        case kCmdConfig: OnConfig(); break;
        case kCmdAbout:
        case kCmdAboutKey: OnAbout(); break;
        // As the close box: posted, and refused while a task runs.
        case kCmdClose: QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection); break;
        case kCmdHidePages: OnHidePages(); break;
        case kCmdInfoBlk1: OnInfoBlk1(); break;
        case kCmdSecurityBootData: OnSecurityBootData(); break;
        case kCmdFirmwareVer: OnVoskFirmwareVer(); break;
        case kCmdReadCrc: OnReadCrc(); break;
        default: break;
    }
}

void CUart_ISPDlg::OnInfoBlk1() { runToolDialog(182, this); }

void CUart_ISPDlg::OnSecurityBootData() { runToolDialog(187, this); }

void CUart_ISPDlg::OnVoskFirmwareVer() { runToolDialog(171, this); }

void CUart_ISPDlg::OnReadCrc() { runToolDialog(184, this); }

// The IC page can always be brought back, even while a task runs.
void CUart_ISPDlg::OnIspIc() { ShowPage(Page::IspIc); }

void CUart_ISPDlg::OnIspSf() {
    if (!RefusedWhileBusy()) ShowPage(Page::IspSf);
}

void CUart_ISPDlg::OnEeprom() {
    if (!RefusedWhileBusy()) ShowPage(Page::InfoBlock);
}

void CUart_ISPDlg::OnEepromPage() {
    if (!RefusedWhileBusy()) ShowPage(Page::EepromTable);
}

void CUart_ISPDlg::OnHidePages() {
    if (RefusedWhileBusy()) return;
    for (QWidget* shown : pages_)
        if (shown != nullptr) shown->hide();
}

bool CUart_ISPDlg::RefusedWhileBusy() {
    if (!g_bTaskWorking) return false;
    ShowBusyNoticeThread();
    return true;
}

void CUart_ISPDlg::ShowPage(Page which) {
    const size_t index = static_cast<size_t>(which);
    for (size_t other = 0; other < pages_.size(); ++other)
        if (other != index && pages_[other] != nullptr) pages_[other]->hide();
    const bool existed = pages_[index] != nullptr;
    if (!existed) {
        QWidget* made = CreatePageWindow ? CreatePageWindow(kPageTemplate[index], client_) : nullptr;
        pages_[index] = made != nullptr ? made : new QWidget(client_);
        pages_[index]->move(0, 0);
    }
    pages_[index]->show();
    pages_[index]->setFocus();
    client_->controls().show(res::kIdcSeparator, false);
    // The page shown hears the COM port; a page without a use for it leaves the port unheard.
    g_SerialPort.SetOwner(dynamic_cast<SerialPortOwner*>(pages_[index]));
    // On its first creation the IC page is sized by the window's own initialisation.
    if (which == Page::InfoBlock)
        ResizeClient(kEnlargeWidth, kEnlargeHeight);
    else if (which != Page::IspIc || existed)
        ResizeClient(0, 0);
}

void CUart_ISPDlg::ResizeClient(int extraWidth, int extraHeight) {
    client_->setFixedSize(compact_.width() + extraWidth, compact_.height() + extraHeight);
    layout()->activate();
}

void CUart_ISPDlg::OnConfig() {
    // A model changed in the middle of a run would mix two models.
    if (RefusedWhileBusy() || !RunConfigDialog) return;
    if (const std::optional<ConfigAnswer> answer = RunConfigDialog(this)) TakeConfigAnswer(*answer);
    // The IC page shows the serial-number switch as it now stands and "Last SN" as the store
    // now holds it.
    if (RefreshIcPageSettings) RefreshIcPageSettings();
}

void CUart_ISPDlg::TakeConfigAnswer(const ConfigAnswer& answer) {
    // "Last SN" is stored only when the operator typed a number, whatever it is: the number the
    // dialog showed may be behind the store, where another running copy has taken numbers since.
    const bool newLastSerial = answer.lastSerialTyped;
    g_nChipMode = answer.chipMode;
    g_bSerialEnable = answer.serialEnable;
    g_dwSerialAddr = answer.serialAddr;
    g_nLastSerial = answer.lastSerial;
    g_nSerialLocation = answer.serialLocation;
    g_bSerialAutoInc = answer.serialAutoInc;
    // Braced, the saves run in this order; one the store did not take is told.
    const CountsSave saved = FirstRefusal({RegSaveIspIcType(), RegSaveSerialNoEn(g_bSerialEnable),
                                           RegSaveSnInArea(g_nSerialLocation), RegSaveSnStartAddr(g_dwSerialAddr),
                                           newLastSerial ? RegSaveLastSn(g_nLastSerial) : CountsSave::Saved,
                                           RegSaveSerialNoAutoInc(g_bSerialAutoInc)});
    g_dwFlashSize = FlashSizeOfMode(g_nChipMode);
    UpdateTitle();
    if (saved != CountsSave::Saved)
        MessageBox(SettingsRefusalText(platform::registryStorePath(), saved), platform::MsgIcon::Error);
}

void CUart_ISPDlg::OnAbout() {
    CAboutDlg about(this);
    about.exec();
}

void CUart_ISPDlg::UpdateTitle() {
    const std::string model = g_nChipMode < kChipTableSize ? g_strChipName[g_nChipMode] : std::string();
    setWindowTitle(QString::fromStdString(strfmt("SWD ISP VoskS _ %s  V%s", model.c_str(), g_strVersion.c_str())));
}

// Every key that reaches the window is swallowed, so Enter and Esc never close it.
void CUart_ISPDlg::keyPressEvent(QKeyEvent* event) {
    PreTranslateMessage(event->key());
    event->accept();
}

// Only B does something in the main window: it burns, as the Burn button does, unless another
// page is shown: a key that such a page let through must not burn the IC page's image.
void CUart_ISPDlg::PreTranslateMessage(int key) {
    if (key != Qt::Key_B || !BurnFromKey) return;
    for (size_t index = 0; index < pages_.size(); ++index)
        if (index != static_cast<size_t>(Page::IspIc) && pages_[index] != nullptr && !pages_[index]->isHidden()) return;
    BurnFromKey();
}

// A window closed under a running worker would leave the worker writing to freed pages.
void CUart_ISPDlg::closeEvent(QCloseEvent* event) {
    if (g_bTaskWorking) {
        event->ignore();
        ShowBusyNoticeThread();
        return;
    }
    // Parts that a run counted without saving (a verify-only run, a run whose save failed)
    // reach the store; the operator saw them counted, so those that cannot are named first.
    UnsavedParts unsaved;
    SaveCountedParts(&unsaved);
    if (unsaved.why != CountsSave::Saved && unsaved.parts.total != 0) {
        MessageBox(UnsavedPartsText(unsaved, platform::registryStorePath()), platform::MsgIcon::Error);
    }
    event->accept();
}

void CUart_ISPDlg::ShowBusyNoticeThread() {
    if (StartNotice(Notice::Busy)) client_->controls().setText(res::kIdcNotice, QString::fromLatin1(kBusyNotice));
}

void CUart_ISPDlg::ShowDelayCountThread() {
    if (StartNotice(Notice::DelayCount) || g_hNoticeThread == Notice::DelayCount)
        client_->controls().setText(res::kIdcNotice, QString::fromStdString(strfmt("Delay Count:%d", static_cast<int>(g_nDelayCount.load()))));
}

bool CUart_ISPDlg::StartNotice(Notice kind) {
    bool idle = false;
    if (!g_bNoticeShown.compare_exchange_strong(idle, true)) return false;
    g_hNoticeThread = kind;
    client_->controls().show(res::kIdcNotice, true);
    client_->control(res::kIdcNotice)->raise();
    noticeTimer_.start(kNoticeMs);
    return true;
}

CAboutDlg::CAboutDlg(QWidget* parent) : ui::TemplateDialog(res::kAbout100, parent) {
    controls().setText(res::kIdcVersionLine, QString::fromStdString("SWD Vosk Version " + g_strVersion));
    onClicked(1, &CAboutDlg::accept);
}

CAboutQorm::CAboutQorm(QWidget* parent) : ui::TemplateDialog(res::kAbout170, parent) {
    controls().setText(res::kIdcVersionLine, QString::fromStdString("Nubo Vosk Version " + g_strVersion));
    onClicked(1, &CAboutQorm::accept);
}
