#include "install/installer.h"

#include "cmdline/program_parameters.h"
#include "files/install_files.h"
#include "messages/messages.h"

namespace kolvane {

using platform::kMbIconInformation;
using platform::kMbOk;

Installer::Installer(platform::Platform& platform)
    : HostLocator(platform.registry), m_platform(platform), m_scriptReader(platform.files) {}

HResult Installer::Run() {
    platform::UserInterface& progress = m_platform.ui;
    progress.SetProgressRange(0, 4);
    progress.SetProgressPosition(0);

    const std::string module = m_platform.system.ModuleFileName();
    const std::size_t lastBackslash = module.rfind('\\');
    m_exeDir = lastBackslash == std::string::npos ? module : module.substr(0, lastBackslash);
    const std::string scriptPath = m_exeDir + "\\" + kScriptName;
    progress.SetProgressPosition(1);

    if (!m_scriptReader.Open(scriptPath)) {
        m_platform.ui.ShowMessage(LocalizedId(m_platform.system, kMsgScriptMissing), kMbOk);
        return kFailed;
    }
    progress.SetProgressPosition(2);

    HResult result = kSucceeded;
    if (!InstallFiles()) {
        result = kFailed;
    }
    progress.SetProgressPosition(3);

    // The textures are registered whatever became of the files.
    if (!InstallTextures()) {
        result = kFailed;
    }
    progress.SetProgressPosition(4);
    return result;
}

bool Installer::InstallFiles() {
    const bool silent = m_silent.value_or(SilentSwitch.on);
    return kolvane::InstallFiles({.files = m_platform.files,
                                  .ui = m_platform.ui,
                                  .system = m_platform.system,
                                  .script = m_scriptReader,
                                  .hostPath = HostPath(),
                                  .packageDir = m_exeDir,
                                  .silent = silent,
                                  .observer = m_entryObserver});
}

bool Installer::InstallTextures() {
    return kolvane::InstallTextures({.registry = m_platform.registry,
                                     .files = m_platform.files,
                                     .script = m_scriptReader,
                                     .observer = m_entryObserver,
                                     .textures = m_textureObserver});
}

InstallOutcome PressInstall(platform::Platform& platform) {
    Installer installer(platform);
    if (!installer.HostFound()) {
        platform.ui.ShowMessage(LocalizedId(platform.system, kMsgNoHost), kMbOk);
        return InstallOutcome::kNoHost;
    }
    if (installer.Run() < 0) {
        platform.ui.ShowMessage(LocalizedId(platform.system, kMsgInstallFailed), kMbOk);
        return InstallOutcome::kFailed;
    }
    platform.ui.ShowMessage(LocalizedId(platform.system, kMsgInstallSucceeded), kMbIconInformation);
    return InstallOutcome::kSucceeded;
}

}  // namespace kolvane
