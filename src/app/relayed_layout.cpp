// Where the Relayed Contacts window lies and how wide its columns are: kept in the profile between
// runs, in pixels at 96 DPI, and laid out again as the window is resized.
#include "app/relayed_dlg.h"

#include <commctrl.h>

#include <algorithm>
#include <cstdio>

#include "app/saved_numbers.h"

namespace qsoferry {
namespace {

constexpr const char kSection[] = "Relayed Contacts";
constexpr int kBaseDpi = 96;

int ScreenDpi() {
    HDC screen = GetDC(nullptr);
    int dpi = screen ? GetDeviceCaps(screen, LOGPIXELSX) : kBaseDpi;
    if (screen) ReleaseDC(nullptr, screen);
    return dpi > 0 ? dpi : kBaseDpi;
}

}  // namespace

void CRelayedDlg::Layout() {
    RECT client;
    GetClientRect(m_hwnd, &client);
    const int dx = client.right - m_templateClient.cx, dy = client.bottom - m_templateClient.cy;
    HDWP moves = BeginDeferWindowPos(static_cast<int>(m_anchors.size()));
    for (const Anchor& a : m_anchors) {
        const int x = a.at.left + (a.moveX ? dx : 0), y = a.at.top + (a.moveY ? dy : 0);
        const int w = a.at.right - a.at.left + (a.growX ? dx : 0), h = a.at.bottom - a.at.top + (a.growY ? dy : 0);
        if (moves)
            moves = DeferWindowPos(moves, GetDlgItem(m_hwnd, a.id), nullptr, x, y, std::max(w, 0), std::max(h, 0),
                                   SWP_NOZORDER | SWP_NOACTIVATE);
    }
    if (moves) EndDeferWindowPos(moves);
}

void CRelayedDlg::LoadLayout() {
    const int dpi = ScreenDpi();
    const std::vector<int> place = LeadingNumbers(m_profile.GetString(kSection, "Placement"), 6);
    const int maximised = place.size() > 4 ? place[4] : 0;
    if (place.size() == 6 && place[5] > 0 && place[2] > 0 && place[3] > 0) {
        const int left = place[0], top = place[1], savedDpi = place[5];
        RECT r = {left, top, left + MulDiv(place[2], dpi, savedDpi), top + MulDiv(place[3], dpi, savedDpi)};
        r.right = std::max(r.right, r.left + m_minimum.cx);
        r.bottom = std::max(r.bottom, r.top + m_minimum.cy);
        if (MonitorFromRect(&r, MONITOR_DEFAULTTONULL)) {
            WINDOWPLACEMENT wp = {};
            wp.length = sizeof wp;
            GetWindowPlacement(m_hwnd, &wp);
            wp.rcNormalPosition = r;
            wp.showCmd = SW_HIDE;
            SetWindowPlacement(m_hwnd, &wp);
        }
    }
    const std::vector<int> widths = LeadingNumbers(m_profile.GetString(kSection, "Columns"), kRelayedColumns);
    for (size_t i = 0; i < widths.size(); ++i) {
        if (widths[i] > 0) SendMessageW(m_listView, LVM_SETCOLUMNWIDTH, i, MulDiv(widths[i], dpi, kBaseDpi));
    }
    ShowWindow(m_hwnd, maximised ? SW_SHOWMAXIMIZED : SW_SHOW);
}

void CRelayedDlg::SaveLayout() {
    const int dpi = ScreenDpi();
    WINDOWPLACEMENT wp = {};
    wp.length = sizeof wp;
    if (GetWindowPlacement(m_hwnd, &wp)) {
        const RECT& r = wp.rcNormalPosition;
        char place[128];
        std::snprintf(place, sizeof place, "%ld %ld %ld %ld %d %d", r.left, r.top, r.right - r.left, r.bottom - r.top,
                      wp.showCmd == SW_SHOWMAXIMIZED ? 1 : 0, dpi);
        m_profile.WriteString(kSection, "Placement", place);
    }
    std::string widths;
    for (size_t i = 0; i < kRelayedColumns; ++i) {
        int w = static_cast<int>(SendMessageW(m_listView, LVM_GETCOLUMNWIDTH, i, 0));
        widths += (i ? " " : "") + std::to_string(MulDiv(w, kBaseDpi, dpi));
    }
    m_profile.WriteString(kSection, "Columns", widths);
}

}  // namespace qsoferry
