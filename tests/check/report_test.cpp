#include <gtest/gtest.h>

#include "check/checker.h"
#include "names/windows_path.h"

namespace kolvane::check {
namespace {

std::string Latin1ToUtf8(std::string_view text) {
    std::string utf8;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x80) {
            utf8 += c;
        } else {
            utf8 += static_cast<char>(0xC0 | (byte >> 6));
            utf8 += static_cast<char>(0x80 | (byte & 0x3F));
        }
    }
    return utf8;
}

TEST(CheckArgumentsTest, ParsesWhatTheUsageOffers) {
    struct Case {
        std::vector<std::string> arguments;
        bool help, json, host, silent;
        std::string package;
        bool fails;
    };
    const std::vector<Case> cases = {
        {{}, false, false, false, false, ".", false},
        {{"--help"}, true, false, false, false, ".", false},
        {{"-?"}, true, false, false, false, ".", false},
        {{"pkg", "--json"}, false, true, false, false, "pkg", false},
        {{"--host", "-s", "/x/pkg"}, false, false, true, true, "/x/pkg", false},
        {{"/s", "--host"}, false, false, true, true, ".", false},
        {{"-s"}, false, false, false, true, ".", true},  // -s without a dry run
        {{"--jsn"}, false, false, false, false, ".", true},
        {{"a", "b"}, false, false, false, false, "a", true},
    };
    for (const Case& c : cases) {
        std::string joined;
        for (const std::string& a : c.arguments) {
            joined += a + " ";
        }
        SCOPED_TRACE(joined);
        const CheckArguments parsed = ParseCheckArguments(c.arguments);
        EXPECT_EQ(parsed.help, c.help);
        EXPECT_EQ(parsed.json, c.json);
        EXPECT_EQ(parsed.host, c.host);
        EXPECT_EQ(parsed.silent, c.silent);
        EXPECT_EQ(parsed.package, c.package);
        EXPECT_EQ(!parsed.error.empty(), c.fails) << parsed.error;
    }
}

Report SampleReport() {
    Report report;
    report.script = "Z:\\pkg\\InstSkript.txt";
    report.Add(Severity::kError, 0, "section-missing", "no \"Texturskript\"");
    report.Add(Severity::kWarning, 4, "source-case", "the source \"M\xE4rz\\a.dat\" \x01");
    report.dryRun = true;
    report.host = "Z:\\host\\";
    report.plan.push_back({4, "files", "create", "Z:\\host\\a.dat", "creates Z:\\host\\Sub"});
    report.plan.push_back({5,
                           "files",
                           "replace",
                           "Z:\\host\\b.dat",
                           "not newer",
                           {},
                           Owner{"M\xE4rz \"Loks\"", "2026-12-08T02:21:31Z"}});
    report.plan.push_back({12, "textures", "add", "id(3)", ""});
    report.outcome = "Error during installation process.";
    return report;
}

TEST(CheckReportTest, TextHasOneLinePerFindingThePlanAndASummary) {
    const std::string text = FormatText(SampleReport(), Latin1ToUtf8);
    EXPECT_EQ(
        text,
        "Z:\\pkg\\InstSkript.txt: error: no \"Texturskript\" [section-missing]\n"
        "Z:\\pkg\\InstSkript.txt:4: warning: the source \"M\xC3\xA4rz\\a.dat\" \\x01 "
        "[source-case]\n"
        "Dry run against the host in Z:\\host\\:\n"
        "  line  4: create   Z:\\host\\a.dat (creates Z:\\host\\Sub)\n"
        "  line  5: replace  Z:\\host\\b.dat (not newer; put there by M\xC3\xA4rz \"Loks\" on "
        "2026-12-08T02:21:31Z)\n"
        "  line 12: add      id(3)\n"
        "The installation would end with: \"Error during installation process.\"\n"
        "1 error, 1 warning.\n");
    EXPECT_EQ(FormatText(Report(), Latin1ToUtf8), "No findings.\n");
}

TEST(CheckReportTest, JsonEscapesAndEncodesEveryString) {
    const std::string json = FormatJson(SampleReport(), Latin1ToUtf8);
    EXPECT_EQ(json,
              "{\"script\":\"Z:\\\\pkg\\\\InstSkript.txt\",\"errors\":1,\"warnings\":1,"
              "\"exitCode\":2,\"findings\":["
              "{\"severity\":\"error\",\"line\":null,\"code\":\"section-missing\","
              "\"message\":\"no \\\"Texturskript\\\"\"},"
              "{\"severity\":\"warning\",\"line\":4,\"code\":\"source-case\","
              "\"message\":\"the source \\\"M\xC3\xA4rz\\\\a.dat\\\" \\u0001\"}],"
              "\"dryRun\":{\"host\":\"Z:\\\\host\\\\\",\"plan\":[{\"line\":4,\"section\":"
              "\"files\",\"action\":\"create\",\"subject\":\"Z:\\\\host\\\\a.dat\","
              "\"detail\":\"creates Z:\\\\host\\\\Sub\",\"owner\":null},{\"line\":5,\"section\":"
              "\"files\",\"action\":\"replace\",\"subject\":\"Z:\\\\host\\\\b.dat\",\"detail\":"
              "\"not newer\",\"owner\":{\"name\":\"M\xC3\xA4rz \\\"Loks\\\"\",\"date\":"
              "\"2026-12-08T02:21:31Z\"}},{\"line\":12,\"section\":\"textures\","
              "\"action\":\"add\",\"subject\":\"id(3)\",\"detail\":\"\",\"owner\":null}],"
              "\"outcome\":\"Error during installation process.\"}}\n");
}

TEST(CheckReportTest, TextShowsLongPathsShortenedAndJsonWhole) {
    const std::string folder = "Z:\\host\\" + std::string(4000, 'd');
    const std::string file = folder + "\\a.dat";
    Report report;
    report.script = "Z:\\" + std::string(300, 'p') + "\\InstSkript.txt";
    report.Add(Severity::kError, 4, "copy-fails", "installing " + file + " fails", {file});
    report.dryRun = true;
    report.host = "Z:\\host\\";
    report.plan.push_back({4, "files", "fail", file, "the folder " + folder, {file, folder}});

    const std::string text = FormatText(report, Latin1ToUtf8);
    const std::string script = names::ShownPath(report.script);
    EXPECT_EQ(text, script + ":4: error: installing " + names::ShownPath(file) +
                        " fails [copy-fails]\n"
                        "Dry run against the host in Z:\\host\\:\n"
                        "  line 4: fail     " +
                        names::ShownPath(file) + " (the folder " + names::ShownPath(folder) +
                        ")\n1 error, 0 warnings.\n");
    EXPECT_TRUE(names::ShownPath(file).ends_with("d\\a.dat"));
    EXPECT_LT(text.size(), 1500u);
    const std::string json = FormatJson(report, Latin1ToUtf8);
    EXPECT_EQ(json.find("..."), std::string::npos);
    EXPECT_NE(json.find(std::string(4000, 'd') + "\\\\a.dat"), std::string::npos);
}

TEST(CheckReportTest, ExitCodeFollowsTheWorstFinding) {
    Report report;
    EXPECT_EQ(report.ExitCode(), 0);
    report.Add(Severity::kWarning, 1, "w", "w");
    EXPECT_EQ(report.ExitCode(), 1);
    report.Add(Severity::kError, 1, "e", "e");
    report.Add(Severity::kWarning, 2, "w", "w");
    EXPECT_EQ(report.ExitCode(), 2);
}

}  // namespace
}  // namespace kolvane::check
