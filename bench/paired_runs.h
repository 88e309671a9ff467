#pragma once
// Figures taken in pairs, ours beside a reference measured in the same runs (interleaved, so a
// busy machine weighs on both alike), printed as runs, minimum and median of each and the
// ratio of the medians. Also starts a child program and measures it as a user would feel it.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

struct PairedFigure {
    const char* name;
    const char* unit;
    std::vector<double> ours, reference;

    void add(double oursValue, double referenceValue) {
        ours.push_back(oursValue);
        reference.push_back(referenceValue);
    }
    static double min(std::vector<double> values) { return *std::min_element(values.begin(), values.end()); }
    static double median(std::vector<double> values) {
        std::sort(values.begin(), values.end());
        const size_t n = values.size();
        return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
    }
    void print() const {
        if (ours.empty() || reference.empty()) return;
        std::printf("%-24s runs %zu  ours min %8.1f median %8.1f %s  reference min %8.1f median %8.1f %s"
                    "  ratio %.2f\n",
                    name, ours.size(), min(ours), median(ours), unit, min(reference), median(reference), unit,
                    median(ours) / median(reference));
    }
};

// A child that ran to its end: its wall time from fork to exit, its peak memory and how it ended.
struct ChildRun {
    double milliseconds = 0;
    double peakMegabytes = 0;
    bool succeeded = false;
};

// Runs argv (argv[0] a path) to its end with its output discarded.
inline ChildRun RunChild(const std::vector<std::string>& argv) {
    std::vector<char*> args;
    for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
        if (freopen("/dev/null", "w", stdout) == nullptr) _exit(126);
        execv(args[0], args.data());
        _exit(127);
    }
    ChildRun run;
    int status = 0;
    struct rusage usage {};
    if (pid < 0 || wait4(pid, &status, 0, &usage) != pid) return run;
    run.milliseconds = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    run.peakMegabytes = static_cast<double>(usage.ru_maxrss) / 1024.0;
    run.succeeded = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    return run;
}
