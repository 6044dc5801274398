#pragma once

namespace cmdline {

// The text of a process command line after the program's own name, as a pointer into the same
// text (null counts as empty). A name that begins with a double quote ends after the next double
// quote, or at the end without one; an unquoted name ends before the first character of code 32 or
// less (codes of 128 and above belong to the name). The characters of code 1 to 32 that follow
// the name are skipped as well.
const char* CommandTail(const char* commandLine);

}  // namespace cmdline
