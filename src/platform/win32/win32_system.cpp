#include "platform/win32/win32_system.h"

#include "platform/win32/windows_support.h"

namespace kolvane::platform {

std::uint16_t Win32System::DefaultLanguageId() {
    return ::GetSystemDefaultLangID();
}

std::string Win32System::ModuleFileName() {
    return win32::ModulePath();
}

}  // namespace kolvane::platform
