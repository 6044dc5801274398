#include "platform/win32/dialog_ui.h"

namespace kolvane::platform {

DialogUi::DialogUi(HWND dialog, HWND progress, HINSTANCE instance, std::string caption)
    : dialog_(dialog), progress_(progress), instance_(instance), caption_(std::move(caption)) {}

void DialogUi::SetProgressRange(int low, int high) {
    ::SendMessageA(progress_, PBM_SETRANGE, 0, MAKELPARAM(low, high));
}

void DialogUi::SetProgressPosition(int position) {
    ::SendMessageA(progress_, PBM_SETPOS, static_cast<WPARAM>(position), 0);
}

int DialogUi::ShowMessage(int stringId, unsigned boxType) {
    return ShowMessageText(win32::LoadResourceString(instance_, static_cast<UINT>(stringId)),
                           boxType);
}

int DialogUi::ShowMessageText(const std::string& text, unsigned boxType) {
    return ::MessageBoxA(dialog_, text.c_str(), caption_.c_str(), WithIcon(boxType));
}

unsigned DialogUi::WithIcon(unsigned boxType) {
    if ((boxType & MB_ICONMASK) != 0) {
        return boxType;
    }
    switch (boxType & MB_TYPEMASK) {
        case MB_OK:
        case MB_OKCANCEL:
            return boxType | MB_ICONEXCLAMATION;
        case MB_YESNO:
        case MB_YESNOCANCEL:
            return boxType | MB_ICONQUESTION;
        default:
            return boxType;
    }
}

}  // namespace kolvane::platform
