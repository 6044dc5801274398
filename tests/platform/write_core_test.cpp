// The write core's decisions, on the platform's own file system (posix natively, Win32 under
// Wine): what is left alone, what killed runs left and what is only named like it, and what a
// failing write leaves behind.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/doubles/fault_injecting_files.h"
#include "platform/write_core.h"
#include "platform_files_contract.h"
#include "platform_seams.h"
#include "support/real_files.h"
#include "support/temp_dir.h"

namespace kolvane::platform {
namespace {

namespace fs = std::filesystem;

class WriteCoreTest : public PlatformFilesContract {
  protected:
    // Installs `source` at `destination` as the file section does: copy, then normal attributes.
    bool Install(const std::string& source, const std::string& destination) {
        FileInfo made;
        const bool copied = files_->Copy(At(source), At(destination), nullptr, nullptr, &made);
        files_->MakeNormal(At(destination), copied ? &made : nullptr);
        return copied;
    }
};

// Attributes do not make a file different: a read-only package file installed again and again
// leaves the file that the first run wrote (and made writable) alone.
TEST_F(WriteCoreTest, SameBytesAreLeftAloneWhateverTheirAttributes) {
    testing::MakeReadOnly(dir_.Write("pkg/ro.dat", "model"));
    dir_.Write("pkg/rw.dat", "model");
    for (const char* name : {"ro.dat", "rw.dat"}) {
        SCOPED_TRACE(name);
        const std::string source = std::string("pkg\\") + name;
        const std::string destination = std::string("host\\") + name;
        fs::create_directories(Host("host"));
        ASSERT_TRUE(Install(source, destination));
        const std::uint64_t first = PlatformFiles::FileId(Host(std::string("host/") + name));
        for (int again = 0; again < 2; ++again) {
            ASSERT_TRUE(Install(source, destination));
            EXPECT_EQ(PlatformFiles::FileId(Host(std::string("host/") + name)), first)
                << "left alone";
        }
        EXPECT_FALSE(testing::IsReadOnly(Host(std::string("host/") + name)));
        EXPECT_EQ(dir_.Read(std::string("host/") + name), "model");
    }
}

// What killed runs left (temporary names whose check digits fit, held by no run) is removed from
// a folder of the host when a file is first written into it; nothing else is: not a file a run
// is still writing, not a user's file of a similar name, not what lies outside the host, and
// never through a link.
TEST_F(WriteCoreTest, RemovesOnlyWhatKilledRunsLeftInTheHost) {
    dir_.Write("pkg/a.dat", "new");
    const std::string killed = TemporaryName("a.dat", 0x0badcafe);
    const std::string live = TemporaryName("b.dat", 0x11223344);
    std::string wrongCheck = TemporaryName("c.dat", 0x55667788);
    wrongCheck.back() = wrongCheck.back() == '0' ? '1' : '0';
    struct Case {
        std::string name;  // in host/models
        bool removed;
    };
    const Case cases[] = {
        {killed, true},
        {TemporaryName("read-only.dat", 0x99aabbcc), true},
        {live, false},
        {wrongCheck, false},
        {"thesis.doc.~kvbackup", false},
        {".thesis.kolvane-backup", false},  // the names of other versions are not proof enough
        {"a.dat.~kv0a1b", false},
    };
    for (const Case& c : cases) {
        dir_.Write("host/models/" + c.name, "someone's bytes");
    }
    testing::MakeReadOnly(Host("host/models/" + cases[1].name));
    const PlatformFiles::WritingRun running(Host("host/models/" + live));
    ASSERT_TRUE(running.Holds());
    // A folder and a file of the host that links lead out of it, with leftover names beside.
    const std::string outside = TemporaryName("model.dat", 0x01020304);
    dir_.Write("out/" + outside, "the user's own");
    dir_.Write("out/model.dat", "old model");
    dir_.Write("out/folder/" + TemporaryName("x.dat", 0x05060708), "the user's own");
    const bool links = Link("out/model.dat", "host/models/model.dat") &&
                       Link("out/folder", "host/linked") &&
                       Link("out/" + outside, "host/models/" + TemporaryName("l.dat", 0x0a0b0c0d));

    files_->TidyWithin(At("host"));
    ASSERT_TRUE(Install("pkg\\a.dat", "host\\models\\a.dat"));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(!dir_.Exists("host/models/" + c.name), c.removed);
    }
    EXPECT_EQ(dir_.Read("host/models/a.dat"), "new");
    if (!links) {
        GTEST_SKIP() << "no symbolic links can be made here";
    }
    ASSERT_TRUE(Install("pkg\\a.dat", "host\\models\\model.dat"));
    ASSERT_TRUE(Install("pkg\\a.dat", "host\\linked\\x.dat"));
    EXPECT_EQ(dir_.Read("out/model.dat"), "new") << "written through the link";
    EXPECT_EQ(dir_.Read("out/" + outside), "the user's own");
    EXPECT_EQ(dir_.Read("out/folder/" + TemporaryName("x.dat", 0x05060708)), "the user's own");
}

// The platform's file system with writes in place that fail beyond the old end of the file, and
// truncation that fails at will: a full disk, and worse.
class FailingWrites : public FileSystem {
  public:
    explicit FailingWrites(std::unique_ptr<FileSystem> inner) : inner_(std::move(inner)) {}
    bool truncateFails = false;

