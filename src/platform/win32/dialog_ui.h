#pragma once

#include <string>

#include "platform/user_interface.h"
#include "platform/win32/windows_support.h"

namespace kolvane::platform {

// The user interface of an installation run on a Win32 dialog: its progress bar, and message
// boxes modal to it, captioned with the program's name and with texts from the program's own
// string table.
class DialogUi : public UserInterface {
  public:
    // `dialog` owns the message boxes; `progress` is its progress bar; `instance` holds the
    // string table.
    DialogUi(HWND dialog, HWND progress, HINSTANCE instance, std::string caption);

    void SetProgressRange(int low, int high) override;
    void SetProgressPosition(int position) override;
    int ShowMessage(int stringId, unsigned boxType) override;
    int ShowMessageText(const std::string& text, unsigned boxType) override;

    // The box type as shown: a box without an icon of its own gets the exclamation mark when it
    // only informs (OK) and the question mark when it asks (Yes/No).
    static unsigned WithIcon(unsigned boxType);

  private:
    HWND dialog_;
    HWND progress_;
    HINSTANCE instance_;
    std::string caption_;
};

}  // namespace kolvane::platform
