#pragma once

#include <cstdint>
#include <string>

namespace kolvane::platform {

// A registry key as the registry calls hand it out: one of the predefined roots or a key that
// OpenKey returned. The values of the roots are those of the Windows headers.
using RegKey = std::uintptr_t;
using RegResult = std::int32_t;  // a Win32 error code; 0 is success

inline constexpr RegKey kClassesRoot = 0x80000000;
inline constexpr RegKey kDynData = 0x80000006;

inline constexpr std::uint32_t kKeyRead = 0x20019;

inline constexpr std::uint32_t kRegNone = 0;
inline constexpr std::uint32_t kRegSz = 1;
inline constexpr std::uint32_t kRegExpandSz = 2;
inline constexpr std::uint32_t kRegBinary = 3;
inline constexpr std::uint32_t kRegDword = 4;
inline constexpr std::uint32_t kRegMultiSz = 7;

inline constexpr RegResult kErrorSuccess = 0;
inline constexpr RegResult kErrorFileNotFound = 2;
inline constexpr RegResult kErrorAccessDenied = 5;
inline constexpr RegResult kErrorInvalidHandle = 6;
inline constexpr RegResult kErrorMoreData = 234;

// The read-only registry operations the installer performs, shaped like RegOpenKeyExA,
// RegQueryValueExA and RegCloseKey.
class Registry {
  public:
    virtual ~Registry() = default;

    // Opens `subkey` below `parent` (a root or an open key) with the access mask `access`.
    // On success returns 0 and stores the new key in `result`.
    virtual RegResult OpenKey(RegKey parent, const std::string& subkey, std::uint32_t access,
                              RegKey& result) = 0;

    // Reads the value `name` of `key` into `data`, which holds `size` bytes, as RegQueryValueExA
    // does. On success returns 0, sets `type` and sets `size` to the number of bytes stored; a
    // string stored without its NUL gets one when the buffer has room for it. A value that does
    // not fit fails with kErrorMoreData, still sets `type` and `size` (to the bytes it needs) and
    // leaves the buffer's contents undefined. A null `data` asks for the type and size alone.
    virtual RegResult QueryValue(RegKey key, const std::string& name, std::uint32_t& type,
                                 std::uint8_t* data, std::uint32_t& size) = 0;

    virtual RegResult CloseKey(RegKey key) = 0;
};

// Owns one open key and closes it when it goes out of scope, unless it was closed before.
class ScopedRegKey {
  public:
    explicit ScopedRegKey(Registry& registry) : registry_(registry) {}
    ScopedRegKey(const ScopedRegKey&) = delete;
    ScopedRegKey& operator=(const ScopedRegKey&) = delete;
    ~ScopedRegKey() { Close(); }

    // Opens `subkey` below `parent`; any key held before is closed first.
    bool Open(RegKey parent, const std::string& subkey, std::uint32_t access = kKeyRead) {
        Close();
        RegKey key = 0;
        if (registry_.OpenKey(parent, subkey, access, key) != kErrorSuccess) {
            return false;
        }
        key_ = key;
        open_ = true;
        return true;
    }

    // Closes the key if one is held. True when nothing was held or the close succeeded.
    bool Close() {
        if (!open_) {
            return true;
        }
        open_ = false;
        return registry_.CloseKey(key_) == kErrorSuccess;
    }

    bool IsOpen() const { return open_; }
    RegKey Get() const { return key_; }

  private:
    Registry& registry_;
    RegKey key_ = 0;
    bool open_ = false;
};

}  // namespace kolvane::platform
