#include <gtest/gtest.h>

#include <filesystem>
#include <set>

#include "files/install_files.h"
#include "install/installer.h"
#include "messages/messages.h"
#include "support/install_harness.h"
#include "support/real_files.h"

namespace kolvane {
namespace {

using platform::FaultInjectingFiles;
using platform::FileTime;
using platform::kIdNo;
using platform::kIdYes;
using platform::kMbOk;
using platform::kMbYesNo;
using platform::UiEvent;
using Op = FaultInjectingFiles::Op;

// 2019-04-13, with every 100-nanosecond digit in use.
constexpr FileTime kPackageTime = 132'000'000'001'234'567ull;

// Runs the file section on the script `script` of `h`'s package, into the host that the
// registry names, as the installer does.
bool RunSection(testing::InstallHarness& h, const std::string& script, bool silent = false) {
    h.WriteScript(script);
    ScriptReader reader(h.files);
    EXPECT_TRUE(reader.Open(h.PackagePath(Installer::kScriptName)));
    const HostLocator host(h.registry);
    const std::string packageDir = h.PackagePath();
    const EntryObserver noObserver;
    return InstallFiles({.files = h.files,
                         .ui = h.ui,
                         .system = h.system,
                         .script = reader,
                         .hostPath = host.HostPath(),
                         .packageDir = packageDir,
                         .silent = silent,
                         .observer = noObserver});
}

class InstallFilesTest : public ::testing::Test {
  protected:
    // Runs the file section with `entries` as its body.
    bool RunFileSection(const std::string& entries) {
        firstCall_ = h_.files.Calls().size();
        firstEvent_ = h_.ui.Events().size();
        const bool result = RunSection(h_, "Dateinstallation{" + entries + "}", silent_);
        EXPECT_EQ(h_.files.OpenFiles(), 0) << "every file opened is closed";
        return result;
    }

    // What the last RunFileSection did to the files and the dialog.
    std::vector<FaultInjectingFiles::Call> Calls(Op op) const {
        std::vector<FaultInjectingFiles::Call> calls;
        for (std::size_t i = firstCall_; i < h_.files.Calls().size(); ++i) {
            if (h_.files.Calls()[i].op == op) {
                calls.push_back(h_.files.Calls()[i]);
            }
        }
        return calls;
    }
    std::vector<UiEvent> Messages() const {
        std::vector<UiEvent> messages;
        for (std::size_t i = firstEvent_; i < h_.ui.Events().size(); ++i) {
            messages.push_back(h_.ui.Events()[i]);
        }
        return messages;
    }

    // The texts that report a failed copy and ask about a newer file, as the user sees them.
    static std::string CopyFailed(const std::string& source, const std::string& destination) {
        return FormatMessageText(205, {source, destination});
    }
    static std::string KeepNewer(const std::string& destination, const std::string& source) {
        return FormatMessageText(206, {destination, source});
    }

    void ExpectMessages(const std::vector<std::pair<std::string, unsigned>>& expected) const {
        const std::vector<UiEvent> shown = Messages();
        ASSERT_EQ(shown.size(), expected.size());
        for (std::size_t i = 0; i < shown.size(); ++i) {
            SCOPED_TRACE("message " + std::to_string(i));
            EXPECT_EQ(shown[i].kind, UiEvent::Kind::kMessageText);
            EXPECT_EQ(shown[i].text, expected[i].first);
            EXPECT_EQ(shown[i].boxType, expected[i].second);
        }
    }

    // Package and host files by their place in the temporary directory.
    std::string Package(const std::string& relative, const std::string& contents,
                        FileTime time = kPackageTime) {
        const std::string path = h_.dir.Write("pkg/" + relative, contents);
        testing::SetLastWriteTime(path, time);
        return path;
    }
    std::string Present(const std::string& relative, const std::string& contents, FileTime time) {
        const std::string path = h_.dir.Write("host/" + relative, contents);
        testing::SetLastWriteTime(path, time);
        return path;
    }
    std::string HostContents(const std::string& relative) const {
        return h_.dir.Read("host/" + relative);
    }

