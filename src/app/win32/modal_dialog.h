#pragma once

#include <windows.h>

namespace kolvane::app {

// The window procedure of a modal dialog that a `Dialog` object runs: the object travels in
// WM_INITDIALOG's lParam, stays in the window's user slot, learns its window and handles every
// message. `Dialog` declares this template its friend.
template <typename Dialog>
INT_PTR CALLBACK DialogProcOf(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        ::SetWindowLongPtrA(window, DWLP_USER, lParam);
        reinterpret_cast<Dialog*>(lParam)->m_window = window;
    }
    auto* dialog = reinterpret_cast<Dialog*>(::GetWindowLongPtrA(window, DWLP_USER));
    return dialog == nullptr ? FALSE : dialog->HandleMessage(message, wParam, lParam);
}

// Shows the dialog template `id` for `dialog` until it ends; what EndDialog was given.
template <typename Dialog>
INT_PTR RunModal(HINSTANCE instance, int id, Dialog& dialog) {
    return ::DialogBoxParamA(instance, MAKEINTRESOURCEA(id), nullptr, &DialogProcOf<Dialog>,
                             reinterpret_cast<LPARAM>(&dialog));
}

}  // namespace kolvane::app
