// The library's general paths, with parameters of every kind declared for these tests.

#include "cmdline/cmdline.h"

#include <string>
#include <vector>

#include "parse_fixture.h"

namespace cmdline::test {
namespace {

// Parses nested tokens from where it stands, as a parameter that opens a group would.
class GroupParameter : public CommandParameter {
  public:
    GroupParameter() : CommandParameter('(', "group", 0) {}

    bool Parse(CommandLineCursor& cursor) override { return MarkSeen() && ParseTokens(cursor, 1); }
};

// Declared in one translation unit: this is the list order.
SwitchParameter OnceSwitch('o', "once only", Once);
SwitchParameter VerboseSwitch("verbose", "talk more", 0);
GroupParameter Group;
KeywordParameter Level("level", "how much", Once);
KeywordParameter Mark("mark", "optional value", OptionalValue);
PositionalParameter Source("source", "where from", 0);
PositionalParameter Target("target", "where to", 0);
HelpParameter Help;

const std::string kUsage =
    "-o :once only\n"
    "-verbose :talk more\n"
    "-( :group\n"
    "level :how much\n"
    "mark :optional value\n"
    "-? :display usage help (argument for help on a particular parameter)\n";

// Sets flags on a declared parameter for one test and takes them back afterwards.
class ScopedFlags {
  public:
    ScopedFlags(CommandParameter& parameter, std::uint32_t added)
        : parameter_(parameter), saved_(parameter.flags) {
        parameter_.flags |= added;
    }
    ~ScopedFlags() { parameter_.flags = saved_; }
    ScopedFlags(const ScopedFlags&) = delete;
    ScopedFlags& operator=(const ScopedFlags&) = delete;

