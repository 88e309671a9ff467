#include "app/ic_page.h"

#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QListWidget>
#include <QTest>
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <thread>

#include "core/globals.h"
#include "dialogs/info_blk1_dlg.h"
#include "dialogs/info_blk2_dlg.h"
#include "sfpage/dump_sf_dlg.h"
#include "sfpage/flash_isp.h"
#include "app/main_window.h"
#include "core/registry_settings.h"
#include "link/com_frames.h"
#include "link/com_settings.h"
#include "link/hid_device.h"
#include "link/serial_port.h"
#include "platform/registry_store.h"
#include "platform/strfmt.h"
#include "res/flash_page_template.h"
#include "res/ic_page_template.h"
#include "sfpage/flash_isp.h"
#include "engine_com/gang_settings.h"
#include "sim/gang_board.h"
#include "support/board_clock.h"
#include "sim/hid_adapter.h"
#include "support/box_changes.h"
#include "support/file_size_limit.h"
#include "support/modal_dialog.h"
#include "support/recording_services.h"
#include "support/simulated_burn.h"
#include "support/spin_until.h"
#include "support/unreadable_files.h"

using namespace res;
using Tones = std::vector<RecordingServices::Tone>;

namespace {

using Texts = std::vector<std::string>;

Texts messageTexts(const RecordingServices& services) {
    Texts texts;
    for (const auto& m : services.messages()) texts.push_back(m.text);
    return texts;
}

QStringList texts(const CISPDlg& page, std::initializer_list<int> ids) {
    QStringList shown;
    for (int id : ids) shown << page.controls().text(id);
    return shown;
}

std::vector<int> icons(const CISPDlg& page, const int (&ids)[4]) {
    std::vector<int> shown;
    for (int id : ids) shown.push_back(page.controls().icon(id));
    return shown;
}

QAbstractButton* button(const CISPDlg& page, int id) { return page.controls().control<QAbstractButton>(id); }

constexpr uint8_t kProgramPage = 0x2B;
constexpr uint8_t kErase = 0x27;

// The page against the simulated adapter (every site holding a target, pauses skipped), with
// the program's own workers.
class IcPage : public ::testing::Test {
protected:
    void SetUp() override {
        g_strExeDir = bench.folder.path().toStdString() + "/";
        g_strLastDir.clear();
        g_dwFlashSize = 0x10000;
        g_bTaskWorking = false;
        bench.startWithCounters({});
        page = std::make_unique<CISPDlg>();
        page->show();
    }
    void TearDown() override {
        EXPECT_TRUE(spinUntil([] { return !g_bTaskWorking; }));
        page.reset();
    }

    std::string load(const std::vector<uint8_t>& bytes, const std::string& name = "image.bin") {
        bench.services.chosenFile = bench.writeImage(bytes, name);
        page->OnLoadFile();
        return bench.services.chosenFile;
    }
    void burn() {
        button(*page, kIdcBurn)->click();
        ASSERT_TRUE(spinUntil([] { return !g_bTaskWorking; }));
    }
    int setsOf(uint8_t command) const {
        const auto& log = bench.adapter.exchanges();
        return static_cast<int>(std::count_if(log.begin(), log.end(), [&](const sim::Exchange& e) {
            return e.kind == sim::Exchange::Kind::Set && e.report.size() > 3 && e.report[3] == command;
        }));
    }
    std::string exported() const {
        std::ifstream file(g_strExeDir + "ISP_log.txt", std::ios::binary);
        return {std::istreambuf_iterator<char>(file), {}};
    }
    QListWidget* list() const { return page->controls().control<QListWidget>(kIdcLogList); }

    SimulatedBurn bench;
    RecordingServices& services = bench.services;
    std::unique_ptr<CISPDlg> page;
    const std::vector<uint8_t> image = PatternImage(3000);
};

}  // namespace

