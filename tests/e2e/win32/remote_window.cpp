#include "remote_window.h"

namespace kolvane::remote {

namespace {

constexpr UINT kReadTimeoutMs = 5000;

}  // namespace

std::vector<HWND> VisibleTopLevelWindows(DWORD threadId) {
    std::vector<HWND> windows;
    const WNDENUMPROC collect = [](HWND window, LPARAM list) -> BOOL {
        if (IsWindowVisible(window)) {
            reinterpret_cast<std::vector<HWND>*>(list)->push_back(window);
        }
        return TRUE;
    };
    if (threadId == 0) {
        EnumWindows(collect, reinterpret_cast<LPARAM>(&windows));
    } else {
        EnumThreadWindows(threadId, collect, reinterpret_cast<LPARAM>(&windows));
    }
    return windows;
}

std::string Text(HWND window) {
    DWORD_PTR length = 0;
    if (SendMessageTimeoutA(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, kReadTimeoutMs,
                            &length) == 0) {
        return "<no answer>";
    }
    std::string text(length + 1, '\0');
    DWORD_PTR copied = 0;
    SendMessageTimeoutA(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()),
                        SMTO_ABORTIFHUNG, kReadTimeoutMs, &copied);
    text.resize(copied);
    return text;
}

HWND Control(HWND window, int id) {
    return id == 0 ? window : GetDlgItem(window, id);
}

bool Click(HWND window, int id) {
    const HWND button = Control(window, id);
    return button != nullptr && PostMessageA(button, BM_CLICK, 0, 0);
}

}  // namespace kolvane::remote