  private:
    CommandParameter& parameter_;
    std::uint32_t saved_;
};

// One parse and everything it shows.
struct Outcome {
    bool result;
    std::vector<std::string> notices;
    std::vector<int> exits;
};

class LibraryParseTest : public ParseTest {
  protected:
    static Outcome Parse(const std::string& line, int mode = 1) {
        Restart();
        const bool result = ParseCommandLine(line.c_str(), mode);
        EXPECT_EQ(PendingText, "");
        EXPECT_EQ(NestingDepth, 0);
        return {result, Notices(), Exits()};
    }
};

TEST_F(LibraryParseTest, EnrolmentKeepsDeclarationOrderAndFlags) {
    const std::vector<CommandParameter*> expected = {&OnceSwitch, &VerboseSwitch, &Group,  &Level,
                                                     &Mark,       &Source,        &Target, &Help};
    std::vector<CommandParameter*> listed;
    for (CommandParameter* p = ParameterList.first; p != nullptr; p = p->next) {
        listed.push_back(p);
    }
    EXPECT_EQ(listed, expected);
    EXPECT_EQ(ParameterList.last, &Help);

    EXPECT_EQ(OnceSwitch.flags, Once | CharName);
    EXPECT_EQ(VerboseSwitch.flags, 0u);
    EXPECT_EQ(Level.flags, Keyword | Once);
    EXPECT_EQ(Source.flags, Positional);
}

TEST_F(LibraryParseTest, LookupsHonourTheirFlags) {
    EXPECT_EQ(FindCharSwitch('o'), &OnceSwitch);
    EXPECT_EQ(FindCharSwitch('?'), &Help);
    EXPECT_EQ(FindCharSwitch('v'), nullptr);
    EXPECT_EQ(FindNamedSwitch("verbose"), &VerboseSwitch);
    EXPECT_EQ(FindNamedSwitch("level"), nullptr);  // a keyword is no switch
    EXPECT_EQ(FindNamedSwitch("o"), nullptr);      // nor is a one-character name a string
    EXPECT_EQ(FindNamedSwitch("verbos"), nullptr);
    EXPECT_EQ(FindNamedSwitch("Verbose"), nullptr);
    EXPECT_EQ(FindKeyword("level"), &Level);
    EXPECT_EQ(FindKeyword("verbose"), nullptr);
    EXPECT_EQ(FindKeyword("levels"), nullptr);
    EXPECT_EQ(FindOpenPositional(), &Source);
    Source.flags |= Seen;
    EXPECT_EQ(FindOpenPositional(), &Target);
    Target.flags |= Seen;
    EXPECT_EQ(FindOpenPositional(), nullptr);
}

TEST_F(LibraryParseTest, ReadArgumentByKindOfParameter) {
    struct Case {
        CommandParameter* parameter;
        const char* text;  // what follows the name
        std::optional<std::string> argument;
        const char* rest;
    };
    const Case cases[] = {
        {&Source, "a=b c", "a=b", " c"},  // positional: the word itself
        {&Source, "'x y'", "x y", ""},
        {&Level, "=3 x", "3", " x"},
        {&Level, "= 3", "", " 3"},  // no blanks skipped after "="
        {&Level, "  3 x", "3", " x"},
        {&Level, "\t'a b'", "a b", ""},
        {&Level, "", "", ""},
        {&Level, "\n3", "", "\n3"},
        {&Mark, " x", std::nullopt, " x"},  // optional: a blank means none
        {&Mark, "\tx", std::nullopt, "\tx"},
        {&Mark, "\nx", std::nullopt, "\nx"},
        {&Mark, "", std::nullopt, ""},
        {&Mark, "=x", "x", ""},
        {&Mark, "x y", "x", " y"},
        {&Help, "s", "s", ""},
        {&Help, "'s' t", "s", " t"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        CommandLineCursor cursor{c.text};
        EXPECT_EQ(c.parameter->ReadArgument(cursor), c.argument);
        EXPECT_STREQ(cursor.text + cursor.pos, c.rest);
    }
}

TEST_F(LibraryParseTest, NamedSwitch) {
    EXPECT_TRUE(Parse("-verbose").result);
    EXPECT_TRUE(VerboseSwitch.on);
    EXPECT_EQ(MatchCount, 1);

    EXPECT_TRUE(Parse("/verbose -o").result);
    EXPECT_TRUE(VerboseSwitch.on);
    EXPECT_TRUE(OnceSwitch.on);

    // The word runs up to "=", so the switch sees the value and refuses it.
    const Outcome valued = Parse("-verbose=1");
    EXPECT_FALSE(valued.result);
    EXPECT_EQ(valued.notices, std::vector<std::string>{"use:\n-verbose or -verbose+ will turn "
                                                       "on.\n-verbose- will turn off.\n"});
    EXPECT_FALSE(VerboseSwitch.on);

    // A suffix belongs to the word.
    EXPECT_EQ(Parse("-verbose-").notices,
              std::vector<std::string>{"error: switch -verbose-\ninvalid switch.\n"});
    // One-character switches are looked for first: -o is taken, "verbose" is a word.
    const Outcome cluster = Parse("-overbose");
    EXPECT_TRUE(cluster.result);
    EXPECT_TRUE(OnceSwitch.on);
    EXPECT_FALSE(VerboseSwitch.on);
    EXPECT_EQ(Source.value, "verbose");
}

TEST_F(LibraryParseTest, OnceParametersRefuseARepetition) {
    const std::vector<std::string> onceText = {
        "parameter -o cannot be specified more than once.\n"};
    for (const char* line : {"-o -o", "-oo", "-o+o-", "/o -o"}) {
        SCOPED_TRACE(line);
        const Outcome outcome = Parse(line);
        EXPECT_FALSE(outcome.result);
        EXPECT_EQ(outcome.notices, onceText);
        EXPECT_EQ(LastError, Repeated);
        EXPECT_TRUE(OnceSwitch.on);  // the second occurrence changes nothing
    }
    // A keyword's display name has no "-"; the refused repetition fails the parse.
    const Outcome keyword = Parse("level=1 level=2 x");
    EXPECT_FALSE(keyword.result);
    EXPECT_EQ(keyword.notices,
              std::vector<std::string>{"parameter level cannot be specified more than once.\n"});
    EXPECT_EQ(Level.value, "1");
    EXPECT_EQ(Source.value, std::nullopt);
}

TEST_F(LibraryParseTest, KeywordValues) {
    struct Case {
        const char* line;
        std::optional<std::string> level;
        std::optional<std::string> mark;
        std::optional<std::string> source;
    };
    const Case cases[] = {
        {"level=3", "3", {}, {}},
        {"level 3", "3", {}, {}},  // a required value may follow after blanks
        {"level \t 3", "3", {}, {}},
        {"level=", "", {}, {}},
        {"level= 3", "", {}, "3"},  // no blanks are skipped after "="
        {"level='a b'", "a b", {}, {}},
        {"level=a=b", "a=b", {}, {}},
        {"level", "", {}, {}},
        {"mark", {}, {}, {}},
        {"mark=x", {}, "x", {}},
        {"mark x", {}, {}, "x"},       // an optional value follows directly or not at all
        {"mark mark=y", {}, "y", {}},  // the last occurrence wins
        {"Level=3", {}, {}, "Level=3"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        EXPECT_TRUE(Parse(c.line).result);
        EXPECT_EQ(Level.value, c.level);
        EXPECT_EQ(Mark.value, c.mark);
        EXPECT_EQ(Source.value, c.source);
    }
    EXPECT_TRUE(Parse("mark").result);
    EXPECT_TRUE(Mark.flags & Seen);
}

TEST_F(LibraryParseTest, PositionalParametersFillInListOrder) {
    EXPECT_TRUE(Parse("a b").result);
    EXPECT_EQ(Source.value, "a");
    EXPECT_EQ(Target.value, "b");
    EXPECT_EQ(MatchCount, 2);

    EXPECT_TRUE(Parse("'a b' level=1 \"c\td\"").result);
    EXPECT_EQ(Source.value, "a b");
    EXPECT_EQ(Target.value, "c\td");

    EXPECT_TRUE(Parse("x=y").result);
    EXPECT_EQ(Source.value, "x=y");

    const Outcome third = Parse("a b c");
    EXPECT_FALSE(third.result);
    EXPECT_EQ(third.notices, std::vector<std::string>{"bad parameter: c\n"});

    // At a line feed both positional parameters take an empty value before the word fails.
    const Outcome lineFeed = Parse("\nx");
    EXPECT_FALSE(lineFeed.result);
    EXPECT_EQ(lineFeed.notices, std::vector<std::string>{"bad parameter: \n"});
    EXPECT_EQ(Source.value, "");
    EXPECT_EQ(Target.value, "");
}

TEST_F(LibraryParseTest, HelpForEveryKindOfParameter) {
    struct Case {
        const char* line;
        std::string shown;
    };
    const Case cases[] = {
        {"-?", kUsage},
        {"-?level", "level :how much\n"},
        {"-?-level", "help argument did not match any parameters.\n"},  // switches only
        {"-?/verbose", "-verbose :talk more\n"},
        {"-?verbose", "-verbose :talk more\n"},
        {"-?source", "-source :where from\n"},  // not in the usage, but explained
        {"-?(", "-( :group\n"},
        {"-?o", "-o :once only\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        const Outcome outcome = Parse(c.line);
        EXPECT_FALSE(outcome.result);
        EXPECT_EQ(outcome.notices, std::vector<std::string>{c.shown});
        EXPECT_EQ(outcome.exits, std::vector<int>{3});
    }
}

TEST_F(LibraryParseTest, HelpListsEveryParameterItNames) {
    // Two parameters answer to "o" once the keyword is renamed for this test.
    const char* saved = Mark.name.string;
    Mark.name.string = "o";
    const Outcome all = Parse("-?o");
    const Outcome switches = Parse("-?-o");
    Mark.name.string = saved;

    EXPECT_EQ(all.notices, std::vector<std::string>{"-o :once only\no :optional value\n"});
    EXPECT_EQ(switches.notices, std::vector<std::string>{"-o :once only\n"});
}

TEST_F(LibraryParseTest, AnEmptyWordNamesNoKeyword) {
    // Otherwise a keyword with an empty name would take every line feed and never move on.
    const char* saved = Mark.name.string;
    Mark.name.string = "";
    const Outcome outcome = Parse("=x");
    Mark.name.string = saved;
    EXPECT_TRUE(outcome.result);
    EXPECT_EQ(Source.value, "=x");
    EXPECT_EQ(Mark.value, std::nullopt);
}

TEST_F(LibraryParseTest, UsageStartsWithThePreamble) {
    UsagePreamble = "usage: tool [options]\n";
    const Outcome outcome = Parse("-?");
    UsagePreamble = nullptr;
    EXPECT_EQ(outcome.notices, std::vector<std::string>{"usage: tool [options]\n" + kUsage});
}

TEST_F(LibraryParseTest, RequiredParametersEndTheProcessInEveryMode) {
    for (int mode : {1, 2}) {
        SCOPED_TRACE(mode);
        {
            ScopedFlags required(Level, Required);
            const Outcome missing = Parse("-o", mode);
            EXPECT_FALSE(missing.result);
            EXPECT_EQ(missing.notices,
                      std::vector<std::string>{"error:  parameter level is required\n"});
            EXPECT_EQ(missing.exits, std::vector<int>{1});
            EXPECT_TRUE(Parse("level=1", mode).result);
        }
        {
            ScopedFlags required(OnceSwitch, Required);
            EXPECT_EQ(Parse("a", mode).notices,
                      std::vector<std::string>{"error:  parameter -o is required\n"});
        }
        {
            ScopedFlags required(Target, Required);
            const Outcome tooFew = Parse("a", mode);
            EXPECT_FALSE(tooFew.result);
            EXPECT_EQ(tooFew.notices, std::vector<std::string>{"error:  too few parameters\n"});
            EXPECT_EQ(tooFew.exits, std::vector<int>{1});
            EXPECT_TRUE(Parse("a b", mode).result);
        }
    }
}

TEST_F(LibraryParseTest, RequiredIsCheckedOnlyAfterSomethingWasRecognised) {
    ScopedFlags required(Level, Required);
    const Outcome empty = Parse("");
    EXPECT_FALSE(empty.result);
    EXPECT_TRUE(empty.notices.empty());
    EXPECT_TRUE(empty.exits.empty());
}

TEST_F(LibraryParseTest, AReturningExitHookStopsAtTheFirstEnd) {
    ScopedFlags levelRequired(Level, Required);
    ScopedFlags targetRequired(Target, Required);
    const Outcome both = Parse("-o");
    EXPECT_EQ(both.notices, std::vector<std::string>{"error:  parameter level is required\n"});
    EXPECT_EQ(both.exits, std::vector<int>{1});

    const Outcome help = Parse("-?o -verbose a");
    EXPECT_EQ(help.exits, std::vector<int>{3});
    EXPECT_FALSE(VerboseSwitch.on);
    EXPECT_FALSE(Source.flags & Seen);

    // The next parse starts without the earlier request.
    EXPECT_TRUE(Parse("level=1 a b").result);
    EXPECT_EQ(RequestedExit, std::nullopt);
}

TEST_F(LibraryParseTest, StrictModeExits) {
    for (int mode : {0, 2, -1}) {
        SCOPED_TRACE(mode);
        const Outcome empty = Parse("", mode);
        EXPECT_EQ(empty.notices, std::vector<std::string>{kUsage});
        EXPECT_EQ(empty.exits, std::vector<int>{1});

        const Outcome failed = Parse("-x", mode);
        EXPECT_EQ(failed.notices, std::vector<std::string>{"error: switch -x\ninvalid switch.\n"});
        EXPECT_EQ(failed.exits, std::vector<int>{1});

        const Outcome fine = Parse("-o a", mode);
        EXPECT_TRUE(fine.result);
        EXPECT_TRUE(fine.exits.empty());
    }
    const Outcome lenient = Parse("-x", 1);
    EXPECT_EQ(lenient.notices.size(), 1u);
    EXPECT_TRUE(lenient.exits.empty());
}

TEST_F(LibraryParseTest, NestingStopsAtNineLoops) {
    std::string eight;
    for (int i = 0; i < 8; ++i) {
        eight += "-( ";
    }
    const Outcome deep = Parse(eight + "-o");
    EXPECT_TRUE(deep.result);
    EXPECT_TRUE(deep.notices.empty());
    EXPECT_TRUE(OnceSwitch.on);

    const Outcome tooDeep = Parse(eight + "-( -o");
    EXPECT_FALSE(tooDeep.result);
    EXPECT_FALSE(OnceSwitch.on);
    // The innermost refusal, then each enclosing group reports its own failed parse.
    ASSERT_EQ(tooDeep.notices.size(), 10u);
    EXPECT_EQ(tooDeep.notices.front(), "error: nesting level too deep.\n");
    for (std::size_t i = 1; i < tooDeep.notices.size(); ++i) {
        EXPECT_EQ(tooDeep.notices[i], "parameter -( : undiagnised error\n");
    }
}

TEST_F(LibraryParseTest, DisplayNamesReplaceEveryAt) {
    OnceSwitch.AppendFormatted("@/@:@");
    Level.AppendFormatted("[@]");
    VerboseSwitch.AppendFormatted("@");
    Help.AppendFormatted("no name");
    EXPECT_EQ(PendingText, "-o/-o:-o[level]-verboseno name");
    PendingText.clear();
}

TEST_F(LibraryParseTest, MatchesWholeCaseSensitiveNames) {
    EXPECT_TRUE(OnceSwitch.Matches("o"));
    EXPECT_FALSE(OnceSwitch.Matches("O"));
    EXPECT_FALSE(OnceSwitch.Matches("oo"));
    EXPECT_FALSE(OnceSwitch.Matches(""));
    EXPECT_TRUE(Level.Matches("level"));
    EXPECT_FALSE(Level.Matches("leve"));
    EXPECT_FALSE(Level.Matches("levels"));
    EXPECT_FALSE(Level.Matches("LEVEL"));
}

TEST_F(LibraryParseTest, LongCommandLineParsesToTheEnd) {
    std::string line;
    for (int i = 0; i < 10000; ++i) {
        line += i % 2 == 0 ? "-verbose " : "mark=x ";
    }
    line += "-verbose";
    EXPECT_TRUE(Parse(line).result);
    EXPECT_EQ(MatchCount, 10001);
    EXPECT_TRUE(VerboseSwitch.on);
}

}  // namespace
}  // namespace cmdline::test
