// The platform seam: every operation the bridge asks of the window system, the runtime and its two
// peer programs. The view (and so the relay) reaches the outside world through this interface only.
//
// What the program relies on from each operation (the files, the logger and the clock as the
// delivery engine sees them are described in relay/courier_io.h):
//  - DispatchPendingMessage: never waits. Takes one pending message of the thread, translates and
//    dispatches it (running the program's own handlers before it returns) and says so; says kEmpty
//    when nothing is pending, and kQuit when the program has been asked to end (the quit request is
//    kept for the main loop, so draining never swallows it). It never starts a modal loop of the
//    system's (a menu, a move): input that would is left for the main loop, and kEmpty said.
//  - FindWindowByClass: top-level windows only, the class compared without regard to case;
//    kNoWindow when there is none.
//  - TopLevelWindowTitles: the titles of every top-level window, in UTF-8, in one pass; never waits
//    on the windows' programs.
//  - The logger link (relay/courier_io.h): the copy-data messages are sent from a thread of its
//    own, so that a logger that takes its time never holds up the window; the notice that results
//    can be taken comes to the form as a message, which the form hands to
//    CQsoferryView::OnSendDone. wParam is the bridge's main window.
//  - LoadBitmapResource / ReleaseBitmap / SetControlImage: the caller owns loaded bitmaps; a control shows a
//    bitmap without taking ownership of it. A failed load gives kNoBitmap, which shows nothing. A
//    bitmap is loaded at the system's DPI: a whole number of screen pixels for each of its pixels.
//  - GetCheckState: 0 clear, 1 ticked, anything else indeterminate.
//  - UserName: the logon name exactly as the system gives it, in UTF-8, or nothing.
//  - LocalAppDataFolder: the user's local application data folder as the system knows it (where
//    JTDX keeps its folder), without a trailing backslash, or nothing.
//  - FolderExists: true when the path names a folder.
//  - ListFolders: the names of the folders directly inside `parent` whose names begin with
//    `prefix`, in one listing of the folder; none when it cannot be listed.
//  - ShowMessage: a modal box with an OK button and the application's title as caption; messages
//    (timer ticks included) are still dispatched while it is open. AskYesNo the same, with Yes and
//    No buttons: true for Yes. Choose the same, with a button for each of `answers` (each saying
//    what it does), the one at `preferred` the default: the index of the one pressed; closing the
//    box (Esc, the close box) presses the last, which is always the answer that does nothing.
//    ChooseLogFile: the system's Open dialog for ADIF files, modal in the
//    same way; the chosen file's path, or nothing when the operator cancels.
//  - SetControlText: a static control's text, in UTF-8; the control never grows for it.
//  - SetControlName: the name a screen reader gives a control that shows a picture (a lamp), in
//    UTF-8; screen readers are told that it changed. The picture stays.
//  - AnnounceControl: a screen reader reads the control's text out as it is now, when the
//    program's window is in front; the focus stays where it is.
//  - The lamps' bitmaps are drawn in the colours of a high-contrast theme while one is on; when the
//    theme changes, the form calls CQsoferryView::OnThemeChanged and they are loaded again.
//  - Now: the date and time of day as the operator's clock shows them.
//  - MakeFolder: makes a folder whose parent exists; true when it is there afterwards.
//  - SameFile: both paths lead to one file, however they are spelt (case, short names, links);
//    false when either cannot be looked at.
//  - The notification area: NotificationIconSize is the side, in pixels, of an icon there at the
//    display's scaling. ShowNotificationIcon puts the program's icon there with these pixels (top row
//    first, 0xAARRGGBB, straight alpha) and tooltip, or changes it; cheap when nothing changed, and
//    tried again when the notification area could not take it before. ShowNotification shows a
//    short notification beside the icon, when there is one, and says whether it was shown; it never
//    waits for the operator.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "relay/courier_io.h"

namespace qsoferry {

// Window and bitmap handles cross the seam as opaque values.
using WindowHandle = LoggerId;
using BitmapHandle = std::uintptr_t;
constexpr WindowHandle kNoWindow = 0;
constexpr BitmapHandle kNoBitmap = 0;

enum class DrainResult { kEmpty, kDispatched, kQuit };

struct LocalTime {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0;
};

class Platform : public DeliveryFiles, public LoggerLink, public Clock {
public:
    virtual ~Platform() = default;

    // Message queue.
    virtual DrainResult DispatchPendingMessage() = 0;

    // Peers.
    virtual WindowHandle FindWindowByClass(const std::string& className) = 0;
    virtual std::vector<std::string> TopLevelWindowTitles() = 0;

    // The form's controls, its frame and its document.
    virtual BitmapHandle LoadBitmapResource(int resourceId) = 0;
    virtual void ReleaseBitmap(BitmapHandle bitmap) = 0;
    virtual void SetControlImage(int controlId, BitmapHandle bitmap) = 0;
    virtual void SetControlText(int controlId, const std::string& text) = 0;
    virtual void SetControlName(int controlId, const std::string& name) = 0;
    virtual void AnnounceControl(int controlId) = 0;
    virtual int GetCheckState(int controlId) = 0;
    virtual void SetCheckState(int controlId, int state) = 0;
    virtual void SetDocumentTitle(const std::string& title) = 0;
    virtual void SetMainCaption(const std::string& caption) = 0;
    virtual void FitFrameToForm() = 0;  // shrink only
    virtual void StartTimer(unsigned timerId, unsigned periodMs) = 0;

    // The notification area.
    virtual int NotificationIconSize() = 0;
    virtual void ShowNotificationIcon(const std::vector<std::uint32_t>& pixels, int size, const std::string& tip) = 0;
    virtual bool ShowNotification(const std::string& text) = 0;

    // Files, beside the delivery engine's own.
    virtual bool FolderExists(const std::string& path) = 0;
    virtual std::vector<std::string> ListFolders(const std::string& parent, const std::string& prefix) = 0;
    virtual bool MakeFolder(const std::string& path) = 0;
    virtual bool SameFile(const std::string& a, const std::string& b) = 0;

    // User.
    virtual std::optional<std::string> UserName() = 0;
    virtual std::optional<std::string> LocalAppDataFolder() = 0;
    virtual void ShowMessage(const std::string& text) = 0;
    virtual bool AskYesNo(const std::string& text) = 0;
    virtual size_t Choose(const std::string& text, const std::vector<std::string>& answers, size_t preferred) = 0;
    virtual std::optional<std::string> ChooseLogFile() = 0;
    virtual LocalTime Now() = 0;
};

}  // namespace qsoferry
