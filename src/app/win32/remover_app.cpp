#include "app/win32/remover_app.h"

#include <optional>

#include "app/exit_codes.h"
#include "app/remover_start.h"
#include "app/win32/remover_dialog.h"
#include "install/host_locator.h"
#include "messages/messages.h"
#include "names/letter_case.h"
#include "platform/win32/win32_files.h"
#include "platform/win32/win32_program_list.h"
#include "platform/win32/win32_registry.h"
#include "platform/win32/win32_system.h"
#include "remove/program_entries.h"
#include "remove/removal_run.h"

namespace kolvane::app {

namespace {

// FreeLibrary for a module loaded as data.
struct ModuleTraits {
    using Handle = HMODULE;
    static Handle Invalid() { return nullptr; }
    static bool Close(Handle handle) { return ::FreeLibrary(handle) != 0; }
};
using ScopedModule = win32::ScopedHandle<ModuleTraits>;

// The file version in the version resource of `module` (null: this program).
std::optional<std::uint64_t> VersionOf(HMODULE module) {
    const HRSRC found = ::FindResourceA(module, MAKEINTRESOURCEA(VS_VERSION_INFO), RT_VERSION);
    const HGLOBAL loaded = found == nullptr ? nullptr : ::LoadResource(module, found);
    const void* data = loaded == nullptr ? nullptr : ::LockResource(loaded);
    if (data == nullptr) {
        return std::nullopt;
    }
    return FileVersionIn(
        std::string_view(static_cast<const char*>(data), ::SizeofResource(module, found)));
}

// The file version of the program at `path`, read as data; none when it has none.
std::optional<std::uint64_t> VersionOf(const std::string& path) {
    const ScopedModule module(::LoadLibraryExA(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
    return module.IsValid() ? VersionOf(module.Get()) : std::nullopt;
}

// A report where a script that started the silent form reads it: its standard error, when it
// has one. A program of the Windows subsystem has none unless its caller gave it one.
void WriteToStandardError(const std::string& text) {
    const HANDLE error = ::GetStdHandle(STD_ERROR_HANDLE);
    if (error == nullptr || error == INVALID_HANDLE_VALUE) {
        return;
    }
    const std::string line = text + "\r\n";
    DWORD written = 0;
    ::WriteFile(error, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
}

}  // namespace

void KeepRemover(platform::Files& files, const std::string& hostPath) {
    if (records::ListInstalled(files, hostPath).empty()) {
        return;  // nothing to take back
    }
    const std::string own = win32::ModulePath();
    const std::string target = RemoverPathFor(hostPath);
    if (names::FoldCase(own) == names::FoldCase(target)) {
        return;
    }
    const std::optional<std::uint64_t> version = VersionOf(nullptr);
    platform::Sight present;
    files.Look(target, present);
    const std::optional<std::uint64_t> there = present.missing ? std::nullopt : VersionOf(target);
    if (version && ReplacesRemover(there, *version)) {
        // A copy that cannot be made leaves the installation as it is; the native kolvane-remove
        // removes its packages all the same.
        files.CopyFileOver(own, target);
    }
}

int RunRemover(HINSTANCE instance, const char* tail) {
    platform::Win32Registry registry;
    platform::Win32Files files;
    platform::Win32System system;
    const Language language = TextLanguage(system);
    const std::string modulePath = system.ModuleFileName();
    const std::string caption = win32::ApplicationName(modulePath);
    const RemoverCommand command = ParseRemoverCommand(tail);
    const auto report = [&](const std::string& text, bool success) {
        if (command.silent) {
            WriteToStandardError(text);
        } else {
            ::MessageBoxA(nullptr, text.c_str(), caption.c_str(),
                          success ? MB_ICONINFORMATION : MB_ICONEXCLAMATION);
        }
    };
    if (!command.valid) {
        report(FormatMessageText(LocalizedId(language, kMsgRemoveNoPackage), {command.name}),
               false);
        return kExitFailed;
    }
    const HostLocator located(registry);
    const std::string host = RemoverHost(modulePath, located.HostPath());
    if (host.empty() || !located.HostFound()) {
        report(FormatMessageText(LocalizedId(language, kMsgRemoveNoHost), {}), false);
        return kExitFailed;
    }
    if (!command.silent) {
        // The dialog opens on the package named, when it is there and readable; what is wrong
        // with the name is said as a removal would say it.
        const std::vector<records::Installed> installed = records::ListInstalled(files, host);
        const records::Installed* entry = removal::FindByNameOrKey(installed, command.name);
        if (command.name.empty() || (entry != nullptr && entry->record)) {
            INITCOMMONCONTROLSEX controls{
                sizeof controls, ICC_PROGRESS_CLASS | ICC_LISTVIEW_CLASSES | ICC_STANDARD_CLASSES};
            ::InitCommonControlsEx(&controls);
            RemoverDialog dialog(instance, files, host, language, caption, command.name);
            dialog.DoModal();
            return dialog.ExitCode();
        }
    }
    const removal::RunResult result = removal::RemoveByName(files, host, command.name);
    if (result.status != removal::RunStatus::kBusy) {
        // Also after a removal that found nothing: an entry may outlive its record.
        platform::Win32ProgramList programs;
        removal::UpdateProgramList(programs, files, host);
    }
    const RemoverReport shown = ReportOf(language, command.name, result);
    report(shown.text, shown.success);
    return RemoverExitCode(result.status);
}

}  // namespace kolvane::app
