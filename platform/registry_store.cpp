#include "platform/registry_store.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <map>
#include <mutex>
#include <optional>
#include <unordered_map>
#include <utility>

#include "platform/debug.h"
#include "platform/durable_file.h"
#include "platform/hex_digits.h"
#include "platform/last_seen_file.h"
#include "platform/paths.h"
#include "platform/strfmt.h"
#include "platform/text_lines.h"

// File format, one item a line ("\n" ends; "\r\n" or a lone "\r" from an editor too, and a
// leading UTF-8 byte-order mark is skipped):
//   [Software\Maker\Program]       a key path
//   "Total Count"=dword:00000005   a 32-bit number, eight hexadecimal digits
//   "Parameter File"="a.data"      a text; \\ \" and \xHH escape the backslash, the quote and
//                                  control characters, in texts and in value names alike
//   "Blob"=hex:0a,ff,00            bytes
// Lines starting with ';' or '#' and blank lines are ignored. A line that does not parse costs
// that one value, never the rest of the store, and every save writes it back as it stands, under
// its key (or its damaged key line), so that a person can still mend it.

namespace platform {
namespace {

// Names are looked up by their ASCII lower-case form, so a file of n lines parses in time
// linear in n.
std::string folded(const std::string& name) {
    std::string lower = name;
    for (char& c : lower)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return lower;
}

struct Section {
    std::string key;  // of a key line that cannot be read: the line itself, empty before any key
    std::vector<std::pair<std::string, RegValue>> values;  // in file order
    std::unordered_map<std::string, size_t> index;         // folded name -> position
    bool readable = true;
    // Lines that cannot be read, as they stand, with the folded name of the value each would
    // hold ("" when its name cannot be read either).
    std::vector<std::pair<std::string, std::string>> unread;
};

struct Store {
    std::vector<Section> sections;
    std::unordered_map<std::string, size_t> index;  // folded key -> position, readable keys only
};

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
    const auto [at, added] = section.index.emplace(folded(name), section.values.size());
    if (added)
        section.values.emplace_back(name, value);
    else
        section.values[at->second].second = value;
}

const RegValue* findValue(const Section& section, const std::string& name) {
    const auto at = section.index.find(folded(name));
    return at == section.index.end() ? nullptr : &section.values[at->second].second;
}

size_t sectionIndex(Store& store, const std::string& key) {
    const auto [at, added] = store.index.emplace(folded(key), store.sections.size());
    if (added) store.sections.push_back({key, {}, {}, true, {}});
    return at->second;
}

Section& sectionOf(Store& store, const std::string& key) { return store.sections[sectionIndex(store, key)]; }

const Section* findSection(const Store& store, const std::string& key) {
    const auto at = store.index.find(folded(key));
    return at == store.index.end() ? nullptr : &store.sections[at->second];
}

// The section of lines that no readable key line heads: a damaged key line, or none at all.
size_t unreadableSection(Store& store, const std::string& line) {
    store.sections.push_back({line, {}, {}, false, {}});
    return store.sections.size() - 1;
}

Store parse(const std::string& text) {
    Store store;
    std::optional<size_t> current;
    const std::vector<std::string> lines = splitEditedText(text).lines;
    for (const std::string& line : lines) {
        if (line.empty() || line[0] == ';' || line[0] == '#') continue;
        if (line[0] == '[') {
            const bool readable = line.size() > 2 && line.back() == ']';
            current = readable ? sectionIndex(store, line.substr(1, line.size() - 2)) : unreadableSection(store, line);
            continue;
        }
        if (!current) current = unreadableSection(store, "");
        Section& section = store.sections[*current];
        size_t pos = 0;
        const auto name = unquote(line, pos);
        const bool entry = name && pos < line.size() && line[pos] == '=';
        const auto value = entry ? parseData(line.substr(pos + 1)) : std::nullopt;
        if (section.readable && value)
            setValue(section, *name, *value);
        else
            section.unread.emplace_back(entry ? folded(*name) : "", line);
    }
    return store;
}

std::string serialise(const Store& store) {
    std::string text = "; swd-isp settings\n";
    for (const auto& section : store.sections) {
        if (section.readable)
            text += "[" + section.key + "]\n";
        else if (!section.key.empty())
            text += section.key + "\n";
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
        for (const auto& line : section.unread) text += line.second + "\n";
    }
    return text;
}

enum class FileState { Readable, Damaged, Unavailable };

// The store as last parsed, with the identity of the file it came from. A readable file
// stays open so its inode number cannot be reused by a later file while the two are compared.
struct Cache {
    std::string path;  // empty while nothing is known
    int fd = -1;
    struct stat identity {};
    FileState state = FileState::Unavailable;
    FileLoss loss = FileLoss::None;  // a lost file reads as the store this copy last saw
    bool outOfDate = false;          // the version this copy saw has a name elsewhere
    Store store;

