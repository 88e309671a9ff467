#include "dialogs/eeprom_dlg.h"

#include <QApplication>
#include <QHeaderView>
#include <QTest>
#include <QWheelEvent>
#include <QtTest/qtestspontaneevent.h>
#include <filesystem>

#include "app/main_window.h"
#include "dialogs/page_erase_dlg.h"
#include "res/eeprom_template.h"
#include "support/clipboard_paste.h"
#include "support/temp_config_folder.h"
#include "support/unreadable_files.h"
#include "tool_bench.h"

using namespace res;

namespace {

class Eeprom : public ::testing::Test {
protected:
    void SetUp() override {
        g_strExeDir = folder.path();
        g_bTaskWorking = false;
    }
    void TearDown() override { g_bTaskWorking = false; }

    // Types text into a cell through the page's cell editor, as the operator does.
    static void typeCell(CEepromDlg& page, int row, int column, const QString& text) {
        QTableWidget& list = page.list();
        QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, list.visualRect(list.model()->index(row, column)).center());
        ASSERT_TRUE(page.cellEditor().isVisibleTo(&page));
        page.cellEditor().selectAll();
        QTest::keyClicks(&page.cellEditor(), text);
        QTest::keyClick(&page.cellEditor(), Qt::Key_Return);
    }
    static Texts column(CEepromDlg& page, int column) {
        Texts texts;
        for (int row = 0; row < page.list().rowCount(); ++row) {
            const QTableWidgetItem* item = page.list().item(row, column);
            texts.push_back(item ? item->text().toStdString() : std::string());
        }
        return texts;
    }
    static void load(CEepromDlg& page, const QString& name) {
        const int index = page.controls().control<QComboBox>(kIdcEepromFile)->findText(name);
        ASSERT_GE(index, 0) << name.toStdString();
        Choose(page.controls(), kIdcEepromFile, index);
    }
    // One row per value, and the name in the file field.
    static void fill(CEepromDlg& page, const QString& name, std::initializer_list<const char*> values) {
        for (const char* value : values) {
            page.OnAdd();
            typeCell(page, page.list().rowCount() - 1, 1, value);
        }
        page.controls().control<QComboBox>(kIdcEepromFile)->setEditText(name);
    }
    // Runs the page's Erase; steps act in the Page Erase dialog, which is then closed.
    static bool erase(CEepromDlg& page, const std::function<void(CPageEraseDlg&)>& steps) {
        return WhenModal<CPageEraseDlg>([&] { Click(page.controls(), kIdcEepromErase); }, [&](CPageEraseDlg& dialog) {
            steps(dialog);
            dialog.reject();
        });
    }
    // Pastes text over the whole start address field as the operator does, or deletes it all.
    static QLineEdit& pasteStart(CEepromDlg& page, const char* text) {
        auto& start = *page.controls().control<QLineEdit>(kIdcEepromStartAddr);
        start.selectAll();
        *text ? pasteThroughMenu(start, text) : QTest::keyClick(&start, Qt::Key_Delete);
        return start;
    }
    // One notch of the mouse wheel (down when steps is positive) over the middle of a widget,
    // delivered as the window system delivers it: to the widget under the pointer, then on up.
    static void turnWheel(QWidget& over, int steps) {
        const QPoint middle = over.rect().center();
        QWidget* under = over.childAt(middle);
        QWidget& target = under ? *under : over;
        const QPointF at = target.mapFrom(&over, middle);
        QWheelEvent wheel(at, target.mapToGlobal(at), {}, {0, -120 * steps}, Qt::NoButton, Qt::NoModifier,
                          Qt::NoScrollPhase, false);
        QSpontaneKeyEvent::setSpontaneous(&wheel);
        QApplication::instance()->notify(&target, &wheel);
    }
    Texts takeMessages() { return TakeMessages(services); }

    TempDir folder;
    RecordingServices services;
};

}  // namespace

