#include "textures/catalog_text.h"

#include <cstdint>

namespace kolvane::catalog {
namespace {

constexpr std::string_view kEntryStart = "Textur{";
constexpr std::string_view kKeyPrefix = "id(";

bool IsWhitespace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

std::string_view SeparatorAfter(char last) {
    switch (last) {
        case ')':
        case '{':
            return "\t";
        case '}':
            return "\n\t\t";
        default:
            return {};
    }
}

// The first occurrence of the key of the largest identifier k with 1 <= k < `identifier` whose
// key occurs at all; none when there is no such k. One pass over the text replaces the search
// for n - 1, n - 2, ... down to 1: every occurrence of "id(" followed by a positive decimal
// without leading zero and ")" is the key of exactly that number, and the first occurrence of
// the largest number below the limit is the one the step-down would stop at.
Position FirstKeyBelow(std::string_view text, int identifier) {
    const std::int64_t limit = static_cast<std::int64_t>(identifier) - 1;
    std::int64_t best = 0;
    Position bestAt = kNone;
    for (Position at = text.find(kKeyPrefix); at != kNone;
         at = text.find(kKeyPrefix, at + kKeyPrefix.size())) {
        Position p = at + kKeyPrefix.size();
        if (p >= text.size() || !IsDigit(text[p]) || text[p] == '0') {
            continue;
        }
        std::int64_t value = 0;
        for (; p < text.size() && IsDigit(text[p]); ++p) {
            if (value <= limit) {  // beyond the limit the exact value no longer matters
                value = value * 10 + (text[p] - '0');
            }
        }
        if (p >= text.size() || text[p] != ')' || value > limit || value <= best) {
            continue;
        }
        best = value;
        bestAt = at;
        if (value == limit) {
            break;  // nothing nearer exists, and nothing earlier was skipped
        }
    }
    return bestAt;
}

}  // namespace

std::string CanonicalLayout(std::string_view text) {
    std::string laidOut;
    laidOut.reserve(text.size() + text.size() / 8);
    Position p = 0;
    while (p < text.size()) {
        while (p < text.size() && IsWhitespace(text[p])) {
            ++p;
        }
        const Position start = p;
        while (p < text.size() && !IsWhitespace(text[p])) {
            ++p;
        }
        if (p > start) {
            laidOut.append(text.substr(start, p - start));
            laidOut.append(SeparatorAfter(text[p - 1]));
        }
    }
    return laidOut;
}

std::string WithCrLf(std::string_view text) {
    std::string bytes;
    bytes.reserve(text.size() + text.size() / 16);
    Position from = 0;
    for (Position lf = text.find('\n'); lf != kNone; lf = text.find('\n', from)) {
        bytes.append(text.substr(from, lf - from));
        bytes.append("\r\n");
        from = lf + 1;
    }
    bytes.append(text.substr(from));
    return bytes;
}

std::string IdentifierKey(int identifier) {
    return std::string(kKeyPrefix) + std::to_string(identifier) + ")";
}

Position FindBlockEnd(std::string_view text, Position from) {
    if (from >= text.size()) {
        return kNone;
    }
    const Position open = text.find('{', from);
    if (open == kNone) {
        return kNone;
    }
    std::size_t depth = 1;
    for (Position p = text.find_first_of("{}", open + 1); p != kNone;
         p = text.find_first_of("{}", p + 1)) {
        if (text[p] == '{') {
            ++depth;
        } else if (--depth == 0) {
            return p;
        }
    }
    return kNone;
}

bool RemoveTexture(std::string& text, int identifier) {
    const Position key = text.find(IdentifierKey(identifier));
    if (key == kNone) {
        return false;
    }
    const Position start = text.rfind(kEntryStart, key);
    if (start == kNone) {
        return false;
    }
    const Position end = FindBlockEnd(text, start);
    if (end == kNone) {
        return false;
    }
    text.erase(start, end - start + 1);
    return true;
}

Position FindInsertPosition(std::string_view text, int identifier) {
    if (identifier > 1) {
        const Position key = FirstKeyBelow(text, identifier);
        if (key != kNone) {
            const Position open = text.rfind('{', key);
            if (open == kNone) {
                return 0;
            }
            const Position end = FindBlockEnd(text, open);
            if (end != kNone) {
                return end + 1;
            }
            // An unclosed block is no block: fall back to the place for the lowest identifiers.
        }
    }
    const Position first = text.find('{');
    return first == kNone ? 0 : first + 1;
}

Placement AddTexture(std::string& text, int identifier, std::string_view definition) {
    Placement placement;
    placement.replaced = RemoveTexture(text, identifier);
    placement.position = FindInsertPosition(text, identifier);
    text.insert(placement.position, definition);
    return placement;
}

}  // namespace kolvane::catalog
