#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>

#include "check/dry_run.h"
#include "check/script_check.h"
#include "check_support.h"
#include "install/installer.h"
#include "records/installed.h"
#include "support/install_harness.h"
#include "support/real_files.h"

namespace kolvane::check {
namespace {

namespace fs = std::filesystem;
using testing::CheckEnvironment;
using testing::InstallHarness;

constexpr platform::FileTime kPackageTime = 133'000'000'000'000'000;
constexpr platform::FileTime kSecond = 10'000'000;

// Everything under a folder: kind, bytes, last-write time and permissions.
struct Node {
    bool directory = false;
    std::string bytes{};
    fs::file_time_type::rep time = 0;
    fs::perms permissions = fs::perms::none;
    bool operator==(const Node&) const = default;
};
using Tree = std::map<std::string, Node>;

Tree Snapshot(const std::string& root) {
    Tree tree;
    for (const auto& item : fs::recursive_directory_iterator(root)) {
        Node node;
        node.directory = item.is_directory();
        if (!node.directory) {
            std::ifstream file(item.path(), std::ios::binary);
            node.bytes.assign(std::istreambuf_iterator<char>(file), {});
        }
        node.time = fs::last_write_time(item.path()).time_since_epoch().count();
        node.permissions = item.status().permissions();
        tree[fs::relative(item.path(), root).generic_string()] = node;
    }
    return tree;
}

// A package whose file entries meet every outcome, and a host prepared for them.
class DryRunTest : public ::testing::Test {
  protected:
    DryRunTest() {
        auto& dir = harness_.dir;
        dir.Write("pkg/Models/New.dat", "new");
        dir.Write("pkg/Old.dat", "old from package");
        dir.Write("pkg/Newer.dat", "newer from package");
        dir.Write("pkg/Locked.dat", "locked from package");
        for (const char* file : {"Models/New.dat", "Old.dat", "Newer.dat", "Locked.dat"}) {
            testing::SetLastWriteTime(dir.HostPath(std::string("pkg/") + file), kPackageTime);
        }
        dir.Write("host/Old.dat", "present, older");
        testing::SetLastWriteTime(dir.HostPath("host/Old.dat"), kPackageTime - kSecond);
        dir.Write("host/Newer.dat", "present, newer");
        testing::SetLastWriteTime(dir.HostPath("host/Newer.dat"), kPackageTime + kSecond);
        dir.Write("host/Locked.dat", "present, read-only");
        testing::SetLastWriteTime(dir.HostPath("host/Locked.dat"), kPackageTime - kSecond);
        testing::MakeReadOnly(dir.HostPath("host/Locked.dat"));
        harness_.WriteCatalog("Textur{ id(1) }\r\nTextur{ id(5) }\r\n");
        harness_.WriteScript(
            "Dateinstallation\n"
            "{\n"
            "    {Models\\New.dat >> Models\\Sub\\Deep\\New.dat}\n"  // 3: create, with folders
            "    {Old.dat >> Old.dat}\n"                             // 4: replace an older file
            "    {Newer.dat >> Newer.dat}\n"                         // 5: ask (kept under -s)
            "    {Locked.dat >> Locked.dat}\n"                       // 6: fail, read-only
            "    {Missing.dat >> Missing.dat}\n"                     // 7: fail, no package file
            "    {Models\\New.dat >> Models\\Sub\\Deep\\New.dat}\n"  // 8: sees its own copy
            "    {Locked.dat >> Locked.dat}\n"                       // 9: no longer read-only
            "    {Old.dat >> ..\\Old.dat}\n"                         // 10: refused
            "}\n"
            "Texturskript\n"
            "{\n"
            "    {3 >> Textur{id(3)}}\n"         // 14
            "    {5 >> Textur{id(5) new(1)}}\n"  // 15
            "}\n");
    }

    std::string Actions(const Report& report) const {
        std::string actions;
        for (const PlanStep& step : report.plan) {
            actions += std::to_string(step.line) + ":" + step.action + " ";
        }
        return actions;
    }

