// Deep destinations and runs of separators through the native file seam: what one entry of the
// file section asks of it when its directories are made one level at a time from the top (the
// newer-file check, one MakeDirectory a level, the copy, the attributes), each run with a fresh
// seam, as a new run of the installer starts.
//
// Destinations 1,000, 2,000 and 4,000 levels deep ("a\a\...\a\Modell.mdl"; at 2,000 levels the
// path on disk is longer than the system's limit for a path), beside `mkdir -p` of the same
// depth in the same run. Destinations "Halmdor.exe\y" followed by runs of 10,000, 40,000 and
// 100,000 backslashes (Halmdor.exe is a file, so every call fails), beside a plain scan of the
// same text. The time per level, and per backslash, must stay flat.
//
//   bench_deep_paths [directory]   (directory: $TMPDIR or /tmp)

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "bench_util.h"
#include "platform/posix/posix_files.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using kolvane::bench::Fail;
using kolvane::bench::MakeWorkFolder;
using kolvane::platform::DirectoryResult;
using kolvane::platform::kInvalidFile;
using kolvane::platform::PosixFiles;

constexpr const char* kProgram = "bench_deep_paths";
constexpr int kRounds = 5;

void RunQuietly(const std::vector<std::string>& argv) {
    std::vector<char*> args;
    for (const std::string& arg : argv) {
        args.push_back(const_cast<char*>(arg.c_str()));
    }
    args.push_back(nullptr);
    pid_t child = 0;
    int status = 0;
    if (::posix_spawnp(&child, args[0], nullptr, nullptr, args.data(), environ) != 0 ||
        ::waitpid(child, &status, 0) != child || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        Fail(kProgram, argv[0] + " did not end with exit code 0");
    }
}

// Deep trees are removed by rm, which walks them without their whole paths.
void Remove(const fs::path& path) {
    RunQuietly({"rm", "-rf", path.string()});
}

// The median of `rounds` runs of each case, the cases taking turns after a warm-up round; each
// run starts after `prepare` and a sync, with nothing of the run before left to write back.
std::vector<double> TakingTurns(const std::vector<std::function<void()>>& prepare,
                                const std::vector<std::function<void()>>& measured) {
    std::vector<std::vector<double>> seconds(measured.size());
    for (int round = 0; round <= kRounds; ++round) {
        for (std::size_t i = 0; i < measured.size(); ++i) {
            prepare[i]();
            ::sync();
            const auto start = kolvane::bench::Clock::now();
            measured[i]();
            const double took =
                std::chrono::duration<double>(kolvane::bench::Clock::now() - start).count();
            if (round > 0) {
                seconds[i].push_back(took);
            }
        }
    }
    std::vector<double> medians;
    for (std::vector<double>& runs : seconds) {
        std::sort(runs.begin(), runs.end());
        medians.push_back(runs[runs.size() / 2]);
    }
    return medians;
}

// One entry of the file section with a destination `levels` deep below C:\host.
void InstallDeep(const kolvane::platform::DriveMap& drives, int levels) {
    PosixFiles files(drives);
    std::string directory = "C:\\host";
    std::string destination = directory;
    for (int i = 0; i < levels; ++i) {
        destination += "\\a";
    }
    destination += "\\Modell.mdl";
    if (files.OpenForReading(destination) != kInvalidFile) {
        Fail(kProgram, "the destination is there already");
    }
    for (int i = 0; i < levels; ++i) {
        directory += "\\a";
        if (files.MakeDirectory(directory) != DirectoryResult::kCreated) {
            Fail(kProgram, "level " + std::to_string(i + 1) + " was not made");
        }
    }
    if (!files.CopyFileOver("C:\\pkg\\Modell.mdl", destination) ||
        !files.SetNormalAttributes(destination)) {
        Fail(kProgram, "the copy failed");
    }
}

