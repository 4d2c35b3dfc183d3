#include "app/form_window.h"

#include "platform/win32_platform.h"
#include "resource.h"
#include "view/qsoferry_view.h"

namespace qsoferry {

bool FormWindow::Create(HINSTANCE instance, HWND frame) {
    m_hwnd =
        CreateDialogParamA(instance, MAKEINTRESOURCEA(IDD_FORMVIEW), frame, DialogProc, reinterpret_cast<LPARAM>(this));
    // The focus is shown from the start, not only once a key has been pressed.
    if (m_hwnd) SendMessageA(m_hwnd, WM_CHANGEUISTATE, MAKEWPARAM(UIS_CLEAR, UISF_HIDEFOCUS), 0);
    return m_hwnd != nullptr;
}

INT_PTR CALLBACK FormWindow::DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        SetWindowLongPtrA(hwnd, DWLP_USER, lParam);
        return FALSE;
    }
    auto* self = reinterpret_cast<FormWindow*>(GetWindowLongPtrA(hwnd, DWLP_USER));
    return self ? self->HandleMessage(message, wParam) : FALSE;
}

INT_PTR FormWindow::HandleMessage(UINT message, WPARAM wParam) {
    if (!m_view) return FALSE;
    switch (message) {
        case WM_TIMER:
            m_view->OnTimer(static_cast<unsigned>(wParam));
            return TRUE;
        case WM_COMMAND:
            // A double click on the status line opens the list of contacts relayed, as the menu does.
            if (LOWORD(wParam) == IDC_STATUS && HIWORD(wParam) == STN_DBLCLK)
                PostMessageA(GetParent(m_hwnd), WM_COMMAND, ID_FILE_RELAYED, 0);
            if (LOWORD(wParam) == IDC_NO_FREQ && HIWORD(wParam) == BN_CLICKED) {
                m_view->OnNoFreqClicked();
                return TRUE;
            }
            return FALSE;
        case WM_MOUSEMOVE:
            m_view->OnMouseMove();
            return FALSE;  // default processing
        case kSendDoneMessage:
            m_view->OnSendDone();
            return TRUE;
        case WM_SYSCOLORCHANGE:  // from the frame: a high-contrast theme on or off
            m_view->OnThemeChanged();
            return TRUE;
        case WM_DESTROY:
            m_view->OnDestroy();
            return FALSE;
        default:
            return FALSE;
    }
}

}  // namespace qsoferry
