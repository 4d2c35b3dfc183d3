// The about box, dialog IDD_ABOUTBOX: modal, no handlers of its own; OK, Esc and the close box end it.
#pragma once

#include <windows.h>

namespace qsoferry {

class CAboutDlg {
public:
    INT_PTR DoModal(HINSTANCE instance, HWND owner);

private:
    static INT_PTR CALLBACK DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
};

}  // namespace qsoferry
