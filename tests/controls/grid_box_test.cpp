#include "controls/grid_box.h"

#include <QContextMenuEvent>
#include <QTest>
#include <gtest/gtest.h>

#include <climits>
#include <optional>

#include "control_checks.h"
#include "support/clipboard_paste.h"

namespace {

// A dialog with a byte grid of 20 x 15 pixel cells (and a strip of 5 pixels at the right and
// bottom that no cell covers) and a second field to take the focus away.
struct GridDialog {
    QWidget dialog;
    CGridBox grid{&dialog};
    QLineEdit other{&dialog};

    GridDialog() {
        dialog.resize(500, 520);
        grid.setGeometry(0, 0, 17 * 20 + 5, 33 * 15 + 5);
        other.setGeometry(400, 10, 80, 20);
        showActive(dialog);
    }
    void click(int col, int row) { QTest::mouseClick(&grid, Qt::LeftButton, {}, grid.cellRect(col, row).center()); }
    uint8_t cell(int col, int row) const { return grid.m_byData[static_cast<size_t>((row - 1) * 16 + col - 1)]; }
};

}  // namespace

TEST(GridBox, CellFramesAndGeometry) {
    CGridBox grid;
    grid.resize(17 * 20 + 5, 33 * 15 + 5);
    QFont small = grid.font();
    small.setPixelSize(6);
    grid.setFont(small);
    EXPECT_EQ(QSize(grid.cellWidth(), grid.cellHeight()), QSize(20, 15));
    const QImage img = renderWidget(grid);
    const COLORREF marker = pixelRef(img, 0, 0);  // the header corner is left undrawn
    EXPECT_NE(marker, 0xFFFFFFu);
    // Cell (1, 1) covers [20, 40) x [15, 30); the last cell (16, 32) ends at 340 x 495.
    expectPixels(img, {{20, 15, 0xA8A8A8}, {38, 15, 0xA8A8A8}, {39, 15, 0xFFFFFF}, {20, 28, 0xA8A8A8}, {20, 29, 0xFFFFFF},
                       {39, 29, 0xFFFFFF}, {21, 16, 0x707070}, {37, 16, 0x707070}, {38, 16, 0xF0F0F0}, {21, 28, 0xF0F0F0},
                       {22, 17, 0xFFFFFF}, {339, 494, 0xFFFFFF}, {340, 100, marker}, {100, 496, marker}});
    grid.m_nBaseAddr = INT_MAX;  // row labels count on as 32-bit numbers past any base
    (void)renderWidget(grid);
}

// A font taller than the cells (a system font in place of the small dialog font) is made
// smaller: the digits stay inside their cell's frame and are still drawn.
TEST(GridBox, CellTextOfATallFontStaysInsideItsFrame) {
    CGridBox grid;
    grid.resize(17 * 20 + 5, 33 * 15 + 5);
    QFont tall = grid.font();
    tall.setPixelSize(30);
    grid.setFont(tall);
    grid.m_byData.fill(0x88);
    const QImage img = renderWidget(grid);
    bool inked = false;
    for (int x = 22; x < 38; ++x) {
        EXPECT_EQ(pixelRef(img, x, 28), 0xF0F0F0u) << x;  // the inner frame's bottom line
        EXPECT_EQ(pixelRef(img, x, 29), 0xFFFFFFu) << x;  // the outer one
        for (int y = 17; y < 28; ++y) inked = inked || pixelRef(img, x, y) != 0xFFFFFFu;
    }
    EXPECT_TRUE(inked);
}

