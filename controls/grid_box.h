#pragma once
// The hex grid editors: a block of memory shown as a table of hexadecimal cells under a header
// row of column numbers and beside a header column of row labels, edited one cell at a time
// in a small edit box laid over the cell. The holding dialog reads and writes the cell buffer
// directly and calls update() on the grid to show what it wrote; the grid reports nothing.
#include <QLineEdit>
#include <QWidget>
#include <array>
#include <cstdint>

#include "controls/gdi_paint.h"

class CGridBoxBase;

// In-place editor of a byte grid: hexadecimal keys only, no more digits than a cell shows (a
// pasted text may have 0x or 0X before them); Enter or losing the focus stores the text into
// the grid's current cell and hides the editor.
class CTextEdit : public QLineEdit {
    Q_OBJECT
public:
    explicit CTextEdit(CGridBoxBase* grid);

protected:
    bool event(QEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    CGridBoxBase* m_pGrid;
};

// In-place editor of the word grid.
class CTextEditW : public CTextEdit {
    Q_OBJECT
public:
    using CTextEdit::CTextEdit;
};

class CGridBoxBase : public QWidget {
    Q_OBJECT
public:
    static constexpr int kEditorId = 100;
    static constexpr COLORREF kOuterTopLeft = 0x00A8A8A8;
    static constexpr COLORREF kInnerTopLeft = 0x00707070;
    static constexpr COLORREF kOuterBottomRight = 0x00FFFFFF;
    static constexpr COLORREF kInnerBottomRight = 0x00F0F0F0;

    // Label of the first data row; the labels grow by 16 from row to row.
    int m_nBaseAddr = 0;
    // The cell the editor was last placed on, and the one it was opened on; 1-based.
    int m_nCurCol = 1, m_nCurRow = 1;
    int m_nEditCol = 1, m_nEditRow = 1;

    virtual QLineEdit& editor() = 0;
    int cellWidth() const;
    int cellHeight() const;
    // The cell at 1-based column and row, in the grid's coordinates.
    QRect cellRect(int col, int row) const;
    virtual int columnCount() const = 0;
    virtual int rowCount() const = 0;

    // Stores the editor's text into the current cell; only while the editor is shown, so a
    // hidden editor's old text never overwrites what the holder wrote in the meantime.
    void commitEditorText();

protected:
    explicit CGridBoxBase(QWidget* parent);
    // Gives the editor its look and its cells' width in digits; the derived grid calls it once
    // its editor exists.
    void setupEditor(int digits);
    virtual QString cellText(int index) const = 0;
    virtual void commitValue(uint32_t value) = 0;
    // The buffer index of the current cell; -1 when the holder moved it off the grid.
    int currentIndex() const;

    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
};

// 16 columns x 32 rows of bytes.
class CGridBox : public CGridBoxBase {
    Q_OBJECT
public:
    explicit CGridBox(QWidget* parent = nullptr);
    // Stores the byte in the current cell and shows it.
    void SetCellValue(uint8_t value);
    QLineEdit& editor() override { return m_edit; }
    int columnCount() const override { return 16; }
    int rowCount() const override { return 32; }

    std::array<uint8_t, 512> m_byData;
    CTextEdit m_edit;

protected:
    QString cellText(int index) const override;
    void commitValue(uint32_t value) override { SetCellValue(static_cast<uint8_t>(value)); }
};

// 16 columns x 16 rows of 32-bit words.
class CGridBoxW : public CGridBoxBase {
    Q_OBJECT
public:
    explicit CGridBoxW(QWidget* parent = nullptr);
    void SetCellValue(uint32_t value);
    QLineEdit& editor() override { return m_edit; }
    int columnCount() const override { return 16; }
    int rowCount() const override { return 16; }

    std::array<uint32_t, 256> m_dwData;
    CTextEditW m_edit;

protected:
    QString cellText(int index) const override;
    void commitValue(uint32_t value) override { SetCellValue(value); }
};

// Bytes in as many columns and rows as the holder sets (none until it does), at most 2048
// cells; counts whose product is larger are cut to what fits.
class CGridBox512 : public CGridBoxBase {
    Q_OBJECT
public:
    static constexpr int kMaxCells = 2048;
    static constexpr COLORREF kEditorTextColor = 0x00FF8080;

    explicit CGridBox512(QWidget* parent = nullptr);
    void SetCellValue(uint8_t value);
    QLineEdit& editor() override { return m_edit; }
    int columnCount() const override;
    int rowCount() const override;

    std::array<uint8_t, kMaxCells> m_byData{};
    int m_nCols = 0;
    int m_nRows = 0;
    CTextEdit m_edit;

protected:
    QString cellText(int index) const override;
    void commitValue(uint32_t value) override { SetCellValue(static_cast<uint8_t>(value)); }
};
