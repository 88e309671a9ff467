#include "app/ic_page.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QListWidget>
#include <QMenuBar>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "app/globals.h"
#include "app/main_window.h"
#include "app/prompts.h"
#include "app/registry_settings.h"
#include "engine_hid/pause.h"
#include "link/com_frames.h"
#include "link/com_settings.h"
#include "link/hid_device.h"
#include "link/serial_port.h"
#include "platform/paths.h"
#include "res/ic_page_template.h"
#include "sim/gang_board.h"
#include "sim/hid_adapter.h"
#include "support/gang_link.h"
#include "support/recording_services.h"
#include "support/simulated_burn.h"
#include "support/temp_config_folder.h"
#include "support/temp_dir.h"

using namespace res;
using Message = RecordingServices::Message;

namespace {

// Runs the user-interface loop until done() holds, or fails after five seconds.
template <class Done>
bool spinUntil(Done done) {
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!done()) {
        if (std::chrono::steady_clock::now() > limit) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return true;
}

class IcPage : public ::testing::Test {
protected:
    void SetUp() override {
        platform::setProgramFolderForTest(dir.path());
        g_strExeDir = dir.path();
        g_strLastDir.clear();
        g_nChipMode = 0;
        g_dwFlashSize = 0x10000;
        g_nTotalCount = g_nPassCount = g_nFailCount = 0;
        g_bSerialEnable = 0;
        g_nLastSerial = 0;
        g_bTaskWorking = false;
        sim::installSimulatedAdapters({});  // no adapter attached
        page = std::make_unique<CISPDlg>();
        page->setWorkers(recordingWorkers());
        page->show();
    }
    void TearDown() override {
        EXPECT_TRUE(spinUntil([] { return !g_bTaskWorking; }));
        page.reset();
        CloseHidDevice();
        sim::removeSimulatedAdapters();
        platform::setProgramFolderForTest("");
    }

    // Test workers that note which one ran and end as a worker does, clearing the flag.
    CISPDlg::Workers recordingWorkers() {
        auto worker = [this](const char* name) {
            return [this, name](WorkerPage&) {
                {
                    std::lock_guard lock(startedMutex);
                    started.push_back(name);
                }
                g_bTaskWorking = false;
            };
        };
        return {worker("site program"), worker("site verify"), {}, {}, worker("info block")};
    }
    std::vector<std::string> startedWorkers() {
        std::lock_guard lock(startedMutex);
        return started;
    }

    void attachAdapter() { sim::installSimulatedAdapter(adapter); }
    std::string load(const std::string& name, const std::string& bytes) {
        dir.write(name, bytes);
        services.chosenFile = dir.file(name);
        page->OnLoadFile();
        return services.chosenFile;
    }
    QString text(int id) const { return page->controls().text(id); }
    QListWidget* list() const { return page->controls().control<QListWidget>(kIdcLogList); }

    TempDir dir;
    TempConfigFolder config;
    RecordingServices services;
    sim::Adapter adapter;
    std::unique_ptr<CISPDlg> page;
    std::mutex startedMutex;
    std::vector<std::string> started;
};

}  // namespace

TEST_F(IcPage, BurnChecksTheImageFirstThenTheAdapter) {
    page->OnBurn();
    ASSERT_EQ(services.messages().size(), 1u);
    EXPECT_EQ(services.messages()[0].text, "BIN file not found!");
    EXPECT_EQ(services.messages()[0].icon, platform::MsgIcon::Error);

    load("fw.bin", std::string(100, '\x11'));
    services.clear();
    page->OnBurn();
    ASSERT_EQ(services.messages().size(), 1u);
    EXPECT_EQ(services.messages()[0].text, "HID device Not Found !");
    EXPECT_TRUE(startedWorkers().empty());
    EXPECT_FALSE(g_bTaskWorking);
}