TEST_F(IcPage, BurnChecksTheImageFirstThenTheAdapter) {
    CloseHidDevice();
    sim::installSimulatedAdapters({});  // no adapter attached
    page->OnBurn();
    EXPECT_EQ(messageTexts(services), Texts{"BIN file not found!"});
    EXPECT_EQ(services.messages()[0].icon, platform::MsgIcon::Error);
    load(image);
    services.clear();
    page->OnBurn();
    EXPECT_EQ(messageTexts(services), Texts{"HID device Not Found !"});
    EXPECT_FALSE(g_bTaskWorking);  // nothing started
    EXPECT_TRUE(bench.adapter.exchanges().empty());
    // Another copy of the program holds the adapter.
    sim::installSimulatedAdapter(bench.adapter);
    const platform::HidOpened otherCopy = platform::hidBackend().open(platform::hidBackend().enumerate().at(0));
    ASSERT_TRUE(otherCopy.device);
    services.clear();
    page->OnBurn();
    EXPECT_EQ(messageTexts(services), Texts{"HID device In Use by another program !"});
}

// The page operations that nothing in the window calls: the list loggers add to the list's last
// line or a line of their own, and clearing the image forgets it.
TEST_F(IcPage, ListLoggersAndClearingTheImage) {
    auto* list = page->controls().control<QListWidget>(kIdcLogList);
    const uint8_t line[] = {0x0A, 0xFF};
    const struct {
        std::function<void()> op;
        QStringList lines;
    } steps[] = {
        {[&] { page->LogAppendByte(0x5A); }, {" 5A"}},
        {[&] { page->LogAppendByte(0x01); }, {" 5A 01"}},
        {[&] { page->LogBytesLine(line); }, {" 5A 01", " 0A FF"}},
        {[&] { page->LogAppendByte(0xC3); }, {" 5A 01", " 0A FF C3"}},
    };
    list->clear();
    for (const auto& step : steps) {
        step.op();
        QStringList shown;
        for (int i = 0; i < list->count(); ++i) shown << list->item(i)->text();
        EXPECT_EQ(shown, step.lines);
    }
    load(image);
    page->ClearImageInfo();
    EXPECT_EQ(texts(*page, {kIdcImageSize, kIdcImageCrc}), QStringList({"", ""}));
    services.clear();
    page->OnBurn();
    EXPECT_EQ(messageTexts(services), Texts{"BIN file not found!"});
}

// The step logs that the pages and dialogs keep: nothing opens one, so the file loggers write
// nowhere even while a task runs, and closing a log that is not open does nothing.
TEST_F(IcPage, StepLogsThatNothingOpensStayClosed) {
    CFlashISP flashPage;
    CDumpSFDlg sfDump;
    CInfoBlk1Dlg infoBlk1;
    CInfoBlk2Dlg infoBlk2;
    const uint8_t bytes[] = {0x01, 0xAB};
    const auto logAndClose = [&](auto& owner) {
        owner.FileLogByte(0xA5);
        owner.FileLogBytesLine(bytes);
        owner.OnCloseLog();
        owner.OnCloseLog();
    };
    const struct {
        const char* owner;
        std::function<void()> logAndClose;
    } owners[] = {
        {"IC page", [&] { logAndClose(*page); }},
        {"serial-flash page", [&] { logAndClose(flashPage); }},
        {"serial-flash dump", [&] { logAndClose(sfDump); }},
        {"COM information block", [&] { logAndClose(infoBlk1); }},
        {"parameter area", [&] { logAndClose(infoBlk2); }},
    };
    const auto files = [] {
        std::vector<std::string> names;
        for (const std::string& folder : {g_strExeDir, std::filesystem::current_path().string()})
            for (const auto& entry : std::filesystem::directory_iterator(folder)) names.push_back(entry.path().string());
        return names;
    };
    const std::vector<std::string> before = files();
    g_bTaskWorking = true;
    for (const auto& c : owners) {
        SCOPED_TRACE(c.owner);
        c.logAndClose();
        EXPECT_EQ(files(), before);
    }
    g_bTaskWorking = false;
    // The parameter area's cursor follows its wait flag, which nothing sets.
    infoBlk2.OnSetCursor();
    EXPECT_FALSE(infoBlk2.testAttribute(Qt::WA_SetCursor));
    infoBlk2.m_bBusyCursor = 1;
    infoBlk2.OnSetCursor();
    EXPECT_EQ(infoBlk2.cursor().shape(), Qt::WaitCursor);
}

