#include "platform/win32/win32_files.h"
#include "platform/win32/windows_support.h"
#include "support/real_files.h"

namespace kolvane::testing {
namespace {

using win32::ScopedFileHandle;

// Host paths of the tests use either separator; Windows takes both.
HANDLE OpenForAttributes(const std::string& hostPath, DWORD access) {
    return ::CreateFileA(hostPath.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                         OPEN_EXISTING, 0, nullptr);
}

}  // namespace

std::unique_ptr<platform::Files> MakeRealFiles() {
    return std::make_unique<platform::Win32Files>();
}

void SetLastWriteTime(const std::string& hostPath, platform::FileTime time, SourceLocation caller) {
    const CallerTrace trace(caller);
    ScopedFileHandle file(OpenForAttributes(hostPath, FILE_WRITE_ATTRIBUTES));
    FILETIME written{static_cast<DWORD>(time & 0xFFFFFFFFu), static_cast<DWORD>(time >> 32)};
    if (!file.IsValid() || ::SetFileTime(file.Get(), nullptr, nullptr, &written) == 0) {
        ADD_FAILURE() << "cannot set the time of " << hostPath;
    }
}

platform::FileTime GetLastWriteTime(const std::string& hostPath, SourceLocation caller) {
    const CallerTrace trace(caller);
    ScopedFileHandle file(OpenForAttributes(hostPath, GENERIC_READ));
    FILETIME written{};
    if (!file.IsValid() || ::GetFileTime(file.Get(), nullptr, nullptr, &written) == 0) {
        ADD_FAILURE() << "cannot read the time of " << hostPath;
        return 0;
    }
    return (static_cast<platform::FileTime>(written.dwHighDateTime) << 32) | written.dwLowDateTime;
}

void MakeReadOnly(const std::string& hostPath, SourceLocation caller) {
    const CallerTrace trace(caller);
    const DWORD attributes = ::GetFileAttributesA(hostPath.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES ||
        ::SetFileAttributesA(hostPath.c_str(), attributes | FILE_ATTRIBUTE_READONLY) == 0) {
        ADD_FAILURE() << "cannot make " << hostPath << " read-only";
    }
}

bool IsReadOnly(const std::string& hostPath) {
    const DWORD attributes = ::GetFileAttributesA(hostPath.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0;
}

}  // namespace kolvane::testing
