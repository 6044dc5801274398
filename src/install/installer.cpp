#include "install/installer.h"

#include <chrono>

#include "files/install_files.h"
#include "messages/messages.h"
#include "names/windows_path.h"
#include "records/content_hash.h"
#include "textures/catalog_text.h"
#include "textures/registry_path.h"

namespace kolvane {

using platform::kMbIconInformation;
using platform::kMbOk;

namespace {

// Now, as a file's last-write time counts it.
platform::FileTime Now() {
    constexpr std::int64_t kEpochDifference = 11644473600;  // 1601 to 1970, in seconds
    const auto since1970 = std::chrono::duration_cast<std::chrono::microseconds>(
        std::chrono::system_clock::now().time_since_epoch());
    return static_cast<platform::FileTime>((since1970.count() + kEpochDifference * 1000000) * 10);
}

// The package folder's own name, as the user sees it.
std::string FolderName(const std::string& folder) {
    const std::size_t separator = folder.find_last_of("\\/");
    const std::string name = separator == std::string::npos ? folder : folder.substr(separator + 1);
    return name.empty() ? folder : name;
}

}  // namespace

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
    BeginRecord(scriptPath);

    InstallOutcome result = InstallOutcome::kSucceeded;
    if (!InstallFiles()) {
        result = InstallOutcome::kFailed;
    }
    progress.SetProgressPosition(3);

    // The textures are registered whatever became of the files.
    if (!InstallTextures()) {
        result = InstallOutcome::kFailed;
    }
    if (m_recorder) {
        m_recorder->Finish();
        ReportRecordFailure();
    }
    progress.SetProgressPosition(4);
    return result;
}

void Installer::BeginRecord(const std::string& scriptPath) {
    if (!m_options.record || m_hostPath.empty()) {
        return;
    }
    // A script that cannot be read installs nothing, and the run says so by its failure.
    std::string script;
    if (!m_platform.files.ReadContents(scriptPath, script)) {
        return;
    }
    m_recorder.emplace(m_platform.files, m_hostPath);
    if (!m_recorder->Begin(FolderName(m_exeDir), records::HashOf(script), Now())) {
        m_recorder.reset();
        m_recorder.emplace(m_platform.files, m_hostPath);  // inactive: it only tells the folder
        ReportRecordFailure(true);
    }
}

void Installer::ReportRecordFailure(bool failed) {
    if (m_recordFailureShown || (!failed && !(m_recorder && m_recorder->Failed()))) {
        return;
    }
    m_recordFailureShown = true;
    m_platform.ui.ShowMessageText(FormatMessageText(LocalizedId(m_platform.system, kMsgNotRecorded),
                                                    {names::ShownPath(m_recorder->Folder())}),
                                  kMbOk);
}

bool Installer::InstallFiles() {
    const bool result = kolvane::InstallFiles({.files = m_platform.files,
                                               .ui = m_platform.ui,
                                               .system = m_platform.system,
                                               .script = m_scriptReader,
                                               .hostPath = m_hostPath,
                                               .packageDir = m_exeDir,
                                               .silent = m_options.silent,
                                               .observer = m_entryObserver,
                                               .recorder = Recording()});
    ReportRecordFailure();
    return result;
}

bool Installer::InstallTextures() {
    records::Recorder* recorder = Recording();
    if (recorder == nullptr) {
        return kolvane::InstallTextures({.registry = m_platform.registry,
                                         .files = m_platform.files,
                                         .script = m_scriptReader,
                                         .observer = m_entryObserver,
                                         .textures = m_textureObserver});
    }
    // The record watches beside whoever else does.
    const TextureObserver& watcher = m_textureObserver;
    const TextureObserver recording{
        .catalogLoaded =
            [&](const TextureCatalog& catalog) {
                if (catalog.IsLoaded()) {
                    recorder->CatalogLoaded(catalog.Path());
                }
                if (watcher.catalogLoaded) {
                    watcher.catalogLoaded(catalog);
                }
            },
        .placing =
            [&](const TextureCatalog& catalog, int identifier) {
                recorder->TexturePlacing(identifier, catalog.EntryOf(identifier));
                if (watcher.placing) {
                    watcher.placing(catalog, identifier);
                }
            },
        .placed =
            [&](const TextureCatalog& catalog, const TexturePlaced& placed) {
                recorder->TexturePlaced(placed.identifier, std::string(placed.definition),
                                        placed.placement.replaced);
                if (watcher.placed) {
                    watcher.placed(catalog, placed);
                }
            },
        .writing =
            [&](const TextureCatalog& catalog) {
                recorder->CatalogWriting(catalog::WithCrLf(catalog.TextToWrite()));
                if (watcher.writing) {
                    watcher.writing(catalog);
                }
            },
        .written = watcher.written};
    const bool result = kolvane::InstallTextures({.registry = m_platform.registry,
                                                  .files = m_platform.files,
                                                  .script = m_scriptReader,
                                                  .observer = m_entryObserver,
                                                  .textures = recording});
    ReportRecordFailure();
    return result;
}

records::Recorder* Installer::Recording() {
    return m_recorder && m_recorder->Active() ? &*m_recorder : nullptr;
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
