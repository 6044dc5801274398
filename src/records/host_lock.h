#pragma once

#include <chrono>
#include <string>
#include <string_view>

#include "platform/files.h"

namespace kolvane::records {

// The file in the record folder whose claim lets one run at a time change a host's records: an
// installation that records, or a removal.
inline constexpr std::string_view kLockName = "host.lock";

// Holds the host's lock while it lives. Another run that tries to take it meanwhile waits up to
// its `patience` and is then told kBusy.
class HostLock {
  public:
    // `hostPath`: the host's folder with its trailing backslash; its record folder must exist.
    HostLock(platform::Files& files, const std::string& hostPath,
             std::chrono::milliseconds patience);
    HostLock(const HostLock&) = delete;
    HostLock& operator=(const HostLock&) = delete;
    ~HostLock();

    platform::ClaimResult Result() const { return result_; }

  private:
    platform::Files& files_;
    platform::FileHandle claim_ = platform::kInvalidFile;
    platform::ClaimResult result_ = platform::ClaimResult::kFailed;
};

}  // namespace kolvane::records
