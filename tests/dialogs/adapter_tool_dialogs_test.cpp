#include <QDir>
#include <QLabel>
#include <QTest>
#include <fstream>
#include <functional>
#include <iterator>
#include <numeric>
#include <optional>

#include "core/crc16.h"
#include "core/dump_listing.h"
#include "core/protect_area.h"
#include "controls/grid_box.h"
#include "dialogs/dump_dlg.h"
#include "dialogs/info_blk2_dlg.h"
#include "dialogs/info_blk_dlg.h"
#include "dialogs/info_data_dlg.h"
#include "dialogs/protect_range_dlg.h"
#include "dialogs/read_crc_dlg.h"
#include "dialogs/read_info_dlg.h"
#include "link/com_frames.h"
#include "link/com_settings.h"
#include "link/hid_commands.h"
#include "platform/strfmt.h"
#include "res/adapter_tool_templates.h"
#include "res/info_block_templates.h"
#include "res/protect_range_template.h"
#include "support/exchange_log.h"
#include "support/file_size_limit.h"
#include "support/golden_file.h"
#include "support/recording_page.h"
#include "support/cancel_sweep.h"
#include "support/run_trace.h"
#include "support/simulated_gang.h"
#include "tool_bench.h"

using namespace res;

namespace {

constexpr uint32_t kFlash = 0x10000000;
constexpr uint32_t kInfo = 0x1FF00000;
constexpr uint32_t kArea = 0x1FF00600;

std::vector<uint8_t> WordBytes(uint32_t value) {
    return {uint8_t(value), uint8_t(value >> 8), uint8_t(value >> 16), uint8_t(value >> 24)};
}

std::vector<uint8_t> Pattern(size_t size, uint8_t seed) {
    std::vector<uint8_t> bytes(size);
    for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>(seed + 13 * i);
    return bytes;
}

class AdapterTools : public ToolBench {};

}  // namespace

// A blank target gives the CRCs of its erased flash (0000 and 33D7); the first 16 bytes of
// each information page are not counted, every other byte is.
TEST_F(AdapterTools, ReadCrcShowsTheCrcsOfWhatTheTargetHolds) {
    std::vector<uint8_t> flash(0x10000, 0xFF), info(2048, 0xFF);
    flash[0x8000] = 0x12;
    info[0x10] = 0x00;
    const Texts blank = {"Main Code CRC : 0000", "Information block CRC : 33D7"};
    const Texts changed = {strfmt("Main Code CRC : %04X", CalcCRC16(flash, 0xFFFF, 0)),
                           strfmt("Information block CRC : %04X", CalcCRC16(info, 0xFFFF, 0))};
    const std::pair<std::vector<std::pair<uint32_t, std::vector<uint8_t>>>, Texts> cases[] = {
        {{{kInfo, std::vector<uint8_t>(16, 0x00)}, {kInfo + 0x400, std::vector<uint8_t>(16, 0x11)}}, blank},
        {{{kFlash + 0x8000, {0x12}}, {kInfo + 0x10, {0x00}}}, changed},
    };
    for (const auto& [writes, shown] : cases) {
        for (const auto& [address, bytes] : writes) adapter.site(1).write(address, bytes);
        CReadCRCDlg dialog;
        Choose(dialog.controls(), kIdcSocketCombo, 1);
        clickAndWait(dialog, kIdcReadCrc);
        EXPECT_EQ(Shown(dialog.controls(), {kIdcMainCrc, kIdcInfoCrc}), shown);
        EXPECT_TRUE(takeMessages().empty());
    }
}

// Without a target the socket is named and no CRC of another target stays; other chip modes
// send nothing.
TEST_F(AdapterTools, ReadCrcWithoutTargetOrForAGangModel) {
    adapter.site(3).removeTarget();
    CReadCRCDlg dialog;
    clickAndWait(dialog, kIdcReadCrc);
    Choose(dialog.controls(), kIdcSocketCombo, 3);
    clickAndWait(dialog, kIdcReadCrc);
    EXPECT_EQ(takeMessages(), Texts{"Socket 4 No Target IC found!"});
    EXPECT_EQ(Shown(dialog.controls(), {kIdcMainCrc, kIdcInfoCrc}), (Texts{"Main Code CRC : ", "Information Block CRC : "}));

    g_nChipMode = 2;
    adapter.clearLog();
    clickAndWait(dialog, kIdcReadCrc);
    EXPECT_TRUE(adapter.exchanges().empty());
}

