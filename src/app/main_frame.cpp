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
    switch (message) {
        case WM_CREATE:
            return OnCreate();
        case WM_SIZE:
            if (m_form) MoveWindow(m_form, 0, 0, LOWORD(lParam), HIWORD(lParam), TRUE);
            return 0;
        case WM_SETFOCUS:
            if (m_form) SetFocus(m_form);
            return 0;
        case WM_COMMAND:
            OnCommand(LOWORD(wParam));
            return 0;
        case WM_CLOSE:
            DestroyWindow(m_hwnd);  // nothing to save: the document is never modified
            return 0;
        case WM_DESTROY:
            PostQuitMessage(0);
            return 0;
        // Windows shutting down or logging off: yes, once delivery has stopped between two contacts.
        case WM_QUERYENDSESSION:
            m_app->OnQueryEndSession();
            return TRUE;
        case WM_ENDSESSION:
            m_app->OnEndSession(wParam != FALSE);
            return 0;
        default:
            return DefWindowProcA(m_hwnd, message, wParam, lParam);
    }
}

// Qsoferry started again: this window comes to the front, restored if it was minimised. The new
// start let this process take the foreground (AllowSetForegroundWindow) before it asked.
LRESULT CMainFrame::OnComeForward() {
    if (IsIconic(m_hwnd)) ShowWindow(m_hwnd, SW_RESTORE);
    SetForegroundWindow(m_hwnd);
    return kComeForwardAnswer;
}

void CMainFrame::OnCommand(UINT id) {
    switch (id) {
        case ID_APP_EXIT:
            DestroyWindow(m_hwnd);
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
        case ID_FILE_RELAYED:  // reads the copies: not from a drain inside a cycle's reading either
            m_app->AfterCycle([app = m_app] { app->OnRelayedContacts(); });
            break;
        default:
            break;  // the edit keys and the pane keys have no handler
    }
}

}  // namespace qsoferry
