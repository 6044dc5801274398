#include "cmdline/cmdline.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace cmdline {

// Constant-initialised, so parameters in other translation units can enrol during their own
// static construction whatever the order of the units.
ParameterListState ParameterList;

std::int32_t MatchCount = 0;
std::int32_t NestingDepth = 0;
ErrorCode LastError = NoError;
std::string PendingText;
const char* UsagePreamble = nullptr;
std::optional<int> RequestedExit;

namespace {

constexpr std::int32_t kNestingLimit = 10;
constexpr std::size_t kMaxWord = 49;  // what fits a 50-character buffer with its NUL
constexpr std::size_t kMaxValue = 128;

void WriteToStandardError(const std::string& text) {
    std::fwrite(text.data(), 1, text.size(), stderr);
    std::fflush(stderr);
}

void ExitWithCode(int code) {
    std::exit(code);
}

NoticeHook noticeHook = WriteToStandardError;
ExitHook exitHook = ExitWithCode;

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}
bool IsSwitchPrefix(char c) {
    return c == '-' || c == '/';
}
bool EndsWord(char c) {
    return c == '\0' || IsBlank(c) || c == '=' || c == '\n';
}
bool EndsValue(char c) {
    return c == '\0' || IsBlank(c) || c == '\n';
}

// Hands one occurrence to its parameter. A failure is shown with the parameter's own text; after
// a request to end the process nothing more is shown and the parse unwinds.
bool RunParse(CommandParameter& parameter, CommandLineCursor& cursor) {
    const bool parsed = parameter.Parse(cursor);
    if (RequestedExit) {
        return false;
    }
    if (!parsed) {
        parameter.ReportError();
        ShowMessage();
        return false;
    }
    return true;
}

// Appends the usage line of every parameter the help argument names; returns how many.
int AppendMatchingLines(std::string_view argument) {
    bool switchesOnly = false;
    if (!argument.empty() && IsSwitchPrefix(argument.front())) {
        argument.remove_prefix(1);
        switchesOnly = true;
    }
    int matches = 0;
    for (CommandParameter* p = ParameterList.first; p != nullptr; p = p->next) {
        if (switchesOnly && (p->flags & Keyword)) {
            continue;
        }
        if (p->Matches(argument)) {
            p->AppendFormatted("@ :");
            AppendText(p->help);
            AppendChar('\n');
            ++matches;
        }
    }
    return matches;
}

// Shows what the help argument asks for; the argument's copy is gone before the process ends.
void ShowHelpFor(CommandParameter& help, CommandLineCursor& cursor) {
    const std::optional<std::string> argument = help.ReadArgument(cursor);
    if (!argument) {
        ShowUsage();
    } else if (AppendMatchingLines(*argument) > 0) {
        ShowMessage();
    } else {
        ShowMessage("help argument did not match any parameters.\n");
    }
}

}  // namespace

// --- parameters -----------------------------------------------------------------------------

CommandParameter::CommandParameter(char name, const char* help, std::uint32_t flags)
    : flags(flags | CharName), help(help) {
    this->name.character = name;
    Enrol();
}

CommandParameter::CommandParameter(const char* name, const char* help, std::uint32_t flags)
    : flags(flags & ~static_cast<std::uint32_t>(CharName)), help(help) {
    this->name.string = name;
    Enrol();
}

void CommandParameter::Enrol() {
    next = nullptr;
    if (ParameterList.first == nullptr) {
        ParameterList.first = this;
    } else {
        ParameterList.last->next = this;
    }
    ParameterList.last = this;
}

std::optional<std::string> CommandParameter::ReadArgument(CommandLineCursor& cursor) {
    if (flags & Positional) {
        return ReadValue(cursor);
    }
    const char c = cursor.Current();
    if (c == '=') {
        ++cursor.pos;
        return ReadValue(cursor);
    }
    if ((flags & OptionalValue) && EndsValue(c)) {
        return std::nullopt;
    }
    SkipBlanks(cursor);
    return ReadValue(cursor);
}

void CommandParameter::Finish(int /*mode*/) {}

void CommandParameter::CheckRequired(int /*mode*/) {
    if (!(flags & Required) || (flags & Seen)) {
        return;
    }
    if (flags & Positional) {
        ShowMessage("error:  too few parameters\n");
    } else {
        AppendFormatted("error:  parameter @ is required\n");
        ShowMessage();
    }
    EndProcess(1);
}

void CommandParameter::ReportError() {
    if (LastError == Repeated) {
        AppendFormatted("parameter @ cannot be specified more than once.\n");
    } else {
        AppendFormatted("parameter @ : undiagnised error\n");
    }
}

void CommandParameter::AppendName() {
    if (!(flags & Keyword)) {
        AppendChar('-');
    }
    if (flags & CharName) {
        AppendChar(name.character);
    } else {
        AppendText(name.string);
    }
}

