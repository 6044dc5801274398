#include "app/win32/installer_dialog.h"

#include "app/win32/about_dialog.h"
#include "app/win32/modal_dialog.h"
#include "app/win32/resource.h"
#include "messages/messages.h"
#include "platform/win32/dialog_ui.h"

namespace kolvane::app {
namespace {

constexpr std::size_t kMaxDescription = 1024;

// BeginPaint and EndPaint as one object.
class PaintDc {
  public:
    explicit PaintDc(HWND window) : m_window(window) { m_dc = ::BeginPaint(m_window, &m_paint); }
    PaintDc(const PaintDc&) = delete;
    PaintDc& operator=(const PaintDc&) = delete;
    ~PaintDc() { ::EndPaint(m_window, &m_paint); }
    HDC Get() const { return m_dc; }

  private:
    HWND m_window;
    PAINTSTRUCT m_paint{};
    HDC m_dc;
};

std::string WindowText(HWND window, std::size_t limit) {
    std::string text(limit + 1, '\0');
    const int length = ::GetWindowTextA(window, text.data(), static_cast<int>(text.size()));
    text.resize(length > 0 ? static_cast<std::size_t>(length) : 0);
    return text;
}

}  // namespace

InstallerDialog::InstallerDialog(HINSTANCE instance, platform::Registry& registry,
                                 platform::Files& files, platform::System& system,
                                 InstallOptions options)
    : m_instance(instance),
      m_registry(registry),
      m_files(files),
      m_system(system),
      m_options(options) {
    m_icon = ::LoadIconA(m_instance, MAKEINTRESOURCEA(IDR_MAINFRAME));
}

INT_PTR InstallerDialog::DoModal() {
    return RunModal(m_instance, IDD_KOLVANE_DIALOG, *this);
}

INT_PTR InstallerDialog::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_INITDIALOG:
            return OnInitDialog();
        case WM_COMMAND:
            switch (LOWORD(wParam)) {
                case IDOK:
                    OnOK();
                    return TRUE;
                case IDCANCEL:
                    OnCancel();
                    return TRUE;
                default:
                    return FALSE;
            }
        case WM_SYSCOMMAND:
            return OnSysCommand(static_cast<UINT>(wParam), lParam) ? TRUE : FALSE;
        case WM_PAINT:
            return OnPaint() ? TRUE : FALSE;
        case WM_QUERYDRAGICON:
            // One of the few messages whose result a dialog procedure returns directly.
            return reinterpret_cast<INT_PTR>(OnQueryDragIcon());
        default:
            return FALSE;
    }
}

std::string InstallerDialog::LoadText(int id) const {
    return win32::LoadResourceString(m_instance, static_cast<UINT>(id));
}

void InstallerDialog::DoDataExchange(bool save) {
    m_quitButton = ::GetDlgItem(m_window, IDCANCEL);
    m_installButton = ::GetDlgItem(m_window, IDOK);
    m_progress = ::GetDlgItem(m_window, IDC_PROGRESS);
    const HWND description = ::GetDlgItem(m_window, IDC_DESCRIPTION);
    if (save) {
        m_description = WindowText(description, kMaxDescription);
    } else {
        ::SetWindowTextA(description, m_description.c_str());
    }
}

BOOL InstallerDialog::OnInitDialog() {
    m_description = LoadText(LocalizedId(m_system, kMsgDescription));
    DoDataExchange(false);

    const std::string install = LoadText(LocalizedId(m_system, kMsgInstallButton));
    const std::string quit = LoadText(LocalizedId(m_system, kMsgQuitButton));
    ::SetWindowTextA(m_quitButton, quit.c_str());
    ::SetWindowTextA(m_installButton, install.c_str());

    // The about entry is German on every system.
    if (const HMENU systemMenu = ::GetSystemMenu(m_window, FALSE); systemMenu != nullptr) {
        const std::string about = LoadText(kMsgAboutMenuItem);
        if (!about.empty()) {
            ::AppendMenuA(systemMenu, MF_SEPARATOR, 0, nullptr);
            ::AppendMenuA(systemMenu, MF_STRING, IDM_ABOUTBOX, about.c_str());
        }
    }

    ::SendMessageA(m_window, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_icon));
    ::SendMessageA(m_window, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_icon));
    // The focus goes to the first tab stop, Install.
    return TRUE;
}

void InstallerDialog::OnOK() {
    platform::DialogUi ui(m_window, m_progress, m_instance,
                          win32::ApplicationName(m_system.ModuleFileName()));
    platform::Platform platform{m_registry, m_files, ui, m_system};
    const InstallOutcome outcome = PressInstall(platform, m_options);
    if (outcome == InstallOutcome::kNoHost) {
        return;  // nothing happened; Install or Quit again
    }
    m_outcome = outcome;
    DoDataExchange(true);
    ::EndDialog(m_window, IDOK);
}

void InstallerDialog::OnCancel() {
    ::EndDialog(m_window, IDCANCEL);
}

bool InstallerDialog::OnSysCommand(UINT id, LPARAM) {
    // The system uses the low four bits of a command for itself.
    if ((id & 0xFFF0) != IDM_ABOUTBOX) {
        return false;
    }
    AboutDialog about(m_instance);
    about.DoModal(m_window);
    return true;
}

bool InstallerDialog::OnPaint() {
    if (!::IsIconic(m_window)) {
        return false;
    }
    PaintDc dc(m_window);
    ::SendMessageA(m_window, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc.Get()), 0);

    const int iconWidth = ::GetSystemMetrics(SM_CXICON);
    const int iconHeight = ::GetSystemMetrics(SM_CYICON);
    RECT client{};
    ::GetClientRect(m_window, &client);
    const int x = (client.right - client.left - iconWidth + 1) / 2;
    const int y = (client.bottom - client.top - iconHeight + 1) / 2;
    ::DrawIcon(dc.Get(), x, y, m_icon);
    return true;
}

}  // namespace kolvane::app
