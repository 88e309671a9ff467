#include "dialogs/eeprom_dlg.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QHeaderView>
#include <QTest>
#include <QTimer>
#include <chrono>
#include <filesystem>
#include <gtest/gtest.h>
#include <thread>

#include "app/globals.h"
#include "app/main_window.h"
#include "dialogs/page_erase_dlg.h"
#include "res/eeprom_template.h"
#include "support/recording_services.h"
#include "support/temp_config_folder.h"
#include "support/temp_dir.h"

using namespace res;
using Texts = std::vector<std::string>;

namespace {

const char* const kT1File = "Kestrova T1\r\n6000\r\nBYTE\r\nT1 000 0A Boot flag\r\nKestrova T1\r\n";

class Eeprom : public ::testing::Test {
protected:
    void SetUp() override {
        g_strExeDir = folder.path();
        g_bTaskWorking = false;
    }
    void TearDown() override { g_bTaskWorking = false; }

    static void click(CEepromDlg& page, int id) { page.controls().control<QAbstractButton>(id)->click(); }
    // Types text into a cell through the page's cell editor, as the operator does.
    static void typeCell(CEepromDlg& page, int row, int column, const QString& text) {
        QTableWidget& list = page.list();
        const QRect rect = list.visualRect(list.model()->index(row, column));
        QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, rect.center());
        ASSERT_TRUE(page.cellEditor().isVisibleTo(&page));
        page.cellEditor().selectAll();
        QTest::keyClicks(&page.cellEditor(), text);
        QTest::keyClick(&page.cellEditor(), Qt::Key_Return);
    }
    static std::string cell(CEepromDlg& page, int row, int column) {
        const QTableWidgetItem* item = page.list().item(row, column);
        return item ? item->text().toStdString() : std::string();
    }
    static std::vector<std::string> column(CEepromDlg& page, int column) {
        std::vector<std::string> texts;
        for (int row = 0; row < page.list().rowCount(); ++row) texts.push_back(cell(page, row, column));
        return texts;
    }
    static void choose(CEepromDlg& page, const QString& name) {
        auto* files = page.controls().control<QComboBox>(kIdcEepromFile);
        const int index = files->findText(name);
        ASSERT_GE(index, 0) << name.toStdString();
        files->setCurrentIndex(index);
        page.OnSelectFile();
    }
    // A BYTE table with one row per value, named in the file field.
    static void fill(CEepromDlg& page, const char* name, std::initializer_list<const char*> values) {
        for (const char* value : values) {
            page.OnAdd();
            typeCell(page, page.list().rowCount() - 1, 1, value);
        }
        page.controls().control<QComboBox>(kIdcEepromFile)->setEditText(name);
    }
    Texts takeMessages() {
        Texts texts;
        for (const auto& m : services.messages()) texts.push_back(m.text);
        services.clear();
        return texts;
    }

    TempDir folder;
    RecordingServices services;
};

}  // namespace

TEST_F(Eeprom, SaveWritesTheTableAndLoadingShowsItAgain) {
    {
        CEepromDlg page;
        EXPECT_EQ(page.controls().text(kIdcEepromStartAddr), "60");
        page.controls().setText(kIdcEepromStartAddr, "600");
        EXPECT_EQ(page.m_dwStartAddr, 0x6000u);
        fill(page, "T1", {"10"});
        typeCell(page, 0, 2, "Boot flag");
        click(page, kIdcEepromSave);
        EXPECT_EQ(folder.read("T1.LST"), kT1File);
        EXPECT_EQ(takeMessages(), Texts{});
    }
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.path()), {}), 2) << "T1.LST and its lock only";

    CEepromDlg page;
    choose(page, "T1");
    EXPECT_EQ(column(page, 0), (Texts{"000"}));
    EXPECT_EQ(column(page, 1), (Texts{"10"}));
    EXPECT_EQ(column(page, 2), (Texts{"Boot flag"}));
    EXPECT_EQ(page.controls().text(kIdcEepromStartAddr), "600");
    EXPECT_EQ(page.m_dwStartAddr, 0x6000u);
    EXPECT_EQ(takeMessages(), Texts{});
}

