#include "records/host_lock.h"

#include "records/recorder.h"

namespace kolvane::records {

HostLock::HostLock(platform::Files& files, const std::string& hostPath,
                   std::chrono::milliseconds patience)
    : files_(files) {
    const std::string path = hostPath + std::string(kRecordFolder) + "\\" + std::string(kLockName);
    // The lock file is made once and stays; only its claim matters. The look lets the file go
    // before the claim opens it for writing.
    bool missing = false;
    {
        platform::Sight sight;
        files_.Look(path, sight);
        missing = sight.missing;
    }
    if (missing && !files_.ReplaceContents(path, "")) {
        return;
    }
    result_ = files_.ClaimForUpdate(path, patience, claim_);
}

HostLock::~HostLock() {
    if (claim_ != platform::kInvalidFile) {
        files_.CloseFile(claim_);
    }
}

}  // namespace kolvane::records
