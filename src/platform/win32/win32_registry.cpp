#include "platform/win32/win32_registry.h"

#include "platform/win32/windows_support.h"

namespace kolvane::platform {
namespace {

HKEY ToHkey(RegKey key) {
    return reinterpret_cast<HKEY>(key);
}

}  // namespace

RegResult Win32Registry::OpenKey(RegKey parent, const std::string& subkey, std::uint32_t access,
                                 RegKey& result) {
    HKEY key = nullptr;
    const LONG status = ::RegOpenKeyExA(ToHkey(parent), subkey.c_str(), 0, access, &key);
    if (status == ERROR_SUCCESS) {
        result = reinterpret_cast<RegKey>(key);
    }
    return status;
}

RegResult Win32Registry::QueryValue(RegKey key, const std::string& name, std::uint32_t& type,
                                    std::uint8_t* data, std::uint32_t& size) {
    DWORD valueType = REG_NONE;
    DWORD valueSize = size;
    const LONG status =
        ::RegQueryValueExA(ToHkey(key), name.c_str(), nullptr, &valueType, data, &valueSize);
    // The type and the size needed come back also for a value that does not fit.
    if (status == ERROR_SUCCESS || status == ERROR_MORE_DATA) {
        type = valueType;
        size = valueSize;
    }
    return status;
}

RegResult Win32Registry::CloseKey(RegKey key) {
    return ::RegCloseKey(ToHkey(key));
}

}  // namespace kolvane::platform