TEST_F(IcPage, BurnStartsTheWorkerOfModeAndChipModel) {
    attachAdapter();
    load("fw.bin", std::string(16, '\x22'));
    const struct {
        bool verify;
        uint8_t chipMode;
        std::vector<std::string> started;
    } cases[] = {
        {false, 0, {"site program"}},
        {false, 1, {"site program"}},
        {true, 0, {"site verify"}},
        {true, 1, {"site verify"}},
        {false, 2, {}},  // the gang-board workers do not exist yet: nothing starts
        {true, 13, {}},
    };
    auto* verifyBox = page->controls().control<QAbstractButton>(kIdcVerifyMode);
    for (const auto& c : cases) {
        started.clear();
        g_nChipMode = c.chipMode;
        if (verifyBox->isChecked() != c.verify) verifyBox->click();
        page->OnBurn();
        ASSERT_TRUE(spinUntil([] { return !g_bTaskWorking; }));
        EXPECT_EQ(startedWorkers(), c.started) << c.verify << " " << int(c.chipMode);
    }
    EXPECT_TRUE(services.messages().empty());
}

TEST_F(IcPage, TwoKeyPressesWhileAWorkerStartsRunOneWorker) {
    attachAdapter();
    load("fw.bin", "x");
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
    EXPECT_EQ(runs, 1);

    // Other keys do nothing on the page.
    QTest::keyClick(page->control(kIdcLogList), Qt::Key_A);
    EXPECT_EQ(runs, 1);
}

TEST_F(IcPage, VerifyModeRefusedDuringATaskKeepsItsCheckMark) {
    auto* verifyBox = page->controls().control<QAbstractButton>(kIdcVerifyMode);
    g_bTaskWorking = true;
    verifyBox->click();
    EXPECT_FALSE(verifyBox->isChecked());
    ASSERT_EQ(services.messages().size(), 1u);
    EXPECT_EQ(services.messages()[0].text, "Can't change mode during a task working!");
    g_bTaskWorking = false;
}

TEST_F(IcPage, CountersYieldAndSerialLabel) {
    EXPECT_EQ(YieldText(3, 4), "75.00%");
    EXPECT_EQ(YieldText(0, 0), "100.00%");
    EXPECT_EQ(YieldText(1, 3), "33.33%");
    EXPECT_EQ(SerialLastText(0x80000000u), "S/N Last : 2147483648");

    g_nTotalCount = 4;
    g_nPassCount = 3;
    g_nFailCount = 1;
    g_bSerialEnable = 1;
    g_nLastSerial = 0xFFFFFFFFu;
    CISPDlg shown;
    EXPECT_EQ(shown.controls().text(kIdcTotal), "4");
    EXPECT_EQ(shown.controls().text(kIdcYield), "75.00%");
    EXPECT_EQ(shown.controls().text(kIdcSerialLast), "S/N Last : 4294967295");
    EXPECT_FALSE(shown.control(kIdcSerialLast)->isHidden());
}

TEST_F(IcPage, ResetCountStoresAndShowsZeros) {
    g_nTotalCount = 9;
    g_nPassCount = 5;
    g_nFailCount = 4;
    RegSaveTotalCount(9);
    RegSavePassCount(5);
    RegSaveFailCount(4);
    page->controls().control<QAbstractButton>(kIdcResetCount)->click();
    EXPECT_EQ((std::vector<uint32_t>{g_nTotalCount, g_nPassCount, g_nFailCount}),
              (std::vector<uint32_t>{0, 0, 0}));
    EXPECT_EQ((std::vector<uint32_t>{RegLoadTotalCount(), RegLoadPassCount(), RegLoadFailCount()}),
              (std::vector<uint32_t>{0, 0, 0}));
    for (int id : {kIdcTotal, kIdcPass, kIdcFail}) EXPECT_EQ(text(id), "0");
    EXPECT_EQ(text(kIdcYield), "100.00%");
}

TEST_F(IcPage, ExportWritesOneCrLfLinePerListLine) {
    page->controls().control<QAbstractButton>(kIdcExportLog)->click();
    EXPECT_EQ(dir.read("ISP_log.txt"), "");

    // Lines come from a worker thread, as a burn writes them.
    std::thread worker([&] {
        page->addLog("Site 1 pass");
        page->addLog("Site 2 fail");
        page->scrollLog();
    });
    ASSERT_TRUE(spinUntil([&] { return list()->count() == 2; }));
    worker.join();
    page->controls().control<QAbstractButton>(kIdcExportLog)->click();
    EXPECT_EQ(dir.read("ISP_log.txt"), "Site 1 pass\r\nSite 2 fail\r\n");
    EXPECT_EQ(services.viewed(), (std::vector<std::string>{dir.file("ISP_log.txt"),
                                                           dir.file("ISP_log.txt")}));
    EXPECT_EQ(list()->count(), 2);
}

