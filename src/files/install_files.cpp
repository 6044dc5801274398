#include "cmdline/program_parameters.h"
#include "install/installer.h"
#include "install/messages.h"
#include "names/contained_path.h"

namespace kolvane {
namespace {

constexpr const char* kSectionName = "Dateinstallation";

}  // namespace

bool Installer::InstallFiles() {
    if (!m_scriptReader.FindSection(kSectionName)) {
        return true;
    }
    platform::Files& files = platform_.files;
    platform::UserInterface& ui = platform_.ui;
    const auto reportFailure = [&](const std::string& source, const std::string& destination) {
        ui.ShowMessageText(
            FormatMessageText(LocalizedId(platform_.system, kMsgCopyFailed), {source, destination}),
            platform::kMbOk);
    };

    bool result = true;
    std::string entry;
    EntryParts parts;
    while (NextEntry(entry, parts)) {
        const std::string sourcePart(parts.left);
        const std::string destinationPart(parts.right);
        const std::string source = m_exeDir + "\\" + sourcePart;
        const std::string destination = HostPath() + destinationPart;

        // A path that leaves the package or the host is neither read nor written.
        if (!HostFound() || !names::StaysInsideBase(sourcePart) ||
            !names::StaysInsideBase(destinationPart)) {
            reportFailure(source, destination);
            result = false;
            continue;
        }

        if (IsPresentFileNewer(destination, source)) {
            if (SilentSwitch.on) {
                continue;
            }
            const std::string question = FormatMessageText(
                LocalizedId(platform_.system, kMsgPresentFileNewer), {destination, source});
            if (ui.ShowMessageText(question, platform::kMbYesNo) == platform::kIdYes) {
                continue;
            }
        }

        const bool copied =
            CreateDirectoryChain(destination) && files.CopyFileOver(source, destination);
        if (!copied) {
            reportFailure(source, destination);
            result = false;
        }
        // Also after a failure, so that a read-only file is replaced on the next run.
        files.SetNormalAttributes(destination);
    }
    return result;
}

bool Installer::IsPresentFileNewer(const std::string& destination, const std::string& source) {
    platform::Files& files = platform_.files;
    const platform::ScopedFile present(files, destination);
    if (!present.IsOpen()) {
        return false;
    }
    // A package file that cannot be read cannot be better than the file that is there.
    const platform::ScopedFile package(files, source);
    if (!package.IsOpen()) {
        return true;
    }
    platform::FileTime presentTime = 0;
    if (!files.LastWriteTime(present.Get(), presentTime)) {
        return false;
    }
    platform::FileTime packageTime = 0;
    if (!files.LastWriteTime(package.Get(), packageTime)) {
        return true;
    }
    return presentTime > packageTime;
}

bool Installer::CreateDirectoryChain(const std::string& path) {
    const std::size_t lastBackslash = path.rfind('\\');
    const std::string directory =
        lastBackslash == std::string::npos ? path : path.substr(0, lastBackslash);
    // A drive (C:) or a drive's root (C:\) is never created; this also ends the recursion.
    if (directory.size() <= 3) {
        return false;
    }
    platform::Files& files = platform_.files;
    const platform::DirectoryResult first = files.MakeDirectory(directory);
    if (first != platform::DirectoryResult::kFailed) {
        return true;
    }
    if (lastBackslash != std::string::npos) {
        CreateDirectoryChain(directory);
    }
    return files.MakeDirectory(directory) == platform::DirectoryResult::kCreated;
}

}  // namespace kolvane
