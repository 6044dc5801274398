#pragma once

namespace kolvane::app {

// The arguments of a process command line: what follows the program's own name and the blanks
// after it. A name that begins with a double quote ends after the next double quote (or at the
// end); otherwise it ends before the first character of code 1 to 32.
const char* SkipProgramName(const char* commandLine);

}  // namespace kolvane::app