// The reads and pacing of the dump (with and without a target), of the security viewer and of
// Read CRC.
TEST_F(AdapterTools, SequencesMatchTheirGoldenLogs) {
    ASSERT_TRUE(OpenHidDevice());
    adapter.site(3).removeTarget();
    adapter.site(1).write(kFlash + 0x1000, std::vector<uint8_t>(512, 0x3C));
    struct Case {
        const char* name;
        std::function<void(RecordingPage&)> run;
        Texts messages;
    };
    const Case cases[] = {
        {"dump-page10-count2",
         [](RecordingPage& page) { EXPECT_EQ(ReadTargetPages(page, 1, 0x10, 2), std::vector<uint8_t>(512, 0x3C)); }, {}},
        {"dump-no-target", [](RecordingPage& page) { EXPECT_FALSE(ReadTargetPages(page, 3, 0x10, 2)); },
         {"No Target IC found!"}},
        {"read-crc", [](RecordingPage& page) { EXPECT_TRUE(ReadTargetCrcs(page, 2, 0x10000).infoBlock); }, {}},
        {"security-read",
         [this](RecordingPage&) {
             CInfoDataDlg dialog;
             Choose(dialog.controls(), kIdcSocketCombo, 1);
             clickAndWait(dialog, kIdcRead);
         },
         {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        RecordingPage page;
        ExchangeLog log(adapter);
        c.run(page);
        ExpectGolden("dialogs", std::string(c.name) + ".log", log.text());
        EXPECT_EQ(page.messages, c.messages);
    }
    EXPECT_TRUE(takeMessages().empty());
}

// From page 0x10, two pages of the chosen site: 32 listing lines from 00001000h, or 512 raw
// bytes; the range shown and bounded as it is typed.
TEST_F(AdapterTools, DumpWritesListingOrBinaryOfTheRange) {
    std::vector<uint8_t> flash(512);
    std::iota(flash.begin(), flash.end(), uint8_t{0});
    adapter.site(2).write(kFlash + 0x1000, flash);
    CDumpDlg dialog;
    Choose(dialog.controls(), kIdcSocketCombo, 2);
    EXPECT_EQ(Shown(dialog.controls(), {kIdcFirstByte, kIdcLastByte}), (Texts{"0(0)", "FF(255)"}));
    dialog.controls().setText(kIdcFromPage, "10");
    dialog.controls().setText(kIdcPageCount, "2");
    EXPECT_EQ(Shown(dialog.controls(), {kIdcFirstByte, kIdcLastByte}), (Texts{"1000(4096)", "11FF(4607)"}));

    // Numbers beyond 32 bits are out of range, not wrapped round to 10 and 2.
    for (const auto& [id, typed] : {std::pair{kIdcPageCount, "0"}, {kIdcFromPage, "FFFF"}, {kIdcPageCount, "FFF1"},
                                    {kIdcFromPage, "100000010"}, {kIdcPageCount, "100000002"}})
        dialog.controls().setText(id, typed);
    EXPECT_EQ(takeMessages(),
              (Texts{"Page count must be more than 0 !", "Out of range!", "Out of range!", "Out of range!", "Out of range!"}));
    EXPECT_EQ(Shown(dialog.controls(), {kIdcFromPage, kIdcPageCount}), (Texts{"10", "2"}));

    // A field that does not read whole as a number would leave the range before it in use,
    // other pages than the field shows: Execute refuses it before any exchange.
    adapter.clearLog();
    for (const auto& [id, typed] : {std::pair{kIdcFromPage, "G"}, {kIdcFromPage, "1G"}, {kIdcPageCount, ""}}) {
        dialog.controls().setText(id, typed);
        clickAndWait(dialog, kIdcExecute);
        dialog.controls().setText(id, id == kIdcFromPage ? "10" : "2");
    }
    EXPECT_EQ(takeMessages(), Texts(3, "Out of range!"));
    EXPECT_TRUE(adapter.exchanges().empty());

    clickAndWait(dialog, kIdcExecute);
    const std::string listing = folder.read("Dump.txt");
    EXPECT_EQ(std::count(listing.begin(), listing.end(), '\n'), 32);
    EXPECT_EQ(listing.substr(0, 61), "00001000h : 00 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F\r\n");
    EXPECT_EQ(listing.substr(listing.size() - 61), "000011f0h : F0 F1 F2 F3 F4 F5 F6 F7 F8 F9 FA FB FC FD FE FF\r\n");
    EXPECT_EQ(services.viewed(), Texts{folder.file("Dump.txt")});

    Click(dialog.controls(), kIdcBinFile);
    const int getsBefore = adapter.getCount();
    clickAndWait(dialog, kIdcExecute);
    const int dumpGets = adapter.getCount() - getsBefore;  // one per block at their end
    const std::string raw = folder.read("dump.bin");
    EXPECT_EQ(std::vector<uint8_t>(raw.begin(), raw.end()), flash);

    // A block that cannot be read is told, and no bytes pass for its contents: the earlier
    // files stay, and nothing is shown.
    for (const int radio : {kIdcTxtFile, kIdcBinFile}) {
        Click(dialog.controls(), radio);
        services.clear();
        adapter.failGetAt(adapter.getCount() + dumpGets - 1);
        clickAndWait(dialog, kIdcExecute);
        EXPECT_EQ(takeMessages(), Texts{"Read fail at 0x100011C0!"});
        EXPECT_EQ(folder.read("Dump.txt"), listing);
        EXPECT_EQ(folder.read("dump.bin"), raw);
        EXPECT_TRUE(services.viewed().empty());
    }

    // A listing that cannot be created is reported and not shown.
    g_strExeDir = folder.file("missing") + "/";
    Click(dialog.controls(), kIdcTxtFile);
    services.clear();
    clickAndWait(dialog, kIdcExecute);
    EXPECT_EQ(takeMessages(), Texts{"File can not open!"});
    EXPECT_TRUE(services.viewed().empty());

    // Cancel stops the listing before its next line; the earlier listing stays, and nothing is
    // shown.
    g_strExeDir = folder.path();
    RecordingPage page;
    g_hStopEvent.set();
    SaveTargetDump(page, flash, 0x1000, true, true);
    g_hStopEvent.reset();
    EXPECT_EQ(folder.read("Dump.txt"), listing);
    EXPECT_TRUE(services.viewed().empty());
    EXPECT_TRUE(page.messages.empty());
}

// The viewer shows what the option words encode, and a second read never shows the first
// target's values.
TEST_F(AdapterTools, SecurityViewerDecodesTheOptionWords) {
    const struct {
        std::vector<uint32_t> words;  // at 0x10, 0x18, 0x40, 0x50, 0x54, 0x60, 0x64
        int level, typeRadio;
        uint16_t mapMask;
        uint32_t mapType;
        Texts shown;  // VID, SN_EN, SN1, boot enable, port, pin, pull, active, USB ISP, UART position
    } cases[] = {
        {{0xFFFF0055, 0xFFFF0000, 0x12345678, 0xFFFF0000, 0xF5430ABC, 0x4DECB213, 0xFFED0012}, kIdcLevel1, kIdcNoneProtect, 0, 2,
         {"5678", "Disable", "ABC", "Enable", "PC", "1", "Enable", "High", "Disable", "UART1_DEF_PA2PA3"}},
        {{0xFE5501AA, 0xFFFC0003, 0xFFFF0000, 0x0000FFFF, 0xFFFF0000, 0x5DECA213, 0xFFFF0001}, kIdcLevel0,
         kIdcReadWriteProtect, 0x0003, 0, {"0000", "Enable", "0", "Disable", "", "", "", "", "", ""}},
        {{0xFFFF0055, 0xFFFC0003, 0, 0, 0, 0xB0F0, 0x0007}, kIdcLevel1, kIdcWriteProtect, 0x0003, 1,
         {"0000", "Disable", "0", "Enable", "PA", "15", "Disable", "Low", "Enable", ""}},
    };
    const auto shown = [](const ui::ControlSet& c) {
        return Shown(c, {kIdcVid, kIdcSnEnableData, kIdcSn1, kIdcBootEnable, kIdcBootPort, kIdcBootPin, kIdcBootPull,
                         kIdcBootActive, kIdcUsbIsp, kIdcUartPos});
    };
    CInfoDataDlg dialog;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.shown[0] + c.shown[1]);
        std::vector<uint8_t> page(1024, 0xFF);
        const size_t offsets[] = {0x10, 0x18, 0x40, 0x50, 0x54, 0x60, 0x64};
        for (size_t i = 0; i < c.words.size(); ++i) {
            const auto bytes = WordBytes(c.words[i]);
            std::copy(bytes.begin(), bytes.end(), page.begin() + offsets[i]);
        }
        adapter.site(0).write(kInfo, page);
        clickAndWait(dialog, kIdcRead);
        const auto& k = dialog.controls();
        EXPECT_TRUE(k.isChecked(c.level) && k.isChecked(c.typeRadio));
        EXPECT_FALSE(k.isChecked(c.level == kIdcLevel0 ? kIdcLevel1 : kIdcLevel0));
        EXPECT_EQ(std::pair(dialog.protectMap().m_wMask, dialog.protectMap().m_nType), std::pair(c.mapMask, c.mapType));
        EXPECT_EQ(shown(k), c.shown);
    }
    EXPECT_TRUE(takeMessages().empty());

    adapter.site(2).removeTarget();
    Choose(dialog.controls(), kIdcSocketCombo, 2);
    clickAndWait(dialog, kIdcRead);
    EXPECT_EQ(takeMessages(), Texts{"No Target IC found!"});
    EXPECT_EQ(shown(dialog.controls()), Texts(10));
    EXPECT_EQ(Checked(dialog.controls(), {kIdcLevel0, kIdcLevel1, kIdcWriteProtect}), std::vector<bool>(3));
    EXPECT_EQ(dialog.protectMap().m_nType, 2u);

    // A click on the map redraws it from the Protect Range dialog; the target is not touched.
    adapter.clearLog();
    ASSERT_TRUE(WhenModal<CProtectRangeDlg>(
        [&] { QTest::mouseClick(const_cast<CProtectArea*>(&dialog.protectMap()), Qt::LeftButton); },
        [](CProtectRangeDlg& range) {
            for (int id : {protect_range::kFirstBlock, protect_range::kFirstBlock + 15, 1}) Click(range.controls(), id);
        }));
    EXPECT_EQ(dialog.protectMap().m_wMask, 0x8001);
    EXPECT_TRUE(adapter.exchanges().empty());
}

