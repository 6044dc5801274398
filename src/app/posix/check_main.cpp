// kolvane-check: the package checker on Linux, with the host found in a Wine prefix's registry
// as the native installer finds it (WINEPREFIX, else the prefix the search finds).
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/posix/prefix_choice.h"
#include "check/check_program.h"
#include "names/windows_text.h"
#include "platform/posix/posix_disk_probe.h"
#include "platform/posix/posix_files.h"
#include "platform/posix/posix_system.h"
#include "platform/posix/prefix_search.h"
#include "platform/posix/wine_prefix.h"
#include "platform/posix/wine_registry.h"
#include "platform/visible_text.h"

using namespace kolvane;

namespace {

// The folder as the prefix's drives name it, in Windows-1252 without a trailing backslash; none
// when it is no folder, lies on no drive or has a name the code page cannot write.
std::optional<std::string> PackagePath(const platform::DriveMap& drives,
                                       const std::string& folder) {
    std::error_code error;
    const std::filesystem::path real = std::filesystem::canonical(folder, error);
    if (error || !std::filesystem::is_directory(real, error)) {
        return std::nullopt;
    }
    const std::optional<std::string> windows = drives.ToWindowsPath(real.string());
    if (!windows) {
        return std::nullopt;
    }
    std::string path = names::Utf8ToWindows1252(*windows);
    if (names::Windows1252ToUtf8(path) != *windows) {
        return std::nullopt;
    }
    while (!path.empty() && path.back() == '\\') {
        path.pop_back();
    }
    return path;
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    platform::WinePrefix prefix = platform::WinePrefixFromEnvironment();
    // A dry run reads the host from the prefix that the installer would read it from.
    if (check::ParseCheckArguments(arguments).host) {
        const app::PrefixChoice choice = app::ChoosePrefix(
            {std::getenv("WINEPREFIX"), platform::HomeDirectory(std::getenv("HOME")),
             "kolvane-check", true, platform::kLanguageEnglish, app::TerminalCharset::kUtf8},
            nullptr, std::cout, std::cerr);
        prefix = platform::WinePrefixAt(choice.directory);
    }
    const platform::DriveMap& drives = prefix.drives;

    const std::unique_ptr<platform::Registry> prefixRegistry =
        platform::OpenPrefixRegistry(prefix.directory);
    platform::Registry& registry = *prefixRegistry;
    platform::PosixFiles files(drives);
    platform::PosixDiskProbe probe(files);
    return check::RunCheckProgram(
        arguments, std::cout, std::cerr,
        {files, probe, registry,
         [&drives](const std::string& folder) { return PackagePath(drives, folder); },
         [](std::string_view text) { return names::Windows1252ToUtf8(text); },
         [](std::string_view argument) {
             return platform::VisibleUtf8Text(argument, platform::LineFeeds::kShown);
         }});
}