TEST_F(IcPage, TwoKeyPressesWhileAWorkerStartsRunOneWorker) {
    load(image);
    std::atomic<int> runs{0};
    platform::Event release;
    page->setWorkers({[&](WorkerPage&) {
                          ++runs;
                          release.wait(std::chrono::seconds(5));
                          g_bTaskWorking = false;
                      },
                      {}, {}, {}, {}});
    QTest::keyClick(page->control(kIdcLogList), Qt::Key_B);
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
    QTest::keyClick(page->control(kIdcLogList), Qt::Key_B);
    release.set();
    ASSERT_TRUE(spinUntil([] { return !g_bTaskWorking; }));
    QTest::keyClick(page->control(kIdcLogList), Qt::Key_A);  // other keys do nothing
    EXPECT_EQ(runs, 1);
}

TEST(IcPageTexts, Yield) {
    const struct { uint32_t pass, total; const char* text; } yields[] = {
        {3, 4, "75.00%"}, {0, 0, "100.00%"}, {1, 3, "33.33%"}};
    for (const auto& y : yields) EXPECT_EQ(YieldText(y.pass, y.total), y.text) << y.pass << "/" << y.total;
}

// The page's boxes follow the program's state however they are changed: Verify Mode sets the
// mode (refused during a task), and the boxes that only show a setting go back to it. The page
// takes no key but B.
TEST_F(IcPage, EveryBoxFollowsThePagesStateHoweverItChanges) {
    g_bTaskWorking = true;
    button(*page, kIdcVerifyMode)->click();
    g_bTaskWorking = false;
    EXPECT_FALSE(button(*page, kIdcVerifyMode)->isChecked());
    EXPECT_EQ(messageTexts(services), Texts{"Can't change mode during a task working!"});

    g_nRdpLevel = 1;
    g_bInfoBlockEnable = g_bParamEnable = 0;
    page->RefreshSettingsView();
    const int shownOnly[] = {kIdcLevel0, kIdcLevel1, kIdcInfoBlockEnable, kIdcParamEnable};
    for (const BoxChange how : kBoxChanges) {
        SCOPED_TRACE(BoxChangeName(how));
        for (int id : shownOnly) page->controls().show(id, true);
        ChangeBox(button(*page, kIdcVerifyMode), how);
        EXPECT_EQ(page->controls().icon(kIdcBurn), how == BoxChange::SpaceKey ? 168 : 170);
        ChangeBox(button(*page, kIdcVerifyMode), how);
        EXPECT_EQ(page->controls().icon(kIdcBurn), 168);
        std::vector<bool> checked;
        for (int id : shownOnly) ChangeBox(button(*page, id), how), checked.push_back(page->controls().isChecked(id));
        EXPECT_EQ(checked, (std::vector<bool>{true, false, false, false}));
    }
}

