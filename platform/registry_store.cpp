#include "platform/registry_store.h"

#include <cerrno>
#include <optional>
#include <strings.h>

#include "platform/durable_file.h"
#include "platform/hex_digits.h"
#include "platform/paths.h"
#include "platform/strfmt.h"

// File format, one item a line ("\n" ends; a trailing "\r" is ignored):
//   [Software\Maker\Program]       a key path
//   "Total Count"=dword:00000005   a 32-bit number, eight hexadecimal digits
//   "Parameter File"="a.data"      a text; \\ \" and \xHH escape the backslash, the quote and
//                                  control characters, in texts and in value names alike
//   "Blob"=hex:0a,ff,00            bytes
// Lines starting with ';' or '#' and blank lines are ignored, and so is any line that does not
// parse: a damaged line costs that one value, never the rest of the store.

namespace platform {
namespace {

struct Section {
    std::string key;
    std::vector<std::pair<std::string, RegValue>> values;
};
using Store = std::vector<Section>;

bool sameName(const std::string& a, const std::string& b) {
    return a.size() == b.size() && strncasecmp(a.c_str(), b.c_str(), a.size()) == 0;
}

std::string quoted(const std::string& text) {
    std::string out = "\"";
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '\\' || c == '"') {
            out += '\\';
            out += c;
        } else if (byte < 0x20 || byte == 0x7F) {
            out += strfmt("\\x%02X", byte);
        } else {
            out += c;
        }
    }
    return out + "\"";
}

// Reads a quoted text at pos; pos moves past the closing quote.
std::optional<std::string> unquote(const std::string& line, size_t& pos) {
    if (pos >= line.size() || line[pos] != '"') return std::nullopt;
    std::string text;
    for (++pos; pos < line.size(); ++pos) {
        const char c = line[pos];
        if (c == '"') {
            ++pos;
            return text;
        }
        if (c != '\\') {
            text += c;
            continue;
        }
        if (++pos >= line.size()) return std::nullopt;
        const char escaped = line[pos];
        if (escaped == '\\' || escaped == '"') {
            text += escaped;
        } else if (escaped == 'x' && pos + 2 < line.size() && hexDigitValue(line[pos + 1]) >= 0 &&
                   hexDigitValue(line[pos + 2]) >= 0) {
            text +=
                static_cast<char>(hexDigitValue(line[pos + 1]) * 16 + hexDigitValue(line[pos + 2]));
            pos += 2;
        } else {
            return std::nullopt;
        }
    }
    return std::nullopt;
}

std::optional<RegValue> parseData(const std::string& data) {
    if (data.rfind("dword:", 0) == 0) {
        const auto number = hexField(std::string_view(data).substr(6));
        if (data.size() != 6 + 8 || !number) return std::nullopt;
        return RegValue::dword(*number);
    }
    if (data.rfind("hex:", 0) == 0) {
        std::vector<uint8_t> bytes;
        const std::string list = data.substr(4);
        for (size_t pos = 0; pos < list.size(); pos += 3) {
            if (pos + 2 > list.size() || hexDigitValue(list[pos]) < 0 ||
                hexDigitValue(list[pos + 1]) < 0)
                return std::nullopt;
            if (pos + 2 < list.size() && list[pos + 2] != ',') return std::nullopt;
            bytes.push_back(
                static_cast<uint8_t>(hexDigitValue(list[pos]) * 16 + hexDigitValue(list[pos + 1])));
        }
        return RegValue::binary(bytes);
    }
    size_t pos = 0;
    const auto text = unquote(data, pos);
    if (!text || pos != data.size() || text->find('\0') != std::string::npos) return std::nullopt;
    return RegValue::string(*text);
}

void setValue(Section& section, const std::string& name, const RegValue& value) {
    for (auto& [stored, old] : section.values) {
        if (sameName(stored, name)) {
            old = value;
            return;
        }
    }
    section.values.emplace_back(name, value);
}

