#include "app/win32/installer_app.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    return kolvane::app::theApp.Run(instance, ::GetCommandLineA());
}