// Lines come from a worker thread, as a burn writes them; the user-interface thread keeps
// serving the worker's calls until it is done, so the test joins only then.
TEST_F(IcPage, ExportWritesOneCrLfLinePerListLineOrTellsWhyNot) {
    button(*page, kIdcExportLog)->click();
    EXPECT_EQ(exported(), "");
    std::atomic<bool> done{false};
    std::thread worker([&] {
        page->addLog("Site 1 pass");
        page->addLog("Site 2 fail");
        page->scrollLog();
        done = true;
    });
    ASSERT_TRUE(spinUntil([&] { return done.load(); }));
    worker.join();
    button(*page, kIdcExportLog)->click();
    EXPECT_EQ(exported(), "Site 1 pass\r\nSite 2 fail\r\n");
    EXPECT_EQ(services.viewed(), Texts(2, g_strExeDir + "ISP_log.txt"));

    // A full disk is told, the earlier log stays, and no log is shown as exported; a device in
    // the log's place is not written.
    const std::string log = g_strExeDir + "ISP_log.txt";
    services.clear();
    {
        const FileSizeLimit disk(10);
        button(*page, kIdcExportLog)->click();
    }
    EXPECT_EQ(exported(), "Site 1 pass\r\nSite 2 fail\r\n");
    std::filesystem::remove(log);
    std::filesystem::create_symlink("/dev/full", log);
    button(*page, kIdcExportLog)->click();
    EXPECT_EQ(messageTexts(services), (Texts{"File could not be written !\r\n" + log, "Could not create the file!"}));
    EXPECT_TRUE(services.viewed().empty());
}

// An image larger than the flash is refused, yet stays the image, so that Burn names its size.
TEST_F(IcPage, LoadShowsSizeAndCrcAndRefusalsKeepThePreviousImage) {
    const std::string good = load(std::vector<uint8_t>(0x10000, 0));
    EXPECT_EQ(texts(*page, {kIdcImageSize, kIdcImageCrc}), QStringList({"65536", "1D0F"}));  // CRC-16/CCITT-FALSE of 64 KB of zeros
    EXPECT_EQ(g_strLastDir + "/" + g_strLastFile, good);
    MakeUnreadableFiles(bench.folder.path().toStdString() + "/", ".bin");
    const struct { const char* name; size_t size; const char* message; bool kept; } refusals[] = {
        {"notes.txt", 4, nullptr, false},  // listed, not loaded, no message
        // Neither hangs the page nor becomes the image; size 0 means made above.
        {"fifo.bin", 0, "File : %s is not a regular file!", false},
        {"zero.bin", 0, "File : %s is not a regular file!", false},
        {"none.hex", 0, "File : %s could not be opened!!!", false},  // never made; said once
        {"big.bin", 0x10001, "File size more than 10000", true},
    };
    for (const auto& r : refusals) {
        services.clear();
        list()->clear();
        const std::string chosen = r.size ? bench.writeImage(std::vector<uint8_t>(r.size, 0), r.name)
                                          : bench.folder.filePath(r.name).toStdString();
        services.chosenFile = chosen;
        page->OnLoadFile();
        EXPECT_EQ(page->imagePath(), r.kept ? chosen : good) << r.name;
        EXPECT_EQ(texts(*page, {kIdcImageSize, kIdcImageCrc}), QStringList({"", ""})) << r.name;
        EXPECT_EQ(messageTexts(services), r.message ? Texts{strfmt(r.message, chosen.c_str())} : Texts{});
        EXPECT_EQ(list()->count(), r.message ? 0 : 1) << r.name;
    }
    services.clear();
    burn();
    EXPECT_EQ(messageTexts(services), Texts{"Code size exceed the max. size of flash!!!"});
    EXPECT_EQ(setsOf(kErase) + setsOf(kProgramPage), 0);
}

// A prompt asked from a worker thread opens on the user-interface thread and its answer, and
// "Don't warning again.", reach the worker and the globals.
TEST_F(IcPage, PromptAnswersReachTheGlobalsAndTheWorker) {
    const auto ask = [&](int button, bool dontAskAgain, const std::function<int()>& prompt) {
        std::atomic<int> result{-1};
        const auto answer = [&](ui::TemplateDialog& dialog) {
            if (dontAskAgain) dialog.controls().control<QAbstractButton>(1133)->click();
            dialog.controls().control<QAbstractButton>(button)->click();
        };
        EXPECT_TRUE(WhenModal<ui::TemplateDialog>([&] {
            std::thread worker([&] { result = prompt(); });
            EXPECT_TRUE(spinUntil([&] { return result != -1; }));
            worker.join();
        }, answer));
        return result.load();
    };
    g_bWarnProtect = g_bProtectContinue = 1;
    EXPECT_EQ(ask(1, true, [&] { return page->warnPrompt(2, 0x8FF); }), 1);
    EXPECT_EQ(g_bWarnProtect, 0u);
    EXPECT_EQ(g_bProtectContinue, 1u);
    EXPECT_EQ(ask(1, false, [&] { return page->stopPrompt(1, 0x8FF); }), 0);
}

