#include "cmdline/command_tail.h"

namespace cmdline {

const char* CommandTail(const char* commandLine) {
    if (commandLine == nullptr) {
        return "";
    }
    // Unsigned, so that characters of code 128 and above compare as name characters.
    auto code = [&commandLine] { return static_cast<unsigned char>(*commandLine); };

    if (code() == '"') {
        ++commandLine;
        while (code() != '\0' && code() != '"') {
            ++commandLine;
        }
        if (code() == '"') {
            ++commandLine;
        }
    } else {
        while (code() > ' ') {
            ++commandLine;
        }
    }
    while (code() != '\0' && code() <= ' ') {
        ++commandLine;
    }
    return commandLine;
}

}  // namespace cmdline
