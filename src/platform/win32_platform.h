// The seam on Win32, for the main frame and the form that hosts the view.
#pragma once

#include <windows.h>

#include <oleacc.h>

#include <functional>
#include <map>
#include <memory>

#include "platform/logger_sender_win.h"
#include "platform/notification_icon_win.h"
#include "platform/platform.h"
#include "resource.h"

namespace qsoferry {

// Posted to the form when a handover to the logger has ended and its result can be taken.
constexpr UINT kSendDoneMessage = WM_APP + 1;

class Win32Platform : public Platform {
public:
    explicit Win32Platform(HINSTANCE instance) : m_instance(instance) {}

    // The frame is the main window (wParam of every copy-data message and owner of message boxes);
    // the form is the view's window, holding the controls and timer 1.
    void Attach(HWND frame, HWND form) {
        m_frame = frame;
        m_form = form;
        m_sender = std::make_unique<LoggerSender>(frame, form, kSendDoneMessage);
        m_icon.Attach(frame);
        MarkDecoration(IDC_BADGE);
    }
    // The notification-area icon, for the frame's messages and the end.
    NotificationIcon& Icon() { return m_icon; }
    std::function<void(const std::string&)> onDocumentTitle;

    DrainResult DispatchPendingMessage() override;
    WindowHandle FindWindowByClass(const std::string& className) override;
    std::vector<std::string> TopLevelWindowTitles() override;
    size_t AddPort() override;
    void BeginSend(size_t port, const Handover& handover) override;
    std::optional<HandoverResult> TakeResult(size_t port) override;
    void DropWaiting(size_t port) override;
    void Done(size_t port) override;
    bool Sending(size_t port) override;
    std::vector<size_t> TakeNotice() override;
    bool AwaitSent(unsigned ms) override;
    std::uint64_t MonotonicMs() override;
    BitmapHandle LoadBitmapResource(int resourceId) override;
    void ReleaseBitmap(BitmapHandle bitmap) override;
    void SetControlImage(int controlId, BitmapHandle bitmap) override;
    int GetCheckState(int controlId) override;
    void SetCheckState(int controlId, int state) override;
    void SetDocumentTitle(const std::string& title) override;
    void SetMainCaption(const std::string& caption) override;
    void FitFrameToForm() override;
    void StartTimer(unsigned timerId, unsigned periodMs) override;
    int NotificationIconSize() override { return GetSystemMetrics(SM_CXSMICON); }
    void ShowNotificationIcon(const std::vector<std::uint32_t>& pixels, int size, const std::string& tip) override {
        m_icon.Show(pixels, size, tip);
    }
    bool ShowNotification(const std::string& text) override { return m_icon.Notify(text); }
    bool CanOpenForReading(const std::string& path) override;
    FileResult OpenFile(const std::string& path, FileAccess access, FileHandle& file, std::uint64_t& size) override;
    FileResult ReadFileAt(FileHandle file, std::uint64_t offset, char* buffer, size_t size, size_t& got) override;
    FileResult WriteFileAt(FileHandle file, std::uint64_t offset, const std::string& bytes, bool flush) override;
    FileResult FlushFile(FileHandle file) override;
    void CloseFile(FileHandle file) override;
    FileResult MoveFileNoReplace(const std::string& from, const std::string& to, bool durable) override;
    bool SameFile(const std::string& a, const std::string& b) override;
    FileResult RemoveFile(const std::string& path) override;
    bool FolderExists(const std::string& path) override;
    std::vector<std::string> ListFolders(const std::string& parent, const std::string& prefix) override;
    bool TryLock(const std::string& name) override;
    void Unlock(const std::string& name) override;
    std::optional<std::string> LegacySpelling(const std::string& path) override;
    std::optional<std::string> UserName() override;
    std::optional<std::string> LocalAppDataFolder() override;
    void ShowMessage(const std::string& text) override;
    bool AskYesNo(const std::string& text) override;
    size_t Choose(const std::string& text, const std::vector<std::string>& answers, size_t preferred) override;
    std::optional<std::string> ChooseLogFile() override;
    LocalTime Now() override;
    void SetControlText(int controlId, const std::string& text) override;
    void SetControlName(int controlId, const std::string& name) override;
    void AnnounceControl(int controlId) override;
    bool MakeFolder(const std::string& path) override;

private:
    // A message box's owner: the window of this program the operator works in (the Relayed
    // Contacts window, say), or the frame.
    HWND Owner() const {
        HWND active = GetActiveWindow();
        return active ? active : m_frame;
    }

    // Screen readers: annotations of the form's controls (oleacc's IAccPropServices, through COM).
    void MarkDecoration(int controlId);
    bool Annotate(int controlId, const GUID& property, long value);
    IAccPropServices* AccessibilityServices();

    HINSTANCE m_instance;
    IAccPropServices* m_accessibility = nullptr;
    bool m_accessibilityTried = false;
    bool m_statusLive = false;  // the status line is a live region (Windows 8 and later)
    bool m_statusLiveTried = false;
    HWND m_frame = nullptr;
    HWND m_form = nullptr;
    std::map<std::string, HANDLE> m_locks;
    std::unique_ptr<LoggerSender> m_sender;  // once attached: its messages go to the form
    NotificationIcon m_icon;
};

// The application's title (string AFX_IDS_APP_TITLE): caption of every message box.
std::string AppTitle(HINSTANCE instance);

// The system's Open (or Save) dialog, modal to `owner`: the chosen path, or nothing when it was
// cancelled. `filter` pairs names and patterns, each closed by a null; `title` may be null.
std::optional<std::string> AskForFile(HWND owner, const wchar_t* filter, const wchar_t* title, bool save, DWORD flags);

}  // namespace qsoferry
