#pragma once

// The one place that includes <windows.h>. The API level (Windows 7, what mingw-w64 and Wine offer
// alike), the lean set of declarations and the absence of min/max macros are set for every
// Windows source on the compiler command line (CMakeLists.txt): defined here, they would come too
// late for a source that included any system header before this one.
#if !defined(WIN32_LEAN_AND_MEAN) || !defined(NOMINMAX)
#error "WIN32_LEAN_AND_MEAN and NOMINMAX belong on the compiler command line (CMakeLists.txt)"
#endif
#include <windows.h>
static_assert(_WIN32_WINNT == 0x0601, "the Windows API level is set in CMakeLists.txt");
// windows.h first: the common controls build on its declarations.
#include <commctrl.h>

#include <string>

namespace kolvane::win32 {

// Owns one handle of a kind described by Traits (Invalid(), Close()) and closes it on every path.
template <typename Traits>
class ScopedHandle {
  public:
    using Handle = typename Traits::Handle;

    ScopedHandle() = default;
    explicit ScopedHandle(Handle handle) : handle_(handle) {}
    ScopedHandle(const ScopedHandle&) = delete;
    ScopedHandle& operator=(const ScopedHandle&) = delete;
    ~ScopedHandle() { Close(); }

    // Takes `handle`, closing the one held before.
    void Reset(Handle handle) {
        Close();
        handle_ = handle;
    }

    bool IsValid() const { return handle_ != Traits::Invalid(); }
    Handle Get() const { return handle_; }

    // Hands the handle over to the caller, who closes it.
    Handle Release() {
        const Handle handle = handle_;
        handle_ = Traits::Invalid();
        return handle;
    }

    // Closes now and tells whether the close succeeded (true when nothing was held).
    bool Close() {
        if (!IsValid()) {
            return true;
        }
        const Handle handle = handle_;
        handle_ = Traits::Invalid();
        return Traits::Close(handle);
    }

  private:
    Handle handle_ = Traits::Invalid();
};

// A file handle from CreateFileA.
struct FileTraits {
    using Handle = HANDLE;
    static Handle Invalid() { return INVALID_HANDLE_VALUE; }
    static bool Close(Handle handle) { return ::CloseHandle(handle) != 0; }
};
using ScopedFileHandle = ScopedHandle<FileTraits>;

// A search from FindFirstFileA.
struct FindTraits {
    using Handle = HANDLE;
    static Handle Invalid() { return INVALID_HANDLE_VALUE; }
    static bool Close(Handle handle) { return ::FindClose(handle) != 0; }
};
using ScopedFindHandle = ScopedHandle<FindTraits>;

// A string-table text of the module `instance`; empty when the table lacks `id`.
std::string LoadResourceString(HINSTANCE instance, UINT id);

// "D:\Pkg\Setup.exe" -> "Setup": a program's name as its message boxes show it.
std::string ApplicationName(const std::string& modulePath);

// The full path of this process's executable.
std::string ModulePath();

}  // namespace kolvane::win32
