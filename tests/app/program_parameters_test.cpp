// The program's own command line: exactly -s and -? enrolled, in that order, parsed leniently
// (mode 1) as start-up does.

#include "app/program_parameters.h"

#include <string>
#include <vector>

#include "parse_fixture.h"

namespace cmdline::test {
namespace {

using kolvane::HelpSwitch;
using kolvane::SilentSwitch;

const std::string kSilentLine =
    "-s :Silent: No request about skipping installation just doing default\n";
const std::string kHelpLine =
    "-? :display usage help (argument for help on a particular parameter)\n";
const std::string kUsage = kSilentLine + kHelpLine;
const std::string kNoMatch = "help argument did not match any parameters.\n";

TEST(ProgramParametersTest, SilentThenHelpAreTheOnlyParameters) {
    ASSERT_EQ(ParameterList.first, &SilentSwitch);
    ASSERT_EQ(SilentSwitch.next, &HelpSwitch);
    EXPECT_EQ(HelpSwitch.next, nullptr);
    EXPECT_EQ(ParameterList.last, &HelpSwitch);

    EXPECT_EQ(SilentSwitch.name.character, 's');
    EXPECT_EQ(SilentSwitch.flags, CharName);
    EXPECT_STREQ(SilentSwitch.help,
                 "Silent: No request about skipping installation just doing default");
    EXPECT_EQ(HelpSwitch.name.character, '?');
    EXPECT_EQ(HelpSwitch.flags, CharName | OptionalValue);
    EXPECT_STREQ(HelpSwitch.help,
                 "display usage help (argument for help on a particular parameter)");
}

struct Case {
    std::string line;
    bool result;
    bool on;
    std::vector<std::string> notices;
    std::vector<int> exits;
    int matches;
};

class ProgramParseTest : public ParseTest {
  protected:
    void Check(const std::vector<Case>& cases) {
        for (const Case& c : cases) {
            SCOPED_TRACE("command line \"" + c.line + "\"");
            Restart();
            EXPECT_EQ(ParseCommandLine(c.line.c_str(), 1), c.result);
            EXPECT_EQ(SilentSwitch.on, c.on);
            EXPECT_EQ(Notices(), c.notices);
            EXPECT_EQ(Exits(), c.exits);
            EXPECT_EQ(MatchCount, c.matches);
            EXPECT_EQ(PendingText, "");
            EXPECT_EQ(NestingDepth, 0);
        }
    }
};

TEST_F(ProgramParseTest, EmptyLinesShowNothingAndFail) {
    Check({
        {"", false, false, {}, {}, 0},
        {"   ", false, false, {}, {}, 0},
        {" \t \t", false, false, {}, {}, 0},
    });
    EXPECT_FALSE(ParseCommandLine(nullptr, 1));
    EXPECT_TRUE(Notices().empty());
}

TEST_F(ProgramParseTest, SilentSwitchSuffixesAndRepetitions) {
    Check({
        {"-s", true, true, {}, {}, 1},
        {"/s", true, true, {}, {}, 1},
        {"  -s  ", true, true, {}, {}, 1},
        {"-s-", true, false, {}, {}, 1},
        {"-s+", true, true, {}, {}, 1},
        {"-s -s-", true, false, {}, {}, 2},
        {"-s- -s", true, true, {}, {}, 2},
        {"-ss", true, true, {}, {}, 2},
        {"-s-s+", true, true, {}, {}, 2},
        {"-s+s-", true, false, {}, {}, 2},
        {"/s-/s", true, true, {}, {}, 2},
        {"-s\t-s-", true, false, {}, {}, 2},
    });
}

TEST_F(ProgramParseTest, LineFeedIsNoBlank) {
    Check({
        {"-s\n-s-", false, true, {"bad parameter: \n"}, {}, 1},
        {"\n-s", false, false, {"bad parameter: \n"}, {}, 0},
    });
}

TEST_F(ProgramParseTest, ValueOnTheSwitchShowsItsUseAndLeavesItOff) {
    const std::string use = "use:\n-s or -s+ will turn on.\n-s- will turn off.\n";
    Check({
        {"-s=x", false, false, {use}, {}, 1},
        {"-s- -s=", false, false, {use}, {}, 2},
    });
}

TEST_F(ProgramParseTest, UnknownSwitchesAndWords) {
    const std::string longWord(60, 'W');
    Check({
        {"-S", false, false, {"error: switch -S\ninvalid switch.\n"}, {}, 0},
        {"-Silent", false, false, {"error: switch -Silent\ninvalid switch.\n"}, {}, 0},
        {"/Silent", false, false, {"error: switch -Silent\ninvalid switch.\n"}, {}, 0},
        {"-", false, false, {"error: switch -\ninvalid switch.\n"}, {}, 0},
        {"- -s", false, false, {"error: switch -\ninvalid switch.\n"}, {}, 0},
        {"-x=1", false, false, {"error: switch -x\ninvalid switch.\n"}, {}, 0},
        {"-" + longWord,
         false,
         false,
         {"error: switch -" + longWord.substr(0, 49) + "\ninvalid switch.\n"},
         {},
         0},
        {"x", false, false, {"bad parameter: x\n"}, {}, 0},
        {"-s x -s-", false, true, {"bad parameter: x\n"}, {}, 1},
        // The s is taken; the rest of the word starts a token of its own.
        {"-silent", false, true, {"bad parameter: ilent\n"}, {}, 1},
    });
}

TEST_F(ProgramParseTest, HelpShowsUsageAndEndsWithThree) {
    Check({
        {"-?", false, false, {kUsage}, {3}, 1},
        {"/?", false, false, {kUsage}, {3}, 1},
        {"-? s", false, false, {kUsage}, {3}, 1},
        {"-?\ts", false, false, {kUsage}, {3}, 1},
        {"-s?", false, true, {kUsage}, {3}, 2},
        // Nothing after the help is parsed.
        {"-? -s", false, false, {kUsage}, {3}, 1},
    });
}

TEST_F(ProgramParseTest, HelpArgumentPicksItsLines) {
    Check({
        {"-?s", false, false, {kSilentLine}, {3}, 1},
        {"-?=s", false, false, {kSilentLine}, {3}, 1},
        {"-?-s", false, false, {kSilentLine}, {3}, 1},
        {"-?/s", false, false, {kSilentLine}, {3}, 1},
        {"-?'s'", false, false, {kSilentLine}, {3}, 1},
        {"-?\"s\"", false, false, {kSilentLine}, {3}, 1},
        {"-??", false, false, {kHelpLine}, {3}, 1},
        {"-?-?", false, false, {kHelpLine}, {3}, 1},
        {"-?x", false, false, {kNoMatch}, {3}, 1},
        {"-?silent", false, false, {kNoMatch}, {3}, 1},
        {"-?S", false, false, {kNoMatch}, {3}, 1},
        {"-?=", false, false, {kNoMatch}, {3}, 1},
        {"-?=\"\"", false, false, {kNoMatch}, {3}, 1},
        {"-?-", false, false, {kNoMatch}, {3}, 1},
    });
}

TEST_F(ProgramParseTest, StrictModeEndsOnEmptyOrFailedLines) {
    struct StrictCase {
        const char* line;
        std::vector<std::string> notices;
        std::vector<int> exits;
        bool result;
    };
    const StrictCase cases[] = {
        {"", {kUsage}, {1}, false},
        {" ", {kUsage}, {1}, false},
        {"x", {"bad parameter: x\n"}, {1}, false},
        {"-s=", {"use:\n-s or -s+ will turn on.\n-s- will turn off.\n"}, {1}, false},
        {"-?", {kUsage}, {3}, false},  // help ends with its own code, not a second one
        {"-s", {}, {}, true},
    };
    for (int mode : {0, 2}) {
        for (const StrictCase& c : cases) {
            SCOPED_TRACE(std::string("mode ") + std::to_string(mode) + ", line \"" + c.line + "\"");
            Restart();
            EXPECT_EQ(ParseCommandLine(c.line, mode), c.result);
            EXPECT_EQ(Notices(), c.notices);
            EXPECT_EQ(Exits(), c.exits);
            EXPECT_EQ(RequestedExit.has_value(), !c.exits.empty());
        }
    }
}

// The default hooks, for real: the notice reaches standard error and the process ends.
TEST(ProgramDefaultHooksDeathTest, HelpWritesUsageToStandardErrorAndExitsWithThree) {
    testing::ResetState();
    EXPECT_EXIT(
        {
            SetNoticeHook(nullptr);
            SetExitHook(nullptr);
            ParseCommandLine("-?", 1);
        },
        ::testing::ExitedWithCode(3), "-s :Silent: No request.*\n-\\? :display usage help");
}

TEST(ProgramDefaultHooksDeathTest, StrictFailureExitsWithOne) {
    testing::ResetState();
    EXPECT_EXIT(
        {
            SetNoticeHook(nullptr);
            SetExitHook(nullptr);
            ParseCommandLine("x", 2);
        },
        ::testing::ExitedWithCode(1), "bad parameter: x");
}

}  // namespace
}  // namespace cmdline::test
