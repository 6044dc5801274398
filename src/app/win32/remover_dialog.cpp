#include "app/win32/remover_dialog.h"

#include "app/win32/about_dialog.h"
#include "app/win32/modal_dialog.h"
#include "app/win32/resource.h"
#include "platform/win32/win32_program_list.h"
#include "remove/program_entries.h"
#include "remove/removal_run.h"

namespace kolvane::app {
namespace {

// The widths of the list's columns (package, date, state, size) in dialog units.
constexpr int kColumnWidths[] = {92, 78, 48, 40};

// The tab-separated parts of `text`.
std::vector<std::string> Parts(const std::string& text) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    for (std::size_t tab = text.find('\t'); tab != std::string::npos;
         tab = text.find('\t', start)) {
        parts.push_back(text.substr(start, tab - start));
        start = tab + 1;
    }
    parts.push_back(text.substr(start));
    return parts;
}

}  // namespace

RemoverDialog::RemoverDialog(HINSTANCE instance, platform::Files& files, std::string hostPath,
                             Language language, std::string caption, std::string selected)
    : m_instance(instance),
      m_files(files),
      m_hostPath(std::move(hostPath)),
      m_language(language),
      m_caption(std::move(caption)),
      m_selected(std::move(selected)) {
    m_icon = ::LoadIconA(m_instance, MAKEINTRESOURCEA(IDR_MAINFRAME));
}

void RemoverDialog::DoModal() {
    RunModal(m_instance, IDD_REMOVER_DIALOG, *this);
}

INT_PTR RemoverDialog::HandleMessage(UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
        case WM_INITDIALOG:
            return OnInitDialog();
        case WM_COMMAND:
            switch (LOWORD(wParam)) {
                case IDOK:
                    OnRemove();
                    return TRUE;
                case IDCANCEL:
                    ::EndDialog(m_window, IDCANCEL);
                    return TRUE;
                default:
                    return FALSE;
            }
        case WM_SYSCOMMAND:
            return OnSysCommand(static_cast<UINT>(wParam)) ? TRUE : FALSE;
        case WM_QUERYDRAGICON:
            return reinterpret_cast<INT_PTR>(m_icon);
        default:
            return FALSE;
    }
}

std::string RemoverDialog::LoadText(int id) const {
    return win32::LoadResourceString(m_instance, static_cast<UINT>(id));
}

void RemoverDialog::SetProgress(int percent) const {
    ::SendDlgItemMessageA(m_window, IDC_PROGRESS, PBM_SETPOS, static_cast<WPARAM>(percent), 0);
    ::UpdateWindow(::GetDlgItem(m_window, IDC_PROGRESS));
}

BOOL RemoverDialog::OnInitDialog() {
    ::SetWindowTextA(m_window, m_caption.c_str());
    std::string host = m_hostPath;
    if (host.size() > 1 && host.back() == '\\') {
        host.pop_back();
    }
    const std::string description =
        FormatMessageText(LocalizedId(m_language, kMsgRemoverDescription), {host});
    ::SetDlgItemTextA(m_window, IDC_DESCRIPTION, description.c_str());
    ::SetDlgItemTextA(m_window, IDOK, LoadText(LocalizedId(m_language, kMsgRemoveButton)).c_str());
    ::SetDlgItemTextA(m_window, IDCANCEL,
                      LoadText(LocalizedId(m_language, kMsgQuitButton)).c_str());

    m_list = ::GetDlgItem(m_window, IDC_PACKAGES);
    ::SendMessageA(m_list, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_FULLROWSELECT,
                   LVS_EX_FULLROWSELECT);
    const std::vector<std::string> headings =
        Parts(LoadText(LocalizedId(m_language, kMsgRemoverColumns)));
    for (std::size_t i = 0; i < headings.size() && i < std::size(kColumnWidths); ++i) {
        RECT width{0, 0, kColumnWidths[i], 0};
        ::MapDialogRect(m_window, &width);
        LVCOLUMNA column{};
        column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
        column.cx = width.right;
        column.pszText = const_cast<char*>(headings[i].c_str());
        column.iSubItem = static_cast<int>(i);
        ::SendMessageA(m_list, LVM_INSERTCOLUMNA, i, reinterpret_cast<LPARAM>(&column));
    }
    FillList();

    // The about entry is German on every system, as in the installer.
    if (const HMENU systemMenu = ::GetSystemMenu(m_window, FALSE); systemMenu != nullptr) {
        const std::string about = LoadText(kMsgAboutMenuItem);
        if (!about.empty()) {
            ::AppendMenuA(systemMenu, MF_SEPARATOR, 0, nullptr);
            ::AppendMenuA(systemMenu, MF_STRING, IDM_ABOUTBOX, about.c_str());
        }
    }
    ::SendMessageA(m_window, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_icon));
    ::SendMessageA(m_window, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_icon));
    // The focus goes to the list, on the chosen package.
    ::SetFocus(m_list);
    return FALSE;
}

