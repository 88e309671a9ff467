#include "app/application.h"

#include <QApplication>
#include <QKeyEvent>
#include <QProxyStyle>

#include <cstdio>
#include <string>

#include "core/counter_texts.h"
#include "core/globals.h"
#include "app/ic_page.h"
#include "core/ini_settings.h"
#include "app/main_window.h"
#include "core/registry_settings.h"
#include "platform/os_version.h"
#include "platform/paths.h"
#include "platform/registry_store.h"
#include "platform/services.h"
#include "dialogs/config1_dlg.h"
#include "dialogs/eeprom_dlg.h"
#include "dialogs/tool_dialogs.h"
#include "sfpage/flash_isp.h"
#include "res/icons.h"

namespace {

constexpr uint32_t kMaxDelayCount = 2000;

// The desktop's style with our own chevron on the menu bar's overflow button: the style's
// own is a PNG file, and reading it loads every image-format plugin at start-up.
class OwnChevronStyle : public QProxyStyle {
public:
    QIcon standardIcon(StandardPixmap which, const QStyleOption* option, const QWidget* widget) const override {
        if (which == SP_ToolBarHorizontalExtensionButton) return res::overflowChevron();
        return QProxyStyle::standardIcon(which, option, widget);
    }
};

}  // namespace

uint32_t CorrectedSerialAddress(uint32_t location, uint32_t address, uint32_t flashSize) {
    if (location == 0) return address <= 0x10 ? flashSize / 2 : address;
    return address >= 0x3FC ? 0 : address;
}

void LoadStartupSettings() {
    const platform::StoreReadBatch oneReading;
    g_bLimitEnable = RegLoadBurnLimitEn() != 0 ? 1 : 0;
    g_nLimitQuantity = RegLoadLimitQuantity();
    g_bSerialEnable = RegLoadSerialNoEn();
    g_dwSerialAddr = RegLoadSnStartAddr();
    g_nLastSerial = RegLoadLastSn();
    g_nTotalCount = RegLoadTotalCount();
    g_nPassCount = RegLoadPassCount();
    g_nFailCount = RegLoadFailCount();
    RegLoadIspIcType();
    g_dwFlashSize = FlashSizeOfMode(g_nChipMode);
    g_bSerialAutoInc = RegLoadSerialNoAutoInc();
    g_nSerialLocation = RegLoadSnInArea();
    // A fresh store asks for the serial number at address 0 of main code, over the image's
    // reset vector; the address is corrected in memory as the configuration would, and the
    // store keeps what it holds until the operator confirms "Config.".
    g_dwSerialAddr = CorrectedSerialAddress(g_nSerialLocation, g_dwSerialAddr, g_dwFlashSize);
}

CUart_ISPApp theApp;

void CUart_ISPApp::InitInstance() {
    const platform::OsVersion version = platform::osVersion();
    g_dwOsMajor = version.major;
    g_dwOsMinor = version.minor;
    g_dwWaitMs = version.major == 6 && (version.minor == 1 || version.minor == 2) ? 40 : 20;
    g_strExeDir = platform::programFolder();
    g_strLastDir.clear();
    g_strLastFile.clear();
    InitIniPath();
    LoadStartupSettings();
    g_hStopEvent.reset();
    g_hReplyEvent.reset();
}

bool DelayKeyFilter::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::ShortcutOverride || event->type() == QEvent::KeyRelease) {
        pressSeen_ = false;
        return false;
    }
    if (event->type() != QEvent::KeyPress || !watched->isWidgetType() || pressSeen_) return false;
    pressSeen_ = true;
    if (g_pMainDlg == nullptr || static_cast<QWidget*>(watched)->window() != g_pMainDlg) return false;
    return theApp.PreTranslateMessage(static_cast<QKeyEvent*>(event)->key());
}

bool CUart_ISPApp::PreTranslateMessage(int key) {
    const uint32_t count = g_nDelayCount;
    if (key == Qt::Key_Plus || key == Qt::Key_Equal) {
        g_nDelayCount = std::min(count + 1, kMaxDelayCount);
    } else if (key == Qt::Key_Minus || key == Qt::Key_Underscore) {
        g_nDelayCount = static_cast<int32_t>(count) - 1 <= 0 ? 0 : count - 1;
    } else {
        return false;
    }
    const CountsSave saved = RegSaveScanDelay(g_nDelayCount);
    if (g_pMainDlg != nullptr) g_pMainDlg->ShowDelayCountThread();
    if (saved != CountsSave::Saved)
        MessageBox(SettingsRefusalText(platform::registryStorePath(), saved), platform::MsgIcon::Error);
    return false;
}

void CUart_ISPApp::ExitInstance() {
    g_hStopEvent.reset();
    g_hReplyEvent.reset();
}

std::string StartUpRefusal() {
    if (!platform::configFolder().empty() && !platform::programFolder().empty()) return {};
    return "The settings, serial numbers and files of swd-isp have no folder of their own: HOME is not an "
           "absolute path and the password database gives no home folder for this account. Start the program "
           "with HOME set to the account's home folder.";
}

int RunApplication(int argc, char** argv) {
    // Told before the display is opened, so that a start without one (a service) says why too.
    const std::string refusal = StartUpRefusal();
    if (!refusal.empty()) std::fprintf(stderr, "swd-isp: %s\n", refusal.c_str());
    QApplication app(argc, argv);
    if (!refusal.empty()) {
        MessageBox(refusal, platform::MsgIcon::Error);
        return 1;
    }
    QApplication::setStyle(new OwnChevronStyle);
    app.setWindowIcon(res::icon(res::kIconApp));
    theApp.InitInstance();
    DelayKeyFilter keys;
    app.installEventFilter(&keys);
    InstallIcPage();
    InstallFlashPage();
    InstallConfigDialog();
    InstallToolDialogs();
    InstallEepromPage();
    CUart_ISPDlg window;
    window.show();
    const int code = app.exec();
    theApp.ExitInstance();
    return code;
}