TEST(GridBox, EditorCommitsOnLeavingAndDiscardsOnTheSameCellOrEscape) {
    enum Leave { Enter, FocusLoss, OtherCell, SameCell, Escape, ContextMenu };
    // Cell (2, 3) afterwards, which held 0x42 when "3c" was typed over it, and the editor's
    // text afterwards (empty when it is hidden).
    struct Case { Leave how; uint8_t stored; QString editor; };
    for (const Case& c : {Case{Enter, 0x3C, ""}, Case{FocusLoss, 0x3C, ""}, Case{OtherCell, 0x3C, "FF"},
                          Case{SameCell, 0x42, "42"}, Case{Escape, 0x42, "3c"}, Case{ContextMenu, 0x42, "3c"}}) {
        SCOPED_TRACE(c.how);
        GridDialog d;
        d.grid.m_byData[(3 - 1) * 16 + 1] = 0x42;
        d.click(2, 3);
        EXPECT_EQ(d.grid.m_edit.text(), "42");
        ASSERT_TRUE(d.grid.m_edit.hasFocus());
        QTest::keyClicks(&d.grid.m_edit, "3c");
        switch (c.how) {
        case Enter: QTest::keyClick(&d.grid.m_edit, Qt::Key_Return); break;
        case FocusLoss: d.other.setFocus(); break;
        case OtherCell: d.click(5, 5); break;
        case SameCell: d.click(2, 3); break;
        case Escape: QTest::keyClick(&d.grid.m_edit, Qt::Key_Escape); break;
        case ContextMenu: {  // the editor stays open under its own menu
            QContextMenuEvent menu(QContextMenuEvent::Mouse, QPoint(2, 2), d.grid.m_edit.mapToGlobal(QPoint(2, 2)));
            QApplication::sendEvent(&d.grid.m_edit, &menu);
            ASSERT_NE(QApplication::activePopupWidget(), nullptr);
            QApplication::activePopupWidget()->close();
        }
        }
        EXPECT_EQ((std::pair{d.cell(2, 3), d.cell(5, 5)}), (std::pair<uint8_t, uint8_t>{c.stored, 0xFF}));
        EXPECT_EQ(d.grid.m_edit.isHidden() ? QString() : d.grid.m_edit.text(), c.editor);
        EXPECT_EQ(d.grid.m_edit.geometry(), c.how == OtherCell ? d.grid.cellRect(5, 5) : d.grid.cellRect(2, 3));
    }
}

