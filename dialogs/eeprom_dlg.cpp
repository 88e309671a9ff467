#include "dialogs/eeprom_dlg.h"

#include <QComboBox>
#include <QHeaderView>
#include <QMouseEvent>
#include <algorithm>
#include <cerrno>
#include <filesystem>

#include "core/globals.h"
#include "core/page_hooks.h"
#include "core/validators.h"
#include "controls/bind_control.h"
#include "controls/hex_key_filter.h"
#include "controls/number_text.h"
#include "dialogs/eeprom_table.h"
#include "dialogs/page_erase_dlg.h"
#include "platform/durable_file.h"
#include "platform/services.h"
#include "platform/strfmt.h"
#include "res/eeprom_template.h"

using namespace res;

namespace {

constexpr int kMaxAddrDigits = 7;  // the address / 16: seven digits reach 0xFFFFFFF0

QString qs(const std::string& text) { return QString::fromStdString(text); }

// The table file of a name: ".LST", or ".lst" when only that one exists.
std::string TableFile(const std::string& name) {
    const std::string upper = g_strExeDir + name + ".LST";
    const std::string lower = g_strExeDir + name + ".lst";
    std::error_code ignored;
    return !std::filesystem::exists(upper, ignored) && std::filesystem::exists(lower, ignored) ? lower : upper;
}

bool IsTableFile(const std::filesystem::directory_entry& entry) {
    const std::string ext = entry.path().extension().string();
    return (ext == ".LST" || ext == ".lst") && !entry.is_directory();
}

}  // namespace

void InstallEepromPage() {
    CreatePageWindow = [previous = CreatePageWindow](int templateId, QWidget* parent) -> QWidget* {
        if (templateId == kEepromPage138.id) return new CEepromDlg(parent);
        return previous ? previous(templateId, parent) : nullptr;
    };
}

void EepromReadThread(const EepromTransfer&) { g_bTaskWorking = false; }

void EepromWriteThread(const EepromTransfer&) { g_bTaskWorking = false; }

CEepromDlg::CEepromDlg(QWidget* parent)
    : ui::TemplatePage(kEepromPage138, parent), m_list(new QTableWidget(0, 3, this)), m_subEdit(this) {
    g_pEepromDlg = this;
    controls().replace(kIdcEepromList, m_list);
    m_list->setHorizontalHeaderLabels({"Index", "Value(d)", "Function Description"});
    for (auto [column, width] : {std::pair{kIndex, 60}, {kValue, 70}, {kDescription, 283}}) {
        m_list->setColumnWidth(column, width);
        m_list->horizontalHeaderItem(column)->setTextAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    }
    m_list->verticalHeader()->hide();
    m_list->setShowGrid(true);
    m_list->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_list->viewport()->installEventFilter(this);
    connect(m_list, &QTableWidget::pressed, this, &CEepromDlg::OnClickList);
    connect(m_list->horizontalHeader(), &QHeaderView::sectionClicked, this, &CEepromDlg::OnColumnClickList);

    // The folder is read where it lies; the process's current folder stays as it is.
    auto* files = controls().control<QComboBox>(kIdcEepromFile);
    files->setEditable(true);
    files->setInsertPolicy(QComboBox::NoInsert);
    // Only a name chosen from the list loads a table, and the name typed is the one Save
    // writes: no completion fills it in, and an edit that matches a listed name (Enter, Tab,
    // the focus leaving, the page closing) activates nothing.
    files->setCompleter(nullptr);
    QObject::disconnect(files->lineEdit(), &QLineEdit::editingFinished, files, nullptr);
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(g_strExeDir, error)) {
        const QString name = qs(entry.path().stem().string());
        if (IsTableFile(entry) && files->findText(name, Qt::MatchExactly | Qt::MatchCaseSensitive) < 0)
            files->addItem(name);
    }
    files->model()->sort(0);
    files->setCurrentIndex(-1);

    m_subEdit.hide();
    m_subEdit.setFont(font());
    connect(&m_subEdit, &CSubEdit::commitText, this, [this](int row, int column, const QString& text) {
        if (row < m_list->rowCount()) setCell(row, column, text);
    });

    bindControl(controls(), kIdcEepromStartAddr, m_editStartAddr);
    limitHexDigits(m_editStartAddr, kMaxAddrDigits);
    m_editStartAddr.setAlignment(Qt::AlignRight);
    onChanged(kIdcEepromStartAddr, &CEepromDlg::OnChangeStartAddr);
    ShowStartAddr();

    auto* sizes = controls().control<QComboBox>(kIdcEepromDataSize);
    sizes->addItems({"BYTE", "WORD"});
    sizes->setCurrentIndex(0);

    onClicked(kIdcEepromAdd, &CEepromDlg::OnAdd);
    onClicked(kIdcEepromInsert, &CEepromDlg::OnInsert);
    onClicked(kIdcEepromDelete, &CEepromDlg::OnDelete);
    onClicked(kIdcEepromSave, &CEepromDlg::OnSave);
    onClicked(kIdcEepromRead, &CEepromDlg::OnRead);
    onClicked(kIdcEepromWrite, &CEepromDlg::OnWrite);
    onClicked(kIdcEepromErase, &CEepromDlg::OnErase);
    onSelChange(kIdcEepromFile, &CEepromDlg::OnSelectFile);
    onSelChange(kIdcEepromDataSize, &CEepromDlg::OnSelectDataSize);
}

