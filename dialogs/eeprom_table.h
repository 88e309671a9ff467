#pragma once
// The EEPROM table file (".LST"): text lines
//     Kestrova <name>
//     <start address, %X>
//     BYTE | WORD
//     <name> <index> <value, %02X or %04X> <description>     one per row
//     Kestrova <name>
// written with CR LF; read with CR LF or LF. The description is the rest of its line, blanks
// included, and may be empty.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

struct EepromRow {
    std::string index;
    std::string value;  // as the file holds it, hexadecimal
    std::string description;
    bool operator==(const EepromRow&) const = default;
};

struct EepromTable {
    uint32_t startAddr = 0;
    bool byteData = true;
    std::vector<EepromRow> rows;
};

// The file's text; each row's value is written as given.
std::string FormatEepromTable(const std::string& name, const EepromTable& table);

// The table in a file's text, or nothing when its first line is not "Kestrova <name>" (letter
// case included) or its address line is no hexadecimal number. Rows end at the end of the text or
// at a repeated first line; empty lines are no rows.
std::optional<EepromTable> ParseEepromTable(const std::string& name, const std::string& text);

// A table name becomes a file name and starts every line: no blank, line break, path separator
// or NUL.
bool IsValidTableName(const std::string& name);
// A row's text stays on its line of the file: no CR or LF, which would end the line early and
// load back as a made-up row, or make the file unreadable.
bool IsOneLine(const std::string& text);
