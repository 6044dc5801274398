#include <gtest/gtest.h>

#include <algorithm>

#include "check/script_check.h"
#include "check_support.h"
#include "support/temp_dir.h"

namespace kolvane::check {
namespace {

using testing::CheckEnvironment;
using testing::FindingKey;
using testing::Keys;
using testing::ToDriveZ;

constexpr Severity E = Severity::kError;
constexpr Severity W = Severity::kWarning;

std::string FixtureDir(const std::string& name) {
    return ToDriveZ(std::string(KOLVANE_CHECK_FIXTURES) + "/" + name);
}

struct FixtureCase {
    const char* fixture;
    std::vector<FindingKey> expected;  // in the report's order: by line, then as found
};

TEST(CheckFixtures, EachPackageYieldsExactlyItsFindings) {
    const std::vector<FixtureCase> cases = {
        {"clean", {}},
        {"sections",
         {{E, 0, "section-missing"}, {W, 1, "section-empty"}, {W, 4, "section-repeated"}}},
        {"stray_text", {{W, 4, "stray-text"}, {W, 5, "entry-hidden"}, {W, 6, "entry-hidden"}}},
        {"unclosed_entry", {{W, 8, "entry-unclosed"}}},
        {"unclosed_body", {{W, 5, "section-unclosed"}}},
        {"unclosed_block",
         {{W, 0, "section-missing"}, {E, 0, "section-missing"}, {W, 1, "block-unclosed"}}},
        {"joined_names",
         {{E, 0, "section-missing"},
          {W, 1, "name-joined"},
          {W, 3, "entry-joined"},
          {W, 5, "name-joined"},
          {W, 9, "name-case"}}},
        {"no_separator", {{W, 3, "entry-no-separator"}, {W, 7, "entry-no-separator"}}},
        {"file_entries",
         {{E, 3, "source-missing"},
          {W, 4, "source-case"},
          {E, 5, "source-escapes"},
          {E, 6, "destination-escapes"},
          {W, 7, "destination-case"},
          {W, 8, "destination-repeated"}}},
        {"texture_entries",
         {{W, 7, "identifier-text"},
          {W, 8, "identifier-range"},
          {W, 10, "identifier-repeated"},
          {E, 11, "definition-start"},
          {W, 12, "identifier-text"},
          {E, 12, "definition-braces"},
          {W, 13, "definition-key-missing"},
          {W, 14, "definition-key-other"},
          {W, 15, "definition-empty"}}},
    };
    CheckEnvironment environment;
    for (const FixtureCase& c : cases) {
        SCOPED_TRACE(c.fixture);
        const Report report = environment.Check(FixtureDir(c.fixture));
        EXPECT_EQ(Keys(report), c.expected);
        for (const Finding& finding : report.findings) {
            EXPECT_FALSE(finding.message.empty()) << finding.code;
        }
        const bool error = std::any_of(c.expected.begin(), c.expected.end(),
                                       [](const FindingKey& k) { return std::get<0>(k) == E; });
        EXPECT_EQ(report.ExitCode(), c.expected.empty() ? 0 : error ? 2 : 1);
    }
}

// Inline scripts for the cases where the message or the entry list matters, not just the kind.
class CheckScript : public ::testing::Test {
  protected:
    Report Check(const std::string& script) {
        dir_.Write("pkg/InstSkript.txt", script);
        return environment_.Check(dir_.WindowsPath("pkg"));
    }
    const Finding* Find(const Report& report, const std::string& code) {
        const auto found = std::find_if(report.findings.begin(), report.findings.end(),
                                        [&](const Finding& f) { return f.code == code; });
        return found == report.findings.end() ? nullptr : &*found;
    }

    testing::TempDir dir_;
    CheckEnvironment environment_;
};

TEST_F(CheckScript, MessagesNameWhatTheReaderActuallyReads) {
    const Report report = Check(
        "Version2 Dateinstallation { {a>>b} }\n"
        "Texturskript { {1>>Textur{id(1)}} xyz {2>>Textur{id(2)}} }\n");
    const Finding* joined = Find(report, "name-joined");
    ASSERT_NE(joined, nullptr);
    EXPECT_NE(joined->message.find("\"Version2\""), std::string::npos) << joined->message;
    EXPECT_NE(joined->message.find("\"Version2Dateinstallation\""), std::string::npos);
    const Finding* stray = Find(report, "stray-text");
    ASSERT_NE(stray, nullptr);
    EXPECT_EQ(stray->line, 2);
    EXPECT_NE(stray->message.find("\"xyz\""), std::string::npos) << stray->message;
    EXPECT_NE(stray->message.find("the entry after it is never read"), std::string::npos)
        << stray->message;
}

TEST_F(CheckScript, LayoutBlanksAreNotJoinedWords) {
    // Blanks beside braces, around ">>" and after ')' only lay the script out.
    dir_.Write("pkg/a.dat", "a");
    const Report report = Check(
        "Dateinstallation\n{\n  {  a.dat  >>  a.dat  }\n}\n"
        "Texturskript\n{\n  { 1 >> Textur{ id(1) size(2) } }\n}\n");
    EXPECT_EQ(Keys(report), std::vector<FindingKey>{});
}

TEST_F(CheckScript, BodyWithoutBracesIsReportedAndItsTextEndsTheSection) {
    // The entry's brace is taken for the body's, so "a" ends the section at once.
    const Report report = Check("Dateinstallation {a>>b}\nTexturskript{}");
    EXPECT_NE(Find(report, "stray-text"), nullptr);
    EXPECT_NE(Find(report, "section-empty"), nullptr);  // the texture section
    const Finding* stray = Find(report, "stray-text");
    ASSERT_NE(stray, nullptr);
    EXPECT_NE(stray->message.find("\"a>>b\""), std::string::npos) << stray->message;
}

TEST_F(CheckScript, MissingScriptIsOneErrorAndNothingElse) {
    const Report report = environment_.Check(dir_.WindowsPath("nowhere"));
    EXPECT_EQ(Keys(report), (std::vector<FindingKey>{{E, 0, "script-missing"}}));
    EXPECT_EQ(report.ExitCode(), 2);
}

TEST_F(CheckScript, LineNumbersFollowLineFeedsAndCrLf) {
    const Report report =
        Check("\r\n\r\nDateinstallation\r\n{\r\n{x}\r\n}\r\nTexturskript{{1>>Textur{id(1)}}}");
    EXPECT_EQ(Keys(report), (std::vector<FindingKey>{{W, 5, "entry-no-separator"}}));
}

TEST(LineAt, CountsFromOne) {
    const std::string text = "a\nb\n\nc";
    EXPECT_EQ(LineAt(text, 0), 1);
    EXPECT_EQ(LineAt(text, 1), 1);  // the line feed itself ends line 1
    EXPECT_EQ(LineAt(text, 2), 2);
    EXPECT_EQ(LineAt(text, 5), 4);
    EXPECT_EQ(LineAt(text, 100), 4);
}

}  // namespace
}  // namespace kolvane::check
