// The contract suites: one set of cases for every implementation of a seam. The file seam: the
// platform's own on a fresh temporary folder, and the checker's recording seam over it, which must
// answer as the real one would while it writes nothing. The registry seam: the in-memory hive of
// the tests, and the platform's own (a Wine prefix's files on Linux, the registry itself on
// Windows), each answering as RegOpenKeyExA, RegQueryValueExA and RegCloseKey do. The platform's
// implementations come from platform_seams.h of posix/ or win32/.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "check/dry_run_seams.h"
#include "platform/doubles/memory_registry.h"
#include "platform_files_contract.h"
#include "platform_seams.h"
#include "support/real_files.h"
#include "support/registry_query.h"
#include "support/temp_dir.h"

namespace kolvane::platform {
namespace {

using testing::kUntouched;
using testing::Nul;
using testing::Queried;
using testing::Query;

struct SeamName {
    template <typename Seam>
    static std::string GetName(int) {
        return Seam::kName;
    }
};

// The checker's recording seam over the platform's files.
class RecordingFilesSeam {
  public:
    static constexpr const char* kName = "RecordingFiles";

    explicit RecordingFilesSeam(const testing::TempDir& dir)
        : real_(dir), probe_(real_.MakeProbe()), recording_(real_.Get(), *probe_, log_) {}
    Files& Get() { return recording_; }
    std::string Root() const { return real_.Root(); }

  private:
    PlatformFiles real_;
    std::unique_ptr<platform::DiskProbe> probe_;
    check::DryRunLog log_;
    check::RecordingFiles recording_;
};

constexpr FileTime kSomeTime = 0x01D5'1234'5678'9AB7ull;

template <typename Seam>
class FilesContract : public ::testing::Test {
  protected:
    FilesContract() : seam_(dir_), files_(seam_.Get()) { dir_.Write("package.dat", "package"); }

    // The Windows path of `relative` (backslashes), as the seam takes it.
    std::string At(const std::string& relative) const { return seam_.Root() + "\\" + relative; }

    // The whole file as the seam reads it, or "(none)" when it cannot.
    std::string Read(const std::string& relative) {
        std::string contents;
        return files_.ReadContents(At(relative), contents) ? contents : "(none)";
    }

    // The last-write time of an existing file, through the seam.
    FileTime TimeOf(const std::string& relative) {
        const ScopedFile file(files_, At(relative));
        FileTime time = 0;
        EXPECT_TRUE(file.IsOpen() && files_.LastWriteTime(file.Get(), time)) << relative;
        return time;
    }

    // The names in the folder on the disk, which only the platform's own seam changes.
    std::set<std::string> OnDisk() const {
        std::set<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(dir_.Path())) {
            names.insert(entry.path().filename().string());
        }
        return names;
    }

