// The main frame: the top-level window with menu, accelerators and icon 128, no toolbar and no
// status bar. Its caption is left to the view. Commands go to the application, one call each. It
// also owns the notification-area icon's messages: a left click brings it out, a right click opens
// the icon's menu; minimised with that choice on, it leaves the taskbar for the notification area.
#pragma once

#include <windows.h>

namespace qsoferry {

class CQsoferryApp;

// Another start of Qsoferry asks a running one to come to the front with this registered message;
// the running one answers kComeForwardAnswer once it has.
constexpr const wchar_t kComeForwardMessage[] = L"Qsoferry: come to the front";
constexpr LRESULT kComeForwardAnswer = 0x51534F46;  // "QSOF"
constexpr const char kFrameClass[] = "QsoferryFrame";

class CMainFrame {
public:
    bool Create(HINSTANCE instance, CQsoferryApp* app);
    // Out of the notification area (or minimised) and to the front.
    void ShowFromTray();
    HWND Handle() const { return m_hwnd; }
    void SetForm(HWND form) { m_form = form; }

private:
    static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
    bool PreCreateWindow(CREATESTRUCTA& cs);
    int OnCreate() { return 0; }  // creates no control bars
    void OnCommand(UINT id);
    void Close();
    LRESULT OnComeForward();
    void OnTrayIcon(LPARAM event);
    void ShowTrayMenu();

    HINSTANCE m_instance = nullptr;
    HWND m_hwnd = nullptr;
    HWND m_form = nullptr;
    CQsoferryApp* m_app = nullptr;
    UINT m_comeForward = RegisterWindowMessageW(kComeForwardMessage);
    UINT m_taskbarCreated = RegisterWindowMessageW(L"TaskbarCreated");
};

}  // namespace qsoferry