TEST_F(Eeprom, SaveWritesTheTableAndLoadingShowsItAgain) {
    {
        CEepromDlg page;
        EXPECT_EQ(page.controls().text(kIdcEepromStartAddr), "60");
        page.controls().setText(kIdcEepromStartAddr, "600");
        fill(page, "T1", {"10"});
        typeCell(page, 0, 2, "Boot flag");
        Click(page.controls(), kIdcEepromSave);
        EXPECT_EQ(folder.read("T1.LST"), "Kestrova T1\r\n6000\r\nBYTE\r\nT1 000 0A Boot flag\r\nKestrova T1\r\n");
    }
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.path()), {}), 2) << "T1.LST and its lock only";
    CEepromDlg page;
    load(page, "T1");
    EXPECT_EQ((std::vector<Texts>{column(page, 0), column(page, 1), column(page, 2)}),
              (std::vector<Texts>{{"000"}, {"10"}, {"Boot flag"}}));
    EXPECT_EQ(page.controls().text(kIdcEepromStartAddr), "600");
    EXPECT_EQ(page.m_dwStartAddr, 0x6000u);

    // Values are written in the data size, typed in either base.
    const struct {
        bool word, hexColumn;
        const char *shown, *row;
    } cases[] = {{false, false, "255", "FF"}, {true, false, "255", "00FF"}, {false, true, "FF", "FF"}, {true, true, "ffff", "FFFF"}};
    for (const auto& c : cases) {
        CEepromDlg table;
        Choose(table.controls(), kIdcEepromDataSize, c.word);
        if (c.hexColumn) table.OnColumnClickList(1);
        fill(table, "T", {c.shown});
        Click(table.controls(), kIdcEepromSave);
        EXPECT_EQ(folder.read("T.LST"), std::string("Kestrova T\r\n600\r\n") + (c.word ? "WORD" : "BYTE") + "\r\nT 000 " +
                                            c.row + " \r\nKestrova T\r\n")
            << c.shown;
    }
    // A start address pasted with its 0x is taken, and so is one with a blank before or after
    // its digits; one with more digits than the field holds is refused whole, never cut to
    // another address.
    for (const auto& [pasted, line] : {std::pair{"0x1234567", "12345670"}, {"12345678", "600"}, {"1234567 ", "12345670"},
                                       {" 0x600", "6000"}}) {
        CEepromDlg table;
        pasteStart(table, pasted);
        fill(table, "A", {"1"});
        Click(table.controls(), kIdcEepromSave);
        EXPECT_EQ(folder.read("A.LST"), std::string("Kestrova A\r\n") + line + "\r\nBYTE\r\nA 000 01 \r\nKestrova A\r\n")
            << pasted;
    }
    EXPECT_EQ(takeMessages(), Texts{});
}

