#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/registry.h"

namespace kolvane::platform {

// Whether the text of a Wine registry file (system.reg, user.reg) holds the key
// Software\Classes\Software\Tessaline\HMDX or ...\QZ, that is, names the host. Only key lines
// count, a mention inside a value does not. A quick scan of the key lines rules out a file that
// cannot hold the key; only the keys below Software\Classes\Software\Tessaline are then read.
bool RegistryTextNamesHost(std::string_view text);

// Whether the registry files of the prefix in `directory` name the host; unreadable or missing
// files name nothing.
bool PrefixNamesHost(const std::string& directory);

// Where Wine prefixes are looked for below a home directory, and which of them name the host.
struct PrefixSearch {
    // The places looked at, as the user would write them: folders, with "*" standing for each
    // folder in them, and the files that name further prefixes.
    std::vector<std::string> places;
    // The prefixes whose registry names the host, each once, in the order of the places.
    std::vector<std::string> prefixes;
};

// Looks in the places where Wine, Bottles (also as a Flatpak), Lutris, PlayOnLinux and Steam keep
// their prefixes below `home`: ~/.wine, the bottles, ~/Games/* and the prefixes in Lutris' game
// files, ~/.PlayOnLinux/wineprefix/*, and compatdata/*/pfx of every Steam library. A folder
// counts as a prefix when it holds a system.reg or user.reg. Files that cannot be read or make no
// sense are passed over.
PrefixSearch SearchPrefixes(const std::string& home);

// The registry when no prefix is read: the roots exist, but there are no keys below them.
class EmptyRegistry : public Registry {
  public:
    RegResult OpenKey(RegKey parent, const std::string&, std::uint32_t, RegKey&) override {
        return IsRoot(parent) ? kErrorFileNotFound : kErrorInvalidHandle;
    }
    RegResult QueryValue(RegKey key, const std::string&, std::uint32_t&, std::uint8_t*,
                         std::uint32_t&) override {
        return IsRoot(key) ? kErrorFileNotFound : kErrorInvalidHandle;
    }
    RegResult CloseKey(RegKey key) override {
        return IsRoot(key) ? kErrorSuccess : kErrorInvalidHandle;
    }

  private:
    static bool IsRoot(RegKey key) { return key >= kClassesRoot && key <= kDynData; }
};

// The registry of the prefix in `directory`; an empty registry when there is no prefix.
std::unique_ptr<Registry> OpenPrefixRegistry(const std::string& directory);

}  // namespace kolvane::platform