// The page owns the gang board's port while it shows: destroying it closes the port, and a
// board that goes away (an unplugged USB-serial adapter) reaches the operator as the port's
// error report, once.
TEST_F(IcPage, ThePageOwnsTheComPortAndReportsItsFailure) {
    sim::GangBoard board;
    BoardClock clock(board);
    ASSERT_TRUE(board.start());
    SetComPortDeviceOverride(board.path());
    g_nComPort = 1;
    g_nComBaudRate = 115200;
    ASSERT_TRUE(ComOpenPort(g_pComPageOwner));
    page.reset();
    EXPECT_FALSE(g_SerialPort.IsOpen());

    page = std::make_unique<CISPDlg>();
    EXPECT_EQ(g_pComPageOwner, page.get());
    ASSERT_TRUE(ComOpenPort(g_pComPageOwner));
    // A gang run's request: the port again, at the second rate, still the page's.
    g_nComBaudRate2 = 57600;
    page->reopenComPort();
    g_nComBaudRate2 = 115200;
    EXPECT_TRUE(g_SerialPort.IsOpen());
    EXPECT_EQ(g_SerialPort.Owner(), page.get());
    const termios line = board.lineSettings();
    EXPECT_EQ(cfgetospeed(&line), speed_t{B57600});
    board.stop();
    EXPECT_TRUE(spinUntil([&] { return !services.messages().empty() && !g_SerialPort.IsOpen(); }));
    QApplication::processEvents();
    ASSERT_EQ(services.messages().size(), 1u);
    EXPECT_EQ(services.messages()[0].text.rfind("WARNING:  read() Failed with the following error: \n", 0), 0u);
    EXPECT_NE(services.messages()[0].text.find("\nPort: 1\n"), std::string::npos);
    EXPECT_EQ(services.messages()[0].icon, platform::MsgIcon::Error);
    EXPECT_EQ(services.messages()[0].caption, "Application Error");
    SetComPortDeviceOverride("");
}

TEST_F(IcPage, TheMainWindowsBKeyBurnsEverySite) {
    page.reset();
    InstallIcPage();
    {
        CUart_ISPDlg window;
        window.show();
        auto* icPage = dynamic_cast<CISPDlg*>(window.page(CUart_ISPDlg::Page::IspIc));
        ASSERT_NE(icPage, nullptr);
        EXPECT_EQ(g_pISPDlg, icPage);
        bench.services.chosenFile = bench.writeImage(image);
        icPage->OnLoadFile();
        QTest::keyClick(&window, Qt::Key_B);
        ASSERT_TRUE(spinUntil([] { return !g_bTaskWorking; }));
        EXPECT_EQ(bench.adapter.site(3).read(0x10000000, 3000), image);
        EXPECT_EQ(bench.storedCounters(), (Counters{4, 4, 0}));
        EXPECT_EQ(texts(*icPage, {kIdcTotal, kIdcPass, kIdcYield}), QStringList({"4", "4", "100.00%"}));
        EXPECT_EQ(icons(*icPage, kIdcSiteIcon), (std::vector<int>{150, 150, 150, 150}));
        EXPECT_EQ(icons(*icPage, kIdcSiteIndicator), (std::vector<int>{153, 155, 159, 160}));
        EXPECT_EQ(icPage->controls().icon(kIdcBurn), 168);
        EXPECT_EQ(bench.services.tones(), (Tones{{784, 900}}));
        EXPECT_TRUE(bench.services.messages().empty());
    }
    CreatePageWindow = nullptr;
    BurnFromKey = nullptr;
}

