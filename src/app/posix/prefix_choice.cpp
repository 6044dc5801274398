#include "app/posix/prefix_choice.h"

#include <unistd.h>

#include <cstdlib>
#include <iostream>
#include <optional>
#include <string_view>
#include <vector>

#include "messages/messages.h"
#include "names/windows_text.h"
#include "platform/posix/posix_system.h"
#include "platform/posix/prefix_search.h"
#include "platform/posix/wine_prefix.h"
#include "platform/visible_text.h"

namespace kolvane::app {
namespace {

// The texts, in Windows-1252; each goes after "<program>: " or stands on its own line.
struct PrefixTexts {
    std::string_view prefix;  // + the prefix + foundEnd, passedOverEnd or " (WINEPREFIX)"
    std::string_view foundEnd;
    std::string_view passedOverEnd;
    std::string_view none;     // + places, one a line
    std::string_view nameOne;  // + an example line
    std::string_view several;  // + prefixes, one a line
    std::string_view which;    // + numbered prefixes
    std::string_view number;   // the caption of the numbers' button
};
constexpr PrefixTexts kEnglish{
    "Wine prefix ",
    " (found; set WINEPREFIX for another)",
    " passed over: a registry file in it is larger than any Wine writes, or has a longer line",
    "No Wine prefix found whose registry holds Software\\Classes\\Software\\Tessaline\\HMDX "
    "or ...\\QZ. Searched:",
    "Name the prefix in WINEPREFIX, as in:",
    "Several Wine prefixes hold Halmdor, Pellimar 2 or Brannock; name the one to use in "
    "WINEPREFIX:",
    "Several Wine prefixes hold Halmdor, Pellimar 2 or Brannock. Which one?",
    "Number",
};
constexpr PrefixTexts kGerman{
    "Wine-Pr\xE4"
    "fix ",
    " (gefunden; WINEPREFIX w\xE4hlt ein anderes)",
    " \xFC"
    "bergangen: eine Registry-Datei darin ist gr\xF6\xDF"
    "er als jede, die Wine schreibt, oder hat eine l\xE4ngere Zeile",
    "Kein Wine-Pr\xE4"
    "fix gefunden, dessen Registry Software\\Classes\\Software\\Tessaline\\HMDX oder "
    "...\\QZ enth\xE4lt. Durchsucht:",
    "Das Pr\xE4"
    "fix in WINEPREFIX nennen, etwa:",
    "Mehrere Wine-Pr\xE4"
    "fixe enthalten Halmdor, Pellimar 2 oder Brannock; das gew\xFCnschte in WINEPREFIX nennen:",
    "Mehrere Wine-Pr\xE4"
    "fixe enthalten Halmdor, Pellimar 2 oder Brannock. Welches?",
    "Nummer",
};

bool IsBackspace(std::string_view key) {
    return key == "\x7f" || key == "\b";
}

class PrefixTalk {
  public:
    PrefixTalk(const PrefixChoiceSettings& settings, std::ostream& out, std::ostream& err)
        : settings_(settings),
          language_(LanguageOf(settings.language)),
          texts_(InLanguage(language_, kGerman, kEnglish)),
          out_(out),
          err_(err) {}

    const PrefixTexts& Texts() const { return texts_; }

    // "<program>: <text>" on standard error, `path` after it when given.
    void Note(std::string_view text, std::string_view path = {}, std::string_view end = {}) {
        err_ << settings_.program << ": " << Terminal(text) << Path(path) << Terminal(end) << '\n';
    }
    // An indented line on standard error.
    void Listed(std::string_view path) { err_ << "  " << Path(path) << '\n'; }

    // Asks on `out` which of `prefixes` to take, until a number or Quit is answered.
    std::optional<std::size_t> Ask(const std::vector<std::string>& prefixes,
                                   AnswerSource& answers) {
        out_ << Terminal(texts_.which) << '\n';
        for (std::size_t i = 0; i < prefixes.size(); ++i) {
            out_ << "  " << i + 1 << ": " << Path(prefixes[i]) << '\n';
        }
        const char* quit = MessageText(LocalizedId(language_, kMsgQuitButton));
        for (;;) {
            out_ << "[ " << Terminal(texts_.number) << ": 1-" << prefixes.size() << " ]  [ "
                 << Terminal(quit) << ": q ]\n> " << std::flush;
            const std::optional<std::string> number = ReadNumber(answers, prefixes.size() > 9);
            out_ << std::endl;
            if (!number) {
                return std::nullopt;
            }
            const std::size_t chosen = Number(*number);
            if (chosen >= 1 && chosen <= prefixes.size()) {
                return chosen - 1;
            }
        }
    }