TEST_F(Eeprom, SaveWritesValuesInTheDataSizeFromEitherBase) {
    const struct {
        bool word, hexColumn;
        const char* shown;
        const char* row;
    } cases[] = {{false, false, "255", "T 000 FF "}, {true, false, "255", "T 000 00FF "},
                 {false, true, "FF", "T 000 FF "}, {true, true, "ffff", "T 000 FFFF "}};
    for (const auto& c : cases) {
        CEepromDlg page;
        page.controls().control<QComboBox>(kIdcEepromDataSize)->setCurrentIndex(c.word ? 1 : 0);
        page.OnSelectDataSize();
        if (c.hexColumn) page.OnColumnClickList(1);
        fill(page, "T", {c.shown});
        click(page, kIdcEepromSave);
        EXPECT_EQ(folder.read("T.LST"), std::string("Kestrova T\r\n600\r\n") + (c.word ? "WORD" : "BYTE") + "\r\n" + c.row +
                                            "\r\nKestrova T\r\n")
            << c.shown;
    }
    EXPECT_EQ(takeMessages(), Texts{});
}

// A table that would not load back as it was is refused whole, naming what is wrong.
TEST_F(Eeprom, SaveRefusesWhatCouldNotLoadBack) {
    const struct {
        const char* name;
        bool word;
        std::initializer_list<const char*> values;
        const char* index;  // typed over row 1's index when set
        const char* message;
    } cases[] = {
        {"", false, {"1"}, nullptr, "No File Name was found!"},
        {"my table", false, {"1"}, nullptr, "File Name Error! Name must have no blank or path separator"},
        {"../T", false, {"1"}, nullptr, "File Name Error! Name must have no blank or path separator"},
        {"T", false, {"1", ""}, nullptr, "Value Error! Value of row 001 must be digital number"},
        {"T", false, {"1", "1A"}, nullptr, "Value Error! Value of row 001 must be digital number"},
        {"T", false, {"1", "256"}, nullptr, "Out of range! Value of row 001 must be <= 255"},
        {"T", true, {"65536"}, nullptr, "Out of range! Value of row 000 must be <= 65535"},
        {"T", false, {"1", "2"}, "0 1", "Index Error! Index of row 001 must have no blank"},
    };
    for (const auto& c : cases) {
        CEepromDlg page;
        page.controls().control<QComboBox>(kIdcEepromDataSize)->setCurrentIndex(c.word ? 1 : 0);
        page.OnSelectDataSize();
        fill(page, c.name, c.values);
        if (c.index) page.list().item(1, 0)->setText(c.index);
        click(page, kIdcEepromSave);
        EXPECT_EQ(takeMessages(), Texts{c.message}) << c.message;
        EXPECT_TRUE(std::filesystem::is_empty(folder.path())) << c.message;
    }
}

TEST_F(Eeprom, LoadReadsWhatOtherEditorsWriteAndRefusesForeignFiles) {
    const struct {
        const char* file;
        std::string text;
        Texts values, descriptions;
        const char* startEdit;
        const char* dataSize;
        const char* message;
    } cases[] = {
        {"T.LST", "Kestrova T\n6008\nBYTE\nT 000 0A Boot flag\nT 001 FF \nKestrova T\nT 009 01 after\n",
         {"10", "255"}, {"Boot flag", ""}, "600", "BYTE", nullptr},
        {"T.lst", "Kestrova T\r\n20\r\nbyte\r\nT 000 1234  two  blanks \r\n", {"4660"}, {" two  blanks "}, "2", "WORD",
         nullptr},
        {"T.LST", "kestrova T\r\n20\r\nBYTE\r\nT 000 01 x\r\n", {"7"}, {""}, "600", "BYTE",
         "This file type is not correct!"},
        {"T.LST", "Kestrova T\r\nzz\r\nBYTE\r\n", {"7"}, {""}, "600", "BYTE", "This file type is not correct!"},
    };
    for (const auto& c : cases) {
        folder.write(c.file, c.text);
        CEepromDlg page;
        page.controls().setText(kIdcEepromStartAddr, "600");
        fill(page, "", {"7"});
        choose(page, "T");
        EXPECT_EQ(column(page, 1), c.values) << c.text;
        EXPECT_EQ(column(page, 2), c.descriptions) << c.text;
        EXPECT_EQ(page.controls().text(kIdcEepromStartAddr), c.startEdit) << c.text;
        EXPECT_EQ(page.m_dwStartAddr, std::stoul(c.startEdit, nullptr, 16) * 16) << c.text;
        EXPECT_EQ(page.controls().text(kIdcEepromDataSize), c.dataSize) << c.text;
        EXPECT_EQ(takeMessages(), c.message ? Texts{c.message} : Texts{}) << c.text;
        std::filesystem::remove(folder.file(c.file));
    }
    folder.write("Gone.LST", "Kestrova Gone\r\n0\r\nBYTE\r\n");
    CEepromDlg page;
    std::filesystem::remove(folder.file("Gone.LST"));
    choose(page, "Gone");
    EXPECT_EQ(takeMessages(), Texts{"File could not be opened !"});
}

