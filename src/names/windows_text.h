#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace kolvane::names {

// The character at `text[pos]` (pos < text.size()), with `pos` moved past it. None, with `pos`
// moved one byte on, for a byte that starts no valid UTF-8 character: Windows' conversion
// rejects surrogates, overlong forms and values beyond U+10FFFF, and so does this.
std::optional<char32_t> DecodeUtf8(std::string_view text, std::size_t& pos);

// A code point as UTF-16 code units: one, or a surrogate pair beyond U+FFFF.
void AppendUtf16(std::u16string& out, char32_t c);

// Windows-1252 bytes as UTF-8. The five bytes the code page leaves unassigned (0x81, 0x8D,
// 0x8F, 0x90, 0x9D) become the control characters of the same value, as on Windows.
std::string Windows1252ToUtf8(std::string_view text);

// UTF-8 as Windows-1252. Characters the code page lacks, and bytes that are not valid UTF-8,
// become '?', as the Windows conversion to an ANSI code page makes them.
std::string Utf8ToWindows1252(std::string_view text);

// One byte as its UTF-16 code unit, and back: none for a unit the code page lacks.
char16_t Windows1252ToUtf16(unsigned char byte);
std::u16string Windows1252ToUtf16(std::string_view text);
std::optional<unsigned char> Utf16ToWindows1252(char16_t unit);

}  // namespace kolvane::names
