#pragma once

#include <array>
#include <string>
#include <vector>

#include "platform/files.h"

namespace kolvane::platform {

// Wraps real file operations and makes chosen calls fail, for tests of failure paths. A failed
// call does not reach the wrapped implementation, so it changes nothing on disk.
class FaultInjectingFiles : public Files {
  public:
    enum class Op {
        kOpenForReading,  // also Look: a failed one sees nothing
        kLastWriteTime,
        kMakeDirectory,
        kCopyFileOver,
        kSetNormalAttributes,
        kReadContents,
        kReplaceContents,
        kLocateIn,        // a failed one answers kOutside
        kClaimForUpdate,  // a failed one answers kBusy, as if another run held the file
    };
    static constexpr std::size_t kOpCount = 9;

    struct Call {
        Op op;
        std::string path;    // the first path argument; empty for handle operations
        std::string second;  // the destination of a copy, the folder of LocateIn
        bool failed;
    };

    explicit FaultInjectingFiles(Files& inner) : inner_(inner) {}

    // Makes the n-th call (counted from 1) of `op` fail.
    void FailNth(Op op, int n) { failNth_[Index(op)].push_back(n); }
    // Makes every call of `op` fail from the n-th on.
    void FailFrom(Op op, int n = 1) { failFrom_[Index(op)] = n; }

    int Count(Op op) const { return counts_[Index(op)]; }
    // Files opened or claimed through this wrapper and not yet closed.
    int OpenFiles() const { return openFiles_; }
    const std::vector<Call>& Calls() const { return calls_; }
    std::vector<Call> CallsOf(Op op) const;

    FileHandle OpenForReading(const std::string& path) override;
    bool LastWriteTime(FileHandle file, FileTime& time) override;
    void CloseFile(FileHandle file) override;
    void Look(const std::string& path, Sight& sight) override;
    DirectoryResult MakeDirectory(const std::string& path) override;
    bool Copy(const std::string& source, const std::string& destination, Sight* from,
              Sight* present, FileInfo* made) override;
    bool MakeNormal(const std::string& path, const FileInfo* known) override;
    bool ReadContents(const std::string& path, std::string& contents) override;
    bool ReplaceContents(const std::string& path, std::string_view contents) override;
    Location Locate(const std::string& path, const std::string& folder, Sight* sight) override;
    ClaimResult ClaimForUpdate(const std::string& path, std::chrono::milliseconds patience,
                               FileHandle& claim) override;
    void TidyWithin(const std::string& folder) override { inner_.TidyWithin(folder); }

  private:
    static std::size_t Index(Op op) { return static_cast<std::size_t>(op); }
    // Counts the call, records it and tells whether it is to fail.
    bool Fails(Op op, const std::string& path, const std::string& second = {});

    Files& inner_;
    std::array<int, kOpCount> counts_{};
    std::array<std::vector<int>, kOpCount> failNth_;
    std::array<int, kOpCount> failFrom_{};
    std::vector<Call> calls_;
    int openFiles_ = 0;
};

}  // namespace kolvane::platform
