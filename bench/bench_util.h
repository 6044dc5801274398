#pragma once

// Timing helpers shared by the benchmark programs: every figure is the median of several runs,
// printed beside a baseline measured in the same run.

#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

namespace kolvane::bench {

using Clock = std::chrono::steady_clock;

inline constexpr int kRepetitions = 7;

// The median duration in seconds of `repetitions` runs of `measured`, each after an untimed
// `prepare`, after one untimed warm-up run.
inline double Median(const std::function<void()>& prepare, const std::function<void()>& measured,
                     int repetitions = kRepetitions) {
    prepare();
    measured();
    std::vector<double> seconds;
    for (int i = 0; i < repetitions; ++i) {
        prepare();
        const Clock::time_point start = Clock::now();
        measured();
        seconds.push_back(std::chrono::duration<double>(Clock::now() - start).count());
    }
    std::sort(seconds.begin(), seconds.end());
    return seconds[seconds.size() / 2];
}

inline double Median(const std::function<void()>& measured, int repetitions = kRepetitions) {
    return Median([] {}, measured, repetitions);
}

[[noreturn]] inline void Fail(const char* program, const std::string& what) {
    std::fprintf(stderr, "%s: %s\n", program, what.c_str());
    std::exit(1);
}

// One row: what was measured, its time, and its ratio to the baseline of its group.
// A fresh folder for one benchmark's files below `parent`, else below $TMPDIR or /tmp.
inline std::string MakeWorkFolder(const char* program, const char* parent) {
    const char* tmp = std::getenv("TMPDIR");
    std::string folder = std::string(parent != nullptr ? parent : (tmp && *tmp ? tmp : "/tmp")) +
                         "/kolvane-bench-XXXXXX";
    if (::mkdtemp(folder.data()) == nullptr) {
        Fail(program, "cannot create a working directory");
    }
    return folder;
}

inline void Row(const std::string& what, double seconds, double baseline) {
    std::printf("  %-52s %10.2f ms  %8.2f x\n", what.c_str(), seconds * 1e3, seconds / baseline);
}

// A "Z:\..." path for a host path, as the core names files on drive Z: (= "/").
inline std::string DriveZ(const std::string& hostPath) {
    std::string windows = "Z:";
    for (char c : hostPath) {
        windows += c == '/' ? '\\' : c;
    }
    return windows;
}

}  // namespace kolvane::bench
