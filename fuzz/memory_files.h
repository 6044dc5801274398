#pragma once

#include <map>
#include <string>

#include "platform/files.h"

namespace kolvane::fuzz {

// Files held in memory, by exact path: just enough for the readers under test. Directory and
// copy operations fail; writes replace the stored contents. There are no links, so a path lies
// where its text puts it, and every stored file can be claimed at once.
class MemoryFiles : public platform::Files {
  public:
    std::map<std::string, std::string> files;

    platform::FileHandle OpenForReading(const std::string& path) override;
    bool LastWriteTime(platform::FileHandle file, platform::FileTime& time) override;
    void CloseFile(platform::FileHandle file) override;
    void Look(const std::string& path, platform::Sight& sight) override;
    platform::DirectoryResult MakeDirectory(const std::string& path) override;
    bool Copy(const std::string& source, const std::string& destination, platform::Sight* from,
              platform::Sight* present, platform::FileInfo* made) override;
    bool MakeNormal(const std::string& path, const platform::FileInfo* known) override;
    bool ReadContents(const std::string& path, std::string& contents) override;
    bool ReplaceContents(const std::string& path, std::string_view contents) override;
    platform::Location Locate(const std::string& path, const std::string& folder,
                              platform::Sight* sight) override;
    platform::ClaimResult ClaimForUpdate(const std::string& path,
                                         std::chrono::milliseconds patience,
                                         platform::FileHandle& claim) override;
    void TidyWithin(const std::string&) override {}
};

}  // namespace kolvane::fuzz