// The dialog shows the configuration block as the serial-flash page lays it out; a chip index
// beyond the model table names no model.
TEST_F(AdapterTools, FlashInformationShowsTheStoredConfigurationBlock) {
    const struct {
        std::vector<std::pair<uint32_t, std::vector<uint8_t>>> block;
        Texts shown;  // size, CRC, IC, quantity, serial address, last serial, VID, SN1; SN_EN, boot, port, USB ISP, UART
        bool checked;  // boot data, limit, information block, level 0, serial, EEPROM, auto increase
        std::tuple<uint16_t, uint32_t, uint32_t> map;  // mask, type, size
        // A flash left erasing, whose page reads the adapter ignores, with the adapter's page
        // buffer holding the block's first page: the dialog waits for it on the test clock, then
        // says so and shows nothing of the buffer.
        bool erasing = false;
    } cases[] = {
        {{{0x10000, {0x0F, 0x3F, 0x34, 0x12, 0xAA}},
          {0x10100, {0xE8, 0x03, 0xAA, 0x01, 0x20, 0x01, 0x00, 0xC0}},
          {0x13000, WordBytes(12345)},
          {0x10510, {0xAA, 0x01}},
          {0x10518, {0xFC, 0xFF}},
          {0x10528, WordBytes(0xFFFF0416)},
          {0x10538, WordBytes(0x0000FFFF)},
          {0x1053C, WordBytes(0x00000012)},
          {0x10548, WordBytes(0x0000B321)},
          {0x1054C, WordBytes(0x00000001)}},
         {"16144", "1234", "RQ45N032", "1000", "120", "12345", "0416", "0012", "Enable", "Enable", "PD", "Enable",
          "UART0_ALT_PB6PB7"},
         true, {0x0003, 0, 8192}},
        {{{0x10103, {0x20}}}, {"65536", "FFFF", "", "", "", "", "FFFF", "FFFF", "", "", "", "", ""}, false, {0, 0, 0}},
        {{{0x10000, {0x0F, 0x3F, 0x34, 0x12, 0xAA}}},
         {"65536", "FFFF", "", "", "", "", "FFFF", "FFFF", "", "", "", "", ""}, false, {0, 0, 0}, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.shown[0] + (c.erasing ? " erasing" : ""));
        adapter.writeSerialFlash(0x10000, std::vector<uint8_t>(0x3100, 0xFF));
        for (const auto& [offset, bytes] : c.block) adapter.writeSerialFlash(offset, bytes);
        std::optional<RunTrace> clock;
        if (c.erasing) {
            clock.emplace(adapter);
            ASSERT_TRUE(OpenHidDevice());
            std::vector<uint8_t> first(256, 0xFF);
            ASSERT_EQ(HidSfReadPage(0x100), 1);
            ASSERT_EQ(HidSfReadPageBuffer(0, first), 1);
            ASSERT_EQ(first[0], 0x0F);
            CloseHidDevice();
            adapter.makeSerialFlashEraseEndless();
            adapter.startSerialFlashErase();
        }
        CReadInfoDlg dialog;
        ASSERT_TRUE(SpinUntil([&] { return !dialog.workerRunning() && !g_bTaskWorking; }));
        const auto& k = dialog.controls();
        EXPECT_EQ(Shown(k, {kIdcImageSizeInfo, kIdcImageCrcInfo, kIdcChipNameInfo, kIdcLimitQuantity, kIdcSerialAddrInfo,
                            kIdcLastSerialInfo, kIdcVid, kIdcSn1, kIdcSnEnableInfo, kIdcBootEnable, kIdcBootPort, kIdcUsbIsp,
                            kIdcUartPos}),
                  c.shown);
        EXPECT_EQ(Checked(k, {kIdcBootDataOn, kIdcLimitEnable, kIdcInfoBlockOn, kIdcLevel0, kIdcSerialOn, kIdcSerialInEeprom,
                              kIdcSerialAutoInc}),
                  std::vector<bool>(7, c.checked));
        EXPECT_NE(k.isChecked(kIdcLevel0), k.isChecked(kIdcLevel1));
        const auto& map = dialog.protectMap();
        EXPECT_EQ(std::tuple(map.m_wMask, map.m_nType, map.m_dwProtectAddr), c.map);
        EXPECT_EQ(takeMessages(), c.erasing ? Texts{"Serial flash erase did not finish within 60 seconds!"} : Texts{});
    }
}


