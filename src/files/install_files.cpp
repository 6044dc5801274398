#include "files/install_files.h"

#include <vector>

#include "messages/messages.h"
#include "names/contained_path.h"
#include "names/windows_path.h"

namespace kolvane {

namespace {

// Whether a destination lies in the host's record folder: by its name, or where a link leads
// (as the look at it found, or by a look of its own on a seam that keeps no looks).
bool InRecordFolder(platform::Files& files, std::string_view relative,
                    const std::string& destination, const platform::Sight& present,
                    const std::string& recordFolder) {
    const std::string key = names::PathKey(relative);
    const std::string folder = names::PathKey(records::kRecordFolder);
    if (key.size() > folder.size() && key.compare(0, folder.size(), folder) == 0 &&
        (key[folder.size()] == '\\' || key[folder.size()] == '/')) {
        return true;
    }
    const platform::Location seen = files.LocateSeen(present, recordFolder);
    return seen == platform::Location::kInside ||
           (seen == platform::Location::kUnknown &&
            files.LocateIn(destination, recordFolder) == platform::Location::kInside);
}

}  // namespace

bool InstallFiles(const FileSectionContext& context) {
    if (!context.script.FindSection(SectionName(Section::kFiles))) {
        // A script that cannot be read is no script without files: what it lists is missing.
        return !context.script.ReadFailed();
    }
    platform::Files& files = context.files;
    platform::UserInterface& ui = context.ui;
    const auto reportFailure = [&](const std::string& source, const std::string& destination) {
        ui.ShowMessageText(
            FormatMessageText(LocalizedId(context.system, kMsgCopyFailed),
                              {names::ShownPath(source), names::ShownPath(destination)}),
            platform::kMbOk);
    };

    // What killed runs left is removed from the host's folders as they are written into.
    if (!context.hostPath.empty()) {
        files.TidyWithin(context.hostPath);
    }
    const std::string recordFolder = context.hostPath + std::string(records::kRecordFolder);
    records::Recorder* recorder = context.recorder;
    bool result = true;
    std::string entry;
    EntryParts parts;
    while (NextEntry(context.script, Section::kFiles, context.observer, entry, parts)) {
        const std::string sourcePart(parts.left);
        const std::string destinationPart(parts.right);
        const std::string source = context.packageDir + "\\" + sourcePart;
        const std::string destination = context.hostPath + destinationPart;

        // A path that leaves the package or the host is neither read nor written; nor is a
        // package file that a link leads out of the package, or a destination that is the
        // package's own (a package unpacked inside the host). Both files, as the location check
        // finds them, serve the steps that follow.
        platform::Sight package;
        platform::Sight present;
        if (context.hostPath.empty() || !names::StaysInsideBase(sourcePart) ||
            !names::StaysInsideBase(destinationPart) ||
            files.Locate(source, context.packageDir, &package) == platform::Location::kOutside ||
            files.Locate(destination, context.packageDir, &present) ==
                platform::Location::kInside ||
            InRecordFolder(files, destinationPart, destination, present, recordFolder)) {
            reportFailure(source, destination);
            result = false;
            continue;
        }

        if (IsPresentFileNewer(present, package)) {
            const auto keep = [&] {
                if (recorder != nullptr) {
                    recorder->FileLeft(destination, records::FileAction::kKeptNewer);
                }
            };
            if (context.silent) {
                keep();
                continue;
            }
            const std::string question =
                FormatMessageText(LocalizedId(context.system, kMsgPresentFileNewer),
                                  {names::ShownPath(destination), names::ShownPath(source)});
            if (ui.ShowMessageText(question, platform::kMbYesNo) == platform::kIdYes) {
                keep();
                continue;
            }
        }

        platform::FileInfo made;
        std::vector<std::string> folders;
        if (recorder != nullptr) {
            recorder->FoldersMaking(destination);
        }
        const bool placed = CreateDirectoryChain(files, destination, &folders);
        if (recorder != nullptr) {
            recorder->FoldersMade(folders);
        }
        const bool copied =
            placed &&
            (recorder != nullptr ? recorder->Copy(source, destination, package, present, made)
                                 : files.Copy(source, destination, &package, &present, &made));
        if (!copied) {
            if (recorder != nullptr && !placed) {
                recorder->FileLeft(destination, records::FileAction::kFailed);
            }
            reportFailure(source, destination);
            result = false;
        }
        // Also after a failure, so that a read-only file is replaced on the next run.
        files.MakeNormal(destination, copied ? &made : nullptr);
    }
    return result;
}

bool IsPresentFileNewer(const platform::Sight& present, const platform::Sight& package) {
    if (!present.file) {
        return false;
    }
    // A package file that cannot be read cannot be better than the file that is there.
    return !package.file || present.file->Info().written > package.file->Info().written;
}

bool IsPresentFileNewer(platform::Files& files, const std::string& destination,
                        const std::string& source) {
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

bool CreateDirectoryChain(platform::Files& files, const std::string& path,
                          std::vector<std::string>* made) {
    // Walk up from the file's folder until a folder can be made or is there, remembering the
    // folders that could not be made yet. A drive (C:) or a drive's root (C:\) is never made; a
    // folder name without any separator above it is the last one tried.
    std::vector<std::string> pending;
    std::string below = path;
    std::string folder = names::DirectoryPart(below);
    bool reached = false;
    for (;;) {
        if (folder.size() <= 3) {
            break;
        }
        const platform::DirectoryResult result = files.MakeDirectory(folder);
        if (result != platform::DirectoryResult::kFailed) {
            if (result == platform::DirectoryResult::kCreated && made != nullptr) {
                made->push_back(folder);
            }
            reached = true;
            break;
        }
        pending.push_back(folder);
        if (folder.size() == below.size()) {
            break;  // `below` held no separator: there is nothing above
        }
        below = std::move(folder);
        folder = names::DirectoryPart(below);
    }
    if (pending.empty()) {
        return reached;
    }
    // Then make them again from the top down; the answer is whether the file's own folder was
    // made.
    bool created = false;
    for (auto folder = pending.rbegin(); folder != pending.rend(); ++folder) {
        created = files.MakeDirectory(*folder) == platform::DirectoryResult::kCreated;
        if (created && made != nullptr) {
            made->push_back(*folder);
        }
    }
    return created;
}

}  // namespace kolvane
