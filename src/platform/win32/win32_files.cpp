#include "platform/win32/win32_files.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <optional>

#include "names/letter_case.h"
#include "names/windows_path.h"
#include "platform/win32/windows_support.h"
// After windows.h, which it builds on.
#include <winternl.h>

namespace kolvane::platform {
namespace {

using win32::ScopedFileHandle;
using Clock = std::chrono::steady_clock;

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// CopyFileA refuses to overwrite a file with any of these, and so do we.
constexpr DWORD kProtectedAttributes =
    FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;

// The attributes a copy takes over from its source, as CopyFileA does.
constexpr DWORD kCopiedAttributes = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN |
                                    FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE |
                                    FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

// The claimed byte lies at 2^62: beyond the end of any file, and within the offsets that Wine
// hands on to fcntl.
constexpr DWORD kClaimOffsetHigh = 0x40000000;

// Temporary names are the target's name, this mark and four hexadecimal digits.
constexpr std::string_view kTemporaryMark = ".~kv";
constexpr std::size_t kTemporaryDigits = 4;

constexpr std::size_t kBlock = 1 << 20;

HANDLE ToHandle(FileHandle file) {
    return reinterpret_cast<HANDLE>(file);
}

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

std::string Upper(std::string text) {
    if (!text.empty()) {
        ::CharUpperBuffA(text.data(), static_cast<DWORD>(text.size()));
    }
    return text;
}

// Whether `path` is `folder` or lies below it; both real paths, compared as Windows does.
bool IsWithin(const std::string& path, const std::string& folder) {
    const std::string p = Upper(path);
    std::string f = Upper(folder);
    if (p == f) {
        return true;
    }
    if (f.empty() || f.back() != '\\') {
        f += '\\';
    }
    return p.compare(0, f.size(), f) == 0;
}

bool MayReplace(DWORD attributes, DWORD refused) {
    if ((attributes & (FILE_ATTRIBUTE_DIRECTORY | refused)) != 0) {
        ::SetLastError(ERROR_ACCESS_DENIED);
        return false;
    }
    return true;
}

// Opens an existing file for reading while others may read it too.
HANDLE OpenReadable(const std::string& path) {
    return ::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                         FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
}

// Opens an existing file for reading while others may read and write it: a claim holds the
// catalogue open for writing while it is read.
HANDLE OpenShared(const std::string& path) {
    return ::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
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

std::string TemporaryName(const std::string& name) {
    static DWORD counter = 0;
    const DWORD unique =
        (::GetTickCount() ^ (::GetCurrentProcessId() << 5) ^ (++counter * 0x9E37u)) & 0xFFFFu;
    char digits[8] = {};
    std::snprintf(digits, sizeof digits, "%04lx", static_cast<unsigned long>(unique));
    return name + std::string(kTemporaryMark) + digits;
}

bool IsTemporaryName(std::string_view name) {
    const std::size_t suffix = kTemporaryMark.size() + kTemporaryDigits;
    if (name.size() <= suffix ||
        name.substr(name.size() - suffix, kTemporaryMark.size()) != kTemporaryMark) {
        return false;
    }
    return std::all_of(name.end() - kTemporaryDigits, name.end(),
                       [](char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); });
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

bool WriteAll(HANDLE file, const char* data, std::size_t size) {
    while (size > 0) {
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(size, kBlock));
        DWORD written = 0;
        if (::WriteFile(file, data, chunk, &written, nullptr) == 0 || written == 0) {
            return false;
        }
        data += written;
        size -= written;
    }
    return true;
}

// Sets the last-write time and the attributes of an open file; 0 leaves either as it is.
bool SetBasicInfo(HANDLE file, FileTime written, DWORD attributes) {
    FILE_BASIC_INFO info{};
    info.LastWriteTime.QuadPart = static_cast<LONGLONG>(written);
    info.FileAttributes = attributes;
    return ::SetFileInformationByHandle(file, FileBasicInfo, &info, sizeof info) != 0;
}

char* Block(std::vector<char>& buffer) {
    if (buffer.size() < kBlock) {
        buffer.resize(kBlock);
    }
    return buffer.data();
}

// New contents of a file: from memory or from another file, read at any offset.
class Contents {
  public:
    virtual ~Contents() = default;
    virtual std::uint64_t Size() const = 0;
    // Up to `size` bytes from `offset`; fewer only at the end.
    virtual bool Read(std::uint64_t offset, char* data, DWORD size, DWORD& got) = 0;
};

class MemoryContents : public Contents {
  public:
    explicit MemoryContents(std::string_view text) : text_(text) {}
    std::uint64_t Size() const override { return text_.size(); }
    bool Read(std::uint64_t offset, char* data, DWORD size, DWORD& got) override {
        const std::size_t from = static_cast<std::size_t>(std::min<std::uint64_t>(offset, Size()));
        got = static_cast<DWORD>(std::min<std::size_t>(size, text_.size() - from));
        std::memcpy(data, text_.data() + from, got);
        return true;
    }

