#include "platform/ini_file.h"

#include <cerrno>
#include <cstring>
#include <map>
#include <mutex>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/durable_file.h"
#include "platform/last_seen_file.h"
#include "platform/text_lines.h"

namespace platform {
namespace {

constexpr const char* kBlanks = " \t";

std::string trimmed(const std::string& text) {
    const auto first = text.find_first_not_of(kBlanks);
    if (first == std::string::npos) return {};
    return text.substr(first, text.find_last_not_of(kBlanks) - first + 1);
}

bool sameName(const std::string& a, const std::string& b) {
    return a.size() == b.size() && strncasecmp(a.c_str(), b.c_str(), a.size()) == 0;
}

// The name of a section header line, or nothing for any other line.
std::optional<std::string> headerName(const std::string& line) {
    const std::string text = trimmed(line);
    if (text.empty() || text[0] != '[') return std::nullopt;
    const auto close = text.find(']');
    return trimmed(text.substr(1, close == std::string::npos ? std::string::npos : close - 1));
}

struct Entry {
    std::string key, value;
};

// A key=value line; comments, blank lines and lines without '=' give nothing.
std::optional<Entry> entryOf(const std::string& line) {
    const std::string text = trimmed(line);
    const auto equals = text.find('=');
    if (text.empty() || text[0] == ';' || equals == std::string::npos) return std::nullopt;
    return Entry{trimmed(text.substr(0, equals)), trimmed(text.substr(equals + 1))};
}

// The first section of that name: the index of its header line and the index just past its
// last line. Nothing when the section is absent.
struct SectionLines {
    size_t header, end;
};
std::optional<SectionLines> findSection(const std::vector<std::string>& lines,
                                        const std::string& section) {
    for (size_t i = 0; i < lines.size(); ++i) {
        const auto name = headerName(lines[i]);
        if (!name || !sameName(*name, section)) continue;
        size_t end = i + 1;
        while (end < lines.size() && !headerName(lines[end])) ++end;
        return SectionLines{i, end};
    }
    return std::nullopt;
}

std::vector<std::string> readLines(const std::string& file) {
    std::string text;
    if (file.empty() || readWholeFile(file, text) != 0) return {};
    return splitEditedText(text).lines;
}

std::vector<Entry> sectionEntries(const std::vector<std::string>& lines, const std::string& section) {
    std::vector<Entry> entries;
    if (const auto span = findSection(lines, section)) {
        for (size_t i = span->header + 1; i < span->end; ++i)
            if (const auto entry = entryOf(lines[i])) entries.push_back(*entry);
    }
    return entries;
}

std::string unquoted(const std::string& value) {
    if (value.size() >= 2 && (value[0] == '"' || value[0] == '\'') && value.back() == value[0])
        return value.substr(1, value.size() - 2);
    return value;
}

std::optional<std::string> valueOf(const std::vector<std::string>& lines, const std::string& section,
                                   const std::string& key) {
    for (const auto& entry : sectionEntries(lines, section))
        if (sameName(entry.key, key)) return unquoted(entry.value);
    return std::nullopt;
}

// Applies one write to the lines; false when nothing changes.
bool applyWrite(std::vector<std::string>& lines, const std::string& section,
                const std::optional<std::string>& key, const std::optional<std::string>& value) {
    const auto span = findSection(lines, section);
    if (!key) {
        if (!span) return false;
        lines.erase(lines.begin() + static_cast<long>(span->header),
                    lines.begin() + static_cast<long>(span->end));
        return true;
    }
    if (!span) {
        if (!value) return false;
        lines.push_back("[" + section + "]");
        lines.push_back(*key + "=" + *value);
        return true;
    }
    size_t insertAt = span->header + 1;
    for (size_t i = span->header + 1; i < span->end; ++i) {
        if (!trimmed(lines[i]).empty()) insertAt = i + 1;
        const auto entry = entryOf(lines[i]);
        if (!entry || !sameName(entry->key, *key)) continue;
        if (value)
            lines[i] = entry->key + "=" + *value;
        else
            lines.erase(lines.begin() + static_cast<long>(i));
        return true;
    }
    if (!value) return false;
    lines.insert(lines.begin() + static_cast<long>(insertAt), *key + "=" + *value);
    return true;
}

}  // namespace

std::string profileString(const std::string& file, const std::string& section,
                          const std::string& key, const std::string& fallback) {
    return valueOf(readLines(file), section, key).value_or(fallback);
}

std::vector<std::string> profileKeyNames(const std::string& file, const std::string& section) {
    std::vector<std::string> names;
    for (const auto& entry : sectionEntries(readLines(file), section)) names.push_back(entry.key);
    return names;
}

std::vector<std::string> profileSectionNames(const std::string& file) {
    std::vector<std::string> names;
    for (const auto& line : readLines(file))
        if (const auto name = headerName(line)) names.push_back(*name);
    return names;
}

std::vector<std::string> profileSection(const std::string& file, const std::string& section) {
    const auto lines = readLines(file);
    std::vector<std::string> texts;
    const auto span = findSection(lines, section);
    for (size_t i = span ? span->header + 1 : 0; span && i < span->end; ++i) {
        const std::string text = trimmed(lines[i]);
        if (text.empty() || text[0] == ';') continue;
        const auto entry = entryOf(text);
        texts.push_back(entry ? entry->key + "=" + entry->value : text);
    }
    return texts;
}

namespace {

// True when the file may hold key of section where the reader cannot make it out: a line of
// the section (or of a later one of its name, or after a line naming it that is not read as
// its header, such as one behind a second byte-order mark), or one before the first section,
// that names the key but is not an entry the reader takes for it (a quoted name, say).
bool mayHoldUnread(const std::vector<std::string>& lines, const std::string& section, const std::string& key) {
    const std::string header = "[" + section;
    bool inSection = true;  // the lines before the first section header
    for (const auto& line : lines) {
        if (const auto name = headerName(line)) {
            inSection = sameName(*name, section);
            continue;
        }
        const std::string text = trimmed(line);
        if (text.empty() || text[0] == ';') continue;
        if (strcasestr(text.c_str(), header.c_str()) != nullptr) {
            inSection = true;
            continue;
        }
        const auto entry = entryOf(text);
        if (inSection && strcasestr((entry ? entry->key : text).c_str(), key.c_str()) != nullptr) return true;
    }
    return false;
}

enum class Edit { Unchanged, Changed, Refused };

// Each INI file as this copy last read or wrote it, by the name the program gives it.
std::mutex g_seenLock;
std::map<std::string, LastSeenFile> g_seen;

struct CarryRule {
    std::string section, key;
    IniCarry carry;
    IniOvertaken overtaken;
};
std::vector<CarryRule>& carries() {
    static std::vector<CarryRule> rules;
    return rules;
}

// The lines as a file's text, with the byte-order mark it began with and Windows line ends.
std::string textOf(bool byteOrderMark, const std::vector<std::string>& lines) {
    std::string contents = byteOrderMark ? kUtf8ByteOrderMark : "";
    for (const auto& line : lines) contents += line + "\r\n";
    return contents;
}

// The file found, with the values of this copy's view carried in by their rules; a value the
// file may hold in a line the reader cannot take is left to the write's own refusal.
std::string carried(const std::string& view, const std::string& found) {
    const std::vector<std::string> seen = splitEditedText(view).lines;
    auto [byteOrderMark, lines] = splitEditedText(found);
    for (const CarryRule& rule : carries()) {
        const std::optional<std::string> had = valueOf(lines, rule.section, rule.key);
        if (!had && mayHoldUnread(lines, rule.section, rule.key)) continue;
        const std::optional<std::string> value = rule.carry(valueOf(seen, rule.section, rule.key), had);
        if (value && value != had) applyWrite(lines, rule.section, rule.key, value);
    }
    return textOf(byteOrderMark, lines);
}

// Tells each rule of the value in a file found after another copy wrote over this copy's view;
// a value the file may hold in a line the reader cannot take is left to the write's own refusal.
void tellOvertaken(const std::string& file, const std::string& found) {
    const std::vector<std::string> lines = splitEditedText(found).lines;
    for (const CarryRule& rule : carries()) {
        if (!rule.overtaken) continue;
        const std::optional<std::string> has = valueOf(lines, rule.section, rule.key);
        if (has || !mayHoldUnread(lines, rule.section, rule.key)) rule.overtaken(file, has);
    }
}

// The version of the file that a write read, held open to mark it once replaced.
struct ReadVersion {
    int fd = -1;
    ReadVersion() = default;
    ReadVersion(const ReadVersion&) = delete;
    ReadVersion& operator=(const ReadVersion&) = delete;
    ~ReadVersion() {
        if (fd >= 0) ::close(fd);
    }
};

// The file's text read under its lock; a file this copy saw and finds removed or empty gives
// the text it last saw, and one made anew without this copy's numbers gives them carried in.
// False when it cannot be read, or this copy's view is out of date and stale refuses (outOfDate
// set); for a setting, aside is then set and the text is the file's as it stands (empty when
// there is none).
bool readLocked(const std::string& file, const FileLock& lock, LastSeenFile& seen, StaleWrite stale,
                std::string& text, ReadVersion& read, bool& aside, bool& outOfDate) {
    FileContents contents = readRegularFile(lock.file(), kMaxSettingsFileBytes, &read.fd);
    if (contents.error != 0 && contents.error != ENOENT) return false;
    if (contents.contents.empty()) {
        // An empty file holds no numbers for a write over it to carry on: it stays unmarked.
        struct stat emptied {};
        const bool there = read.fd >= 0 && ::fstat(read.fd, &emptied) == 0;
        if (read.fd >= 0) ::close(read.fd);
        read.fd = -1;
        const FileLoss loss = seen.lossOf(file, there ? &emptied : nullptr);
        aside = loss == FileLoss::Stale && stale == StaleWrite::Setting;
        outOfDate = loss == FileLoss::Stale && stale == StaleWrite::Refuse;
        if (outOfDate) return false;
        text = loss == FileLoss::None || aside ? "" : seen.contents();
        return true;
    }
    std::string asItStands = stale == StaleWrite::Setting ? contents.contents : std::string();
    const FoundView view = seen.found(file, std::move(contents.contents), ::dup(read.fd), carried);
    if (view.overtaken) tellOvertaken(file, view.text);
    outOfDate = view.outOfDate && stale == StaleWrite::Refuse;
    if (outOfDate) return false;
    aside = view.outOfDate && stale == StaleWrite::Setting;
    text = aside ? std::move(asItStands) : view.text;
    return true;
}

// Reads the file's lines under its lock, lets edit change them and writes them back durably
// when it did, with the byte-order mark the file began with. The lock and the write are
// those of the file a link in its place names. False when the file cannot be locked, read or
// written, when edit refuses, or when the file holds NUL bytes (text in another encoding,
// such as UTF-16, that a rewrite would damage); lockNotOpened, when given, tells whether its
// lock file could not be opened, and outOfDate whether this copy's view of it is out of date.
bool rewriteLocked(const std::string& file, const std::function<Edit(std::vector<std::string>&)>& edit,
                   StaleWrite stale = StaleWrite::Refuse, bool* lockNotOpened = nullptr, bool* outOfDate = nullptr) {
    if (lockNotOpened) *lockNotOpened = false;
    if (outOfDate) *outOfDate = false;
    if (file.empty()) return false;
    // Taken before the file's lock, never after it: a writer whose lock file was removed takes
    // the lock anew.
    const std::lock_guard guard(g_seenLock);
    const FileLock lock(file);
    if (!lock.locked()) {
        if (lockNotOpened) *lockNotOpened = lock.openError() != 0;
        return false;
    }
    LastSeenFile& seen = g_seen[file];
    std::string text;
    ReadVersion read;
    bool aside = false, viewOutOfDate = false;
    const bool readable = readLocked(file, lock, seen, stale, text, read, aside, viewOutOfDate);
    if (outOfDate) *outOfDate = viewOutOfDate;
    if (!readable || text.find('\0') != std::string::npos) return false;
    auto [byteOrderMark, lines] = splitEditedText(text);
    const Edit result = edit(lines);
    if (result != Edit::Changed) return result == Edit::Unchanged;
    std::string contents = textOf(byteOrderMark, lines);
    const int written = replaceLockedFile(lock, contents, [&] { return read.fd >= 0 && !wentOnFrom(read.fd); });
    if (written < 0) return false;
    if (!aside) {
        seen.wrote(file, std::move(contents), written, read.fd);
        return true;
    }
    // A setting written into the file as it stood: the view stays out of date.
    if (read.fd >= 0) markWentOnFrom(read.fd);
    seen.wroteAside(file, written);
    return true;
}

}  // namespace

void setIniCarry(const std::string& section, const std::string& key, IniCarry carry, IniOvertaken overtaken) {
    const std::lock_guard guard(g_seenLock);
    carries().push_back({section, key, carry, overtaken});
}

bool writeProfileString(const std::string& file, const std::string& section,
                        const std::optional<std::string>& key,
                        const std::optional<std::string>& value, StaleWrite stale, bool* lockNotOpened) {
    return rewriteLocked(file, [&](std::vector<std::string>& lines) {
        return applyWrite(lines, section, key, value) ? Edit::Changed : Edit::Unchanged;
    }, stale, lockNotOpened);
}

bool updateProfileString(const std::string& file, const std::string& section, const std::string& key,
                         const std::function<std::optional<std::string>(const std::optional<std::string>&)>& change,
                         bool* lockNotOpened, bool* outOfDate) {
    return rewriteLocked(
        file,
        [&](std::vector<std::string>& lines) {
            const std::optional<std::string> stored = valueOf(lines, section, key);
            if (!stored && mayHoldUnread(lines, section, key)) return Edit::Refused;
            const std::optional<std::string> value = change(stored);
            return value && applyWrite(lines, section, key, value) ? Edit::Changed : Edit::Unchanged;
        },
        StaleWrite::Refuse, lockNotOpened, outOfDate);
}

}  // namespace platform