TEST_F(Eeprom, RowsInsertDeleteAndValueBase) {
    CEepromDlg page;
    fill(page, "T", {"1", "2", "3", "4", "255"});
    page.list().selectRow(2);
    click(page, kIdcEepromInsert);
    EXPECT_EQ(column(page, 0), (Texts{"000", "001", "002", "003", "004", "005"}));
    EXPECT_EQ(column(page, 1), (Texts{"1", "2", "", "3", "4", "255"}));
    page.list().selectRow(0);
    click(page, kIdcEepromDelete);
    EXPECT_EQ(column(page, 0), (Texts{"000", "001", "002", "003", "004"}));
    EXPECT_EQ(column(page, 1), (Texts{"2", "", "3", "4", "255"}));

    page.list().horizontalHeader()->sectionClicked(1);
    EXPECT_EQ(page.list().horizontalHeaderItem(1)->text(), "Value(h)");
    EXPECT_EQ(column(page, 1), (Texts{"02", "", "03", "04", "FF"}));
    page.list().horizontalHeader()->sectionClicked(1);
    EXPECT_EQ(column(page, 1), (Texts{"2", "", "3", "4", "255"}));
}

TEST_F(Eeprom, ReadAndWriteTakeAndGiveBackTheBusyFlag) {
    CEepromDlg page;
    click(page, kIdcEepromRead);
    EXPECT_EQ(takeMessages(), Texts{"No item was found!"});
    fill(page, "T", {"5"});
    g_bTaskWorking = true;
    click(page, kIdcEepromRead);
    EXPECT_EQ(column(page, 1), Texts{""}) << "Read empties the values even while a task runs";
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_TRUE(g_bTaskWorking) << "a running task keeps its flag";
    g_bTaskWorking = false;
    click(page, kIdcEepromWrite);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    while (g_bTaskWorking && std::chrono::steady_clock::now() < deadline) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    EXPECT_FALSE(g_bTaskWorking);
    EXPECT_EQ(takeMessages(), Texts{});
}

// The main window's command shows the page; its menu has no item for it.
TEST_F(Eeprom, MainWindowShowsThePageOnItsCommand) {
    TempConfigFolder config;
    const auto previous = CreatePageWindow;
    CreatePageWindow = nullptr;
    InstallEepromPage();
    {
        CUart_ISPDlg window;
        g_bTaskWorking = true;
        window.OnEepromPage();
        EXPECT_EQ(window.page(CUart_ISPDlg::Page::EepromTable), nullptr);
        g_bTaskWorking = false;
        window.OnEepromPage();
        auto* page = dynamic_cast<CEepromDlg*>(window.page(CUart_ISPDlg::Page::EepromTable));
        ASSERT_NE(page, nullptr);
        EXPECT_TRUE(page->isVisibleTo(&window));
        EXPECT_EQ(g_pEepromDlg, page);
    }
    CreatePageWindow = previous;
}