// A verify run compares and counts on the page but stores no counter; Reset Count then stores
// and shows zeros.
TEST_F(IcPage, VerifyModeComparesAndStoresNoCounterAndResetCountClearsThem) {
    for (int site = 0; site < 4; ++site) bench.preload(site, image);
    bench.preload(2, {0xEE});  // one differing byte on site 3
    bench.startWithCounters({7, 6, 1});
    load(image);
    button(*page, kIdcVerifyMode)->click();
    EXPECT_EQ(page->controls().icon(kIdcBurn), 170);
    burn();
    EXPECT_EQ(setsOf(kErase) + setsOf(kProgramPage), 0);
    EXPECT_EQ(bench.storedCounters(), (Counters{7, 6, 1}));
    EXPECT_EQ(texts(*page, {kIdcTotal, kIdcFail, kIdcYield}), QStringList({"11", "2", "81.82%"}));
    EXPECT_EQ(icons(*page, kIdcSiteIcon), (std::vector<int>{150, 150, 151, 150}));
    EXPECT_EQ(bench.services.tones(), (Tones{{800, 100}, {800, 100}}));

    // A store that cannot be written keeps its counts, so the screen keeps them too, and the
    // parts the verify counted still wait for the next save.
    const std::string store = platform::registryStorePath();
    std::filesystem::remove(store + ".lock");
    ASSERT_TRUE(std::filesystem::create_directory(store + ".lock"));  // no lock, no save
    button(*page, kIdcResetCount)->click();
    EXPECT_EQ(messageTexts(services), Texts{"Counters can not be reset: " + store + " can not be written!"});
    EXPECT_EQ(texts(*page, {kIdcTotal, kIdcFail, kIdcYield}), QStringList({"11", "2", "81.82%"}));
    std::filesystem::remove(store + ".lock");
    EXPECT_EQ(SaveCountedParts(), (Counts{11, 9, 2}));

    button(*page, kIdcResetCount)->click();
    EXPECT_EQ(bench.counters(), Counters{});
    EXPECT_EQ(bench.storedCounters(), Counters{});
    EXPECT_EQ(texts(*page, {kIdcTotal, kIdcPass, kIdcFail, kIdcYield}), QStringList({"0", "0", "0", "100.00%"}));
}

// The label globals point at the labels of the pages alive: the page made last owns the
// start-address label, and a page that goes takes only its own labels with it.
TEST_F(IcPage, TheLabelGlobalsFollowThePagesThatOwnThem) {
    auto flash = std::make_unique<CFlashISP>();
    QLabel* const icSerial = page->controls().control<QLabel>(kIdcSerialLast);
    const struct { QLabel* const& global; QLabel* withBoth; QLabel* withIcPageOnly; } cases[] = {
        {g_hwndSerialLast, icSerial, icSerial},
        {g_hwndFlashStatic, flash->controls().control<QLabel>(res::sf::kIdcSerialLast), nullptr},
        {g_hwndStartAddr, flash->controls().control<QLabel>(res::sf::kIdcStartAddr), nullptr},
    };
    for (const auto& c : cases) EXPECT_EQ(c.global, c.withBoth);
    flash.reset();
    for (const auto& c : cases) EXPECT_EQ(c.global, c.withIcPageOnly);
    EXPECT_NE(icSerial, nullptr);
    page.reset();
    EXPECT_EQ(g_hwndSerialLast, nullptr);
}

