#pragma once
// The byte loggers of the serial-flash page and its dump dialog: a line of bytes for the
// operation list, and a log file that takes text only while a task runs. Nothing opens the
// log file, so it stays silent until something does.
#include <cstdint>
#include <fstream>
#include <span>
#include <string>

// " %02X" for each byte: the line begins with a blank.
std::string BytesLineText(std::span<const uint8_t> bytes);

class ByteLogFile {
public:
    // Writes text while g_bTaskWorking is set and the file is open.
    void write(const std::string& text);

private:
    std::ofstream stream_;
};
