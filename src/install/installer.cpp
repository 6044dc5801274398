#include "install/installer.h"

#include "files/install_files.h"
#include "messages/messages.h"
#include "names/windows_path.h"

namespace kolvane {

using platform::kMbIconInformation;
using platform::kMbOk;

Installer::Installer(platform::Platform& platform, std::string hostPath, InstallOptions options)
    : m_platform(platform),
      m_hostPath(std::move(hostPath)),
      m_options(options),
      m_scriptReader(platform.files) {}

InstallOutcome Installer::Run() {
    platform::UserInterface& progress = m_platform.ui;
    progress.SetProgressRange(0, 4);
    progress.SetProgressPosition(0);

    m_exeDir = names::DirectoryPart(m_platform.system.ModuleFileName());
    const std::string scriptPath = m_exeDir + "\\" + kScriptName;
    progress.SetProgressPosition(1);

    if (!m_scriptReader.Open(scriptPath)) {
        m_platform.ui.ShowMessage(LocalizedId(m_platform.system, kMsgScriptMissing), kMbOk);
        return InstallOutcome::kFailed;
    }
    progress.SetProgressPosition(2);

    InstallOutcome result = InstallOutcome::kSucceeded;
    if (!InstallFiles()) {
        result = InstallOutcome::kFailed;
    }
    progress.SetProgressPosition(3);

    // The textures are registered whatever became of the files.
    if (!InstallTextures()) {
        result = InstallOutcome::kFailed;
    }
    progress.SetProgressPosition(4);
    return result;
}

bool Installer::InstallFiles() {
    return kolvane::InstallFiles({.files = m_platform.files,
                                  .ui = m_platform.ui,
                                  .system = m_platform.system,
                                  .script = m_scriptReader,
                                  .hostPath = m_hostPath,
                                  .packageDir = m_exeDir,
                                  .silent = m_options.silent,
                                  .observer = m_entryObserver});
}

bool Installer::InstallTextures() {
    return kolvane::InstallTextures({.registry = m_platform.registry,
                                     .files = m_platform.files,
                                     .script = m_scriptReader,
                                     .observer = m_entryObserver,
                                     .textures = m_textureObserver});
}

InstallOutcome PressInstall(platform::Platform& platform, InstallOptions options) {
    const HostLocator host(platform.registry);
    if (!host.HostFound()) {
        platform.ui.ShowMessage(LocalizedId(platform.system, kMsgNoHost), kMbOk);
        return InstallOutcome::kNoHost;
    }
    Installer installer(platform, host.HostPath(), options);
    if (installer.Run() == InstallOutcome::kFailed) {
        platform.ui.ShowMessage(LocalizedId(platform.system, kMsgInstallFailed), kMbOk);
        return InstallOutcome::kFailed;
    }
    platform.ui.ShowMessage(LocalizedId(platform.system, kMsgInstallSucceeded), kMbIconInformation);
    return InstallOutcome::kSucceeded;
}

}  // namespace kolvane
