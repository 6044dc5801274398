#include "app/win32/about_dialog.h"

#include "app/win32/resource.h"

namespace kolvane::app {

INT_PTR AboutDialog::DoModal(HWND parent) {
    return ::DialogBoxParamA(m_instance, MAKEINTRESOURCEA(IDD_ABOUTBOX), parent, DialogProc, 0);
}

INT_PTR CALLBACK AboutDialog::DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
        case WM_INITDIALOG:
            return TRUE;
        case WM_COMMAND:
            if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
                ::EndDialog(window, LOWORD(wParam));
                return TRUE;
            }
            return FALSE;
        default:
            return FALSE;
    }
}

}  // namespace kolvane::app
