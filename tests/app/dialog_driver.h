#pragma once

#include <functional>
#include <string>

#include "platform/win32/windows_support.h"

namespace kolvane::testing {

// Drives this process's own dialogs and message boxes from a second thread, as a user would.

// The control id of the text in a message box.
inline constexpr int kMessageBoxText = 0xFFFF;
// The control id of the icon in a message box.
inline constexpr int kMessageBoxIcon = 0x440;

// A visible top-level window of this process with the caption `title` and a control `controlId`;
// waits for it up to `timeoutMs`, null when none came.
HWND WaitForWindow(const std::string& title, int controlId, int timeoutMs = 10000);
// Waits until `window` is destroyed; false when it is still there after `timeoutMs`.
bool WaitUntilGone(HWND window, int timeoutMs = 10000);

std::string WindowText(HWND window);
std::string ControlText(HWND window, int controlId);

// Presses a button the way a click does, without waiting for what it starts.
void Click(HWND window, int buttonId);

// Runs `run` (a modal loop) on this thread while `drive` runs on a thread of its own. When `drive`
// is done, whatever it left open is cancelled, so that `run` returns even after a failed check.
void DriveWhileRunning(const std::function<void()>& run, const std::function<void()>& drive);

}  // namespace kolvane::testing
