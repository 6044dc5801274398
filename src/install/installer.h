#pragma once

#include <optional>
#include <string>

#include "install/host_locator.h"
#include "platform/platform.h"
#include "script/script_reader.h"
#include "script/section_entries.h"
#include "textures/install_textures.h"

namespace kolvane {

// One installation run: constructed for one press of Install, it finds the host (as a
// HostLocator), then Run installs the package beside the executable into it.
class Installer : public HostLocator {
  public:
    explicit Installer(platform::Platform& platform);

    // Opens the install script beside the executable and runs the file section, then the texture
    // section, moving the progress bar through 0 to 4. kSucceeded only when both sections did.
    HResult Run();

    // The "Dateinstallation" section: copies the package's files into the host tree, keeping
    // newer present files without asking under -s.
    bool InstallFiles();
    // The "Texturskript" section: registers the package's textures in the host's catalogue.
    bool InstallTextures();

    // Who watches the sections' entries and the texture placements.
    void SetObservers(EntryObserver entries, TextureObserver textures) {
        m_entryObserver = std::move(entries);
        m_textureObserver = std::move(textures);
    }
    // Stands in for -s, which the file section otherwise takes from the command line.
    void SetSilent(bool silent) { m_silent = silent; }

    static constexpr const char* kScriptName = "InstSkript.txt";

  private:
    platform::Platform& m_platform;
    ScriptReader m_scriptReader;
    std::string m_exeDir;  // the executable's directory, without a trailing backslash
    std::optional<bool> m_silent;
    EntryObserver m_entryObserver;
    TextureObserver m_textureObserver;
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