// A table that would not load back as it was is refused whole, naming what is wrong: a line
// break in a name, an index or a description would end its line of the file early, and a NUL
// in a name its path.
TEST_F(Eeprom, SaveRefusesWhatCouldNotLoadBack) {
    const char* const badName = "File Name Error! Name must have no blank, line break or path separator";
    const char* const notNumber = "Value Error! Value of row 001 must be digital number";
    const char* const badIndex = "Index Error! Index of row 001 must have no blank or line break";
    const char* const badDescription = "Description Error! Description of row 001 must have no line break";
    const char* const badStart = "Start Address Error! Start Address must be HEX number";
    const struct {
        QString name;
        bool word;
        std::initializer_list<const char*> values;
        const char* index;  // typed over row 1's index when set
        const char* message;
        const char* description = nullptr;  // over row 1's description when set
        const char* start = nullptr;        // pasted over the start address when set
    } cases[] = {
        {"", false, {"1"}, nullptr, "No File Name was found!"},
        {"my table", false, {"1"}, nullptr, badName},
        {"../T", false, {"1"}, nullptr, badName},
        {"T\n1", false, {"1"}, nullptr, badName},
        {"T\r", false, {"1"}, nullptr, badName},
        {QString("T") + QChar(0) + "x", false, {"1"}, nullptr, badName},
        {"T", false, {"1", ""}, nullptr, notNumber},
        {"T", false, {"1", "1A"}, nullptr, notNumber},
        {"T", false, {"1", "256"}, nullptr, "Out of range! Value of row 001 must be <= 255"},
        {"T", true, {"65536"}, nullptr, "Out of range! Value of row 000 must be <= 65535"},
        {"T", false, {"1", "2"}, "0 1", badIndex},
        {"T", false, {"1", "2"}, "0\r1", badIndex},
        {"T", false, {"1", "2"}, nullptr, badDescription, "Boot\nflag"},
        {"T", false, {"1", "2"}, nullptr, badDescription, "\rBoot"},
        {"T", false, {"1"}, nullptr, badStart, nullptr, "6 0"},
        {"T", false, {"1"}, nullptr, badStart, nullptr, "60h"},
        {"T", false, {"1"}, nullptr, badStart, nullptr, "-60"},
        {"T", false, {"1"}, nullptr, badStart, nullptr, ""},
    };
    for (const auto& c : cases) {
        CEepromDlg page;
        Choose(page.controls(), kIdcEepromDataSize, c.word);
        fill(page, c.name, c.values);
        if (c.index) page.list().item(1, 0)->setText(c.index);
        if (c.description) page.list().item(1, 2)->setText(c.description);
        if (c.start) {
            // Erase opens no Page Erase dialog, and Read and Write move no rows, at a start the
            // field does not show.
            pasteStart(page, c.start);
            EXPECT_FALSE(erase(page, [](CPageEraseDlg&) {})) << c.start;
            for (const int button : {kIdcEepromRead, kIdcEepromWrite}) {
                Click(page.controls(), button);
                EXPECT_FALSE(g_bTaskWorking) << c.start;
            }
            EXPECT_EQ(takeMessages(), Texts(3, c.message)) << c.start;
        }
        Click(page.controls(), kIdcEepromSave);
        EXPECT_EQ(takeMessages(), Texts{c.message}) << c.message;
        EXPECT_TRUE(std::filesystem::is_empty(folder.path())) << c.message;
    }
}

