#pragma once

// A small, self-contained command-line parameter library.
//
// Every parameter is a static object that enrols itself in `ParameterList` while static objects
// are constructed. At start-up the program hands the text of its command line (without its own
// name, see command_tail.h) to `ParseCommandLine` once. The library walks the text, gives every
// recognised occurrence to its parameter, and reports problems and help texts as notices.
//
// Notices and the end of the process go through two hooks, so that each program can show them
// its own way and tests can observe them:
//
//   - The notice hook receives the complete text of one notice ("cmdl" is its caption; line feeds
//     are its line breaks) and returns when the user has acknowledged it. The default writes the
//     text to standard error. The Windows program installs a MessageBoxA hook (no owner, caption
//     "cmdl", MB_ICONINFORMATION); the native program a terminal hook.
//   - The exit hook receives the exit code (1 for a failed strict parse or a missing required
//     parameter, 3 after help output). The default is std::exit.
//
// An exit hook may return (a test or a fuzzer that must not end): the library then records the
// code in `RequestedExit`, stops parsing at once without further notices, and `ParseCommandLine`
// returns false. Nothing is left pending and the nesting depth is back at 0.
//
// The library is single-threaded and keeps its state in globals, as static parameters require.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace cmdline {

// Parameter flags; the declaring code passes them to the constructors.
enum Flags : std::uint32_t {
    Keyword = 0x0001,        // named without a switch prefix (name=value)
    Required = 0x0004,       // must have been given
    Once = 0x0010,           // may be given at most once
    CharName = 0x0400,       // the name is one character, otherwise a string
    Positional = 0x0800,     // takes a word that names no keyword parameter, in list order
    Seen = 0x1000,           // occurred on the command line
    OptionalValue = 0x2000,  // the argument must follow the name directly or after '='
};

// Why the last `Parse` failed.
enum ErrorCode : std::int32_t {
    NoError = 0,
    Repeated = 2,       // a Once parameter given again
    ValueOnSwitch = 3,  // "=" after an on/off switch
};

// The parse position: `text` is NUL-terminated and not owned; `pos` indexes the current character.
struct CommandLineCursor {
    const char* text;
    std::int32_t pos = 0;

    char Current() const { return text[pos]; }
};

// A command-line parameter. Every parameter is a static object that enrols itself in the
// library-wide list when it is constructed; parameters are never removed from it.
class CommandParameter {
  public:
    CommandParameter(char name, const char* help, std::uint32_t flags);
    CommandParameter(const CommandParameter&) = delete;
    CommandParameter& operator=(const CommandParameter&) = delete;

    // The argument after the parameter's name (for a positional parameter: its word), as an
    // owned copy, or none when an optional argument is absent.
    virtual std::optional<std::string> ReadArgument(CommandLineCursor& cursor);
    // Takes one occurrence, the cursor right after the name. Every implementation calls
    // MarkSeen, so that Required and Positional work. False makes the parse fail with
    // ReportError's text.
    virtual bool Parse(CommandLineCursor& cursor) = 0;
    // Called on every parameter after a successful parse.
    virtual void Finish(int mode);
    // Ends the process with code 1 when a Required parameter was not given.
    virtual void CheckRequired(int mode);
    // Appends the text for a failed Parse to PendingText.
    virtual void ReportError();
    // Appends the display name: "-" unless Keyword, then the name.
    virtual void AppendName();

    // Sets Seen; false (LastError = Repeated) when a Once parameter was already seen.
    bool MarkSeen();
    // Whether a help argument names this parameter (case-sensitive, whole name).
    bool Matches(std::string_view argument) const;
    // Appends `format` to PendingText with every "@" replaced by the display name.
    void AppendFormatted(const char* format);

    CommandParameter* next = nullptr;
    union {
        char character;      // with CharName
        const char* string;  // without CharName
    } name;
    std::uint32_t flags;
    const char* help;

  protected:
    // For parameters with a string name (flags without CharName).
    CommandParameter(const char* name, const char* help, std::uint32_t flags);
    // Parameters live until the process ends and are never deleted through this class.
    ~CommandParameter() = default;

  private:
    void Enrol();
};

// The list of all parameters, in construction order.
struct ParameterListState {
    CommandParameter* first = nullptr;
    CommandParameter* last = nullptr;
};
extern ParameterListState ParameterList;

