#pragma once

#include <string>
#include <string_view>

namespace kolvane::app {

// The character sets a terminal may expect.
enum class TerminalCharset {
    kUtf8,
    kLatin1,       // ISO-8859-1 and -15: the Windows-1252 letters above 0x9F are the same bytes
    kWindows1252,  // the core's own bytes
    kAscii,        // the C locale: umlauts written out (ae, oe, ue, ss)
};

// The character set a locale name asks for ("de_DE.UTF-8", "en_US.ISO-8859-1", "C"); the first
// of the three values that is set and not empty decides, and a locale without a character set
// part is taken as UTF-8 unless it is "C" or "POSIX".
TerminalCharset CharsetOfLocale(const char* lcAll, const char* lcCtype, const char* lang);

// The character set of the terminal the program runs in: the locale's, as the C library sees it
// when it knows the locale, else as CharsetOfLocale reads the environment. Leaves the process in
// the "C" locale, where the core's byte handling does not depend on the environment.
TerminalCharset DetectTerminalCharset();

// Windows-1252 text as the terminal shows it.
std::string ToTerminal(std::string_view text, TerminalCharset charset);

// Text typed at the terminal or given on the command line, in Windows-1252.
std::string FromTerminal(std::string_view text, TerminalCharset charset);

// A menu or button text without its mnemonic marks: "Inf&o" -> "Info", "&&" -> "&".
std::string WithoutMnemonic(std::string_view text);

}  // namespace kolvane::app
