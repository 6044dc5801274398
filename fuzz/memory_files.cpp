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

bool MemoryFiles::CopyFileOver(const std::string&, const std::string&) { return false; }

bool MemoryFiles::SetNormalAttributes(const std::string&) { return false; }

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

}  // namespace kolvane::fuzz