// An on/off switch: -s, -s+ and -s- (or /s ...). Several one-character switches may share one
// prefix (-s-t+). A switch with a string name is typed -name.
class SwitchParameter : public CommandParameter {
  public:
    SwitchParameter(char name, const char* help, std::uint32_t flags);
    SwitchParameter(const char* name, const char* help, std::uint32_t flags);

    bool Parse(CommandLineCursor& cursor) override;
    void ReportError() override;

    bool on = false;
};

// The help parameter -? with an optional argument naming the parameter to explain. It shows the
// usage text or the named parameters' lines and ends the process with code 3.
class HelpParameter : public CommandParameter {
  public:
    HelpParameter();

    bool Parse(CommandLineCursor& cursor) override;
};

// A parameter with a string name that carries a value; see KeywordParameter and
// PositionalParameter. The last occurrence's value wins.
class ValueParameter : public CommandParameter {
  public:
    bool Parse(CommandLineCursor& cursor) override;

    std::optional<std::string> value;  // none until given, or when an optional value was absent

  protected:
    ValueParameter(const char* name, const char* help, std::uint32_t flags);
};

// name=value, or name value; with OptionalValue only name=value or a bare name.
class KeywordParameter : public ValueParameter {
  public:
    KeywordParameter(const char* name, const char* help, std::uint32_t flags);
};

// Takes the next word that names no keyword; positional parameters fill in list order.
class PositionalParameter : public ValueParameter {
  public:
    PositionalParameter(const char* name, const char* help, std::uint32_t flags);
};

// Library-wide state. The counters are never reset by the library: one parse per process.
extern std::int32_t MatchCount;    // recognised parameter occurrences
extern std::int32_t NestingDepth;  // active ParseTokens calls
extern ErrorCode LastError;
extern std::string PendingText;           // the text of the next notice
extern const char* UsagePreamble;         // text before the usage lines; none when null
extern std::optional<int> RequestedExit;  // set when the library asked to end the process

// Parses `text` (null counts as empty). Mode 1 is lenient: an empty line or a failed parse
// returns false. Any other mode is strict: a failed parse ends the process with code 1, and a
// line with nothing recognised shows the usage text and ends it with code 1. Help output ends
// the process with code 3, a missing required parameter with code 1, in every mode.
bool ParseCommandLine(const char* text, int mode);

// The token loop, also for parameters that parse nested tokens. Fails beyond nine nested loops.
bool ParseTokens(CommandLineCursor& cursor, int mode);
// A token starting with "-" or "/": a cluster of one-character switches, or a named switch.
bool ParseSwitchToken(CommandLineCursor& cursor);
// A token without prefix: a keyword, or else the next open positional parameter.
bool ParseWordToken(CommandLineCursor& cursor);

// Lookups in list order; null when nothing matches.
CommandParameter* FindCharSwitch(char name);
CommandParameter* FindNamedSwitch(std::string_view word);
CommandParameter* FindKeyword(std::string_view word);
CommandParameter* FindOpenPositional();

// Cursor operations. Blanks are space and tab; a line feed ends words and unquoted values.
void SkipBlanks(CommandLineCursor& cursor);
// At most 49 characters up to NUL, blank, "=" or line feed; a longer word leaves its rest.
std::string ReadWord(CommandLineCursor& cursor);
// Quoted ('...' or "...") or up to NUL, blank or line feed; at most 128 characters.
std::string ReadValue(CommandLineCursor& cursor);

// Notice text.
void AppendText(const char* text);  // null appends nothing
void AppendText(std::string_view text);
void AppendChar(char c);
// Appends `text` (if any), hands PendingText to the notice hook and clears it.
void ShowMessage(const char* text = nullptr);
// The preamble, then "<name> :<help>" for every parameter except positional ones, as one notice.
void ShowUsage();
// Records `code` in RequestedExit and calls the exit hook.
void EndProcess(int code);

using NoticeHook = void (*)(const std::string& text);
using ExitHook = void (*)(int code);
// Install a hook and return the one it replaces; null restores the default.
NoticeHook SetNoticeHook(NoticeHook hook);
ExitHook SetExitHook(ExitHook hook);

}  // namespace cmdline
