#pragma once

#include <string>

#include "app/posix/terminal_text.h"

namespace kolvane::app {

// The command line after the program's name, as the Windows program receives it: the arguments
// in Windows-1252, separated by one blank, those holding blanks in double quotes.
std::string CommandLineText(int argc, const char* const* argv, TerminalCharset charset);

}  // namespace kolvane::app