// Only sites holding a target take a serial number and are counted; an empty site keeps its
// idle icon. The label shows the number unsigned.
TEST_F(IcPage, SerialNumbersAdvanceOnlyForPresentTargetsOnTheLabelAndInTheStore) {
    g_bSerialEnable = g_bSerialAutoInc = 1;
    g_dwSerialAddr = 0x100;
    bench.startWithLastSerial(0x7FFFFFFF);
    bench.populate({0, 2});
    page = std::make_unique<CISPDlg>();
    load(image);
    burn();
    EXPECT_EQ(bench.adapter.site(0).read(0x10000100, 4), (std::vector<uint8_t>{0xFF, 0xFF, 0xFF, 0x7F}));
    EXPECT_EQ(bench.adapter.site(2).read(0x10000100, 4), (std::vector<uint8_t>{0, 0, 0, 0x80}));
    EXPECT_EQ(bench.adapter.site(1).read(0x10000000, 4), std::vector<uint8_t>(4, 0xFF));
    EXPECT_EQ(RegLoadLastSn(), 0x80000001u);
    EXPECT_EQ(page->controls().text(kIdcSerialLast), "S/N Last : 2147483649");
    EXPECT_FALSE(page->control(kIdcSerialLast)->isHidden());
    EXPECT_EQ(icons(*page, kIdcSiteIcon), (std::vector<int>{150, 152, 150, 152}));
    EXPECT_EQ(icons(*page, kIdcSiteIndicator), (std::vector<int>{153, 156, 159, 158}));
    EXPECT_EQ(bench.storedCounters(), (Counters{2, 2, 0}));
    EXPECT_EQ(texts(*page, {kIdcTotal, kIdcYield}), QStringList({"2", "100.00%"}));
    EXPECT_EQ(bench.services.tones(), (Tones{{784, 900}}));
}

