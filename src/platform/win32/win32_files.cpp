#include "platform/win32/win32_files.h"

#include <algorithm>

#include "platform/win32/windows_support.h"

namespace kolvane::platform {
namespace {

using win32::ScopedFileHandle;

HANDLE ToHandle(FileHandle file) {
    return reinterpret_cast<HANDLE>(file);
}

// CopyFileA refuses to overwrite a file with any of these, and so do we.
constexpr DWORD kProtectedAttributes =
    FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;

// The attributes of `path`, or none when nothing is there.
bool Attributes(const std::string& path, DWORD& attributes) {
    attributes = ::GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES;
}

// A file that may take new contents: nothing there yet, or a plain file without `refused`.
bool MayReplace(const std::string& path, DWORD refused) {
    DWORD attributes = 0;
    if (!Attributes(path, attributes)) {
        const DWORD error = ::GetLastError();
        return error == ERROR_FILE_NOT_FOUND;
    }
    if ((attributes & (FILE_ATTRIBUTE_DIRECTORY | refused)) != 0) {
        ::SetLastError(ERROR_ACCESS_DENIED);
        return false;
    }
    return true;
}

// A new file beside `target` under a name of its own, made by the caller's `create`, which must
// fail when a file of that name exists; removed again unless Commit renames it over the target.
class TemporaryBeside {
  public:
    explicit TemporaryBeside(const std::string& target) : target_(target) {}
    TemporaryBeside(const TemporaryBeside&) = delete;
    TemporaryBeside& operator=(const TemporaryBeside&) = delete;
    ~TemporaryBeside() {
        if (!path_.empty()) {
            // A copy of a read-only source is read-only itself; DeleteFileA refuses such a file.
            const DWORD error = ::GetLastError();
            ::SetFileAttributesA(path_.c_str(), FILE_ATTRIBUTE_NORMAL);
            ::DeleteFileA(path_.c_str());
            ::SetLastError(error);
        }
    }

    // Calls `create` with fresh names beside the target until one is free. False when `create`
    // fails for any other reason.
    template <typename Create>
    bool Make(Create create) {
        const std::size_t backslash = target_.rfind('\\');
        if (backslash == std::string::npos) {
            ::SetLastError(ERROR_PATH_NOT_FOUND);
            return false;
        }
        const std::string directory = target_.substr(0, backslash);
        static UINT counter = 0;
        const UINT start = ::GetTickCount() ^ (::GetCurrentProcessId() << 16);
        for (int attempt = 0; attempt < 100; ++attempt) {
            // A unique number of our own: GetTempFileNameA then only builds the name.
            const UINT unique = ((start + ++counter) & 0xFFFF) | 1;
            char name[MAX_PATH] = {};
            if (::GetTempFileNameA(directory.c_str(), "kv", unique, name) == 0) {
                return false;
            }
            if (create(std::string(name))) {
                path_ = name;
                return true;
            }
            const DWORD error = ::GetLastError();
            if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) {
                return false;
            }
        }
        return false;
    }

    const std::string& Path() const { return path_; }

    bool Commit() {
        if (::MoveFileExA(path_.c_str(), target_.c_str(),
                          MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) == 0) {
            return false;
        }
        path_.clear();
        return true;
    }

  private:
    std::string target_;
    std::string path_;
};

bool WriteAll(HANDLE file, std::string_view contents) {
    while (!contents.empty()) {
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(contents.size(), 1u << 20));
        DWORD written = 0;
        if (::WriteFile(file, contents.data(), chunk, &written, nullptr) == 0 || written == 0) {
            return false;
        }
        contents.remove_prefix(written);
    }
    return true;
}

}  // namespace

FileHandle Win32Files::OpenForReading(const std::string& path) {
    const HANDLE file = ::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                      OPEN_EXISTING, 0, nullptr);
    return reinterpret_cast<FileHandle>(file);
}

bool Win32Files::LastWriteTime(FileHandle file, FileTime& time) {
    FILETIME written{};
    if (::GetFileTime(ToHandle(file), nullptr, nullptr, &written) == 0) {
        return false;
    }
    time = (static_cast<FileTime>(written.dwHighDateTime) << 32) | written.dwLowDateTime;
    return true;
}

void Win32Files::CloseFile(FileHandle file) {
    ::CloseHandle(ToHandle(file));
}

DirectoryResult Win32Files::MakeDirectory(const std::string& path) {
    if (::CreateDirectoryA(path.c_str(), nullptr) != 0) {
        return DirectoryResult::kCreated;
    }
    return ::GetLastError() == ERROR_ALREADY_EXISTS ? DirectoryResult::kAlreadyExists
                                                    : DirectoryResult::kFailed;
}

bool Win32Files::CopyFileOver(const std::string& source, const std::string& destination) {
    if (!MayReplace(destination, kProtectedAttributes)) {
        return false;
    }
    // CopyFileA onto a new file carries the contents, the last-write time and the attributes over.
    TemporaryBeside copy(destination);
    return copy.Make([&](const std::string& name) {
        return ::CopyFileA(source.c_str(), name.c_str(), TRUE) != 0;
    }) && copy.Commit();
}

bool Win32Files::SetNormalAttributes(const std::string& path) {
    return ::SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL) != 0;
}

bool Win32Files::ReadContents(const std::string& path, std::string& contents) {
    ScopedFileHandle file(::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                        OPEN_EXISTING, 0, nullptr));
    if (!file.IsValid()) {
        return false;
    }
    contents.clear();
    char buffer[1 << 16];
    for (;;) {
        DWORD got = 0;
        if (::ReadFile(file.Get(), buffer, sizeof buffer, &got, nullptr) == 0) {
            return false;
        }
        if (got == 0) {
            return true;
        }
        contents.append(buffer, got);
    }
}

bool Win32Files::ReplaceContents(const std::string& path, std::string_view contents) {
    DWORD attributes = FILE_ATTRIBUTE_NORMAL;
    const bool exists = Attributes(path, attributes);
    if (!MayReplace(path, FILE_ATTRIBUTE_READONLY)) {
        return false;
    }
    TemporaryBeside replacement(path);
    ScopedFileHandle file;
    if (!replacement.Make([&](const std::string& name) {
            file.Reset(::CreateFileA(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                     FILE_ATTRIBUTE_NORMAL, nullptr));
            return file.IsValid();
        })) {
        return false;
    }
    if (!WriteAll(file.Get(), contents) || ::FlushFileBuffers(file.Get()) == 0 || !file.Close()) {
        return false;
    }
    // The new file keeps the old one's attributes (hidden, archive, ...).
    if (exists && ::SetFileAttributesA(replacement.Path().c_str(), attributes) == 0) {
        return false;
    }
    return replacement.Commit();
}

}  // namespace kolvane::platform
