#pragma once

#include <optional>
#include <string_view>

namespace kolvane {

// The two sides of a section entry: the text before and after its first ">>". Any further ">>"
// belongs to the right side.
struct EntryParts {
    std::string_view left;
    std::string_view right;
};

inline constexpr std::string_view kEntrySeparator = ">>";

// None for an entry without ">>", which both sections skip.
inline std::optional<EntryParts> SplitEntry(std::string_view entry) {
    const std::size_t separator = entry.find(kEntrySeparator);
    if (separator == std::string_view::npos) {
        return std::nullopt;
    }
    return EntryParts{entry.substr(0, separator), entry.substr(separator + kEntrySeparator.size())};
}

}  // namespace kolvane