  private:
    std::string_view text_;
};

// Reads from the file's position, moving it only where a read does not go on from the last one:
// a read at a given offset (OVERLAPPED) would cost Wine a request to its server every time.
class FileContents : public Contents {
  public:
    FileContents(HANDLE file, std::uint64_t size) : file_(file), size_(size) {}
    std::uint64_t Size() const override { return size_; }
    bool Read(std::uint64_t offset, char* data, DWORD size, DWORD& got) override {
        got = 0;
        if (offset != next_ && !Seek(file_, offset)) {
            return false;
        }
        next_ = offset;
        while (got < size) {
            DWORD n = 0;
            if (::ReadFile(file_, data + got, size - got, &n, nullptr) == 0) {
                next_ = kUnknown;
                return false;
            }
            if (n == 0) {
                break;
            }
            got += n;
            next_ += n;
        }
        return true;
    }

  private:
    static constexpr std::uint64_t kUnknown = ~std::uint64_t{0};
    HANDLE file_;
    std::uint64_t size_;
    std::uint64_t next_ = kUnknown;  // where the file's position is, when known
};

// Writes bytes [begin, end) of `from` at the current position of `to`.
bool CopyRange(Contents& from, HANDLE to, std::uint64_t begin, std::uint64_t end,
               std::vector<char>& buffer) {
    char* block = Block(buffer);
    for (std::uint64_t at = begin; at < end;) {
        const DWORD want = static_cast<DWORD>(std::min<std::uint64_t>(end - at, kBlock));
        DWORD got = 0;
        if (!from.Read(at, block, want, got) || got != want || !WriteAll(to, block, got)) {
            return false;
        }
        at += got;
    }
    return true;
}

// Whether both hold the same bytes, compared block by block up to the first difference.
bool SameContents(Contents& a, Contents& b, std::vector<char>& bufferA,
                  std::vector<char>& bufferB) {
    if (a.Size() != b.Size()) {
        return false;
    }
    char* blockA = Block(bufferA);
    char* blockB = Block(bufferB);
    for (std::uint64_t at = 0; at < a.Size();) {
        const DWORD want = static_cast<DWORD>(std::min<std::uint64_t>(a.Size() - at, kBlock));
        DWORD gotA = 0;
        DWORD gotB = 0;
        if (!a.Read(at, blockA, want, gotA) || !b.Read(at, blockB, want, gotB) || gotA != want ||
            gotB != want || std::memcmp(blockA, blockB, want) != 0) {
            return false;
        }
        at += want;
    }
    return true;
}

// A new file beside `target` under a temporary name; removed again unless RenameOver puts it in
// the target's place. No other handle may share it, which tells other runs that it is in use.
class Temporary {
  public:
    enum class Result { kMade, kNoRoom, kRefused, kFailed };

    Temporary() = default;
    Temporary(const Temporary&) = delete;
    Temporary& operator=(const Temporary&) = delete;
    ~Temporary() { Discard(); }

