#include "platform/registry_store.h"

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <grp.h>
#include <iomanip>
#include <filesystem>
#include <functional>
#include <future>
#include <optional>
#include <poll.h>
#include <set>
#include <sys/file.h>
#include <sys/inotify.h>
#include <cstdio>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <regex>
#include <sstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "platform/durable_file.h"
#include "platform/ini_file.h"
#include "platform/paths.h"
#include "support/staging_trap.h"
#include "support/temp_config_folder.h"

using platform::RegType;
using platform::RegValue;
using platform::registryRead;
using platform::registryWrite;
using platform::StoreResult;

namespace {

const std::string kKey = "Software\\Maker\\Program";

uint32_t readNumber(const std::string& name) {
    RegValue value;
    if (registryRead(kKey, name, value) != StoreResult::Ok || value.type != RegType::Dword) return 0xDEADBEEF;
    return value.data[0] | value.data[1] << 8 | value.data[2] << 16 |
           static_cast<uint32_t>(value.data[3]) << 24;
}

std::string fileText(const std::string& path) {
    std::ifstream file(path);
    return {std::istreambuf_iterator<char>(file), {}};
}

// Forks a child that runs body and then ends without returning into the test program.
template <typename Body>
pid_t forkChild(Body body) {
    const pid_t pid = fork();
    if (pid == 0) {
        body();
        _exit(0);
    }
    return pid;
}

int waitFor(pid_t child) {
    int status = 0;
    return waitpid(child, &status, 0), status;
}

// Watches a file for the next open of it, so a test can go on once a writer has opened its lock.
int watchOpens(const std::string& path) {
    const int watch = ::inotify_init1(IN_CLOEXEC);
    EXPECT_GE(::inotify_add_watch(watch, path.c_str(), IN_OPEN), 0);
    return watch;
}

bool sawOpen(int watch) {
    pollfd event{watch, POLLIN, 0};
    const bool seen = ::poll(&event, 1, 30000) == 1;
    ::close(watch);
    return seen;
}

}  // namespace

TEST(RegistryStore, ValuesOfEveryTypeRoundTripWithAwkwardNames) {
    TempConfigFolder folder;
    const std::vector<uint8_t> bytes = {0x00, 0xFF, 0x10};
    struct Case {
        std::string name, readAs;  // names compare without case
        RegValue value;
    };
    const Case cases[] = {{"Total Count", "TOTAL COUNT", RegValue::dword(0xFFFFFFFF)},
                          {"odd \"name\"\\", "odd \"NAME\"\\",
                           RegValue::string("a \"quoted\" C:\\path\nnext\tline\x7f")},
                          {"Blob", "blob", RegValue::binary(bytes)},
                          {"Empty", "Empty", RegValue::binary({})}};
    for (const Case& c : cases) ASSERT_EQ(registryWrite(kKey, c.name, c.value), StoreResult::Ok) << c.name;
    ASSERT_EQ(registryWrite("Other\\Key", "Total Count", RegValue::dword(7)), StoreResult::Ok);
    RegValue value;
    for (const Case& c : cases) {
        ASSERT_EQ(registryRead(kKey, c.readAs, value), StoreResult::Ok) << c.name;
        EXPECT_EQ(value, c.value) << c.name;
    }
    EXPECT_EQ(registryRead(kKey, "Missing", value), StoreResult::NotFound);
    EXPECT_EQ(registryRead("No\\Such\\Key", "Total Count", value), StoreResult::NotFound);

    // Overwriting keeps one line per value.
    ASSERT_EQ(registryWrite(kKey, "total count", RegValue::dword(3)), StoreResult::Ok);
    EXPECT_EQ(readNumber("Total Count"), 3u);
    const std::string stored = fileText(platform::registryStorePath());
    EXPECT_NE(stored.find("\"Total Count\"=dword:00000003\n"), std::string::npos) << stored;
    EXPECT_EQ(stored.find("total count"), std::string::npos) << stored;
}