TEST_F(IcPage, LoadShowsSizeAndCrcAndRefusalsKeepThePreviousImage) {
    const std::string good = load("fw.bin", std::string(0x10000, '\0'));
    EXPECT_EQ(text(kIdcImageSize), "65536");
    EXPECT_EQ(text(kIdcImageCrc).size(), 4);
    EXPECT_EQ(page->imagePath(), good);
    EXPECT_EQ(g_strLastDir + "/" + g_strLastFile, good);

    const struct {
        const char* name;
        std::string bytes;
        std::string message;  // "" for a file that is listed but not loaded
    } refusals[] = {
        {"big.bin", std::string(0x10001, '\0'), "File size more than 10000"},
        {"bad.hex", ":0100000001FE\n:01000000zz00\n", "HEX file error in line 2: a character that is not a hex digit"},
        {"notes.txt", "text", ""},
    };
    for (const auto& r : refusals) {
        services.clear();
        list()->clear();
        load(r.name, r.bytes);
        EXPECT_EQ(page->imagePath(), good) << r.name;
        EXPECT_TRUE(text(kIdcImageSize).isEmpty()) << r.name;
        EXPECT_TRUE(text(kIdcImageCrc).isEmpty()) << r.name;
        if (r.message.empty()) {
            EXPECT_TRUE(services.messages().empty());
            EXPECT_EQ(list()->count(), 1);
        } else {
            ASSERT_EQ(services.messages().size(), 1u) << r.name;
            EXPECT_EQ(services.messages()[0].text, r.message);
            EXPECT_EQ(list()->count(), 0) << r.name;
        }
    }
    // A cancelled dialog changes nothing.
    load("fw.bin", "x");
    const QString size = text(kIdcImageSize);
    services.chosenFile.clear();
    page->OnLoadFile();
    EXPECT_EQ(text(kIdcImageSize), size);
}

TEST_F(IcPage, PromptAnswersReachTheGlobalsAndTheWorker) {
    // Answers the prompt that opens: checks "Don't warning again." when asked, then presses
    // the button with the given id.
    auto answer = [](int button, bool dontAskAgain) {
        auto* timer = new QTimer;
        QObject::connect(timer, &QTimer::timeout, [=] {
            auto* prompt = dynamic_cast<ui::TemplateDialog*>(QApplication::activeModalWidget());
            if (!prompt) return;
            timer->stop();
            timer->deleteLater();
            if (dontAskAgain) prompt->controls().control<QAbstractButton>(1133)->click();
            prompt->controls().control<QAbstractButton>(button)->click();
        });
        timer->start(5);
    };
    auto askFromWorker = [&](auto ask) {
        std::atomic<bool> done{false};
        int result = -1;
        std::thread worker([&] {
            result = ask();
            done = true;
        });
        EXPECT_TRUE(spinUntil([&] { return done.load(); }));
        worker.join();
        return result;
    };

    g_bWarnProtect = g_bProtectContinue = g_bWarnCodeOption = g_bCodeOptionContinue = 1;
    answer(2, false);
    EXPECT_EQ(askFromWorker([&] { return page->warnPrompt(5, 0x1000); }), 3);
    EXPECT_EQ(g_bCodeOptionContinue, 0u);
    EXPECT_EQ(g_bProtectContinue, 1u);

    answer(1, true);
    EXPECT_EQ(askFromWorker([&] { return page->warnPrompt(2, 0x8FF); }), 1);
    EXPECT_EQ(g_bWarnProtect, 0u);
    EXPECT_EQ(g_bProtectContinue, 1u);

    answer(1, false);
    EXPECT_EQ(askFromWorker([&] { return page->stopPrompt(1, 0x8FF); }), 0);
}

