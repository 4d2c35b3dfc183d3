#include "app/main_frame.h"

#include "app/qsoferry_app.h"
#include "resource.h"

namespace qsoferry {
namespace {

constexpr const char kInitialCaption[] = "qsoferry";  // until the view sets its own

}  // namespace

bool CMainFrame::PreCreateWindow(CREATESTRUCTA& cs) {
    // An overlapped frame; no document name is ever added to the caption.
    cs.style = WS_OVERLAPPEDWINDOW;
    cs.x = cs.y = cs.cx = cs.cy = CW_USEDEFAULT;
    return true;
}

bool CMainFrame::Create(HINSTANCE instance, CQsoferryApp* app) {
    m_app = app;
    m_instance = instance;
    WNDCLASSEXA wc = {};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = WindowProc;
    wc.hInstance = instance;
    wc.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(IDR_MAINFRAME));
    wc.hIconSm = static_cast<HICON>(LoadImageA(instance, MAKEINTRESOURCEA(IDR_MAINFRAME), IMAGE_ICON,
                                               GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), 0));
    wc.hCursor = LoadCursorA(nullptr, MAKEINTRESOURCEA(32512));  // IDC_ARROW
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = kFrameClass;
    if (!RegisterClassExA(&wc) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) return false;

    CREATESTRUCTA cs = {};
    if (!PreCreateWindow(cs)) return false;
    HMENU menu = LoadMenuA(instance, MAKEINTRESOURCEA(IDR_MAINFRAME));
    m_hwnd = CreateWindowExA(0, kFrameClass, kInitialCaption, cs.style, cs.x, cs.y, cs.cx, cs.cy, nullptr, menu,
                             instance, this);
    return m_hwnd != nullptr;
}

LRESULT CALLBACK CMainFrame::WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTA*>(lParam);
        auto* self = static_cast<CMainFrame*>(create->lpCreateParams);
        self->m_hwnd = hwnd;
        SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
    auto* self = reinterpret_cast<CMainFrame*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
    return self ? self->HandleMessage(message, wParam, lParam) : DefWindowProcA(hwnd, message, wParam, lParam);
}

LRESULT CMainFrame::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == m_comeForward && m_comeForward != 0) return OnComeForward();
    if (message == m_taskbarCreated && m_taskbarCreated != 0) {
        m_app->Platform().Icon().TaskbarCreated();
        return 0;
    }
    switch (message) {
        case WM_CREATE:
            return OnCreate();
        case WM_SIZE:
            // Minimised with the choice on, it lives in the notification area alone: no taskbar
            // button. Only while the icon is there to bring it back.
            if (wParam == SIZE_MINIMIZED && m_app->MinimizeToTray() && m_app->Platform().Icon().IsShown()) {
                ShowWindow(m_hwnd, SW_HIDE);
                return 0;
            }
            if (m_form) MoveWindow(m_form, 0, 0, LOWORD(lParam), HIWORD(lParam), TRUE);
            return 0;
        case kTrayMessage:
            OnTrayIcon(lParam);
            return 0;
        case WM_SETFOCUS:
            if (m_form) SetFocus(m_form);
            return 0;
        case WM_SYSCOLORCHANGE:  // top-level windows only are told; the form draws the lamps
            if (m_form) SendMessageA(m_form, WM_SYSCOLORCHANGE, wParam, lParam);
            return 0;
        case WM_COMMAND:
            OnCommand(LOWORD(wParam));
            return 0;
        case WM_CLOSE:
            Close();  // nothing to save: the document is never modified
            return 0;
        case WM_DESTROY:
            m_app->Platform().Icon().Remove();
            PostQuitMessage(0);
            return 0;
        // Windows shutting down or logging off: yes, once delivery has stopped between two contacts.
        case WM_QUERYENDSESSION:
            m_app->OnQueryEndSession();
            return TRUE;
        case WM_ENDSESSION:
            if (wParam) m_app->Platform().Icon().Remove();  // beside the wait for DXbase
            m_app->OnEndSession(wParam != FALSE);
            if (wParam) m_app->Platform().Icon().AwaitRemoval();
            return 0;
        default:
            return DefWindowProcA(m_hwnd, message, wParam, lParam);
    }
}

