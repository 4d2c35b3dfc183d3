#include "app/qsoferry_app.h"

#include <commctrl.h>
#include <commdlg.h>
#include <shellapi.h>

#include <iterator>
#include <optional>

#include "app/about_dlg.h"
#include "platform/utf16_win.h"
#include "platform/win_error.h"
#include "resource.h"

namespace qsoferry {
namespace {

// The framework's Open and Save take any file.
constexpr const wchar_t kAnyFile[] = L"All Files (*.*)\0*.*\0";

constexpr const char kRegistryKey[] = "Local AppWizard-Generated Applications";

// How long a start waits for the window of a Qsoferry started just before it.
constexpr DWORD kStartedWaitMs = 8000;

std::string FullPath(const std::string& path) {
    wchar_t full[MAX_PATH * 2];
    DWORD length = GetFullPathNameW(Utf16(path).c_str(), static_cast<DWORD>(std::size(full)), full, nullptr);
    return (length > 0 && length < std::size(full)) ? Utf8(std::wstring_view(full, length)) : path;
}

constexpr const char kSettings[] = "Settings";
constexpr const char kMinimizeToTray[] = "MinimizeToTray";

// Started with Windows (the setup's start-up entry): quietly, in the notification area.
bool StartedQuietly() {
    int argc = 0;
    LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    bool quiet = false;
    for (int i = 1; argv && i < argc; ++i) {
        quiet = quiet || lstrcmpiW(argv[i], L"/minimized") == 0 || lstrcmpiW(argv[i], L"-minimized") == 0;
    }
    if (argv) LocalFree(argv);
    return quiet;
}

// The first argument that is not a switch names the document's file, as the framework parses it.
std::string FileFromCommandLine() {
    int argc = 0;
    LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    std::string file;
    for (int i = 1; argv && i < argc; ++i) {
        if (argv[i][0] != L'/' && argv[i][0] != L'-') {
            file = Utf8(argv[i]);
            break;
        }
    }
    if (argv) LocalFree(argv);
    return file;
}

// Asks one window of Qsoferry's class to come to the front; true when it did.
bool AskToComeForward(HWND running, UINT message) {
    DWORD process = 0;
    GetWindowThreadProcessId(running, &process);
    AllowSetForegroundWindow(process);
    DWORD_PTR answer = 0;
    if (!SendMessageTimeoutW(running, message, 0, 0, SMTO_ABORTIFHUNG | SMTO_BLOCK, 3000, &answer)) return false;
    if (answer != static_cast<DWORD_PTR>(kComeForwardAnswer)) return false;
    // This process was started by the operator and may hand the foreground on itself, too.
    SetForegroundWindow(running);
    return true;
}

struct ForwardSearch {
    UINT message;
    bool found;
    bool answered;
};

// A lambda does not convert to the 32-bit build's stdcall callback: a function of its own.
BOOL CALLBACK AskIfQsoferry(HWND window, LPARAM context) {
    auto& search = *reinterpret_cast<ForwardSearch*>(context);
    char name[64];
    if (GetClassNameA(window, name, sizeof name) && lstrcmpiA(name, kFrameClass) == 0) {
        search.found = true;
        search.answered = AskToComeForward(window, search.message);
    }
    return !search.answered;
}

// Every top-level window of Qsoferry's class is asked, not only the first found: one of them may
// belong to a program that does not answer (an older version, a window of the class that is not
// Qsoferry's).
enum class Forward { kNoWindow, kNoAnswer, kCame };
Forward AnyCameForward() {
    ForwardSearch search{RegisterWindowMessageW(kComeForwardMessage), false, false};
    if (!search.message) return Forward::kNoAnswer;
    EnumWindows(AskIfQsoferry, reinterpret_cast<LPARAM>(&search));
    return search.answered ? Forward::kCame : search.found ? Forward::kNoAnswer : Forward::kNoWindow;
}

// A Qsoferry already running on this desktop that answers comes to the front. One that cannot be
// reached (it runs with higher rights, or does not answer in time, or is an older version) does
// not: this one then starts as before, showing the lamps beside it and taking over delivery when
// it ends. Another user's session has a desktop of its own, where none is found.
//
// Two starts at the same moment (the Run key and a Startup shortcut at logon) would both find no
// window: a mutex in the session's namespace says that a Qsoferry has started, and a start that
// finds it and no window yet waits a few seconds for that one's window. The mutex stays with the
// process.
bool BroughtRunningToFront() {
    HANDLE started = CreateMutexW(nullptr, FALSE, L"Local\\Qsoferry started");
    const DWORD error = GetLastError();
    const bool first = started && error != ERROR_ALREADY_EXISTS;
    Forward forward = AnyCameForward();
    if (first || (!started && error != ERROR_ACCESS_DENIED)) return forward == Forward::kCame;
    for (const DWORD until = GetTickCount() + kStartedWaitMs;
         forward == Forward::kNoWindow && static_cast<LONG>(until - GetTickCount()) > 0;) {
        Sleep(250);
        forward = AnyCameForward();
    }
    return forward == Forward::kCame;
}

// A document's file only has to be there and readable: nothing is read from it. Says why not.
std::optional<std::string> CannotOpen(const std::string& path) {
    HANDLE file = CreateFileW(Utf16(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return "Cannot open " + path + ".\n" + SystemMessage(GetLastError());
    CloseHandle(file);
    return std::nullopt;
}

}  // namespace

CQsoferryApp::CQsoferryApp(HINSTANCE instance)
    : m_instance(instance), m_appName(AppTitle(instance)), m_platform(instance) {
    m_platform.onDocumentTitle = [this](const std::string& title) { m_doc.SetTitle(title); };
}

bool CQsoferryApp::InitInstance() {
    // Started while Qsoferry runs: the running one is what the operator wants to see. A file on
    // the command line changes nothing there.
    if (BroughtRunningToFront()) return false;
    // No dialog hosts an ActiveX control, so there is no control container to enable.
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);
    SetRegistryKey(kRegistryKey);
    LoadStdProfileSettings(4);
    m_bMinimizeToTray = m_profile.GetString(kSettings, kMinimizeToTray) == "1";
    m_accel = LoadAcceleratorsA(m_instance, MAKEINTRESOURCEA(IDR_MAINFRAME));
    if (!ProcessShellCommand(FileFromCommandLine())) return false;
    // Shown last: the window is first seen with its final caption and size, timer 1 running.
    // Started quietly, it stays hidden until the icon's click or another start brings it out.
    if (!StartedQuietly()) {
        ShowWindow(m_frame.Handle(), SW_SHOW);
        UpdateWindow(m_frame.Handle());
    }
    return true;
}

void CQsoferryApp::SetMinimizeToTray(bool on) {
    m_bMinimizeToTray = on;
    m_profile.WriteString(kSettings, kMinimizeToTray, on ? "1" : "0");
}

void CQsoferryApp::SetRegistryKey(const std::string& key) {
    m_profile.SetRegistryKey(key, m_appName);
}

void CQsoferryApp::LoadStdProfileSettings(size_t recentCount) {
    m_recent = RecentFileList(recentCount);
    m_recent.Load(m_profile.LoadRecentFiles(recentCount));
}

bool CQsoferryApp::ProcessShellCommand(const std::string& fileName) {
    if (!fileName.empty()) {
        if (std::optional<std::string> why = CannotOpen(fileName)) {
            MessageBoxW(nullptr, Utf16(*why).c_str(), Utf16(m_appName).c_str(), MB_OK | MB_ICONEXCLAMATION);
            return false;
        }
    }
    if (!CreateFrameAndView()) return false;
    if (fileName.empty()) {
        m_doc.OnNewDocument();
    } else {
        m_doc.SetPathName(FullPath(fileName));
        AddToRecentFileList(m_doc.GetPathName());
    }
    m_view->OnInitialUpdate();
    return true;
}

bool CQsoferryApp::CreateFrameAndView() {
    if (!m_frame.Create(m_instance, this)) return false;
    if (!m_form.Create(m_instance, m_frame.Handle())) return false;
    m_frame.SetForm(m_form.Handle());
    ShowWindow(m_form.Handle(), SW_SHOW);  // the template is a plain child; the view is always shown
    m_platform.Attach(m_frame.Handle(), m_form.Handle());
    m_view = std::make_unique<CQsoferryView>(m_platform);
    m_form.SetView(m_view.get());
    return true;
}

int CQsoferryApp::Run() {
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        // The Relayed Contacts window's keys are its own (Ctrl+C there copies its contacts).
        if (m_relayed && m_relayed->PreTranslateMessage(msg)) continue;
        if (m_accel && TranslateAcceleratorA(m_frame.Handle(), m_accel, &msg)) continue;
        if (m_form.Handle() && IsDialogMessageA(m_form.Handle(), &msg)) continue;
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    m_exitCode = static_cast<int>(msg.wParam);
    return ExitInstance();
}

void CQsoferryApp::OnAppAbout() {
    CAboutDlg().DoModal(m_instance, m_frame.Handle());
}

void CQsoferryApp::OnRelayedContacts() {
    if (!m_view) return;
    if (!m_relayed) {
        CRelayedDlg::Hooks hooks;
        hooks.sources = [this] { return m_view->CopySources(); };
        hooks.sendAgain = [this](const std::string& records, size_t count) { m_view->OnSendAgain(records, count); };
        hooks.tell = [this](const std::string& message) { m_view->TellOperator(message); };
        m_relayed = std::make_unique<CRelayedDlg>(m_instance, m_platform, m_profile, std::move(hooks));
    }
    m_relayed->Show(m_frame.Handle());
}

void CQsoferryApp::OnFileNew() {
    if (m_doc.OnNewDocument()) m_view->OnInitialUpdate();
}

void CQsoferryApp::OnFileOpen() {
    std::optional<std::string> path = AskForFile(m_frame.Handle(), kAnyFile, nullptr, false, OFN_FILEMUSTEXIST);
    if (path) OpenDocumentFile(*path);  // cancelled: nothing changes
}

bool CQsoferryApp::OpenDocumentFile(const std::string& path) {
    if (std::optional<std::string> why = CannotOpen(path)) {
        m_platform.ShowMessage(*why);
        return false;
    }
    m_doc.SetPathName(FullPath(path));
    AddToRecentFileList(m_doc.GetPathName());
    m_view->OnInitialUpdate();
    return true;
}

void CQsoferryApp::OnFileSave() {
    // The document stores nothing, so a save must never write over a file: the one it came from
    // may be the decoder's log. With a file of its own there is nothing to do.
    if (!m_doc.GetPathName().empty()) return;
    std::optional<std::string> path = AskForFile(m_frame.Handle(), kAnyFile, nullptr, true, 0);
    if (!path) return;
    // CREATE_NEW: an empty file only where none exists; an existing one is left untouched.
    HANDLE file =
        CreateFileW(Utf16(*path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD error = GetLastError();
    if (file == INVALID_HANDLE_VALUE && error != ERROR_FILE_EXISTS) {
        m_platform.ShowMessage("Cannot save " + *path + ".\n" + SystemMessage(error));
        return;
    }
    if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
    m_doc.SetPathName(FullPath(*path));
    AddToRecentFileList(m_doc.GetPathName());
}

void CQsoferryApp::AddToRecentFileList(const std::string& path) {
    m_recent.Add(path);
    m_profile.SaveRecentFiles(m_recent.Entries(), m_recent.Capacity());
}

}  // namespace qsoferry
