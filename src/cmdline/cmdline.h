#pragma once

#include <cstdint>

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

// A command-line parameter. Every parameter is a static object that enrols itself in the
// library-wide list when it is constructed; parameters are never removed from it.
class CommandParameter {
  public:
    CommandParameter(char name, const char* help, std::uint32_t flags);
    CommandParameter(const CommandParameter&) = delete;
    CommandParameter& operator=(const CommandParameter&) = delete;

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

// An on/off switch named by one character: -s, -s+ and -s- (or /s ...).
class SwitchParameter : public CommandParameter {
  public:
    SwitchParameter(char name, const char* help, std::uint32_t flags);

    bool on = false;
};

// The help parameter -? with an optional argument naming the parameter to explain.
class HelpParameter : public CommandParameter {
  public:
    HelpParameter();
};

}  // namespace cmdline