// The page works on the site chosen in its combo: Read shows that target's area, Write puts the
// edited grid there, Save and Load carry the grid through a ".data" file.
TEST_F(AdapterTools, ParameterPageReadsWritesSavesAndLoads) {
    const auto area = Pattern(512, 0x21);
    adapter.site(2).write(kArea, area);
    CInfoBlk2Dlg page;
    const auto gridBytes = [&] { return std::vector<uint8_t>(page.grid().m_byData.begin(), page.grid().m_byData.end()); };
    Choose(page.controls(), kIdcSocketCombo, 2);
    clickAndWait(page, kIdcOpenDebug);
    EXPECT_TRUE(adapter.site(2).connected());
    clickAndWait(page, kIdcRead);
    EXPECT_EQ(gridBytes(), area);

    services.chosenFile = folder.file("area.data");
    page.OnSaveData();
    const std::string text = folder.read("area.data");
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 128);

    page.grid().m_byData.fill(0x00);
    page.grid().m_byData[4] = 0x5A;
    adapter.site(2).write(kArea, std::vector<uint8_t>(512, 0xFF));
    clickAndWait(page, kIdcWrite);
    EXPECT_EQ(std::pair(adapter.site(2).word(kArea + 4), adapter.site(2).word(kArea + 8)), std::pair(0x5Au, 0u));

    page.OnLoadData();
    EXPECT_EQ(gridBytes(), area);

    services.chosenFile = folder.file("none/area.data");
    page.OnSaveData();
    page.OnLoadData();
    EXPECT_EQ(takeMessages(), (Texts{"File could not be created !\r\n" + services.chosenFile, "File could not be opened !"}));
    EXPECT_EQ(gridBytes(), area);
}

