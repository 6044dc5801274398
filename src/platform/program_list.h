#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/registry.h"

namespace kolvane::platform {

// The key, below HKEY_CURRENT_USER, of the current user's list of installed programs.
inline constexpr std::string_view kUninstallKey =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall";

// A value of an entry in that list: a text (kRegSz, Windows-1252) or a number (kRegDword).
struct ProgramValue {
    std::string name;
    std::uint32_t type = kRegSz;
    std::string text;
    std::uint32_t number = 0;
    friend bool operator==(const ProgramValue&, const ProgramValue&) = default;
};

// One entry: its key below kUninstallKey and its values.
struct ProgramEntry {
    std::string key;
    std::vector<ProgramValue> values;
    friend bool operator==(const ProgramEntry&, const ProgramEntry&) = default;
};

// The current user's list of installed programs, as far as one program's entries go.
class ProgramList {
  public:
    virtual ~ProgramList() = default;

    // Makes the entries whose keys begin with `prefix` exactly `entries` (whose keys all begin
    // with it): the others of that prefix are removed, each of `entries` holds its values and no
    // other. Entries of other keys stay as they are. False when the list could not be changed as
    // asked.
    virtual bool Update(const std::string& prefix, const std::vector<ProgramEntry>& entries) = 0;
};

}  // namespace kolvane::platform
