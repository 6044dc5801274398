#pragma once

#include <string>
#include <string_view>

namespace kolvane::names {

// The one rule for letter case in names: two names are the same name when their letters are
// equal after upper-casing, the way Windows compares file names (NTFS through the upcase table
// it keeps on every volume) and registry key and value names (through the same upcase table),
// and the way Wine compares both (through its own copy of that table). One rule serves files
// and registry alike.
//
// The table pairs only letters whose capital and small forms map to each other. Dotted capital
// I (U+0130) and dotless small i (U+0131) fold only to themselves, neither to I nor to i, as in
// NTFS's default upcase table and in Wine's, which drops every case mapping of Unicode that does
// not lead back (ı to I, İ to i). Nor do the long s (U+017F) and the micro sign (U+00B5) fold,
// and the sharp s (U+00DF) has no capital of one letter.

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
