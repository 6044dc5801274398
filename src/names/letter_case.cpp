#include "names/letter_case.h"

#include <algorithm>
#include <array>
#include <optional>

#include "names/windows_text.h"

namespace kolvane::names {
namespace {

// Small letters and the distance to their capitals. `step` 2 marks a block where capital and
// small letter alternate, the small one at `first`, `first` + 2, ...
struct CaseRow {
    char16_t first;
    char16_t last;
    char16_t step;
    int toCapital;
};

// The Latin rows are those of NTFS's default upcase table and of Wine's: every letter of
// Windows-1252 with a case partner (ƒ has its capital outside the code page) and the rest of
// Latin Extended-A. The Greek and Cyrillic rows keep the basic alphabets, where the tables of
// Windows versions differ in detail (final ς, ѐ, ѝ). Letters of other scripts fold to themselves
// here: every name the installer looks up is Windows-1252, and no letter outside these rows has
// a capital or small form inside the code page.
constexpr CaseRow kCaseRows[] = {
    {u'a', u'z', 1, -0x20},      // a to z
    {0x00E0, 0x00F6, 1, -0x20},  // à to ö (not ÷)
    {0x00F8, 0x00FE, 1, -0x20},  // ø to þ
    {0x00FF, 0x00FF, 1, 0x79},   // ÿ, Ÿ
    {0x0101, 0x012F, 2, -1},     // ā to į
    {0x0133, 0x0137, 2, -1},     // ĳ to ķ (İ and ı are no pair)
    {0x013A, 0x0148, 2, -1},     // ĺ to ň
    {0x014B, 0x0177, 2, -1},     // ŋ to ŷ, with œ and š
    {0x017A, 0x017E, 2, -1},     // ź to ž
    {0x0192, 0x0192, 1, -1},     // ƒ, Ƒ
    {0x03B1, 0x03C1, 1, -0x20},  // α to ρ
    {0x03C3, 0x03CB, 1, -0x20},  // σ to ϋ
    {0x0430, 0x044F, 1, -0x20},  // а to я
    {0x0450, 0x045F, 1, -0x50},  // ѐ to џ
};

// All 256 bytes through the table, once.
const std::array<char, 256>& ByteCapitals() {
    static const std::array<char, 256> capitals = [] {
        std::array<char, 256> table{};
        for (int byte = 0; byte < 256; ++byte) {
            const char16_t capital =
                UpperCase(Windows1252ToUtf16(static_cast<unsigned char>(byte)));
            const std::optional<unsigned char> inCodePage = Utf16ToWindows1252(capital);
            table[byte] = static_cast<char>(inCodePage ? *inCodePage : byte);
        }
        return table;
    }();
    return capitals;
}

// A value no code point has, for a byte that starts no valid UTF-8 character.
constexpr char32_t kNotUtf8 = 0x110000;

char32_t FoldedCharacter(std::string_view text, std::size_t& pos) {
    const auto lead = static_cast<unsigned char>(text[pos]);
    const std::optional<char32_t> c = DecodeUtf8(text, pos);
    if (!c) {
        return kNotUtf8 + lead;
    }
    return *c <= 0xFFFF ? UpperCase(static_cast<char16_t>(*c)) : *c;
}

}  // namespace

char16_t UpperCase(char16_t unit) {
    if (unit < u'a') {
        return unit;
    }
    for (const CaseRow& row : kCaseRows) {
        if (unit >= row.first && unit <= row.last && (unit - row.first) % row.step == 0) {
            return static_cast<char16_t>(unit + row.toCapital);
        }
    }
    return unit;
}

char FoldCase(char byte) {
    return ByteCapitals()[static_cast<unsigned char>(byte)];
}

std::string FoldCase(std::string_view windows1252) {
    std::string folded(windows1252);
    for (char& c : folded) {
        c = FoldCase(c);
    }
    return folded;
}

std::u16string FoldCase(std::u16string_view utf16) {
    std::u16string folded(utf16);
    for (char16_t& unit : folded) {
        unit = UpperCase(unit);
    }
    return folded;
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return FoldCase(x) == FoldCase(y);
           });
}

bool Utf8EqualsIgnoringCase(std::string_view a, std::string_view b) {
    // Both forms of every letter in the table take the same number of bytes, so names of
    // different lengths differ; this spares decoding most of a large directory.
    if (a.size() != b.size()) {
        return false;
    }
    std::size_t i = 0;
    std::size_t j = 0;
    while (i < a.size() && j < b.size()) {
        if (FoldedCharacter(a, i) != FoldedCharacter(b, j)) {
            return false;
        }
    }
    return i == a.size() && j == b.size();
}

}  // namespace kolvane::names
