#include "app/about_dlg.h"

#include "resource.h"

namespace qsoferry {

INT_PTR CAboutDlg::DoModal(HINSTANCE instance, HWND owner) {
    // The modal loop dispatches the form's timer messages, so poll cycles go on meanwhile.
    return DialogBoxParamA(instance, MAKEINTRESOURCEA(IDD_ABOUTBOX), owner, DialogProc, 0);
}

INT_PTR CALLBACK CAboutDlg::DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
        case WM_INITDIALOG:
            return TRUE;
        case WM_COMMAND:
            // The close box arrives here as IDCANCEL, like Esc.
            if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
                EndDialog(hwnd, LOWORD(wParam));
                return TRUE;
            }
            return FALSE;
        default:
            return FALSE;
    }
}

}  // namespace qsoferry
