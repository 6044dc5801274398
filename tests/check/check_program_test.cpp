#include "check/check_program.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

#include "check_support.h"
#include "support/install_harness.h"
#include "support/temp_dir.h"

namespace kolvane::check {
namespace {

struct ProgramRun {
    int code = 0;
    std::string out;
    std::string err;
};

ProgramRun RunProgram(const std::vector<std::string>& arguments, platform::Registry& registry) {
    testing::CheckEnvironment environment;
    std::ostringstream out;
    std::ostringstream err;
    const auto packagePath = [](const std::string& folder) -> std::optional<std::string> {
        if (!std::filesystem::is_directory(folder)) {
            return std::nullopt;
        }
        return testing::ToDriveZ(std::filesystem::absolute(folder).lexically_normal().string());
    };
    const int code = RunCheckProgram(arguments, out, err,
                                     {*environment.files, *environment.probe, registry, packagePath,
                                      [](std::string_view text) { return std::string(text); },
                                      [](std::string_view text) { return std::string(text); }});
    return {code, out.str(), err.str()};
}

std::string Fixture(const std::string& name) {
    return std::string(KOLVANE_CHECK_FIXTURES) + "/" + name;
}

TEST(CheckProgramTest, ExitCodesAndWhereTheTextGoes) {
    platform::MemoryRegistry noHost;
    struct Case {
        std::vector<std::string> arguments;
        int code;
        const char* outStarts;  // what standard output starts with
        bool errEmpty;
    };
    const std::vector<Case> cases = {
        {{"--help"}, 0, "Usage: kolvane-check", true},
        {{Fixture("clean")}, 0, "No findings.", true},
        {{Fixture("stray_text")}, 1, "Z:", true},
        {{Fixture("file_entries")}, 2, "Z:", true},
        {{Fixture("clean"), "--json"}, 0, "{\"script\":", true},
        {{Fixture("clean"), "--host"}, 2, "Z:", true},  // no host registered
        {{Fixture("nonexistent")}, kExitCannotCheck, "", false},
        {{"--unknown"}, kExitCannotCheck, "", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.arguments.front());
        const ProgramRun run = RunProgram(c.arguments, noHost);
        EXPECT_EQ(run.code, c.code) << run.out << run.err;
        EXPECT_EQ(run.out.rfind(c.outStarts, 0), 0u) << run.out;
        EXPECT_EQ(run.err.empty(), c.errEmpty) << run.err;
    }
}

TEST(CheckProgramTest, DryRunReportsThePlanAfterTheFindings) {
    testing::InstallHarness harness;
    harness.dir.Write("pkg/a.dat", "a");
    harness.dir.Write("pkg/b.dat", "b");
    // Windows-1252 Š and š: one file where names ignore case.
    harness.WriteScript(
        "Dateinstallation{{a.dat>>Sub\\a.dat}\n{a.dat>>\x8A.dat}\n{b.dat>>\x9A.dat}}\n"
        "Texturskript{{1>>Textur{id(1)}}}");
    const ProgramRun run = RunProgram({"--host", harness.dir.HostPath("pkg")}, harness.registry);
    EXPECT_EQ(run.code, 1) << run.out;
    EXPECT_EQ(run.out, harness.PackagePath("InstSkript.txt") +
                           ":3: warning: the destination \"\x9A.dat\" differs from \"\x8A.dat\" "
                           "(line 2) only in letter case: one file where names ignore case, two "
                           "elsewhere [destination-case]\n"
                           "Dry run against the host in " +
                           harness.HostDir() +
                           ":\n"
                           "  line 1: create   " +
                           harness.HostDir("Sub\\a.dat") + " (creates " + harness.HostDir("Sub") +
                           ")\n"
                           "  line 2: create   " +
                           harness.HostDir("\x8A.dat") +
                           "\n"
                           "  line 3: replace  " +
                           harness.HostDir("\x9A.dat") +
                           " (the present file is not newer)\n"
                           "  line 4: add      id(1) (at the very start of the catalogue)\n"
                           "The installation would end with: \"Installation successful!\"\n"
                           "0 errors, 1 warning.\n");
    EXPECT_FALSE(harness.dir.Exists("host/Sub"));
}

}  // namespace
}  // namespace kolvane::check