void RemoverDialog::FillList() {
    m_rows = PackageRows(m_files, m_hostPath, records::ListInstalled(m_files, m_hostPath));
    int selected = 0;
    for (std::size_t i = 0; i < m_rows.size(); ++i) {
        const PackageRow& row = m_rows[i];
        if (row.key == m_selected || row.name == m_selected) {
            selected = static_cast<int>(i);
        }
        const std::string* texts[] = {&row.name, &row.date, &row.state, &row.size};
        LVITEMA item{};
        item.mask = LVIF_TEXT;
        item.iItem = static_cast<int>(i);
        item.pszText = const_cast<char*>(texts[0]->c_str());
        ::SendMessageA(m_list, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item));
        for (int column = 1; column < 4; ++column) {
            item.iSubItem = column;
            item.pszText = const_cast<char*>(texts[column]->c_str());
            ::SendMessageA(m_list, LVM_SETITEMTEXTA, i, reinterpret_cast<LPARAM>(&item));
        }
    }
    if (m_rows.empty()) {
        ::EnableWindow(::GetDlgItem(m_window, IDOK), FALSE);
        return;
    }
    LVITEMA state{};
    state.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    state.state = LVIS_SELECTED | LVIS_FOCUSED;
    ::SendMessageA(m_list, LVM_SETITEMSTATE, static_cast<WPARAM>(selected),
                   reinterpret_cast<LPARAM>(&state));
    ::SendMessageA(m_list, LVM_ENSUREVISIBLE, static_cast<WPARAM>(selected), FALSE);
}

void RemoverDialog::OnRemove() {
    const LRESULT chosen =
        ::SendMessageA(m_list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED);
    if (chosen < 0 || static_cast<std::size_t>(chosen) >= m_rows.size()) {
        return;
    }
    const std::string key = m_rows[static_cast<std::size_t>(chosen)].key;
    {
        // The plan as the host is now, not as it was when the list was filled.
        const std::vector<records::Installed> installed =
            records::ListInstalled(m_files, m_hostPath);
        const records::Installed* entry = removal::FindByNameOrKey(installed, key);
        if (entry != nullptr && entry->record) {
            const removal::Survey survey =
                removal::Look(m_files, m_hostPath, *entry->record, &installed);
            if (::MessageBoxA(m_window, RemoveQuestion(m_language, *entry, survey).c_str(),
                              m_caption.c_str(), MB_YESNO | MB_ICONQUESTION) != IDYES) {
                return;  // nothing removed; Remove or Quit again
            }
        }
    }
    ::EnableWindow(::GetDlgItem(m_window, IDOK), FALSE);
    ::EnableWindow(::GetDlgItem(m_window, IDCANCEL), FALSE);
    SetProgress(0);
    // The removal takes the bar to nine tenths; the list of programs the rest.
    const removal::RunResult result = removal::RemoveByName(
        m_files, m_hostPath, key, [this](std::size_t done, std::size_t total) {
            SetProgress(static_cast<int>(done * 90 / (total == 0 ? 1 : total)));
        });
    SetProgress(90);
    if (result.status != removal::RunStatus::kBusy) {
        platform::Win32ProgramList programs;
        removal::UpdateProgramList(programs, m_files, m_hostPath);
    }
    SetProgress(100);
    const RemoverReport shown = ReportOf(m_language, key, result);
    ::MessageBoxA(m_window, shown.text.c_str(), m_caption.c_str(),
                  shown.success ? MB_ICONINFORMATION : MB_ICONEXCLAMATION);
    m_exitCode = RemoverExitCode(result.status);
    ::EndDialog(m_window, IDOK);
}

bool RemoverDialog::OnSysCommand(UINT id) {
    // The system uses the low four bits of a command for itself.
    if ((id & 0xFFF0) != IDM_ABOUTBOX) {
        return false;
    }
    AboutDialog about(m_instance);
    about.DoModal(m_window);
    return true;
}

}  // namespace kolvane::app
