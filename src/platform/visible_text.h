#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "names/windows_text.h"

namespace kolvane::platform {

enum class LineFeeds { kKept, kShown };

// The one rule for what a terminal is shown: a control character (C0, DEL and C1) or a byte that
// is no character of its text's encoding is written as \xHH, byte by byte, so that names from a
// package, a registry, a catalogue or the file system cannot move the cursor, rewrite the screen
// or set the window's title. Line feeds stay line breaks where the text is made of lines.
constexpr bool IsControlCharacter(char32_t c) {
    return c < 0x20 || (c >= 0x7F && c <= 0x9F);
}

namespace visible_text_detail {

inline void AppendEscaped(std::string& out, std::string_view bytes) {
    static constexpr char kHex[] = "0123456789abcdef";
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        out += "\\x";
        out += kHex[byte >> 4];
        out += kHex[byte & 0xF];
    }
}

inline bool Kept(char32_t c, LineFeeds lineFeeds) {
    return !IsControlCharacter(c) || (c == '\n' && lineFeeds == LineFeeds::kKept);
}

}  // namespace visible_text_detail

// Windows-1252 text. The five bytes the code page leaves unassigned stand for the C1 controls
// of the same value, as Windows reads them.
inline std::string VisibleText(std::string_view text, LineFeeds lineFeeds) {
    std::string visible;
    visible.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char32_t c = names::Windows1252ToUtf16(static_cast<unsigned char>(text[i]));
        if (visible_text_detail::Kept(c, lineFeeds)) {
            visible += text[i];
        } else {
            visible_text_detail::AppendEscaped(visible, text.substr(i, 1));
        }
    }
    return visible;
}

// UTF-8 text, such as a name on the Linux file system: a byte that starts no valid character is
// escaped like a control character, and so are all the bytes of a control character.
inline std::string VisibleUtf8Text(std::string_view text, LineFeeds lineFeeds) {
    std::string visible;
    visible.reserve(text.size());
    for (std::size_t pos = 0; pos < text.size();) {
        const std::size_t start = pos;
        const std::optional<char32_t> c = names::DecodeUtf8(text, pos);
        const std::string_view bytes = text.substr(start, pos - start);
        if (c && visible_text_detail::Kept(*c, lineFeeds)) {
            visible += bytes;
        } else {
            visible_text_detail::AppendEscaped(visible, bytes);
        }
    }
    return visible;
}

}  // namespace kolvane::platform
