// File section end to end: the native program installs a generated package of 2,000 files in
// three directory levels (256 MiB) into an empty host and again into the same host (every file
// present, same times), against `cp -r --preserve=timestamps` of the same tree into an empty
// folder, all in the same run.
//
//   bench_file_section PROGRAM [directory]   (PROGRAM: build/release/kolvane; directory:
//                                             $TMPDIR or /tmp)

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
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
constexpr int kTop = 10;
constexpr int kMiddle = 10;
constexpr int kFilesPerFolder = 20;  // 10 x 10 x 20 = 2,000 files
constexpr std::size_t kFileSize = (256u << 20) / (kTop * kMiddle * kFilesPerFolder);
constexpr int kRepetitions = 9;

void WriteFile(const fs::path& path, const std::string& contents) {
    std::ofstream out(path, std::ios::binary);
    out.write(contents.data(), static_cast<std::streamsize>(contents.size()));
    if (!out.flush()) {
        Fail(kProgram, "cannot write " + path.string());
    }
}

// The package folder with its models and InstSkript.txt; every file is different.
void MakePackage(const fs::path& package) {
    std::string script = "Dateinstallation\r\n{\r\n";
    std::string contents(kFileSize, '\0');
    unsigned state = 12345;
    for (char& c : contents) {
        state = state * 1103515245u + 12345u;
        c = static_cast<char>(state >> 24);
    }
    int number = 0;
    for (int top = 0; top < kTop; ++top) {
        for (int middle = 0; middle < kMiddle; ++middle) {
            const std::string folder =
                "Modelle\\Strecke" + std::to_string(top) + "\\Abschnitt" + std::to_string(middle);
            const fs::path onDisk = package / "Modelle" / ("Strecke" + std::to_string(top)) /
                                    ("Abschnitt" + std::to_string(middle));
            fs::create_directories(onDisk);
            for (int file = 0; file < kFilesPerFolder; ++file, ++number) {
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
// benchmark unless it exits with 0.
void Run(const std::vector<std::string>& argv, const fs::path& folder, const std::string& input,
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
    if (::waitpid(child, &status, 0) != child || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        Fail(kProgram, argv[0] + " did not end with exit code 0");
    }
}

std::size_t CountFiles(const fs::path& folder) {
    std::size_t count = 0;
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        count += entry.is_regular_file() ? 1 : 0;
    }
    return count;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s PROGRAM [directory]\n", kProgram);
        return 64;
    }
    const fs::path program = fs::absolute(argv[1]);
    const std::string folder = MakeWorkFolder(kProgram, argc > 2 ? argv[2] : nullptr);
    const fs::path work = folder;
    const fs::path package = work / "Paket";
    const fs::path prefix = work / "prefix";
    const fs::path host = work / "Halmdor";
    const fs::path copied = work / "cp";
    MakePackage(package);
    MakePrefix(prefix, host);
    fs::copy_file(program, package / "kolvane");
    const std::size_t files = static_cast<std::size_t>(kTop * kMiddle * kFilesPerFolder);

    // The three cases take turns, so that a slow moment of the disk falls on all of them alike,
    // and each run starts with nothing left to write back from the one before.
    const auto timed = [](const std::function<void()>& prepare,
                          const std::function<void()>& measured) {
        prepare();
        ::sync();
        const kolvane::bench::Clock::time_point start = kolvane::bench::Clock::now();
        measured();
        return std::chrono::duration<double>(kolvane::bench::Clock::now() - start).count();
    };
    const auto copy = [&] {
        Run({"cp", "-r", "--preserve=timestamps", (package / "Modelle").string(), copied.string()},
            work, "", prefix);
    };
    const auto install = [&] { Run({"./kolvane"}, package, "i\n", prefix); };
    std::vector<double> baselines;
    std::vector<double> empties;
    std::vector<double> agains;
    for (int round = 0; round <= kRepetitions; ++round) {  // round 0 warms up
        const double baseline = timed([&] { fs::remove_all(copied); }, copy);
        const double empty = timed([&] { fs::remove_all(host / "Modelle"); }, install);
        const double again = timed([] {}, install);
        if (round > 0) {
            baselines.push_back(baseline);
            empties.push_back(empty);
            agains.push_back(again);
        }
    }
    if (CountFiles(copied) != files || CountFiles(host / "Modelle") != files) {
        Fail(kProgram, "not every file was copied");
    }
    const auto median = [](std::vector<double> seconds) {
        std::sort(seconds.begin(), seconds.end());
        return seconds[seconds.size() / 2];
    };
    const double baseline = median(baselines);

    std::printf("File section: %zu files in three levels, %.0f MiB (median of %d)\n", files,
                static_cast<double>(files * kFileSize) / (1 << 20), kRepetitions);
    kolvane::bench::Row("cp -r --preserve=timestamps into an empty folder", baseline, baseline);
    kolvane::bench::Row("kolvane into an empty host", median(empties), baseline);
    kolvane::bench::Row("kolvane again into the same host", median(agains), baseline);
    fs::remove_all(work);
    return 0;
}
