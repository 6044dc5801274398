#pragma once

#include <map>
#include <string>
#include <vector>

#include "platform/disk_probe.h"
#include "platform/files.h"
#include "platform/system.h"
#include "platform/user_interface.h"
#include "script/section_entries.h"

namespace kolvane::check {

using platform::DiskProbe;

// Everything the installer did through the dry run's seams, in order.
struct DryRunEvent {
    enum class Kind {
        kEntry,          // the installer took up the entry `path`
        kDirectory,      // it would create the directory `path`
        kDirectoryFail,  // creating `path` would fail: `reason`
        kCopy,           // it would copy `path` to `second`; `replaced` when a file was there
        kCopyFail,       // copying `path` to `second` would fail: `reason`
        kAttributes,     // it would make the read-only `path` writable
        kWrite,          // it would replace the contents of `path` with `contents`
        kWriteFail,      // replacing `path` would fail: `reason`
        kMessage,        // a message box with `contents`, box type `boxType`, answered `answer`
        kLocated,        // `path` lies in the folder `second` (links resolved): `reason` says
                         // "inside", "outside" or "unknown"
    };
    Kind kind = Kind::kEntry;
    std::string path{};
    Section section = Section::kFiles;  // of a kEntry
    std::string second{};
    std::string reason{};
    std::string contents{};
    bool replaced = false;
    unsigned boxType = 0;
    int answer = 0;
};

using DryRunLog = std::vector<DryRunEvent>;

// File operations that read the real disk through `inner` and record every change in `log`
// instead of making it. What the dry run has "made" (directories, copies, rewritten files) is
// seen by its later reads, so each entry meets the state the entries before it would leave.
class RecordingFiles : public platform::Files {
  public:
    RecordingFiles(platform::Files& inner, DiskProbe& probe, DryRunLog& log)
        : inner_(inner), probe_(probe), log_(log) {}

    platform::FileHandle OpenForReading(const std::string& path) override;
    bool LastWriteTime(platform::FileHandle file, platform::FileTime& time) override;
    void CloseFile(platform::FileHandle file) override;
    void Look(const std::string& path, platform::Sight& sight) override;
    platform::DirectoryResult MakeDirectory(const std::string& path) override;
    // Decides on the recorded state alone: what the looks handed in saw is not needed.
    bool Copy(const std::string& source, const std::string& destination, platform::Sight* from,
              platform::Sight* present, platform::FileInfo* made) override;
    bool MakeNormal(const std::string& path, const platform::FileInfo* known) override;
    bool ReadContents(const std::string& path, std::string& contents) override;
    bool ReplaceContents(const std::string& path, std::string_view contents) override;
    platform::Location Locate(const std::string& path, const std::string& folder,
                              platform::Sight* sight) override;
    // Claims nothing, since nothing is written; a missing file cannot be claimed.
    platform::ClaimResult ClaimForUpdate(const std::string& path,
                                         std::chrono::milliseconds patience,
                                         platform::FileHandle& claim) override;
    // Nothing is written, so nothing is tidied either.
    void TidyWithin(const std::string&) override {}

    // What is at `path` once the recorded changes are taken into account.
    DiskProbe::Entry Look(const std::string& path);

  private:
    // A change the dry run made, by PathKey.
    struct Made {
        DiskProbe::Kind kind = DiskProbe::Kind::kFile;
        bool readOnly = false;
        std::string copyOf{};  // a copied file: the real file it copies
        bool hasText = false;  // a rewritten file: its new contents
        std::string text{};
    };
    const Made* Find(const std::string& path) const;
    // The real file whose contents and time `path` would have; `path` itself when unchanged.
    std::string RealSource(const std::string& path) const;
    DiskProbe::Kind ParentKind(const std::string& path);

    platform::Files& inner_;
    DiskProbe& probe_;
    DryRunLog& log_;
    std::map<std::string, Made> made_;
};

// A dialog that records every message in the log and answers a question Yes: the dry run
// assumes the user keeps a newer present file, as the question recommends.
class RecordingUi : public platform::UserInterface {
  public:
    explicit RecordingUi(DryRunLog& log) : log_(log) {}

    void SetProgressRange(int, int) override {}
    void SetProgressPosition(int) override {}
    int ShowMessage(int stringId, unsigned boxType) override;
    int ShowMessageText(const std::string& text, unsigned boxType) override;

  private:
    DryRunLog& log_;
};

// The installer as if started from `packageDir` (no trailing backslash), in English.
class PackageSystem : public platform::System {
  public:
    explicit PackageSystem(std::string packageDir) : packageDir_(std::move(packageDir)) {}

    std::uint16_t DefaultLanguageId() override { return platform::kLanguageEnglish; }
    std::string ModuleFileName() override { return packageDir_ + "\\Kolvane.exe"; }

  private:
    std::string packageDir_;
};

}  // namespace kolvane::check