// A damaged line costs only its own value, and a save keeps what could be read and writes the
// damaged lines back as they stand, under their key line, once; a value set anew takes the place
// of its damaged line. A store that cannot be read at all (a folder in its place) reads and
// writes nothing.
TEST(RegistryStore, DamagedLinesCostOnlyTheirOwnValueAndAnUnreadableStoreIsLeftAlone) {
    TempConfigFolder folder;
    std::ofstream(platform::registryStorePath())
        << "\"Before Key\"=dword:00000001\n[" + kKey + "]\r\n\"Good\"=dword:0000002A\r\n\"Short\"=dword:2A\n"
           "\"Bad Hex\"=dword:0000002G\n\"Unclosed=dword:00000001\n\"Bad Escape\"=\"a\\qb\"\n\"Bytes\"=hex:0,1\n"
           "garbage \x01\xff\n\"Text\"=\"ok\"";
    EXPECT_EQ(readNumber("Good"), 0x2Au);
    RegValue value;
    for (const char* name : {"Before Key", "Short", "Bad Hex", "Unclosed", "Bad Escape", "Bytes"})
        EXPECT_EQ(registryRead(kKey, name, value), StoreResult::NotFound) << name;
    ASSERT_EQ(registryRead(kKey, "Text", value), StoreResult::Ok);
    EXPECT_EQ(value, RegValue::string("ok"));
    ASSERT_EQ(registryWrite(kKey, "New", RegValue::dword(5)), StoreResult::Ok);
    EXPECT_EQ(readNumber("Good"), 0x2Au);
    EXPECT_EQ(readNumber("New"), 5u);
    ASSERT_EQ(registryWrite(kKey, "Short", RegValue::dword(6)), StoreResult::Ok);
    ASSERT_EQ(registryWrite("Other", "Text", RegValue::string("x")), StoreResult::Ok);
    EXPECT_EQ(fileText(platform::registryStorePath()),
              "; swd-isp settings\n\"Before Key\"=dword:00000001\n[" + kKey +
                  "]\n\"Good\"=dword:0000002A\n\"Text\"=\"ok\"\n\"New\"=dword:00000005\n\"Short\"=dword:00000006\n"
                  "\"Bad Hex\"=dword:0000002G\n\"Unclosed=dword:00000001\n\"Bad Escape\"=\"a\\qb\"\n\"Bytes\"=hex:0,1\n"
                  "garbage \x01\xff\n[Other]\n\"Text\"=\"x\"\n");

    ASSERT_EQ(std::remove(platform::registryStorePath().c_str()), 0);
    ASSERT_TRUE(platform::makeFolders(platform::registryStorePath()));
    EXPECT_EQ(platform::registryOpenStore(), StoreResult::Unavailable);
    EXPECT_EQ(registryRead(kKey, "Good", value), StoreResult::Unavailable);
    EXPECT_EQ(registryWrite(kKey, "Good", RegValue::dword(1)), StoreResult::Unavailable);
}

// The store is parsed once and kept; whatever changes the file on disk, by another process or
// by hand, is seen at the next read, also when it comes within the same clock tick.
TEST(RegistryStore, ChangesOnDiskAreSeenAtTheNextRead) {
    TempConfigFolder folder;
    ASSERT_EQ(registryWrite(kKey, "Pass Count", RegValue::dword(0)), StoreResult::Ok);
    for (uint32_t round = 1; round <= 20; ++round) {
        EXPECT_EQ(readNumber("Pass Count"), round - 1);
        const pid_t child = forkChild([round] { registryWrite(kKey, "Pass Count", RegValue::dword(round)); });
        ASSERT_TRUE(WIFEXITED(waitFor(child)));
        EXPECT_EQ(readNumber("Pass Count"), round);
    }
    std::ofstream(platform::registryStorePath()) << "[" + kKey + "]\n\"Pass Count\"=dword:00000063\n\"Other\"=hex:01\n";
    EXPECT_EQ(readNumber("Pass Count"), 0x63u);
    // As an editor may leave it: a UTF-8 byte-order mark, lines ended by a lone CR.
    std::ofstream(platform::registryStorePath()) << "\xEF\xBB\xBF[" + kKey + "]\r\"Pass Count\"=dword:00000064\r";
    EXPECT_EQ(readNumber("Pass Count"), 0x64u);
}

