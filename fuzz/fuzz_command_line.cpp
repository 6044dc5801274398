// Arbitrary text as the command line after the program's name, parsed in the lenient mode the
// programs use and in strict mode. Notices are swallowed and the exit hook returns, so the
// library has to carry on safely.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "app/program_parameters.h"
#include "cmdline/cmdline.h"
#include "cmdline/command_tail.h"
#include "cmdline/testing.h"

namespace {

void SwallowNotice(const std::string&) {}
void KeepRunning(int) {}

void ParseOnce(const std::string& text, int mode) {
    cmdline::testing::ResetState();
    cmdline::ParseCommandLine(text.c_str(), mode);
    // Every path shows its text before it returns; nothing is left over for the next notice.
    if (!cmdline::PendingText.empty() || cmdline::NestingDepth != 0) {
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    cmdline::SetNoticeHook(SwallowNotice);
    cmdline::SetExitHook(KeepRunning);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // The text stops at the first NUL, as a C string does.
    const std::string text(reinterpret_cast<const char*>(data), size);
    const std::string line = text.c_str();
    ParseOnce(line, 1);
    ParseOnce(line, 0);
    ParseOnce(cmdline::CommandTail(line.c_str()), 1);
    (void)kolvane::SilentSwitch.on;
    return 0;
}
