#include "textures/catalog_text.h"

#include <array>
#include <cstdint>
#include <limits>
#include <utility>

namespace kolvane::catalog {
namespace {

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

void LayoutBuilder::Append(std::string_view piece) {
    Position p = 0;
    while (p < piece.size()) {
        const Position blank = p;
        while (p < piece.size() && IsWhitespace(piece[p])) {
            ++p;
        }
        if (p > blank && inWord_) {
            laidOut_.append(SeparatorAfter(last_));
            inWord_ = false;
        }
        const Position start = p;
        while (p < piece.size() && !IsWhitespace(piece[p])) {
            ++p;
        }
        if (p > start) {
            laidOut_.append(piece.substr(start, p - start));
            last_ = piece[p - 1];
            inWord_ = true;
        }
    }
}

std::string LayoutBuilder::Finish() {
    if (inWord_) {
        laidOut_.append(SeparatorAfter(last_));
        inWord_ = false;
    }
    return std::move(laidOut_);
}

std::string CanonicalLayout(std::string_view text) {
    LayoutBuilder layout(text.size());
    layout.Append(text);
    return layout.Finish();
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

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

std::optional<int> KeyAfterPrefix(std::string_view afterPrefix) {
    std::size_t p = 0;
    const bool negative = p < afterPrefix.size() && afterPrefix[p] == '-';
    p += negative ? 1 : 0;
    if (p >= afterPrefix.size() || !IsDigit(afterPrefix[p])) {
        return std::nullopt;
    }
    if (afterPrefix[p] == '0') {  // only "0" itself starts with a zero
        const bool zero = !negative && p + 1 < afterPrefix.size() && afterPrefix[p + 1] == ')';
        return zero ? std::optional<int>(0) : std::nullopt;
    }
    std::int64_t value = 0;
    std::size_t digits = 0;
    for (; p < afterPrefix.size() && IsDigit(afterPrefix[p]) && digits <= 10; ++p, ++digits) {
        value = value * 10 + (afterPrefix[p] - '0');
    }
    value = negative ? -value : value;
    if (digits > 10 || p >= afterPrefix.size() || afterPrefix[p] != ')' ||
        value < std::numeric_limits<int>::min() || value > std::numeric_limits<int>::max()) {
        return std::nullopt;
    }
    return static_cast<int>(value);
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
