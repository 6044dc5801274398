#pragma once

// Windows of another process, seen from a program that drives it: the end-to-end suite's driver
// and the benchmarks' prompt driver. Nothing here waits on the other process for ever: commands
// are posted, and texts are read with a time limit.

#include <string>
#include <vector>

#include "platform/win32/windows_support.h"

namespace kolvane::remote {

// The visible top-level windows of every process, or of the thread `threadId` only (far fewer
// requests to the Wine server: the thread's windows are listed at once).
std::vector<HWND> VisibleTopLevelWindows(DWORD threadId = 0);

// The text of a window, or "<no answer>" when its process does not answer within five seconds.
std::string Text(HWND window);

// The control `id` of `window`; the window itself for id 0.
HWND Control(HWND window, int id);

// Presses the button `id` of `window` (a posted BM_CLICK); false when there is no such button.
bool Click(HWND window, int id);

}  // namespace kolvane::remote