namespace {

// Runs the page's Erase and, inside the Page Erase dialog, the given steps; then closes it.
void RunErase(CEepromDlg& page, const std::function<void(CPageEraseDlg&)>& steps) {
    QTimer::singleShot(0, [&] {
        auto* dialog = dynamic_cast<CPageEraseDlg*>(QApplication::activeModalWidget());
        if (!dialog) return;
        steps(*dialog);
        dialog->reject();
    });
    page.controls().control<QAbstractButton>(kIdcEepromErase)->click();
}

}  // namespace

TEST_F(Eeprom, EraseOpensPageEraseAtTheStartAddress) {
    CEepromDlg page;
    page.controls().setText(kIdcEepromStartAddr, "600");
    bool ran = false;
    RunErase(page, [&](CPageEraseDlg& dialog) {
        ran = true;
        EXPECT_EQ(dialog.controls().text(kIdcPageEraseFrom), "30");
        EXPECT_EQ(dialog.controls().text(kIdcPageEraseFirstByte), "3000(12288)");
        EXPECT_EQ(dialog.controls().text(kIdcPageEraseLastByte), "30FF(12543)");
    });
    EXPECT_TRUE(ran);
    EXPECT_EQ(takeMessages(), Texts{});
}

TEST_F(Eeprom, PageEraseChecksEveryEntry) {
    CEepromDlg page;
    // The dialog opens at page 3; the count is set to 12 first. A refused entry keeps both
    // values, so the last byte stays at EFF.
    const struct {
        int id;
        bool hex;
        const char* typed;
        const char* field;  // afterwards
        const char* message;
        const char* lastByte;
    } cases[] = {
        {kIdcPageEraseFrom, true, "3E9", "3", "Out of range! Page number must be <= 1000", "EFF(3839)"},
        {kIdcPageEraseFrom, true, "3E8", "3E8", nullptr, "3F3FF(259071)"},
        {kIdcPageEraseFrom, true, "", "3", "Code Error! Page number must be digital number", "EFF(3839)"},
        {kIdcPageEraseFrom, true, "1:2", "3", "Code Error! Page number must be digital number", "EFF(3839)"},
        {kIdcPageEraseCount, true, "0", "C", "Page count must be more than 0 !", "EFF(3839)"},
        {kIdcPageEraseCount, false, "0", "12", "Page count must be more than 0 !", "EFF(3839)"},
        {kIdcPageEraseCount, false, "1A", "12", "Code Error! Page count must be digital number", "EFF(3839)"},
    };
    page.controls().setText(kIdcEepromStartAddr, "60");
    for (const auto& c : cases) {
        RunErase(page, [&](CPageEraseDlg& dialog) {
            dialog.m_editPageCount.setText("C");
            wcHexButton& field = c.id == kIdcPageEraseFrom ? dialog.m_editFromPage : dialog.m_editPageCount;
            field.SetHexMode(c.hex ? 1 : 0);
            if (!c.hex) field.setText(c.id == kIdcPageEraseFrom ? "3" : "12");
            takeMessages();
            field.setText(c.typed);
            EXPECT_EQ(field.text().toStdString(), c.field) << c.typed;
            EXPECT_EQ(takeMessages(), c.message ? Texts{c.message} : Texts{}) << c.typed;
            EXPECT_EQ(dialog.controls().text(kIdcPageEraseLastByte).toStdString(), c.lastByte) << c.typed;
        });
    }
}

TEST_F(Eeprom, PageEraseKeepsOpenOnEscAndBringsOpeningValuesInRange) {
    CEepromDlg page;
    page.controls().setText(kIdcEepromStartAddr, "7D200");  // 0x7D2000 / 512 = 16000 pages
    RunErase(page, [&](CPageEraseDlg& dialog) {
        EXPECT_EQ(dialog.controls().text(kIdcPageEraseFrom), "3E8");
        QTest::keyClick(&dialog.m_editFromPage, Qt::Key_Escape);
        QTest::keyClick(&dialog, Qt::Key_Escape);
        EXPECT_TRUE(dialog.isVisible());
        dialog.m_editFromPage.setFocus();
        QTest::keyClick(&dialog.m_editFromPage, Qt::Key_Return);
        EXPECT_TRUE(dialog.isVisible()) << "Enter in a field moves on";
    });
    EXPECT_EQ(takeMessages(), Texts{});
}
