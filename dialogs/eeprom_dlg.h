#pragma once
// The EEPROM table page: a table of rows (index, value, description) meant for a target's
// EEPROM, with a start address and a data size, kept in ".LST" files in the program's folder.
// The main window shows it on its EEPROM-table command, which has no menu item.
#include <QTableWidget>
#include <cstdint>
#include <optional>
#include <string>

#include "controls/hex_addr_edit.h"
#include "controls/sub_edit.h"
#include "platform/dialog_builder.h"

// Makes the main window build this page for its template.
void InstallEepromPage();

// What a transfer of the table would work with, taken from the page before its worker starts
// (a worker must not read the list). Read and Write start their worker with it; the workers
// move nothing yet and give the busy flag back.
struct EepromTransfer {
    uint32_t rows = 0;
    uint32_t byteLength = 0;
    uint32_t blockSize = 64;
    uint32_t blockOffset = 0;  // of the start address in its block
};
void EepromReadThread(const EepromTransfer& transfer);
void EepromWriteThread(const EepromTransfer& transfer);

class CEepromDlg : public ui::TemplatePage {
public:
    explicit CEepromDlg(QWidget* parent = nullptr);
    ~CEepromDlg() override;

    void OnAdd();
    void OnInsert();
    void OnDelete();
    void OnSave();
    void OnRead();
    void OnWrite();
    void OnErase();
    void OnSelectFile();
    void OnSelectDataSize();
    void OnChangeStartAddr();
    void OnColumnClickList(int column);

    QTableWidget& list() { return *m_list; }
    CSubEdit& cellEditor() { return m_subEdit; }

    uint32_t m_dwStartAddr = 0x600;
    uint8_t m_bHexValue = 0;
    uint8_t m_bByteData = 1;
    int m_nEditRow = 0;
    std::string m_strListPath;
    std::string m_strTableName;  // the name the rows shown were loaded or saved under

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    enum Column { kIndex = 0, kValue = 1, kDescription = 2 };

    QString cell(int row, int column) const;
    void setCell(int row, int column, const QString& text);
    void appendRow(const QString& index);
    int firstSelectedRow() const;
    void hideEditor();
    void OnClickList(const QModelIndex& index);
    void ShowStartAddr();
    // The address the start-address field spells whole; nothing when it does not read as one.
    std::optional<uint32_t> typedStartAddr() const;
    // Whether the field reads as an address, else a message naming it.
    bool startAddrRead();
    // The value cell of a row as a number, or a message naming the row.
    bool rowValue(int row, uint32_t& value);
    void StartTransfer(bool read);

    QTableWidget* m_list;
    CHexAddrEdit m_editStartAddr;
    CSubEdit m_subEdit;
};
