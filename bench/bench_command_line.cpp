// Command line: parse time of command lines of valid switch clusters, 1,000 to 100,000 tokens,
// against a plain scan of the same text. The time per token must stay the same (linear).

#include <string>

#include "app/program_parameters.h"
#include "bench_util.h"
#include "cmdline/cmdline.h"
#include "cmdline/testing.h"

namespace {

using kolvane::bench::Median;

void Quiet(const std::string&) {}

std::string MakeLine(int tokens) {
    const char* clusters[] = {"-s", "/s+", "-s-", "-ss", "-s-s+", "/s-s"};
    std::string line;
    for (int i = 0; i < tokens; ++i) {
        line += clusters[i % 6];
        line += i % 7 == 0 ? '\t' : ' ';
    }
    return line;
}

}  // namespace

int main() {
    cmdline::SetNoticeHook(Quiet);
    std::printf("Command line (median of %d runs), valid switch clusters\n",
                kolvane::bench::kRepetitions);
    double firstPerToken = 0;
    for (int tokens : {1'000, 10'000, 100'000}) {
        const std::string line = MakeLine(tokens);
        const double scan = Median([&] {
            volatile std::size_t blanks = 0;
            for (char c : line) {
                blanks = blanks + (c == ' ' || c == '\t');
            }
        });
        const double parse = Median([&] {
            cmdline::testing::ResetState();
            if (!cmdline::ParseCommandLine(line.c_str(), 1) || !kolvane::SilentSwitch.on) {
                kolvane::bench::Fail("bench_command_line", "the line did not parse");
            }
        });
        const double perToken = parse / tokens;
        if (firstPerToken == 0) {
            firstPerToken = perToken;
        }
        std::printf(
            "  %7d tokens: scan %8.3f ms, parse %8.3f ms (%6.1f x the scan), %6.1f ns "
            "a token (%4.2f x the 1,000-token line)\n",
            tokens, scan * 1e3, parse * 1e3, parse / scan, perToken * 1e9,
            perToken / firstPerToken);
    }
    return 0;
}
