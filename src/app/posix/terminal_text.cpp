#include "app/posix/terminal_text.h"

#include <langinfo.h>

#include <clocale>
#include <cstdlib>

#include "names/windows_text.h"

namespace kolvane::app {
namespace {

bool IsSet(const char* value) {
    return value != nullptr && *value != '\0';
}

// "UTF-8", "utf8", "ISO-8859-15" and the like, compared without case, '-' and '_'.
std::string Normalised(std::string_view name) {
    std::string out;
    for (char c : name) {
        if (c == '-' || c == '_') {
            continue;
        }
        out += static_cast<char>(c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c);
    }
    return out;
}

TerminalCharset CharsetOfCodeset(std::string_view codeset) {
    const std::string name = Normalised(codeset);
    if (name == "utf8") {
        return TerminalCharset::kUtf8;
    }
    if (name == "iso88591" || name == "iso885915" || name == "latin1" || name == "latin9") {
        return TerminalCharset::kLatin1;
    }
    if (name == "cp1252" || name == "windows1252") {
        return TerminalCharset::kWindows1252;
    }
    return TerminalCharset::kAscii;
}

// How the C locale writes the letters the texts hold beyond ASCII.
std::string_view AsciiSpelling(unsigned char byte) {
    switch (byte) {
        case 0xC4:
            return "Ae";
        case 0xD6:
            return "Oe";
        case 0xDC:
            return "Ue";
        case 0xE4:
            return "ae";
        case 0xF6:
            return "oe";
        case 0xFC:
            return "ue";
        case 0xDF:
            return "ss";
        default:
            return "?";
    }
}

}  // namespace

TerminalCharset CharsetOfLocale(const char* lcAll, const char* lcCtype, const char* lang) {
    const char* setting = IsSet(lcAll) ? lcAll : IsSet(lcCtype) ? lcCtype : lang;
    if (!IsSet(setting)) {
        return TerminalCharset::kAscii;
    }
    const std::string_view value(setting);
    if (value == "C" || value == "POSIX") {
        return TerminalCharset::kAscii;
    }
    const std::size_t dot = value.find('.');
    if (dot == std::string_view::npos) {
        return TerminalCharset::kUtf8;
    }
    const std::string_view codeset = value.substr(dot + 1, value.find('@', dot) - dot - 1);
    return CharsetOfCodeset(codeset);
}

TerminalCharset DetectTerminalCharset() {
    TerminalCharset charset;
    if (std::setlocale(LC_CTYPE, "") != nullptr) {
        charset = CharsetOfCodeset(::nl_langinfo(CODESET));
    } else {
        charset =
            CharsetOfLocale(std::getenv("LC_ALL"), std::getenv("LC_CTYPE"), std::getenv("LANG"));
    }
    std::setlocale(LC_CTYPE, "C");
    return charset;
}

std::string ToTerminal(std::string_view text, TerminalCharset charset) {
    switch (charset) {
        case TerminalCharset::kUtf8:
            return names::Windows1252ToUtf8(text);
        case TerminalCharset::kWindows1252:
            return std::string(text);
        case TerminalCharset::kLatin1:
        case TerminalCharset::kAscii:
            break;
    }
    std::string out;
    for (char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x80 || (charset == TerminalCharset::kLatin1 && byte >= 0xA0)) {
            out += c;
        } else {
            out += AsciiSpelling(byte);
        }
    }
    return out;
}

std::string FromTerminal(std::string_view text, TerminalCharset charset) {
    if (charset == TerminalCharset::kUtf8) {
        return names::Utf8ToWindows1252(text);
    }
    return std::string(text);
}

std::string WithoutMnemonic(std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '&' && i + 1 < text.size()) {
            ++i;
        }
        out += text[i];
    }
    return out;
}

}  // namespace kolvane::app
