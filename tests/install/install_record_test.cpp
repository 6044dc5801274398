// The record an installation leaves in the host's folder "Kolvane", on the platform's own files:
// what each entry did, the old versions in the store, and a run that cannot record.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "install/installer.h"
#include "records/content_hash.h"
#include "records/install_record.h"
#include "records/recorder.h"
#include "support/install_harness.h"
#include "support/real_files.h"

namespace kolvane {
namespace {

namespace fs = std::filesystem;
using records::FileAction;
using records::HashOf;
using records::TextureAction;
using Ids = std::vector<int>;

constexpr platform::FileTime kOld = 132000000000000000;
constexpr platform::FileTime kPackage = 133000000000000000;

class InstallRecordTest : public ::testing::Test {
  protected:
    InstallRecordTest() {
        h_.dir.Write("pkg/a.dat", "new a");
        h_.dir.Write("pkg/b.dat", "b");
        testing::SetLastWriteTime(h_.dir.HostPath("pkg/a.dat"), kPackage);
        h_.dir.Write("host/a.dat", "old a");
        testing::SetLastWriteTime(h_.dir.HostPath("host/a.dat"), kOld);
        h_.WriteCatalog("Textur{ id(5) old }");
        h_.WriteScript(
            "Dateinstallation{{a.dat>>a.dat}{b.dat>>Neu\\Teil\\b.dat}}"
            "Texturskript{{5>>Textur{ id(5) A }}{7>>Textur{ id(7) }}}");
    }

    // Installs on the platform's own files, recording.
    InstallOutcome Install() {
        platform::Platform platform{h_.registry, *h_.realFiles, h_.ui, h_.system};
        return PressInstall(platform, {.silent = false, .record = true});
    }

    // The records in the host's record folder, oldest first, read.
    std::vector<records::InstallRecord> Records() {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(h_.dir.HostPath("host/Kolvane"))) {
            if (entry.is_regular_file() && entry.path().extension() == ".txt") {
                names.push_back(entry.path().filename().string());
            }
        }
        // A second record of the same second and package is named with "-2" before ".txt".
        std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
            return a.size() != b.size() ? a.size() < b.size() : a < b;
        });
        std::vector<records::InstallRecord> read;
        for (const std::string& name : names) {
            records::ReadError error;
            const auto record = records::ReadRecord(h_.dir.Read("host/Kolvane/" + name), error);
            EXPECT_TRUE(record) << records::DescribeError(name, error);
            if (record) {
                read.push_back(*record);
            }
        }
        return read;
    }

    std::string Stored(const std::string& contents) const {
        return "host/Kolvane/store/" + records::HashText(HashOf(contents));
    }

    testing::InstallHarness h_;
};

TEST_F(InstallRecordTest, RecordsEveryEntryAndKeepsWhatItReplaced) {
    const std::string catalogBefore = h_.ReadCatalog();
    ASSERT_EQ(Install(), InstallOutcome::kSucceeded);
    EXPECT_EQ(h_.ui.MessageIds(), Ids{204});
    std::vector<records::InstallRecord> read = Records();
    ASSERT_EQ(read.size(), 1u);
    const records::InstallRecord& record = read[0];
    EXPECT_EQ(record.state, records::RecordState::kFinished);
    EXPECT_EQ(record.package, "pkg");
    EXPECT_EQ(record.host, h_.HostDir());
    EXPECT_EQ(record.folders, (std::vector<std::string>{"Neu", "Neu\\Teil"}));
    ASSERT_EQ(record.files.size(), 2u);
    EXPECT_EQ(record.files[0], (records::FileEntry{FileAction::kReplaced, "a.dat",
                                                   records::FileStamp{5, kPackage, HashOf("new a")},
                                                   records::FileStamp{5, kOld, HashOf("old a")}}));
    EXPECT_EQ(record.files[1].action, FileAction::kCreated);
    EXPECT_EQ(record.files[1].now->hash, HashOf("b"));
    // The replaced file and the catalogue as they were, in the store under their hashes.
    EXPECT_EQ(h_.dir.Read(Stored("old a")), "old a");
    EXPECT_EQ(testing::GetLastWriteTime(h_.dir.HostPath(Stored("old a"))), kOld);
    EXPECT_EQ(h_.dir.Read(Stored(catalogBefore)), catalogBefore);
    ASSERT_TRUE(record.catalog);
    EXPECT_EQ(record.catalog->path, h_.CatalogPath());
    EXPECT_EQ(record.catalog->before.hash, HashOf(catalogBefore));
    EXPECT_EQ(record.catalog->after.hash, HashOf(h_.ReadCatalog()));
    ASSERT_EQ(record.textures.size(), 2u);
    EXPECT_EQ(record.textures[0],
              (records::TextureEntry{TextureAction::kReplaced, 5, "Textur{\tid(5)\tA}\n\t\t",
                                     "Textur{\tid(5)\told}"}));
    EXPECT_EQ(record.textures[1].action, TextureAction::kInserted);

    // Again: nothing is replaced, nothing more is stored, and a second record tells so.
    const std::size_t stored = static_cast<std::size_t>(std::distance(
        fs::directory_iterator(h_.dir.HostPath("host/Kolvane/store")), fs::directory_iterator()));
    ASSERT_EQ(Install(), InstallOutcome::kSucceeded);
    read = Records();
    ASSERT_EQ(read.size(), 2u);
    EXPECT_TRUE(read[1].folders.empty());
    for (const records::FileEntry& file : read[1].files) {
        EXPECT_EQ(file.action, FileAction::kKeptIdentical) << file.path;
    }
    EXPECT_EQ(static_cast<std::size_t>(
                  std::distance(fs::directory_iterator(h_.dir.HostPath("host/Kolvane/store")),
                                fs::directory_iterator())),
              stored + 1)
        << "only the catalogue's new contents";
}

