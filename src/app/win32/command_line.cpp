#include "app/win32/command_line.h"

namespace kolvane::app {
namespace {

// Codes 128 and above belong to names: the comparison is on unsigned characters.
bool IsBlankOrControl(char c) {
    const auto code = static_cast<unsigned char>(c);
    return code != 0 && code <= ' ';
}

}  // namespace

const char* SkipProgramName(const char* commandLine) {
    const char* p = commandLine;
    if (*p == '"') {
        ++p;
        while (*p != '\0' && *p != '"') {
            ++p;
        }
        if (*p == '"') {
            ++p;
        }
    } else {
        while (*p != '\0' && !IsBlankOrControl(*p)) {
            ++p;
        }
    }
    while (IsBlankOrControl(*p)) {
        ++p;
    }
    return p;
}

}  // namespace kolvane::app