  private:
    // One answer, echoed: a line, or a single key; with `digitsToEnter`, keys that are digits
    // gather up to Enter, and Backspace takes the last back. None for Quit: q, Escape or the end
    // of input.
    std::optional<std::string> ReadNumber(AnswerSource& answers, bool digitsToEnter) {
        std::string typed;
        for (;;) {
            const std::optional<std::string> answer = answers.Next();
            if (!answer || *answer == "\x1b" || *answer == "q" || *answer == "Q") {
                return std::nullopt;
            }
            const bool digit = answer->size() == 1 && (*answer)[0] >= '0' && (*answer)[0] <= '9';
            if (!digitsToEnter || (!digit && !IsBackspace(*answer) && typed.empty())) {
                out_ << Echo(*answer);
                return answer;
            }
            if (answer->empty()) {
                return typed;
            }
            if (digit) {
                typed += *answer;
                out_ << *answer << std::flush;
            } else if (IsBackspace(*answer) && !typed.empty()) {
                typed.pop_back();
                out_ << "\b \b" << std::flush;
            }
        }
    }

    std::string Echo(std::string_view answer) const {
        return Terminal(platform::VisibleText(FromTerminal(answer, settings_.charset),
                                              platform::LineFeeds::kShown));
    }

    static std::size_t Number(std::string_view text) {
        std::size_t number = 0;
        for (char c : text) {
            if (c < '0' || c > '9' || number > 1000) {
                return 0;
            }
            number = number * 10 + static_cast<std::size_t>(c - '0');
        }
        return number;
    }

    std::string Terminal(std::string_view windows1252) const {
        return ToTerminal(windows1252, settings_.charset);
    }

    // A host path (UTF-8 names) for the terminal.
    std::string Path(std::string_view path) const {
        const std::string shown = platform::VisibleUtf8Text(path, platform::LineFeeds::kShown);
        return settings_.charset == TerminalCharset::kUtf8
                   ? shown
                   : Terminal(names::Utf8ToWindows1252(shown));
    }

    const PrefixChoiceSettings& settings_;
    Language language_;
    const PrefixTexts& texts_;
    std::ostream& out_;
    std::ostream& err_;
};

}  // namespace

PrefixChoice ChoosePrefix(const PrefixChoiceSettings& settings, AnswerSource* answers,
                          std::ostream& out, std::ostream& err) {
    PrefixTalk talk(settings, out, err);
    const PrefixTexts& texts = talk.Texts();
    if (settings.winePrefix != nullptr && *settings.winePrefix != '\0') {
        if (settings.nameGivenPrefix) {
            talk.Note(texts.prefix, settings.winePrefix, " (WINEPREFIX)");
        }
        return {false, settings.winePrefix};
    }

    const platform::PrefixSearch search = platform::SearchPrefixes(settings.home);
    for (const std::string& prefix : search.passedOver) {
        talk.Note(texts.prefix, prefix, texts.passedOverEnd);
    }
    if (search.prefixes.size() == 1) {
        talk.Note(texts.prefix, search.prefixes.front(), texts.foundEnd);
        return {false, search.prefixes.front()};
    }
    if (search.prefixes.empty()) {
        talk.Note(texts.none);
        for (const std::string& place : search.places) {
            talk.Listed(place);
        }
        talk.Note(texts.nameOne);
        talk.Listed("WINEPREFIX=\"$HOME/path/to/prefix\" " + settings.program);
        return {false, platform::WinePrefixDirectory(nullptr, settings.home.c_str())};
    }
    if (answers == nullptr) {
        talk.Note(texts.several);
        for (const std::string& prefix : search.prefixes) {
            talk.Listed(prefix);
        }
        return {false, {}};
    }
    const std::optional<std::size_t> chosen = talk.Ask(search.prefixes, *answers);
    return chosen ? PrefixChoice{false, search.prefixes[*chosen]} : PrefixChoice{true, {}};
}

TerminalStart StartAtTerminal(const char* program, TerminalCharset charset) {
    TerminalStart start;
    start.interactive = ::isatty(STDIN_FILENO) == 1 && ::isatty(STDOUT_FILENO) == 1;
    start.answers = MakeAnswers(start.interactive);
    start.language = platform::LanguageOfLocale(std::getenv("LC_ALL"), std::getenv("LC_MESSAGES"),
                                                std::getenv("LANG"));
    start.prefix =
        ChoosePrefix({std::getenv("WINEPREFIX"), platform::HomeDirectory(std::getenv("HOME")),
                      program, false, start.language, charset},
                     start.interactive ? start.answers.get() : nullptr, std::cout, std::cerr);
    return start;
}

}  // namespace kolvane::app