TEST(GridBox, StrayClicksTheHiddenEditorAndCellsOffTheGridStoreNothing) {
    GridDialog d;
    d.click(1, 1);
    QTest::keyClicks(&d.grid.m_edit, "12");
    d.click(2, 1);  // stores 0x12; the editor now holds "FF" for cell (2, 1)
    EXPECT_EQ(d.cell(1, 1), 0x12);
    for (QPoint at : {QPoint(5, 40), QPoint(50, 5), QPoint(342, 40), QPoint(50, 497)}) {
        QTest::mouseClick(&d.grid, Qt::LeftButton, {}, at);
        EXPECT_EQ(d.grid.m_edit.geometry(), d.grid.cellRect(2, 1)) << at.x() << "," << at.y();
    }
    // The holder hides the editor and loads new data: the editor's old text must not come back.
    d.grid.m_edit.hide();
    d.grid.m_byData.fill(0x00);
    d.click(3, 1);
    EXPECT_EQ(d.cell(2, 1) + d.cell(1, 1), 0);
    // A client area too small for one cell ignores clicks.
    d.grid.setGeometry(0, 0, 10, 20);
    QTest::mouseClick(&d.grid, Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_EQ(d.grid.m_nCurCol, 3);
    (void)renderWidget(d.grid);

    CGridBox bytes;
    CGridBoxW words;
    for (QPoint cell : {QPoint(0, 1), QPoint(17, 1), QPoint(1, 0), QPoint(1, 33), QPoint(16, 17)}) {
        bytes.m_nCurCol = words.m_nCurCol = cell.x();
        bytes.m_nCurRow = words.m_nCurRow = cell.y();
        if (cell.y() != 17) bytes.SetCellValue(0x12);
        words.SetCellValue(0x12345678);
    }
    for (uint8_t b : bytes.m_byData) ASSERT_EQ(b, 0xFF);
    for (uint32_t w : words.m_dwData) ASSERT_EQ(w, 0xFFFFFFFFu);
}

TEST(GridBox, WordAndSizedGridsCommitWhatIsTypedAndASizedGridStartsWithoutCells) {
    // Columns and rows set, and the counts that follow.
    for (const auto& [set, counts] : std::initializer_list<std::pair<QPoint, QPoint>>{
             {{0, 0}, {0, 0}}, {{16, 8}, {16, 8}}, {{64, 64}, {64, 32}}, {{3000, 2}, {2048, 1}}, {{-4, 10}, {0, 0}}}) {
        CGridBox512 grid;
        grid.m_nCols = set.x();
        grid.m_nRows = set.y();
        EXPECT_EQ(QPoint(grid.columnCount(), grid.rowCount()), counts) << set.x() << "x" << set.y();
    }
    QWidget dialog;
    dialog.resize(1300, 300);
    CGridBoxW words(&dialog);
    CGridBox512 sized(&dialog);
    words.setGeometry(0, 0, 17 * 60, 17 * 15);
    sized.setGeometry(1050, 0, 200, 200);
    showActive(dialog);
    // Opens the editor on a cell, types and ends with the key; answers the text it opened with.
    const auto type = [](auto& grid, int col, int row, const char* keys, Qt::Key end, Qt::KeyboardModifiers modifiers) {
        QTest::mouseClick(&grid, Qt::LeftButton, {}, grid.cellRect(col, row).center());
        const QString shown = grid.m_edit.text();
        QTest::keyClicks(&grid.m_edit, keys);
        QTest::keyClick(&grid.m_edit, end, modifiers);
        return shown;
    };
    EXPECT_EQ(type(words, 16, 16, "deadbeef9", Qt::Key_Enter, Qt::KeypadModifier), "FFFFFFFF");
    EXPECT_EQ((std::pair{words.m_dwData[255], words.m_dwData[0]}), (std::pair{0xDEADBEEFu, 0xFFFFFFFFu}));
    // Never given counts: no cells, so a click opens nothing and stores nothing.
    QTest::mouseClick(&sized, Qt::LeftButton, {}, QPoint(150, 150));
    EXPECT_TRUE(sized.m_edit.geometry().isEmpty());
    sized.SetCellValue(0x55);
    EXPECT_EQ(sized.m_byData[0], 0x00);
    sized.m_nCols = sized.m_nRows = 4;
    EXPECT_EQ(type(sized, 2, 3, "5A", Qt::Key_Return, {}), "00");
    EXPECT_EQ(sized.m_byData[(3 - 1) * 4 + (2 - 1)], 0x5A);
    EXPECT_EQ(sized.m_edit.palette().color(QPalette::Text), QColor(0x80, 0x80, 0xFF));
}

// A pasted number may carry the 0x or 0X that "%X" reads, and blanks before it; one with more
// digits than a cell shows is refused whole (none stored), never cut to another number.
TEST(GridBox, PastedNumbersKeepTheirPrefixAndAreNeverCut) {
    for (const auto& [pasted, stored] : std::initializer_list<std::pair<QString, std::optional<uint32_t>>>{
             {"0x1F", 0x1F}, {"0X7", 0x07}, {" 5a", 0x5A}, {"0x", 0x00}, {"-1", 0x42}, {"0x1234ABCD", 0x1234ABCD},
             {"123456789", std::nullopt}, {"0xFFFFFFFFF", std::nullopt}}) {
        SCOPED_TRACE(pasted.toStdString());
        QWidget dialog;
        dialog.resize(1100, 300);
        CGridBoxW words(&dialog);
        words.setGeometry(0, 0, 17 * 60, 17 * 15);
        words.m_dwData[(3 - 1) * 16 + 1] = 0x42;
        showActive(dialog);
        QTest::mouseClick(&words, Qt::LeftButton, {}, words.cellRect(2, 3).center());
        const QString opened = words.m_edit.text();
        pasteThroughMenu(words.m_edit, pasted);
        EXPECT_EQ(words.m_edit.text().toStdString(), (stored ? pasted : opened).toStdString());
        QTest::keyClick(&words.m_edit, Qt::Key_Return);
        EXPECT_EQ(words.m_dwData[(3 - 1) * 16 + 1], stored.value_or(0x42));
    }
}
