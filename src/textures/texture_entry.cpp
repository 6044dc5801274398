#include "textures/texture_entry.h"

#include <algorithm>
#include <cstdint>
#include <limits>

namespace kolvane::catalog {

int ParseIdentifier(std::string_view text) {
    std::size_t p = 0;
    while (p < text.size() && (text[p] == ' ' || (text[p] >= '\t' && text[p] <= '\r'))) {
        ++p;
    }
    bool negative = false;
    if (p < text.size() && (text[p] == '+' || text[p] == '-')) {
        negative = text[p] == '-';
        ++p;
    }
    // Counted as a magnitude one past the largest int, which is the most that either sign needs.
    constexpr std::int64_t kCeiling = std::int64_t{std::numeric_limits<int>::max()} + 1;
    std::int64_t magnitude = 0;
    for (; p < text.size() && text[p] >= '0' && text[p] <= '9'; ++p) {
        magnitude = std::min(magnitude * 10 + (text[p] - '0'), kCeiling);
    }
    if (negative) {
        return static_cast<int>(-magnitude);
    }
    return static_cast<int>(std::min(magnitude, kCeiling - 1));
}

std::string LayOutDefinition(std::string_view definition) {
    std::string laidOut;
    laidOut.reserve(definition.size() * 2);
    for (char c : definition) {
        laidOut += c;
        if (c == ')' || c == '{') {
            laidOut += '\t';
        } else if (c == '}') {
            laidOut += "\n\t\t";
        }
    }
    return laidOut;
}

}  // namespace kolvane::catalog