    void forget() {
        if (fd >= 0) ::close(fd);
        fd = -1;
        path.clear();
    }
};

std::mutex g_storeLock;  // guards g_cache and the batch; taken before the file lock, never after it
Cache g_cache;
LastSeenFile g_seen;         // the store as this copy last read or wrote it, under registryStorePath()
int g_batches = 0;           // read batches alive
bool g_batchRead = false;    // g_cache was brought up to the file within them

bool sameFile(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino && a.st_mode == b.st_mode && a.st_size == b.st_size &&
           a.st_mtim.tv_sec == b.st_mtim.tv_sec && a.st_mtim.tv_nsec == b.st_mtim.tv_nsec &&
           a.st_ctim.tv_sec == b.st_ctim.tv_sec && a.st_ctim.tv_nsec == b.st_ctim.tv_nsec;
}

struct NumberRules {
    StoreCarry carry;
    StoreOvertaken overtaken;
};
std::map<std::string, NumberRules>& carries() {
    static std::map<std::string, NumberRules> byFoldedKey;
    return byFoldedKey;
}

std::string carried(const std::string& view, const std::string& found);
void tellOvertaken(const Store& found);

void traceDamaged(const std::string& path, int error) {
    DebugTrace(strfmt("settings store %s is damaged (%s): defaults are used and the file is left as it is",
                      path.c_str(), error == EFBIG ? "too large" : "not a regular file"));
}

// How often a read cut short is tried again before the store counts as unreadable.
constexpr int kReadAttempts = 3;

// Brings g_cache up to the file on disk (a read within a batch: once); call with g_storeLock
// held. A write names the file it locked, which it reads whatever a link in the store's place
// names by then.
const Cache& refresh(const std::string& lockedFile = {}) {
    const bool forWrite = !lockedFile.empty();
    if (!forWrite && g_batches > 0) {
        if (g_batchRead) return g_cache;
        g_batchRead = true;
    }
    const std::string path = forWrite ? lockedFile : registryStorePath();
    if (path.empty()) {
        g_cache.forget();
        g_cache.state = FileState::Unavailable;
        return g_cache;
    }
    int fd = -1;
    struct stat identity {};
    int error = 0;
    std::string text;
    // A read cut short (the file was cut meanwhile) is not the store: the file is opened again,
    // as it now stands.
    for (int attempt = 1;; ++attempt) {
        error = openForReading(path, kMaxSettingsFileBytes, fd, identity);
        const bool damaged = error == EINVAL || error == EFBIG;
        if ((error == 0 || damaged) && g_cache.path == path && sameFile(identity, g_cache.identity)) {
            if (fd >= 0) ::close(fd);
            return g_cache;
        }
        if (error != 0 || identity.st_size == 0) break;
        error = readOpenedFile(fd, identity, kMaxSettingsFileBytes, text);
        if (error != EIO || attempt == kReadAttempts) break;
        ::close(fd);
        fd = -1;
    }
    const bool damaged = error == EINVAL || error == EFBIG;
    g_cache.forget();
    g_cache.store = {};
    g_cache.loss = FileLoss::None;
    g_cache.outOfDate = false;
    if (error == ENOENT || (error == 0 && identity.st_size == 0)) {
        if (fd >= 0) ::close(fd);
        g_cache.state = FileState::Readable;
        g_cache.loss = g_seen.lossOf(registryStorePath(), error == 0 ? &identity : nullptr);
        if (g_cache.loss != FileLoss::None) g_cache.store = parse(g_seen.contents());
        return g_cache;
    }
    if (damaged) {
        traceDamaged(path, error);
        g_cache.state = FileState::Damaged;
        g_cache.path = path;
        g_cache.identity = identity;
        return g_cache;
    }
    if (error != 0) {
        if (fd >= 0) ::close(fd);
        g_cache.state = FileState::Unavailable;
        return g_cache;
    }
    const FoundView view = g_seen.found(registryStorePath(), std::move(text), ::dup(fd), carried);
    g_cache.store = parse(view.text);
    if (view.overtaken) tellOvertaken(g_cache.store);
    g_cache.outOfDate = view.outOfDate;
    g_cache.state = FileState::Readable;
    g_cache.path = path;
    g_cache.fd = fd;
    g_cache.identity = identity;
    return g_cache;
}

// Takes the file just written (fd, taken over), over the version read, as the cached one, so
// the next read parses nothing.
void remember(const std::string& path, int fd, Store store, std::string text) {
    struct stat identity {};
    g_seen.wrote(registryStorePath(), std::move(text), ::dup(fd), g_cache.fd);
    g_cache.forget();
    g_cache.loss = FileLoss::None;
    g_cache.outOfDate = false;
    if (::fstat(fd, &identity) != 0) {
        ::close(fd);
        return;
    }
    g_cache.path = path;
    g_cache.fd = fd;
    g_cache.identity = identity;
    g_cache.state = FileState::Readable;
    g_cache.store = std::move(store);
}

StoreObserver g_observer;

class SectionValues final : public RegKeyValues {
public:
    // observed: a set is a write of the program's that a test may watch (not a number carried in).
    SectionValues(Section& section, bool unreadableKeys, bool observed = true)
        : section_(section), unreadableKeys_(unreadableKeys), observed_(observed) {}
    const RegValue* find(const std::string& name) const override { return findValue(section_, name); }
    bool unreadable(const std::string& name) const override {
        const std::string lower = folded(name);
        return unreadableKeys_ || std::any_of(section_.unread.begin(), section_.unread.end(), [&](const auto& line) {
                   return line.first.empty() || line.first == lower;
               });
    }
    void set(const std::string& name, const RegValue& value) override {
        if (g_observer && observed_) g_observer(name, value);
        setValue(section_, name, value);
        std::erase_if(section_.unread, [lower = folded(name)](const auto& line) { return line.first == lower; });
        changed_ = true;
    }
    bool changed() const { return changed_; }

private:
    Section& section_;
    bool unreadableKeys_;
    bool observed_;
    bool changed_ = false;
};

bool anyUnreadableKey(const Store& store) {
    return std::any_of(store.sections.begin(), store.sections.end(), [](const Section& section) { return !section.readable; });
}

// The file found, with the numbers of this copy's view carried in by each key's rule.
std::string carried(const std::string& view, const std::string& found) {
    Store seen = parse(view), store = parse(found);
    for (const auto& [key, rules] : carries()) {
        const auto had = seen.index.find(key);
        if (had == seen.index.end()) continue;
        Section& section = seen.sections[had->second];
        const SectionValues from(section, anyUnreadableKey(seen));
        SectionValues into(sectionOf(store, section.key), anyUnreadableKey(store), false);
        rules.carry(from, into);
    }
    return serialise(store);
}

void tellOvertaken(const Store& found) {
    for (const auto& [key, rules] : carries()) {
        if (!rules.overtaken) continue;
        Store store = found;
        const SectionValues values(sectionOf(store, key), anyUnreadableKey(store), false);
        rules.overtaken(registryStorePath(), values);
    }
}

// A setting written while this copy's view is out of date: into the file as it stands under the
// lock (made anew with the setting alone when there is none), its own numbers and counts kept and
// none of this copy's view carried in. The version replaced is marked as one another copy went on
// from; this copy's view stays as it was, out of date.
StoreResult updateAside(const FileLock& lock, const std::string& key,
                        const std::function<void(RegKeyValues&)>& change) {
    int read = -1;
    const FileContents file = readRegularFile(lock.file(), kMaxSettingsFileBytes, &read);
    if (file.error != 0 && file.error != ENOENT) return StoreResult::Unavailable;
    // An empty file holds no numbers for the write to carry on: it stays unmarked.
    if (file.contents.empty() && read >= 0) ::close(std::exchange(read, -1));
    Store store = parse(file.contents);
    SectionValues values(sectionOf(store, key), anyUnreadableKey(store));
    change(values);
    int written = -1;
    if (values.changed()) {
        written = replaceLockedFile(lock, serialise(store), [&] { return read >= 0 && !wentOnFrom(read); });
        if (written >= 0) {
            if (read >= 0) markWentOnFrom(read);
            g_seen.wroteAside(registryStorePath(), written);
        }
        g_cache.forget();
        g_batchRead = false;  // a read batch reads the file anew
    }
    if (read >= 0) ::close(read);
    return !values.changed() || written >= 0 ? StoreResult::Ok : StoreResult::Unavailable;
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

StoreReadBatch::StoreReadBatch() {
    std::lock_guard guard(g_storeLock);
    ++g_batches;
}

StoreReadBatch::~StoreReadBatch() {
    std::lock_guard guard(g_storeLock);
    if (--g_batches == 0) g_batchRead = false;
}

std::string registryStorePath() {
    const std::string folder = configFolder();
    return folder.empty() ? "" : folder + "settings";
}

StoreResult registryOpenStore() {
    std::lock_guard guard(g_storeLock);
    return refresh().state == FileState::Unavailable ? StoreResult::Unavailable : StoreResult::Ok;
}

void setStoreObserverForTest(StoreObserver observer) { g_observer = std::move(observer); }

void setStoreCarry(const std::string& key, StoreCarry carry, StoreOvertaken overtaken) {
    std::lock_guard guard(g_storeLock);
    carries()[folded(key)] = {carry, overtaken};
}

StoreResult registryRead(const std::string& key, const std::string& name, RegValue& value) {
    std::lock_guard guard(g_storeLock);
    const Cache& cache = refresh();
    if (cache.state == FileState::Unavailable) return StoreResult::Unavailable;
    const Section* section = findSection(cache.store, key);
    const RegValue* found = section ? findValue(*section, name) : nullptr;
    if (!found) return StoreResult::NotFound;
    value = *found;
    return StoreResult::Ok;
}

StoreResult registryInspect(const std::string& key, const std::function<void(const RegKeyValues&)>& look) {
    std::lock_guard guard(g_storeLock);
    const Cache& cache = refresh();
    if (cache.state != FileState::Readable) return StoreResult::Unavailable;
    Store store = cache.store;
    const SectionValues values(sectionOf(store, key), anyUnreadableKey(store), false);
    look(values);
    return StoreResult::Ok;
}

StoreResult registryUpdate(const std::string& key, const std::function<void(RegKeyValues&)>& change,
                           StaleWrite stale) {
    std::lock_guard guard(g_storeLock);
    const std::string path = registryStorePath();
    if (path.empty()) return StoreResult::Unavailable;
    makeFolders(configFolder());
    // A link in the store's place is written through: the lock and the new file are beside
    // the file it names.
    const FileLock lock(path);
    if (!lock.locked()) return lock.openError() != 0 ? StoreResult::LockNotOpened : StoreResult::Unavailable;
    const Cache& cache = refresh(lock.file());
    const bool outOfDate = cache.loss == FileLoss::Stale || cache.outOfDate;
    if (cache.state != FileState::Readable) return StoreResult::Unavailable;
    if (outOfDate && stale == StaleWrite::Refuse) return StoreResult::OutOfDate;
    if (outOfDate && stale == StaleWrite::Setting) return updateAside(lock, key, change);
    Store store = cache.store;
    SectionValues values(sectionOf(store, key), anyUnreadableKey(store));
    change(values);
    if (!values.changed()) return StoreResult::Ok;
    std::string text = serialise(store);
    const int written = replaceLockedFile(lock, text, [] { return g_cache.fd >= 0 && !wentOnFrom(g_cache.fd); });
    if (written < 0) {
        g_cache.forget();
        return StoreResult::Unavailable;
    }
    remember(lock.file(), written, std::move(store), std::move(text));
    return StoreResult::Ok;
}

StoreResult registryWrite(const std::string& key, const std::string& name, const RegValue& value, StaleWrite stale) {
    return registryUpdate(key, [&](RegKeyValues& values) { values.set(name, value); }, stale);
}

}  // namespace platform
