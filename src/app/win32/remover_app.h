#pragma once

#include <string>

#include "platform/files.h"
#include "platform/win32/windows_support.h"

namespace kolvane::app {

// The program started as KolvaneRemove.exe, with the command line `tail` after its name: removes
// a package from the host whose record folder holds it. Returns the exit code.
int RunRemover(HINSTANCE instance, const char* tail);

// After an installation into the host at `hostPath`: the host's record folder keeps a copy of
// this program as its remover, as long as the host holds records. A copy that is there is
// replaced only by a newer version.
void KeepRemover(platform::Files& files, const std::string& hostPath);

}  // namespace kolvane::app