    // kNoRoom: its path would not fit MAX_PATH; kRefused: the folder takes no new files.
    Result Make(const std::string& target, DWORD extraAccess) {
        const std::string prefix = FolderOf(target) + "\\";
        for (int attempt = 0; attempt < 16; ++attempt) {
            const std::string path = prefix + TemporaryName(NameOf(target));
            if (!FitsMaxPath(path)) {
                return Result::kNoRoom;
            }
            file_.Reset(::CreateFileA(path.c_str(), GENERIC_WRITE | DELETE | extraAccess, 0,
                                      nullptr, CREATE_NEW,
                                      FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
            if (file_.IsValid()) {
                path_ = path;
                return Result::kMade;
            }
            const DWORD error = ::GetLastError();
            if (error == ERROR_ACCESS_DENIED) {
                return Result::kRefused;
            }
            if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) {
                return Result::kFailed;
            }
        }
        return Result::kFailed;
    }

    HANDLE Get() const { return file_.Get(); }

    // Renames the file over `target` through its handle, replacing what is there.
    bool RenameOver(const std::string& target) {
        // The name goes to the file system as it is: "." and ".." must be gone first.
        const std::optional<std::string> full = FullPath(target);
        if (!full) {
            return false;
        }
        const std::string nt =
            full->compare(0, 2, "\\\\") == 0 ? "\\??\\UNC\\" + full->substr(2) : "\\??\\" + *full;
        const int length =
            ::MultiByteToWideChar(CP_ACP, 0, nt.data(), static_cast<int>(nt.size()), nullptr, 0);
        if (length <= 0) {
            return false;
        }
        const std::size_t bytes =
            offsetof(FILE_RENAME_INFO, FileName) + (static_cast<std::size_t>(length) + 1) * 2;
        std::vector<std::uint64_t> storage(bytes / sizeof(std::uint64_t) + 1);
        auto* info = reinterpret_cast<FILE_RENAME_INFO*>(storage.data());
        info->ReplaceIfExists = TRUE;
        info->RootDirectory = nullptr;
        info->FileNameLength = static_cast<DWORD>(length) * 2;
        ::MultiByteToWideChar(CP_ACP, 0, nt.data(), static_cast<int>(nt.size()), info->FileName,
                              length);
        if (::SetFileInformationByHandle(file_.Get(), FileRenameInfo, info,
                                         static_cast<DWORD>(bytes)) == 0) {
            return false;
        }
        path_.clear();  // it is the target now
        file_.Close();
        return true;
    }

    void Discard() {
        if (path_.empty()) {
            return;
        }
        const DWORD error = ::GetLastError();
        file_.Close();
        // A copy of a read-only source is read-only itself; DeleteFileA refuses such a file.
        ::SetFileAttributesA(path_.c_str(), FILE_ATTRIBUTE_NORMAL);
        ::DeleteFileA(path_.c_str());
        path_.clear();
        ::SetLastError(error);
    }

  private:
    ScopedFileHandle file_;
    std::string path_;
};

// A copy of a file's old contents in the user's temporary folder, removed unless kept.
class Backup {
  public:
    Backup() = default;
    Backup(const Backup&) = delete;
    Backup& operator=(const Backup&) = delete;
    ~Backup() {
        file_.Close();
        if (!path_.empty() && !keep_) {
            ::DeleteFileA(path_.c_str());
        }
    }