    testing::TempDir dir_;
    Seam seam_;
    Files& files_;
};

using FileSeams = ::testing::Types<PlatformFiles, RecordingFilesSeam>;
TYPED_TEST_SUITE(FilesContract, FileSeams, SeamName);

// Windows compares file names without regard to the case of any letter of the code page: a file
// made under one spelling is read, replaced, copied onto and given attributes under the other.
TYPED_TEST(FilesContract, LetterCaseOfEveryWindows1252LetterIsIgnored) {
    std::vector<std::pair<char, char>> pairs = {{'K', 'k'},
                                                {'\x8A', '\x9A'},   // S caron
                                                {'\x8C', '\x9C'},   // OE
                                                {'\x8E', '\x9E'},   // Z caron
                                                {'\x9F', '\xFF'}};  // Y diaeresis
    for (int upper = 0xC0; upper <= 0xDE; ++upper) {                // Latin-1: A grave to thorn
        if (upper != 0xD7) {                                        // the multiplication sign
            pairs.emplace_back(static_cast<char>(upper), static_cast<char>(upper + 0x20));
        }
    }
    Files& files = this->files_;
    for (const auto& [upper, lower] : pairs) {
        SCOPED_TRACE(::testing::Message()
                     << "0x" << std::hex << static_cast<int>(static_cast<unsigned char>(upper)));
        const std::string big = std::string("f") + upper + ".txt";
        const std::string small = std::string("f") + lower + ".txt";
        ASSERT_TRUE(files.ReplaceContents(this->At(big), "one"));
        EXPECT_EQ(this->Read(small), "one");
        EXPECT_TRUE(files.ReplaceContents(this->At(small), "two"));
        EXPECT_EQ(this->Read(big), "two");
        EXPECT_TRUE(files.SetNormalAttributes(this->At(small)));

        const std::string folder = std::string("d") + upper;
        const std::string sameFolder = std::string("d") + lower;
        EXPECT_EQ(files.MakeDirectory(this->At(folder)), DirectoryResult::kCreated);
        EXPECT_EQ(files.MakeDirectory(this->At(sameFolder)), DirectoryResult::kAlreadyExists);
        EXPECT_TRUE(files.CopyFileOver(this->At("package.dat"), this->At(sameFolder + "\\" + big)));
        EXPECT_TRUE(files.CopyFileOver(this->At("package.dat"), this->At(folder + "\\" + small)));
        const ScopedFile copy(files, this->At(sameFolder + "\\" + small));
        EXPECT_TRUE(copy.IsOpen());
    }
}

// What is missing, or no file, fails, and nothing is made on the way.
TYPED_TEST(FilesContract, MissingFilesAndFoldersFailAndNothingIsMade) {
    this->dir_.Write("folder/inside.dat", "x");
    Files& files = this->files_;
    const std::set<std::string> before = this->OnDisk();
    for (const char* notAFile : {"none.dat", "folder"}) {
        SCOPED_TRACE(notAFile);
        EXPECT_EQ(files.OpenForReading(this->At(notAFile)), kInvalidFile);
        EXPECT_EQ(this->Read(notAFile), "(none)");
    }
    EXPECT_FALSE(files.CopyFileOver(this->At("none.dat"), this->At("copy.dat")));
    EXPECT_EQ(this->Read("copy.dat"), "(none)");
    EXPECT_FALSE(files.CopyFileOver(this->At("package.dat"), this->At("folder")));
    EXPECT_FALSE(files.CopyFileOver(this->At("package.dat"), this->At("no\\copy.dat")));
    EXPECT_FALSE(files.ReplaceContents(this->At("folder"), "x"));
    EXPECT_FALSE(files.ReplaceContents(this->At("no\\new.txt"), "x"));
    EXPECT_FALSE(files.SetNormalAttributes(this->At("none.dat")));
    EXPECT_EQ(files.MakeDirectory(this->At("no\\folder")), DirectoryResult::kFailed);
    EXPECT_EQ(files.MakeDirectory(this->At("package.dat")), DirectoryResult::kAlreadyExists)
        << "a file of that name counts as already there";
    EXPECT_EQ(this->Read("no\\new.txt"), "(none)");
    EXPECT_EQ(this->OnDisk(), before) << "no file, folder or temporary file is left behind";
}

// A failed write leaves the file as it was; a read-only file is replaced only once its
// attributes are normal again.
TYPED_TEST(FilesContract, AReadOnlyFileStaysAsItWasUntilItsAttributesAreNormal) {
    testing::MakeReadOnly(this->dir_.Write("locked.txt", "old"));
    Files& files = this->files_;
    const std::set<std::string> before = this->OnDisk();
    EXPECT_FALSE(files.ReplaceContents(this->At("locked.txt"), "new"));
    EXPECT_FALSE(files.CopyFileOver(this->At("package.dat"), this->At("locked.txt")));
    EXPECT_EQ(this->Read("locked.txt"), "old");
    EXPECT_EQ(this->OnDisk(), before) << "no temporary file is left behind";

    EXPECT_TRUE(files.SetNormalAttributes(this->At("locked.txt")));
    EXPECT_TRUE(files.CopyFileOver(this->At("package.dat"), this->At("locked.txt")));
    EXPECT_EQ(this->Read("locked.txt"), "package");
    EXPECT_TRUE(files.ReplaceContents(this->At("locked.txt"), "new\r\n"));
    EXPECT_EQ(this->Read("locked.txt"), "new\r\n");
}

TYPED_TEST(FilesContract, CopyFileOverCarriesContentsAndLastWriteTime) {
    const std::string big(300000, 'b');
    const std::string source = this->dir_.Write("big.dat", big);
    testing::SetLastWriteTime(source, kSomeTime);
    this->dir_.Write("present.dat", "old");
    Files& files = this->files_;
    {
        const ScopedFile first(files, this->At("big.dat"));
        const ScopedFile second(files, this->At("big.dat"));
        EXPECT_TRUE(first.IsOpen() && second.IsOpen()) << "others may read at the same time";
    }
    EXPECT_EQ(this->TimeOf("big.dat"), kSomeTime);
    for (const char* target : {"new.dat", "present.dat"}) {
        SCOPED_TRACE(target);
        ASSERT_TRUE(files.CopyFileOver(this->At("big.dat"), this->At(target)));
        EXPECT_EQ(this->Read(target), big);
        EXPECT_EQ(this->TimeOf(target), kSomeTime);
    }
}

TEST_F(PlatformFilesContract, LocatesPathsWhereTheirLinksLead) {
    dir_.Write("pkg/a.dat", "a");
    dir_.Write("pkg/sub/b.dat", "b");
    dir_.Write("pkg2/c.dat", "c");
    dir_.Write("out/secret.dat", "s");
    dir_.Write("out/dir/x.dat", "x");
    std::filesystem::create_directories(Host("host"));
    if (!Link("out/secret.dat", "pkg/toSecret.dat") || !Link("out/dir", "pkg/toOut") ||
        !Link("pkg/sub", "pkg/inner") || !Link("pkg", "host/toPkg")) {
        GTEST_SKIP() << "no symbolic links can be made here";
    }
    struct Case {
        const char* path;
        Location expected;
    };
    const Case cases[] = {
        {"pkg\\a.dat", Location::kInside},
        {"pkg", Location::kInside},
        {"pkg\\missing.dat", Location::kInside},
        {"pkg\\new\\deeper\\x.dat", Location::kInside},
        {"pkg\\inner\\b.dat", Location::kInside},
        {"pkg\\toSecret.dat", Location::kOutside},
        {"pkg\\toOut\\x.dat", Location::kOutside},
        {"pkg\\toOut\\missing.dat", Location::kOutside},
        {"pkg\\..\\out\\secret.dat", Location::kOutside},
        {"pkg2\\c.dat", Location::kOutside},
        {"host\\toPkg\\a.dat", Location::kInside},
        {"host\\toPkg\\new.dat", Location::kInside},
        {"host\\new.dat", Location::kOutside},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(files_->LocateIn(At(c.path), At("pkg")), c.expected);
    }
    EXPECT_EQ(files_->LocateIn(At("pkg\\a.dat"), At("none")), Location::kUnknown)
        << "a folder that is not there";
}

TEST_F(PlatformFilesContract, AClaimShutsOutEveryOtherUntilItIsGivenUp) {
    dir_.Write("cat.txt", "catalogue");
    FileHandle first = kInvalidFile;
    ASSERT_EQ(files_->ClaimForUpdate(At("cat.txt"), std::chrono::milliseconds(0), first),
              ClaimResult::kClaimed);
    {
        const ScopedClaim waiting(*otherRun_, At("cat.txt"), std::chrono::milliseconds(300));
        EXPECT_EQ(waiting.Result(), ClaimResult::kBusy);
    }
    std::string contents;
    EXPECT_TRUE(otherRun_->ReadContents(At("cat.txt"), contents)) << "reading stays free";
    EXPECT_EQ(contents, "catalogue");
    files_->CloseFile(first);
    {
        const ScopedClaim next(*otherRun_, At("cat.txt"), std::chrono::milliseconds(0));
        EXPECT_EQ(next.Result(), ClaimResult::kClaimed);
    }
    const ScopedClaim missing(*files_, At("none.txt"), std::chrono::milliseconds(0));
    EXPECT_EQ(missing.Result(), ClaimResult::kFailed);
}

// Another program (not a run of ours) changes the claimed file between the load and the
// write-back: the write-back must not overwrite that. (Windows and Wine let no file be renamed
// over one that is open; there only the rewrite can happen.)
TEST_F(PlatformFilesContract, AClaimedFileIsReplacedOnlyWhileItIsAsClaimed) {
    struct Case {
        const char* name;
        bool (*change)(const testing::TempDir& dir);  // false: the platform did not let it
    };
    const Case cases[] = {
        {"unchanged", [](const testing::TempDir&) { return false; }},
        {"rewritten in place",
         [](const testing::TempDir& dir) {
             dir.Write("d/cat.txt", "other program");
             return true;
         }},
        {"replaced by another file",
         [](const testing::TempDir& dir) {
             dir.Write("e/new.txt", "other program");
             std::error_code error;
             std::filesystem::rename(dir.HostPath("e/new.txt"), dir.HostPath("d/cat.txt"), error);
             return !error;
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        dir_.Write("d/cat.txt", "loaded");
        const ScopedClaim claim(*files_, At("d\\cat.txt"), std::chrono::milliseconds(0));
        ASSERT_EQ(claim.Result(), ClaimResult::kClaimed);
        const bool changed = c.change(dir_);
        EXPECT_EQ(files_->ReplaceContents(At("d\\cat.txt"), "written back"), !changed);
        EXPECT_EQ(dir_.Read("d/cat.txt"), changed ? "other program" : "written back");
        EXPECT_EQ(EntriesIn("d"), 1u) << "no temporary file is left behind";
    }
}

TEST_F(PlatformFilesContract, WritesThroughSymbolicLinksAndKeepsThem) {
    dir_.Write("shared/cat.txt", "old catalogue");
    dir_.Write("shared/model.dat", "old model");
    dir_.Write("pkg/model.dat", "new model");
    std::filesystem::create_directories(Host("host"));
    if (!Link("shared/cat.txt", "host/cat.txt") || !Link("shared/model.dat", "host/model.dat")) {
        GTEST_SKIP() << "no symbolic links can be made here";
    }

    const ScopedClaim claim(*files_, At("host\\cat.txt"), std::chrono::milliseconds(0));
    ASSERT_EQ(claim.Result(), ClaimResult::kClaimed);
    EXPECT_TRUE(files_->ReplaceContents(At("host\\cat.txt"), "new catalogue"));
    EXPECT_TRUE(files_->CopyFileOver(At("pkg\\model.dat"), At("host\\model.dat")));
    EXPECT_EQ(dir_.Read("shared/cat.txt"), "new catalogue");
    EXPECT_EQ(dir_.Read("shared/model.dat"), "new model");
    for (const char* name : {"cat.txt", "model.dat"}) {
        SCOPED_TRACE(name);
        dir_.Write(std::string("shared/") + name, "through the link");
        EXPECT_EQ(dir_.Read(std::string("host/") + name), "through the link") << "the link stays";
    }
    EXPECT_EQ(EntriesIn("shared"), 2u) << "no temporary file is left behind";
    EXPECT_EQ(EntriesIn("host"), 2u);
}

// A file that already holds the very bytes is left as it is, time and all; one that differs in
// a byte only is written.
TEST_F(PlatformFilesContract, AFileThatHoldsTheSameBytesIsLeftAlone) {
    for (const std::string there : {"same bytes", "Same bytes"}) {
        SCOPED_TRACE(there);
        testing::SetLastWriteTime(dir_.Write("cat.txt", there), kSomeTime);
        const ScopedClaim claim(*files_, At("cat.txt"), std::chrono::milliseconds(0));
        ASSERT_EQ(claim.Result(), ClaimResult::kClaimed);
        EXPECT_TRUE(files_->ReplaceContents(At("cat.txt"), "same bytes"));
        EXPECT_EQ(dir_.Read("cat.txt"), "same bytes");
        EXPECT_EQ(testing::GetLastWriteTime(Host("cat.txt")) == kSomeTime, there == "same bytes");
    }
}

TEST_F(PlatformFilesContract, AFileWithSeveralNamesIsWrittenInPlace) {
    dir_.Write("pkg/model.dat", std::string(70000, 'n'));
    dir_.Write("host/model.dat", "old model");
    dir_.Write("host/cat.txt", "old catalogue");
    ASSERT_TRUE(testing::MakeHardLink(Host("host/model.dat"), Host("host/model2.dat")));
    ASSERT_TRUE(testing::MakeHardLink(Host("host/cat.txt"), Host("host/cat2.txt")));

    EXPECT_TRUE(files_->CopyFileOver(At("pkg\\model.dat"), At("host\\model.dat")));
    const ScopedClaim claim(*files_, At("host\\cat.txt"), std::chrono::milliseconds(0));
    EXPECT_TRUE(files_->ReplaceContents(At("host\\cat.txt"), "new"));
    EXPECT_EQ(dir_.Read("host/model2.dat"), std::string(70000, 'n')) << "every name sees it";
    EXPECT_EQ(dir_.Read("host/cat2.txt"), "new");
    EXPECT_EQ(testing::GetLastWriteTime(Host("host/model2.dat")),
              testing::GetLastWriteTime(Host("pkg/model.dat")));
    EXPECT_EQ(EntriesIn("host"), 4u) << "no temporary file is left behind";
}

class MemoryRegistrySeam {
  public:
    static constexpr const char* kName = "MemoryRegistry";

    Registry& Get() { return registry_; }
    void Set(const std::string& key, const std::string& name, std::uint32_t type,
             const std::string& bytes) {
        registry_.SetValue(key, name, type, bytes);
    }

  private:
    MemoryRegistry registry_;
};

constexpr const char* kKey = "Software\\KolvaneContract\\Level";

template <typename Seam>
class RegistryContract : public ::testing::Test {
  protected:
    Seam seam_;
    Registry& registry_ = seam_.Get();
};

using RegistrySeams = ::testing::Types<MemoryRegistrySeam, PlatformRegistry>;
TYPED_TEST_SUITE(RegistryContract, RegistrySeams, SeamName);

// Every value comes out with its type and bytes. One longer than the buffer fails with
// ERROR_MORE_DATA and still tells its type and the size it needs; a null buffer asks for them
// alone. A string stored without its NUL gets one where the buffer has room; nothing else does.
TYPED_TEST(RegistryContract, QueriesAnswerAsRegQueryValueExA) {
    struct Value {
        const char* name;
        std::uint32_t type;
        std::string bytes;
    };
    const Value values[] = {
        {"", kRegSz, Nul("the default value")},
        {"Path", kRegSz, Nul("C:\\Host\\")},
        {"Expand", kRegExpandSz, Nul("%Root%\\x")},
        {"Multi", kRegMultiSz, Nul(Nul(Nul("one") + "two"))},
        {"Number", kRegDword, std::string("\x2a\0\0\0", 4)},
        {"Blob", kRegBinary, "\x01\x02\xff"},
        {"Nothing", kRegBinary, ""},
        {"Unended", kRegSz, "AB"},
        {"Empty", kRegSz, ""},
    };
    for (const Value& value : values) {
        this->seam_.Set(kKey, value.name, value.type, value.bytes);
    }
    constexpr int kAnyByte = -1;
    struct Case {
        const char* name;
        std::optional<std::uint32_t> capacity;  // none: a null buffer
        RegResult result;
        std::uint32_t size;
        int after = kAnyByte;  // the buffer's byte just after the value's
    };
    const Case cases[] = {
        {"", 260, kErrorSuccess, 18},
        {"Path", 9, kErrorSuccess, 9},
        {"Expand", 260, kErrorSuccess, 9},
        {"Multi", 260, kErrorSuccess, 9},
        {"Number", 4, kErrorSuccess, 4},
        {"Blob", 4, kErrorSuccess, 3, kUntouched},
        {"Nothing", 4, kErrorSuccess, 0},
        {"Path", 8, kErrorMoreData, 9},
        {"Path", 0, kErrorMoreData, 9},
        {"Path", std::nullopt, kErrorSuccess, 9},
        {"Number", 3, kErrorMoreData, 4},
        {"Number", std::nullopt, kErrorSuccess, 4},
        {"Unended", 3, kErrorSuccess, 2, 0},
        {"Unended", 2, kErrorSuccess, 2, kUntouched},
        {"Empty", 4, kErrorSuccess, 0, kUntouched},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message()
                     << '"' << c.name << "\" in "
                     << (c.capacity ? std::to_string(*c.capacity) : "no") << " bytes");
        const auto value = std::find_if(std::begin(values), std::end(values), [&](const Value& v) {
            return v.name == std::string(c.name);
        });
        const Queried answer = Query(this->registry_, kKey, c.name, c.capacity);
        EXPECT_EQ(answer.result, c.result);
        EXPECT_EQ(answer.type, value->type);
        EXPECT_EQ(answer.size, c.size);
        if (c.result == kErrorSuccess && c.capacity) {
            EXPECT_EQ(answer.bytes, value->bytes);
        }
        if (c.after != kAnyByte) {
            EXPECT_EQ(static_cast<std::uint8_t>(answer.buffer[c.size]), c.after);
        }
    }
}

TYPED_TEST(RegistryContract, MissingKeysAndValuesAreNotFound) {
    this->seam_.Set(kKey, "Path", kRegSz, Nul("C:\\"));
    const std::pair<std::string, const char*> missing[] = {
        {kKey, "None"},
        {"Software\\KolvaneContract", "Path"},  // the value of a key below
        {"Software\\KolvaneContract\\None", "Path"},
        {std::string(kKey) + "\\Deeper", "Path"}};
    for (const auto& [key, name] : missing) {
        EXPECT_EQ(Query(this->registry_, key, name).result, kErrorFileNotFound)
            << key << ": " << name;
    }
}

// Keys open below open keys, several levels at once, and close once; names of keys and values
// are compared without regard to letter case.
TYPED_TEST(RegistryContract, KeysOpenBelowOpenKeysAndCloseOnce) {
    this->seam_.Set(kKey, "Path", kRegSz, Nul("C:\\"));
    Registry& registry = this->registry_;
    RegKey software = 0;
    RegKey level = 0;
    ASSERT_EQ(registry.OpenKey(kClassesRoot, "SOFTWARE", kKeyRead, software), kErrorSuccess);
    ASSERT_EQ(registry.OpenKey(software, "kolvanecontract\\lEVEL", kKeyRead, level), kErrorSuccess);
    std::uint8_t buffer[16];
    std::uint32_t type = 0;
    std::uint32_t size = sizeof buffer;
    EXPECT_EQ(registry.QueryValue(level, "pATH", type, buffer, size), kErrorSuccess);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer), size), Nul("C:\\"));
    EXPECT_EQ(registry.CloseKey(level), kErrorSuccess);
    EXPECT_EQ(registry.CloseKey(software), kErrorSuccess);

    EXPECT_EQ(registry.CloseKey(level), kErrorInvalidHandle);
    size = sizeof buffer;
    EXPECT_EQ(registry.QueryValue(level, "Path", type, buffer, size), kErrorInvalidHandle);
    EXPECT_EQ(registry.OpenKey(software, "KolvaneContract", kKeyRead, level), kErrorInvalidHandle);
}

}  // namespace
}  // namespace kolvane::platform