    std::unique_ptr<NativeFile> OpenForReading(const std::string& path, bool othersWrite,
                                               OpenError& error) override {
        return inner_->OpenForReading(path, othersWrite, error);
    }
    std::unique_ptr<NativeFile> OpenForClaim(const std::string& path) override {
        return inner_->OpenForClaim(path);
    }
    Sight Look(const std::string& path, bool open, bool real) override {
        return inner_->Look(path, open, real);
    }
    std::optional<std::string> RealPath(const std::string& path) override {
        return inner_->RealPath(path);
    }
    bool Contains(const std::string& folder, const std::string& path) const override {
        return inner_->Contains(folder, path);
    }
    bool Names(const std::string& path, const NativeFile& file, bool unchanged) override {
        return inner_->Names(path, file, unchanged);
    }
    std::unique_ptr<Spot> SpotOf(const std::string& path, const Sight* present) override;
    MadeFolder MakeDirectory(const std::string& path) override {
        return inner_->MakeDirectory(path);
    }
    bool SetNormalAttributes(const std::string& path, const FileInfo* known) override {
        return inner_->SetNormalAttributes(path, known);
    }
    void Pause(std::chrono::milliseconds time) override { inner_->Pause(time); }

  private:
    std::unique_ptr<FileSystem> inner_;
};

class FailingFile : public NativeFile {
  public:
    FailingFile(std::unique_ptr<NativeFile> inner, const FailingWrites& system)
        : inner_(std::move(inner)), system_(system), end_(inner_->Info().size) {}

    const FileInfo& Info() const override { return inner_->Info(); }
    bool ReadAt(std::uint64_t offset, char* data, std::size_t size, std::size_t& got) override {
        return inner_->ReadAt(offset, data, size, got);
    }
    bool WriteAt(std::uint64_t offset, const char* data, std::size_t size) override {
        return offset + size <= end_ && inner_->WriteAt(offset, data, size);
    }
    bool CopyFrom(NativeFile& source, ReadWatch* watch) override {
        return inner_->CopyFrom(source, watch);
    }
    bool Truncate(std::uint64_t size) override {
        return !system_.truncateFails && inner_->Truncate(size);
    }
    bool Flush() override { return inner_->Flush(); }
    bool TakeTimeAndAttributes(const FileInfo& source) override {
        return inner_->TakeTimeAndAttributes(source);
    }
    bool KeepAttributesOf(const FileInfo* old) override { return inner_->KeepAttributesOf(old); }
    bool Refresh() override { return inner_->Refresh(); }
    LockResult Lock(bool exclusive) override { return inner_->Lock(exclusive); }

  private:
    std::unique_ptr<NativeFile> inner_;
    const FailingWrites& system_;
    std::uint64_t end_;
};

class FailingSpot : public Spot {
  public:
    FailingSpot(std::unique_ptr<Spot> inner, const FailingWrites& system)
        : inner_(std::move(inner)), system_(system) {}

    const std::optional<FileInfo>& Present() const override { return inner_->Present(); }
    bool MayWritePresent() const override { return inner_->MayWritePresent(); }
    bool KnownFree() const override { return inner_->KnownFree(); }
    bool FolderMadeThisRun() const override { return inner_->FolderMadeThisRun(); }
    std::optional<std::string> RealFolder() override { return inner_->RealFolder(); }
    const std::string& Name() const override { return inner_->Name(); }
    MakeResult MakeBeside(const std::string& name, const FileInfo* like, bool readable,
                          std::unique_ptr<NativeFile>& made) override {
        return inner_->MakeBeside(name, like, readable, made);
    }
    PutResult PutInPlace(std::unique_ptr<NativeFile>& made, const std::string& madeName,
                         bool replace) override {
        return inner_->PutInPlace(made, madeName, replace);
    }
    void RemoveBeside(const std::string& name, std::unique_ptr<NativeFile> made) override {
        inner_->RemoveBeside(name, std::move(made));
    }
    std::unique_ptr<NativeFile> OpenInPlace() override {
        std::unique_ptr<NativeFile> file = inner_->OpenInPlace();
        return file ? std::make_unique<FailingFile>(std::move(file), system_) : nullptr;
    }
    std::vector<std::string> NamesWith(std::string_view mark) override {
        return inner_->NamesWith(mark);
    }
    std::unique_ptr<NativeFile> OpenToRemove(const std::string& name) override {
        return inner_->OpenToRemove(name);
    }
    bool RemoveOpened(const std::string& name, std::unique_ptr<NativeFile> file) override {
        return inner_->RemoveOpened(name, std::move(file));
    }

