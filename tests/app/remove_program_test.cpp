// kolvane-remove's command line, plan, question and exit codes, on a host with one installation.
#include "app/posix/remove_program.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "install/installer.h"
#include "records/host_lock.h"
#include "support/install_harness.h"

namespace kolvane::app {
namespace {

TEST(RemoveProgramTest, ListsVerifiesPlansAsksAndRemoves) {
    testing::InstallHarness h;
    h.dir.Write("host/a.dat", "old a");
    h.dir.Write("pkg/a.dat", "new a");
    h.dir.Write("pkg/b.dat", "new b");
    h.WriteScript("Dateinstallation{{a.dat>>a.dat}{b.dat>>b.dat}} Texturskript{}");
    platform::Platform platform{h.registry, *h.realFiles, h.ui, h.system};
    ASSERT_EQ(PressInstall(platform, {.silent = true, .record = true}), InstallOutcome::kSucceeded);
    h.dir.Write("host/b.dat", "the user's b");

    struct Step {
        std::vector<std::string> arguments;
        std::string answers;
        int exitCode;
        std::string out;  // a line the output holds
        std::string a;    // host\a.dat afterwards
    };
    const std::vector<Step> steps = {
        {{"--list"}, "", kRemoveSucceeded, "files  0 textures  5 B  changed\n", "new a"},
        {{"--verify", "pkg"}, "", kRemoveDiffers, "  changed  b.dat\n", "new a"},
        {{"--verify", "other"}, "", kRemoveNoPackage, "", "new a"},
        {{"--dry-run", "pkg"}, "", kRemoveSucceeded, "  restore      a.dat\n", "new a"},
        {{"pkg"}, "q\n", kRemoveSucceeded, "  left, changed since: b.dat\n", "new a"},
        {{"pkg"}, "", kRemoveSucceeded, "Remove? ", "new a"},
        {{"--list", "pkg"}, "", kRemoveFailed, "", "new a"},
        {{"--force", "pkg"},
         "q\n",
         kRemoveSucceeded,
         "  taken back though changed (kept): b.dat\n",
         "new a"},
        {{"pkg"},
         "y\n",
         kRemoveSucceeded,
         "] 2/3\n[####################] 3/3\nChanged since, not removed: b.dat\n",
         "old a"},
        {{"pkg"}, "y\n", kRemoveNoPackage, "", "old a"},
    };
    {
        // A removal does not wait for another run that holds the host's lock.
        const records::HostLock held(*h.realFiles, h.HostDir(), std::chrono::milliseconds(0));
        std::istringstream in("y\n");
        LineAnswers answers(in);
        std::ostringstream out;
        std::ostringstream err;
        EXPECT_EQ(RunRemoveProgram(
                      {"pkg"}, {*h.realFiles, h.HostDir(), Language::kEnglish, answers, out, err}),
                  kRemoveFailed);
        EXPECT_NE(err.str().find("nothing was removed"), std::string::npos) << err.str();
        EXPECT_EQ(h.dir.Read("host/a.dat"), "new a");
    }
    for (const Step& step : steps) {
        SCOPED_TRACE(step.arguments[0] + " " + step.answers);
        std::istringstream in(step.answers);
        LineAnswers answers(in);
        std::ostringstream out;
        std::ostringstream err;
        EXPECT_EQ(RunRemoveProgram(step.arguments, {*h.realFiles, h.HostDir(), Language::kEnglish,
                                                    answers, out, err}),
                  step.exitCode)
            << err.str();
        EXPECT_NE(out.str().find(step.out), std::string::npos) << out.str();
        EXPECT_EQ(h.dir.Read("host/a.dat"), step.a);
    }
    EXPECT_EQ(h.dir.Read("host/b.dat"), "the user's b");
}

}  // namespace
}  // namespace kolvane::app
