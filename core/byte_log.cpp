#include "core/byte_log.h"

#include <QListWidget>

#include "core/control_set_page.h"
#include "core/globals.h"
#include "platform/strfmt.h"

std::string BytesLineText(std::span<const uint8_t> bytes, const char* byteFormat) {
    std::string line;
    for (uint8_t byte : bytes) line += strfmt(byteFormat, byte);
    return line;
}

void AppendByteToLastLine(QListWidget& list, uint8_t byte) {
    const QString tail = QString::fromStdString(strfmt(" %02X", byte));
    if (list.count() == 0) {
        list.addItem(tail);
    } else {
        QListWidgetItem* last = list.item(list.count() - 1);
        last->setText(last->text() + tail);
    }
    ScrollToLastLines(list);
}

void AddBytesLine(QListWidget& list, std::span<const uint8_t> bytes) {
    list.addItem(QString::fromStdString(BytesLineText(bytes)));
    ScrollToLastLines(list);
}

void ByteLogFile::write(const std::string& text) {
    if (g_bTaskWorking && stream_.is_open()) stream_ << text;
}

void ByteLogFile::close() {
    if (stream_.is_open()) stream_.close();
}
