#include "app/posix/package_folder.h"

#include <filesystem>

#include "install/installer.h"
#include "names/letter_case.h"

namespace kolvane::app {
namespace {

namespace fs = std::filesystem;

// Whether `folder` holds the install script under its name in any letter case, as the installer
// finds it.
bool HoldsScript(const fs::path& folder) {
    std::error_code error;
    if (fs::is_regular_file(folder / Installer::kScriptName, error)) {
        return true;
    }
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
        std::error_code kind;
        if (names::Utf8EqualsIgnoringCase(it->path().filename().string(), Installer::kScriptName) &&
            it->is_regular_file(kind)) {
            return true;
        }
    }
    return false;
}

}  // namespace

std::string PackageFolder(const std::string& programDirectory,
                          const std::string& workingDirectory) {
    return !programDirectory.empty() && HoldsScript(programDirectory) ? programDirectory
                                                                      : workingDirectory;
}

std::string ModulePathInPackage(const std::string& executable,
                                const std::string& workingDirectory) {
    if (executable.empty()) {
        return executable;
    }
    const fs::path program(executable);
    return (fs::path(PackageFolder(program.parent_path().string(), workingDirectory)) /
            program.filename())
        .string();
}

}  // namespace kolvane::app
