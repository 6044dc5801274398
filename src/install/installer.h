#pragma once

#include <functional>
#include <optional>
#include <string>

#include "install/host_locator.h"
#include "platform/platform.h"
#include "script/script_entry.h"
#include "script/script_reader.h"

namespace kolvane {

// One installation run: constructed for one press of Install, it finds the host (as a
// HostLocator), then Run installs the package beside the executable into it.
class Installer : public HostLocator {
  public:
    explicit Installer(platform::Platform& platform);

    // Opens the install script beside the executable and runs the file section, then the texture
    // section, moving the progress bar through 0 to 4. kSucceeded only when both sections did.
    HResult Run();

    // The "Dateinstallation" section: copies the package's files into the host tree.
    bool InstallFiles();
    // Whether the present file at `destination` should be offered for keeping rather than be
    // replaced by `source`: it is newer, or the package file cannot be read.
    bool IsPresentFileNewer(const std::string& destination, const std::string& source);
    // Creates the directory that is to hold the file `path`, with any missing ones above it.
    bool CreateDirectoryChain(const std::string& path);
    // The "Texturskript" section: registers the package's textures in the host's catalogue.
    bool InstallTextures();

    const std::string& ExeDir() const { return m_exeDir; }

    // Called with every entry that a section reads, before the section acts on it, so that an
    // observer of the seams can tell which entry caused what.
    void SetEntryObserver(std::function<void(const std::string& entry)> observer) {
        m_entryObserver = std::move(observer);
    }

    static constexpr const char* kScriptName = "InstSkript.txt";

  private:
    // Reads the current section's next entry that has a ">>" into `entry` and splits it;
    // entries without one are passed over. The observer sees every entry read.
    bool NextEntry(std::string& entry, EntryParts& parts) {
        while (m_scriptReader.ReadEntry(entry)) {
            if (m_entryObserver) {
                m_entryObserver(entry);
            }
            if (const std::optional<EntryParts> split = SplitEntry(entry)) {
                parts = *split;
                return true;
            }
        }
        return false;
    }

    platform::Platform& platform_;
    ScriptReader m_scriptReader;
    std::string m_exeDir;  // the executable's directory, without a trailing backslash
    std::function<void(const std::string& entry)> m_entryObserver;
};

// What one press of Install ended with. The dialog stays open only after kNoHost.
enum class InstallOutcome {
    kNoHost,
    kSucceeded,
    kFailed,
};

// The Install command of both programs' dialogs: finds the host, runs the installation and
// shows the closing message (no host, failure or success).
InstallOutcome PressInstall(platform::Platform& platform);

}  // namespace kolvane
