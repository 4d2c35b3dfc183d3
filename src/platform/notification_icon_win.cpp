#include "platform/notification_icon_win.h"

#include <shellapi.h>

#include <algorithm>
#include <cstring>

#include "platform/utf16_win.h"

namespace qsoferry {
namespace {

constexpr UINT kIconId = 1;

// A 32-bit icon from straight-alpha pixels, which a DIB holds as they are (B, G, R, A in memory).
HICON MakeIcon(const std::vector<std::uint32_t>& pixels, int size) {
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = size;
    info.bmiHeader.biHeight = -size;  // top row first
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP colour = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (!colour) return nullptr;
    std::memcpy(bits, pixels.data(), pixels.size() * sizeof pixels[0]);
    // The mask plays no part where the colour carries alpha; all of it lets the colour through.
    std::vector<BYTE> zeros(static_cast<size_t>((size + 15) / 16 * 2 * size));
    HBITMAP mask = CreateBitmap(size, size, 1, 1, zeros.data());
    ICONINFO icon = {};
    icon.fIcon = TRUE;
    icon.hbmMask = mask;
    icon.hbmColor = colour;
    HICON made = mask ? CreateIconIndirect(&icon) : nullptr;
    DeleteObject(colour);
    if (mask) DeleteObject(mask);
    return made;
}

// The icon's clicks, forwarded to the frame.
LRESULT CALLBACK IconWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == kTrayMessage)
        return SendMessageW(reinterpret_cast<HWND>(GetWindowLongPtrW(hwnd, GWLP_USERDATA)), message, wParam, lParam);
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

// Explorer may take seconds over it; the data is the thread's own.
DWORD WINAPI RemoveIcon(LPVOID context) {
    auto* data = static_cast<NOTIFYICONDATAW*>(context);
    Shell_NotifyIconW(NIM_DELETE, data);
    delete data;
    return 0;
}

// Cut to what the structure holds, with "..." where it was cut.
template <size_t N>
void CopyCut(wchar_t (&to)[N], const std::wstring& text) {
    std::wstring cut = text.size() < N ? text : text.substr(0, N - 4) + L"...";
    std::copy(cut.begin(), cut.end(), to);
    to[cut.size()] = L'\0';
}

}  // namespace

NotificationIcon::NotificationIcon() : m_keeper([this](TrayCall call) { return Call(call); }) {}

NotificationIcon::~NotificationIcon() {
    Remove();
    AwaitRemoval();
    // A removal still under way keeps the window: Explorer may not have got to it yet.
    if (m_window && !m_removal) DestroyWindow(m_window);
    if (m_icon) DestroyIcon(m_icon);
}

void NotificationIcon::Attach(HWND frame) {
    if (m_window) return;
    WNDCLASSEXW wc = {};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = IconWindowProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = kIconWindowClass;
    if (!RegisterClassExW(&wc) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) return;
    // Top-level and never shown, not message-only: Wine's shell takes an icon away when its window
    // goes with a process that was killed only for a top-level window, and a dead icon would stay.
    m_window = CreateWindowExW(WS_EX_TOOLWINDOW, kIconWindowClass, L"", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                               wc.hInstance, nullptr);
    if (m_window) SetWindowLongPtrW(m_window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(frame));
}

void NotificationIcon::Show(const std::vector<std::uint32_t>& pixels, int size, const std::string& tip) {
    std::wstring wide = Utf16(tip);
    if (!m_window || pixels.size() != static_cast<size_t>(size) * static_cast<size_t>(size)) return;
    if (m_keeper.IsThere() && pixels == m_pixels && wide == m_tip) return;
    if (pixels != m_pixels || !m_icon) {
        HICON icon = MakeIcon(pixels, size);
        if (!icon) return;
        if (m_icon) DestroyIcon(m_icon);  // the notification area keeps a copy of its own
        m_icon = icon;
        m_pixels = pixels;
    }
    m_tip = wide;
    m_keeper.Put();
}

bool NotificationIcon::Notify(const std::string& text) {
    m_info = Utf16(text);
    return m_keeper.Notify();
}

void NotificationIcon::TaskbarCreated() {
    m_keeper.TaskbarCreated();
    if (m_icon) m_keeper.Put();
}

bool NotificationIcon::Call(TrayCall call) {
    NOTIFYICONDATAW data = {};
    data.cbSize = sizeof data;
    data.hWnd = m_window;
    data.uID = kIconId;
    if (call == TrayCall::kNotify) {
        data.uFlags = NIF_INFO;
        CopyCut(data.szInfo, m_info);
        CopyCut(data.szInfoTitle, L"Qsoferry");
        data.dwInfoFlags = NIIF_WARNING;
        return Shell_NotifyIconW(NIM_MODIFY, &data) != FALSE;
    }
    data.uFlags = NIF_ICON | NIF_TIP | NIF_MESSAGE;
    data.uCallbackMessage = kTrayMessage;
    data.hIcon = m_icon;
    CopyCut(data.szTip, m_tip);
    return Shell_NotifyIconW(call == TrayCall::kAdd ? NIM_ADD : NIM_MODIFY, &data) != FALSE;
}

void NotificationIcon::Remove() {
    if (!m_keeper.Remove() || !m_window) return;
    auto* data = new NOTIFYICONDATAW{};
    data->cbSize = sizeof *data;
    data->hWnd = m_window;
    data->uID = kIconId;
    m_removalBegan = GetTickCount();
    m_removal = CreateThread(nullptr, 0, RemoveIcon, data, 0, nullptr);
    if (!m_removal) RemoveIcon(data);  // no thread to be had: here, then
}

void NotificationIcon::AwaitRemoval() {
    if (!m_removal) return;
    const DWORD waited = GetTickCount() - m_removalBegan;
    if (WaitForSingleObject(m_removal, waited < kIconRemovalWaitMs ? kIconRemovalWaitMs - waited : 0) != WAIT_OBJECT_0)
        return;
    CloseHandle(m_removal);
    m_removal = nullptr;
}

}  // namespace qsoferry
