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

// Under Wine: the Unix path of a Windows path, or nothing.
std::string UnixPathOf(const std::string& hostPath) {
    using ToUnix = char*(CDECL*)(LPCWSTR);
    const auto toUnix = reinterpret_cast<ToUnix>(reinterpret_cast<void*>(
        ::GetProcAddress(::GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name")));
    if (toUnix == nullptr) {
        return {};
    }
    std::wstring wide(hostPath.begin(), hostPath.end());
    char* unix = toUnix(wide.c_str());
    if (unix == nullptr) {
        return {};
    }
    std::string path(unix);
    ::HeapFree(::GetProcessHeap(), 0, unix);
    return path;
}

// Starts a Unix program under Wine (a Unix process gives Wine nothing to wait on) and waits
// until `done` says it has done its work.
template <typename Done>
bool RunUnix(std::string command, Done done) {
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (::CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                         &startup, &process) == 0) {
        return false;
    }
    for (int waited = 0; waited < 500; ++waited) {
        if (done()) {
            return true;
        }
        ::Sleep(10);
    }
    return false;
}

bool Exists(const std::string& path) {
    return ::GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// Wine makes no symbolic links of its own, but starts Unix programs.
bool LinkUnderWine(const std::string& target, const std::string& link) {
    const std::size_t separator = link.find_last_of("\\/");
    const std::string unixTarget = UnixPathOf(target);
    const std::string unixParent = UnixPathOf(link.substr(0, separator));
    if (unixTarget.empty() || unixParent.empty()) {
        return false;
    }
    return RunUnix("/bin/ln -s \"" + unixTarget + "\" \"" + unixParent + "/" +
                       link.substr(separator + 1) + "\"",
                   [&] { return Exists(link); });
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

bool MakeSymlink(const std::string& targetHostPath, const std::string& linkHostPath) {
    const DWORD attributes = ::GetFileAttributesA(targetHostPath.c_str());
    const DWORD directory =
        attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0
            ? SYMBOLIC_LINK_FLAG_DIRECTORY
            : 0;
    if (!UnixPathOf(targetHostPath).empty()) {
        return LinkUnderWine(targetHostPath, linkHostPath);
    }
    // Windows 10 makes links without the privilege in developer mode (flag 2).
    return ::CreateSymbolicLinkA(linkHostPath.c_str(), targetHostPath.c_str(), directory | 2) != 0;
}

void RemoveSymlink(const std::string& linkHostPath) {
    const std::string unixLink = UnixPathOf(linkHostPath);
    if (unixLink.empty()) {
        if (::RemoveDirectoryA(linkHostPath.c_str()) == 0) {
            ::DeleteFileA(linkHostPath.c_str());
        }
        return;
    }
    RunUnix("/bin/rm -f \"" + unixLink + "\"", [&] { return !Exists(linkHostPath); });
}

bool MakeHardLink(const std::string& existingHostPath, const std::string& newHostPath) {
    return ::CreateHardLinkA(newHostPath.c_str(), existingHostPath.c_str(), nullptr) != 0;
}

}  // namespace kolvane::testing