    testing::InstallHarness h_;
    bool silent_ = false;  // -s
    std::size_t firstCall_ = 0;
    std::size_t firstEvent_ = 0;
};

TEST_F(InstallFilesTest, CopiesEveryEntryWithItsTime) {
    Package("Sub/File.dat", "first");
    Package("Second.dat", "second", kPackageTime + 1);
    EXPECT_TRUE(
        RunFileSection("{Sub\\File.dat>>Target\\File.dat}"
                       "{Second.dat>>Target\\Deeper\\Second.dat}"));
    EXPECT_EQ(HostContents("Target/File.dat"), "first");
    EXPECT_EQ(HostContents("Target/Deeper/Second.dat"), "second");
    EXPECT_EQ(testing::GetLastWriteTime(h_.dir.HostPath("host/Target/Deeper/Second.dat")),
              kPackageTime + 1);
    ExpectMessages({});

    const auto copies = Calls(Op::kCopyFileOver);
    ASSERT_EQ(copies.size(), 2u);
    EXPECT_EQ(copies[0].path, h_.PackagePath("Sub\\File.dat"));
    EXPECT_EQ(copies[0].second, h_.HostDir("Target\\File.dat"));
}

TEST_F(InstallFilesTest, DecidesWhichPresentFilesToOfferForKeeping) {
    // A time whose low half is all ones: one step later carries into the high half.
    constexpr FileTime kCarry = (FileTime{30'700'000} << 32) | 0xFFFFFFFFu;
    struct Case {
        const char* what;
        bool present;
        bool package;
        FileTime presentTime;
        FileTime packageTime;
        int failTimeRead;  // 1: the present file's, 2: the package file's
        bool expected;
    };
    const Case cases[] = {
        {"nothing present", false, true, 0, kPackageTime, 0, false},
        {"package file missing", true, false, kPackageTime, 0, 0, true},
        {"present one step later", true, true, kPackageTime + 1, kPackageTime, 0, true},
        {"present one step earlier", true, true, kPackageTime - 1, kPackageTime, 0, false},
        {"same time", true, true, kPackageTime, kPackageTime, 0, false},
        {"later in the high half only", true, true, kCarry + 1, kCarry, 0, true},
        {"earlier in the high half only", true, true, kCarry, kCarry + 1, 0, false},
        {"present time unreadable", true, true, kPackageTime + 1, kPackageTime, 1, false},
        {"package time unreadable", true, true, kPackageTime - 1, kPackageTime, 2, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        testing::InstallHarness h;
        if (c.present) {
            testing::SetLastWriteTime(h.dir.Write("host/f.dat", "present"), c.presentTime);
        }
        if (c.package) {
            testing::SetLastWriteTime(h.dir.Write("pkg/f.dat", "package"), c.packageTime);
        }
        if (c.failTimeRead != 0) {
            h.files.FailNth(Op::kLastWriteTime, c.failTimeRead);
        }
        EXPECT_EQ(IsPresentFileNewer(h.files, h.HostDir("f.dat"), h.PackagePath("f.dat")),
                  c.expected);
        EXPECT_EQ(h.files.OpenFiles(), 0) << "both files are closed on every path";
        const auto opens = h.files.CallsOf(Op::kOpenForReading);
        ASSERT_FALSE(opens.empty());
        EXPECT_EQ(opens[0].path, h.HostDir("f.dat")) << "the present file is looked at first";
    }
}

TEST_F(InstallFilesTest, AsksBeforeReplacingANewerFileAndNoReplacesIt) {
    Package("f.dat", "package");
    Present("f.dat", "present", kPackageTime + 1);
    h_.ui.Answer(kIdNo);
    EXPECT_TRUE(RunFileSection("{f.dat>>f.dat}"));
    EXPECT_EQ(HostContents("f.dat"), "package");
    ExpectMessages({{"The file: \n\n" + h_.HostDir("f.dat") +
                         "\n\n is of a newer version than the one it is to be replaced with: "
                         "\n\n" +
                         h_.PackagePath("f.dat") +
                         ".\n\n It is recommended to keep the file.  \n\nShould the present "
                         "file be kept?",
                     kMbYesNo}});
}

TEST_F(InstallFilesTest, YesKeepsTheNewerFileUntouched) {
    Package("f.dat", "package");
    Present("f.dat", "present", kPackageTime + 1);
    testing::MakeReadOnly(h_.dir.HostPath("host/f.dat"));
    h_.ui.Answer(kIdYes);
    EXPECT_TRUE(RunFileSection("{f.dat>>f.dat}"));
    EXPECT_EQ(HostContents("f.dat"), "present");
    EXPECT_TRUE(testing::IsReadOnly(h_.dir.HostPath("host/f.dat"))) << "attributes not touched";
    EXPECT_TRUE(Calls(Op::kCopyFileOver).empty());
    EXPECT_TRUE(Calls(Op::kSetNormalAttributes).empty());
    EXPECT_EQ(Messages().size(), 1u);
}

TEST_F(InstallFilesTest, SilentSwitchKeepsNewerFilesButStillReportsFailures) {
    silent_ = true;
    Package("f.dat", "package");
    Present("f.dat", "present", kPackageTime + 1);
    Present("gone.dat", "present", kPackageTime);
    EXPECT_FALSE(RunFileSection("{f.dat>>f.dat}{gone.dat>>gone.dat}{lost.dat>>lost.dat}"));
    EXPECT_EQ(HostContents("f.dat"), "present");
    EXPECT_EQ(HostContents("gone.dat"), "present") << "a missing package file keeps it too";
    ExpectMessages({{CopyFailed(h_.PackagePath("lost.dat"), h_.HostDir("lost.dat")), kMbOk}});

    EXPECT_TRUE(RunFileSection("{f.dat>>f.dat}{gone.dat>>gone.dat}")) << "keeping is no failure";
}

TEST_F(InstallFilesTest, ASecondRunCopiesEverythingAgainWithoutAsking) {
    Package("a.dat", "a");
    Package("Sub/b.dat", "b", kPackageTime - 5);
    const std::string entries = "{a.dat>>a.dat}{Sub\\b.dat>>Deep\\b.dat}";
    ASSERT_TRUE(RunFileSection(entries));
    EXPECT_TRUE(RunFileSection(entries));
    ExpectMessages({});
    EXPECT_EQ(Calls(Op::kCopyFileOver).size(), 2u);
    EXPECT_EQ(HostContents("Deep/b.dat"), "b");
}

TEST_F(InstallFilesTest, CreatesMissingDirectoriesOutermostFirst) {
    Package("a.dat", "a");
    EXPECT_TRUE(RunFileSection("{a.dat>>A\\B\\C\\a.dat}"));
    EXPECT_EQ(HostContents("A/B/C/a.dat"), "a");
    std::vector<std::string> made;
    for (const auto& call : Calls(Op::kMakeDirectory)) {
        made.push_back(call.path);
    }
    EXPECT_EQ(made,
              (std::vector<std::string>{h_.HostDir("A\\B\\C"), h_.HostDir("A\\B"), h_.HostDir("A"),
                                        h_.HostDir("A\\B"), h_.HostDir("A\\B\\C")}));
}

TEST_F(InstallFilesTest, CreateDirectoryChainAcceptsWhatIsThereAndRefusesDrives) {
    h_.dir.Write("host/file", "");
    EXPECT_TRUE(CreateDirectoryChain(h_.files, h_.HostDir("x.dat"))) << "the host itself";
    EXPECT_TRUE(CreateDirectoryChain(h_.files, h_.HostDir("file\\x.dat")))
        << "a file of that name counts as there, as it does for Windows";
    EXPECT_FALSE(CreateDirectoryChain(h_.files, "C:\\x.dat"));
    EXPECT_FALSE(CreateDirectoryChain(h_.files, "C:\\"));
    EXPECT_EQ(h_.files.Count(Op::kMakeDirectory), 2) << "no drive or root is ever created";

    // The second attempt must create the directory itself; "already there" does not count.
    h_.files.FailNth(Op::kMakeDirectory, h_.files.Count(Op::kMakeDirectory) + 1);
    EXPECT_TRUE(CreateDirectoryChain(h_.files, h_.HostDir("New\\x.dat")));
    h_.files.FailNth(Op::kMakeDirectory, h_.files.Count(Op::kMakeDirectory) + 1);
    EXPECT_FALSE(CreateDirectoryChain(h_.files, h_.HostDir("New\\x.dat")));
}

TEST_F(InstallFilesTest, AHostAtADriveRootCannotTakeAFileBesideIt) {
    h_.registry.SetString("Software\\Tessaline\\HMDX", "AppPath", "C:\\Host.exe");
    Package("a.dat", "a");
    EXPECT_FALSE(RunFileSection("{a.dat>>a.dat}"));
    ExpectMessages({{CopyFailed(h_.PackagePath("a.dat"), "C:\\a.dat"), kMbOk}});
    EXPECT_TRUE(Calls(Op::kMakeDirectory).empty());
    EXPECT_TRUE(Calls(Op::kCopyFileOver).empty());
}

TEST_F(InstallFilesTest, AReadOnlyOlderFileFailsOnceAndIsReplacedNextTime) {
    Package("f.dat", "package");
    Present("f.dat", "present", kPackageTime - 1);
    testing::MakeReadOnly(h_.dir.HostPath("host/f.dat"));
    EXPECT_FALSE(RunFileSection("{f.dat>>f.dat}"));
    ExpectMessages({{CopyFailed(h_.PackagePath("f.dat"), h_.HostDir("f.dat")), kMbOk}});
    EXPECT_EQ(HostContents("f.dat"), "present");
    EXPECT_FALSE(testing::IsReadOnly(h_.dir.HostPath("host/f.dat")));

    EXPECT_TRUE(RunFileSection("{f.dat>>f.dat}"));
    EXPECT_EQ(HostContents("f.dat"), "package");
}

TEST_F(InstallFilesTest, AFailedEntryDoesNotStopTheOnesAfterIt) {
    Package("a.dat", "a");
    Package("c.dat", "c");
    Package("d.dat", "d");
    // Every entry tries its directory; both attempts at D, the third entry's, fail.
    h_.files.FailNth(Op::kMakeDirectory, 3);
    h_.files.FailNth(Op::kMakeDirectory, 5);
    EXPECT_FALSE(RunFileSection("{a.dat>>a.dat}{b.dat>>b.dat}{d.dat>>D\\d.dat}{c.dat>>c.dat}"));
    EXPECT_EQ(HostContents("a.dat"), "a");
    EXPECT_EQ(HostContents("c.dat"), "c");
    EXPECT_FALSE(h_.dir.Exists("host/b.dat"));
    ExpectMessages({{CopyFailed(h_.PackagePath("b.dat"), h_.HostDir("b.dat")), kMbOk},
                    {CopyFailed(h_.PackagePath("d.dat"), h_.HostDir("D\\d.dat")), kMbOk}});
    std::vector<std::string> copied;
    for (const auto& call : Calls(Op::kCopyFileOver)) {
        copied.push_back(call.second);
    }
    EXPECT_EQ(copied, (std::vector<std::string>{h_.HostDir("a.dat"), h_.HostDir("b.dat"),
                                                h_.HostDir("c.dat")}))
        << "no copy without its directory";
    EXPECT_EQ(Calls(Op::kSetNormalAttributes).size(), 4u) << "after every attempt";
}

TEST_F(InstallFilesTest, AMissingPackageFileCountsAsANewerPresentFile) {
    Present("f.dat", "present", kPackageTime);
    h_.ui.Answer(kIdYes);
    EXPECT_TRUE(RunFileSection("{f.dat>>f.dat}"));
    ExpectMessages({{KeepNewer(h_.HostDir("f.dat"), h_.PackagePath("f.dat")), kMbYesNo}});

    h_.ui.Answer(kIdNo);
    EXPECT_FALSE(RunFileSection("{f.dat>>f.dat}"));
    ExpectMessages({{KeepNewer(h_.HostDir("f.dat"), h_.PackagePath("f.dat")), kMbYesNo},
                    {CopyFailed(h_.PackagePath("f.dat"), h_.HostDir("f.dat")), kMbOk}});
    EXPECT_EQ(HostContents("f.dat"), "present");
}

TEST_F(InstallFilesTest, SplitsAtTheFirstSeparatorAndSkipsEntriesWithoutOne) {
    RunFileSection("{a>>b>>c}{lonely.dat}{}{x>y}");
    const auto copies = Calls(Op::kCopyFileOver);
    ASSERT_EQ(copies.size(), 1u);
    EXPECT_EQ(copies[0].path, h_.PackagePath("a"));
    EXPECT_EQ(copies[0].second, h_.HostDir("b>>c"));
    EXPECT_EQ(Messages().size(), 1u) << "only the missing package file a is reported";
    EXPECT_EQ(Calls(Op::kSetNormalAttributes).size(), 1u);
}

TEST_F(InstallFilesTest, AMissingOrEmptySectionInstallsNothingAndSucceeds) {
    for (const char* script : {"Texturskript{{1>>a}}", "Dateinstallation{}", "Dateinstallation"}) {
        SCOPED_TRACE(script);
        testing::InstallHarness h;
        EXPECT_TRUE(RunSection(h, script));
        EXPECT_EQ(h.files.Calls().size(), 2u) << "the script is opened and read, nothing else";
        EXPECT_TRUE(h.ui.Messages().empty());
    }
}

// The run then ends with the failure message: what the script lists was not installed.
TEST_F(InstallFilesTest, AScriptThatCannotBeReadFailsTheSectionWithoutAMessage) {
    Package("a.dat", "a");
    h_.files.FailNth(Op::kReadContents, h_.files.Count(Op::kReadContents) + 1);
    EXPECT_FALSE(RunFileSection("{a.dat>>a.dat}"));
    ExpectMessages({});
    EXPECT_FALSE(h_.dir.Exists("host/a.dat"));
}

// A package unpacked inside the host (here the host is the folder that holds the package)
// must not write into itself, and a package file that a link leads out of the package (the
// injected fault stands for one) is refused like a path that leaves it.
TEST_F(InstallFilesTest, NeitherReadsThroughLinksOutOfThePackageNorWritesIntoIt) {
    Package("a.dat", "a");
    h_.registry.SetString("Software\\Tessaline\\HMDX", "AppPath", h_.dir.WindowsPath("Host.exe"));
    const std::string host = h_.dir.WindowsPath() + "\\";
    EXPECT_FALSE(RunFileSection("{a.dat>>pkg\\InstSkript.txt}{a.dat>>pkg\\New\\b.dat}"));
    ExpectMessages({{CopyFailed(h_.PackagePath("a.dat"), host + "pkg\\InstSkript.txt"), kMbOk},
                    {CopyFailed(h_.PackagePath("a.dat"), host + "pkg\\New\\b.dat"), kMbOk}});
    EXPECT_TRUE(Calls(Op::kCopyFileOver).empty());
    EXPECT_FALSE(h_.dir.Exists("pkg/New"));

    h_.files.FailNth(Op::kLocateIn, h_.files.Count(Op::kLocateIn) + 1);
    EXPECT_FALSE(RunFileSection("{a.dat>>a.dat}{a.dat>>b.dat}"));
    ExpectMessages({{CopyFailed(h_.PackagePath("a.dat"), host + "a.dat"), kMbOk}});
    // Each entry asks three times: the package, the package again, the record folder.
    ASSERT_EQ(Calls(Op::kLocateIn).size(), 4u) << "the refused entry asked no more";
    EXPECT_FALSE(h_.dir.Exists("a.dat"));
    EXPECT_EQ(h_.dir.Read("b.dat"), "a");
}

TEST_F(InstallFilesTest, MatchesNamesRegardlessOfCase) {
    Package("Sub/File.dat", "new");
    Present("Target/FILE.DAT", "old", kPackageTime - 1);
    EXPECT_TRUE(
        RunFileSection("{sub\\file.dat>>TARGET\\file.dat}{SUB\\FILE.DAT>>target\\New.dat}"));
    EXPECT_EQ(HostContents("Target/FILE.DAT"), "new");
    EXPECT_EQ(HostContents("Target/New.dat"), "new");
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(h_.dir.HostPath("host"))) {
        names.insert(entry.path().filename().string());
    }
    EXPECT_EQ(names, std::set<std::string>{"Target"}) << "no second Target folder";
}

TEST_F(InstallFilesTest, ReportsInGermanOnAGermanSystem) {
    h_.system.language = platform::kLanguageGerman;
    EXPECT_FALSE(RunFileSection("{a.dat>>a.dat}"));
    ExpectMessages(
        {{"Das Kopieren der Datei " + h_.PackagePath("a.dat") + " nach " + h_.HostDir("a.dat") +
              " schl\344gt fehl. Diese Fehler tritt auch auf, wenn eine Schreibschutz "
              "aktiviert ist.",
          kMbOk}});
}

TEST_F(InstallFilesTest, RefusesEntriesThatLeaveThePackageOrTheHost) {
    h_.dir.Write("outside.dat", "outside");
    Package("Sub/File.dat", "inside");
    struct Case {
        const char* source;
        const char* destination;
    };
    const Case escapes[] = {
        {"..\\outside.dat", "x.dat"},
        {"Sub\\..\\..\\outside.dat", "x.dat"},
        {"Sub\\File.dat", "..\\escaped.dat"},
        {"Sub\\File.dat", "A\\..\\..\\escaped.dat"},
        {"Sub\\File.dat", "../escaped.dat"},
        {"Sub\\File.dat", "C:\\escaped.dat"},
        {"Sub\\File.dat", "x.dat:stream"},
        {"\\outside.dat", "x.dat"},
        {"Sub\\File.dat", "\\\\server\\share\\x.dat"},
        {"Sub\\File.dat", "Sub\\NUL"},
        {"Sub\\File.dat", "com1.dat"},
        {"Sub\\File.dat", "...\\x.dat"},
    };
    for (const Case& c : escapes) {
        const std::string entry = std::string("{") + c.source + ">>" + c.destination + "}";
        SCOPED_TRACE(entry);
        EXPECT_FALSE(RunFileSection(entry));
        ExpectMessages(
            {{CopyFailed(h_.PackagePath(c.source), h_.HostDir() + c.destination), kMbOk}});
        EXPECT_EQ(h_.files.Calls().size(), firstCall_ + 2) << "nothing but the script is read";
    }
    EXPECT_FALSE(h_.dir.Exists("escaped.dat"));
    EXPECT_EQ(h_.dir.Read("outside.dat"), "outside");

    EXPECT_TRUE(RunFileSection("{Sub\\..\\Sub\\File.dat>>A\\..\\Kept.dat}"))
        << "climbing back down stays inside";
    EXPECT_EQ(HostContents("Kept.dat"), "inside");
}

}  // namespace
}  // namespace kolvane
