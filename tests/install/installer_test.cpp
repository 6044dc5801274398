#include "install/installer.h"

#include <gtest/gtest.h>

#include "messages/messages.h"
#include "support/install_harness.h"

namespace kolvane {
namespace {

using platform::kMbIconInformation;
using platform::kMbOk;
using platform::UiEvent;
using Ids = std::vector<int>;

class InstallerTest : public ::testing::Test {
  protected:
    testing::InstallHarness h_;
};

TEST_F(InstallerTest, WithoutAHostSaysSoEachTimeAndStaysOpen) {
    h_.registry = platform::MemoryRegistry();
    h_.WriteScript("Dateinstallation{} Texturskript{}");
    EXPECT_EQ(PressInstall(h_.platform, {}), InstallOutcome::kNoHost);
    EXPECT_EQ(PressInstall(h_.platform, {}), InstallOutcome::kNoHost);
    EXPECT_EQ(h_.ui.MessageIds(), (Ids{202, 202}));
    for (const UiEvent& message : h_.ui.Messages()) {
        EXPECT_EQ(message.boxType, kMbOk);
    }
    EXPECT_TRUE(h_.ui.Positions().empty()) << "the progress bar stays untouched";
    EXPECT_EQ(h_.registry.AttemptedKeys(), (std::vector<std::string>{"Software", "Software"}))
        << "the registry is read anew on every press";
    EXPECT_EQ(h_.files.Calls().size(), 0u) << "nothing is read without a host";
}

TEST_F(InstallerTest, ShowsGermanTextsOnAGermanSystem) {
    h_.system.language = platform::kLangGermanAustria;
    h_.registry = platform::MemoryRegistry();
    EXPECT_EQ(PressInstall(h_.platform, {}), InstallOutcome::kNoHost);
    EXPECT_EQ(h_.ui.MessageIds(), Ids{102});
}

TEST_F(InstallerTest, MissingScriptStopsTheRunAtPositionOne) {
    EXPECT_EQ(PressInstall(h_.platform, {}), InstallOutcome::kFailed);
    const std::vector<UiEvent>& events = h_.ui.Events();
    ASSERT_EQ(events.size(), 5u);
    EXPECT_EQ(events[0].kind, UiEvent::Kind::kRange);
    EXPECT_EQ(events[0].low, 0);
    EXPECT_EQ(events[0].high, 4);
    EXPECT_EQ(h_.ui.Positions(), (Ids{0, 1}));
    EXPECT_EQ(h_.ui.MessageIds(), (Ids{207, 203}));
    EXPECT_EQ(events[3].position, 1) << "the bar shows 1 of 4 while 207 is up";
    EXPECT_EQ(events[3].boxType, kMbOk);
    EXPECT_EQ(events[4].boxType, kMbOk);
    EXPECT_EQ(h_.files.CallsOf(platform::FaultInjectingFiles::Op::kReadContents).size(), 0u)
        << "no section reads the script";
}

TEST_F(InstallerTest, SucceedsWithTheInformationIcon) {
    h_.WriteScript("Dateinstallation{} Texturskript{}");
    h_.system.language = platform::kLanguageGerman;
    EXPECT_EQ(PressInstall(h_.platform, {}), InstallOutcome::kSucceeded);
    EXPECT_EQ(h_.ui.Positions(), (Ids{0, 1, 2, 3, 4}));
    ASSERT_EQ(h_.ui.MessageIds(), Ids{104});
    EXPECT_EQ(h_.ui.Messages()[0].boxType, kMbIconInformation);
    EXPECT_EQ(h_.ui.Messages()[0].position, 4);
}

TEST_F(InstallerTest, AFailedFileGoesOnToTheTexturesAndEndsInFailure) {
    h_.dir.Write("pkg/a.dat", "a");
    h_.WriteScript("Dateinstallation{{missing.dat>>missing.dat}{a.dat>>a.dat}} Texturskript{}");
    EXPECT_EQ(PressInstall(h_.platform, {}), InstallOutcome::kFailed);
    EXPECT_EQ(h_.dir.Read("host/a.dat"), "a") << "the entry after the failed one is installed";
    EXPECT_EQ(h_.ui.Positions(), (Ids{0, 1, 2, 3, 4}));
    const std::vector<UiEvent> messages = h_.ui.Messages();
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[0].text, "Copying of the file " + h_.PackagePath("missing.dat") + " to " +
                                    h_.HostDir("missing.dat") +
                                    " failed. Maybe a write protection is set?");
    EXPECT_EQ(messages[0].position, 2) << "shown while the file section runs";
    EXPECT_EQ(messages[1].id, 203);
    EXPECT_EQ(messages[1].boxType, kMbOk);
    EXPECT_EQ(messages[1].position, 4) << "after the texture section";
}

TEST_F(InstallerTest, LooksForTheScriptBesideTheExecutableWhateverItsName) {
    h_.system.moduleFileName = h_.PackagePath("Setup.exe");
    h_.WriteScript("Dateinstallation{} Texturskript{}");
    Installer installer(h_.platform, h_.HostDir(), {});
    EXPECT_EQ(installer.Run(), InstallOutcome::kSucceeded);
    const auto opens = h_.files.CallsOf(platform::FaultInjectingFiles::Op::kOpenForReading);
    ASSERT_FALSE(opens.empty());
    EXPECT_EQ(opens[0].path, h_.PackagePath("InstSkript.txt"));
}

TEST_F(InstallerTest, TakesAWholePathWithoutBackslashAsTheDirectory) {
    h_.system.moduleFileName = "Kolvane.exe";
    Installer installer(h_.platform, h_.HostDir(), {});
    EXPECT_EQ(installer.Run(), InstallOutcome::kFailed);
    EXPECT_EQ(h_.files.CallsOf(platform::FaultInjectingFiles::Op::kOpenForReading)[0].path,
              "Kolvane.exe\\InstSkript.txt");
}

TEST_F(InstallerTest, UnreadableScriptCountsAsMissing) {
    h_.WriteScript("Dateinstallation{}");
    h_.files.FailFrom(platform::FaultInjectingFiles::Op::kOpenForReading);
    EXPECT_EQ(PressInstall(h_.platform, {}), InstallOutcome::kFailed);
    EXPECT_EQ(h_.ui.MessageIds(), (Ids{207, 203}));
}

}  // namespace
}  // namespace kolvane
