// Installations taken back by their records, as scenarios of installs and removals: the host
// tree and the catalogue end byte for byte (and file times) as they were, a file the user changed
// since is kept and reported, a damaged record is listed and removes nothing.
#include "remove/remover.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "install/installer.h"
#include "records/content_hash.h"
#include "records/installed.h"
#include "support/install_harness.h"
#include "support/real_files.h"
#include "textures/catalog_text.h"

namespace kolvane::removal {
namespace {

namespace fs = std::filesystem;
using records::Find;
using records::ListInstalled;

constexpr platform::FileTime kOld = 132000000000000000;

// Every file below the host's folder but the records, with its bytes and time; and the catalogue.
using Snapshot = std::map<std::string, std::pair<std::string, platform::FileTime>>;

// The catalogue's blocks in their order, each as its text holds it.
std::vector<std::string> Blocks(const std::string& text) {
    std::vector<std::string> blocks;
    for (std::size_t at = text.find(catalog::kEntryStart); at != std::string::npos;
         at = text.find(catalog::kEntryStart, at + 1)) {
        const catalog::Position end = catalog::FindBlockEnd(text, at);
        blocks.push_back(text.substr(at, end == catalog::kNone ? end : end - at + 1));
    }
    return blocks;
}

class RemoverTest : public ::testing::Test {
  protected:
    RemoverTest() {
        h_.dir.Write("host/a.dat", "old a");
        h_.dir.Write("host/Alt/c.dat", "old c");
        for (const char* file : {"host/a.dat", "host/Alt/c.dat"}) {
            testing::SetLastWriteTime(h_.dir.HostPath(file), kOld);
        }
        h_.WriteCatalog("Texturen{ Textur{ id(5) old } Textur{ id(9) nine } }");
        Package("A", {{"a.dat", "A a"}, {"b.dat", "A b"}},
                "Dateinstallation{{a.dat>>a.dat}{b.dat>>Neu\\Tief\\b.dat}}"
                "Texturskript{{5>>Textur{ id(5) A }}{7>>Textur{ id(7) A }}}");
        Package("B", {{"a.dat", "B a"}, {"c.dat", "B c"}},
                "Dateinstallation{{a.dat>>a.dat}{c.dat>>Alt\\c.dat}}"
                "Texturskript{{7>>Textur{ id(7) B }}{8>>Textur{ id(8) B }}{9>>}}");
    }

    void Package(const std::string& name, const std::map<std::string, std::string>& files,
                 const std::string& script) {
        platform::FileTime time = kOld + 1000;
        for (const auto& [file, contents] : files) {
            h_.dir.Write(name + "/" + file, contents);
            testing::SetLastWriteTime(h_.dir.HostPath(name + "/" + file), time++);
        }
        h_.dir.Write(name + "/InstSkript.txt", script);
    }

    void Install(const std::string& package) {
        h_.system.moduleFileName = h_.dir.WindowsPath(package) + "\\Kolvane.exe";
        platform::Platform platform{h_.registry, files_, h_.ui, h_.system};
        ASSERT_EQ(PressInstall(platform, {.silent = true, .record = true}),
                  InstallOutcome::kSucceeded);
    }

    Removal RemoveNamed(const std::string& name) {
        const std::vector<Installed> installed = ListInstalled(files_, h_.HostDir());
        const Installed* package = Find(installed, name);
        EXPECT_NE(package, nullptr) << name;
        if (package == nullptr || !package->record) {
            return {};
        }
        return Remove(files_, h_.HostDir(), *package,
                      Look(files_, h_.HostDir(), *package->record, &installed), installed);
    }

    Snapshot Take() const {
        Snapshot snapshot;
        for (const auto& entry : fs::recursive_directory_iterator(h_.dir.HostPath("host"))) {
            const std::string relative =
                fs::relative(entry.path(), h_.dir.HostPath("host")).generic_string();
            if (relative.rfind("Kolvane", 0) == 0) {
                continue;
            }
            snapshot[relative] = entry.is_regular_file()
                                     ? std::pair(h_.dir.Read("host/" + relative),
                                                 testing::GetLastWriteTime(entry.path().string()))
                                     : std::pair(std::string("<folder>"), platform::FileTime{0});
        }
        snapshot["<catalogue>"] = {h_.ReadCatalog(), 0};
        return snapshot;
    }

    // The old versions that the store keeps.
    std::size_t Stored() const {
        const fs::path store = h_.dir.HostPath("host/Kolvane/store");
        return fs::exists(store) ? static_cast<std::size_t>(std::distance(
                                       fs::directory_iterator(store), fs::directory_iterator()))
                                 : 0;
    }

