// The program's icon in the notification area, on Win32 (Shell_NotifyIconW): added once there is
// something to show, changed as the state changes, added again when Explorer starts anew or was not
// there yet, and removed at the end. Its mouse messages go to the frame as kTrayMessage.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "view/tray_icon.h"

namespace qsoferry {

constexpr UINT kTrayMessage = WM_APP + 2;

class NotificationIcon {
public:
    NotificationIcon();
    ~NotificationIcon();
    NotificationIcon(const NotificationIcon&) = delete;
    NotificationIcon& operator=(const NotificationIcon&) = delete;

    void Attach(HWND frame) { m_frame = frame; }
    // These pixels (top row first, 0xAARRGGBB, straight alpha) and this tooltip; nothing is done
    // when the icon is there already as asked.
    void Show(const std::vector<std::uint32_t>& pixels, int size, const std::string& tip);
    // A notification beside the icon, when the icon is there; true once it was shown.
    bool Notify(const std::string& text);
    // Explorer has started again, with an empty notification area.
    void TaskbarCreated();
    // The end: the icon goes, and is not added again.
    void Remove();
    bool IsShown() const { return m_keeper.IsThere(); }

private:
    bool Call(TrayCall call);

    HWND m_frame = nullptr;
    HICON m_icon = nullptr;
    std::vector<std::uint32_t> m_pixels;
    std::wstring m_tip, m_info;
    TrayIconKeeper m_keeper;
};

}  // namespace qsoferry