// While any task runs the page's buttons send nothing; without an adapter they say so.
TEST_F(AdapterTools, AdapterButtonsRefuseWhileBusyOrWithoutAdapter) {
    CInfoBlk2Dlg page;
    CinfoBlkDlg dialog;
    g_bTaskWorking = true;
    for (int id : {kIdcRead, kIdcWrite, kIdcEraseInfo, kIdcOpenDebug}) Click(page.controls(), id);
    for (int id : {kIdcRead, kIdcWrite, kIdcEraseInfo, kIdcCopySecurity, kIdcOpenDebugBlk}) Click(dialog.controls(), id);
    EXPECT_TRUE(adapter.exchanges().empty());
    EXPECT_TRUE(takeMessages().empty());
    g_bTaskWorking = false;

    adapter.unplug();
    page.OnRead();
    dialog.OnErase();
    EXPECT_FALSE(g_bTaskWorking);
    EXPECT_EQ(takeMessages(), (Texts{"HID device Not Found !", "HID device Not Found !"}));
}

// "Erase Finish ..." shows for two seconds after an erase that kept the security words, and
// never after one that could not; Close waits for the worker.
TEST_F(AdapterTools, InformationBlockEraseFinishAndClose) {
    adapter.site(0).write(kInfo, Pattern(2048, 0x40));
    CinfoBlkDlg dialog;
    dialog.show();
    Choose(dialog.controls(), kIdcPageCombo, 1);
    clickAndWait(dialog, kIdcOpenDebugBlk);

    clickAndWait(dialog, kIdcRead);
    EXPECT_EQ(dialog.grid().m_dwData[0], adapter.site(0).word(0x1FF00400));
    clickAndWait(dialog, kIdcEraseInfo);
    auto* finish = dialog.controls().control<QLabel>(kIdcEraseFinish);
    EXPECT_TRUE(finish->isVisible());
    EXPECT_EQ(adapter.site(0).read(0x1FF00400, 128), adapter.site(0).read(kInfo, 128));
    EXPECT_TRUE(SpinUntil([&] { return !finish->isVisible(); }));

    adapter.failGetAt(adapter.getCount() + 1);
    clickAndWait(dialog, kIdcEraseInfo);
    EXPECT_EQ(takeMessages(), Texts{"Can not read the security words, page not erased!"});
    QCoreApplication::processEvents();
    EXPECT_FALSE(finish->isVisible());

    // The erase that no control starts takes page 2 whatever page is chosen, as Erase does (the
    // information-block workers' log of that erase, with their page 1).
    std::vector<uint8_t> page1(1024);
    for (size_t i = 0; i < page1.size(); ++i) page1[i] = static_cast<uint8_t>(0x10 + 7 * i);
    adapter.site(2).write(kInfo, page1);
    adapter.site(2).write(kInfo + 0x400, Pattern(1024, 0x80));
    Choose(dialog.controls(), kIdcSocketCombo, 2);
    Choose(dialog.controls(), kIdcPageCombo, 0);
    clickAndWait(dialog, kIdcOpenDebugBlk);
    {
        ExchangeLog log(adapter);
        dialog.OnErasePage2();
        ASSERT_TRUE(SpinUntil([&] { return !dialog.workerRunning(); }));
        ExpectGolden("dialogs", "parameter-erase.log", log.text());
    }
    std::vector<uint8_t> kept(1024, 0xFF);
    for (auto [at, size] : {std::pair(0, 128), {0x100, 4}, {0x108, 4}}) std::copy_n(page1.begin() + at, size, kept.begin() + at);
    EXPECT_EQ(adapter.site(2).read(kInfo + 0x400, 1024), kept);
    EXPECT_EQ(adapter.site(2).read(kInfo, 1024), page1);
    EXPECT_TRUE(takeMessages().empty());
    EXPECT_TRUE(finish->isVisible());

    // Slow transfers keep the worker busy long enough to try closing under it.
    adapter.setTransferLatency(std::chrono::microseconds(300));
    dialog.OnRead();
    dialog.reject();
    EXPECT_TRUE(dialog.isVisible());
    ASSERT_TRUE(SpinUntil([&] { return !dialog.workerRunning(); }));
    dialog.reject();
    EXPECT_FALSE(dialog.isVisible());
}