TEST_F(Eeprom, LoadReadsWhatOtherEditorsWriteAndRefusesForeignFiles) {
    const char* const foreign = "This file type is not correct!";
    const struct {
        const char* file;
        std::string text;
        Texts values, descriptions;
        const char *startEdit, *dataSize, *message;
    } cases[] = {
        {"T.LST", "Kestrova T\n6008\nBYTE\nT 000 0A Boot flag\nT 001 FF \nKestrova T\nT 009 01 after\n",
         {"10", "255"}, {"Boot flag", ""}, "600", "BYTE", nullptr},
        {"T.lst", "Kestrova T\r\n20\r\nbyte\r\nT 000 1234  two  blanks \r\n", {"4660"}, {" two  blanks "}, "2", "WORD", nullptr},
        {"T.LST", "kestrova T\r\n20\r\nBYTE\r\nT 000 01 x\r\n", {"7"}, {""}, "600", "BYTE", foreign},
        {"T.LST", "Kestrova T\r\nzz\r\nBYTE\r\n", {"7"}, {""}, "600", "BYTE", foreign},
    };
    for (const auto& c : cases) {
        folder.write(c.file, c.text);
        CEepromDlg page;
        page.controls().setText(kIdcEepromStartAddr, "600");
        fill(page, "", {"7"});
        load(page, "T");
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
    load(page, "Gone");
    EXPECT_EQ(takeMessages(), Texts{"File could not be opened !"});
}

// A FIFO, an endless device or a huge file is refused at once, like a foreign file. The rows
// shown keep their own name, so Save writes them back where they came from, never over the
// refused file.
TEST_F(Eeprom, RefusedLoadKeepsTheTableAndItsName) {
    const std::string table = "Kestrova T\r\n600\r\nBYTE\r\nT 000 01 one\r\nKestrova T\r\n";
    folder.write("T.LST", table);
    folder.write("U.LST", "Kestrova X\r\n600\r\nBYTE\r\n");
    std::vector<std::pair<std::string, const char*>> refused = {{"U", "This file type is not correct!"}};
    for (const std::string& file : MakeUnreadableFiles(folder.path(), ".LST"))
        refused.push_back({file.substr(0, file.size() - 4), "File could not be opened !"});
    CEepromDlg page;
    load(page, "T");
    for (const auto& [name, message] : refused) {
        load(page, QString::fromStdString(name));
        EXPECT_EQ(takeMessages(), Texts{message}) << name;
        EXPECT_EQ(page.controls().text(kIdcEepromFile).toStdString(), "T") << name;
        Click(page.controls(), kIdcEepromSave);
    }
    EXPECT_EQ(column(page, 2), Texts{"one"});
    // A start address that does not read as one is left as pasted by a refused load, so Save
    // still refuses it rather than writing the 0 it was read as.
    const QLineEdit& start = pasteStart(page, "6 0");
    load(page, "U");
    EXPECT_EQ(start.text().toStdString(), "6 0");
    Click(page.controls(), kIdcEepromSave);
    EXPECT_EQ(takeMessages(),
              (Texts{"This file type is not correct!", "Start Address Error! Start Address must be HEX number"}));
    EXPECT_EQ(folder.read("T.LST"), table);
    EXPECT_EQ(folder.read("U.LST"), "Kestrova X\r\n600\r\nBYTE\r\n");
    EXPECT_TRUE(std::filesystem::is_fifo(folder.file("fifo.LST")));
    EXPECT_EQ(std::filesystem::file_size(folder.file("huge.LST")), uintmax_t{3} << 30);
}

// Only a name chosen from the list loads a table. A name typed as listed, in another case or
// as the start of a listed one stays as typed, however the edit ends (Enter, Tab, a click on
// Save, the page closing), and Save writes the rows shown under it.
TEST_F(Eeprom, OnlyANameChosenFromTheListLoadsATable) {
    const auto saved = [](const std::string& name, const char* row) {
        return "Kestrova " + name + "\r\n600\r\nBYTE\r\n" + name + " 000 " + row + "\r\nKestrova " + name + "\r\n";
    };
    const std::string t1 = saved("T1", "01 one");
    enum class End { Enter, Tab, ClickSave, Close };
    for (const std::string typed : {"T1", "t1", "T"}) {
        for (const End end : {End::Enter, End::Tab, End::ClickSave, End::Close}) {
            SCOPED_TRACE(typed + " ended by " + std::to_string(static_cast<int>(end)));
            folder.write("T1.LST", t1);
            auto page = std::make_unique<CEepromDlg>();
            page->show();
            QApplication::setActiveWindow(page.get());
            auto* files = page->controls().control<QComboBox>(kIdcEepromFile);
            fill(*page, "", {"7"});
            files->setFocus();
            QTest::keyClicks(QApplication::focusWidget(), QString::fromStdString(typed));
            if (end == End::Close) {
                page.reset();  // a handler left to run here would touch a page being destroyed
                EXPECT_EQ(folder.read("T1.LST"), t1);
                continue;
            }
            if (end == End::Enter) QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
            if (end == End::Tab) QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            if (end == End::ClickSave)
                QTest::mouseClick(page->controls().control<QAbstractButton>(kIdcEepromSave), Qt::LeftButton);
            else
                Click(page->controls(), kIdcEepromSave);
            EXPECT_EQ(folder.read(typed + ".LST"), saved(typed, "07 "));
            if (typed != "T1") {
                EXPECT_EQ(folder.read("T1.LST"), t1);
            }
            std::filesystem::remove(folder.file(typed + ".LST"));
        }
    }
    // Picked from the drop-down list with the keyboard, over a typed name, a table loads; an
    // edit of its name's case then saves the rows shown under the new name.
    folder.write("T1.LST", t1);
    CEepromDlg page;
    page.show();
    QApplication::setActiveWindow(&page);
    auto* files = page.controls().control<QComboBox>(kIdcEepromFile);
    fill(page, "x", {"7"});
    files->showPopup();
    files->view()->setCurrentIndex(files->model()->index(files->findText("T1"), 0));
    QTest::keyClick(files->view(), Qt::Key_Return);
    typeCell(page, 0, 1, "9");
    files->setFocus();
    files->lineEdit()->selectAll();
    QTest::keyClicks(QApplication::focusWidget(), "t1");
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    Click(page.controls(), kIdcEepromSave);
    EXPECT_EQ(folder.read("t1.LST"), saved("t1", "09 one"));
    EXPECT_EQ(folder.read("T1.LST"), t1);
    EXPECT_EQ(takeMessages(), Texts{});

    // The wheel turned over a box without focus (the operator scrolling the page) passes it by:
    // no table loads over rows being edited, and the data size stays. With focus, the name box
    // steps to the next listed table and loads it.
    folder.write("T2.LST", saved("T2", "02 two"));
    CEepromDlg wheeled;
    wheeled.show();
    QApplication::setActiveWindow(&wheeled);
    auto* names = wheeled.controls().control<QComboBox>(kIdcEepromFile);
    auto* sizes = wheeled.controls().control<QComboBox>(kIdcEepromDataSize);
    fill(wheeled, "edited", {"7"});
    for (const int steps : {1, -1, 1}) {
        turnWheel(*names, steps);
        turnWheel(*sizes, steps);
    }
    EXPECT_FALSE(names->hasFocus());
    EXPECT_FALSE(sizes->hasFocus());
    EXPECT_EQ(names->currentText(), "edited");
    EXPECT_EQ(column(wheeled, 1), Texts{"7"});
    EXPECT_EQ(sizes->currentIndex(), 0);
    EXPECT_EQ(wheeled.m_bByteData, 1);
    names->setFocus();
    turnWheel(*names, 1);
    EXPECT_EQ(names->currentText(), "T1");
    EXPECT_EQ(column(wheeled, 1), Texts{"1"});
    turnWheel(*names, 1);
    EXPECT_EQ(names->currentText(), "T2");
    EXPECT_EQ(column(wheeled, 2), Texts{"two"});
    EXPECT_EQ(takeMessages(), Texts{});
}

// Rows renumber on insert and delete; the header switches the values' base. Read empties the
// values (even during a task, whose flag it leaves alone); Write gives its flag back.
TEST_F(Eeprom, RowsValueBaseReadAndWrite) {
    CEepromDlg page;
    Click(page.controls(), kIdcEepromRead);
    EXPECT_EQ(takeMessages(), Texts{"No item was found!"});
    fill(page, "T", {"1", "2", "3", "4", "255"});
    page.list().selectRow(2);
    Click(page.controls(), kIdcEepromInsert);
    page.list().selectRow(0);
    Click(page.controls(), kIdcEepromDelete);
    EXPECT_EQ(column(page, 0), (Texts{"000", "001", "002", "003", "004"}));
    EXPECT_EQ(column(page, 1), (Texts{"2", "", "3", "4", "255"}));
    page.list().horizontalHeader()->sectionClicked(1);
    EXPECT_EQ(page.list().horizontalHeaderItem(1)->text(), "Value(h)");
    EXPECT_EQ(column(page, 1), (Texts{"02", "", "03", "04", "FF"}));
    page.list().horizontalHeader()->sectionClicked(1);
    EXPECT_EQ(column(page, 1), (Texts{"2", "", "3", "4", "255"}));
    // Values at and past 32 bits, typed in either base, keep what they are through both
    // switches: shown unsigned in decimal, and kept as typed when they do not fit.
    CEepromDlg wide;
    fill(wide, "W", {"2147483648", "4294967295", "4294967296", "-1"});
    wide.OnColumnClickList(1);
    EXPECT_EQ(column(wide, 1), (Texts{"80000000", "FFFFFFFF", "4294967296", "-1"}));
    wide.OnColumnClickList(1);
    EXPECT_EQ(column(wide, 1), (Texts{"2147483648", "4294967295", "4294967296", "-1"}));
    wide.OnColumnClickList(1);
    typeCell(wide, 2, 1, "100000000");
    wide.OnColumnClickList(1);
    EXPECT_EQ(column(wide, 1), (Texts{"2147483648", "4294967295", "100000000", "-1"}));

    g_bTaskWorking = true;
    Click(page.controls(), kIdcEepromRead);
    EXPECT_EQ(column(page, 1), (Texts{"", "", "", "", ""}));
    QTest::qWait(20);
    EXPECT_TRUE(g_bTaskWorking) << "a running task keeps its flag";
    g_bTaskWorking = false;
    Click(page.controls(), kIdcEepromWrite);
    EXPECT_TRUE(SpinUntil([] { return !g_bTaskWorking; }));
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

// Page Erase opens at the page of the start address, brought into range before it is shown;
// Esc keeps it open, and Enter in a field moves on.
TEST_F(Eeprom, PageEraseOpensAtTheStartAddressInRange) {
    const struct {
        const char *start, *from, *firstByte, *lastByte;
    } cases[] = {{"600", "30", "3000(12288)", "30FF(12543)"}, {"7D200", "3E8", "3E800(256000)", "3E8FF(256255)"}};
    for (const auto& c : cases) {
        CEepromDlg page;
        page.controls().setText(kIdcEepromStartAddr, c.start);
        EXPECT_TRUE(erase(page, [&](CPageEraseDlg& dialog) {
            EXPECT_EQ((QStringList{dialog.controls().text(kIdcPageEraseFrom), dialog.controls().text(kIdcPageEraseFirstByte),
                                   dialog.controls().text(kIdcPageEraseLastByte)}),
                      (QStringList{c.from, c.firstByte, c.lastByte}));
            QTest::keyClick(&dialog.m_editFromPage, Qt::Key_Escape);
            QTest::keyClick(&dialog, Qt::Key_Escape);
            dialog.m_editFromPage.setFocus();
            QTest::keyClick(&dialog.m_editFromPage, Qt::Key_Return);
            EXPECT_TRUE(dialog.isVisible());
        }));
    }
    EXPECT_EQ(takeMessages(), Texts{});
}

// The dialog opens at page 3 with the count set to 12; a refused entry keeps both values.
TEST_F(Eeprom, PageEraseChecksEveryEntry) {
    const char* const notPage = "Code Error! Page number must be digital number";
    const char* const noCount = "Page count must be more than 0 !";
    const struct {
        int id;
        bool hex;
        const char *typed, *field, *message, *lastByte;
    } cases[] = {
        {kIdcPageEraseFrom, true, "3E9", "3", "Out of range! Page number must be <= 1000", "EFF(3839)"},
        {kIdcPageEraseFrom, true, "3E8", "3E8", nullptr, "3F3FF(259071)"},
        {kIdcPageEraseFrom, true, "", "3", notPage, "EFF(3839)"},
        {kIdcPageEraseFrom, true, "1:2", "3", notPage, "EFF(3839)"},
        {kIdcPageEraseCount, true, "0", "C", noCount, "EFF(3839)"},
        {kIdcPageEraseCount, false, "0", "12", noCount, "EFF(3839)"},
        {kIdcPageEraseCount, false, "1A", "12", "Code Error! Page count must be digital number", "EFF(3839)"},
    };
    CEepromDlg page;
    page.controls().setText(kIdcEepromStartAddr, "60");
    for (const auto& c : cases) {
        erase(page, [&](CPageEraseDlg& dialog) {
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
