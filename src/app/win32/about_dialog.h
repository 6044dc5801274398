#pragma once

#include "platform/win32/windows_support.h"

namespace kolvane::app {

// The about box, dialog template 100: the icon, the program's name and version. OK, Escape and
// Close end it.
class AboutDialog {
  public:
    explicit AboutDialog(HINSTANCE instance) : m_instance(instance) {}

    INT_PTR DoModal(HWND parent);

  private:
    static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    HINSTANCE m_instance;
};

}  // namespace kolvane::app
