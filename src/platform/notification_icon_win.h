// The program's icon in the notification area, on Win32 (Shell_NotifyIconW): added once there is
// something to show, changed as the state changes, added again when Explorer starts anew or was not
// there yet, and removed at the end. Its mouse messages go to the frame as kTrayMessage.
//
// The icon belongs to a hidden window of its own, not to the frame: Explorer finds the icon to
// remove by its window, which must still be there when Explorer gets to the removal. The removal
// runs on a thread of its own, begun before the frame is destroyed, so that closing never waits on
// Explorer (2 s under Wine without a window manager, up to 4 s on Windows with a busy Explorer); the
// process waits for it at most kIconRemovalWaitMs after it began.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "view/tray_icon.h"

namespace qsoferry {

constexpr UINT kTrayMessage = WM_APP + 2;
constexpr DWORD kIconRemovalWaitMs = 1000;
// The icon's own window: top-level, never shown (FindWindow finds it by this class).
constexpr const wchar_t kIconWindowClass[] = L"QsoferryNotificationIcon";

class NotificationIcon {
public:
    NotificationIcon();
    ~NotificationIcon();
    NotificationIcon(const NotificationIcon&) = delete;
    NotificationIcon& operator=(const NotificationIcon&) = delete;

    // The icon's messages go to `frame`.
    void Attach(HWND frame);
    // These pixels (top row first, 0xAARRGGBB, straight alpha) and this tooltip; nothing is done
    // when the icon is there already as asked.
    void Show(const std::vector<std::uint32_t>& pixels, int size, const std::string& tip);
    // A notification beside the icon, when the icon is there; true once it was shown.
    bool Notify(const std::string& text);
    // Explorer has started again, with an empty notification area.
    void TaskbarCreated();
    // The end: the icon's removal begins, off this thread, and nothing is added again.
    void Remove();
    // Waits for the removal, until kIconRemovalWaitMs after it began at most.
    void AwaitRemoval();
    bool IsShown() const { return m_keeper.IsThere(); }

private:
    bool Call(TrayCall call);

    HWND m_window = nullptr;  // the icon's owner, which hands its messages to the frame
    HICON m_icon = nullptr;
    std::vector<std::uint32_t> m_pixels;
    std::wstring m_tip, m_info;
    TrayIconKeeper m_keeper;
    HANDLE m_removal = nullptr;  // the removal's thread
    DWORD m_removalBegan = 0;
};

}  // namespace qsoferry
