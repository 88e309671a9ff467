#include "core/counters.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <fstream>
#include <set>
#include <thread>

#include "core/globals.h"
#include "core/registry_settings.h"
#include "platform/paths.h"
#include "platform/registry_store.h"
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
            BeginCountingParts();
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

// A verify-only run counts in memory only; the next saving run stores its own parts, not
// those of the verify run nor of a memory-only run before it.
TEST(Counters, OnlyPartsOfSavingRunsReachTheStore) {
    TempConfigFolder folder;
    constexpr uint32_t kMany = 0x200000;  // a line keeps counting past two million parts
    StartAt({kMany + 10, kMany + 9, 1});
    BeginCountingParts();
    CountPart(true);
    EXPECT_EQ(KeepCountedPartsUnsaved(), (Counts{kMany + 11, kMany + 10, 1}));
    EXPECT_EQ(StoredCounts(), (Counts{kMany + 10, kMany + 9, 1}));
    CountPart(false);  // a run that neither saves nor keeps
    BeginCountingParts();
    CountPart(false);
    EXPECT_EQ(SaveCountedParts(), (Counts{kMany + 11, kMany + 9, 2}));
    EXPECT_EQ(StoredCounts(), (Counts{kMany + 11, kMany + 9, 2}));
}

constexpr int kTakesPerCopy = 500;
const char* const kCopyFolder = "SWD_ISP_TEST_COPY_FOLDER";
const char* const kCopyOutput = "SWD_ISP_TEST_COPY_OUTPUT";

// One running copy of the program, started by the test below as a process of its own: it
// takes serial numbers and counts parts as burns would, and writes down the numbers it took.
TEST(TwoRunningCopies, DISABLED_OneCopy) {
    const char* folder = std::getenv(kCopyFolder);
    const char* output = std::getenv(kCopyOutput);
    ASSERT_TRUE(folder && output);
    platform::setConfigFolderForTest(folder);
    g_nLastSerial = RegLoadLastSn();
    std::ofstream taken(output);
    for (int i = 0; i < kTakesPerCopy; ++i) {
        taken << RegTakeLastSn(true) << "\n";
        BeginCountingParts();
        CountPart(i % 3 != 0);
        SaveCountedParts();
    }
}

// Starts this test program again, as another running copy, on the shared folder.
pid_t StartCopy(const std::string& folder, const std::string& output) {
    setenv(kCopyFolder, folder.c_str(), 1);
    setenv(kCopyOutput, output.c_str(), 1);
    const pid_t pid = fork();
    if (pid == 0) {
        execl("/proc/self/exe", "copy", "--gtest_filter=TwoRunningCopies.DISABLED_OneCopy",
              "--gtest_also_run_disabled_tests", nullptr);
        _exit(127);
    }
    return pid;
}

TEST(TwoRunningCopies, ShareSerialNumbersAndCountersWithoutLosingOrRepeatingAny) {
    TempConfigFolder folder;
    RegSaveLastSn(1000);
    RegSaveCounts(5, 4, 1);
    const std::string outputs[] = {folder.path() + "a.txt", folder.path() + "b.txt"};
    const pid_t copies[] = {StartCopy(folder.path(), outputs[0]), StartCopy(folder.path(), outputs[1])};
    for (const pid_t copy : copies) {
        ASSERT_GT(copy, 0);
        int status = 0;
        waitpid(copy, &status, 0);
        ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    }
    std::set<uint32_t> numbers;
    for (const std::string& output : outputs) {
        std::ifstream taken(output);
        for (uint32_t number; taken >> number;) numbers.insert(number);
    }
    // 1000 distinct numbers from 1000 on: none taken twice, none skipped.
    EXPECT_EQ(numbers.size(), 2u * kTakesPerCopy);
    EXPECT_EQ(*numbers.begin(), 1000u);
    EXPECT_EQ(*numbers.rbegin(), 1000u + 2 * kTakesPerCopy - 1);
    EXPECT_EQ(RegLoadLastSn(), 1000u + 2 * kTakesPerCopy);
    const uint32_t fails = 2 * ((kTakesPerCopy + 2) / 3);
    EXPECT_EQ(StoredCounts(), (Counts{5 + 2 * kTakesPerCopy, 4 + 2 * kTakesPerCopy - fails, 1 + fails}));
}

}  // namespace
