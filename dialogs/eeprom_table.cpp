#include "dialogs/eeprom_table.h"

#include <string_view>

#include "controls/number_text.h"
#include "core/validators.h"
#include "platform/strfmt.h"
#include "platform/text_lines.h"

namespace {

std::string Header(const std::string& name) { return "Kestrova " + name; }

// The text up to the next blank, and the rest after it; the whole text when there is no blank.
std::string TakeField(std::string& rest) {
    const size_t blank = rest.find(' ');
    std::string field = rest.substr(0, blank);
    rest = blank == std::string::npos ? std::string() : rest.substr(blank + 1);
    return field;
}

}  // namespace

std::string FormatEepromTable(const std::string& name, const EepromTable& table) {
    std::string text = Header(name) + "\r\n";
    text += strfmt("%X\r\n", table.startAddr);
    text += table.byteData ? "BYTE\r\n" : "WORD\r\n";
    for (const EepromRow& row : table.rows)
        text += name + " " + row.index + " " + row.value + " " + row.description + "\r\n";
    return text + Header(name) + "\r\n";
}

std::optional<EepromTable> ParseEepromTable(const std::string& name, const std::string& text) {
    const std::vector<std::string> lines = platform::splitLines(text);
    if (lines.empty() || lines[0] != Header(name)) return std::nullopt;
    EepromTable table;
    const std::string address = lines.size() > 1 ? lines[1] : std::string();
    if (address.empty() || address.size() > 8 || CheckHexString(address, 0xFFFFFFFF) != 0) return std::nullopt;
    table.startAddr = scanHexText(address).value();
    table.byteData = lines.size() > 2 && lines[2] == "BYTE";
    for (size_t i = 3; i < lines.size() && lines[i] != lines[0]; ++i) {
        if (lines[i].empty()) continue;
        std::string rest = lines[i];
        TakeField(rest);  // the table name
        EepromRow row;
        row.index = TakeField(rest);
        row.value = TakeField(rest);
        row.description = rest;
        table.rows.push_back(std::move(row));
    }
    return table;
}

bool IsValidTableName(const std::string& name) {
    // A NUL would end the file's path early, so that another file of the folder is meant.
    constexpr std::string_view kRefused(" \t/\\\0", 5);
    return !name.empty() && IsOneLine(name) && name.find_first_of(kRefused) == std::string::npos;
}

bool IsOneLine(const std::string& text) { return text.find_first_of("\r\n") == std::string::npos; }
