// Entry point of qsoferry.exe.
#include <windows.h>

#include <cstdlib>

#include "app/qsoferry_app.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    qsoferry::CQsoferryApp app(instance);
    if (!app.InitInstance(__argc, __argv)) return app.ExitInstance();
    return app.Run();
}
