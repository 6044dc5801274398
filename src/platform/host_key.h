#pragma once

#include <string_view>

#include "platform/registry.h"

namespace kolvane::platform {

// Where the host registers itself: HKEY_CLASSES_ROOT\Software\Tessaline\<product>, one key level
// a name, with the product HMDX or, second, QZ.
inline constexpr RegKey kHostRoot = kClassesRoot;
inline constexpr const char* kHostMakerKeys[] = {"Software", "Tessaline"};
inline constexpr const char* kHostProducts[] = {"HMDX", "QZ"};

// The maker's key as a Wine prefix's system.reg names it: HKEY_CLASSES_ROOT is the branch
// Software\Classes of HKEY_LOCAL_MACHINE.
inline constexpr std::u16string_view kHostMakerKeyInMachine =
    u"Software\\Classes\\Software\\Tessaline";

namespace host_key_detail {

// True when `path` is Software\Classes followed by the maker's key names, one backslash apart.
constexpr bool SpellsMakerKey(std::u16string_view path) {
    std::u16string_view rest = path;
    const auto take = [&rest](std::string_view name) {
        if (rest.size() < name.size()) {
            return false;
        }
        for (std::size_t i = 0; i < name.size(); ++i) {
            if (rest[i] != static_cast<char16_t>(name[i])) {
                return false;
            }
        }
        rest.remove_prefix(name.size());
        return true;
    };
    const auto separator = [&rest] {
        if (rest.empty() || rest.front() != u'\\') {
            return false;
        }
        rest.remove_prefix(1);
        return true;
    };
    if (!take("Software") || !separator() || !take("Classes")) {
        return false;
    }
    for (const char* name : kHostMakerKeys) {
        if (!separator() || !take(name)) {
            return false;
        }
    }
    return rest.empty();
}

}  // namespace host_key_detail

static_assert(host_key_detail::SpellsMakerKey(kHostMakerKeyInMachine),
              "the Wine spelling names the same key as the key names");

}  // namespace kolvane::platform
