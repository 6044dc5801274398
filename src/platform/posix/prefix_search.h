#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/registry.h"

namespace kolvane::platform {

// What the search reads of a registry file at most. A line of a registry file that Wine wrote is
// at most a key line (up to 512 levels of names of up to 255 characters: under 1 MiB even with
// every character escaped) or a value of one line: binary,
// number and multi-string values are written in lines of about 80 characters continued with a
// backslash, and only a string value stands on one line. Such a value of 1 MB, the most the
// registry's standard format holds, with every character written as Wine's longest escape
// (\xNNNN, six bytes for two), fills 3 MiB: no line of a real registry file comes near 4 MiB.
inline constexpr std::size_t kLongestRegistryLine = std::size_t{4} << 20;
// A prefix's system.reg holds a few MB, some tens of MB after many programs were installed into
// it: none comes near 256 MiB, which the search passes over in a fraction of a second.
inline constexpr std::uint64_t kLargestRegistryFile = std::uint64_t{256} << 20;

// Whether the text of a Wine registry file (system.reg, user.reg) holds the key
// Software\Classes\Software\Tessaline\HMDX or ...\QZ, that is, names the host. Only key lines
// count, a mention inside a value does not, and only the key lines of the host's own keys are
// read by the registry reader. False for a text with a line longer than kLongestRegistryLine.
bool RegistryTextNamesHost(std::string_view text);

// What the registry files of a prefix say of the host. kPassedOver: a file larger than
// kLargestRegistryFile or with a line longer than kLongestRegistryLine, which no registry that
// Wine wrote holds; it is not read further. Unreadable or missing files name nothing.
enum class PrefixRegistry { kNamesHost, kNoHost, kPassedOver };
PrefixRegistry ReadPrefixRegistry(const std::string& directory);
bool PrefixNamesHost(const std::string& directory);

// Where Wine prefixes are looked for below a home directory, and which of them name the host.
struct PrefixSearch {
    // The places looked at, as the user would write them: folders, with "*" standing for each
    // folder in them, and the files that name further prefixes.
    std::vector<std::string> places;
    // The prefixes whose registry names the host, each once, in the order of the places.
    std::vector<std::string> prefixes;
    // The prefixes passed over because a registry file is no registry Wine wrote (too large, or a
    // line too long).
    std::vector<std::string> passedOver;
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
