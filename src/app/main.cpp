// Entry point of qsoferry.exe.
#include <windows.h>

#include <cstdlib>

#include "app/qsoferry_app.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    qsoferry::CQsoferryApp theApp(instance);
    if (!theApp.InitInstance()) return theApp.ExitInstance();
    return theApp.Run();
}