// A burn saves the counters one after another; a crash at any moment must leave a store that
// loads completely, each value either its old or its new number.
TEST(RegistryStore, KilledWriterLeavesOldOrNewValues) {
    TempConfigFolder folder;
    const std::regex wellFormed(R"((; .*)|(\[.*\])|("[^"]*"=dword:[0-9A-F]{8}))");
    for (int round = 0; round < 6; ++round) {
        const uint32_t start = round == 0 ? 0 : readNumber("Total Count");
        const pid_t child = forkChild([start] {
            const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
            for (uint32_t i = start + 1; std::chrono::steady_clock::now() < until; ++i) {
                registryWrite(kKey, "Total Count", RegValue::dword(i));
                registryWrite(kKey, "Pass Count", RegValue::dword(i));
            }
        });
        ASSERT_GT(child, 0);
        // Kill it at a different moment of its loop each round, once it has begun saving.
        const auto begun = [start] {
            const uint32_t pass = readNumber("Pass Count");
            return pass != 0xDEADBEEF && pass > start;
        };
        for (int wait = 0; wait < 2000 && !begun(); ++wait) std::this_thread::sleep_for(std::chrono::milliseconds(5));
        std::this_thread::sleep_for(std::chrono::milliseconds(3 + 7 * round));
        kill(child, SIGKILL);
        ASSERT_TRUE(WIFSIGNALED(waitFor(child)));

        const uint32_t total = readNumber("Total Count");
        const uint32_t pass = readNumber("Pass Count");
        ASSERT_NE(total, 0xDEADBEEF) << "round " << round;
        EXPECT_GT(total, start);
        EXPECT_TRUE(pass == total || pass + 1 == total) << total << " " << pass;
        std::istringstream lines(fileText(platform::registryStorePath()));
        for (std::string line; std::getline(lines, line);)
            EXPECT_TRUE(std::regex_match(line, wellFormed)) << line;
    }
}

// Two running instances each read-modify-write the whole file; neither may drop the other's
// values.
TEST(RegistryStore, ConcurrentWritersLoseNothing) {
    TempConfigFolder folder;
    constexpr int kWrites = 40;
    const auto writeSeries = [](const std::string& prefix) {
        for (int i = 0; i < kWrites; ++i) registryWrite(kKey, prefix + std::to_string(i), RegValue::dword(i + 100));
    };
    const pid_t children[] = {forkChild([&] { writeSeries("A"); }), forkChild([&] { writeSeries("B"); })};
    writeSeries("C");  // this process too, through other file descriptors of the same lock
    for (const pid_t child : children) ASSERT_EQ(waitFor(child), 0);
    for (const char* prefix : {"A", "B", "C"})
        for (int i = 0; i < kWrites; ++i)
            EXPECT_EQ(readNumber(prefix + std::to_string(i)), static_cast<uint32_t>(i + 100)) << prefix << i;
}