Section& sectionOf(Store& store, const std::string& key) {
    for (auto& section : store)
        if (sameName(section.key, key)) return section;
    store.push_back({key, {}});
    return store.back();
}

Store parse(const std::string& text) {
    Store store;
    Section* current = nullptr;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        start = end + 1;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty() || line[0] == ';' || line[0] == '#') continue;
        if (line[0] == '[') {
            current = line.size() > 2 && line.back() == ']'
                          ? &sectionOf(store, line.substr(1, line.size() - 2))
                          : nullptr;
            continue;
        }
        size_t pos = 0;
        const auto name = unquote(line, pos);
        if (!current || !name || pos >= line.size() || line[pos] != '=') continue;
        if (const auto value = parseData(line.substr(pos + 1))) setValue(*current, *name, *value);
    }
    return store;
}

std::string serialise(const Store& store) {
    std::string text = "; swd-isp settings\n";
    for (const auto& section : store) {
        text += "[" + section.key + "]\n";
        for (const auto& [name, value] : section.values) {
            text += quoted(name) + "=";
            if (value.type == RegType::Dword && value.data.size() == 4) {
                const uint32_t number = value.data[0] | value.data[1] << 8 | value.data[2] << 16 |
                                        static_cast<uint32_t>(value.data[3]) << 24;
                text += strfmt("dword:%08X", number);
            } else if (value.type == RegType::String && !value.data.empty()) {
                text += quoted(std::string(value.data.begin(), value.data.end() - 1));
            } else {
                text += "hex:";
                for (size_t i = 0; i < value.data.size(); ++i)
                    text += strfmt(i ? ",%02x" : "%02x", value.data[i]);
            }
            text += "\n";
        }
    }
    return text;
}

// The store as it is on disk; Unavailable when the file exists but cannot be read.
StoreResult load(Store& store) {
    std::string text;
    const int error = readWholeFile(registryStorePath(), text);
    if (error != 0 && error != ENOENT) return StoreResult::Unavailable;
    store = parse(text);
    return StoreResult::Ok;
}

}  // namespace

RegValue RegValue::dword(uint32_t number) {
    return {RegType::Dword,
            {static_cast<uint8_t>(number), static_cast<uint8_t>(number >> 8),
             static_cast<uint8_t>(number >> 16), static_cast<uint8_t>(number >> 24)}};
}

RegValue RegValue::string(const std::string& text) {
    const std::string upToZero(text.c_str());
    RegValue value{RegType::String, {upToZero.begin(), upToZero.end()}};
    value.data.push_back(0);
    return value;
}

RegValue RegValue::binary(std::span<const uint8_t> bytes) {
    return {RegType::Binary, {bytes.begin(), bytes.end()}};
}

std::string registryStorePath() { return configFolder() + "settings"; }

StoreResult registryOpenStore() {
    Store store;
    return load(store);
}

namespace {
StoreObserver g_observer;
}

void setStoreObserverForTest(StoreObserver observer) { g_observer = std::move(observer); }

StoreResult registryRead(const std::string& key, const std::string& name, RegValue& value) {
    if (g_observer) g_observer(StoreAccess::Read, name, RegValue{});
    Store store;
    if (load(store) != StoreResult::Ok) return StoreResult::Unavailable;
    for (const auto& section : store) {
        if (!sameName(section.key, key)) continue;
        for (const auto& [stored, found] : section.values) {
            if (sameName(stored, name)) {
                value = found;
                return StoreResult::Ok;
            }
        }
    }
    return StoreResult::NotFound;
}

StoreResult registryWrite(const std::string& key, const std::string& name, const RegValue& value) {
    if (g_observer) g_observer(StoreAccess::Write, name, value);
    const std::string path = registryStorePath();
    makeFolders(configFolder());
    const FileLock lock(path);
    Store store;
    if (!lock.locked() || load(store) != StoreResult::Ok) return StoreResult::Unavailable;
    setValue(sectionOf(store, key), name, value);
    return replaceFileDurably(path, serialise(store)) ? StoreResult::Ok : StoreResult::Unavailable;
}

}  // namespace platform
