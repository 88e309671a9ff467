#include "sfpage/dump_sf_dlg.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>

#include "flash_page_fixture.h"
#include "platform/strfmt.h"
#include "res/dump_sf_template.h"
#include "support/file_size_limit.h"
#include "support/run_trace.h"

using namespace res::dump_sf;
using Bytes = std::vector<uint8_t>;

namespace {

std::string contents(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), {}};
}

class DumpSf : public FlashPage {
protected:
    void SetUp() override {
        FlashPage::SetUp();
        dialog = std::make_unique<CDumpSFDlg>();
        dialog->show();
    }
    void TearDown() override {
        EXPECT_TRUE(spinUntil([&] { return !dialog->dumping(); }));
        dialog.reset();
        FlashPage::TearDown();
    }
    void type(int id, const char* text) { dialog->controls().setText(id, text); }
    void clickDialog(int id) { dialog->controls().control<QAbstractButton>(id)->click(); }
    void execute() {
        clickDialog(kIdcExecute);
        ASSERT_TRUE(spinUntil([&] { return !dialog->dumping() && !g_bTaskWorking; }));
    }
    std::string txt() const { return g_strExeDir + "Dump.txt"; }
    std::string bin() const { return g_strExeDir + "Dump.bin"; }

    std::unique_ptr<CDumpSFDlg> dialog;
};

}  // namespace

// After Auto., page 100 holds the first 256 bytes of the configuration block: the text dump
// lists it sixteen bytes a line and opens it; the binary dump writes the raw pages.
TEST_F(DumpSf, TextAndBinaryDumps) {
    load(PatternImage(100));
    run(res::sf::kIdcAuto);
    const Bytes block = bench.adapter.serialFlash(0x10000, 256);
    type(kIdcFromPage, "100");
    type(kIdcPageCount, "1");
    EXPECT_EQ(dialog->controls().text(kIdcFirstByte), "10000(65536)");
    EXPECT_EQ(dialog->controls().text(kIdcLastByte), "100FF(65791)");
    execute();
    std::string expected;
    for (uint32_t line = 0; line < 16; ++line) {
        expected += strfmt("%08xh :", 0x10000 + 16 * line);
        for (uint32_t i = 0; i < 16; ++i) expected += strfmt(" %02X", block[16 * line + i]);
        expected += "\r\n";
    }
    EXPECT_EQ(contents(txt()), expected);
    EXPECT_EQ(expected.substr(0, 18), "00010000h : 63 00 ");
    EXPECT_EQ(services.viewed(), std::vector{txt()});
    EXPECT_TRUE(messages().empty());
    EXPECT_FALSE(std::filesystem::exists(bin()));

    const Bytes flash = PatternImage(2560);
    bench.adapter.writeSerialFlash(0, flash);
    type(kIdcFromPage, "0");
    type(kIdcPageCount, "A");
    EXPECT_EQ(dialog->controls().text(kIdcLastByte), "9FF(2559)");
    clickDialog(kIdcBinFile);
    execute();
    EXPECT_EQ(contents(bin()), std::string(flash.begin(), flash.end()));
    EXPECT_EQ(services.viewed().size(), 1u);  // the raw file is not opened
}

// A refused count keeps the previous one, so nothing beyond the bound is ever read.
TEST_F(DumpSf, PageCountBounds) {
    const struct { const char* typed; const char* message; uint32_t count; } cases[] = {
        {"0", "Page count must be more than 0 !", 2},
        {"10001", "Page count must be 10000 or less !", 2},
        {"10000", nullptr, 0x10000},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.typed);
        type(kIdcPageCount, "2");
        services.clear();
        type(kIdcPageCount, c.typed);
        EXPECT_EQ(messages(), c.message ? std::vector<std::string>{c.message} : std::vector<std::string>{});
        EXPECT_EQ(dialog->request().pageCount, c.count);
        EXPECT_EQ(dialog->controls().text(kIdcPageCount).toUInt(nullptr, 16), c.count);
    }
}