    InstallHarness harness_;
    CheckEnvironment environment_;
};

TEST_F(DryRunTest, PlansEveryFileOutcomeAndEveryTexture) {
    const Report report = environment_.Check(harness_.PackagePath(), harness_.registry);
    EXPECT_EQ(Actions(report),
              "3:create 4:replace 5:ask 6:fail 7:fail 8:replace 9:replace 10:fail 14:add "
              "15:replace ");
    ASSERT_EQ(report.plan.size(), 10u);
    EXPECT_EQ(report.plan[0].subject, harness_.HostDir("Models\\Sub\\Deep\\New.dat"));
    EXPECT_NE(report.plan[0].detail.find(harness_.HostDir("Models\\Sub\\Deep")), std::string::npos)
        << report.plan[0].detail;
    EXPECT_NE(report.plan[3].detail.find("read-only"), std::string::npos);
    EXPECT_NE(report.plan[4].detail.find("cannot be read"), std::string::npos);
    EXPECT_NE(report.plan[7].detail.find("refused"), std::string::npos);
    EXPECT_EQ(report.plan[8].detail, "after the entry with id(1)");
    EXPECT_EQ(report.plan[9].detail,
              "after the entry with id(3), in place of the present entry with id(5)");
    EXPECT_EQ(report.outcome, "Error during installation process.");
    EXPECT_EQ(report.host, harness_.HostDir());

    using testing::Keys;
    const std::vector<testing::FindingKey> expected = {
        {Severity::kError, 6, "copy-fails"},
        {Severity::kError, 7, "source-missing"},
        {Severity::kError, 7, "copy-fails"},
        {Severity::kWarning, 8, "destination-repeated"},
        {Severity::kWarning, 9, "destination-repeated"},
        {Severity::kError, 10, "destination-escapes"}};
    EXPECT_EQ(Keys(report), expected);
}

TEST_F(DryRunTest, SilentKeepsTheNewerFileWithoutAsking) {
    const Report report =
        environment_.Check(harness_.PackagePath(), harness_.registry, /*silent=*/true);
    ASSERT_GE(report.plan.size(), 3u);
    EXPECT_EQ(report.plan[2].action, "keep");
}

TEST_F(DryRunTest, WritesNothingAnywhere) {
    const Tree before = Snapshot(harness_.dir.Path());
    environment_.Check(harness_.PackagePath(), harness_.registry);
    environment_.Check(harness_.PackagePath(), harness_.registry, /*silent=*/true);
    EXPECT_EQ(Snapshot(harness_.dir.Path()), before);
}

// The dry run's plan against a real installation of the same package into the same host.
TEST_F(DryRunTest, AgreesWithARealInstallation) {
    Report report;
    SectionRead files;
    SectionRead textures;
    const std::string script = harness_.PackagePath("InstSkript.txt");
    ASSERT_TRUE(CheckStructure(*environment_.files, script, report, files, textures));
    const DryRunLog log = DryRun({harness_.registry, *environment_.files, *environment_.probe},
                                 harness_.PackagePath(), false, files, textures, report);

    // What the host should look like afterwards, by the dry run.
    Tree expected = Snapshot(harness_.dir.Path());
    const auto relative = [&](const std::string& windowsPath) {
        const std::string base = harness_.dir.WindowsPath() + "\\";
        EXPECT_EQ(windowsPath.rfind(base, 0), 0u) << windowsPath;
        std::string relative = windowsPath.substr(base.size());
        std::replace(relative.begin(), relative.end(), '\\', '/');
        return relative;
    };
    std::vector<std::string> dryMessages;
    for (const DryRunEvent& event : log) {
        switch (event.kind) {
            case DryRunEvent::Kind::kDirectory:
                expected[relative(event.path)] = Node{.directory = true};
                break;
            case DryRunEvent::Kind::kCopy:
                expected[relative(event.second)] =
                    Node{.bytes = harness_.dir.Read(relative(event.path))};
                break;
            case DryRunEvent::Kind::kWrite:
                expected[relative(event.path)] = Node{.bytes = event.contents};
                break;
            case DryRunEvent::Kind::kMessage:
                dryMessages.push_back(event.contents);
                break;
            default:
                break;
        }
    }

    EXPECT_EQ(PressInstall(harness_.platform, {}), InstallOutcome::kFailed);
    std::vector<std::string> realMessages;
    for (const platform::UiEvent& message : harness_.ui.Messages()) {
        if (message.kind == platform::UiEvent::Kind::kMessageText) {
            realMessages.push_back(message.text);
        }
    }
    EXPECT_EQ(realMessages, dryMessages);
    EXPECT_EQ(dryMessages.size(), 4u);  // one question, three failures

    Tree actual = Snapshot(harness_.dir.Path());
    ASSERT_EQ(actual.size(), expected.size());
    for (const auto& [path, node] : expected) {
        SCOPED_TRACE(path);
        ASSERT_TRUE(actual.count(path));
        EXPECT_EQ(actual[path].directory, node.directory);
        EXPECT_EQ(actual[path].bytes, node.bytes);
    }
}

TEST(DryRunWithoutHost, ReportsTheMissingHostAndPlansNothing) {
    testing::TempDir dir;
    dir.Write("pkg/InstSkript.txt", "Dateinstallation{}Texturskript{}");
    CheckEnvironment environment;
    platform::MemoryRegistry empty;
    const Report report = environment.Check(dir.WindowsPath("pkg"), empty);
    EXPECT_TRUE(report.plan.empty());
    EXPECT_EQ(report.ExitCode(), 2);
    EXPECT_EQ(report.findings.front().code, "host-missing");
}

TEST(DryRunCatalog, UnreadableOrReadOnlyCatalogueIsAnError) {
    struct Case {
        const char* name;
        std::function<void(InstallHarness&)> prepare;
        const char* code;
    };
    const std::vector<Case> cases = {
        {"read-only", [](InstallHarness& h) { testing::MakeReadOnly(h.CatalogHostPath()); },
         "catalog-write-fails"},
        {"missing", [](InstallHarness& h) { fs::remove(h.CatalogHostPath()); }, "catalog-missing"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        InstallHarness harness;
        harness.WriteScript("Dateinstallation{}Texturskript{{1>>Textur{id(1)}}}");
        c.prepare(harness);
        CheckEnvironment environment;
        const Report report = environment.Check(harness.PackagePath(), harness.registry);
        const bool found = std::any_of(report.findings.begin(), report.findings.end(),
                                       [&](const Finding& f) { return f.code == c.code; });
        EXPECT_TRUE(found);
        EXPECT_EQ(report.outcome, "Error during installation process.");
    }
}

// A package file that is a link out of the package, and a destination inside the package (a
// package unpacked inside the host, which here is the folder that holds the package).
TEST(DryRunLinks, LinksOutOfThePackageAndWritesIntoItAreErrors) {
    InstallHarness harness;
    auto& dir = harness.dir;
    dir.Write("secret.dat", "secret");
    dir.Write("pkg/Model.dat", "model");
    if (!testing::MakeSymlink(dir.HostPath("secret.dat"), dir.HostPath("pkg/Leak.dat"))) {
        GTEST_SKIP() << "no symbolic links can be made here";
    }
    harness.registry.SetString("Software\\Tessaline\\HMDX", "AppPath", dir.WindowsPath("Host.exe"));
    harness.WriteScript(
        "Dateinstallation\n"
        "{\n"
        "    {Leak.dat >> Leak.dat}\n"          // 3
        "    {Model.dat >> pkg\\Model2.dat}\n"  // 4
        "    {Model.dat >> Model.dat}\n"        // 5
        "}\n");
    CheckEnvironment environment;
    const Report report = environment.Check(harness.PackagePath(), harness.registry);
    testing::RemoveSymlink(dir.HostPath("pkg/Leak.dat"));
    const std::vector<testing::FindingKey> expected = {
        {Severity::kError, 0, "section-missing"},
        {Severity::kError, 3, "source-outside"},
        {Severity::kError, 4, "destination-in-package"}};
    EXPECT_EQ(testing::Keys(report), expected);
    ASSERT_EQ(report.plan.size(), 3u);
    EXPECT_EQ(report.plan[0].action, "fail");
    EXPECT_NE(report.plan[0].detail.find("link"), std::string::npos) << report.plan[0].detail;
    EXPECT_EQ(report.plan[1].action, "fail");
    EXPECT_EQ(report.plan[2].action, "create");
}

// Over a host with records of two stacked packages and one damaged record, the plan names the
// package on top of each file and texture block it replaces, and none where no record put it.
TEST(DryRunOwners, NamesThePackageOnTopOfWhatItReplaces) {
    InstallHarness harness;
    auto& dir = harness.dir;
    dir.Write("host/u.dat", "the host's own");
    testing::SetLastWriteTime(dir.HostPath("host/u.dat"), kPackageTime - kSecond);
    harness.WriteCatalog("Texturen{ Textur{ id(5) host } }\r\n");
    const auto install = [&](const std::string& name, const std::string& script) {
        for (const char* file : {"a.dat", "s.dat", "c.dat"}) {
            dir.Write(name + "/" + file, name + " " + file);
            testing::SetLastWriteTime(dir.HostPath(name + "/" + file), kPackageTime - kSecond);
        }
        dir.Write(name + "/InstSkript.txt", script);
        harness.system.moduleFileName = dir.WindowsPath(name) + "\\Kolvane.exe";
        ASSERT_EQ(PressInstall(harness.platform, {.silent = true, .record = true}),
                  InstallOutcome::kSucceeded);
    };
    install("A",
            "Dateinstallation{{a.dat>>a.dat}{s.dat>>s.dat}}"
            "Texturskript{{5>>Textur{ id(5) A }}{6>>Textur{ id(6) A }}}");
    install("B", "Dateinstallation{{s.dat>>s.dat}}Texturskript{{6>>Textur{ id(6) B }}}");
    install("C", "Dateinstallation{{c.dat>>c.dat}}Texturskript{}");
    const std::vector<records::Installed> installed =
        records::ListInstalled(*harness.realFiles, harness.HostDir());
    const records::Installed* damaged = records::Find(installed, "C");
    ASSERT_NE(damaged, nullptr);
    const std::string record = damaged->file.substr(damaged->file.rfind('\\') + 1);
    std::string text = dir.Read("host/Kolvane/" + record);
    text.replace(text.find("state finished"), 14, "state unknown");  // its fifth line
    dir.Write("host/Kolvane/" + record, text);

    for (const char* file : {"a.dat", "s.dat", "c.dat", "u.dat"}) {
        dir.Write(std::string("pkg/") + file, "new");
        testing::SetLastWriteTime(dir.HostPath(std::string("pkg/") + file), kPackageTime);
    }
    harness.WriteScript(
        "Dateinstallation{{a.dat>>a.dat}{s.dat>>s.dat}{c.dat>>c.dat}{u.dat>>u.dat}}\n"
        "Texturskript{{5>>Textur{ id(5) new }}{6>>Textur{ id(6) new }}{7>>Textur{ id(7) }}}\n");
    CheckEnvironment environment;
    const Report report = environment.Check(harness.PackagePath(), harness.registry);

    struct Case {
        std::string subject, action, owner;  // no owner: ""
    };
    const std::vector<Case> cases = {{harness.HostDir("a.dat"), "replace", "A"},
                                     {harness.HostDir("s.dat"), "replace", "B"},
                                     {harness.HostDir("c.dat"), "replace", ""},
                                     {harness.HostDir("u.dat"), "replace", ""},
                                     {"id(5)", "replace", "A"},
                                     {"id(6)", "replace", "B"},
                                     {"id(7)", "add", ""}};
    ASSERT_EQ(report.plan.size(), cases.size());
    for (std::size_t i = 0; i < cases.size(); ++i) {
        const Case& c = cases[i];
        const PlanStep& step = report.plan[i];
        SCOPED_TRACE(c.subject);
        EXPECT_EQ(step.subject, c.subject);
        EXPECT_EQ(step.action, c.action);
        ASSERT_EQ(step.owner.has_value(), !c.owner.empty());
        if (step.owner) {
            EXPECT_EQ(step.owner->name, c.owner);
            EXPECT_EQ(step.owner->date, records::Find(installed, c.owner)->record->date);
        }
    }
    ASSERT_EQ(testing::Keys(report),
              (std::vector<testing::FindingKey>{{Severity::kWarning, 0, "record-unreadable"}}));
    EXPECT_NE(report.findings[0].message.find(record + ":5:"), std::string::npos)
        << report.findings[0].message;
}

}  // namespace
}  // namespace kolvane::check
