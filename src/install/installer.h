#pragma once

#include <optional>
#include <string>

#include "install/host_locator.h"
#include "platform/platform.h"
#include "records/recorder.h"
#include "script/script_reader.h"
#include "script/section_entries.h"
#include "textures/install_textures.h"

namespace kolvane {

// What the program's command line decides about a run.
struct InstallOptions {
    bool silent = false;  // -s: keep newer present files without asking
    // Keeps a record of the run in the host's folder "Kolvane", so that it can be taken back
    // (both programs do; a dry run does not).
    bool record = false;
};

// What one press of Install ended with. The dialog stays open only after kNoHost.
enum class InstallOutcome {
    kNoHost,
    kSucceeded,
    kFailed,
};

// One installation run into the host found at `hostPath` (ending in a backslash): Run installs
// the package beside the executable.
class Installer {
  public:
    Installer(platform::Platform& platform, std::string hostPath, InstallOptions options);

    // Opens the install script beside the executable and runs the file section, then the texture
    // section, moving the progress bar through 0 to 4. kSucceeded only when both sections did,
    // else kFailed.
    InstallOutcome Run();

    // Who watches the sections' entries and the texture placements.
    void SetObservers(EntryObserver entries, TextureObserver textures) {
        m_entryObserver = std::move(entries);
        m_textureObserver = std::move(textures);
    }

    static constexpr const char* kScriptName = "InstSkript.txt";

  private:
    // The "Dateinstallation" section: copies the package's files into the host tree, keeping
    // newer present files without asking when silent.
    bool InstallFiles();
    // The "Texturskript" section: registers the package's textures in the host's catalogue.
    bool InstallTextures();
    // Starts the record of the run, when it is to be kept.
    void BeginRecord(const std::string& scriptPath);
    // Says once that the run cannot be recorded, when it cannot (`failed`: it could not start).
    void ReportRecordFailure(bool failed = false);
    // The recorder while it records; none otherwise.
    records::Recorder* Recording();

    platform::Platform& m_platform;
    std::string m_hostPath;
    InstallOptions m_options;
    ScriptReader m_scriptReader;
    std::string m_exeDir;  // the executable's directory, without a trailing backslash
    EntryObserver m_entryObserver;
    TextureObserver m_textureObserver;
    std::optional<records::Recorder> m_recorder;
    bool m_recordFailureShown = false;
};

// The Install command of both programs' dialogs: finds the host, runs the installation with
// `options` and shows the closing message (no host, failure or success).
InstallOutcome PressInstall(platform::Platform& platform, InstallOptions options);

}  // namespace kolvane