// The reload and the key-reading HEX reader give on the IC page what they give on the
// serial-flash page from the same files: size and 16-bit byte sum, a converted file's beside the
// kept ones, the same refusals. The IC page takes the key but leaves the option page's fixed
// serial bytes to the serial-flash page.
TEST_F(IcPage, TheLoaderVariantsGiveTheSerialFlashPagesResults) {
    CFlashISP flash;
    auto* flashList = flash.controls().control<QListWidget>(res::sf::kIdcLogList);
    const std::string folder = bench.folder.path().toStdString();
    MakeUnreadableFiles(folder + "/", ".bin");
    const struct { const char* name; const char* contents; const char* shown; const char* message; } cases[] = {
        {"image.bin", "\x01\x01\x01", "3 0003", nullptr},
        {"image.hex", ":0400000001020304F2\n:00000001FF\n", "3/4 0003/000A", nullptr},
        {"fifo.bin", nullptr, "3/4 0003/000A", "File : %s is not a regular file!"},
        {"bad.hex", ":0400000001020304F3\n", "3/4 0003/000A", "HEX file error in line 1: checksum error"},
        {"notes.txt", "5A", "3/4 0003/000A", nullptr},  // listed only
    };
    g_strLastDir = folder;
    for (const auto& c : cases) {
        if (c.contents) std::ofstream(folder + "/" + c.name, std::ios::binary) << c.contents;
        g_strLastFile = c.name;
        const std::string chosen = folder + "/" + c.name;
        services.clear();
        list()->clear();
        flashList->clear();
        page->ReloadImage();
        flash.ReloadImage();
        const Texts message = c.message ? Texts{strfmt(c.message, chosen.c_str())} : Texts{};
        Texts both = message;
        both.insert(both.end(), message.begin(), message.end());
        EXPECT_EQ(messageTexts(services), both) << c.name;
        const QStringList shown = {QString::fromLatin1(c.shown).split(' ')};
        EXPECT_EQ(texts(*page, {kIdcImageSize, kIdcImageCrc}), shown) << c.name;
        EXPECT_EQ(flash.controls().text(res::sf::kIdcImageSize) + " " + flash.controls().text(res::sf::kIdcImageCrc),
                  QString::fromLatin1(c.shown)) << c.name;
        const int lines = c.message ? 0 : 1;
        ASSERT_EQ(list()->count(), lines) << c.name;
        ASSERT_EQ(flashList->count(), lines) << c.name;
        if (lines) {
            EXPECT_EQ(list()->item(0)->text().toStdString(), chosen);
            EXPECT_EQ(flashList->item(0)->text().toStdString(), chosen);
            EXPECT_EQ(list()->currentRow(), 0) << c.name;  // the new line is selected
        }
    }
    EXPECT_EQ(page->imagePath(), folder + "/image.bin");

    const auto savedKeyAddr = g_dwKeyAddr, savedOptionAddr = g_dwOptionAddr, savedEncry = g_bEncry,
               savedOptionSerial = g_bOptionSerial;
    g_bEncry = 1;
    g_bOptionSerial = 1;
    g_dwKeyAddr = 0x14000;
    g_dwOptionAddr = 0x3FF8;
    const std::string hex =
        ":103FF800000102030405060708090A0B0C0D0E0F41\n"  // the option page's serial bytes
        ":020000040001F9\n"                              // the key lies above 64 KB
        ":10400000101112131415161718191A1B1C1D1E1F38\n:00000001FF\n";
    using Records = std::vector<std::tuple<int, uint32_t, uint32_t>>;
    const auto readAll = [&](auto& reader) {
        g_KeyBytes.fill(0xEE);
        g_GangSerialFixed = {};
        g_bKeyLoaded = 0;
        std::istringstream in(hex);
        HexKeyRecord record;
        Records records;
        for (int result = 0; result != 1;) {
            result = reader.ParseHexRecordWithKey(in, record);
            records.emplace_back(result, record.address, record.count);
        }
        return records;
    };
    const Records expected = {{0, 0x3FF8, 16}, {0, 0, 0}, {0, 0x14000, 16}, {1, 0, 0}};
    const std::array<uint8_t, 16> key = {0x10, 0x11, 0x12, 0x13, 0x14, 0x15, 0x16, 0x17,
                                         0x18, 0x19, 0x1A, 0x1B, 0x1C, 0x1D, 0x1E, 0x1F};
    list()->clear();
    EXPECT_EQ(readAll(*page), expected);
    EXPECT_EQ(g_KeyBytes, key);
    EXPECT_EQ(g_bKeyLoaded, 1u);
    EXPECT_EQ(g_GangSerialFixed, (std::array<uint8_t, 3>{}));
    ASSERT_EQ(list()->count(), 1);
    EXPECT_EQ(list()->item(0)->text().toStdString(), "Load New Key :  10111213 14151617 18191A1B 1C1D1E1F");
    EXPECT_EQ(readAll(flash), expected);
    EXPECT_EQ(g_KeyBytes, key);
    EXPECT_EQ(g_GangSerialFixed, (std::array<uint8_t, 3>{1, 2, 3}));

    // The plain reader gives each record at its own address, after a base too; a broken record
    // is told from the end of the text.
    const struct { const char* text; int result; uint32_t address, count; } plain[] = {
        {":020000040001F9\n:0240200011226B", 0, 0x4020, 2}, {":0240200011226C", 3, 0, 0}, {":0240200011226B00", 3, 0, 0},
        {":0240200011", 3, 0, 0},  {":02402000112G6B", 3, 0, 0},  {":020000020000FC", 2, 0, 0},
        {":04000005000000CD2A", 0, 0, 0}, {"\r\n", 1, 0, 0},  {":00000001FF", 1, 0, 0},
    };
    const auto readLast = [](auto& reader, const char* text) {
        std::istringstream in(text);
        HexKeyRecord record;
        int result = 0;
        while (in.peek() != EOF && (result = reader.ParseHexRecord(in, record)) == 0) {
        }
        return std::tuple(result, record.address, record.count, record.data[1]);
    };
    for (const auto& c : plain) {
        const auto expected = std::tuple(c.result, c.address, c.count, static_cast<uint8_t>(c.count ? 0x22 : 0));
        EXPECT_EQ(readLast(*page, c.text), expected) << c.text;
        EXPECT_EQ(readLast(flash, c.text), expected) << c.text;
    }
    g_KeyBytes.fill(0);
    g_GangSerialFixed = {};
    g_dwKeyAddr = savedKeyAddr;
    g_dwOptionAddr = savedOptionAddr;
    g_bEncry = savedEncry;
    g_bOptionSerial = savedOptionSerial;
}