CEepromDlg::~CEepromDlg() {
    if (g_pEepromDlg == this) g_pEepromDlg = nullptr;
}

QString CEepromDlg::cell(int row, int column) const {
    const QTableWidgetItem* item = m_list->item(row, column);
    return item ? item->text() : QString();
}

void CEepromDlg::setCell(int row, int column, const QString& text) {
    if (QTableWidgetItem* item = m_list->item(row, column))
        item->setText(text);
    else
        m_list->setItem(row, column, new QTableWidgetItem(text));
}

void CEepromDlg::appendRow(const QString& index) {
    const int row = m_list->rowCount();
    m_list->insertRow(row);
    setCell(row, kIndex, index);
    setCell(row, kValue, "");
    setCell(row, kDescription, "");
}

int CEepromDlg::firstSelectedRow() const {
    const QModelIndexList rows = m_list->selectionModel()->selectedRows();
    if (rows.isEmpty()) return -1;
    return std::min_element(rows.begin(), rows.end(), [](auto& a, auto& b) { return a.row() < b.row(); })->row();
}

void CEepromDlg::OnAdd() { appendRow(qs(strfmt("%03d", m_list->rowCount()))); }

void CEepromDlg::OnInsert() {
    const int selected = firstSelectedRow();
    if (selected < 0) return;
    hideEditor();
    const int count = m_list->rowCount();
    appendRow(qs(strfmt("%03d", count)));
    for (int row = count; row > selected; --row) {
        setCell(row, kValue, cell(row - 1, kValue));
        setCell(row, kDescription, cell(row - 1, kDescription));
    }
    setCell(selected, kValue, "");
    setCell(selected, kDescription, "");
}

void CEepromDlg::OnDelete() {
    const int selected = firstSelectedRow();
    if (selected < 0) return;
    hideEditor();
    m_list->removeRow(selected);
    for (int row = selected; row < m_list->rowCount(); ++row) setCell(row, kIndex, qs(strfmt("%03d", row)));
}

void CEepromDlg::hideEditor() {
    m_subEdit.hide();
    if (m_nEditRow < m_list->rowCount()) m_list->viewport()->update();
}

// A press anywhere in the list first puts the editor away (its text goes into its cell).
bool CEepromDlg::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_list->viewport() && event->type() == QEvent::MouseButtonPress) hideEditor();
    return ui::TemplatePage::eventFilter(watched, event);
}

// The editor opens after the list has taken the focus for the press, so it keeps the focus.
void CEepromDlg::OnClickList(const QModelIndex& index) {
    if (!index.isValid() || index.column() == kIndex) return;
    const QRect rect = m_list->visualRect(index);
    m_subEdit.setGeometry(QRect(m_list->viewport()->mapTo(this, rect.topLeft()), rect.size()));
    m_subEdit.setText(cell(index.row(), index.column()));
    m_subEdit.m_nItem = index.row();
    m_subEdit.m_nSubItem = index.column();
    m_subEdit.show();
    m_subEdit.raise();
    m_subEdit.setFocus(Qt::MouseFocusReason);
    m_subEdit.selectAll();
    m_nEditRow = index.row();
}

