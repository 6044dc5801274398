// File section end to end: the native program installs a generated package into an empty host
// and again into the same host (every file present, same times), against
// `cp -r --preserve=timestamps` of the same tree into an empty folder, in two shapes: 2,000 files
// of 128 KiB in 100 folders of 20 (256 MiB), and 400 files of 160 KiB in 100 folders of 4
// (62.5 MiB), where the work per folder weighs more. Every installation keeps its record. Then
// kolvane-remove (beside PROGRAM) takes installations back, against the installation into an
// empty host.
//
//   bench_file_section PROGRAM [directory]   (PROGRAM: build/release/kolvane; directory:
//                                             $TMPDIR or /tmp)
//
// Every run writes into folders made for it in its round: a fresh host, with a prefix whose
// registry names it, for the install and the install again; a fresh folder for cp. Nothing is
// deleted while runs are timed: ext4 without a journal passes over inodes freed in the last minute
// when it takes a new one (for five minutes while their block of the inode table is being
// written), which makes creating files several times slower, so a tree deleted a round earlier,
// seconds before, would slow every run down. Instead, just before each run, the files that the
// same case wrote two rounds earlier are cut to nothing: that gives back the disk space and the
// memory the run is about to take, as deleting them would, but no inode. (On a virtual machine,
// memory freed a moment ago is quick to take again, while a page that has lain free for a while
// is slow to touch first, as docs/benchmarks.md shows.) The trees are deleted at the end.
//
// The cases take turns, every other round in the opposite order, each after a sync, so that a
// slow moment of the disk falls on all of them alike; each figure is the median of 9 rounds after
// a warm-up round, each ratio the median of the rounds' ratios to cp in the same round.

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "bench_util.h"

