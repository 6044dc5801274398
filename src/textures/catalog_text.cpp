#include "textures/catalog_text.h"

#include <array>

namespace kolvane::catalog {
namespace {

constexpr std::string_view kKeyPrefix = "id(";

// A table, because loading tests every byte of the catalogue.
constexpr auto kWhitespace = [] {
    std::array<bool, 256> table{};
    for (unsigned char c : {' ', '\t', '\n', '\v', '\f', '\r'}) {
        table[c] = true;
    }
    return table;
}();

bool IsWhitespace(char c) {
    return kWhitespace[static_cast<unsigned char>(c)];
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

}  // namespace kolvane::catalog