// Failures and refusals end the dump with a message and leave no file behind; a full disk is
// never taken for a dump written, and a device in the file's place is never written.
TEST_F(DumpSf, FailuresAreReported) {
    const auto noFolder = [] { g_strExeDir = "/nonexistent/"; };
    const auto none = [] {};
    std::optional<RunTrace> clock;
    const struct {
        const char* name;
        bool text;
        std::function<void()> fault;
        std::string message;
        rlim_t fileLimit = RLIM_INFINITY;
    } cases[] = {
        // Get 1 answers the status, get 18 the first read of page 1.
        {"read failure", true, [&] { bench.adapter.failGetAt(18); }, "Serial flash read failed at page 1!"},
        {"text file cannot be created", true, noFolder, "File can not open!"},
        {"raw file cannot be created", false, noFolder, "File can not open!"},
        {"full disk, text", true, none, "File could not be written !\r\n" + txt(), 100},
        {"full disk, raw", false, none, "File could not be written !\r\n" + bin(), 100},
        {"a device in the text file's place", true, [&] { std::filesystem::create_symlink("/dev/full", txt()); },
         "File can not open!"},
        // The last page's byte address would pass 32 bits.
        {"beyond the address range", true, [&] { type(kIdcFromPage, "FFFFFF"); },
         "From Page + Page Count is beyond the serial flash address range !"},
        // A field that does not read as a number keeps the range before it, other pages than
        // the fields show.
        {"a from page that is no number", true, [&] { type(kIdcFromPage, "0"), type(kIdcFromPage, "1G"); },
         "From Page and Page Count must be hexadecimal numbers !"},
        {"an emptied page count", true, [&] { type(kIdcFromPage, "0"), type(kIdcPageCount, ""); },
         "From Page and Page Count must be hexadecimal numbers !"},
        // A flash still erasing ignores page reads: the adapter's page buffer is no dump of it.
        // The wait for it runs on the test clock.
        {"a flash left erasing", true,
         [&] {
             type(kIdcFromPage, "0");
             clock.emplace(bench.adapter);
             bench.adapter.writeSerialFlash(0, PatternImage(256));
             bench.adapter.makeSerialFlashEraseEndless();
             bench.adapter.startSerialFlashErase();
         },
         "Serial flash erase did not finish within 60 seconds!"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string folder = g_strExeDir;
        type(kIdcPageCount, "3");
        clickDialog(c.text ? kIdcTxtFile : kIdcBinFile);
        c.fault();
        services.clear();
        {
            const FileSizeLimit disk(c.fileLimit);
            execute();
        }
        EXPECT_EQ(messages(), std::vector<std::string>{c.message});
        EXPECT_TRUE(services.viewed().empty());
        g_strExeDir = folder;
        EXPECT_FALSE(std::filesystem::is_regular_file(txt()) || std::filesystem::is_regular_file(bin()));
        for (const std::string& file : {txt(), bin()}) std::filesystem::remove(file);
        clock.reset();
    }
}

// Cancel stops the dump before the next page, and ends its wait for a flash that an erase
// keeps busy (a minute on the steady clock); Close waits while it runs.
TEST_F(DumpSf, CancelStopsAndCloseWaits) {
    const struct { const char* name; bool erasing; } cases[] = {{"pages being read", false}, {"a flash left erasing", true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        services.clear();
        bench.adapter.setTransferLatency(std::chrono::milliseconds(1));
        if (c.erasing) bench.adapter.makeSerialFlashEraseEndless(), bench.adapter.startSerialFlashErase();
        type(kIdcPageCount, "100");
        clickDialog(kIdcExecute);
        ASSERT_TRUE(spinUntil([&] { return dialog->control(kIdcCancel)->isEnabled(); }));
        clickDialog(kIdcClose);
        EXPECT_TRUE(dialog->isVisible());
        clickDialog(kIdcCancel);
        ASSERT_TRUE(spinUntil([&] { return !dialog->dumping(); }, std::chrono::seconds(20)));
        EXPECT_FALSE(g_bTaskWorking);
        EXPECT_LT(bench.adapter.setCount(), 0x100 * 17);
        EXPECT_FALSE(std::filesystem::exists(txt()));
        EXPECT_EQ(messages(), std::vector<std::string>{});
    }
    clickDialog(kIdcClose);
    EXPECT_FALSE(dialog->isVisible());
}