bool CommandParameter::MarkSeen() {
    if ((flags & Once) && (flags & Seen)) {
        LastError = Repeated;
        return false;
    }
    flags |= Seen;
    return true;
}

bool CommandParameter::Matches(std::string_view argument) const {
    if (flags & CharName) {
        return argument.size() == 1 && argument.front() == name.character;
    }
    return name.string != nullptr && argument == name.string;
}

void CommandParameter::AppendFormatted(const char* format) {
    if (format == nullptr) {
        return;
    }
    for (const char* at; (at = std::strchr(format, '@')) != nullptr; format = at + 1) {
        AppendText(std::string_view(format, static_cast<std::size_t>(at - format)));
        AppendName();
    }
    AppendText(format);
}

SwitchParameter::SwitchParameter(char name, const char* help, std::uint32_t flags)
    : CommandParameter(name, help, flags) {}

SwitchParameter::SwitchParameter(const char* name, const char* help, std::uint32_t flags)
    : CommandParameter(name, help, flags) {}

bool SwitchParameter::Parse(CommandLineCursor& cursor) {
    if (!MarkSeen()) {
        return false;
    }
    switch (cursor.Current()) {
        case '+':
            ++cursor.pos;
            on = true;
            break;
        case '-':
            ++cursor.pos;
            on = false;
            break;
        case '=':
            LastError = ValueOnSwitch;
            return false;
        default:
            on = true;
            break;
    }
    return true;
}

void SwitchParameter::ReportError() {
    if (LastError == ValueOnSwitch) {
        AppendFormatted("use:\n@ or @+ will turn on.\n@- will turn off.\n");
    } else {
        CommandParameter::ReportError();
    }
}

HelpParameter::HelpParameter()
    : CommandParameter('?', "display usage help (argument for help on a particular parameter)",
                       OptionalValue) {}

bool HelpParameter::Parse(CommandLineCursor& cursor) {
    ShowHelpFor(*this, cursor);
    EndProcess(3);
    return true;
}

ValueParameter::ValueParameter(const char* name, const char* help, std::uint32_t flags)
    : CommandParameter(name, help, flags) {}

bool ValueParameter::Parse(CommandLineCursor& cursor) {
    if (!MarkSeen()) {
        return false;
    }
    value = ReadArgument(cursor);
    return true;
}

KeywordParameter::KeywordParameter(const char* name, const char* help, std::uint32_t flags)
    : ValueParameter(name, help, flags | Keyword) {}

PositionalParameter::PositionalParameter(const char* name, const char* help, std::uint32_t flags)
    : ValueParameter(name, help, flags | Positional) {}

// --- parsing --------------------------------------------------------------------------------

bool ParseCommandLine(const char* text, int mode) {
    RequestedExit.reset();
    CommandLineCursor cursor{text != nullptr ? text : ""};
    const bool strict = mode != 1;

    if (!ParseTokens(cursor, mode)) {
        if (strict && !RequestedExit) {
            EndProcess(1);
        }
        return false;
    }
    if (MatchCount == 0) {
        if (strict) {
            ShowUsage();
            EndProcess(1);
        }
        return false;
    }
    for (CommandParameter* p = ParameterList.first; p != nullptr && !RequestedExit; p = p->next) {
        p->Finish(mode);
    }
    for (CommandParameter* p = ParameterList.first; p != nullptr && !RequestedExit; p = p->next) {
        p->CheckRequired(mode);
    }
    return !RequestedExit;
}

bool ParseTokens(CommandLineCursor& cursor, [[maybe_unused]] int mode) {
    if (++NestingDepth >= kNestingLimit) {
        ShowMessage("error: nesting level too deep.\n");
        --NestingDepth;
        return false;
    }
    bool parsed = true;
    for (;;) {
        SkipBlanks(cursor);
        const char c = cursor.Current();
        if (c == '\0') {
            break;
        }
        parsed = IsSwitchPrefix(c) ? ParseSwitchToken(cursor) : ParseWordToken(cursor);
        if (!parsed) {
            break;
        }
    }
    --NestingDepth;
    return parsed;
}

bool ParseSwitchToken(CommandLineCursor& cursor) {
    ++cursor.pos;  // the prefix

    // A cluster of one-character switches, each with its own suffix: -s-t+. The cluster ends at
    // the first character that names none; the token loop goes on from there.
    bool tookLetter = false;
    for (char c = cursor.Current(); c != '\0'; c = cursor.Current()) {
        CommandParameter* parameter = FindCharSwitch(c);
        if (parameter == nullptr) {
            break;
        }
        tookLetter = true;
        ++MatchCount;
        ++cursor.pos;
        if (!RunParse(*parameter, cursor)) {
            return false;
        }
    }
    if (tookLetter) {
        return true;
    }

    const std::string word = ReadWord(cursor);
    if (CommandParameter* parameter = FindNamedSwitch(word)) {
        ++MatchCount;
        return RunParse(*parameter, cursor);
    }
    AppendText("error: switch -");
    AppendText(word);
    ShowMessage("\ninvalid switch.\n");
    return false;
}

