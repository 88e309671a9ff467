#pragma once
// The byte loggers of the pages and dialogs: a byte appended to the operation list's last line,
// a line of bytes, and a log file that takes text only while a task runs. Nothing in the window
// opens a log file, so it stays silent until something does.
#include <cstdint>
#include <fstream>
#include <span>
#include <string>

class QListWidget;

// byteFormat (" %02X" unless given) for each byte: the line begins with a blank.
std::string BytesLineText(std::span<const uint8_t> bytes, const char* byteFormat = " %02X");

// " %02X" appended to the list's last line (a new line on an empty list), then scrolled to it.
void AppendByteToLastLine(QListWidget& list, uint8_t byte);
// The bytes as a new line of the list, then scrolled to it.
void AddBytesLine(QListWidget& list, std::span<const uint8_t> bytes);

class ByteLogFile {
public:
    // Writes text while g_bTaskWorking is set and the file is open.
    void write(const std::string& text);
    // Closes the file; a file that is not open stays as it is.
    void close();
    bool isOpen() const { return stream_.is_open(); }

private:
    std::ofstream stream_;
};
