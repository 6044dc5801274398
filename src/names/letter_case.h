#pragma once

#include <string>
#include <string_view>

namespace kolvane::names {

// The one rule for letter case in names: two names are the same name when their letters are
// equal after upper-casing, the way Windows and Wine compare file names (NTFS keeps an upcase
// table on every volume; Wine's ntdll uses the same table) and registry key and value names
// (the registry upcases with the same table, so one rule serves both).
//
// The table pairs only letters whose capital and small forms map to each other. Windows drops
// the one-way mappings of Unicode from it, and so does this: dotted capital I (U+0130) and
// dotless small i (U+0131) fold only to themselves, neither to I nor to i; nor do the long s
// (U+017F), the micro sign (U+00B5) or the sharp s (U+00DF), which has no single capital.

// The capital of a UTF-16 unit, or the unit itself.
char16_t UpperCase(char16_t unit);

// The capital of a Windows-1252 byte, when the code page has it; otherwise the byte itself.
char FoldCase(char byte);
std::string FoldCase(std::string_view windows1252);
std::u16string FoldCase(std::u16string_view utf16);

// Whether two Windows-1252 names are the same name.
bool EqualsIgnoringCase(std::string_view a, std::string_view b);

// Whether two UTF-8 names (as a Linux file system holds them) are the same name. Bytes that are
// not valid UTF-8 must match exactly.
bool Utf8EqualsIgnoringCase(std::string_view a, std::string_view b);

}  // namespace kolvane::names
