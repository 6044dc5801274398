#pragma once

#include <string>
#include <string_view>

namespace kolvane::platform {

enum class LineFeeds { kKept, kShown };

// Windows-1252 text that is safe to write to a terminal: every control character (C0, DEL, and
// the five bytes the code page leaves unassigned, which stand for C1 controls) is shown as \xHH,
// so that names from a package, a registry or a catalogue cannot move the cursor, rewrite the
// screen or set the window's title. Line feeds stay line breaks where the text is made of lines.
inline std::string VisibleText(std::string_view text, LineFeeds lineFeeds) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string visible;
    visible.reserve(text.size());
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        const bool control = byte < 0x20 || byte == 0x7F || byte == 0x81 || byte == 0x8D ||
                             byte == 0x8F || byte == 0x90 || byte == 0x9D;
        if (!control || (c == '\n' && lineFeeds == LineFeeds::kKept)) {
            visible += c;
        } else {
            visible += "\\x";
            visible += kHex[byte >> 4];
            visible += kHex[byte & 0xF];
        }
    }
    return visible;
}

}  // namespace kolvane::platform