bool ParseWordToken(CommandLineCursor& cursor) {
    const std::int32_t start = cursor.pos;
    const std::string word = ReadWord(cursor);

    // An empty word (at a line feed or "=") never names a keyword: the loop would stand still.
    if (!word.empty()) {
        if (CommandParameter* parameter = FindKeyword(word)) {
            ++MatchCount;
            return RunParse(*parameter, cursor);
        }
    }
    cursor.pos = start;
    if (CommandParameter* parameter = FindOpenPositional()) {
        ++MatchCount;
        return RunParse(*parameter, cursor);
    }
    AppendText("bad parameter: ");
    AppendText(word);
    ShowMessage("\n");
    return false;
}

// --- lookups --------------------------------------------------------------------------------

CommandParameter* FindCharSwitch(char name) {
    for (CommandParameter* p = ParameterList.first; p != nullptr; p = p->next) {
        if (!(p->flags & Keyword) && (p->flags & CharName) && p->name.character == name) {
            return p;
        }
    }
    return nullptr;
}

CommandParameter* FindNamedSwitch(std::string_view word) {
    for (CommandParameter* p = ParameterList.first; p != nullptr; p = p->next) {
        if (!(p->flags & (Keyword | CharName)) && p->name.string != nullptr &&
            word == p->name.string) {
            return p;
        }
    }
    return nullptr;
}

CommandParameter* FindKeyword(std::string_view word) {
    for (CommandParameter* p = ParameterList.first; p != nullptr; p = p->next) {
        if ((p->flags & Keyword) && !(p->flags & CharName) && p->name.string != nullptr &&
            word == p->name.string) {
            return p;
        }
    }
    return nullptr;
}

CommandParameter* FindOpenPositional() {
    for (CommandParameter* p = ParameterList.first; p != nullptr; p = p->next) {
        if ((p->flags & Positional) && !(p->flags & Seen)) {
            return p;
        }
    }
    return nullptr;
}

// --- cursor ---------------------------------------------------------------------------------

void SkipBlanks(CommandLineCursor& cursor) {
    while (IsBlank(cursor.Current())) {
        ++cursor.pos;
    }
}

std::string ReadWord(CommandLineCursor& cursor) {
    std::string word;
    while (word.size() < kMaxWord && !EndsWord(cursor.Current())) {
        word.push_back(cursor.Current());
        ++cursor.pos;
    }
    return word;
}

std::string ReadValue(CommandLineCursor& cursor) {
    std::string value;
    const char quote = cursor.Current();
    if (quote == '"' || quote == '\'') {
        ++cursor.pos;
        while (value.size() < kMaxValue && cursor.Current() != '\0' && cursor.Current() != quote) {
            value.push_back(cursor.Current());
            ++cursor.pos;
        }
        // A value cut at its limit leaves even a closing quote in the text.
        if (value.size() < kMaxValue && cursor.Current() == quote) {
            ++cursor.pos;
        }
        return value;
    }
    while (value.size() < kMaxValue && !EndsValue(cursor.Current())) {
        value.push_back(cursor.Current());
        ++cursor.pos;
    }
    return value;
}

// --- notices and the end of the process ---------------------------------------------------

void AppendText(const char* text) {
    if (text != nullptr) {
        PendingText += text;
    }
}

void AppendText(std::string_view text) {
    PendingText += text;
}

void AppendChar(char c) {
    PendingText.push_back(c);
}

void ShowMessage(const char* text) {
    AppendText(text);
    // Taken out first, so that whatever the hook appends starts the next notice.
    std::string notice;
    notice.swap(PendingText);
    noticeHook(notice);
}

void ShowUsage() {
    AppendText(UsagePreamble);
    for (CommandParameter* p = ParameterList.first; p != nullptr; p = p->next) {
        if (!(p->flags & Positional)) {
            p->AppendFormatted("@ :");
            AppendText(p->help);
            AppendChar('\n');
        }
    }
    ShowMessage();
}

void EndProcess(int code) {
    RequestedExit = code;
    exitHook(code);
}

NoticeHook SetNoticeHook(NoticeHook hook) {
    const NoticeHook previous = noticeHook;
    noticeHook = hook != nullptr ? hook : WriteToStandardError;
    return previous;
}

ExitHook SetExitHook(ExitHook hook) {
    const ExitHook previous = exitHook;
    exitHook = hook != nullptr ? hook : ExitWithCode;
    return previous;
}

}  // namespace cmdline