// The icon's removal begins first, so that Explorer's time over it passes while this window goes
// (hiding it waits 2 s under Wine without a window manager) and while DXbase is waited for.
void CMainFrame::Close() {
    m_app->Platform().Icon().Remove();
    DestroyWindow(m_hwnd);
}

// Qsoferry started again: this window comes to the front, out of the notification area or restored
// if it was minimised. The new start let this process take the foreground (AllowSetForegroundWindow)
// before it asked.
LRESULT CMainFrame::OnComeForward() {
    ShowFromTray();
    return kComeForwardAnswer;
}

void CMainFrame::ShowFromTray() {
    if (IsIconic(m_hwnd)) {
        ShowWindow(m_hwnd, SW_RESTORE);
    } else if (!IsWindowVisible(m_hwnd)) {
        ShowWindow(m_hwnd, SW_SHOW);
    }
    SetForegroundWindow(m_hwnd);
}

void CMainFrame::OnTrayIcon(LPARAM event) {
    if (event == WM_LBUTTONUP) ShowFromTray();
    // The menu's loop is modal: never from a drain inside a cycle (the icon's messages are sent
    // ones, which a drain takes), always once it has ended, so that the ticks go on under it.
    // From the keyboard (Win+B, then Enter, Space or the menu key) Windows sends a right click to
    // an icon of the first version, as this one is, and a key select or a context menu to later ones.
    constexpr LPARAM kKeySelect = WM_USER + 1;  // NIN_KEYSELECT, which MinGW's headers hide behind a version
    if (event == WM_RBUTTONUP || event == kKeySelect || event == WM_CONTEXTMENU)
        m_app->AfterCycle([this] { ShowTrayMenu(); });
}

void CMainFrame::ShowTrayMenu() {
    HMENU menu = LoadMenuW(m_instance, MAKEINTRESOURCEW(IDR_TRAY));
    if (!menu) return;
    HMENU popup = GetSubMenu(menu, 0);
    SetMenuDefaultItem(popup, ID_TRAY_SHOW, FALSE);
    CheckMenuItem(popup, ID_TRAY_MINIMIZE, MF_BYCOMMAND | (m_app->MinimizeToTray() ? MF_CHECKED : MF_UNCHECKED));
    POINT at = {};
    GetCursorPos(&at);
    // The menu closes when the operator clicks elsewhere only if this window is in the foreground.
    SetForegroundWindow(m_hwnd);
    TrackPopupMenu(popup, TPM_RIGHTBUTTON, at.x, at.y, 0, m_hwnd, nullptr);  // posts the command chosen
    PostMessageW(m_hwnd, WM_NULL, 0, 0);
    DestroyMenu(menu);
}

void CMainFrame::OnCommand(UINT id) {
    switch (id) {
        case ID_APP_EXIT:
            Close();
            break;
        // Each opens a modal dialog or starts the view anew: never inside a cycle (a drain there
        // dispatches menu commands), always once it has ended.
        case ID_APP_ABOUT:
            m_app->AfterCycle([app = m_app] { app->OnAppAbout(); });
            break;
        case ID_FILE_NEW:
            m_app->AfterCycle([app = m_app] { app->OnFileNew(); });
            break;
        case ID_FILE_OPEN:
            m_app->AfterCycle([app = m_app] { app->OnFileOpen(); });
            break;
        case ID_FILE_SAVE:
            m_app->AfterCycle([app = m_app] { app->OnFileSave(); });
            break;
        case ID_FILE_SEND_LOG:
            m_app->OnSendLog();
            break;
        case ID_TRAY_SHOW:
            ShowFromTray();
            break;
        case ID_TRAY_MINIMIZE:
            m_app->SetMinimizeToTray(!m_app->MinimizeToTray());
            break;
        case ID_FILE_RELAYED:  // reads the copies: not from a drain inside a cycle's reading either
            m_app->AfterCycle([app = m_app] { app->OnRelayedContacts(); });
            break;
        default:
            break;  // the edit keys and the pane keys have no handler
    }
}

}  // namespace qsoferry