TEST_F(IcPage, MainWindowKeepsThePageWhileATaskRuns) {
    page.reset();
    InstallIcPage();
    {
        CUart_ISPDlg window;
        window.show();
        auto* icPage = dynamic_cast<CISPDlg*>(window.page(CUart_ISPDlg::Page::IspIc));
        ASSERT_NE(icPage, nullptr);
        EXPECT_EQ(g_pISPDlg, icPage);
        g_bTaskWorking = true;
        ui::findCommand(window.menuBar(), 32780)->trigger();
        EXPECT_FALSE(icPage->isHidden());
        EXPECT_EQ(window.page(CUart_ISPDlg::Page::IspSf), nullptr);
        g_bTaskWorking = false;
    }
    CreatePageWindow = nullptr;
    BurnFromKey = nullptr;
    page = std::make_unique<CISPDlg>();
}

namespace {

// The page owns the gang board's port while it shows; destroying it closes the port.
TEST_F(IcPage, DestroyingThePageClosesTheComPort) {
    sim::GangBoard board;
    ASSERT_TRUE(board.start());
    SetComPortDeviceOverride(board.path());
    g_nComPort = 1;
    g_nComBaudRate = 115200;
    RecordingOwner owner;
    ASSERT_TRUE(ComOpenPort(&owner));
    ASSERT_TRUE(g_SerialPort.IsOpen());
    page.reset();
    EXPECT_FALSE(g_SerialPort.IsOpen());
    SetComPortDeviceOverride("");
}

}  // namespace

namespace {

// Burns through the real page with the program's own workers against the simulated adapter,
// its pauses skipped.
class IcPageBurn : public ::testing::Test {
protected:
    void SetUp() override {
        g_strExeDir = bench.folder.path().toStdString() + "/";
        g_bTaskWorking = false;
        RegSaveTotalCount(0);
        RegSavePassCount(0);
        RegSaveFailCount(0);
    }
    void TearDown() override { EXPECT_FALSE(g_bTaskWorking); }

    void load(CISPDlg& page, const std::vector<uint8_t>& image) {
        bench.services.chosenFile = bench.writeImage(image);
        page.OnLoadFile();
        ASSERT_EQ(page.imagePath(), bench.services.chosenFile);
    }
    static void burn(CISPDlg& page) {
        page.controls().control<QAbstractButton>(kIdcBurn)->click();
        ASSERT_TRUE(spinUntil([] { return !g_bTaskWorking; }));
    }
    static std::vector<int> icons(const CISPDlg& page, const int (&ids)[4]) {
        std::vector<int> shown;
        for (int id : ids) shown.push_back(page.controls().icon(id));
        return shown;
    }
    int setsOf(uint8_t command) const {
        const auto& log = bench.adapter.exchanges();
        return static_cast<int>(std::count_if(log.begin(), log.end(), [&](const sim::Exchange& e) {
            return e.kind == sim::Exchange::Kind::Set && e.report.size() > 3 && e.report[3] == command;
        }));
    }