void CEepromDlg::OnColumnClickList(int column) {
    if (column != kValue) return;
    hideEditor();
    m_bHexValue = m_bHexValue ? 0 : 1;
    m_list->horizontalHeaderItem(kValue)->setText(m_bHexValue ? "Value(h)" : "Value(d)");
    // A value that does not read as a 32-bit number stays as typed (Save names its row); decimal
    // is shown unsigned, so switching back gives every value as it was.
    for (int row = 0; row < m_list->rowCount(); ++row) {
        const std::string text = cell(row, kValue).toUpper().toStdString();
        const bool fromHex = !m_bHexValue;
        if (text.empty() || (fromHex ? CheckHexString(text, 0xFFFFFFFF) : CheckDecString(text, 0xFFFFFFFF)) != 0)
            continue;
        const uint32_t value = fromHex ? scanHexText(text).value() : static_cast<uint32_t>(std::stoul(text));
        setCell(row, kValue, qs(m_bHexValue ? strfmt(m_bByteData ? "%02X" : "%04X", value) : strfmt("%u", value)));
    }
}

void CEepromDlg::OnSelectDataSize() {
    m_bByteData = controls().control<QComboBox>(kIdcEepromDataSize)->currentIndex() == 0 ? 1 : 0;
}

// Blanks pasted before or after the digits are no part of the address the field shows; a blank,
// sign or suffix among them is, and the field then holds no address.
std::optional<uint32_t> CEepromDlg::typedStartAddr() const {
    const std::string text = m_editStartAddr.text().trimmed().toUpper().toStdString();
    if (text.empty() || CheckHexString(text, 0x0FFFFFFF) != 0) return std::nullopt;
    return scanHexText(text).value() * 16;
}

void CEepromDlg::OnChangeStartAddr() { m_dwStartAddr = typedStartAddr().value_or(0); }

bool CEepromDlg::startAddrRead() {
    if (typedStartAddr()) return true;
    MessageBox("Start Address Error! Start Address must be HEX number", platform::MsgIcon::Error);
    return false;
}

// The field holds the address / 16; the address keeps only what the field shows, also when the
// text does not change and so brings no change notice.
void CEepromDlg::ShowStartAddr() {
    m_dwStartAddr = m_dwStartAddr / 16 * 16;
    m_editStartAddr.setText(qs(strfmt("%X", m_dwStartAddr / 16)));
}

bool CEepromDlg::rowValue(int row, uint32_t& value) {
    const std::string text = cell(row, kValue).toUpper().toStdString();
    const uint32_t limit = m_bByteData ? 0xFF : 0xFFFF;
    const uint32_t check = text.empty() ? 1 : m_bHexValue ? CheckHexString(text, limit) : CheckDecString(text, limit);
    if (check == 0) {
        value = m_bHexValue ? scanHexText(text).value() : static_cast<uint32_t>(std::stoul(text));
        return true;
    }
    if (check == 1)
        MessageBox(strfmt("Value Error! Value of row %03d must be %s number", row, m_bHexValue ? "HEX" : "digital"),
                   platform::MsgIcon::Error);
    else
        MessageBox(strfmt(m_bHexValue ? "Out of range! Value of row %03d must be <= %X" : "Out of range! Value of row %03d must be <= %d",
                          row, limit),
                   platform::MsgIcon::Error);
    return false;
}

void CEepromDlg::OnSave() {
    hideEditor();
    auto* files = controls().control<QComboBox>(kIdcEepromFile);
    const std::string name = files->currentText().toStdString();
    if (name.empty()) {
        MessageBox("No File Name was found!", platform::MsgIcon::Error);
        return;
    }
    if (!IsValidTableName(name)) {
        MessageBox("File Name Error! Name must have no blank, line break or path separator", platform::MsgIcon::Error);
        return;
    }
    if (!startAddrRead()) return;
    EepromTable table;
    table.startAddr = m_dwStartAddr;
    table.byteData = m_bByteData != 0;
    for (int row = 0; row < m_list->rowCount(); ++row) {
        const std::string index = cell(row, kIndex).toStdString();
        if (!IsOneLine(index) || index.find_first_of(" \t") != std::string::npos) {
            MessageBox(strfmt("Index Error! Index of row %03d must have no blank or line break", row),
                       platform::MsgIcon::Error);
            return;
        }
        uint32_t value = 0;
        if (!rowValue(row, value)) return;
        const std::string description = cell(row, kDescription).toStdString();
        if (!IsOneLine(description)) {
            MessageBox(strfmt("Description Error! Description of row %03d must have no line break", row),
                       platform::MsgIcon::Error);
            return;
        }
        table.rows.push_back({index, strfmt(m_bByteData ? "%02X" : "%04X", value), description});
    }
    m_strListPath = g_strExeDir + name + ".LST";
    bool saved = false;
    {
        platform::FileLock lock(m_strListPath);
        saved = platform::replaceFileDurably(m_strListPath, FormatEepromTable(name, table));
    }
    if (!saved) {
        MessageBox(strfmt("File could not be saved !\r\n%s", m_strListPath.c_str()), platform::MsgIcon::Error);
        return;
    }
    m_strTableName = name;
    if (files->findText(qs(name), Qt::MatchExactly | Qt::MatchCaseSensitive) < 0) {
        files->addItem(qs(name));
        files->model()->sort(0);
        files->setCurrentIndex(files->findText(qs(name), Qt::MatchExactly | Qt::MatchCaseSensitive));
    }
}