    bool Make(HANDLE from, std::uint64_t size, const std::string& name, std::vector<char>& buffer) {
        char folder[MAX_PATH + 1] = {};
        const DWORD length = ::GetTempPathA(MAX_PATH, folder);
        if (length == 0 || length >= MAX_PATH) {
            return false;
        }
        for (int attempt = 0; attempt < 16 && !file_.IsValid(); ++attempt) {
            const std::string path = std::string(folder, length) + TemporaryName(name);
            if (!FitsMaxPath(path)) {
                return false;
            }
            file_.Reset(::CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                      CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
            if (file_.IsValid()) {
                path_ = path;
            } else if (::GetLastError() != ERROR_FILE_EXISTS) {
                return false;
            }
        }
        FileContents old(from, size);
        size_ = size;
        return file_.IsValid() && CopyRange(old, file_.Get(), 0, size, buffer) &&
               ::FlushFileBuffers(file_.Get()) != 0;
    }

    // Writes the old contents back over `to`.
    bool Restore(HANDLE to, std::vector<char>& buffer) {
        FileContents saved(file_.Get(), size_);
        return Seek(to, 0) && CopyRange(saved, to, 0, size_, buffer) && Seek(to, size_) &&
               ::SetEndOfFile(to) != 0 && ::FlushFileBuffers(to) != 0;
    }

    void Keep() { keep_ = true; }

  private:
    ScopedFileHandle file_;
    std::string path_;
    std::uint64_t size_ = 0;
    bool keep_ = false;
};

// Writes `contents` over the file `path` in place, creating it if need be, and then gives it the
// last-write time `written` and the attributes `attributes` (0: as they are). The part beyond the
// old end goes first, so that a full disk stops the write before any old byte has changed. With
// `keepOld`, the old contents are copied to the user's temporary folder first, the new ones are
// read back once written, and after any failure the old ones are written back from that copy;
// the copy is removed only when the file is whole again, new or old.
bool WriteInPlace(const std::string& path, Contents& contents, bool keepOld, FileTime written,
                  DWORD attributes, std::vector<char>& buffer, std::vector<char>& other) {
    const ScopedFileHandle file(::CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE,
                                              FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    LARGE_INTEGER size{};
    if (!file.IsValid() || ::GetFileSizeEx(file.Get(), &size) == 0) {
        return false;
    }
    const auto oldSize = static_cast<std::uint64_t>(size.QuadPart);
    const std::uint64_t newSize = contents.Size();
    Backup backup;
    if (keepOld && oldSize > 0 && !backup.Make(file.Get(), oldSize, NameOf(path), buffer)) {
        return false;
    }
    if (newSize > oldSize &&
        !(Seek(file.Get(), oldSize) && CopyRange(contents, file.Get(), oldSize, newSize, buffer))) {
        Seek(file.Get(), oldSize);
        ::SetEndOfFile(file.Get());
        return false;
    }
    FileContents now(file.Get(), newSize);
    const bool whole = Seek(file.Get(), 0) &&
                       CopyRange(contents, file.Get(), 0, std::min(oldSize, newSize), buffer) &&
                       Seek(file.Get(), newSize) && ::SetEndOfFile(file.Get()) != 0 &&
                       ::FlushFileBuffers(file.Get()) != 0 &&
                       (!keepOld || SameContents(now, contents, buffer, other));
    if (!whole) {
        if (keepOld && oldSize > 0 && !backup.Restore(file.Get(), buffer)) {
            backup.Keep();
        }
        return false;
    }
    // The time and attributes follow where the system lets this user set them: a file of another
    // owner takes new contents but keeps its own, as with CopyFileA.
    if (written != 0 || attributes != 0) {
        SetBasicInfo(file.Get(), written, attributes);
    }
    return true;
}

// Where a write of the present file `path` really goes, and whether it has other names.
struct Target {
    std::string path;
    bool severalNames = false;
};

// False also when the caller may not write the file: renaming over it needs only the folder's
// permission under Wine, and the file's own is to decide, as it does on Windows.
bool Resolve(const std::string& path, Target& target) {
    const ScopedFileHandle file(::CreateFileA(path.c_str(), FILE_READ_ATTRIBUTES | FILE_WRITE_DATA,
                                              kShareAll, nullptr, OPEN_EXISTING, 0, nullptr));
    if (!file.IsValid()) {
        return false;
    }
    const std::optional<std::string> final = FinalPathOf(file.Get());
    FILE_STANDARD_INFO standard{};
    if (!final || ::GetFileInformationByHandleEx(file.Get(), FileStandardInfo, &standard,
                                                 sizeof standard) == 0) {
        return false;
    }
    target.path = *final;
    target.severalNames = standard.NumberOfLinks > 1;
    return true;
}

// What tells a file apart and whether it changed. Stamps are compared only for one path, taken
// moments apart, so the file's number on its volume tells it apart: the volume's serial number
// (GetFileInformationByHandle) would cost Wine a round through its mount manager, some twenty
// server requests.
struct Stamp {
    std::int64_t index = 0;
    std::uint64_t size = 0;
    FileTime written = 0;

    bool SameFile(const Stamp& other) const { return index == other.index; }
    bool operator==(const Stamp& other) const {
        return SameFile(other) && size == other.size && written == other.written;
    }
};

// The file's number on its volume, from the system's own library, which every process has loaded.
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

bool StampOf(HANDLE file, Stamp& stamp) {
    FILE_BASIC_INFO basic{};
    LARGE_INTEGER size{};
    if (!FileIndexOf(file, stamp.index) ||
        ::GetFileInformationByHandleEx(file, FileBasicInfo, &basic, sizeof basic) == 0 ||
        ::GetFileSizeEx(file, &size) == 0) {
        return false;
    }
    stamp.size = static_cast<std::uint64_t>(size.QuadPart);
    stamp.written = static_cast<FileTime>(basic.LastWriteTime.QuadPart);
    return true;
}

bool StampOf(const std::string& path, Stamp& stamp) {
    const ScopedFileHandle file(OpenToLook(path));
    return file.IsValid() && StampOf(file.Get(), stamp);
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

}  // namespace

struct Win32Files::Claim {
    ScopedFileHandle file;
    std::string path;
    Stamp stamp;
};

struct Win32Files::Kept {
    std::string path;
    ScopedFileHandle file;
    bool lent = false;  // OpenForReading handed it out; CloseFile hands it back
};

// Claims are told from handles of CreateFileA by their numbers, which count down from -2. Two
// files are kept: an entry's package file and its destination.
Win32Files::Win32Files() : nextClaim_(-2), kept_(2) {}

Win32Files::~Win32Files() {
    Settle();
}

void Win32Files::Keep(const std::string& path, FileHandle file) {
    Kept& slot = kept_[nextKept_];
    nextKept_ = (nextKept_ + 1) % kept_.size();
    if (slot.lent) {
        slot.file.Release();
    }
    slot.file.Reset(ToHandle(file));
    slot.path = path;
    slot.lent = false;
}

Win32Files::Kept* Win32Files::FindKept(const std::string& path) {
    for (Kept& slot : kept_) {
        if (slot.file.IsValid() && !slot.lent && slot.path == path) {
            return &slot;
        }
    }
    return nullptr;
}

FileHandle Win32Files::TakeKept(const std::string& path) {
    Kept* const slot = FindKept(path);
    return reinterpret_cast<FileHandle>(slot != nullptr ? slot->file.Release()
                                                        : INVALID_HANDLE_VALUE);
}

void Win32Files::Settle() {
    for (Kept& slot : kept_) {
        if (slot.lent) {
            slot.file.Release();
        }
        slot.file.Close();
        slot.lent = false;
    }
    missing_.clear();
    written_.clear();
}

FileHandle Win32Files::OpenForReading(const std::string& path) {
    if (Kept* const slot = FindKept(path)) {
        slot->lent = true;
        return reinterpret_cast<FileHandle>(slot->file.Get());
    }
    if (!missing_.empty() && path == missing_) {
        ::SetLastError(ERROR_FILE_NOT_FOUND);
        return kInvalidFile;
    }
    return reinterpret_cast<FileHandle>(OpenReadable(path));
}

bool Win32Files::LastWriteTime(FileHandle file, FileTime& time) {
    FILETIME written{};
    if (::GetFileTime(ToHandle(file), nullptr, nullptr, &written) == 0) {
        return false;
    }
    time = ToFileTime(written);
    return true;
}

void Win32Files::CloseFile(FileHandle file) {
    if (claims_.erase(file) != 0) {
        return;
    }
    for (Kept& slot : kept_) {
        if (slot.lent && slot.file.Get() == ToHandle(file)) {
            slot.lent = false;
            return;
        }
    }
    ::CloseHandle(ToHandle(file));
}

DirectoryResult Win32Files::MakeDirectory(const std::string& path) {
    if (::CreateDirectoryA(path.c_str(), nullptr) == 0) {
        return ::GetLastError() == ERROR_ALREADY_EXISTS ? DirectoryResult::kAlreadyExists
                                                        : DirectoryResult::kFailed;
    }
    // A folder made now holds nothing that a killed run left, and it lies where its parent lies.
    tidied_.insert(Upper(path));
    if (const std::optional<std::string> full = FullPath(path)) {
        const auto parent = folders_.find(Upper(FolderOf(*full)));
        if (parent != folders_.end()) {
            folders_.emplace(Upper(*full), parent->second + "\\" + NameOf(*full));
        }
    }
    return DirectoryResult::kCreated;
}

bool Win32Files::CopyFileOver(const std::string& source, const std::string& destination) {
    // What LocateIn and OpenForReading opened is taken over; nothing else stays open.
    ScopedFileHandle input(ToHandle(TakeKept(source)));
    ScopedFileHandle there(ToHandle(TakeKept(destination)));
    const bool knownMissing = !missing_.empty() && destination == missing_;
    Settle();
    WIN32_FILE_ATTRIBUTE_DATA present{};
    const bool exists =
        !knownMissing &&
        ::GetFileAttributesExA(destination.c_str(), GetFileExInfoStandard, &present) != 0;
    if (!exists && !knownMissing && ::GetLastError() != ERROR_FILE_NOT_FOUND) {
        return false;
    }
    if (exists && !MayReplace(present.dwFileAttributes, kProtectedAttributes)) {
        return false;
    }
    if (!input.IsValid()) {
        input.Reset(OpenReadable(source));
    }
    FILE_BASIC_INFO basic{};
    LARGE_INTEGER size{};
    if (!input.IsValid() ||
        ::GetFileInformationByHandleEx(input.Get(), FileBasicInfo, &basic, sizeof basic) == 0 ||
        ::GetFileSizeEx(input.Get(), &size) == 0) {
        return false;
    }
    const auto written = static_cast<FileTime>(basic.LastWriteTime.QuadPart);
    DWORD attributes = basic.FileAttributes & kCopiedAttributes;
    if (attributes == 0) {
        attributes = FILE_ATTRIBUTE_NORMAL;
    }
    FileContents contents(input.Get(), static_cast<std::uint64_t>(size.QuadPart));

    // Installing a package again copies every file again: a file that already is what the copy
    // would make is left alone.
    if (exists &&
        ((static_cast<std::uint64_t>(present.nFileSizeHigh) << 32) | present.nFileSizeLow) ==
            contents.Size() &&
        ToFileTime(present.ftLastWriteTime) == written) {
        if (!there.IsValid()) {
            there.Reset(OpenReadable(destination));
        }
        FileContents copy(there.Get(), contents.Size());
        if (there.IsValid() && SameContents(contents, copy, buffer_, other_)) {
            written_ = destination;
            writtenAttributes_ = present.dwFileAttributes;
            return true;
        }
    }
    // Windows renames nothing over a file that is open.
    there.Close();

    Target target{destination};
    if (exists && !Resolve(destination, target)) {
        return false;
    }
    if (!target.severalNames) {
        RemoveLeftovers(FolderOf(target.path));
        Temporary temporary;
        switch (temporary.Make(target.path, 0)) {
            case Temporary::Result::kMade: {
                FILE_BASIC_INFO made{};
                if (!CopyRange(contents, temporary.Get(), 0, contents.Size(), buffer_) ||
                    !SetBasicInfo(temporary.Get(), written, attributes) ||
                    ::GetFileInformationByHandleEx(temporary.Get(), FileBasicInfo, &made,
                                                   sizeof made) == 0 ||
                    !temporary.RenameOver(target.path)) {
                    return false;
                }
                written_ = destination;
                writtenAttributes_ = made.FileAttributes;
                return true;
            }
            case Temporary::Result::kNoRoom:
                break;
            case Temporary::Result::kRefused:
                if (!exists) {
                    return false;
                }
                break;
            case Temporary::Result::kFailed:
                return false;
        }
    }
    // In place, as CopyFileA writes. A file with several names keeps its old contents until the
    // new ones are whole, since every name shows them.
    return WriteInPlace(target.path, contents, target.severalNames, written, attributes, buffer_,
                        other_);
}

bool Win32Files::SetNormalAttributes(const std::string& path) {
    const bool justWritten = !written_.empty() && path == written_;
    const DWORD before = writtenAttributes_;
    Settle();
    const std::optional<char> drive = names::DriveOfWindowsPath(path);
    const auto known =
        std::make_pair(drive ? names::FoldCase(*drive) : '\0', static_cast<unsigned long>(before));
    if (justWritten && drive && unchangedByNormal_.count(known) != 0) {
        return true;
    }
    if (::SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL) == 0) {
        return false;
    }
    if (justWritten && drive && ::GetFileAttributesA(path.c_str()) == before) {
        unchangedByNormal_.insert(known);
    }
    return true;
}

bool Win32Files::ReadContents(const std::string& path, std::string& contents) {
    Settle();
    const ScopedFileHandle file(OpenShared(path));
    if (!file.IsValid()) {
        return false;
    }
    contents.clear();
    char* block = Block(buffer_);
    for (;;) {
        DWORD got = 0;
        if (::ReadFile(file.Get(), block, static_cast<DWORD>(kBlock), &got, nullptr) == 0) {
            return false;
        }
        if (got == 0) {
            return true;
        }
        contents.append(block, got);
    }
}

bool Win32Files::ReplaceContents(const std::string& path, std::string_view contents) {
    Settle();
    Claim* claim = ClaimOn(path);
    WIN32_FILE_ATTRIBUTE_DATA present{};
    const bool exists = ::GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &present) != 0;
    if (!exists && (::GetLastError() != ERROR_FILE_NOT_FOUND || claim != nullptr)) {
        return false;
    }
    if (exists && !MayReplace(present.dwFileAttributes, FILE_ATTRIBUTE_READONLY)) {
        return false;
    }
    Target target{path};
    if (exists && !Resolve(path, target)) {
        return false;
    }
    MemoryContents text(contents);
    // A file that holds these very bytes already is left as it is: rewriting it would change
    // nothing but its time, and cost a flush to disk.
    if (exists && ((static_cast<std::uint64_t>(present.nFileSizeHigh) << 32) |
                   present.nFileSizeLow) == contents.size()) {
        ScopedFileHandle opened;
        HANDLE file = claim != nullptr ? claim->file.Get() : INVALID_HANDLE_VALUE;
        if (file == INVALID_HANDLE_VALUE) {
            opened.Reset(OpenShared(path));
            file = opened.Get();
        }
        FileContents there(file, contents.size());
        if (file != INVALID_HANDLE_VALUE && SameContents(there, text, buffer_, other_)) {
            return true;
        }
    }
    const auto unchanged = [&] {
        Stamp now;
        return claim == nullptr || (StampOf(path, now) && now == claim->stamp);
    };
    if (!target.severalNames) {
        RemoveLeftovers(FolderOf(target.path));
        Temporary temporary;
        const Temporary::Result made = temporary.Make(target.path, GENERIC_READ);
        if (made == Temporary::Result::kMade) {
            FileContents written(temporary.Get(), text.Size());
            // The new file keeps the old one's attributes (hidden, archive, ...).
            if (!CopyRange(text, temporary.Get(), 0, text.Size(), buffer_) ||
                ::FlushFileBuffers(temporary.Get()) == 0 ||
                !SameContents(written, text, buffer_, other_) ||
                (exists && !SetBasicInfo(temporary.Get(), 0, present.dwFileAttributes)) ||
                !unchanged()) {
                return false;
            }
            if (temporary.RenameOver(target.path)) {
                return true;
            }
            // Windows renames nothing over a file that is open, even one shared for deleting
            // (Wine does): the claim is given up just before. A run that takes it in that moment
            // finds the file changed when it writes back, and fails rather than lose this write.
            if (claim == nullptr || !claim->file.IsValid()) {
                return false;
            }
            claim->file.Close();
            return temporary.RenameOver(target.path);
        }
        if (made == Temporary::Result::kFailed ||
            (made == Temporary::Result::kRefused && !exists)) {
            return false;
        }
    }
    return unchanged() && WriteInPlace(target.path, text, true, 0, 0, buffer_, other_);
}

Location Win32Files::LocateIn(const std::string& path, const std::string& folder) {
    missing_.clear();
    if (folder != folder_) {
        folder_ = folder;
        const ScopedFileHandle there(OpenToLook(folder));
        const std::optional<std::string> final =
            there.IsValid() ? FinalPathOf(there.Get()) : std::nullopt;
        folderFinal_ = final.value_or("");
    }
    if (folderFinal_.empty()) {
        return Location::kUnknown;
    }
    // Windows takes "." and ".." by their text, before it looks at the disk.
    std::optional<std::string> full = FullPath(path);
    if (!full) {
        return Location::kUnknown;
    }
    std::string probe = std::move(*full);
    // The deepest part that exists decides: what is below it does not exist yet. A folder is
    // looked up once a run, for all the new files that go into it.
    for (bool file = true;; file = false) {
        const auto known = file ? folders_.end() : folders_.find(Upper(probe));
        if (known != folders_.end()) {
            return IsWithin(known->second, folderFinal_) ? Location::kInside : Location::kOutside;
        }
        // A file is opened as OpenForReading would open it and kept for the calls that follow;
        // one that cannot be opened so, and a folder, only to look at it.
        ScopedFileHandle there(file ? OpenReadable(path) : INVALID_HANDLE_VALUE);
        const bool readable = there.IsValid();
        DWORD error = file ? ::GetLastError() : ERROR_SUCCESS;
        if (!readable &&
            (!file || (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND))) {
            there.Reset(OpenToLook(probe));
            error = ::GetLastError();
        }
        if (there.IsValid()) {
            const std::optional<std::string> final = FinalPathOf(there.Get());
            if (!final) {
                return Location::kUnknown;
            }
            if (!file) {
                folders_.emplace(Upper(probe), *final);
            } else if (readable) {
                Keep(path, reinterpret_cast<FileHandle>(there.Release()));
            }
            return IsWithin(*final, folderFinal_) ? Location::kInside : Location::kOutside;
        }
        if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND) {
            return Location::kUnknown;
        }
        if (file) {
            missing_ = path;
        }
        std::string parent = FolderOf(probe);
        if (parent.size() == 2 && parent[1] == ':') {
            parent += '\\';
        }
        if (parent.empty() || parent == probe) {
            return Location::kUnknown;
        }
        probe = std::move(parent);
    }
}

ClaimResult Win32Files::ClaimForUpdate(const std::string& path, std::chrono::milliseconds patience,
                                       FileHandle& claim) {
    Settle();
    claim = kInvalidFile;
    const Clock::time_point deadline = Clock::now() + patience;
    for (;;) {
        auto taken = std::make_unique<Claim>();
        ScopedFileHandle& file = taken->file;
        // A read-only file is claimed as well; it will not be written.
        file.Reset(::CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, kShareAll, nullptr,
                                 OPEN_EXISTING, 0, nullptr));
        if (!file.IsValid() && ::GetLastError() == ERROR_ACCESS_DENIED) {
            file.Reset(::CreateFileA(path.c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING,
                                     0, nullptr));
        }
        if (!file.IsValid()) {
            return ClaimResult::kFailed;
        }
        for (;;) {
            OVERLAPPED at{};
            at.OffsetHigh = kClaimOffsetHigh;
            if (::LockFileEx(file.Get(), LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1,
                             0, &at) != 0) {
                break;
            }
            const DWORD error = ::GetLastError();
            if (error != ERROR_LOCK_VIOLATION && error != ERROR_IO_PENDING) {
                return ClaimResult::kFailed;
            }
            const Clock::time_point now = Clock::now();
            if (now >= deadline) {
                return ClaimResult::kBusy;
            }
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now).count();
            PauseKeepingWindowsPainted(static_cast<DWORD>(std::min<long long>(left, 50)));
        }
        // The run that held the claim may have replaced the file meanwhile. The claim must be on
        // the file that the path names now, for the next run to wait for this one.
        Stamp named;
        if (!StampOf(file.Get(), taken->stamp) || !StampOf(path, named)) {
            return ClaimResult::kFailed;
        }
        if (taken->stamp.SameFile(named)) {
            taken->path = path;
            claim = nextClaim_--;
            claims_.emplace(claim, std::move(taken));
            return ClaimResult::kClaimed;
        }
    }
}