// The same for "Halmdor.exe\y" and a run of backslashes: every call fails.
void InstallBelowAFile(const kolvane::platform::DriveMap& drives, const std::string& destination) {
    PosixFiles files(drives);
    const std::string directory = destination.substr(0, destination.size() - 1);
    const bool failed =
        files.OpenForReading(destination) == kInvalidFile &&
        files.MakeDirectory("C:\\host\\Halmdor.exe") == DirectoryResult::kAlreadyExists &&
        files.MakeDirectory("C:\\host\\Halmdor.exe\\y") == DirectoryResult::kFailed &&
        files.MakeDirectory(directory) == DirectoryResult::kFailed &&
        !files.CopyFileOver("C:\\pkg\\Modell.mdl", destination) &&
        !files.SetNormalAttributes(destination);
    if (!failed) {
        Fail(kProgram, "a call below a file did not fail");
    }
}

}  // namespace

int main(int argc, char** argv) {
    const std::string folder = MakeWorkFolder(kProgram, argc > 1 ? argv[1] : nullptr);
    const fs::path work = folder;
    fs::create_directories(work / "pkg");
    fs::create_directories(work / "host");
    std::ofstream(work / "pkg" / "Modell.mdl") << "model\r\n";
    std::ofstream(work / "host" / "Halmdor.exe") << "host\r\n";
    kolvane::platform::DriveMap drives;
    drives.Assign('c', work.string());

    std::printf(
        "Deep destinations (median of %d): one entry through the file seam, a fresh seam "
        "each run\n",
        kRounds);
    double firstPerLevel = 0;
    for (const int levels : {1000, 2000, 4000}) {
        std::string deep = (work / "base").string();
        for (int i = 0; i < levels; ++i) {
            deep += "/a";
        }
        const std::vector<double> medians =
            TakingTurns({[&] { Remove(work / "base"); }, [&] { Remove(work / "host" / "a"); }},
                        {[&] {
                             RunQuietly({"mkdir", "-p", deep});
                         },
                         [&] { InstallDeep(drives, levels); }});
        const double perLevel = medians[1] / levels;
        firstPerLevel = firstPerLevel > 0 ? firstPerLevel : perLevel;
        std::printf(
            "  %5d levels: mkdir -p %8.2f ms (%6.1f us a level), seam %8.2f ms (%6.1f us "
            "a level, %5.2f x mkdir -p, %5.2f x the 1,000-level figure)\n",
            levels, medians[0] * 1e3, medians[0] / levels * 1e6, medians[1] * 1e3, perLevel * 1e6,
            medians[1] / medians[0], perLevel / firstPerLevel);
    }
    Remove(work / "base");
    Remove(work / "host" / "a");

    std::printf(
        "\nRuns of backslashes behind Halmdor.exe\\y (median of %d): the same calls, "
        "20 entries a run\n",
        kRounds);
    double firstPerBackslash = 0;
    for (const int run : {10000, 40000, 100000}) {
        const std::string destination = "C:\\host\\Halmdor.exe\\y" + std::string(run, '\\');
        std::size_t counted = 0;
        const std::vector<double> medians =
            TakingTurns({[] {}, [] {}}, {[&] {
                                             for (int i = 0; i < 20; ++i) {
                                                 counted += static_cast<std::size_t>(std::count(
                                                     destination.begin(), destination.end(), '\\'));
                                             }
                                         },
                                         [&] {
                                             for (int i = 0; i < 20; ++i) {
                                                 InstallBelowAFile(drives, destination);
                                             }
                                         }});
        if (counted == 0) {
            Fail(kProgram, "nothing counted");
        }
        const double perBackslash = medians[1] / 20 / run;
        firstPerBackslash = firstPerBackslash > 0 ? firstPerBackslash : perBackslash;
        std::printf(
            "  %6d backslashes: scan %7.3f ms, seam %8.3f ms (%5.1f ns a backslash, "
            "%5.1f x the scan, %5.2f x the 10,000 figure)\n",
            run, medians[0] / 20 * 1e3, medians[1] / 20 * 1e3, perBackslash * 1e9,
            medians[1] / medians[0], perBackslash / firstPerBackslash);
    }
    Remove(work);
    return 0;
}
