#pragma once

// The native program as a user runs it: build/native/kolvane copied into a package folder beside
// a Wine-style prefix with its registry files and drive links, answers fed on standard input.

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "support/run_process.h"
#include "support/temp_dir.h"

namespace kolvane::testing {
inline constexpr std::string_view kRegistryHeader =
    "WINE REGISTRY Version 2\n;; All keys relative to \\\\Machine\n\n#arch=win64\n\n";

// Registry file lines for one value below HKEY_CLASSES_ROOT\Software\Tessaline\<product>.
inline std::string ProductValue(std::string_view product, std::string_view name,
                                std::string_view windowsPath) {
    std::string escaped;
    for (char c : windowsPath) {
        escaped += c == '\\' ? std::string("\\\\") : std::string(1, c);
    }
    return "[Software\\\\Classes\\\\Software\\\\Tessaline\\\\" + std::string(product) +
           "] 1700000000\n\"" + std::string(name) + "\"=\"" + escaped + "\"\n";
}

inline constexpr const char* kCatalogue = "prefix/drive_c/Halmdor/Resources/Rezazerad/Texturen.txt";
inline const std::string kNoHostEnglish =
    "(!) None of the programs Halmdor, Pellimar 2 or Brannock is installed on this system. "
    "Installation aborted.\n";

class NativeProgramTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::filesystem::create_directories(dir.HostPath("prefix/dosdevices"));
        std::filesystem::create_directories(
            dir.HostPath("prefix/drive_c/Halmdor/Resources/Rezazerad"));
        std::filesystem::create_symlink("../drive_c", dir.HostPath("prefix/dosdevices/c:"));
        std::filesystem::create_symlink("/", dir.HostPath("prefix/dosdevices/z:"));
        WriteRegistry(ProductValue("HMDX", "AppPath", "C:\\Halmdor\\Halmdor.exe") +
                      "\"ResBase\"=\"C:\\\\Halmdor\\\\Resources\"\n");
        dir.Write(kCatalogue, "Texturen{\r\n\t\tTextur{\tid(1)\t}\r\n\t\t}\r\n");
        dir.Write("pkg/Modell.mdl", "model\r\n");
        dir.Write("pkg/a.dat", "a");
        dir.Write("pkg/b.dat", "b");
        // Windows-1252 Š and š name one file, as they do on Windows.
        dir.Write("pkg/InstSkript.txt",
                  "Dateinstallation\r\n{\r\n\t{Modell.mdl>>Modelle\\Modell.mdl}\r\n"
                  "\t{a.dat>>Modelle\\\x8A.dat}\r\n\t{b.dat>>Modelle\\\x9A.dat}\r\n}\r\n"
                  "Texturskript\r\n{\r\n\t{2>>Textur{id(2)}}\r\n}\r\n");
        std::filesystem::copy_file(KOLVANE_PROGRAM, dir.HostPath("pkg/kolvane"));
    }

    void WriteRegistry(const std::string& keys) const {
        dir.Write("prefix/system.reg", std::string(kRegistryHeader) + keys);
    }

    // A run of `args` in the test's folder on its prefix, with `input` as its answers, in the
    // locale C.UTF-8.
    ProcessRun ProgramRun(std::vector<std::string> args, const std::string& input) const {
        ProcessRun run;
        run.args = std::move(args);
        run.environment = {{"WINEPREFIX", dir.HostPath("prefix")},
                           {"HOME", dir.Path()},
                           {"LANG", "C.UTF-8"},
                           {"LC_ALL", std::nullopt},
                           {"LC_MESSAGES", std::nullopt},
                           {"LC_CTYPE", std::nullopt}};
        run.input = input;
        run.directory = dir.Path();
        run.timeoutSeconds = 60;
        return run;
    }

    // Runs the package's copy of the program with `input` as its answers. The locale is C.UTF-8
    // unless `environment` says otherwise.
    ProcessResult Run(const std::string& input,
                      std::map<std::string, std::optional<std::string>> environment = {},
                      std::vector<std::string> arguments = {}) const {
        arguments.insert(arguments.begin(), dir.HostPath("pkg/kolvane"));
        ProcessRun run = ProgramRun(std::move(arguments), input);
        for (auto& [name, value] : environment) {
            run.environment[name] = value;
        }
        return RunProcess(run);
    }

    TempDir dir;
};

}  // namespace kolvane::testing
