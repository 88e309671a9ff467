#pragma once
// Running copies of the program sharing one folder, each a process of its own: the test
// program starts itself again to run one disabled test that plays a copy, and collects the
// numbers each copy wrote down.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

// Inside a copy: the shared folder, and the file for the numbers it takes, one a line.
struct CopyArguments {
    std::string folder, output;
};
std::optional<CopyArguments> RunningCopyArguments();

// Starts two copies of this test program running the named test on the folder (the second on
// secondFolder when one is given), waits for both to end well, and gives the numbers both
// wrote down.
std::vector<uint32_t> RunTwoCopies(const std::string& test, const std::string& folder,
                                   const std::string& secondFolder = {});
// Starts one copy running the named test on the folder, as a copy started afterwards that never
// saw what this one saw, and waits for it to end well.
void RunOneCopy(const std::string& test, const std::string& folder);
// Forks this program: the child plays another running copy that saw the store and the INI file
// as this one last did, runs act and ends. Waits for it to end well.
void InAnotherCopy(const std::function<void()>& act);
