#include "platform/win32/win32_program_list.h"

#include <set>

#include "platform/win32/windows_support.h"

namespace kolvane::platform {

namespace {

struct KeyTraits {
    using Handle = HKEY;
    static Handle Invalid() { return nullptr; }
    static bool Close(Handle handle) { return ::RegCloseKey(handle) == ERROR_SUCCESS; }
};
using ScopedKey = win32::ScopedHandle<KeyTraits>;

bool Create(HKEY parent, const std::string& name, ScopedKey& key) {
    HKEY made = nullptr;
    if (::RegCreateKeyExA(parent, name.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                          KEY_READ | KEY_WRITE, nullptr, &made, nullptr) != ERROR_SUCCESS) {
        return false;
    }
    key.Reset(made);
    return true;
}

// The names of the subkeys of `key` that begin with `prefix`.
std::vector<std::string> SubkeysWith(HKEY key, const std::string& prefix) {
    std::vector<std::string> names;
    for (DWORD index = 0;; ++index) {
        char name[256];
        DWORD length = sizeof name;
        const LONG result =
            ::RegEnumKeyExA(key, index, name, &length, nullptr, nullptr, nullptr, nullptr);
        if (result == ERROR_NO_MORE_ITEMS) {
            break;
        }
        if (result == ERROR_SUCCESS && std::string_view(name, length).starts_with(prefix)) {
            names.emplace_back(name, length);
        }
    }
    return names;
}

bool Write(HKEY list, const ProgramEntry& entry) {
    // The entry is written anew, so that it holds these values and no other.
    ::RegDeleteKeyA(list, entry.key.c_str());
    ScopedKey key;
    if (!Create(list, entry.key, key)) {
        return false;
    }
    bool written = true;
    for (const ProgramValue& value : entry.values) {
        const bool text = value.type != REG_DWORD;
        const auto* data = text ? reinterpret_cast<const BYTE*>(value.text.c_str())
                                : reinterpret_cast<const BYTE*>(&value.number);
        const DWORD size = text ? static_cast<DWORD>(value.text.size() + 1) : sizeof value.number;
        written = ::RegSetValueExA(key.Get(), value.name.c_str(), 0, value.type, data, size) ==
                      ERROR_SUCCESS &&
                  written;
    }
    return written;
}

}  // namespace

bool Win32ProgramList::Update(const std::string& prefix, const std::vector<ProgramEntry>& entries) {
    ScopedKey list;
    if (!Create(HKEY_CURRENT_USER, std::string(kUninstallKey), list)) {
        return false;
    }
    std::set<std::string> wanted;
    for (const ProgramEntry& entry : entries) {
        wanted.insert(entry.key);
    }
    bool updated = true;
    for (const std::string& name : SubkeysWith(list.Get(), prefix)) {
        if (wanted.count(name) == 0) {
            updated = ::RegDeleteKeyA(list.Get(), name.c_str()) == ERROR_SUCCESS && updated;
        }
    }
    for (const ProgramEntry& entry : entries) {
        updated = Write(list.Get(), entry) && updated;
    }
    return updated;
}

}  // namespace kolvane::platform
