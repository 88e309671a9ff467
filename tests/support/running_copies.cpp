#include "support/running_copies.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>

namespace {

const char* const kCopyFolder = "SWD_ISP_TEST_COPY_FOLDER";
const char* const kCopyOutput = "SWD_ISP_TEST_COPY_OUTPUT";

pid_t StartCopy(const std::string& test, const std::string& folder, const std::string& output) {
    const std::string filter = "--gtest_filter=" + test;
    const pid_t pid = fork();
    if (pid == 0) {
        setenv(kCopyFolder, folder.c_str(), 1);
        setenv(kCopyOutput, output.c_str(), 1);
        execl("/proc/self/exe", "copy", filter.c_str(), "--gtest_also_run_disabled_tests", nullptr);
        _exit(127);
    }
    return pid;
}

void ExpectEndedWell(pid_t copy) {
    EXPECT_GT(copy, 0);
    int status = 0;
    if (copy > 0) waitpid(copy, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}

}  // namespace

std::optional<CopyArguments> RunningCopyArguments() {
    const char* folder = std::getenv(kCopyFolder);
    const char* output = std::getenv(kCopyOutput);
    if (!folder || !output) return std::nullopt;
    return CopyArguments{folder, output};
}

void RunOneCopy(const std::string& test, const std::string& folder) {
    ExpectEndedWell(StartCopy(test, folder, folder + "copy.txt"));
}

std::vector<uint32_t> RunTwoCopies(const std::string& test, const std::string& folder, const std::string& secondFolder) {
    const std::string second = secondFolder.empty() ? folder : secondFolder;
    const std::string outputs[] = {folder + "copy-a.txt", second + "copy-b.txt"};
    const pid_t copies[] = {StartCopy(test, folder, outputs[0]), StartCopy(test, second, outputs[1])};
    for (const pid_t copy : copies) ExpectEndedWell(copy);
    std::vector<uint32_t> numbers;
    for (const std::string& output : outputs) {
        std::ifstream taken(output);
        for (uint32_t number; taken >> number;) numbers.push_back(number);
    }
    return numbers;
}

void InAnotherCopy(const std::function<void()>& act) {
    const pid_t copy = fork();
    if (copy == 0) {
        act();
        _exit(0);
    }
    ExpectEndedWell(copy);
}
