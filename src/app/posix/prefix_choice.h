#pragma once

#include <cstdint>
#include <memory>
#include <ostream>
#include <string>

#include "app/posix/answers.h"
#include "app/posix/terminal_text.h"

namespace kolvane::app {

struct PrefixChoiceSettings {
    const char* winePrefix = nullptr;  // the value of WINEPREFIX; null when it is not set
    std::string home;                  // the home directory, below which the search looks
    std::string program;               // the name that starts the program's lines on `err`
    bool nameGivenPrefix = false;      // also name the prefix that WINEPREFIX gives
    std::uint16_t language = 0x0409;   // a Windows language id: the texts' language
    TerminalCharset charset = TerminalCharset::kUtf8;
};

struct PrefixChoice {
    bool quit = false;      // the user quit instead of choosing
    std::string directory;  // the prefix to read the host from; empty: none, so no host
};

// Which Wine prefix the program reads the host from. WINEPREFIX, when set, decides. Otherwise the
// usual places are searched for prefixes whose registry names the host: one is taken and named on
// `err`; of several the user picks one from a numbered list on `out` when `answers` are given (a
// terminal; Quit possible), else they are listed on `err` and none is taken; when none names the
// host, ~/.wine is read, and `err` lists the places searched and how to name a prefix. Of nine
// or fewer a single key chooses; of more, digits are read up to Enter, shown as they are typed,
// Backspace taking the last back. A number that names no prefix asks again. Prefixes the search
// had to pass over (a registry file too large or not made of lines) are named on `err`.
PrefixChoice ChoosePrefix(const PrefixChoiceSettings& settings, AnswerSource* answers,
                          std::ostream& out, std::ostream& err);

// How a terminal program of ours starts: answers from single keys at a terminal, else from lines
// of standard input; the language of the locale; the prefix chosen as ChoosePrefix chooses it,
// with the user asked on standard output only at a terminal.
struct TerminalStart {
    bool interactive = false;
    std::unique_ptr<AnswerSource> answers;
    std::uint16_t language = 0x0409;
    PrefixChoice prefix;
};
TerminalStart StartAtTerminal(const char* program, TerminalCharset charset);

}  // namespace kolvane::app
