#include "install/installer.h"

#include "install/messages.h"

namespace kolvane {

using platform::kMbIconInformation;
using platform::kMbOk;

Installer::Installer(platform::Platform& platform)
    : HostLocator(platform.registry), platform_(platform), m_scriptReader(platform.files) {}

HResult Installer::Run() {
    platform::UserInterface& progress = platform_.ui;
    progress.SetProgressRange(0, 4);
    progress.SetProgressPosition(0);

    const std::string module = platform_.system.ModuleFileName();
    const std::size_t lastBackslash = module.rfind('\\');
    m_exeDir = lastBackslash == std::string::npos ? module : module.substr(0, lastBackslash);
    const std::string scriptPath = m_exeDir + "\\" + kScriptName;
    progress.SetProgressPosition(1);

    if (!m_scriptReader.Open(scriptPath)) {
        platform_.ui.ShowMessage(LocalizedId(platform_.system, kMsgScriptMissing), kMbOk);
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
