// A removal by name without questions, as the Windows remover's silent form runs it: what it
// refuses leaves the host untouched, and one removal at a time works on a host.
#include "remove/removal_run.h"

#include <gtest/gtest.h>

#include <map>

#include "install/installer.h"
#include "names/letter_case.h"
#include "records/content_hash.h"
#include "records/host_lock.h"
#include "records/recorder.h"
#include "remove/program_entries.h"
#include "support/install_harness.h"

namespace kolvane::removal {
namespace {

class RemovalRunTest : public ::testing::Test {
  protected:
    RemovalRunTest() {
        h_.dir.Write("pkg/a.dat", "A");
        h_.WriteScript("Dateinstallation{{a.dat>>Neu\\a.dat}}Texturskript{{7>>Textur{ id(7) }}}");
    }

    void Install() {
        ASSERT_EQ(PressInstall(h_.platform, {.silent = true, .record = true}),
                  InstallOutcome::kSucceeded);
    }
    bool FileThere() const { return h_.dir.Exists("host/Neu/a.dat"); }

    testing::InstallHarness h_;
    platform::Files& files_ = *h_.realFiles;
};

TEST_F(RemovalRunTest, RefusesWhatItCannotRemoveAndRemovesNothing) {
    EXPECT_EQ(RemoveByName(files_, h_.HostDir(), "pkg").status, RunStatus::kNoRecords);
    Install();
    EXPECT_EQ(RemoveByName(files_, h_.HostDir(), "other").status, RunStatus::kNoPackage);
    {
        const records::HostLock held(files_, h_.HostDir(), std::chrono::milliseconds(0));
        ASSERT_EQ(held.Result(), platform::ClaimResult::kClaimed);
        EXPECT_EQ(RemoveByName(files_, h_.HostDir(), "pkg").status, RunStatus::kBusy);
    }
    {
        // An installation that records holds the lock from its start to its end.
        records::Recorder recording(files_, h_.HostDir());
        ASSERT_TRUE(recording.Begin("other", records::HashOf("script"), 0));
        EXPECT_EQ(RemoveByName(files_, h_.HostDir(), "pkg").status, RunStatus::kBusy);
        recording.Finish();
        const records::HostLock free(files_, h_.HostDir(), std::chrono::milliseconds(0));
        EXPECT_EQ(free.Result(), platform::ClaimResult::kClaimed) << "given up at the end";
    }
    EXPECT_TRUE(FileThere());

    const RunResult removed = RemoveByName(files_, h_.HostDir(), "pkg");
    EXPECT_EQ(removed.status, RunStatus::kRemoved);
    EXPECT_EQ(removed.name, "pkg");
    EXPECT_FALSE(FileThere());
    EXPECT_EQ(RemoveByName(files_, h_.HostDir(), "pkg").status, RunStatus::kNoPackage)
        << "removed already";
}

TEST_F(RemovalRunTest, FindsAPackageByItsRecordKeyAndLeavesWhatChanged) {
    Install();
    const std::vector<Installed> installed = records::ListInstalled(files_, h_.HostDir());
    ASSERT_EQ(installed.size(), 1u);
    const std::string key = RecordKey(installed.front());
    EXPECT_EQ(key.rfind("record-", 0), 0u) << key;
    EXPECT_EQ(FindByNameOrKey(installed, key), &installed.front());

    h_.dir.Write("host/Neu/a.dat", "the user's own");
    const RunResult result = RemoveByName(files_, h_.HostDir(), key);
    EXPECT_EQ(result.status, RunStatus::kRemoved);
    EXPECT_EQ(result.removal.left, std::vector<std::string>{"Neu\\a.dat"});
    EXPECT_EQ(h_.dir.Read("host/Neu/a.dat"), "the user's own");
}

TEST_F(RemovalRunTest, ADamagedRecordIsNamedAndActedOnNot) {
    Install();
    const std::vector<Installed> installed = records::ListInstalled(files_, h_.HostDir());
    const std::string file = "host/Kolvane/" + RecordKey(installed.front()) + ".txt";
    std::string text = h_.dir.Read(file);
    text.replace(text.find("\nfile "), 6, "\nfile? ");
    h_.dir.Write(file, text);

    const std::string name = RecordKey(installed.front());
    const RunResult result = RemoveByName(files_, h_.HostDir(), name);
    EXPECT_EQ(result.status, RunStatus::kDamaged);
    EXPECT_NE(result.detail.find(name + ".txt:"), std::string::npos) << result.detail;
    EXPECT_TRUE(FileThere());
}

TEST_F(RemovalRunTest, EachRecordHasItsEntryInTheListOfPrograms) {
    Install();
    const std::vector<Installed> installed = records::ListInstalled(files_, h_.HostDir());
    const std::string host = h_.HostDir();
    const std::vector<platform::ProgramEntry> entries = ProgramEntries(host, installed);
    ASSERT_EQ(entries.size(), 1u);
    const std::string key = RecordKey(installed.front());
    EXPECT_EQ(entries[0].key, ProgramKeyPrefix(host) + key);
    EXPECT_EQ(ProgramKeyPrefix(names::FoldCase(host)), ProgramKeyPrefix(host));
    EXPECT_NE(ProgramKeyPrefix(host + "x\\"), ProgramKeyPrefix(host));

    std::map<std::string, std::string> values;
    for (const platform::ProgramValue& value : entries[0].values) {
        values[value.name] =
            value.type == platform::kRegDword ? std::to_string(value.number) : value.text;
    }
    const std::string remover = "\"" + host + "Kolvane\\KolvaneRemove.exe\"";
    const std::string date = installed.front().record->date;
    EXPECT_EQ(values,
              (std::map<std::string, std::string>{
                  {"DisplayIcon", host + "Kolvane\\KolvaneRemove.exe"},
                  {"DisplayName", "pkg (" + host.substr(0, host.size() - 1) + ")"},
                  {"EstimatedSize", "1"},
                  {"InstallDate", date.substr(0, 4) + date.substr(5, 2) + date.substr(8, 2)},
                  {"NoModify", "1"},
                  {"NoRepair", "1"},
                  {"Publisher", "Kolvane"},
                  {"QuietUninstallString", remover + " /S \"" + key + "\""},
                  {"UninstallString", remover + " \"" + key + "\""},
              }));
}

}  // namespace
}  // namespace kolvane::removal
