#include "controls/grid_box.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QLineEdit>
#include <QTest>
#include <gtest/gtest.h>

#include <climits>

#include "support/widget_render.h"

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
    void click(int col, int row) {
        QTest::mouseClick(&grid, Qt::LeftButton, {}, grid.cellRect(col, row).center());
    }
    uint8_t cell(int col, int row) const { return grid.m_byData[static_cast<size_t>((row - 1) * 16 + col - 1)]; }
};

}  // namespace

TEST(GridBox, CellFramesAndGeometry) {
    CGridBox grid;
    grid.resize(17 * 20 + 5, 33 * 15 + 5);
    QFont small = grid.font();
    small.setPixelSize(6);
    grid.setFont(small);
    EXPECT_EQ(grid.cellWidth(), 20);
    EXPECT_EQ(grid.cellHeight(), 15);
    const QImage img = renderWidget(grid);
    const uint32_t marker = pixelRef(img, 0, 0);  // the header corner is left undrawn
    // Cell (1, 1) covers [20, 40) x [15, 30).
    struct Pixel {
        int x, y;
        uint32_t colour;
    };
    for (const Pixel& p : {Pixel{20, 15, 0xA8A8A8}, Pixel{38, 15, 0xA8A8A8}, Pixel{39, 15, 0xFFFFFF},
                           Pixel{20, 28, 0xA8A8A8}, Pixel{20, 29, 0xFFFFFF}, Pixel{39, 29, 0xFFFFFF},
                           Pixel{21, 16, 0x707070}, Pixel{37, 16, 0x707070}, Pixel{38, 16, 0xF0F0F0},
                           Pixel{21, 28, 0xF0F0F0}, Pixel{22, 17, 0xFFFFFF},
                           // the last cell (16, 32) ends at 340 x 495; beyond it nothing is drawn
                           Pixel{339, 494, 0xFFFFFF}, Pixel{340, 100, marker}, Pixel{100, 496, marker}}) {
        EXPECT_EQ(pixelRef(img, p.x, p.y), p.colour) << p.x << "," << p.y;
    }
    EXPECT_NE(pixelRef(img, 0, 0), 0xFFFFFFu);
    // Row labels count on as 32-bit numbers past any base.
    grid.m_nBaseAddr = INT_MAX;
    (void)renderWidget(grid);
}

TEST(GridBox, EnterStoresTheTypedByteAndHidesTheEditor) {
    GridDialog d;
    d.click(2, 3);
    EXPECT_EQ(d.grid.m_edit.text(), "FF");
    EXPECT_EQ(d.grid.m_edit.geometry(), d.grid.cellRect(2, 3));
    QTest::keyClicks(&d.grid.m_edit, "7");
    QTest::keyClick(&d.grid.m_edit, Qt::Key_Return);
    EXPECT_EQ(d.cell(2, 3), 0x07);
    EXPECT_TRUE(d.grid.m_edit.isHidden());
}

TEST(GridBox, EscapeKeepsTheEditorAndItsText) {
    GridDialog d;
    d.click(4, 4);
    QTest::keyClicks(&d.grid.m_edit, "3");
    QTest::keyClick(&d.grid.m_edit, Qt::Key_Escape);
    EXPECT_FALSE(d.grid.m_edit.isHidden());
    EXPECT_EQ(d.grid.m_edit.text(), "3");
    EXPECT_EQ(d.cell(4, 4), 0xFF);
}

TEST(GridBox, ClickOnAnotherCellStoresTheTypedTextWhereItWasTyped) {
    GridDialog d;
    d.click(1, 1);
    QTest::keyClicks(&d.grid.m_edit, "3c");
    d.click(5, 5);
    EXPECT_EQ(d.cell(1, 1), 0x3C);
    EXPECT_EQ(d.cell(5, 5), 0xFF);
    EXPECT_EQ(d.grid.m_edit.geometry(), d.grid.cellRect(5, 5));
    EXPECT_EQ(d.grid.m_edit.text(), "FF");
}

