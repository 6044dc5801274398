#include "app/posix/command_line.h"

namespace kolvane::app {

std::string CommandLineText(int argc, const char* const* argv, TerminalCharset charset) {
    std::string text;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = FromTerminal(argv[i], charset);
        if (!text.empty() || i > 1) {
            text += ' ';
        }
        const bool quote = argument.find_first_of(" \t") != std::string::npos &&
                           argument.find('"') == std::string::npos;
        text += quote ? "\"" + argument + "\"" : argument;
    }
    return text;
}

}  // namespace kolvane::app