void CEepromDlg::OnSelectFile() {
    auto* files = controls().control<QComboBox>(kIdcEepromFile);
    const std::string name = files->itemText(files->currentIndex()).toStdString();
    if (name.empty()) {
        m_list->setRowCount(0);
        return;
    }
    hideEditor();
    const std::string path = TableFile(name);
    std::string text;
    std::optional<EepromTable> table;
    if (platform::readWholeFile(path, text) != 0) {
        MessageBox("File could not be opened !");
    } else if (!(table = ParseEepromTable(name, text))) {
        MessageBox("This file type is not correct!");
    }
    if (!table) {
        // The rows shown keep their own name, so Save never writes them over the refused file.
        files->setCurrentIndex(files->findText(qs(m_strTableName), Qt::MatchExactly | Qt::MatchCaseSensitive));
        files->setEditText(qs(m_strTableName));
        // A field that holds no address keeps its text, so Save still refuses it.
        if (typedStartAddr()) ShowStartAddr();
        return;
    }
    m_strListPath = path;
    m_strTableName = name;
    m_list->setRowCount(0);
    m_dwStartAddr = table->startAddr;
    m_bByteData = table->byteData ? 1 : 0;
    controls().control<QComboBox>(kIdcEepromDataSize)->setCurrentIndex(m_bByteData ? 0 : 1);
    for (const EepromRow& row : table->rows) {
        appendRow(qs(row.index));
        const std::string value = QString::fromStdString(row.value).toUpper().toStdString();
        const bool number = !value.empty() && CheckHexString(value, 0xFFFFFFFF) == 0;
        setCell(m_list->rowCount() - 1, kValue, qs(number ? strfmt("%u", scanHexText(value).value()) : row.value));
        setCell(m_list->rowCount() - 1, kDescription, qs(row.description));
    }
    m_list->horizontalHeaderItem(kValue)->setText("Value(d)");
    m_bHexValue = 0;
    ShowStartAddr();
}

void CEepromDlg::StartTransfer(bool read) {
    if (m_list->rowCount() == 0) {
        MessageBox("No item was found!", platform::MsgIcon::Error);
        return;
    }
    // The rows go to or come from the place the field shows, or nowhere.
    if (!startAddrRead()) return;
    if (read)
        for (int row = 0; row < m_list->rowCount(); ++row) setCell(row, kValue, "");
    bool idle = false;
    if (!g_bTaskWorking.compare_exchange_strong(idle, true)) return;
    g_hStopEvent.reset();
    const auto rows = static_cast<uint32_t>(m_list->rowCount());
    const EepromTransfer transfer{rows, m_bByteData ? rows : 2 * rows, 64, m_dwStartAddr % 64};
    const auto worker = read ? EepromReadThread : EepromWriteThread;
    if (!StartWorkThread([worker, transfer] { worker(transfer); })) g_bTaskWorking = false;
}

void CEepromDlg::OnRead() { StartTransfer(true); }
void CEepromDlg::OnWrite() { StartTransfer(false); }

void CEepromDlg::OnErase() {
    hideEditor();
    if (!startAddrRead()) return;
    CPageEraseDlg dialog(this);
    dialog.m_nFromPage = m_dwStartAddr / 512;
    dialog.m_nPageCount = 1;
    dialog.exec();
}
