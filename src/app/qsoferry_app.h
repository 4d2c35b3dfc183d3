// The application: brings up one document, one main frame and one form view, shows the window once
// the view's initial update has started the poll cycle, and runs the message loop.
#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <string>

#include "app/form_window.h"
#include "app/main_frame.h"
#include "app/qsoferry_doc.h"
#include "app/recent_files.h"
#include "app/registry_profile.h"
#include "app/relayed_dlg.h"
#include "platform/win32_platform.h"
#include "view/qsoferry_view.h"

namespace qsoferry {

class CQsoferryApp {
public:
    explicit CQsoferryApp(HINSTANCE instance);

    bool InitInstance();  // the document's file comes from the command line
    int Run();
    int ExitInstance() { return m_exitCode; }

    void OnAppAbout();
    void OnFileNew();
    void OnFileOpen();
    void OnFileSave();
    // Runs a menu command now, or once the view's running cycle has ended.
    void AfterCycle(std::function<void()> command) {
        if (m_view) {
            m_view->RunAfterCycle(std::move(command));
        } else {
            command();
        }
    }
    void OnSendLog() {
        if (m_view) m_view->OnSendLog();
    }
    void OnRelayedContacts();
    Win32Platform& Platform() { return m_platform; }
    // Minimised, Qsoferry leaves the taskbar for the notification area (remembered; off at first).
    bool MinimizeToTray() const { return m_bMinimizeToTray; }
    void SetMinimizeToTray(bool on);
    void OnQueryEndSession() {
        if (m_view) m_view->OnQueryEndSession();
    }
    void OnEndSession(bool ending) {
        if (m_view) m_view->OnEndSession(ending);
    }

private:
    void SetRegistryKey(const std::string& key);
    void LoadStdProfileSettings(size_t recentCount);
    bool ProcessShellCommand(const std::string& fileName);
    bool CreateFrameAndView();
    bool OpenDocumentFile(const std::string& path);
    void AddToRecentFileList(const std::string& path);

    HINSTANCE m_instance;
    std::string m_appName;
    HACCEL m_accel = nullptr;
    bool m_bMinimizeToTray = false;
    int m_exitCode = 0;
    Win32Platform m_platform;
    RegistryProfile m_profile;
    RecentFileList m_recent{4};
    CQsoferryDoc m_doc;
    CMainFrame m_frame;
    FormWindow m_form;
    // Lives until the message loop has ended, so no cycle still on the stack can outlive it.
    std::unique_ptr<CQsoferryView> m_view;
    std::unique_ptr<CRelayedDlg> m_relayed;  // made when first opened; its window may come and go
};

}  // namespace qsoferry
