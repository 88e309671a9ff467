#include "core/counters.h"

#include <grp.h>
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <set>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "core/counter_texts.h"
#include "core/globals.h"
#include "core/ini_settings.h"
#include "core/registry_settings.h"
#include "platform/durable_file.h"
#include "platform/last_seen_file.h"
#include "platform/paths.h"
#include "platform/registry_store.h"
#include "support/running_copies.h"
#include "support/temp_config_folder.h"

namespace {

// The three stored counters read in one step, as another copy would find them.
Counts StoredCounts() {
    Counts stored;
    platform::registryUpdate(g_szRegKey, [&](platform::RegKeyValues& values) {
        const auto number = [&](const char* name) {
            const platform::RegValue* value = values.find(name);
            return value ? value->data[0] | value->data[1] << 8 | value->data[2] << 16 |
                               static_cast<uint32_t>(value->data[3]) << 24
                         : 0u;
        };
        stored = {number("Total Count"), number("Pass Count"), number("Fail Count")};
    });
    return stored;
}

void StartAt(const Counts& counts) {
    RegSaveCounts(counts.total, counts.pass, counts.fail);
    g_nTotalCount = counts.total;
    g_nPassCount = counts.pass;
    g_nFailCount = counts.fail;
}

// Reset Count pressed at any moment of a run: memory and store always hold Total = Pass +
// Fail, and after the last save they agree.
TEST(Counters, ResetDuringRunsNeverBreaksTotalIsPassPlusFail) {
    TempConfigFolder folder;
    StartAt({});
    std::atomic<bool> done{false};
    std::thread worker([&] {
        for (int run = 0; run < 150; ++run) {
            for (int site = 0; site < 4; ++site) CountPart(site != run % 4);
            SaveCountedParts();
        }
        done = true;
    });
    int resets = 0;
    while (!done) {
        const Counts shown = CurrentCounts();
        ASSERT_EQ(shown.total, shown.pass + shown.fail);
        const Counts stored = StoredCounts();
        ASSERT_EQ(stored.total, stored.pass + stored.fail);
        if (++resets % 4 == 0) {
            EXPECT_EQ(ResetCounters(), Counts{});
        }
    }
    worker.join();
    EXPECT_EQ(CurrentCounts(), StoredCounts());
}

// A verify-only run counts in memory only, and a run whose save finds the store unwritable
// keeps its parts pending (and says so); the next save that succeeds stores them once, so the
// screen never drops back.
TEST(Counters, PartsOfRunsThatSaveNothingReachTheStoreWithTheNextSave) {
    TempConfigFolder folder;
    constexpr uint32_t kMany = 0x200000;  // a line keeps counting past two million parts
    StartAt({kMany + 10, kMany + 9, 1});
    CountPart(true);
    EXPECT_EQ(CurrentCounts(), (Counts{kMany + 11, kMany + 10, 1}));
    EXPECT_EQ(StoredCounts(), (Counts{kMany + 10, kMany + 9, 1}));
    CountPart(false);
    EXPECT_EQ(SaveCountedParts(), (Counts{kMany + 12, kMany + 10, 2}));
    EXPECT_EQ(StoredCounts(), (Counts{kMany + 12, kMany + 10, 2}));

    const std::string lock = platform::registryStorePath() + ".lock";  // a folder there: no lock, no save
    std::filesystem::remove(lock);
    ASSERT_TRUE(std::filesystem::create_directory(lock));
    CountPart(true), CountPart(false);
    UnsavedParts unsaved;
    EXPECT_EQ(SaveCountedParts(&unsaved), (Counts{kMany + 14, kMany + 11, 3}));
    EXPECT_EQ(unsaved.parts, (Counts{2, 1, 1}));
    EXPECT_EQ(unsaved.why, CountsSave::StoreNotWritten);
    std::filesystem::remove(lock);
    CountPart(true);
    EXPECT_EQ(StoredCounts(), (Counts{kMany + 12, kMany + 10, 2}));
    EXPECT_EQ(SaveCountedParts(), (Counts{kMany + 15, kMany + 12, 3}));
    EXPECT_EQ(StoredCounts(), (Counts{kMany + 15, kMany + 12, 3}));
    EXPECT_EQ(SaveCountedParts(), (Counts{kMany + 15, kMany + 12, 3}));  // added once
}

// A store whose "Last SN" or counters cannot be read, by a damaged line or a damaged key
// header, gives no number and adds no count: read as 0 they would give numbers again and drop
// the counted parts. The parts stay pending and the file is left byte for byte; a save of
// another value keeps the damaged line. Damage elsewhere costs nothing.
TEST(Counters, ADamagedStoreGivesNoNumberAndAddsNoCount) {
    const std::string key = std::string("[") + g_szRegKey + "]\n";
    const std::string lastSn = "\"Last SN\"=dword:00001388\n", pass = "\"Pass Count\"=dword:00000004\n";
    const struct { const char* name; std::string text, damaged; bool takes, adds; } cases[] = {
        {"a short number", key + pass, "\"Last SN\"=dword:1388\n", false, true},
        {"a text", key + lastSn, "\"Pass Count\"=\"4\"\n", true, false},
        {"a line without a name", key, "garbage \x01\xff\n", false, false},
        {"a line without a name beside \"Last SN\"", key + lastSn + pass, "garbage \x01\xff\n", true, false},
        {"a damaged key header", "", std::string("[") + g_szRegKey + "\n" + lastSn + pass, false, false},
        {"another value", key + lastSn + pass, "\"PLL\"=dword:1\n", true, true},
        {"another key", key + lastSn + pass, "[Other]\n\"Last SN\"=dword:1\n", true, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempConfigFolder folder;
        ResetCounters();
        const std::string text = c.text + c.damaged;
        std::ofstream(platform::registryStorePath(), std::ios::binary) << text;
        const auto fileText = [] {
            std::ifstream in(platform::registryStorePath(), std::ios::binary);
            return std::string(std::istreambuf_iterator<char>(in), {});
        };
        CountPart(true);
        EXPECT_EQ(RegTakeLastSn(1), c.takes ? std::optional<uint32_t>(5000) : std::nullopt);
        UnsavedParts unsaved;
        EXPECT_EQ(SaveCountedParts(&unsaved), c.adds ? (Counts{5, 5, 0}) : (Counts{1, 1, 0}));
        EXPECT_EQ(unsaved.why, c.adds ? CountsSave::Saved : CountsSave::CountsUnreadable);
        EXPECT_EQ(unsaved.parts, c.adds ? Counts{} : (Counts{1, 1, 0}));
        if (!c.takes && !c.adds) {
            EXPECT_EQ(fileText(), text);
        }
        RegSaveScanDelay(50);
        EXPECT_NE(fileText().find(c.damaged), std::string::npos) << fileText();
        if (!c.takes) {
            EXPECT_EQ(RegTakeLastSn(1), std::nullopt);
        }
        ResetCounters();  // the operator's own word writes the counters over, and they count again
        CountPart(false);
        EXPECT_EQ(SaveCountedParts(), (Counts{1, 0, 1}));
        EXPECT_EQ(StoredCounts(), (Counts{1, 0, 1}));
        ResetCounters();
    }
}

// What other copies do once the store and the INI file were lost (or not), before this copy
// looks again.
enum class Meanwhile {
    Nothing,
    ANewCopySaves,          // a copy started afterwards, which never saw them, saves one value
    ACopyOutOfDateSetsNumbers,  // a copy that last saw them before this one took, when its operator sets numbers
    // A new copy saves one value, this copy looks, and then a copy that saw them as this one did
    // takes this copy's numbers on in its write and its operator resets the counters and sets
    // lower numbers.
    ANewCopySavesThenAnotherResets,
    AnotherCopyResets,      // a copy that saw them as this one did resets and sets lower numbers
    // This copy gives a number back, another copy takes it, this copy looks, and the other gives
    // it back too, their parts never having got it.
    BothGiveBack,
    // The copy that takes after this one took is one that last saw them before this one took.
    ACopyOutOfDateTakes,
};

// What this copy does next.
enum class Then {
    GoesOn,            // takes the next numbers, and its counts stay
    OutOfDate,         // takes no number and writes nothing until its operator sets the numbers
    NumbersOutOfDate,  // takes no number until its operator sets one; the counters found stand
};

// The store or the INI file, seen by this copy and then removed (by hand, with its folder) or cut
// to 0 bytes while the program runs, is lost, not new: the next takes go on after the numbers
// given, the counters stay, and the files are made anew. A file another copy made anew meanwhile
// without this copy's numbers (one that never saw them, or one out of date) takes them in: the
// takes go on after them, the counters never drop, and the other copy's values stay, until a
// copy that held the same version writes them on: a reset there then stands. When another copy
// took numbers after this copy's last look (also after a hand saved the file anew), or the
// version this copy saw still has a name (moved aside, a second name, behind a link removed),
// where another copy may take from it, this copy takes no number and its parts wait until the
// operator sets the numbers anew. A file found after another copy wrote that holds a number
// below the numbers this copy gave (set lower there, or made anew without them) gives this copy
// no number until its operator sets one; a number given back is taken again. On a network home,
// where a replaced or removed version that a copy holds open keeps a hidden name, ordinary
// writes go on, and a version moved aside is out of date as on a local disk. A file never seen
// starts from the defaults.
TEST(Counters, ALostStoreOrIniFileGivesNoNumberTwiceAndKeepsTheCounts) {
    using Lose = void (*)(const std::string&);
    const Lose remove = [](const std::string& path) { std::filesystem::remove(path); };
    const Lose empty = [](const std::string& path) { std::ofstream(path, std::ios::binary | std::ios::trunc); };
    const Lose moveAside = [](const std::string& path) { std::filesystem::rename(path, path + ".aside"); };
    const Lose nameTwice = [](const std::string& path) { std::filesystem::create_hard_link(path, path + ".aside"); };
    const Lose behindALink = [](const std::string& path) {
        std::filesystem::rename(path, path + ".aside");
        std::filesystem::create_symlink(path + ".aside", path);
    };
    const Lose keepFromOthers = [](const std::string& path) {  // mode 000: only root still reads it
        std::filesystem::permissions(path, std::filesystem::perms::none);
    };
    const Lose removeOnNetwork = [](const std::string& path) {  // a copy on this machine holds it: a hidden name
        static int hidden = 0;
        std::filesystem::rename(path, std::filesystem::path(path).parent_path() / (".nfs0" + std::to_string(++hidden)));
    };
    const Lose editByHand = [](const std::string& path) {  // an editor that saves a new file over it
        std::filesystem::copy_file(path, path + ".edit");
        std::filesystem::rename(path + ".edit", path);
    };
    using enum Meanwhile;
    using enum Then;
    const struct {
        const char* name;
        bool store, ini, otherCopyTookLast;
        Then then;
        Lose lose, before = nullptr;
        Meanwhile meanwhile = Nothing;
        bool fromZero = false;  // the numbers start at 0, not at 100 and 0x500
        bool network = false;   // every replaced version keeps a hidden name, as on a network home
        // This copy runs as root (made the files) in the operator's folder; the other copy is the
        // operator's.
        bool operatorTakes = false;
    } cases[] = {
        {"store removed", true, false, false, GoesOn, remove},
        {"store emptied", true, false, false, GoesOn, empty},
        {"INI file removed", false, true, false, GoesOn, remove},
        {"INI file emptied", false, true, false, GoesOn, empty},
        {"folder cleared", true, true, false, GoesOn, remove},
        {"both moved aside", true, true, false, OutOfDate, moveAside},
        {"both named twice, the first names removed", true, true, false, OutOfDate, remove, nameTwice},
        {"both reached by links, the links removed", true, true, false, OutOfDate, remove, behindALink},
        {"folder cleared after another copy took", true, true, true, OutOfDate, remove},
        {"both emptied after another copy took", true, true, true, OutOfDate, empty},
        {"edited by hand, another copy took, folder cleared", true, true, true, OutOfDate, remove, editByHand},
        // The copy that took from the file saved anew never held the version this copy saw.
        {"edited by hand, a copy out of date took, both emptied", true, true, true, OutOfDate, empty, editByHand,
         ACopyOutOfDateTakes},
        {"folder cleared, a new copy saved a value", true, true, false, GoesOn, remove, nullptr, ANewCopySaves},
        {"both emptied, a new copy saved a value", true, true, false, GoesOn, empty, nullptr, ANewCopySaves},
        {"folder cleared, a copy out of date set numbers", true, true, false, GoesOn, remove, nullptr,
         ACopyOutOfDateSetsNumbers},
        {"both moved aside, a new copy saved a value", true, true, false, OutOfDate, moveAside, nullptr, ANewCopySaves},
        {"both of mode 000, folder cleared, a new copy saved a value", true, true, false, GoesOn, remove, keepFromOthers,
         ANewCopySaves},
        {"folder cleared, a new copy saved a value, another copy reset", true, true, false, NumbersOutOfDate, remove,
         nullptr, ANewCopySavesThenAnotherResets},
        {"another copy took, folder cleared, a new copy saved a value", true, true, true, NumbersOutOfDate, remove,
         nullptr, ANewCopySaves, true},
        {"another copy took, both emptied, a new copy saved a value", true, true, true, NumbersOutOfDate, empty,
         nullptr, ANewCopySaves, true},
        {"another copy reset and set lower numbers", false, false, false, NumbersOutOfDate, remove, nullptr,
         AnotherCopyResets},
        {"this copy and another gave a number back", false, false, false, GoesOn, remove, nullptr, BothGiveBack},
        {"a network home, another copy took", false, false, true, GoesOn, remove, nullptr, Nothing, false, true},
        {"a network home, another copy reset and set lower numbers", false, false, false, NumbersOutOfDate, remove,
         nullptr, AnotherCopyResets, false, true},
        {"a network home, both moved aside", true, true, false, OutOfDate, moveAside, nullptr, Nothing, false, true},
        {"a network home, both named twice, the first names removed", true, true, false, OutOfDate, removeOnNetwork,
         nameTwice, Nothing, false, true},
        {"a network home, both moved aside, a new copy saved a value", true, true, false, OutOfDate, moveAside, nullptr,
         ANewCopySaves, false, true},
        {"a network home, folder cleared, a new copy saved a value, another copy reset", true, true, false,
         NumbersOutOfDate, removeOnNetwork, nullptr, ANewCopySavesThenAnotherResets, false, true},
        {"a copy run as root made them, the operator's copy took, folder cleared", true, true, true, OutOfDate, remove,
         nullptr, Nothing, false, false, true},
        {"a copy run as root made them, the operator's copy took, both emptied", true, true, true, OutOfDate, empty,
         nullptr, Nothing, false, false, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempConfigFolder folder;
        const std::string store = platform::registryStorePath(), ini = folder.path() + "swd-isp.ini";
        constexpr uid_t kOperator = 65534;
        if (c.operatorTakes) {
            ASSERT_EQ(::chown(folder.path().c_str(), kOperator, kOperator), 0);
        }
        if (c.network) {
            platform::setNetworkFolderForTest(folder.path());
            platform::setCommitPauseForTest([](platform::CommitStep step, const std::string& file) {
                static int hidden = 0;
                const std::string name = file + ".nfs" + std::to_string(++hidden);
                if (step == platform::CommitStep::Renaming) (void)!::link(file.c_str(), name.c_str());
            });
        }
        const uint32_t lastSn = c.fromZero ? 0 : 100, serialNo = c.fromZero ? 0 : 0x500;
        std::set<uint32_t> lastSnGiven, serialNoGiven;
        const auto once = [](std::set<uint32_t>& given, std::optional<uint32_t> number) {
            EXPECT_TRUE(!number || given.insert(*number).second) << "given twice: " << *number;
            return number;
        };
        ResetCounters();
        int goOn[2], ready[2];
        ASSERT_EQ(::pipe(goOn), 0);
        ASSERT_EQ(::pipe(ready), 0);
        const auto waitFor = [&](pid_t copy) {
            int status = 1;
            ASSERT_EQ(waitpid(copy, &status, 0), copy);
            ASSERT_EQ(status, 0);
        };
        const auto letGoOn = [&](pid_t copy) {
            ASSERT_EQ(::write(goOn[1], "!", 1), 1);
            waitFor(copy);
        };
        const auto awaitStep = [](int from) {
            char step = 0;
            (void)!::read(from, &step, 1);
        };
        // A copy that saw the store before this one's numbers and counts, waiting for its operator.
        const pid_t outOfDate = c.meanwhile == ACopyOutOfDateSetsNumbers ? fork() : -1;
        if (outOfDate == 0) {
            awaitStep(goOn[0]);
            RegSaveLastSn(100);  // lower than the numbers this copy gave since
            IniSetSerialNo(0x500, ini);
            _exit(0);
        }
        StartAt({10, 10, 0});
        RegSaveLastSn(lastSn);
        IniSetSerialNo(serialNo, ini);
        // A copy that saw the store and the INI file before this one took, waiting for its turn.
        const pid_t olderView = c.meanwhile == ACopyOutOfDateTakes ? fork() : -1;
        if (olderView == 0) {
            awaitStep(goOn[0]);
            _exit(RegTakeLastSn(1) == lastSn + 1 && IniTakeSerialNo(ini, 1) == serialNo + 1 ? 0 : 1);
        }
        EXPECT_EQ(once(lastSnGiven, RegTakeLastSn(1)), lastSn);
        EXPECT_EQ(once(serialNoGiven, IniTakeSerialNo(ini, 1)), serialNo);
        const bool reset = c.meanwhile == ANewCopySavesThenAnotherResets || c.meanwhile == AnotherCopyResets;
        const pid_t resetter = reset ? fork() : -1;
        if (resetter == 0) {
            awaitStep(goOn[0]);
            const bool counted = ResetCounters().has_value();
            RegSaveLastSn(50);
            IniSetSerialNo(0x50, ini);
            _exit(counted ? 0 : 1);
        }
        if (c.meanwhile == BothGiveBack) {
            EXPECT_EQ(RegTakeLastSn(1), lastSn + 1);
            RegReturnLastSn(lastSn + 1);
        }
        // Another copy holding the number this copy gave back until this copy has looked.
        const pid_t givesBack = c.meanwhile == BothGiveBack ? fork() : -1;
        if (givesBack == 0) {
            const auto taken = RegTakeLastSn(1);
            (void)!::write(ready[1], "!", 1);
            awaitStep(goOn[0]);
            if (taken) RegReturnLastSn(*taken);
            _exit(taken == lastSn + 1 ? 0 : 1);
        }
        if (givesBack > 0) awaitStep(ready[0]);
        for (const std::string& file : {store, ini})
            if (c.before) c.before(file);
        if (c.otherCopyTookLast) {
            const pid_t other = olderView > 0 ? olderView : fork();
            if (other == 0) {
                if (c.operatorTakes && (::setgroups(0, nullptr) != 0 || ::setgid(kOperator) != 0 || ::setuid(kOperator) != 0))
                    _exit(99);
                _exit(RegTakeLastSn(1) == lastSn + 1 && IniTakeSerialNo(ini, 1) == serialNo + 1 ? 0 : 1);
            }
            if (olderView > 0) {
                letGoOn(olderView);
            } else {
                waitFor(other);
            }
            lastSnGiven.insert(lastSn + 1), serialNoGiven.insert(serialNo + 1);
        }
        for (const std::string& file : {store, ini}) {
            if (file == store ? !c.store : !c.ini) continue;
            c.lose(file);
            if (c.store && c.ini) remove(file + ".lock");
        }
        const bool newCopy = c.meanwhile == ANewCopySaves || c.meanwhile == ANewCopySavesThenAnotherResets;
        if (newCopy) RunOneCopy("TwoRunningCopies.DISABLED_ANewCopySavesOneValue", folder.path());
        if (outOfDate > 0) letGoOn(outOfDate);
        // What the screen shows: a file made anew after another copy wrote last holds none of this
        // copy's counts, and this copy cannot tell it from that copy's own.
        EXPECT_EQ(RegLoadTotalCount(), c.otherCopyTookLast && newCopy ? 0u : 10u);
        if (givesBack > 0) letGoOn(givesBack);
        if (resetter > 0) {
            letGoOn(resetter);
            EXPECT_EQ(RegLoadTotalCount(), 0u);
        }
        for (const int end : {goOn[0], goOn[1], ready[0], ready[1]}) ::close(end);
        CountPart(true);
        if (c.then != GoesOn) {
            // Why: held back by a lower number found, or a view out of date the store refuses.
            const TakeRefusal expected = c.then == NumbersOutOfDate ? TakeRefusal::HeldBack : TakeRefusal::OutOfDate;
            TakeRefusal why = TakeRefusal::None;
            EXPECT_EQ(once(serialNoGiven, IniTakeSerialNo(ini, 1, &why)), std::nullopt);
            EXPECT_EQ(why, expected);
            EXPECT_EQ(once(lastSnGiven, RegTakeLastSn(1, &why)), std::nullopt);
            EXPECT_EQ(why, expected);
        }
        if (c.then == OutOfDate) {
            UnsavedParts unsaved;
            SaveCountedParts(&unsaved);
            EXPECT_EQ(unsaved.parts, (Counts{1, 1, 0}));
            EXPECT_EQ(ResetCounters(), std::nullopt);  // it would make the file anew with the old "Last SN"
        }
        if (c.then != GoesOn) {
            // Settings set in Config. meanwhile are stored into the file as it stands (the last
            // writer's setting stands, its numbers and counts as they are), and the copy still
            // takes no number (nor, out of date, saves a count).
            g_nChipMode = 5;
            RegSaveIspIcType();
            RegSaveSerialNoEn(0);
            RegSaveSnInArea(1);
            RegSaveSnStartAddr(0x1234);
            IniSetBeepSound(newCopy, ini);
            g_nChipMode = 0;
            RegLoadIspIcType();
            EXPECT_EQ(g_nChipMode, 5u);
            EXPECT_EQ(RegLoadSerialNoEn(), 0u);
            EXPECT_EQ(RegLoadSnInArea(), 1u);
            EXPECT_EQ(RegLoadSnStartAddr(), 0x1234u);
            EXPECT_EQ(IniGetBeepSound(ini), newCopy);
            EXPECT_EQ(once(serialNoGiven, IniTakeSerialNo(ini, 1)), std::nullopt);
            EXPECT_EQ(once(lastSnGiven, RegTakeLastSn(1)), std::nullopt);
            if (c.then == OutOfDate) {
                UnsavedParts unsaved;
                SaveCountedParts(&unsaved);
                EXPECT_EQ(unsaved.parts, (Counts{1, 1, 0}));
                EXPECT_EQ(RegLoadTotalCount(), 10u);
            }
            g_nChipMode = 0;
        }
        if (c.then != GoesOn) {
            RegSaveLastSn(90);  // the operator's own numbers, in Config. and for the gang runs, stand even below
            IniSetSerialNo(0x490, ini);
        }
        const uint32_t tookLast = c.otherCopyTookLast ? 1 : 0;
        EXPECT_EQ(once(lastSnGiven, RegTakeLastSn(1)), c.then == GoesOn ? lastSn + 1 + tookLast : 90u);
        EXPECT_EQ(once(serialNoGiven, IniTakeSerialNo(ini, 1)), c.then == GoesOn ? serialNo + 1 + tookLast : 0x490u);
        const Counts counted = c.then == NumbersOutOfDate ? Counts{1, 1, 0} : Counts{11, 11, 0};
        EXPECT_EQ(SaveCountedParts(), counted);
        EXPECT_EQ(StoredCounts(), counted);
        EXPECT_EQ(IniGetSerialNo(ini), c.then == GoesOn ? serialNo + 2 + tookLast : 0x491u);
        if (newCopy) {
            EXPECT_EQ(RegLoadScanDelay(), 50u);  // the new copy's values stay, where this copy set none
            EXPECT_EQ(IniGetBeepSound(ini), c.then != GoesOn);
        }
        const auto kept = std::filesystem::perms::owner_read | std::filesystem::perms::owner_write;
        for (const std::string& aside : {store + ".aside", ini + ".aside"})
            EXPECT_TRUE(!std::filesystem::exists(aside) || (std::filesystem::status(aside).permissions() & kept) == kept);
        platform::setCommitPauseForTest(nullptr);
        platform::setNetworkFolderForTest("");
    }
    TempConfigFolder unseen;
    const std::string ini = unseen.path() + "swd-isp.ini";
    std::ofstream(platform::registryStorePath());
    std::ofstream{ini};
    EXPECT_EQ(RegTakeLastSn(1), 0u);
    EXPECT_EQ(IniTakeSerialNo(ini, 1), 0u);
    ResetCounters();
}

// A copy run once as root leaves lock files the operator's copy cannot open at all (here of mode
// 000; one it can read locks): it takes no number and saves no count, and every message names the
// lock file. Another copy's lower number holds this copy back, and the text says so and how to
// go on.
TEST(Counters, EveryRefusalOfANumberOrACountSaysWhy) {
    TempConfigFolder folder;
    constexpr uid_t kOperator = 65534;
    const std::string store = platform::registryStorePath(), ini = folder.path() + "swd-isp.ini";
    ASSERT_EQ(::chown(folder.path().c_str(), kOperator, kOperator), 0);
    RegSaveLastSn(100);
    IniSetSerialNo(0x100, ini);
    for (const std::string& file : {store, ini}) {
        ASSERT_EQ(::chown(file.c_str(), kOperator, kOperator), 0);
        ASSERT_EQ(::chmod((file + ".lock").c_str(), 0), 0);
    }
    // The operator's copy writes down what it was told, one line each.
    int told[2];
    ASSERT_EQ(::pipe(told), 0);
    const pid_t copy = fork();
    if (copy == 0) {
        ::close(told[0]);
        if (::setgroups(0, nullptr) != 0 || ::setgid(kOperator) != 0 || ::setuid(kOperator) != 0) _exit(99);
        std::string lines;
        TakeRefusal why = TakeRefusal::None;
        lines += (RegTakeLastSn(1, &why) ? "a number" : LastSnRefusalText(why)) + "\n";
        const bool taken = IniTakeSerialNo(ini, 1, &why).has_value();
        lines += taken ? "a number\n" : why == TakeRefusal::LockNotOpened ? "lock\n" : "other\n";
        CountPart(true);
        UnsavedParts unsaved;
        SaveCountedParts(&unsaved);
        lines += UnsavedPartsText(unsaved, store) + "\n";
        CountsSave reset = CountsSave::Saved;
        lines += (ResetCounters(&reset) ? "reset" : ResetRefusalText(store, reset)) + "\n";
        lines += SettingsRefusalText(store, RegSaveScanDelay(40)) + "\n";
        lines += SettingsRefusalText(ini, IniSetBeepSound(false, ini)) + "\n";
        (void)!::write(told[1], lines.data(), lines.size());
        _exit(0);
    }
    ::close(told[1]);
    std::string lines;
    char buffer[512];
    for (ssize_t n; (n = ::read(told[0], buffer, sizeof buffer)) > 0;) lines.append(buffer, static_cast<size_t>(n));
    ::close(told[0]);
    int status = 1;
    ASSERT_EQ(waitpid(copy, &status, 0), copy);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(lines, "Last SN can not be saved: " + store + ".lock can not be opened\nlock\n"
                     "1 counted part (Pass 1, Fail 0) can not be saved: " + store + ".lock can not be opened!\n"
                     "Counters can not be reset: " + store + ".lock can not be opened!\n"
                     "Settings can not be saved: " + store + ".lock can not be opened!\n"
                     "Settings can not be saved: " + ini + ".lock can not be opened!\n");

    // Held back: another copy set the numbers below the ones this copy gave.
    for (const std::string& file : {store, ini}) ::chmod((file + ".lock").c_str(), 0644);
    EXPECT_EQ(RegTakeLastSn(1), 100u);
    EXPECT_EQ(IniTakeSerialNo(ini, 1), 0x100u);
    InAnotherCopy([&] {
        RegSaveLastSn(50);
        IniSetSerialNo(0x50, ini);
    });
    TakeRefusal why = TakeRefusal::None;
    EXPECT_EQ(RegTakeLastSn(1, &why), std::nullopt);
    EXPECT_EQ(why, TakeRefusal::HeldBack);
    EXPECT_EQ(LastSnRefusalText(why),
              "Another copy of the program set Last SN below the numbers this copy gave: set Initial Serial No. in "
              "Config. to go on");
    EXPECT_EQ(IniTakeSerialNo(ini, 1, &why), std::nullopt);
    EXPECT_EQ(why, TakeRefusal::HeldBack);
    // Out of date: the version this copy saw was moved aside, where another copy may take from it.
    for (const std::string& file : {store, ini}) {
        std::filesystem::rename(file, file + ".aside");
        std::filesystem::copy_file(file + ".aside", file);
    }
    EXPECT_EQ(RegTakeLastSn(1, &why), std::nullopt);
    EXPECT_EQ(why, TakeRefusal::OutOfDate);
    EXPECT_EQ(LastSnRefusalText(why),
              "Another copy of the program may have given numbers from Last SN since this copy last read it: set "
              "Initial Serial No. in Config. to go on");
    EXPECT_EQ(IniTakeSerialNo(ini, 1, &why), std::nullopt);
    EXPECT_EQ(why, TakeRefusal::OutOfDate);
    RegSaveLastSn(kLastSnEnd - 1);
    EXPECT_EQ(RegTakeLastSn(1, &why), kLastSnEnd - 1);
    EXPECT_EQ(why, TakeRefusal::None);
    EXPECT_EQ(RegTakeLastSn(1, &why), std::nullopt);
    EXPECT_EQ(why, TakeRefusal::UsedUp);
    EXPECT_EQ(LastSnRefusalText(why), "Last SN is used up");
    // A number taken that no part got goes back only while no other copy wrote since: here
    // another copy's operator set a lower one and a range taken there gave this copy's number.
    RegSaveLastSn(100);
    EXPECT_EQ(RegTakeLastSn(1), 100u);
    InAnotherCopy([] {
        RegSaveLastSn(50);
        if (RegTakeLastSn(51) != 50u) _exit(1);
    });
    RegReturnLastSn(100);
    EXPECT_EQ(RegTakeLastSn(1), 101u);
    ResetCounters();
}

// A copy started after the store and the INI file were lost: it saves one value in each.
TEST(TwoRunningCopies, DISABLED_ANewCopySavesOneValue) {
    const auto copy = RunningCopyArguments();
    ASSERT_TRUE(copy);
    platform::setConfigFolderForTest(copy->folder);
    RegSaveScanDelay(50);
    IniSetBeepSound(false, copy->folder + "swd-isp.ini");
}

constexpr int kTakesPerCopy = 500;

// One running copy of the program, started by the test below as a process of its own: it
// takes serial numbers and counts parts as burns would, and writes down the numbers it took.
TEST(TwoRunningCopies, DISABLED_OneCopy) {
    const auto copy = RunningCopyArguments();
    ASSERT_TRUE(copy);
    platform::setConfigFolderForTest(copy->folder);
    g_nLastSerial = RegLoadLastSn();
    std::ofstream taken(copy->output);
    for (int i = 0; i < kTakesPerCopy; ++i) {
        const auto number = RegTakeLastSn(1);
        ASSERT_TRUE(number);
        taken << *number << "\n";
        CountPart(i % 3 != 0);
        SaveCountedParts();
    }
}

TEST(TwoRunningCopies, ShareSerialNumbersAndCountersWithoutLosingOrRepeatingAny) {
    TempConfigFolder folder;
    RegSaveLastSn(1000);
    RegSaveCounts(5, 4, 1);
    const std::vector<uint32_t> taken = RunTwoCopies("TwoRunningCopies.DISABLED_OneCopy", folder.path());
    const std::set<uint32_t> numbers(taken.begin(), taken.end());
    // 1000 distinct numbers from 1000 on: none taken twice, none skipped.
    EXPECT_EQ(numbers.size(), 2u * kTakesPerCopy);
    EXPECT_EQ(*numbers.begin(), 1000u);
    EXPECT_EQ(*numbers.rbegin(), 1000u + 2 * kTakesPerCopy - 1);
    EXPECT_EQ(RegLoadLastSn(), 1000u + 2 * kTakesPerCopy);
    const uint32_t fails = 2 * ((kTakesPerCopy + 2) / 3);
    EXPECT_EQ(StoredCounts(), (Counts{5 + 2 * kTakesPerCopy, 4 + 2 * kTakesPerCopy - fails, 1 + fails}));
}

}  // namespace