// "Last SN" taken through the store's link while the link is turned to another store: the
// write reads the file it locked and replaces, never the one the link names by then, and a
// store under a second name (a hard link) never gives a number twice.
TEST(RegistryStore, ANumberIsTakenFromTheFileLockedAndWritten) {
    TempConfigFolder folder;
    TempDir outside;
    const std::string link = platform::registryStorePath(), a = outside.file("a"), b = outside.file("b");
    // Takes the next number, adding parts to "Parts" when given, and runs inRead once it has read.
    const auto takeLastSn = [](uint32_t parts = 0, const std::function<void()>& inRead = {}) {
        std::optional<uint32_t> taken;
        const StoreResult result = platform::registryUpdate(kKey, [&](platform::RegKeyValues& values) {
            if (inRead) inRead();
            const RegValue* last = values.find("Last SN");
            taken = last ? last->data[0] | last->data[1] << 8 : 0u;
            values.set("Last SN", RegValue::dword(*taken + 1));
            const RegValue* added = values.find("Parts");
            if (parts > 0) values.set("Parts", RegValue::dword((added ? added->data[0] | added->data[1] << 8 : 0u) + parts));
        });
        return result == StoreResult::Ok ? taken : std::nullopt;
    };
    const std::string bText = "[" + kKey + "]\n\"Last SN\"=dword:00000010\n";
    std::ofstream(a) << "[" + kKey + "]\n\"Last SN\"=dword:000001F4\n";
    std::ofstream(b) << bText;
    ASSERT_EQ(::symlink(a.c_str(), link.c_str()), 0);

    // Another holder keeps a's lock; the link is turned to b once the write has opened it.
    const int held = ::open((a + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    ASSERT_EQ(::flock(held, LOCK_EX), 0);
    const int opens = watchOpens(a + ".lock");
    auto taken = std::async(std::launch::async, takeLastSn);
    EXPECT_TRUE(sawOpen(opens));
    ASSERT_EQ(::symlink(b.c_str(), (link + ".new").c_str()), 0);
    ASSERT_EQ(::rename((link + ".new").c_str(), link.c_str()), 0);
    ::close(held);
    ASSERT_EQ(taken.wait_for(std::chrono::seconds(30)), std::future_status::ready);
    const std::optional<uint32_t> fromA = taken.get();
    EXPECT_TRUE(!fromA || *fromA == 0x1F4u);
    EXPECT_EQ(fileText(b), bText);

    // b under a second name in a folder of its own: numbers taken through each name in turn.
    ASSERT_EQ(::link(b.c_str(), outside.file("settings").c_str()), 0);
    std::set<uint32_t> given;
    for (const std::string& place : {folder.path(), outside.path()}) {
        platform::setConfigFolderForTest(place);
        const std::optional<uint32_t> number = takeLastSn();
        EXPECT_TRUE(!number || given.insert(*number).second) << *number;
    }
    platform::setConfigFolderForTest(folder.path());

    // The lock removed by hand while a copy holds it. A copy that waited on the removed file
    // locks the new one before it reads; a holder whose lock was removed writes nothing, since
    // a copy that made a new lock meanwhile may have taken the same number.
    const std::string lock = b + ".lock";
    ASSERT_EQ(::unlink(outside.file("settings").c_str()), 0);
    const int old = ::open(lock.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    ASSERT_EQ(::flock(old, LOCK_EX), 0);
    const int oldOpens = watchOpens(lock);
    auto waiter = std::async(std::launch::async, takeLastSn);
    EXPECT_TRUE(sawOpen(oldOpens));
    ASSERT_EQ(::unlink(lock.c_str()), 0);
    const int fresh = ::open(lock.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    ASSERT_EQ(::flock(fresh, LOCK_EX), 0);
    const int freshOpens = watchOpens(lock);
    ::close(old);
    EXPECT_TRUE(sawOpen(freshOpens)) << "the waiter went on under the removed lock";
    std::ofstream(b) << "[" + kKey + "]\n\"Last SN\"=dword:00000100\n";  // the new lock's holder took numbers
    ::close(fresh);
    ASSERT_EQ(waiter.wait_for(std::chrono::seconds(30)), std::future_status::ready);
    EXPECT_EQ(waiter.get(), std::optional<uint32_t>(0x100));

    // The lock file removed while its holder, another copy, writes: as it reads, once its staged
    // file is synced, and when nothing stops its rename any more. The copy that locks the new lock
    // file takes the next number and the holder gives none (its part gets none), in the store and
    // in an INI file; up to the rename, the holder finds its lock gone and writes nothing, so the
    // parts the other copy added stay. Removed once the holder's file is in place, before its last
    // look, with no other copy writing meanwhile: the holder's write stands, its number given and
    // its parts added once, and the next copy goes on after it.
    const std::string ini = folder.path() + "t.ini";
    ASSERT_TRUE(platform::writeProfileString(ini, "Code Option", "Serial No", "7"));
    ASSERT_EQ(registryWrite(kKey, "Parts", RegValue::dword(0)), StoreResult::Ok);
    const auto serialNo = [&] { return std::stoul(platform::profileString(ini, "Code Option", "Serial No", "")); };
    const auto takeSerialNo = [&](const std::function<void()>& inRead) -> std::optional<uint32_t> {
        std::optional<uint32_t> taken;
        const bool ok = platform::updateProfileString(ini, "Code Option", "Serial No", [&](const auto& stored) {
            if (inRead) inRead();
            taken = std::stoul(stored.value_or("0"));
            return std::optional<std::string>(std::to_string(*taken + 1));
        });
        return ok ? taken : std::nullopt;
    };
    int inside[2], goOn[2];
    ASSERT_EQ(::pipe(inside), 0);
    ASSERT_EQ(::pipe(goOn), 0);
    const std::function<void()> pause = [&] {
        char step = 0;
        (void)!::write(inside[1], &step, 1);
        (void)!::read(goOn[0], &step, 1);
    };
    using platform::CommitStep;
    for (const bool store : {true, false}) {
        for (const std::optional<CommitStep> at : {std::optional<CommitStep>(), std::optional(CommitStep::Synced),
                                                   std::optional(CommitStep::Renaming),
                                                   std::optional(CommitStep::Renamed)}) {
            const char* const moment = !at                         ? ", in its read"
                                       : at == CommitStep::Synced   ? ", synced"
                                       : at == CommitStep::Renaming ? ", renaming"
                                                                    : ", renamed";
            SCOPED_TRACE(std::string(store ? "store" : "INI file") + moment);
            const bool landed = at == CommitStep::Renamed;
            const uint32_t next = store ? readNumber("Last SN") : serialNo(), parts = readNumber("Parts");
            const pid_t holder = forkChild([&] {
                if (at) {
                    platform::setCommitPauseForTest([&](CommitStep step, const std::string&) {
                        if (step == *at) pause();
                    });
                }
                const std::function<void()> inRead = at ? nullptr : pause;
                _exit((store ? takeLastSn(1, inRead) : takeSerialNo(inRead)) ? 1 : 0);
            });
            char step = 0;
            ASSERT_EQ(::read(inside[0], &step, 1), 1);
            ASSERT_EQ(::unlink((store ? lock : ini + ".lock").c_str()), 0);
            const auto takeAsTheOtherCopy = [&] { return store ? takeLastSn(10) : takeSerialNo(nullptr); };
            if (!landed) {
                EXPECT_EQ(takeAsTheOtherCopy(), std::optional<uint32_t>(next));
            }
            ASSERT_EQ(::write(goOn[1], &step, 1), 1);
            const int status = waitFor(holder);
            EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == (landed ? 1 : 0))
                << (landed ? "the holder's write landed but counted as failed" : "the holder gave the same number");
            if (landed) {
                EXPECT_EQ(takeAsTheOtherCopy(), std::optional<uint32_t>(next + 1));
            }
            EXPECT_EQ(store ? readNumber("Last SN") : serialNo(), next + (landed ? 2 : 1));
            // Only a rename already under way can still land over the other copy's file.
            if (store && at != CommitStep::Renaming) {
                EXPECT_EQ(readNumber("Parts"), parts + 10 + (landed ? 1 : 0));
            }
        }
    }
    for (const int end : {inside[0], inside[1], goOn[0], goOn[1]}) ::close(end);
}

// A save replaces the store whole and keeps the file's permissions; a file made new gets the
// umask's. What an earlier crash left at "settings.tmp" (a FIFO, a link to a file elsewhere) is
// neither waited on nor written through; the INI file's writes do the same.
TEST(RegistryStore, SavesKeepPermissionsAndPassOverWhatLiesAtTheOldStagingName) {
    const auto mode = [](const std::string& path) {
        struct stat info {};
        return ::stat(path.c_str(), &info) == 0 ? info.st_mode & 07777 : 0u;
    };
    for (const OldStagingName kind : {OldStagingName::Fifo, OldStagingName::LinkOut}) {
        TempConfigFolder folder;
        const std::string store = platform::registryStorePath(), ini = folder.path() + "swd-isp.ini";
        const mode_t umaskBefore = ::umask(002);
        ASSERT_EQ(registryWrite(kKey, "Pass Count", RegValue::dword(1)), StoreResult::Ok);
        ASSERT_TRUE(platform::writeProfileString(ini, "Code Option", "Serial No", "1"));
        ::umask(umaskBefore);
        EXPECT_EQ(mode(ini), 0664u);
        ASSERT_EQ(::chmod(store.c_str(), 0600), 0);

        StagingTrap storeTrap(store, kind), iniTrap(ini, kind);
        StoreResult saved = StoreResult::Unavailable;
        bool written = false;
        EXPECT_TRUE(storeTrap.endsWithin([&] { saved = registryWrite(kKey, "Pass Count", RegValue::dword(2)); }));
        EXPECT_TRUE(iniTrap.endsWithin([&] { written = platform::writeProfileString(ini, "Code Option", "Serial No", "2"); }));
        EXPECT_EQ(saved, StoreResult::Ok);
        EXPECT_TRUE(written);
        EXPECT_EQ(readNumber("Pass Count"), 2u);
        EXPECT_EQ(platform::profileString(ini, "Code Option", "Serial No", ""), "2");
        EXPECT_TRUE(storeTrap.untouched());
        EXPECT_TRUE(iniTrap.untouched());
        EXPECT_EQ(mode(store), 0600u);
    }
}

namespace {

constexpr uid_t kOperator = 65534;  // nobody: a user of its own, as the operator is to root

// Runs body as the operator in a process of its own; 0 when body gave true.
int asOperator(const std::function<bool()>& body) {
    const pid_t child = forkChild([&] {
        if (::setgroups(0, nullptr) != 0 || ::setgid(kOperator) != 0 || ::setuid(kOperator) != 0) _exit(99);
        _exit(body() ? 0 : 1);
    });
    const int status = waitFor(child);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace

// A copy run once as root (before the udev rule was installed) makes the locks beside the store
// and the INI file root's own, mode 0644. The operator's copy, which reads and replaces the files
// themselves, locks them all the same: an advisory lock needs no write access. A lock file it
// cannot open at all refuses the write, and the store says so.
TEST(RegistryStore, ALockFileAnotherUserMadeStillLocksWhereItCanBeRead) {
    TempConfigFolder folder;
    ASSERT_EQ(::chown(folder.path().c_str(), kOperator, kOperator), 0);
    const std::string store = platform::registryStorePath(), ini = folder.path() + "swd-isp.ini";
    const auto operatorWrites = [&](uint32_t n) {
        return asOperator([&] {
            return registryWrite(kKey, "Pass Count", RegValue::dword(n)) == StoreResult::Ok &&
                   platform::writeProfileString(ini, "Code Option", "Serial No", std::to_string(n));
        });
    };
    ASSERT_EQ(operatorWrites(1), 0);
    // Root's copy, started afresh beside it: the locks it makes are root's.
    const mode_t umaskBefore = ::umask(022);
    for (const std::string& file : {store, ini}) std::filesystem::remove(file + ".lock");
    ASSERT_EQ(registryWrite(kKey, "Scan Delay", RegValue::dword(50)), StoreResult::Ok);
    ASSERT_TRUE(platform::writeProfileString(ini, "Miscellaneous", "Log", "No"));
    ::umask(umaskBefore);
    for (const std::string& file : {store, ini}) {
        struct stat info {};
        ASSERT_EQ(::stat((file + ".lock").c_str(), &info), 0);
        EXPECT_EQ(std::tuple(info.st_uid, info.st_mode & 07777), std::tuple(0u, 0644u)) << file;
        ASSERT_EQ(::stat(file.c_str(), &info), 0);
        EXPECT_EQ(info.st_uid, kOperator) << file;
    }
    EXPECT_EQ(operatorWrites(2), 0) << "the operator's copy could not lock a lock file it can read";
    EXPECT_EQ(readNumber("Pass Count"), 2u);
    EXPECT_EQ(readNumber("Scan Delay"), 50u);
    EXPECT_EQ(platform::profileString(ini, "Code Option", "Serial No", ""), "2");
    EXPECT_EQ(platform::profileString(ini, "Miscellaneous", "Log", ""), "No");

    // Locks it cannot open at all: nothing is written, and the write says so.
    for (const std::string& file : {store, ini}) ASSERT_EQ(::chmod((file + ".lock").c_str(), 0), 0);
    EXPECT_EQ(asOperator([&] {
                  bool lockNotOpened = false;
                  const bool written = platform::updateProfileString(
                      ini, "Code Option", "Serial No", [](const auto&) { return std::optional<std::string>("3"); },
                      &lockNotOpened);
                  return registryWrite(kKey, "Pass Count", RegValue::dword(3)) == StoreResult::LockNotOpened &&
                         !written && lockNotOpened;
              }),
              0);
    EXPECT_EQ(platform::lockFileOf(store), store + ".lock");
    EXPECT_EQ(readNumber("Pass Count"), 2u);
    EXPECT_EQ(platform::profileString(ini, "Code Option", "Serial No", ""), "2");
}

// A store cut to 0 bytes while a copy reads it: what the read got is not taken as the store (the
// copy's view and the next number would be lost); the store is read again as it now stands, a
// file this copy saw cut to 0 bytes, so its numbers go on.
TEST(RegistryStore, AReadCutShortIsNotTakenAsTheStore) {
    TempConfigFolder folder;
    const std::string store = platform::registryStorePath();
    ASSERT_EQ(registryWrite(kKey, "Last SN", RegValue::dword(100)), StoreResult::Ok);
    const auto editInPlaceAndCutWhileRead = [&](uint32_t lastSn) {
        std::ofstream(store) << "[" + kKey + "]\n\"Last SN\"=dword:" << std::hex << std::setw(8) << std::setfill('0')
                             << lastSn << "\n";
        platform::setReadPauseForTest([&, cut = false]() mutable {
            if (!std::exchange(cut, true)) std::filesystem::resize_file(store, 0);
        });
    };
    editInPlaceAndCutWhileRead(0x200);
    EXPECT_EQ(readNumber("Last SN"), 100u);
    editInPlaceAndCutWhileRead(0x300);
    std::optional<uint32_t> taken;
    EXPECT_EQ(platform::registryUpdate(kKey, [&](platform::RegKeyValues& values) {
                  const RegValue* last = values.find("Last SN");
                  taken = last ? last->data[0] | last->data[1] << 8 : 0u;
                  values.set("Last SN", RegValue::dword(*taken + 1));
              }),
              StoreResult::Ok);
    platform::setReadPauseForTest(nullptr);
    EXPECT_EQ(taken, 100u);
    EXPECT_EQ(readNumber("Last SN"), 101u);
}