    SimulatedBurn bench;
    const std::vector<uint8_t> image = PatternImage(3000);
};

constexpr uint8_t kProgramPage = 0x2B;
constexpr uint8_t kErase = 0x27;

TEST_F(IcPageBurn, BKeyOnTheMainWindowBurnsEverySite) {
    InstallIcPage();
    {
        CUart_ISPDlg window;
        window.show();
        auto* page = dynamic_cast<CISPDlg*>(window.page(CUart_ISPDlg::Page::IspIc));
        ASSERT_NE(page, nullptr);
        load(*page, image);
        QTest::keyClick(&window, Qt::Key_B);
        ASSERT_TRUE(spinUntil([] { return !g_bTaskWorking; }));

        for (int site = 0; site < 4; ++site) EXPECT_EQ(bench.adapter.site(site).read(0x10000000, 3000), image);
        EXPECT_EQ(setsOf(kProgramPage), 4 * 2);  // two 2048-byte pages per site
        EXPECT_EQ(bench.counters(), (Counters{4, 4, 0}));
        EXPECT_EQ(bench.storedCounters(), (Counters{4, 4, 0}));
        EXPECT_EQ(page->controls().text(kIdcTotal), "4");
        EXPECT_EQ(page->controls().text(kIdcPass), "4");
        EXPECT_EQ(page->controls().text(kIdcYield), "100.00%");
        EXPECT_EQ(icons(*page, kIdcSiteIcon), (std::vector<int>{150, 150, 150, 150}));
        EXPECT_EQ(icons(*page, kIdcSiteIndicator), (std::vector<int>{153, 155, 159, 160}));
        EXPECT_EQ(page->controls().icon(kIdcBurn), 168);
        EXPECT_EQ(bench.services.tones(), (std::vector<RecordingServices::Tone>{{784, 900}}));
        EXPECT_TRUE(bench.services.messages().empty());
    }
    CreatePageWindow = nullptr;
    BurnFromKey = nullptr;
}

TEST_F(IcPageBurn, VerifyModeComparesAndStoresNoCounter) {
    for (int site = 0; site < 4; ++site) bench.preload(site, image);
    bench.preload(2, {0xEE});  // one differing byte on site 3
    RegSaveTotalCount(7);
    RegSavePassCount(6);
    RegSaveFailCount(1);
    CISPDlg page;
    load(page, image);
    page.controls().control<QAbstractButton>(kIdcVerifyMode)->click();
    EXPECT_EQ(page.controls().icon(kIdcBurn), 170);
    burn(page);

    EXPECT_EQ(setsOf(kErase) + setsOf(kProgramPage), 0);
    EXPECT_EQ(bench.storedCounters(), (Counters{7, 6, 1}));
    EXPECT_EQ(page.controls().text(kIdcTotal), "4");
    EXPECT_EQ(page.controls().text(kIdcFail), "1");
    EXPECT_EQ(page.controls().text(kIdcYield), "75.00%");
    EXPECT_EQ(icons(page, kIdcSiteIcon), (std::vector<int>{150, 150, 151, 150}));
    EXPECT_EQ(page.controls().icon(kIdcBurn), 170);
    EXPECT_EQ(bench.services.tones(), (std::vector<RecordingServices::Tone>{{800, 100}, {800, 100}}));
}

TEST_F(IcPageBurn, SerialNumbersAdvanceOnTheLabelAndInTheStore) {
    g_bSerialEnable = 1;
    g_bSerialAutoInc = 1;
    g_dwSerialAddr = 0x100;
    g_nLastSerial = 0x7FFFFFFF;  // the label shows 2^31 unsigned
    CISPDlg page;
    EXPECT_FALSE(page.control(kIdcSerialLast)->isHidden());
    load(page, image);
    burn(page);

    for (uint32_t site = 0; site < 4; ++site) {
        const uint32_t serial = 0x7FFFFFFFu + site;
        const std::vector<uint8_t> bytes = {uint8_t(serial), uint8_t(serial >> 8), uint8_t(serial >> 16),
                                            uint8_t(serial >> 24)};
        EXPECT_EQ(bench.adapter.site(int(site)).read(0x10000100, 4), bytes) << site;
    }
    EXPECT_EQ(g_nLastSerial, 0x80000003u);
    EXPECT_EQ(RegLoadLastSn(), 0x80000003u);
    EXPECT_EQ(page.controls().text(kIdcSerialLast), "S/N Last : 2147483651");
    EXPECT_EQ(bench.counters(), (Counters{4, 4, 0}));
}

TEST_F(IcPageBurn, AMissingTargetKeepsTheIdleIconAndIsNotCounted) {
    bench.populate({0, 2});
    CISPDlg page;
    load(page, image);
    burn(page);

    EXPECT_EQ(icons(page, kIdcSiteIcon), (std::vector<int>{150, 152, 150, 152}));
    EXPECT_EQ(icons(page, kIdcSiteIndicator), (std::vector<int>{153, 156, 159, 158}));
    EXPECT_EQ(bench.storedCounters(), (Counters{2, 2, 0}));
    EXPECT_EQ(page.controls().text(kIdcTotal), "2");
    EXPECT_EQ(page.controls().text(kIdcYield), "100.00%");
    EXPECT_EQ(bench.adapter.site(1).read(0x10000000, 4), std::vector<uint8_t>(4, 0xFF));
    EXPECT_EQ(bench.services.tones(), (std::vector<RecordingServices::Tone>{{784, 900}}));
}

}  // namespace