namespace {

namespace fs = std::filesystem;
using kolvane::bench::Fail;
using kolvane::bench::MakeWorkFolder;

constexpr const char* kProgram = "bench_file_section";
constexpr int kRounds = 9;

// A package in 10 x 10 folders in three levels, `filesPerFolder` files of `fileSize` bytes in each.
struct Shape {
    const char* name;  // the package folder's name
    int filesPerFolder;
    std::size_t fileSize;
    int Folders() const { return 100; }
    std::size_t Files() const { return static_cast<std::size_t>(Folders() * filesPerFolder); }
};
constexpr Shape kShapes[] = {
    {"Paket20", 20, (std::size_t{256} << 20) / 2000},  // 2,000 files, 256 MiB
    {"Paket4", 4, std::size_t{160} << 10},             // 400 files, 62.5 MiB
};
constexpr std::size_t kShapeCount = std::size(kShapes);

void WriteFile(const fs::path& path, const std::string& contents) {
    std::ofstream out(path, std::ios::binary);
    out.write(contents.data(), static_cast<std::streamsize>(contents.size()));
    if (!out.flush()) {
        Fail(kProgram, "cannot write " + path.string());
    }
}

// The package folder with its models and InstSkript.txt; every file is different.
void MakePackage(const fs::path& package, const Shape& shape) {
    std::string script = "Dateinstallation\r\n{\r\n";
    std::string contents(shape.fileSize, '\0');
    unsigned state = 12345;
    for (char& c : contents) {
        state = state * 1103515245u + 12345u;
        c = static_cast<char>(state >> 24);
    }
    int number = 0;
    for (int top = 0; top < 10; ++top) {
        for (int middle = 0; middle < 10; ++middle) {
            const std::string folder =
                "Modelle\\Strecke" + std::to_string(top) + "\\Abschnitt" + std::to_string(middle);
            const fs::path onDisk = package / "Modelle" / ("Strecke" + std::to_string(top)) /
                                    ("Abschnitt" + std::to_string(middle));
            fs::create_directories(onDisk);
            for (int file = 0; file < shape.filesPerFolder; ++file, ++number) {
                const std::string name = "Teil" + std::to_string(file) + ".mdl";
                contents.replace(0, sizeof number, reinterpret_cast<const char*>(&number),
                                 sizeof number);
                WriteFile(onDisk / name, contents);
                script += "\t{" + folder + "\\" + name + " >> " + folder + "\\" + name + "}\r\n";
            }
        }
    }
    // The run needs a texture section; an empty one leaves the catalogue as it is.
    WriteFile(package / "InstSkript.txt", script + "}\r\nTexturskript\r\n{\r\n}\r\n");
}

// A host path as a string in Wine's registry files: on drive Z: (= "/"), backslashes doubled.
std::string RegistryString(const fs::path& path) {
    std::string text;
    for (char c : kolvane::bench::DriveZ(path.string())) {
        text += c == '\\' ? std::string("\\\\") : std::string(1, c);
    }
    return '"' + text + '"';
}

// A Wine-style prefix whose registry names the host, and the host with its texture catalogue:
// drive Z: is "/", as wineboot links it.
void MakePrefix(const fs::path& prefix, const fs::path& host) {
    fs::create_directories(prefix / "dosdevices");
    fs::create_directory_symlink("/", prefix / "dosdevices" / "z:");
    WriteFile(prefix / "system.reg",
              "WINE REGISTRY Version 2\n;; All keys relative to \\\\Machine\n\n#arch=win64\n\n"
              "[Software\\\\Classes\\\\Software\\\\Tessaline\\\\HMDX] 1700000000\n"
              "\"AppPath\"=" +
                  RegistryString(host / "Halmdor.exe") +
                  "\n\"ResBase\"=" + RegistryString(host / "Resources") + "\n");
    WriteFile(prefix / "user.reg", "WINE REGISTRY Version 2\n\n#arch=win64\n");
    fs::create_directories(host / "Resources" / "Rezazerad");
    WriteFile(host / "Halmdor.exe", "host\r\n");
    WriteFile(host / "Resources" / "Rezazerad" / "Texturen.txt",
              "Texturen{\r\n\t\tTextur{\tid(1)\tName(Gras)\t}\r\n\t\t}\r\n");
}

// Runs `argv` in `folder` with `input` on standard input and its output discarded; fails the
// benchmark unless it exits with 0. The processor time it took, in user and system mode.
double Run(const std::vector<std::string>& argv, const fs::path& folder, const std::string& input,
           const fs::path& prefix) {
    int pipeFds[2];
    if (::pipe(pipeFds) != 0) {
        Fail(kProgram, "pipe failed");
    }
    const pid_t child = ::fork();
    if (child < 0) {
        Fail(kProgram, "fork failed");
    }
    if (child == 0) {
        ::dup2(pipeFds[0], STDIN_FILENO);
        ::close(pipeFds[0]);
        ::close(pipeFds[1]);
        const int null = ::open("/dev/null", O_WRONLY);
        ::dup2(null, STDOUT_FILENO);
        if (::chdir(folder.c_str()) != 0) {
            ::_exit(127);
        }
        ::setenv("WINEPREFIX", prefix.c_str(), 1);
        ::setenv("LANG", "C", 1);
        std::vector<char*> args;
        for (const std::string& arg : argv) {
            args.push_back(const_cast<char*>(arg.c_str()));
        }
        args.push_back(nullptr);
        ::execvp(args[0], args.data());
        ::_exit(127);
    }
    ::close(pipeFds[0]);
    if (::write(pipeFds[1], input.data(), input.size()) != static_cast<ssize_t>(input.size())) {
        Fail(kProgram, "cannot answer the program");
    }
    ::close(pipeFds[1]);
    int status = 0;
    rusage usage{};
    if (::wait4(child, &status, 0, &usage) != child || !WIFEXITED(status) ||
        WEXITSTATUS(status) != 0) {
        Fail(kProgram, argv[0] + " did not end with exit code 0");
    }
    const auto seconds = [](const timeval& time) {
        return static_cast<double>(time.tv_sec) + static_cast<double>(time.tv_usec) * 1e-6;
    };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

std::size_t CountFiles(const fs::path& folder) {
    std::size_t count = 0;
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        count += entry.is_regular_file() ? 1 : 0;
    }
    return count;
}

// Cuts every file below `tree` to nothing, leaving the files and folders.
void Empty(const fs::path& tree) {
    for (const auto& entry : fs::recursive_directory_iterator(tree)) {
        if (entry.is_regular_file()) {
            fs::resize_file(entry.path(), 0);
        }
    }
}

// The runs of one shape in one round, each into folders of its own below `round`.
struct Runs {
    fs::path package;
    fs::path prefix;
    fs::path host;
    fs::path copied;
};

// A host and its prefix, fresh for one install and the install again after it.
Runs MakeRuns(const fs::path& package, const fs::path& round) {
    Runs runs{package, round / "prefix", round / "Halmdor", round / "cp"};
    MakePrefix(runs.prefix, runs.host);
    return runs;
}

// One timed run: its time, and the processor time it took (which others' work on the machine
// does not lengthen).
struct Took {
    double seconds = 0;
    double processor = 0;
};

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// One row: the median time of the rounds, and the median, least and greatest of the rounds'
// ratios to the baseline of the same round, and the median ratio of processor times; for the
// baseline itself, its least and greatest time.
void Row(const char* what, const std::vector<Took>& runs, const std::vector<Took>& baseline) {
    std::vector<double> seconds;
    std::vector<double> ratios;
    std::vector<double> processorRatios;
    for (std::size_t i = 0; i < runs.size(); ++i) {
        seconds.push_back(runs[i].seconds);
        ratios.push_back(runs[i].seconds / baseline[i].seconds);
        processorRatios.push_back(runs[i].processor / baseline[i].processor);
    }
    std::printf("  %-46s %8.2f ms  %5.2f x", what, Median(seconds) * 1e3, Median(ratios));
    if (&runs == &baseline) {
        const auto [least, greatest] = std::minmax_element(seconds.begin(), seconds.end());
        std::printf("  (rounds %.0f to %.0f ms)\n", *least * 1e3, *greatest * 1e3);
    } else {
        const auto [least, greatest] = std::minmax_element(ratios.begin(), ratios.end());
        std::printf("  (rounds %.2f to %.2f x; processor %.2f x)\n", *least, *greatest,
                    Median(processorRatios));
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s PROGRAM [directory]\n", kProgram);
        return 64;
    }
    const fs::path program = fs::absolute(argv[1]);
    const fs::path work = MakeWorkFolder(kProgram, argc > 2 ? argv[2] : nullptr);
    for (const Shape& shape : kShapes) {
        MakePackage(work / shape.name, shape);
        fs::copy_file(program, work / shape.name / "kolvane");
    }

    const auto timed = [](const std::function<double()>& measured) {
        ::sync();
        const kolvane::bench::Clock::time_point start = kolvane::bench::Clock::now();
        Took took;
        took.processor = measured();
        took.seconds = std::chrono::duration<double>(kolvane::bench::Clock::now() - start).count();
        return took;
    };
    struct Times {
        std::vector<Took> copy, empty, again;
    };
    Times times[kShapeCount];
    std::vector<std::array<Runs, kShapeCount>> rounds;  // the folders each round wrote
    for (int round = 0; round <= kRounds; ++round) {    // round 0 warms up
        rounds.emplace_back();
        for (std::size_t turn = 0; turn < kShapeCount; ++turn) {
            const std::size_t s = round % 2 == 0 ? turn : kShapeCount - 1 - turn;
            const Runs& runs = rounds.back()[s] = MakeRuns(
                work / kShapes[s].name, work / ("round" + std::to_string(round)) / kShapes[s].name);
            const Runs* old = round >= 2 ? &rounds[round - 2][s] : nullptr;
            const auto copy = [&] {
                if (old != nullptr) {
                    Empty(old->copied);
                }
                return timed([&] {
                    return Run({"cp", "-r", "--preserve=timestamps",
                                (runs.package / "Modelle").string(), runs.copied.string()},
                               work, "", runs.prefix);
                });
            };
            const auto install = [&] {
                return timed([&] { return Run({"./kolvane"}, runs.package, "i\n", runs.prefix); });
            };
            const auto installIntoEmpty = [&] {
                if (old != nullptr && fs::exists(old->host / "Modelle")) {
                    Empty(old->host / "Modelle");
                }
                return install();
            };
            Took baseline;
            Took empty;
            if (round % 2 == 0) {
                baseline = copy();
                empty = installIntoEmpty();
            } else {
                empty = installIntoEmpty();
                baseline = copy();
            }
            const Took again = install();
            if (round > 0) {
                times[s].copy.push_back(baseline);
                times[s].empty.push_back(empty);
                times[s].again.push_back(again);
            }
        }
    }
    for (std::size_t s = 0; s < kShapeCount; ++s) {
        const Runs& last = rounds.back()[s];
        if (CountFiles(last.copied) != kShapes[s].Files() ||
            CountFiles(last.host / "Modelle") != kShapes[s].Files()) {
            Fail(kProgram, "not every file was copied");
        }
    }

    // Removals come after every timed installation, since the files they delete would slow the
    // creation of files that follows (see above); each takes back an installation made for it.
    constexpr int kRemovals = 5;
    std::vector<Took> removals[kShapeCount];
    const fs::path remover = program.parent_path() / "kolvane-remove";
    for (int round = 0; round < kRemovals; ++round) {
        for (std::size_t s = 0; s < kShapeCount; ++s) {
            const Runs runs =
                MakeRuns(work / kShapes[s].name,
                         work / ("removal" + std::to_string(round)) / kShapes[s].name);
            Run({"./kolvane"}, runs.package, "i\n", runs.prefix);
            removals[s].push_back(timed([&] {
                return Run({remover.string(), kShapes[s].name}, runs.package, "y\n", runs.prefix);
            }));
            if (fs::exists(runs.host / "Modelle")) {
                Fail(kProgram, "not every file was removed");
            }
        }
    }

    std::printf(
        "File section: every run into fresh folders; median of %d rounds, ratio: the median "
        "of the rounds' ratios to cp\n",
        kRounds);
    for (std::size_t s = 0; s < kShapeCount; ++s) {
        const Shape& shape = kShapes[s];
        const Times& t = times[s];
        std::printf("%zu files in %d folders of %d, %.1f MiB\n", shape.Files(), shape.Folders(),
                    shape.filesPerFolder,
                    static_cast<double>(shape.Files() * shape.fileSize) / (1 << 20));
        Row("cp -r --preserve=timestamps into empty folder", t.copy, t.copy);
        Row("kolvane into an empty host", t.empty, t.copy);
        Row("kolvane again into the same host", t.again, t.copy);
        const double install = Median([&] {
            std::vector<double> seconds;
            for (const Took& took : t.empty) {
                seconds.push_back(took.seconds);
            }
            return seconds;
        }());
        std::vector<double> removal;
        for (const Took& took : removals[s]) {
            removal.push_back(took.seconds);
        }
        std::printf("  %-46s %8.2f ms  %5.2f x kolvane into an empty host (median of %d)\n",
                    "kolvane-remove of that installation", Median(removal) * 1e3,
                    Median(removal) / install, kRemovals);
    }
    fs::remove_all(work);
    return 0;
}