Win32Files::Claim* Win32Files::ClaimOn(const std::string& path) {
    for (auto& [handle, claim] : claims_) {
        if (claim->path == path) {
            return claim.get();
        }
    }
    return nullptr;
}

void Win32Files::RemoveLeftovers(const std::string& folder) {
    if (!tidied_.insert(Upper(folder)).second) {
        return;
    }
    WIN32_FIND_DATAA found{};
    const win32::ScopedFindHandle search(
        ::FindFirstFileA((folder + "\\*" + std::string(kTemporaryMark) + "*").c_str(), &found));
    if (!search.IsValid()) {
        return;
    }
    do {
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ||
            !IsTemporaryName(found.cFileName)) {
            continue;
        }
        // A run that is still writing holds its temporary file open and shares it with nobody,
        // so it cannot be opened for deleting; what a killed run left can.
        const std::string path = folder + "\\" + found.cFileName;
        const ScopedFileHandle leftover(
            ::CreateFileA(path.c_str(), DELETE, kShareAll, nullptr, OPEN_EXISTING, 0, nullptr));
        if (!leftover.IsValid()) {
            continue;
        }
        // A copy of a read-only file is read-only itself, which forbids deleting it.
        ::SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        FILE_DISPOSITION_INFO dispose{};
        dispose.DeleteFile = TRUE;
        ::SetFileInformationByHandle(leftover.Get(), FileDispositionInfo, &dispose, sizeof dispose);
    } while (::FindNextFileA(search.Get(), &found) != 0);
}

}  // namespace kolvane::platform