TEST(GridBox, ClickOnTheSameCellDropsTheTypedText) {
    GridDialog d;
    d.grid.m_byData[0] = 0x42;
    d.click(1, 1);
    QTest::keyClicks(&d.grid.m_edit, "12");
    d.click(1, 1);
    EXPECT_EQ(d.cell(1, 1), 0x42);
    EXPECT_EQ(d.grid.m_edit.text(), "42");
}

TEST(GridBox, LosingTheFocusStoresTheText) {
    GridDialog d;
    d.click(3, 2);
    ASSERT_TRUE(d.grid.m_edit.hasFocus());
    QTest::keyClicks(&d.grid.m_edit, "AB");
    d.other.setFocus();
    EXPECT_EQ(d.cell(3, 2), 0xAB);
    EXPECT_TRUE(d.grid.m_edit.isHidden());
}

TEST(GridBox, EditorStaysOpenUnderItsContextMenu) {
    GridDialog d;
    d.click(2, 2);
    QTest::keyClicks(&d.grid.m_edit, "5");
    const QPoint at(2, 2);
    QContextMenuEvent menu(QContextMenuEvent::Mouse, at, d.grid.m_edit.mapToGlobal(at));
    QApplication::sendEvent(&d.grid.m_edit, &menu);
    ASSERT_NE(QApplication::activePopupWidget(), nullptr);
    EXPECT_FALSE(d.grid.m_edit.isHidden());
    EXPECT_EQ(d.cell(2, 2), 0xFF);
    QApplication::activePopupWidget()->close();
    QTest::keyClick(&d.grid.m_edit, Qt::Key_Return);
    EXPECT_EQ(d.cell(2, 2), 0x05);
}

TEST(GridBox, HiddenEditorNeverWritesItsOldTextBack) {
    GridDialog d;
    d.click(1, 1);
    QTest::keyClicks(&d.grid.m_edit, "12");
    d.click(2, 1);  // the editor now holds "FF" for cell (2, 1)
    EXPECT_EQ(d.cell(1, 1), 0x12);
    // The holder hides the editor and loads new data.
    d.grid.m_edit.hide();
    d.grid.m_byData.fill(0x00);
    d.click(3, 1);
    EXPECT_EQ(d.cell(2, 1), 0x00);
    EXPECT_EQ(d.cell(1, 1), 0x00);
}

TEST(GridBox, ClicksOutsideTheCellsChangeNothing) {
    GridDialog d;
    d.click(2, 2);
    const QRect editorAt = d.grid.m_edit.geometry();
    for (QPoint at : {QPoint(5, 40), QPoint(50, 5), QPoint(342, 40), QPoint(50, 497)}) {
        QTest::mouseClick(&d.grid, Qt::LeftButton, {}, at);
        EXPECT_EQ(d.grid.m_nCurCol, 2);
        EXPECT_EQ(d.grid.m_nCurRow, 2);
        EXPECT_EQ(d.grid.m_edit.geometry(), editorAt);
    }
}

TEST(GridBox, EditorKeyFilter) {
    struct Case {
        Qt::Key key;
        Qt::KeyboardModifiers modifiers;
        QString text;  // after the key, from "1" with the caret at the end
    };
    GridDialog d;
    for (const Case& c : {Case{Qt::Key_G, {}, "1"}, Case{Qt::Key_A, {}, "1a"},
                          Case{Qt::Key_5, Qt::KeypadModifier, "15"}, Case{Qt::Key_Delete, {}, "1"},
                          Case{Qt::Key_Backspace, {}, ""}, Case{Qt::Key_Space, {}, "1"},
                          Case{Qt::Key_Minus, {}, "1"}, Case{Qt::Key_Up, {}, "1"}, Case{Qt::Key_Tab, {}, "1"}}) {
        d.click(1, 1);
        d.grid.m_edit.setText("1");
        QTest::keyClick(&d.grid.m_edit, c.key, c.modifiers);
        EXPECT_EQ(d.grid.m_edit.text(), c.text) << c.key;
        EXPECT_TRUE(d.grid.m_edit.hasFocus()) << c.key;
    }
}

