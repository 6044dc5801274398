#pragma once

// The Win32 implementations of the seams, for the contract suites.
#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "platform/win32/win32_disk_probe.h"
#include "platform/win32/win32_files.h"
#include "platform/win32/win32_registry.h"
#include "platform/win32/windows_support.h"
#include "support/temp_dir.h"

namespace kolvane::platform {

// The file seam on a temporary folder, by its own path.
class PlatformFiles {
  public:
    static constexpr const char* kName = "Win32Files";

    explicit PlatformFiles(const testing::TempDir& dir) : root_(dir.WindowsPath()) {}
    Files& Get() { return files_; }
    std::string Root() const { return root_; }
    std::unique_ptr<platform::DiskProbe> MakeProbe() const {
        return std::make_unique<platform::Win32DiskProbe>();
    }

    // The bare file system under the seam, for a write core of the test's own.
    static std::unique_ptr<FileSystem> MakeFileSystem(const testing::TempDir&) {
        return std::make_unique<Win32FileSystem>();
    }

    // Which file the host path names: its number on its volume.
    static std::uint64_t FileId(const std::string& hostPath) {
        const win32::ScopedFileHandle file(::CreateFileA(hostPath.c_str(), 0,
                                                         FILE_SHARE_READ | FILE_SHARE_WRITE,
                                                         nullptr, OPEN_EXISTING, 0, nullptr));
        BY_HANDLE_FILE_INFORMATION info{};
        if (!file.IsValid() || ::GetFileInformationByHandle(file.Get(), &info) == 0) {
            return 0;
        }
        return (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    }

    // Holds a file as a run of Kolvane.exe holds the file it is writing: open, shared with
    // nobody.
    class WritingRun {
      public:
        explicit WritingRun(const std::string& hostPath)
            : file_(::CreateFileA(hostPath.c_str(), GENERIC_WRITE | DELETE, 0, nullptr,
                                  OPEN_EXISTING, 0, nullptr)) {}
        bool Holds() const { return file_.IsValid(); }

      private:
        win32::ScopedFileHandle file_;
    };

  private:
    std::string root_;
    Win32Files files_;
};

// The real registry: the values set are written below HKEY_CLASSES_ROOT and removed again.
class PlatformRegistry {
  public:
    static constexpr const char* kName = "Win32Registry";

    ~PlatformRegistry() {
        if (!created_.empty()) {  // an empty name would stand for the whole root
            ::RegDeleteTreeA(HKEY_CLASSES_ROOT, created_.c_str());
        }
    }
    Registry& Get() { return registry_; }

    void Set(const std::string& key, const std::string& name, std::uint32_t type,
             const std::string& bytes) {
        HKEY created = nullptr;
        ASSERT_EQ(::RegCreateKeyExA(HKEY_CLASSES_ROOT, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                                    nullptr, &created, nullptr),
                  ERROR_SUCCESS)
            << key;
        const win32::ScopedHandle<KeyTraits> handle(created);
        // The first two levels, so that nothing of the test is left behind.
        created_ = key.substr(0, key.find('\\', key.find('\\') + 1));
        // RegSetValueExA takes a NUL just after a string's bytes for a part of the string, as
        // Windows does; a byte other than NUL there keeps the value as given.
        const std::string guarded = bytes + "x";
        EXPECT_EQ(::RegSetValueExA(handle.Get(), name.c_str(), 0, type,
                                   reinterpret_cast<const BYTE*>(guarded.data()),
                                   static_cast<DWORD>(bytes.size())),
                  ERROR_SUCCESS);
    }

  private:
    struct KeyTraits {
        using Handle = HKEY;
        static Handle Invalid() { return nullptr; }
        static bool Close(Handle key) { return ::RegCloseKey(key) == ERROR_SUCCESS; }
    };

    std::string created_;
    Win32Registry registry_;
};

}  // namespace kolvane::platform
