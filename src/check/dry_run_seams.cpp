#include "check/dry_run_seams.h"

#include "messages/messages.h"
#include "names/windows_path.h"

namespace kolvane::check {

using names::DirectoryPart;
using names::PathKey;
using platform::DirectoryResult;
using Kind = DiskProbe::Kind;

const RecordingFiles::Made* RecordingFiles::Find(const std::string& path) const {
    const auto found = made_.find(PathKey(path));
    return found == made_.end() ? nullptr : &found->second;
}

std::string RecordingFiles::RealSource(const std::string& path) const {
    const Made* made = Find(path);
    return made != nullptr && !made->copyOf.empty() ? made->copyOf : path;
}

DiskProbe::Entry RecordingFiles::Look(const std::string& path) {
    if (const Made* made = Find(path)) {
        return {made->kind, made->readOnly};
    }
    return probe_.Look(path);
}

DiskProbe::Kind RecordingFiles::ParentKind(const std::string& path) {
    std::string parent = DirectoryPart(path);
    if (parent.size() == 2 && parent[1] == ':') {
        parent += '\\';  // the drive's root
    }
    return Look(parent).kind;
}

platform::FileHandle RecordingFiles::OpenForReading(const std::string& path) {
    const Made* made = Find(path);
    if (made != nullptr && made->kind != Kind::kFile) {
        return platform::kInvalidFile;
    }
    // A copy the dry run made reads as its source: same contents, same last-write time.
    return inner_.OpenForReading(RealSource(path));
}

bool RecordingFiles::LastWriteTime(platform::FileHandle file, platform::FileTime& time) {
    return inner_.LastWriteTime(file, time);
}

void RecordingFiles::CloseFile(platform::FileHandle file) {
    inner_.CloseFile(file);
}

DirectoryResult RecordingFiles::MakeDirectory(const std::string& path) {
    if (Look(path).kind != Kind::kMissing) {
        return DirectoryResult::kAlreadyExists;
    }
    const Kind parent = ParentKind(path);
    if (parent != Kind::kDirectory) {
        log_.push_back({.kind = DryRunEvent::Kind::kDirectoryFail,
                        .path = path,
                        .reason = parent == Kind::kMissing
                                      ? "the folder above it does not exist"
                                      : "something other than a folder has the name of the "
                                        "folder above it"});
        return DirectoryResult::kFailed;
    }
    made_[PathKey(path)] = Made{.kind = Kind::kDirectory};
    log_.push_back({.kind = DryRunEvent::Kind::kDirectory, .path = path});
    return DirectoryResult::kCreated;
}

void RecordingFiles::Look(const std::string& path, platform::Sight& sight) {
    const Made* made = Find(path);
    if (made != nullptr && made->kind != Kind::kFile) {
        sight = platform::Sight{};
        return;
    }
    // A copy the dry run made looks like its source: same contents, same last-write time.
    inner_.Look(RealSource(path), sight);
}

bool RecordingFiles::Copy(const std::string& source, const std::string& destination,
                          platform::Sight*, platform::Sight*, platform::FileInfo*) {
    const auto fail = [&](std::string reason) {
        log_.push_back({.kind = DryRunEvent::Kind::kCopyFail,
                        .path = source,
                        .second = destination,
                        .reason = std::move(reason)});
        return false;
    };
    {
        const platform::ScopedFile readable(*this, source);
        if (!readable.IsOpen()) {
            return fail("the package file cannot be read");
        }
    }
    const DiskProbe::Entry present = Look(destination);
    if (present.kind == Kind::kDirectory || present.kind == Kind::kOther) {
        return fail("a folder or other non-file has that name");
    }
    if (present.kind == Kind::kFile && present.readOnly) {
        return fail("the present file is read-only");
    }
    if (present.kind == Kind::kMissing && ParentKind(destination) != Kind::kDirectory) {
        return fail("its folder does not exist");
    }
    made_[PathKey(destination)] = Made{.kind = Kind::kFile, .copyOf = RealSource(source)};
    log_.push_back({.kind = DryRunEvent::Kind::kCopy,
                    .path = source,
                    .second = destination,
                    .replaced = present.kind == Kind::kFile});
    return true;
}

bool RecordingFiles::MakeNormal(const std::string& path, const platform::FileInfo*) {
    const DiskProbe::Entry present = Look(path);
    if (present.kind == Kind::kMissing) {
        return false;
    }
    if (present.readOnly) {
        Made& made = made_[PathKey(path)];
        if (made.copyOf.empty() && !made.hasText) {
            made.kind = present.kind;
            made.copyOf = path;  // still the real file, now writable
        }
        made.readOnly = false;
        log_.push_back({.kind = DryRunEvent::Kind::kAttributes, .path = path});
    }
    return true;
}

bool RecordingFiles::ReadContents(const std::string& path, std::string& contents) {
    const Made* made = Find(path);
    if (made != nullptr && made->hasText) {
        contents = made->text;
        return true;
    }
    if (made != nullptr && made->kind != Kind::kFile) {
        return false;
    }
    return inner_.ReadContents(RealSource(path), contents);
}

bool RecordingFiles::ReplaceContents(const std::string& path, std::string_view contents) {
    const DiskProbe::Entry present = Look(path);
    std::string reason;
    if (present.kind == Kind::kFile && present.readOnly) {
        reason = "the file is read-only";
    } else if (present.kind == Kind::kDirectory || present.kind == Kind::kOther) {
        reason = "a folder or other non-file has that name";
    } else if (present.kind == Kind::kMissing && ParentKind(path) != Kind::kDirectory) {
        reason = "its folder does not exist";
    }
    if (!reason.empty()) {
        log_.push_back({.kind = DryRunEvent::Kind::kWriteFail, .path = path, .reason = reason});
        return false;
    }
    made_[PathKey(path)] =
        Made{.kind = Kind::kFile, .hasText = true, .text = std::string(contents)};
    log_.push_back(
        {.kind = DryRunEvent::Kind::kWrite, .path = path, .contents = std::string(contents)});
    return true;
}

platform::Location RecordingFiles::Locate(const std::string& path, const std::string& folder,
                                          platform::Sight* sight) {
    // What the dry run made lies where the real disk's deepest existing part puts it.
    const platform::Location location = inner_.LocateIn(path, folder);
    if (sight != nullptr) {
        Look(path, *sight);
    }
    log_.push_back({.kind = DryRunEvent::Kind::kLocated,
                    .path = path,
                    .second = folder,
                    .reason = location == platform::Location::kInside    ? "inside"
                              : location == platform::Location::kOutside ? "outside"
                                                                         : "unknown"});
    return location;
}

platform::ClaimResult RecordingFiles::ClaimForUpdate(const std::string& path,
                                                     std::chrono::milliseconds,
                                                     platform::FileHandle& claim) {
    claim = platform::kInvalidFile;
    return Look(path).kind == Kind::kFile ? platform::ClaimResult::kClaimed
                                          : platform::ClaimResult::kFailed;
}

int RecordingUi::ShowMessage(int stringId, unsigned boxType) {
    const char* text = MessageText(stringId);
    return ShowMessageText(text != nullptr ? text : std::to_string(stringId), boxType);
}

int RecordingUi::ShowMessageText(const std::string& text, unsigned boxType) {
    const int answer = boxType == platform::kMbYesNo ? platform::kIdYes : platform::kIdOk;
    log_.push_back({.kind = DryRunEvent::Kind::kMessage,
                    .contents = text,
                    .boxType = boxType,
                    .answer = answer});
    return answer;
}

}  // namespace kolvane::check