    testing::InstallHarness h_;
    platform::Files& files_ = *h_.realFiles;
};

TEST_F(RemoverTest, RemovingTheStackFromTheTopRestoresTheHostExactly) {
    const Snapshot before = Take();
    Install("A");
    const Snapshot afterA = Take();
    Install("B");
    ASSERT_EQ(ListInstalled(files_, h_.HostDir()).front().name, "B") << "newest first";

    const Removal b = RemoveNamed("B");
    EXPECT_FALSE(b.Failed());
    EXPECT_EQ(b.restored, (std::vector<std::string>{"Alt\\c.dat", "a.dat"}));
    EXPECT_EQ(Take(), afterA);
    const Removal a = RemoveNamed("A");
    EXPECT_FALSE(a.Failed());
    EXPECT_EQ(a.deleted, std::vector<std::string>{"Neu\\Tief\\b.dat"});
    EXPECT_EQ(a.foldersRemoved, (std::vector<std::string>{"Neu\\Tief", "Neu"}));
    EXPECT_EQ(Take(), before);
    EXPECT_TRUE(ListInstalled(files_, h_.HostDir()).empty());
    EXPECT_EQ(Stored(), 0u) << "no record is left to put an old version back";
}

// Removing the lower package first changes nothing of what the upper one replaced, and hands it
// what was there before: removing the upper one then restores the files as they were before both
// (times too) and the catalogue's blocks, in their order, with their texts.
TEST_F(RemoverTest, RemovingTheStackFromTheBottomHandsTheOldStateUp) {
    const Snapshot before = Take();
    Install("A");
    Install("B");
    std::vector<Installed> installed = ListInstalled(files_, h_.HostDir());
    const Survey lower = Look(files_, h_.HostDir(), *installed[1].record, &installed);
    EXPECT_TRUE(lower.Covered());
    EXPECT_FALSE(lower.Differs());

    const Removal a = RemoveNamed("A");
    EXPECT_FALSE(a.Failed());
    EXPECT_EQ(a.handedOn, std::vector<std::string>{"B"});
    EXPECT_EQ(a.deleted, std::vector<std::string>{"Neu\\Tief\\b.dat"});
    EXPECT_EQ(h_.dir.Read("host/a.dat"), "B a") << "the upper package's file stays";
    const Removal b = RemoveNamed("B");
    EXPECT_FALSE(b.Failed());
    Snapshot after = Take();
    EXPECT_EQ(Blocks(catalog::CanonicalLayout(after["<catalogue>"].first)),
              Blocks(catalog::CanonicalLayout(before.at("<catalogue>").first)));
    after["<catalogue>"] = before.at("<catalogue>");
    EXPECT_EQ(after, before);
    EXPECT_EQ(Stored(), 0u) << "what the hand-on replaced goes too";
}

// A package without textures still wrote the catalogue back in its layout: its removal puts the
// old bytes back.
TEST_F(RemoverTest, PutsBackTheCatalogueThatARunWithoutTexturesLaidOut) {
    const Snapshot before = Take();
    Package("C", {{"c.dat", "C"}}, "Dateinstallation{{c.dat>>c.dat}} Texturskript{}");
    Install("C");
    ASSERT_NE(h_.ReadCatalog(), before.at("<catalogue>").first);
    EXPECT_FALSE(RemoveNamed("C").Failed());
    EXPECT_EQ(Take(), before);
}

// A removal stopped half-way (here: its first file deleted, the next put back) is finished by
// the next one, which finds those items undone already.
TEST_F(RemoverTest, ARemovalStoppedHalfWayIsFinishedByTheNext) {
    const Snapshot before = Take();
    Install("A");
    fs::remove(h_.dir.HostPath("host/Neu/Tief/b.dat"));
    h_.dir.Write("host/a.dat", "old a");
    testing::SetLastWriteTime(h_.dir.HostPath("host/a.dat"), kOld);
    const Removal again = RemoveNamed("A");
    EXPECT_FALSE(again.Failed());
    EXPECT_TRUE(again.deleted.empty());
    EXPECT_TRUE(again.restored.empty());
    EXPECT_TRUE(again.left.empty());
    EXPECT_EQ(Take(), before);
    EXPECT_TRUE(ListInstalled(files_, h_.HostDir()).empty());
}

TEST_F(RemoverTest, KeepsAndNamesWhatTheUserChangedSince) {
    Install("A");
    h_.dir.Write("host/Neu/Tief/b.dat", "the user's own");
    // The catalogue changed too: its blocks are taken back one by one.
    h_.WriteCatalog(h_.ReadCatalog() + "Textur{ id(20) user }");
    const Survey survey =
        Look(files_, h_.HostDir(), *ListInstalled(files_, h_.HostDir()).front().record);
    EXPECT_TRUE(survey.Differs());
    EXPECT_FALSE(survey.catalogAsLeft);
    const Removal removal = RemoveNamed("A");
    EXPECT_FALSE(removal.Failed());
    EXPECT_EQ(removal.left, std::vector<std::string>{"Neu\\Tief\\b.dat"});
    EXPECT_EQ(h_.dir.Read("host/Neu/Tief/b.dat"), "the user's own");
    EXPECT_EQ(h_.dir.Read("host/a.dat"), "old a");
    EXPECT_EQ(testing::GetLastWriteTime(h_.dir.HostPath("host/a.dat")), kOld);
    const std::string catalogue = h_.ReadCatalog();
    EXPECT_NE(catalogue.find("id(5)\told"), std::string::npos);
    EXPECT_EQ(catalogue.find("id(7)"), std::string::npos);
    EXPECT_NE(catalogue.find("id(20)\tuser"), std::string::npos);
}

// With force, what changed since is taken back too, its contents kept in the store first.
TEST_F(RemoverTest, ForceTakesBackWhatChangedKeepingItInTheStore) {
    const Snapshot before = Take();
    Install("A");
    h_.dir.Write("host/Neu/Tief/b.dat", "the user's own");
    const std::vector<Installed> installed = ListInstalled(files_, h_.HostDir());
    const Removal removal =
        Remove(files_, h_.HostDir(), installed[0],
               Look(files_, h_.HostDir(), *installed[0].record, &installed), installed, true);
    EXPECT_FALSE(removal.Failed());
    EXPECT_EQ(removal.forced, std::vector<std::string>{"Neu\\Tief\\b.dat"});
    EXPECT_EQ(Take(), before);
    EXPECT_EQ(
        h_.dir.Read("host/Kolvane/store/" + records::HashText(records::HashOf("the user's own"))),
        "the user's own");
}

TEST_F(RemoverTest, ADamagedRecordIsListedAndRemovesNothing) {
    Install("A");
    Install("B");
    const std::vector<Installed> listed = ListInstalled(files_, h_.HostDir());
    ASSERT_EQ(listed.size(), 2u);
    const std::string damaged = listed[1].file;  // A's
    const std::string name = damaged.substr(damaged.rfind('\\') + 1);
    std::string text = h_.dir.Read("host/Kolvane/" + name);
    text.replace(text.find("file replaced \"a.dat\""), 21, "file replaced \"..\\x\"");
    h_.dir.Write("host/Kolvane/" + name, text);
    const Snapshot before = Take();

    const std::vector<Installed> again = ListInstalled(files_, h_.HostDir());
    ASSERT_EQ(again.size(), 2u);
    EXPECT_EQ(again[0].name, "B") << "the others are still listed";
    EXPECT_FALSE(again[1].record);
    EXPECT_EQ(again[1].name, name);
    EXPECT_NE(again[1].error.find(name + ":8: damaged record: the path leaves"), std::string::npos)
        << again[1].error;
    EXPECT_EQ(Take(), before);
}

// Files hashed two at a time, more than are opened ahead, come back in their order, each as
// hashing it alone tells: hashed, missing, or unreadable (a folder).
TEST_F(RemoverTest, FilesHashedTogetherAreEachAsHashedAlone) {
    std::vector<std::string> paths;
    for (int i = 0; i < 40; ++i) {
        const std::string name = "many/" + std::to_string(i) + ".dat";
        if (i % 7 != 3) {
            h_.dir.Write(name, std::string(static_cast<std::size_t>(i) * 1000, char('a' + i)));
        }
        paths.push_back(h_.dir.WindowsPath("many") + "\\" + std::to_string(i) + ".dat");
    }
    paths.push_back(h_.dir.WindowsPath("many"));
    const std::vector<records::FileHash> hashes = records::HashAll(files_, paths);
    ASSERT_EQ(hashes.size(), paths.size());
    for (std::size_t i = 0; i < paths.size(); ++i) {
        SCOPED_TRACE(paths[i]);
        bool missing = false;
        EXPECT_EQ(hashes[i].hash, records::HashAt(files_, paths[i], missing));
        EXPECT_EQ(hashes[i].missing, missing);
    }
    EXPECT_EQ(hashes[1].hash, records::HashOf(std::string(1000, 'b')));
    EXPECT_TRUE(hashes[3].missing);
    EXPECT_FALSE(hashes[40].hash || hashes[40].missing);
}

}  // namespace
}  // namespace kolvane::removal
