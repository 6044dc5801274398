#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace kolvane::platform {

// Windows-1252 bytes as UTF-8. The five bytes the code page leaves unassigned (0x81, 0x8D,
// 0x8F, 0x90, 0x9D) become the control characters of the same value, as on Windows.
std::string Windows1252ToUtf8(std::string_view text);

// UTF-8 as Windows-1252. Characters the code page lacks, and bytes that are not valid UTF-8,
// become '?', as the Windows conversion to an ANSI code page makes them.
std::string Utf8ToWindows1252(std::string_view text);

// One byte as its UTF-16 code unit, and back: none for a unit the code page lacks.
char16_t Windows1252ToUtf16(unsigned char byte);
std::optional<unsigned char> Utf16ToWindows1252(char16_t unit);

// Whether two UTF-8 file names are the same name to Windows: equal apart from the case of the
// letters Windows-1252 can write. Bytes that are not valid UTF-8 must match exactly.
bool SameNameIgnoringCase(std::string_view a, std::string_view b);

}  // namespace kolvane::platform
