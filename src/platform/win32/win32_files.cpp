#include "platform/win32/win32_files.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "names/letter_case.h"
#include "names/windows_path.h"
#include "platform/win32/windows_support.h"
// After windows.h, which it builds on.
#include <winternl.h>

namespace kolvane::platform {
namespace {

using win32::ScopedFileHandle;

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// The attributes a copy takes over from its source, as CopyFileA does.
constexpr DWORD kCopiedAttributes = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN |
                                    FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE |
                                    FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

// The locked byte lies at 2^62: beyond the end of any file, and within the offsets that Wine
// hands on to fcntl.
constexpr DWORD kLockOffsetHigh = 0x40000000;

constexpr std::size_t kBlock = std::size_t{1} << 20;

FileTime ToFileTime(const FILETIME& time) {
    return (static_cast<FileTime>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

std::string FolderOf(const std::string& path) {
    const std::size_t separator = path.find_last_of("\\/");
    return separator == std::string::npos ? std::string() : path.substr(0, separator);
}

std::string NameOf(const std::string& path) {
    const std::size_t separator = path.find_last_of("\\/");
    return separator == std::string::npos ? path : path.substr(separator + 1);
}

bool IsNotFound(DWORD error) {
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

// Opens an existing file for reading while others may read it too (and, with `othersWrite`,
// write it: a claim holds the catalogue open for writing while it is read).
HANDLE OpenReadable(const std::string& path, bool othersWrite) {
    return ::CreateFileA(path.c_str(), GENERIC_READ,
                         FILE_SHARE_READ | (othersWrite ? FILE_SHARE_WRITE : 0), nullptr,
                         OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
}

// Opens a file or folder only to ask where it is and what it is.
HANDLE OpenToLook(const std::string& path) {
    return ::CreateFileA(path.c_str(), FILE_READ_ATTRIBUTES, kShareAll, nullptr, OPEN_EXISTING,
                         FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

// The path that `file` really has, every link resolved, in DOS form ("C:\..." or
// "\\server\share\..."). Asked in UTF-16 with room to spare: the ANSI call asks the system
// twice, once for the length.
std::optional<std::string> FinalPathOf(HANDLE file) {
    std::wstring wide(2 * MAX_PATH, L'\0');
    for (;;) {
        const DWORD length =
            ::GetFinalPathNameByHandleW(file, wide.data(), static_cast<DWORD>(wide.size()),
                                        FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
        if (length == 0) {
            return std::nullopt;
        }
        if (length < wide.size()) {
            wide.resize(length);
            break;
        }
        wide.resize(length + 1);
    }
    const int bytes = ::WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()),
                                            nullptr, 0, nullptr, nullptr);
    if (bytes <= 0) {
        return std::nullopt;
    }
    std::string path(static_cast<std::size_t>(bytes), '\0');
    ::WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()), path.data(), bytes,
                          nullptr, nullptr);
    constexpr std::string_view kUnc = "\\\\?\\UNC\\";
    constexpr std::string_view kLocal = "\\\\?\\";
    if (path.compare(0, kUnc.size(), kUnc) == 0) {
        return "\\\\" + path.substr(kUnc.size());
    }
    if (path.compare(0, kLocal.size(), kLocal) == 0) {
        return path.substr(kLocal.size());
    }
    return path;
}

bool FitsMaxPath(const std::string& path) {
    return path.size() < MAX_PATH;
}

// `path` with "." and ".." taken by their text, as Windows takes them, and without "/".
std::optional<std::string> FullPath(const std::string& path) {
    std::string full(MAX_PATH, '\0');
    for (int attempt = 0; attempt < 2; ++attempt) {
        const DWORD length =
            ::GetFullPathNameA(path.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
        if (length == 0) {
            return std::nullopt;
        }
        if (length < full.size()) {
            full.resize(length);
            return full;
        }
        full.resize(length + 1);
    }
    return std::nullopt;
}

bool Seek(HANDLE file, std::uint64_t offset) {
    LARGE_INTEGER to{};
    to.QuadPart = static_cast<LONGLONG>(offset);
    return ::SetFilePointerEx(file, to, nullptr, FILE_BEGIN) != 0;
}

// Sets the last-write time and the attributes of an open file; 0 leaves either as it is.
bool SetBasicInfo(HANDLE file, FileTime written, DWORD attributes) {
    FILE_BASIC_INFO info{};
    info.LastWriteTime.QuadPart = static_cast<LONGLONG>(written);
    info.FileAttributes = attributes;
    return ::SetFileInformationByHandle(file, FileBasicInfo, &info, sizeof info) != 0;
}

// The file's number on its volume, from the system's own library, which every process has loaded.
// (The volume's serial number, GetFileInformationByHandle, would cost Wine a round through its
// mount manager; stamps are compared only for one path, moments apart.)
bool FileIndexOf(HANDLE file, std::int64_t& index) {
    using Query = NTSTATUS(NTAPI*)(HANDLE, PIO_STATUS_BLOCK, PVOID, ULONG, FILE_INFORMATION_CLASS);
    static const auto query = reinterpret_cast<Query>(reinterpret_cast<void (*)()>(
        ::GetProcAddress(::GetModuleHandleA("ntdll.dll"), "NtQueryInformationFile")));
    IO_STATUS_BLOCK status{};
    FILE_INTERNAL_INFORMATION internal{};
    if (query == nullptr ||
        query(file, &status, &internal, sizeof internal, FileInternalInformation) < 0) {
        return false;
    }
    index = internal.IndexNumber.QuadPart;
    return true;
}

// What an open file is: its time and attributes, its size and names.
bool InfoOf(HANDLE file, FileInfo& info) {
    FILE_BASIC_INFO basic{};
    FILE_STANDARD_INFO standard{};
    if (::GetFileInformationByHandleEx(file, FileBasicInfo, &basic, sizeof basic) == 0 ||
        ::GetFileInformationByHandleEx(file, FileStandardInfo, &standard, sizeof standard) == 0) {
        return false;
    }
    info.written = static_cast<FileTime>(basic.LastWriteTime.QuadPart);
    info.attributes = basic.FileAttributes;
    info.size = static_cast<std::uint64_t>(standard.EndOfFile.QuadPart);
    info.links = standard.NumberOfLinks;
    info.regular = standard.Directory == 0;
    return true;
}

FileInfo InfoOf(const WIN32_FILE_ATTRIBUTE_DATA& data) {
    FileInfo info;
    info.size = (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    info.written = ToFileTime(data.ftLastWriteTime);
    info.attributes = data.dwFileAttributes;
    info.regular = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
    return info;
}

// Never cleared: a small file touches only the pages it fills.
std::span<char> CopyBuffer() {
    static const std::unique_ptr<char[]> buffer = std::make_unique_for_overwrite<char[]>(kBlock);
    return {buffer.get(), kBlock};
}

// Waits `milliseconds`, meanwhile painting this thread's windows and answering what other
// programs send them, so that the dialog does not look hung; input waits until the run is over.
void PauseKeepingWindowsPainted(DWORD milliseconds) {
    const DWORD start = ::GetTickCount();
    for (;;) {
        MSG message;
        while (::PeekMessageA(&message, nullptr, WM_PAINT, WM_PAINT, PM_REMOVE) != 0) {
            ::DispatchMessageA(&message);
        }
        const DWORD waited = ::GetTickCount() - start;
        if (waited >= milliseconds) {
            return;
        }
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, milliseconds - waited,
                                    QS_PAINT | QS_SENDMESSAGE);
    }
}

// An open file. Reads and writes go on from the file's position, which moves only where a call
// does not go on from the last one: a read at a given offset (OVERLAPPED) would cost Wine a
// request to its server every time.
class Win32File : public NativeFile {
  public:
    Win32File(HANDLE file, const FileInfo& info) : file_(file), info_(info) {}

    HANDLE Get() const { return file_.Get(); }
    // Renames the file to `target` (a full path), replacing a file there only with `replace`.
    PutResult RenameTo(const std::string& target, bool replace);
    void Close() { file_.Close(); }

    const FileInfo& Info() const override { return info_; }

    bool ReadAt(std::uint64_t offset, char* data, std::size_t size, std::size_t& got) override {
        got = 0;
        if (!MoveTo(offset)) {
            return false;
        }
        while (got < size) {
            DWORD n = 0;
            const DWORD want = static_cast<DWORD>(std::min<std::size_t>(size - got, kBlock));
            if (::ReadFile(file_.Get(), data + got, want, &n, nullptr) == 0) {
                position_ = kUnknown;
                return false;
            }
            if (n == 0) {
                break;
            }
            got += n;
            position_ += n;
        }
        return true;
    }

    bool WriteAt(std::uint64_t offset, const char* data, std::size_t size) override {
        if (!MoveTo(offset)) {
            return false;
        }
        while (size > 0) {
            const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(size, kBlock));
            DWORD written = 0;
            if (::WriteFile(file_.Get(), data, chunk, &written, nullptr) == 0 || written == 0) {
                position_ = kUnknown;
                return false;
            }
            data += written;
            size -= written;
            position_ += written;
        }
        return true;
    }

    bool CopyFrom(NativeFile& source, ReadWatch* watch) override {
        return CopyBlocks(source, *this, CopyBuffer(), watch);
    }

    bool Truncate(std::uint64_t size) override {
        if (!MoveTo(size) || ::SetEndOfFile(file_.Get()) == 0) {
            return false;
        }
        info_.size = size;
        return true;
    }

    bool Flush() override { return ::FlushFileBuffers(file_.Get()) != 0; }

    bool TakeTimeAndAttributes(const FileInfo& source) override {
        DWORD attributes = source.attributes & kCopiedAttributes;
        if (attributes == 0) {
            attributes = FILE_ATTRIBUTE_NORMAL;
        }
        FILE_BASIC_INFO made{};
        if (!SetBasicInfo(file_.Get(), source.written, attributes) ||
            ::GetFileInformationByHandleEx(file_.Get(), FileBasicInfo, &made, sizeof made) == 0) {
            return false;
        }
        // What the file shows now: Wine, for one, adds the archive attribute.
        info_.written = source.written;
        info_.size = source.size;
        info_.attributes = made.FileAttributes;
        return true;
    }

    bool KeepAttributesOf(const FileInfo* old) override {
        return old == nullptr || SetBasicInfo(file_.Get(), 0, old->attributes);
    }

    bool Refresh() override { return InfoOf(file_.Get(), info_); }

    LockResult Lock(bool exclusive) override {
        OVERLAPPED at{};
        at.OffsetHigh = kLockOffsetHigh;
        if (::LockFileEx(file_.Get(),
                         (exclusive ? LOCKFILE_EXCLUSIVE_LOCK : 0) | LOCKFILE_FAIL_IMMEDIATELY, 0,
                         1, 0, &at) != 0) {
            return LockResult::kTaken;
        }
        const DWORD error = ::GetLastError();
        if (error == ERROR_LOCK_VIOLATION || error == ERROR_IO_PENDING) {
            return LockResult::kHeld;
        }
        return error == ERROR_NOT_SUPPORTED ? LockResult::kUnsupported : LockResult::kFailed;
    }

  private:
    static constexpr std::uint64_t kUnknown = ~std::uint64_t{0};

    bool MoveTo(std::uint64_t offset) {
        if (offset == position_) {
            return true;
        }
        if (!Seek(file_.Get(), offset)) {
            position_ = kUnknown;
            return false;
        }
        position_ = offset;
        return true;
    }

    ScopedFileHandle file_;
    FileInfo info_;
    std::uint64_t position_ = 0;  // where the file's position is, when known
};

PutResult Win32File::RenameTo(const std::string& target, bool replace) {
    // The name goes to the file system as it is: "." and ".." must be gone first.
    const std::optional<std::string> full = FullPath(target);
    if (!full) {
        return PutResult::kFailed;
    }
    const std::string nt =
        full->compare(0, 2, "\\\\") == 0 ? "\\??\\UNC\\" + full->substr(2) : "\\??\\" + *full;
    const int length =
        ::MultiByteToWideChar(CP_ACP, 0, nt.data(), static_cast<int>(nt.size()), nullptr, 0);
    if (length <= 0) {
        return PutResult::kFailed;
    }
    const std::size_t bytes =
        offsetof(FILE_RENAME_INFO, FileName) + (static_cast<std::size_t>(length) + 1) * 2;
    std::vector<std::uint64_t> storage(bytes / sizeof(std::uint64_t) + 1);
    auto* info = reinterpret_cast<FILE_RENAME_INFO*>(storage.data());
    info->ReplaceIfExists = replace ? TRUE : FALSE;
    info->RootDirectory = nullptr;
    info->FileNameLength = static_cast<DWORD>(length) * 2;
    ::MultiByteToWideChar(CP_ACP, 0, nt.data(), static_cast<int>(nt.size()), info->FileName,
                          length);
    if (::SetFileInformationByHandle(file_.Get(), FileRenameInfo, info,
                                     static_cast<DWORD>(bytes)) == 0) {
        const DWORD error = ::GetLastError();
        if (error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS) {
            return PutResult::kExists;
        }
        // Windows renames nothing over a file that is open, even one shared for deleting.
        if (error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION) {
            return PutResult::kHeldOpen;
        }
        return PutResult::kFailed;
    }
    return PutResult::kDone;
}

// Where a write of a path goes: the file itself, or, where a link stands, the file it leads to.
class Win32Spot : public Spot {
  public:
    // `target`: the full path of the file to be written.
    Win32Spot(Win32FileSystem& system, std::string target, std::optional<FileInfo> present)
        : system_(system),
          target_(std::move(target)),
          folder_(FolderOf(target_)),
          name_(NameOf(target_)),
          present_(std::move(present)) {}

    const std::optional<FileInfo>& Present() const override { return present_; }
    // A file the caller may not write is refused before a spot is made.
    bool MayWritePresent() const override { return true; }
    bool KnownFree() const override { return false; }
    bool FolderMadeThisRun() const override { return system_.MadeThisRun(folder_); }
    std::optional<std::string> RealFolder() override { return system_.RealFolder(folder_); }
    const std::string& Name() const override { return name_; }

    MakeResult MakeBeside(const std::string& name, const FileInfo*, bool readable,
                          std::unique_ptr<NativeFile>& made) override {
        const std::string path = Beside(name);
        if (!FitsMaxPath(path)) {
            return MakeResult::kNoRoom;
        }
        const HANDLE file = ::CreateFileA(
            path.c_str(), GENERIC_WRITE | DELETE | (readable ? GENERIC_READ : 0), 0, nullptr,
            CREATE_NEW, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
        if (file == INVALID_HANDLE_VALUE) {
            const DWORD error = ::GetLastError();
            if (error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS) {
                return MakeResult::kExists;
            }
            return error == ERROR_ACCESS_DENIED ? MakeResult::kRefused : MakeResult::kFailed;
        }
        FileInfo info;
        info.attributes = FILE_ATTRIBUTE_NORMAL;
        made = std::make_unique<Win32File>(file, info);
        return MakeResult::kMade;
    }

    PutResult PutInPlace(std::unique_ptr<NativeFile>& made, const std::string&,
                         bool replace) override {
        auto& file = static_cast<Win32File&>(*made);
        const PutResult result = file.RenameTo(target_, replace);
        if (result == PutResult::kDone) {
            made.reset();
        }
        return result;
    }

    bool LinkPresentTo(const std::string& path) override {
        if (!present_) {
            return false;
        }
        // A file that another program holds open is not replaced by a rename but written in
        // place, where a further name would change with it: it takes none, and is copied.
        if (!ScopedFileHandle(::CreateFileA(target_.c_str(), GENERIC_READ, 0, nullptr,
                                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr))
                 .IsValid()) {
            return false;
        }
        return ::CreateHardLinkA(path.c_str(), target_.c_str(), nullptr) != 0;
    }

    void RemoveBeside(const std::string& name, std::unique_ptr<NativeFile> made) override {
        const DWORD error = ::GetLastError();
        made.reset();
        const std::string path = Beside(name);
        // A copy of a read-only source is read-only itself; DeleteFileA refuses such a file.
        ::SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        ::DeleteFileA(path.c_str());
        ::SetLastError(error);
    }

    std::unique_ptr<NativeFile> OpenInPlace() override {
        ScopedFileHandle file(::CreateFileA(target_.c_str(), GENERIC_READ | GENERIC_WRITE,
                                            FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                            OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        FileInfo info;
        if (!file.IsValid() || !InfoOf(file.Get(), info)) {
            return nullptr;
        }
        return std::make_unique<Win32File>(file.Release(), info);
    }

    std::vector<std::string> NamesWith(std::string_view mark) override {
        std::vector<std::string> names;
        WIN32_FIND_DATAA found{};
        const win32::ScopedFindHandle search(
            ::FindFirstFileA(Beside("*" + std::string(mark) + "*").c_str(), &found));
        if (!search.IsValid()) {
            return names;
        }
        do {
            if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
                names.emplace_back(found.cFileName);
            }
        } while (::FindNextFileA(search.Get(), &found) != 0);
        return names;
    }

    std::unique_ptr<NativeFile> OpenToRemove(const std::string& name) override {
        // A run that is still writing holds its file open and shares it with nobody, so it
        // cannot be opened here; what a killed run left can. A link is not followed.
        ScopedFileHandle file(::CreateFileA(Beside(name).c_str(), GENERIC_READ | DELETE, kShareAll,
                                            nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT,
                                            nullptr));
        FileInfo info;
        if (!file.IsValid() || !InfoOf(file.Get(), info) || !info.regular ||
            (info.attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
            return nullptr;
        }
        // Wine opens what a POSIX link leads to, also with FILE_FLAG_OPEN_REPARSE_POINT: only a
        // file that really is where its name is may go.
        const std::optional<std::string> real = FinalPathOf(file.Get());
        const std::optional<std::string> folder = RealFolder();
        if (!real || !folder ||
            !names::EqualsIgnoringCase(*real,
                                       *folder + (folder->back() == '\\' ? "" : "\\") + name)) {
            return nullptr;
        }
        return std::make_unique<Win32File>(file.Release(), info);
    }

    bool RemoveOpened(const std::string& name, std::unique_ptr<NativeFile> file) override {
        // A copy of a read-only file is read-only itself, which forbids deleting it.
        ::SetFileAttributesA(Beside(name).c_str(), FILE_ATTRIBUTE_NORMAL);
        FILE_DISPOSITION_INFO dispose{};
        dispose.DeleteFile = TRUE;
        return ::SetFileInformationByHandle(static_cast<Win32File&>(*file).Get(),
                                            FileDispositionInfo, &dispose, sizeof dispose) != 0;
    }

  private:
    std::string Beside(const std::string& name) const { return folder_ + "\\" + name; }

    Win32FileSystem& system_;
    std::string target_;
    std::string folder_;
    std::string name_;
    std::optional<FileInfo> present_;
};

// What tells a file apart and whether it changed.
struct Stamp {
    std::int64_t index = 0;
    std::uint64_t size = 0;
    FileTime written = 0;
};

bool StampOf(const std::string& path, Stamp& stamp) {
    const ScopedFileHandle file(OpenToLook(path));
    FILE_BASIC_INFO basic{};
    LARGE_INTEGER size{};
    if (!file.IsValid() || !FileIndexOf(file.Get(), stamp.index) ||
        ::GetFileInformationByHandleEx(file.Get(), FileBasicInfo, &basic, sizeof basic) == 0 ||
        ::GetFileSizeEx(file.Get(), &size) == 0) {
        return false;
    }
    stamp.size = static_cast<std::uint64_t>(size.QuadPart);
    stamp.written = static_cast<FileTime>(basic.LastWriteTime.QuadPart);
    return true;
}

}  // namespace

std::unique_ptr<NativeFile> Win32FileSystem::OpenForReading(const std::string& path,
                                                            bool othersWrite, OpenError& error) {
    ScopedFileHandle file(OpenReadable(path, othersWrite));
    if (!file.IsValid()) {
        error = IsNotFound(::GetLastError()) ? OpenError::kMissing : OpenError::kFailed;
        return nullptr;
    }
    FileInfo info;
    if (!InfoOf(file.Get(), info)) {
        error = OpenError::kFailed;
        return nullptr;
    }
    error = OpenError::kNone;
    return std::make_unique<Win32File>(file.Release(), info);
}

std::unique_ptr<NativeFile> Win32FileSystem::OpenForClaim(const std::string& path) {
    // A read-only file is claimed as well; it will not be written.
    ScopedFileHandle file(::CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, kShareAll,
                                        nullptr, OPEN_EXISTING, 0, nullptr));
    if (!file.IsValid() && ::GetLastError() == ERROR_ACCESS_DENIED) {
        file.Reset(::CreateFileA(path.c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING, 0,
                                 nullptr));
    }
    FileInfo info;
    if (!file.IsValid() || !InfoOf(file.Get(), info) || !info.regular) {
        return nullptr;
    }
    return std::make_unique<Win32File>(file.Release(), info);
}

Sight Win32FileSystem::Look(const std::string& path, bool open, bool real) {
    Sight sight;
    if (!real) {
        if (open) {
            OpenError error = OpenError::kNone;
            sight.file = OpenForReading(path, false, error);
            sight.missing = error == OpenError::kMissing;
            if (sight.file) {
                sight.info = sight.file->Info();
            }
            return sight;
        }
        WIN32_FILE_ATTRIBUTE_DATA data{};
        if (::GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data) != 0) {
            sight.info = InfoOf(data);
        } else {
            sight.missing = ::GetLastError() == ERROR_FILE_NOT_FOUND;
        }
        return sight;
    }
    // Windows takes "." and ".." by their text, before it looks at the disk.
    std::optional<std::string> full = FullPath(path);
    if (!full) {
        return sight;
    }
    std::string probe = std::move(*full);
    // The deepest part that exists decides: what is below it does not exist yet. A folder is
    // looked up once a run, for all the new files that go into it.
    for (bool file = true;; file = false) {
        const auto known = file ? folders_.end() : folders_.find(names::PathKey(probe));
        if (known != folders_.end()) {
            sight.real = known->second;
            return sight;
        }
        // A file is opened as OpenForReading would open it, for the calls that follow; one that
        // cannot be opened so, and a folder, only to look at it.
        ScopedFileHandle there(file && open ? OpenReadable(path, false) : INVALID_HANDLE_VALUE);
        const bool readable = there.IsValid();
        DWORD error = file && open ? ::GetLastError() : ERROR_SUCCESS;
        if (!readable && (!file || !open || !IsNotFound(error))) {
            there.Reset(OpenToLook(probe));
            error = ::GetLastError();
        }
        if (there.IsValid()) {
            const std::optional<std::string> final = FinalPathOf(there.Get());
            if (!final) {
                return sight;
            }
            sight.real = *final;
            if (!file) {
                folders_.emplace(names::PathKey(probe), *final);
            } else if (readable) {
                FileInfo info;
                if (InfoOf(there.Get(), info)) {
                    sight.info = info;
                    sight.file = std::make_unique<Win32File>(there.Release(), info);
                }
            }
            return sight;
        }
        if (!IsNotFound(error)) {
            return sight;
        }
        if (file) {
            sight.missing = true;
        }
        std::string parent = FolderOf(probe);
        if (parent.size() == 2 && parent[1] == ':') {
            parent += '\\';
        }
        if (parent.empty() || parent == probe) {
            return sight;
        }
        probe = std::move(parent);
    }
}

std::optional<std::string> Win32FileSystem::RealPath(const std::string& path) {
    const ScopedFileHandle there(OpenToLook(path));
    return there.IsValid() ? FinalPathOf(there.Get()) : std::nullopt;
}

std::optional<std::string> Win32FileSystem::RealFolder(const std::string& folder) {
    const std::string key = names::PathKey(folder);
    const auto known = folders_.find(key);
    if (known != folders_.end()) {
        return known->second;
    }
    std::optional<std::string> real = RealPath(folder);
    if (real) {
        folders_.emplace(key, *real);
    }
    return real;
}

bool Win32FileSystem::MadeThisRun(const std::string& folder) const {
    return made_.count(names::PathKey(folder)) != 0;
}

bool Win32FileSystem::Contains(const std::string& folder, const std::string& path) const {
    const std::string p = names::FoldCase(path);
    std::string f = names::FoldCase(folder);
    if (p == f) {
        return true;
    }
    if (f.empty() || f.back() != '\\') {
        f += '\\';
    }
    return p.compare(0, f.size(), f) == 0;
}

bool Win32FileSystem::Names(const std::string& path, const NativeFile& file, bool unchanged) {
    const auto& own = static_cast<const Win32File&>(file);
    std::int64_t index = 0;
    Stamp named;
    if (!FileIndexOf(own.Get(), index) || !StampOf(path, named) || named.index != index) {
        return false;
    }
    return !unchanged || (named.size == file.Info().size && named.written == file.Info().written);
}

std::unique_ptr<Spot> Win32FileSystem::SpotOf(const std::string& path, const Sight* present) {
    std::optional<FileInfo> there;
    if (present != nullptr && (present->missing || present->info)) {
        there = present->missing ? std::nullopt : present->info;
    } else {
        WIN32_FILE_ATTRIBUTE_DATA data{};
        if (::GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data) != 0) {
            there = InfoOf(data);
        } else if (::GetLastError() != ERROR_FILE_NOT_FOUND) {
            return nullptr;
        }
    }
    if (!there) {
        const std::optional<std::string> full = FullPath(path);
        return full ? std::make_unique<Win32Spot>(*this, *full, std::nullopt) : nullptr;
    }
    // Where the present file really is, and how many names it has. The open fails where the
    // caller may not write the file: renaming over it needs only the folder's permission under
    // Wine, and the file's own is to decide, as it does on Windows.
    const ScopedFileHandle file(::CreateFileA(path.c_str(), FILE_READ_ATTRIBUTES | FILE_WRITE_DATA,
                                              kShareAll, nullptr, OPEN_EXISTING, 0, nullptr));
    if (!file.IsValid()) {
        return nullptr;
    }
    const std::optional<std::string> final = FinalPathOf(file.Get());
    FILE_STANDARD_INFO standard{};
    if (!final || ::GetFileInformationByHandleEx(file.Get(), FileStandardInfo, &standard,
                                                 sizeof standard) == 0) {
        return nullptr;
    }
    there->links = standard.NumberOfLinks;
    return std::make_unique<Win32Spot>(*this, *final, there);
}

bool Win32FileSystem::RemoveEmptyDirectory(const std::string& path) {
    return ::RemoveDirectoryA(path.c_str()) != 0;
}

FileSystem::MadeFolder Win32FileSystem::MakeDirectory(const std::string& path) {
    if (::CreateDirectoryA(path.c_str(), nullptr) == 0) {
        return ::GetLastError() == ERROR_ALREADY_EXISTS ? MadeFolder::kExists : MadeFolder::kFailed;
    }
    // A folder made now holds nothing that a killed run left, and it lies where its parent lies.
    if (const std::optional<std::string> full = FullPath(path)) {
        made_.insert(names::PathKey(*full));
        const auto parent = folders_.find(names::PathKey(FolderOf(*full)));
        if (parent != folders_.end()) {
            folders_.emplace(names::PathKey(*full), parent->second + "\\" + NameOf(*full));
        }
    }
    return MadeFolder::kCreated;
}

bool Win32FileSystem::SetNormalAttributes(const std::string& path, const FileInfo* known) {
    const std::optional<char> drive = names::DriveOfWindowsPath(path);
    const auto memo = std::make_pair(drive ? names::FoldCase(*drive) : '\0',
                                     static_cast<unsigned long>(known ? known->attributes : 0));
    if (known != nullptr && drive && unchangedByNormal_.count(memo) != 0) {
        return true;
    }
    if (::SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL) == 0) {
        return false;
    }
    if (known != nullptr && drive && ::GetFileAttributesA(path.c_str()) == known->attributes) {
        unchangedByNormal_.insert(memo);
    }
    return true;
}

void Win32FileSystem::Pause(std::chrono::milliseconds time) {
    PauseKeepingWindowsPainted(static_cast<DWORD>(time.count()));
}

}  // namespace kolvane::platform
