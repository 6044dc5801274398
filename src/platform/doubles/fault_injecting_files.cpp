#include "platform/doubles/fault_injecting_files.h"

#include <algorithm>

namespace kolvane::platform {

bool FaultInjectingFiles::Fails(Op op, const std::string& path, const std::string& second) {
    const std::size_t index = Index(op);
    const int n = ++counts_[index];
    const auto& nth = failNth_[index];
    const bool fails = std::find(nth.begin(), nth.end(), n) != nth.end() ||
                       (failFrom_[index] > 0 && n >= failFrom_[index]);
    calls_.push_back(Call{op, path, second, fails});
    return fails;
}

std::vector<FaultInjectingFiles::Call> FaultInjectingFiles::CallsOf(Op op) const {
    std::vector<Call> calls;
    std::copy_if(calls_.begin(), calls_.end(), std::back_inserter(calls),
                 [op](const Call& call) { return call.op == op; });
    return calls;
}

FileHandle FaultInjectingFiles::OpenForReading(const std::string& path) {
    const FileHandle file =
        Fails(Op::kOpenForReading, path) ? kInvalidFile : inner_.OpenForReading(path);
    if (file != kInvalidFile) {
        ++openFiles_;
    }
    return file;
}

bool FaultInjectingFiles::LastWriteTime(FileHandle file, FileTime& time) {
    return !Fails(Op::kLastWriteTime, {}) && inner_.LastWriteTime(file, time);
}

void FaultInjectingFiles::CloseFile(FileHandle file) {
    --openFiles_;
    inner_.CloseFile(file);
}

DirectoryResult FaultInjectingFiles::MakeDirectory(const std::string& path) {
    return Fails(Op::kMakeDirectory, path) ? DirectoryResult::kFailed : inner_.MakeDirectory(path);
}

void FaultInjectingFiles::Look(const std::string& path, Sight& sight) {
    if (Fails(Op::kOpenForReading, path)) {
        sight = Sight{};
        return;
    }
    inner_.Look(path, sight);
}

bool FaultInjectingFiles::Copy(const std::string& source, const std::string& destination,
                               Sight* from, Sight* present, FileInfo* made) {
    return !Fails(Op::kCopyFileOver, source, destination) &&
           inner_.Copy(source, destination, from, present, made);
}

bool FaultInjectingFiles::MakeNormal(const std::string& path, const FileInfo* known) {
    return !Fails(Op::kSetNormalAttributes, path) && inner_.MakeNormal(path, known);
}

bool FaultInjectingFiles::ReadContents(const std::string& path, std::string& contents) {
    return !Fails(Op::kReadContents, path) && inner_.ReadContents(path, contents);
}

bool FaultInjectingFiles::ReplaceContents(const std::string& path, std::string_view contents) {
    return !Fails(Op::kReplaceContents, path) && inner_.ReplaceContents(path, contents);
}

Location FaultInjectingFiles::Locate(const std::string& path, const std::string& folder,
                                     Sight* sight) {
    return Fails(Op::kLocateIn, path, folder) ? Location::kOutside
                                              : inner_.Locate(path, folder, sight);
}

ClaimResult FaultInjectingFiles::ClaimForUpdate(const std::string& path,
                                                std::chrono::milliseconds patience,
                                                FileHandle& claim) {
    claim = kInvalidFile;
    if (Fails(Op::kClaimForUpdate, path)) {
        return ClaimResult::kBusy;
    }
    const ClaimResult result = inner_.ClaimForUpdate(path, patience, claim);
    if (claim != kInvalidFile) {
        ++openFiles_;
    }
    return result;
}

}  // namespace kolvane::platform