namespace {

constexpr const char* kComTimeout = "Wait COM port timeout, pls check MCU and COM port status!";
constexpr uint32_t kComFrom = 0x21;  // pages 0x21 and 0x22: two high address bytes
const std::vector<uint8_t> kComFlash = PatternImage(512);

// The port open at the stored speed, as a starter leaves it; socket 3's target holds a pattern
// at pages 0x21 and 0x22, and the program folder earlier dump files.
void PrepareComDump(SimulatedGang& gang, uint32_t baud) {
    g_strExeDir = gang.bench.folder.path().toStdString() + "/";
    gang.store("BaudRate", baud);
    gang.board.writeFlash(2, kComFrom * 256, kComFlash);
    for (const char* name : {"Dump.txt", "dump.bin"}) std::ofstream(g_strExeDir + name) << "old";
    EXPECT_TRUE(ComOpenPort(nullptr));
}

std::string DumpFile(const char* name) {
    std::ifstream in(g_strExeDir + name, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// The gang board with a dump prepared.
struct ComDumpBench {
    explicit ComDumpBench(uint32_t baud = 115200) { PrepareComDump(gang, baud); }
    ~ComDumpBench() { g_strExeDir.clear(); }
    // Every run ends with the board's power off and the port closed.
    void run(void (*worker)(WorkerPage&)) {
        gang.run(worker, {});
        ends();
    }
    void ends() {
        gang.awaitBoard();
        EXPECT_FALSE(g_SerialPort.IsOpen());
        EXPECT_FALSE(gang.board.state().power);
        EXPECT_FALSE(g_bTaskWorking);
    }

    SimulatedGang gang;
};

std::string ComFlashBytes() { return {kComFlash.begin(), kComFlash.end()}; }

std::string ComFlashListing() {
    std::string text;
    for (uint32_t at = 0; at < kComFlash.size(); at += 16)
        text += DumpListingLine(kComFrom * 256 + at, std::span(kComFlash).subspan(at, 16));
    return text;
}

void ComDumpTxt(WorkerPage& p) { DumpFlashComThread(p, {2, kComFrom, 2, true}); }
void ComDumpBin(WorkerPage& p) { DumpFlashComThread(p, {2, kComFrom, 2, false}); }

}  // namespace

// Socket 3, two pages, at the board's speed and at 57600 (the speed change and the re-open at the
// end), through the dialog's fields too: the frames, tags and pauses, and files that hold exactly
// the target's flash.
TEST(ComDump, GoldenRunsWriteTheTargetsFlash) {
    const struct {
        const char* golden;
        uint32_t baud;
        bool listing;
        bool viaDialog = false;
        uint8_t chipMode = 2;
    } cases[] = {
        {"dump-com-socket3.log", 115200, true},
        {"dump-com-socket3.log", 115200, false, true},
        {"dump-com-socket3-57600.log", 57600, false},
        {"dump-com-socket3-57600.log", 57600, true, true},
        {"dump-com-chip-mode-7.log", 115200, false, false, 7},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.golden);
        ComDumpBench bench(c.baud);
        g_nChipMode = c.chipMode;
        if (c.chipMode != 2) {
            bench.gang.populate({2});
            bench.gang.board.writeFlash(2, kComFrom * 256, kComFlash);
        }
        if (c.viaDialog) {
            CDumpDlg dialog;
            dialog.m_nSocket = 2;
            dialog.m_nFromPage = kComFrom;
            dialog.m_nPageCount = 2;
            dialog.m_bTxtFile = c.listing ? 1 : 0;
            DumpFlashComThread(dialog);
            bench.ends();
        } else {
            bench.run(c.listing ? ComDumpTxt : ComDumpBin);
        }
        EXPECT_TRUE(bench.gang.messages().empty());
        ExpectGolden("dialogs", c.golden, bench.gang.exchangeLog());
        EXPECT_EQ(DumpFile(c.listing ? "Dump.txt" : "dump.bin"), c.listing ? ComFlashListing() : ComFlashBytes());
        EXPECT_EQ(DumpFile(c.listing ? "dump.bin" : "Dump.txt"), "old");
        EXPECT_EQ(bench.gang.bench.services.viewed(), c.listing ? Texts{g_strExeDir + "Dump.txt"} : Texts{});
    }
}

// Every reply dropped in turn: the time-out message (after the step's own), and the earlier file
// whole unless the whole dump had arrived.
TEST(ComDump, ADroppedReplyAnywhereEndsTheDumpCleanly) {
    int replies = 0;
    for (int n = 0; n == 0 || n <= replies; ++n) {
        SCOPED_TRACE(n);
        ComDumpBench bench;
        if (n > 0) bench.gang.board.dropReplyNumber(n);
        bench.run(ComDumpBin);
        const Texts messages = bench.gang.messages();
        if (n == 0) {
            for (const sim::LogEntry& entry : bench.gang.board.log()) replies += entry.fromHost ? 0 : 1;
            ASSERT_EQ(replies, 27);
            EXPECT_TRUE(messages.empty());
            continue;
        }
        // The socket power's reply is the first, the multiplexer's and switches' the next five.
        Texts expected = n == 1 ? Texts{"ISP_2501!"} : n <= 6 ? Texts{"ISP_WAKEUP!"} : Texts{};
        expected.push_back(kComTimeout);
        EXPECT_EQ(messages, expected);
        // Only the power-off's reply comes after the files.
        EXPECT_EQ(DumpFile("dump.bin"), n == replies ? ComFlashBytes() : "old");
    }
}

// Cancel during every read in turn: it ends the dump before the next block and the earlier
// listing stays; pressed while the last block is read, it finds the dump whole, and the listing
// is written whole and shown.
TEST(ComDump, ACancelDuringAnyReadEndsTheDumpOrFindsItWhole) {
    constexpr int kReads = 512 / 32;
    for (int read = 1; read <= kReads; ++read) {
        SCOPED_TRACE(read);
        ComDumpBench bench;
        bench.gang.onNote = StopAt("step 01 800", read);
        bench.run(ComDumpTxt);
        g_hStopEvent.reset();
        const bool whole = read == kReads;
        EXPECT_TRUE(bench.gang.messages().empty());
        EXPECT_EQ(bench.gang.framesOf(0x0F, 0x03), read);
        EXPECT_EQ(DumpFile("Dump.txt"), whole ? ComFlashListing() : "old");
        EXPECT_EQ(bench.gang.bench.services.viewed(), whole ? Texts{g_strExeDir + "Dump.txt"} : Texts{});
    }
}

// Cancel in each pause of the dump's work in turn (cancel_sweep.h): the speed change's at another
// speed, the handshake's wake-up with chip mode 7. No read follows the cut pause, the earlier
// files stay and nothing is shown.
TEST(ComDump, CancelInAnyPauseEndsTheDumpThere) {
    int pauses = 0;
    for (const int chipMode : {2, 7}) {
        SCOPED_TRACE(testing::Message() << "chip mode " << chipMode);
        pauses += SweepCancel({.arrange =
                                   [chipMode](SimulatedGang& g, uint32_t baud) {
                                       g_nChipMode = chipMode;
                                       g.populate({2});
                                       PrepareComDump(g, baud);
                                   },
                               .worker = ComDumpTxt,
                               .image = {},
                               .bauds = chipMode == 2 ? std::vector<uint32_t>{57600} : std::vector<uint32_t>{115200, 57600},
                               .check =
                                   [](SimulatedGang& g) {
                                       EXPECT_EQ(DumpFile("Dump.txt") + DumpFile("dump.bin"), "oldold");
                                       EXPECT_TRUE(g.bench.services.viewed().empty());
                                       EXPECT_FALSE(g.board.state().power);
                                   }});
    }
    g_strExeDir.clear();
    EXPECT_GE(pauses, 4);
}

// A short reply, Cancel, an empty socket, a range beyond 64 KB or a disk that fills up while
// the listing is written: the earlier files stay whole.
TEST(ComDump, FaultsLeaveTheEarlierFilesWhole) {
    const struct {
        const char* name;
        std::function<void(ComDumpBench&)> arrange;
        void (*worker)(WorkerPage&);
        Texts messages;
        int reads;
        rlim_t fileLimit = RLIM_INFINITY;
    } cases[] = {
        // The first 31 bytes of the block came, and yet it is no block.
        {"a short second read", [](ComDumpBench& b) { b.gang.board.cutReplyAt(sim::TargetFrame(0x03), 2, 31); }, ComDumpTxt,
         {"Read fail at 0x00002120!"}, 2},
        {"Cancel before the third read", [](ComDumpBench& b) { b.gang.onNote = StopAt("step 01 800", 2); }, ComDumpTxt, {}, 2},
        {"no target in socket 3", [](ComDumpBench& b) { b.gang.board.removeTarget(2); }, ComDumpBin, {kComTimeout}, 0},
        {"pages beyond 64 KB", [](ComDumpBench&) {}, [](WorkerPage& p) { DumpFlashComThread(p, {2, 0xFF, 2, false}); },
         {"From Page + Page Count is beyond the 64 KB that the COM link reaches !"}, 0},
        {"a full disk", [](ComDumpBench&) {}, ComDumpTxt, {"File could not be written !\r\n<dir>/Dump.txt"}, 16, 1000},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ComDumpBench bench;
        c.arrange(bench);
        {
            const FileSizeLimit disk(c.fileLimit);
            bench.run(c.worker);
        }
        g_hStopEvent.reset();
        Texts messages = bench.gang.messages();
        for (std::string& m : messages)
            if (const auto at = m.find(g_strExeDir); at != std::string::npos) m.replace(at, g_strExeDir.size(), "<dir>/");
        EXPECT_EQ(messages, c.messages);
        EXPECT_EQ(bench.gang.framesOf(0x0F, 0x03), c.reads);
        EXPECT_EQ(DumpFile("Dump.txt") + DumpFile("dump.bin"), "oldold");
        EXPECT_TRUE(bench.gang.bench.services.viewed().empty());
    }
}

// The dialog's re-open makes it the port's owner at the second speed; its byte log stream is
// opened by nothing, so logging and closing it create no file.
TEST(ComDump, DialogReopensThePortAndItsLogStaysClosed) {
    ComDumpBench bench(57600);
    const QDir folder(QString::fromStdString(g_strExeDir));
    const QStringList before = folder.entryList(QDir::Files);
    CDumpDlg dialog;
    dialog.OnCloseLog();
    g_bTaskWorking = true;
    dialog.FileLogByte(0x5A);
    dialog.FileLogBytesLine(std::vector<uint8_t>{0x01, 0xFF});
    dialog.LogAppendByte(0x5A);
    dialog.LogBytesLine(std::vector<uint8_t>{0x01});
    g_bTaskWorking = false;
    dialog.OnCloseLog();
    EXPECT_EQ(folder.entryList(QDir::Files), before);

    g_bComPortOpen = 0;
    dialog.OnReopenComPort();
    EXPECT_TRUE(g_SerialPort.IsOpen());
    EXPECT_EQ(g_SerialPort.Owner(), &dialog);
    EXPECT_EQ(g_bComPortOpen, 1u);
    const termios line = bench.gang.board.lineSettings();
    EXPECT_EQ(cfgetospeed(&line), speed_t{B115200});
}
