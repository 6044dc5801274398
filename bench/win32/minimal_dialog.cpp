// The least a program with Kolvane.exe's main dialog must do: the baseline of the Wine
// benchmark's fixed cost. It is linked with Kolvane.exe's own resources (dialog, icon, string
// table and the manifest that selects common controls 6), so that only the code differs. Install
// shows one message box, as a successful installation does, and ends the program; Quit ends it.
#include "app/win32/resource.h"
#include "platform/win32/windows_support.h"

namespace {

INT_PTR CALLBACK DialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    if (message == WM_INITDIALOG) {
        return TRUE;
    }
    if (message != WM_COMMAND) {
        return FALSE;
    }
    switch (LOWORD(wParam)) {
        case IDOK:
            ::MessageBoxA(dialog, "Installed.", "Kolvane", MB_OK | MB_ICONINFORMATION);
            ::EndDialog(dialog, IDOK);
            return TRUE;
        case IDCANCEL:
            ::EndDialog(dialog, IDCANCEL);
            return TRUE;
        default:
            return FALSE;
    }
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    // The progress bar's window class comes from the common controls, as in Kolvane.exe.
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES};
    ::InitCommonControlsEx(&controls);
    ::DialogBoxParamA(instance, MAKEINTRESOURCEA(IDD_KOLVANE_DIALOG), nullptr, DialogProc, 0);
    return 0;
}
