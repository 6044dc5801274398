#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace kolvane::platform {

// Windows-1252, the code page of the core's texts, against Unicode. The five bytes the code page
// leaves undefined (0x81, 0x8D, 0x8F, 0x90, 0x9D) stand for the control characters of the same
// number, as Windows and Wine map them, so every byte survives a round trip.

char16_t Windows1252ToUtf16(unsigned char byte);

// The byte for one UTF-16 code unit, or none when the code page lacks the character.
std::optional<unsigned char> Utf16ToWindows1252(char16_t unit);

// Appends the UTF-8 form of the code point `code`.
void AppendUtf8(std::string& out, char32_t code);

std::string Windows1252ToUtf8(std::string_view text);

// Characters the code page lacks, and bytes that are not valid UTF-8, become '?', as the Windows
// conversion to an ANSI code page makes them.
std::string Utf8ToWindows1252(std::string_view text);

}  // namespace kolvane::platform
