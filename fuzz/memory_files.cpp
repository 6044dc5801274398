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

bool MemoryFiles::CopyFileOver(const std::string&, const std::string&) {
    return false;
}

bool MemoryFiles::SetNormalAttributes(const std::string&) {
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

platform::Location MemoryFiles::LocateIn(const std::string& path, const std::string& folder) {
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
