#pragma once
// The program's settings store in place of a registry key: typed values (32-bit numbers,
// texts, bytes) under key paths, kept in one text file "settings" in the config folder. Every
// write lands on disk at once and two running instances never lose each other's writes. The
// file is parsed once and read again only when it changed on disk. A file that is not a
// regular file, or is larger than kMaxSettingsFileBytes, is damaged: it reads as empty, so
// every value takes its default, and it is never written over. A link in the file's place is
// written through and stays a link.
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "platform/last_seen_file.h"

namespace platform {

// The value types, numbered as the registry numbers them.
enum class RegType : uint32_t { String = 1, Binary = 3, Dword = 4 };

// A value as the registry holds it: a number as 4 little-endian bytes, a text with its
// terminating zero, bytes as they are.
struct RegValue {
    RegType type = RegType::Binary;
    std::vector<uint8_t> data;

    static RegValue dword(uint32_t number);
    static RegValue string(const std::string& text);  // up to its first zero byte
    static RegValue binary(std::span<const uint8_t> bytes);
    bool operator==(const RegValue&) const = default;
};

// LockNotOpened: a write found the store's lock file (lockFileOf the store) but could not open
// it at all (nor make it); OutOfDate: a write refused as this copy's view of the store is out of
// date (see registryWrite). Nothing was written.
enum class StoreResult { Ok, NotFound, Unavailable, LockNotOpened, OutOfDate };

// configFolder() + "settings"; empty when there is no config folder: every read and write of
// the store then gives Unavailable.
std::string registryStorePath();

// Ok when keys can be read: the file is readable, damaged or does not exist yet. Unavailable
// when it exists but cannot be read (a folder in its place, no permission).
StoreResult registryOpenStore();

// Key paths and value names compare without regard to case, as in the registry. A missing
// file, a missing key and a missing value give NotFound; lines of the file that cannot be
// understood are skipped, and every write keeps them as they stand.
StoreResult registryRead(const std::string& key, const std::string& name, RegValue& value);

// Read-modify-write under the store's lock; the key is created when missing. Unavailable
// when the file cannot be read, is damaged, or the new file cannot be written (the old one
// then stays); LockNotOpened when its lock file cannot be opened. A read cut short (the file cut
// meanwhile) is not taken: the file is read again as it then stands. A store that this copy read
// or wrote and finds removed or cut to 0 bytes is lost, not new: reads give the values this copy
// last saw, and a write makes the file anew from them with its change. When another copy wrote
// after this copy's last look, those values may lack that copy's numbers, and when the version
// this copy saw still has a name elsewhere (moved aside, a second name, behind a link removed),
// another copy may take numbers from it: such a write is OutOfDate unless stale allows it, or,
// for a setting (StaleWrite::Setting), goes into the file as it stands (made anew with the value
// alone when there is none) while this copy's view stays out of date.
StoreResult registryWrite(const std::string& key, const std::string& name, const RegValue& value,
                          StaleWrite stale = StaleWrite::Refuse);

// The values of one key while registryUpdate holds the store; names compare without case.
class RegKeyValues {
public:
    virtual const RegValue* find(const std::string& name) const = 0;
    // True when the store may hold the value in a line it cannot read: a line of this key that
    // names it or whose name cannot be read, or a key line that cannot be read (it may be this
    // key's). A value that such a line may hold must not be worked out from its default.
    virtual bool unreadable(const std::string& name) const = 0;
    virtual void set(const std::string& name, const RegValue& value) = 0;

protected:
    ~RegKeyValues() = default;
};

// Lets look read the key's values as registryRead gives them, with what registryUpdate would
// refuse to work out from a default (RegKeyValues::unreadable). Unavailable, and look not run,
// when the store cannot be read or is damaged.
StoreResult registryInspect(const std::string& key, const std::function<void(const RegKeyValues&)>& look);

// Reads the key's values as they are on disk, lets change read and set them, and writes the
// result, all under the store's lock: no other thread or running copy of the program writes
// in between, so a counter added to or a number taken here is never lost or taken twice.
// Unavailable as for registryWrite, or when the lock file was removed while held (another copy
// may have locked a new one and read the same values): the new file then replaces nothing, or,
// when it was already being renamed into place, counts as not written unless no other copy wrote
// over the version read (replaceLockedFile). Nothing is written when change sets nothing.
StoreResult registryUpdate(const std::string& key, const std::function<void(RegKeyValues&)>& change,
                           StaleWrite stale = StaleWrite::Refuse);

// How this copy's own numbers go into a store made anew under it without them (by a copy that
// never saw its view, or from an older view): given a key's values as this copy last saw them,
// carry raises those of the file found. Until this copy's next write puts them in, every read
// of the store gives them so raised. A store found after another copy wrote over this copy's
// view is read as it is, and overtaken, when given, is told of the key's values there (the file
// is registryStorePath()). Set by the settings that keep numbers.
using StoreCarry = void (*)(const RegKeyValues& seen, RegKeyValues& found);
using StoreOvertaken = void (*)(const std::string& file, const RegKeyValues& found);
void setStoreCarry(const std::string& key, StoreCarry carry, StoreOvertaken overtaken = nullptr);

// While one lives, reads take the store as the first of them found it, without looking at the
// file again: start-up reads its settings from one reading of the file. Writes still read the
// file under the store's lock.
class StoreReadBatch {
public:
    StoreReadBatch();
    ~StoreReadBatch();
    StoreReadBatch(const StoreReadBatch&) = delete;
    StoreReadBatch& operator=(const StoreReadBatch&) = delete;
};

// Tests watch which values the program writes, in order, with the value written; nullptr stops
// watching.
using StoreObserver = std::function<void(const std::string& name, const RegValue& value)>;
void setStoreObserverForTest(StoreObserver observer);

}  // namespace platform