// The record says "started" before the first change and lags at most a batch of entries (and a
// moment) behind the run, so that a run killed half-way leaves a record that says so.
TEST_F(InstallRecordTest, TellsOfARunThatDidNotEnd) {
    records::Recorder recorder(*h_.realFiles, h_.HostDir(), std::chrono::milliseconds(0));
    ASSERT_TRUE(recorder.Begin("pkg", HashOf("script"), kPackage));
    const auto written = [&] {
        records::ReadError error;
        const std::string path = recorder.RecordPath();
        const auto record = records::ReadRecord(
            h_.dir.Read("host/Kolvane/" + path.substr(path.rfind('\\') + 1)), error);
        EXPECT_TRUE(record) << records::DescribeError(path, error);
        return record.value_or(records::InstallRecord{});
    };
    EXPECT_EQ(written().state, records::RecordState::kStarted);
    EXPECT_EQ(written().date, "2022-06-18T04:26:40Z");
    for (std::size_t entry = 1; entry <= records::kEntriesPerWrite; ++entry) {
        recorder.FileLeft(h_.HostDir("x" + std::to_string(entry)), FileAction::kKeptNewer);
        EXPECT_EQ(written().files.size(), entry < records::kEntriesPerWrite ? 0 : entry);
    }
    recorder.FileLeft(h_.HostDir("last"), FileAction::kKeptNewer);
    recorder.Finish();
    EXPECT_EQ(written().state, records::RecordState::kFinished);
    EXPECT_EQ(written().files.size(), records::kEntriesPerWrite + 1);
}

TEST_F(InstallRecordTest, RefusesDestinationsInTheRecordFolder) {
    h_.WriteScript("Dateinstallation{{b.dat>>kolvane\\store\\x.dat}} Texturskript{}");
    EXPECT_EQ(Install(), InstallOutcome::kFailed);
    ASSERT_EQ(h_.ui.Messages().size(), 2u);
    EXPECT_EQ(h_.ui.Messages()[0].text, "Copying of the file " + h_.PackagePath("b.dat") + " to " +
                                            h_.HostDir("kolvane\\store\\x.dat") +
                                            " failed. Maybe a write protection is set?");
    EXPECT_EQ(h_.ui.MessageIds(), Ids{203});
    EXPECT_FALSE(h_.dir.Exists("host/Kolvane/store/x.dat"));
}

// A folder "Kolvane" that cannot hold records (a file of that name, a link that leads out of the
// host) does not stop the installation: it says once that it is not recorded, and installs.
TEST_F(InstallRecordTest, InstallsWhereNothingCanBeRecorded) {
    h_.dir.Write("host/Kolvane", "a file");
    fs::create_directories(h_.dir.HostPath("elsewhere"));
    for (const bool link : {false, true}) {
        SCOPED_TRACE(link ? "a link" : "a file");
        if (link) {
            fs::remove(h_.dir.HostPath("host/Kolvane"));
            if (!testing::MakeSymlink(h_.dir.HostPath("elsewhere"),
                                      h_.dir.HostPath("host/Kolvane"))) {
                GTEST_SKIP() << "no symbolic links can be made here";
            }
        }
        h_.ui = platform::ScriptedUi();
        EXPECT_EQ(Install(), InstallOutcome::kSucceeded);
        ASSERT_EQ(h_.ui.Messages().size(), 2u);
        EXPECT_EQ(h_.ui.Messages()[0].text, "This installation cannot be recorded in " +
                                                h_.HostDir("Kolvane") +
                                                ". It goes on without a record and cannot be "
                                                "taken back later.");
        EXPECT_EQ(h_.ui.MessageIds(), Ids{204});
        EXPECT_EQ(h_.dir.Read("host/a.dat"), "new a");
    }
    EXPECT_TRUE(fs::is_empty(h_.dir.HostPath("elsewhere")));
    testing::RemoveSymlink(h_.dir.HostPath("host/Kolvane"));
}

}  // namespace
}  // namespace kolvane