TEST(GridBox, TooSmallForOneCellIgnoresClicks) {
    QWidget dialog;
    CGridBox grid(&dialog);
    grid.setGeometry(0, 0, 10, 20);
    dialog.show();
    QTest::mouseClick(&grid, Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_EQ(grid.m_nCurCol, 1);
    (void)renderWidget(grid);
}

TEST(GridBox, CurrentCellOffTheGridStoresNothing) {
    CGridBox bytes;
    CGridBoxW words;
    for (QPoint cell : {QPoint(0, 1), QPoint(17, 1), QPoint(1, 0), QPoint(1, 33)}) {
        bytes.m_nCurCol = cell.x();
        bytes.m_nCurRow = cell.y();
        bytes.SetCellValue(0x12);
    }
    for (QPoint cell : {QPoint(0, 1), QPoint(17, 1), QPoint(16, 17)}) {
        words.m_nCurCol = cell.x();
        words.m_nCurRow = cell.y();
        words.SetCellValue(0x12345678);
    }
    for (uint8_t b : bytes.m_byData) ASSERT_EQ(b, 0xFF);
    for (uint32_t w : words.m_dwData) ASSERT_EQ(w, 0xFFFFFFFFu);
}

TEST(GridBoxW, CommitsTheFullWord) {
    QWidget dialog;
    CGridBoxW grid(&dialog);
    grid.setGeometry(0, 0, 17 * 60, 17 * 15);
    showActive(dialog);
    QTest::mouseClick(&grid, Qt::LeftButton, {}, grid.cellRect(16, 16).center());
    EXPECT_EQ(grid.m_edit.text(), "FFFFFFFF");
    QTest::keyClicks(&grid.m_edit, "deadbeef9");
    QTest::keyClick(&grid.m_edit, Qt::Key_Enter, Qt::KeypadModifier);
    EXPECT_EQ(grid.m_dwData[255], 0xDEADBEEFu);
    EXPECT_EQ(grid.m_dwData[0], 0xFFFFFFFFu);
}

TEST(GridBox512, CellsFollowTheCountsUpTo2048) {
    struct Case {
        int cols, rows, expectCols, expectRows;
    };
    for (const Case& c : {Case{0, 0, 0, 0}, Case{16, 8, 16, 8}, Case{64, 64, 64, 32}, Case{3000, 2, 2048, 1},
                          Case{-4, 10, 0, 0}}) {
        CGridBox512 grid;
        grid.m_nCols = c.cols;
        grid.m_nRows = c.rows;
        EXPECT_EQ(grid.columnCount(), c.expectCols);
        EXPECT_EQ(grid.rowCount(), c.expectRows);
    }
    QWidget dialog;
    CGridBox512 grid(&dialog);
    grid.resize(200, 200);
    showActive(dialog);
    // Never given counts: no cells, so a click opens nothing and stores nothing.
    QTest::mouseClick(&grid, Qt::LeftButton, {}, QPoint(150, 150));
    EXPECT_TRUE(grid.m_edit.geometry().isEmpty());
    grid.SetCellValue(0x55);
    EXPECT_EQ(grid.m_byData[0], 0x00);

    grid.m_nCols = 4;
    grid.m_nRows = 4;
    QTest::mouseClick(&grid, Qt::LeftButton, {}, grid.cellRect(2, 3).center());
    QTest::keyClicks(&grid.m_edit, "5A");
    QTest::keyClick(&grid.m_edit, Qt::Key_Return);
    EXPECT_EQ(grid.m_byData[(3 - 1) * 4 + (2 - 1)], 0x5A);
    EXPECT_EQ(grid.m_edit.palette().color(QPalette::Text), QColor(0x80, 0x80, 0xFF));
}
