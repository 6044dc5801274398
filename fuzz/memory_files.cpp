#include "memory_files.h"

namespace kolvane::fuzz {

platform::FileHandle MemoryFiles::OpenForReading(const std::string& path) {
    return files.count(path) != 0 ? 1 : platform::kInvalidFile;
}

bool MemoryFiles::LastWriteTime(platform::FileHandle, platform::FileTime& time) {
    time = 0;
    return true;
}

void MemoryFiles::CloseFile(platform::FileHandle) {}

platform::DirectoryResult MemoryFiles::MakeDirectory(const std::string&) {
    return platform::DirectoryResult::kFailed;
}

// Nothing can be opened as a file of its own: the readers under test read whole files.
void MemoryFiles::Look(const std::string& path, platform::Sight& sight) {
    sight = platform::Sight{};
    sight.missing = files.count(path) == 0;
}

bool MemoryFiles::Copy(const std::string&, const std::string&, platform::Sight*, platform::Sight*,
                       platform::FileInfo*) {
    return false;
}

bool MemoryFiles::MakeNormal(const std::string&, const platform::FileInfo*) {
    return false;
}

bool MemoryFiles::ReadContents(const std::string& path, std::string& contents) {
    auto found = files.find(path);
    if (found == files.end()) {
        return false;
    }
    contents = found->second;
    return true;
}

bool MemoryFiles::ReplaceContents(const std::string& path, std::string_view contents) {
    files[path] = std::string(contents);
    return true;
}

platform::Location MemoryFiles::Locate(const std::string& path, const std::string& folder,
                                       platform::Sight* sight) {
    if (sight != nullptr) {
        Look(path, *sight);
    }
    const bool inside = path == folder || path.rfind(folder + "\\", 0) == 0;
    return inside ? platform::Location::kInside : platform::Location::kOutside;
}

platform::ClaimResult MemoryFiles::ClaimForUpdate(const std::string& path,
                                                  std::chrono::milliseconds,
                                                  platform::FileHandle& claim) {
    claim = platform::kInvalidFile;
    return files.count(path) != 0 ? platform::ClaimResult::kClaimed
                                  : platform::ClaimResult::kFailed;
}

}  // namespace kolvane::fuzz