  private:
    std::unique_ptr<Spot> inner_;
    const FailingWrites& system_;
};

std::unique_ptr<Spot> FailingWrites::SpotOf(const std::string& path, const Sight* present) {
    std::unique_ptr<Spot> spot = inner_->SpotOf(path, present);
    return spot ? std::make_unique<FailingSpot>(std::move(spot), *this) : nullptr;
}

// A file with several names is written in place. When the disk fills while the file grows, it is
// cut back to its old end and is as it was; where even that fails, the copy of its old contents
// stays beside it for the user.
TEST_F(WriteCoreTest, AFailedWriteInPlaceLeavesTheOldContentsWholeOrKept) {
    dir_.Write("pkg/model.dat", std::string(5000, 'n'));
    for (const bool truncateFails : {false, true}) {
        SCOPED_TRACE(truncateFails ? "truncation fails" : "truncation works");
        fs::remove_all(Host("host"));
        dir_.Write("host/model.dat", "old model");
        ASSERT_TRUE(testing::MakeHardLink(Host("host/model.dat"), Host("host/model2.dat")));
        FailingWrites system(PlatformFiles::MakeFileSystem(dir_));
        system.truncateFails = truncateFails;
        WriteCore core(system);
        EXPECT_FALSE(core.CopyFileOver(At("pkg\\model.dat"), At("host\\model.dat")));
        std::vector<std::string> beside;
        for (const auto& entry : fs::directory_iterator(Host("host"))) {
            const std::string name = entry.path().filename().string();
            if (name != "model.dat" && name != "model2.dat") {
                beside.push_back(name);
            }
        }
        if (truncateFails) {
            ASSERT_EQ(beside.size(), 1u);
            EXPECT_TRUE(IsTemporaryName(beside[0]));
            EXPECT_EQ(dir_.Read("host/" + beside[0]), "old model");
        } else {
            EXPECT_TRUE(beside.empty());
            EXPECT_EQ(dir_.Read("host/model2.dat"), "old model");
        }
    }
}

// Names one place to keep what a copy replaces, and puts together the source's bytes it hears.
class KeepAt : public CopyWatch {
  public:
    explicit KeepAt(std::string as) : as_(std::move(as)) {}
    void Read(std::uint64_t offset, std::string_view bytes) override {
        heard_.resize(std::max<std::size_t>(heard_.size(), offset + bytes.size()));
        heard_.replace(offset, bytes.size(), bytes);
    }
    std::string KeepAs(NativeFile* present, const std::string&) override {
        asked_ += present != nullptr ? 1 : 0;
        return as_;
    }
    void Starting(const std::string&) override { placing_.push_back("starting"); }
    void Placing(const std::string&) override { placing_.push_back(look_ ? look_() : ""); }
    std::string as_;
    std::string heard_;
    int asked_ = 0;
    std::function<std::string()> look_;  // what the destination holds when Placing is said
    std::vector<std::string> placing_;
};

// The old version of a replaced file is kept under a further name, without a copy where the file
// is renamed over; a copy where it is written in place (several names); nothing where nothing is
// replaced. The watch hears the package file's bytes wherever they are written.
TEST_F(WriteCoreTest, KeepsTheReplacedFileUnderAFurtherName) {
    constexpr FileTime kOld = 132000000000000000;
    dir_.Write("pkg/a.dat", "new model");
    fs::create_directories(Host("store"));
    struct Case {
        const char* folder;  // "replaced" again: the file that its step put there
        bool present;
        bool secondName;
        Kept kept;
    };
    for (const Case& step : {Case{"replaced", true, false, Kept::kLinked},
                             Case{"replaced", true, false, Kept::kNothing},
                             Case{"several names", true, true, Kept::kCopied},
                             Case{"nothing there", false, false, Kept::kNothing}}) {
        const std::string folder = step.folder;
        const std::string keepAs = folder + (step.kept == Kept::kNothing ? " kept" : "");
        SCOPED_TRACE(keepAs);
        if (step.present && !fs::exists(Host(folder))) {
            dir_.Write(folder + "/a.dat", "old");
            testing::SetLastWriteTime(Host(folder + "/a.dat"), kOld);
        }
        fs::create_directories(Host(folder));
        if (step.secondName) {
            ASSERT_TRUE(testing::MakeHardLink(Host(folder + "/a.dat"), Host(folder + "/b.dat")));
        }
        const std::uint64_t old = step.present ? PlatformFiles::FileId(Host(folder + "/a.dat")) : 0;
        Kept kept = Kept::kFailed;
        KeepAt watch(At("store\\" + keepAs));
        watch.look_ = [&] {
            return fs::exists(Host(folder + "/a.dat")) ? dir_.Read(folder + "/a.dat") : "none";
        };
        ASSERT_TRUE(files_->CopyKeeping(At("pkg\\a.dat"), At(folder + "\\a.dat"), nullptr, nullptr,
                                        nullptr, watch, kept));
        EXPECT_EQ(kept, step.kept);
        EXPECT_EQ(watch.asked_, step.kept != Kept::kNothing ? 1 : 0);
        // Said once before a change, with the old contents still there; not where none is made.
        const bool changes = step.kept != Kept::kNothing || !step.present;
        const std::vector<std::string> said =
            changes ? std::vector<std::string>{"starting", step.present ? "old" : "none"}
                    : std::vector<std::string>{};
        EXPECT_EQ(watch.placing_, said);
        EXPECT_EQ(watch.heard_, "new model");
        EXPECT_EQ(dir_.Read(folder + "/a.dat"), "new model");
        const std::string stored = "store/" + keepAs;
        ASSERT_EQ(fs::exists(Host(stored)), step.kept != Kept::kNothing);
        if (step.kept != Kept::kNothing) {
            EXPECT_EQ(dir_.Read(stored), "old");
            EXPECT_EQ(testing::GetLastWriteTime(Host(stored)), kOld);
            EXPECT_EQ(PlatformFiles::FileId(Host(stored)) == old, step.kept == Kept::kLinked);
        }
        if (step.secondName) {
            EXPECT_EQ(dir_.Read(folder + "/b.dat"), "new model");
        }
    }
}

// Seams that know no further names keep a copy; one that cannot be kept leaves the file as it is.
TEST_F(WriteCoreTest, OtherSeamsKeepACopyOrReplaceNothing) {
    dir_.Write("pkg/a.dat", "new model");
    fs::create_directories(Host("store"));
    for (const bool keepFails : {false, true}) {
        SCOPED_TRACE(keepFails ? "keeping fails" : "keeping works");
        dir_.Write("host/a.dat", "old");
        FaultInjectingFiles seam(*files_);
        if (keepFails) {
            seam.FailFrom(FaultInjectingFiles::Op::kReplaceContents);
        }
        Kept kept = Kept::kNothing;
        const std::string keepAs = keepFails ? "store\\failed" : "store\\copied";
        KeepAt watch(At(keepAs));
        EXPECT_EQ(seam.CopyKeeping(At("pkg\\a.dat"), At("host\\a.dat"), nullptr, nullptr, nullptr,
                                   watch, kept),
                  !keepFails);
        EXPECT_EQ(kept, keepFails ? Kept::kFailed : Kept::kCopied);
        EXPECT_EQ(dir_.Read("host/a.dat"), keepFails ? "old" : "new model");
        EXPECT_EQ(fs::exists(Host("store/copied")), true);
        EXPECT_FALSE(fs::exists(Host("store/failed")));
    }
    EXPECT_EQ(dir_.Read("store/copied"), "old");
}

TEST(TemporaryNameTest, CarriesItsNameAndChecksItsDigits) {
    const std::string name = TemporaryName("Lok.dat", 0x12345678);
    EXPECT_EQ(name.substr(0, 19), "Lok.dat.~kv12345678");
    EXPECT_EQ(name.size(), 23u);
    EXPECT_TRUE(IsTemporaryName(name));
    EXPECT_TRUE(IsTemporaryName(TemporaryName(std::string(300, 'x'), 7)));
    EXPECT_EQ(TemporaryName(std::string(300, 'x'), 7).size(), 200u + 16u);
    for (std::size_t i = 0; i < name.size(); ++i) {
        std::string changed = name;
        changed[i] = changed[i] == 'a' ? 'b' : 'a';
        EXPECT_FALSE(IsTemporaryName(changed)) << i;
    }
}

}  // namespace
}  // namespace kolvane::platform
