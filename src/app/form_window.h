// The form view's window: the child dialog IDD_FORMVIEW in the frame's client area. Each message
// the view handles is one call into it.
#pragma once

#include <windows.h>

namespace qsoferry {

class CQsoferryView;

class FormWindow {
public:
    bool Create(HINSTANCE instance, HWND frame);
    void SetView(CQsoferryView* view) { m_view = view; }
    HWND Handle() const { return m_hwnd; }

private:
    static INT_PTR CALLBACK DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR HandleMessage(UINT message, WPARAM wParam);

    HWND m_hwnd = nullptr;
    CQsoferryView* m_view = nullptr;
};

}  // namespace qsoferry
