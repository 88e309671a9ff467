#pragma once
// Private-profile (INI) files with the rules the program's INI texts were written for:
// section and key names compare without regard to case, values are trimmed of blanks and of
// one pair of enclosing quotes, a missing key gives the caller's default, the first write
// creates the file. A leading UTF-8 byte-order mark is skipped (and kept by a write), and CR LF,
// LF or a lone CR ends a line. Every write replaces the file durably under a lock, like the
// settings store; a link in the file's place is written through, and stays a link. A file
// holding NUL bytes (another encoding, such as UTF-16) is never written over.
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/last_seen_file.h"

namespace platform {

std::string profileString(const std::string& file, const std::string& section,
                          const std::string& key, const std::string& fallback);
// The key names of a section, in file order.
std::vector<std::string> profileKeyNames(const std::string& file, const std::string& section);
// The section names of the file, in file order.
std::vector<std::string> profileSectionNames(const std::string& file);
// The lines of a section in file order, entries as "key=value", comments left out.
std::vector<std::string> profileSection(const std::string& file, const std::string& section);

// A value this copy never lets drop when its INI file is made anew under it without this copy's
// numbers (by a copy that never saw its view, or from an older view): given the value in this
// copy's view and the one in the file found (nothing when absent), carry gives the value to keep
// until this copy's next write puts it into the file. A file found after another copy wrote over
// this copy's view is read as it is, and overtaken, when given, is told of the value there.
// Set by the settings that keep numbers.
using IniCarry = std::optional<std::string> (*)(const std::optional<std::string>& seen,
                                                const std::optional<std::string>& found);
using IniOvertaken = void (*)(const std::string& file, const std::optional<std::string>& found);
void setIniCarry(const std::string& section, const std::string& key, IniCarry carry, IniOvertaken overtaken = nullptr);

// Sets key=value in the section. No value deletes the key; no key deletes the section with
// all its entries. False when the file cannot be read or written. A file that this copy read
// or wrote and finds removed or cut to 0 bytes is lost, not new: a write makes it anew from the
// text this copy last saw, unless this copy's view is out of date (another copy wrote after that
// look, or the version seen still has a name elsewhere) and stale refuses (the same holds for
// updateProfileString, which always refuses then), or, for a setting (StaleWrite::Setting), goes
// into the file as it stands while this copy's view stays out of date. A lock file removed while
// this copy writes fails the write, as in the settings store. lockNotOpened, when given, tells
// whether the file's lock file could not be opened at all.
bool writeProfileString(const std::string& file, const std::string& section,
                        const std::optional<std::string>& key,
                        const std::optional<std::string>& value, StaleWrite stale = StaleWrite::Refuse,
                        bool* lockNotOpened = nullptr);

// Reads key in section as the file holds it (nothing when absent) and writes what change makes
// of it, all under the file's lock: no other thread or running copy writes in between. When
// change gives nothing the file is left as it is, byte for byte. False, with nothing written,
// when the file cannot be locked, read or written, or when key is absent while a line the
// reader cannot take for its entry may hold it (one of the section, or before the first
// section, or after a line naming the section that is not read as its header, that names
// it): a value worked out from nothing must not replace one in the file.
// A file that is not a regular file or is too large to be ours is never written over.
// lockNotOpened, when given, tells whether the file's lock file (lockFileOf the file) could not
// be opened at all, and outOfDate whether the write was refused as this copy's view of the file
// is out of date.
bool updateProfileString(const std::string& file, const std::string& section, const std::string& key,
                         const std::function<std::optional<std::string>(const std::optional<std::string>&)>& change,
                         bool* lockNotOpened = nullptr, bool* outOfDate = nullptr);

}  // namespace platform
