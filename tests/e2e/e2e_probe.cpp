// Looks at the running bridge from outside, for the Wine tests. Every wait is bounded.
//   e2e_probe username | acp     the user's name; the system's ANSI code page
//   e2e_probe wait-class NAME MS | wait-title NAME MS | gone-title NAME MS
//   e2e_probe info               caption, menu, the frame's children, rectangles, check box
//   e2e_probe click ID           BM_CLICK on a control of the form
//   e2e_probe command ID         WM_COMMAND to the frame, as a menu item or accelerator sends it
//   e2e_probe close              the frame's close box
//   e2e_probe syscolorchange     WM_SYSCOLORCHANGE to the frame, as when a high-contrast theme is turned on
//   e2e_probe post-close         WM_CLOSE posted to the frame
//   e2e_probe cancel TITLE       IDCANCEL to the window with that title (a file dialog)
//   e2e_probe about-info | about-ok | about-esc | about-close
//   e2e_probe append LOG N MS HOLD [FIRST [SEED]]
//                                log N contacts as the decoder does, each held open HOLD ms, calls
//                                K<FIRST>.. (100 unless given); with SEED, pauses of 0..MS at random
//   e2e_probe bare-send N        N contacts straight to the logger, one SendMessage each, as the bridge
//                                sends them: the floor for the bridge's backlog time
//   e2e_probe hold-lock NAME MS  holds the mutex Global\NAME for MS ms, closed to every other program,
//                                as a bridge run as administrator by an older version holds it
//   e2e_probe rect TITLE         the rectangle of the top-level window with that title
//   e2e_probe count-frames       how many bridges' main windows there are
//   e2e_probe window-state       whether the bridge's window is the foreground window, and minimised
//   e2e_probe minimize           the bridge's window minimised
//   e2e_probe suspend | resume   a bridge's window thread stopped, as if hung; every one let go on
//   e2e_probe endsession         WM_QUERYENDSESSION and WM_ENDSESSION to the frame, as at a log-off
//   e2e_probe message | message-ok | message-yes | message-no
//                                the program's message boxes: how many, the text; OK, Yes or No
//   e2e_probe message-press ID   the button ID of a question with answers of its own
//   e2e_probe open-file TITLE PATH  types PATH into the file dialog with that title and presses Open
//   e2e_probe resources EXE      the menu and accelerator table 128 of an .exe, and menu 133
//   e2e_probe link-target LNK    the program a shortcut starts, as the shell resolves it (UTF-8)
//   e2e_probe relayed            the Relayed Contacts window: its line, its list's rectangle, row and
//                                selection counts (the list's own messages), and every row's cells
//   e2e_probe relayed-click ID   a click on a button (or check box) of the Relayed Contacts window
//   e2e_probe relayed-command ID WM_COMMAND posted to that window, as its button sends it
//   e2e_probe clipboard          the clipboard's text (UTF-8)
//   e2e_probe tray               the bridge's frame, shown or not; Wine's taskbar, where the
//                                notification area ends it; whether the frame has a taskbar button;
//                                how many menus are open
//   e2e_probe tray-tips          the texts of every tooltip's tools (an icon's tip, a notification)
//   e2e_probe tray-forget        the bridge's icon taken out of the notification area, as when
//                                Explorer ends
//   e2e_probe tray-add-late      an icon of the bridge's put there, as Explorer does with an add it
//                                took late, after the bridge's call had timed out
//   e2e_probe taskbar-created    "TaskbarCreated" to every top-level window, as Explorer says it
//   e2e_probe tray-event EVENT   the icon's message with this event, as Explorer sends it (a key
//                                select is 1025, the menu key 123)
//   e2e_probe accessible TITLE ID...  each control's name, role and state as a screen reader reads
//                                them (oleacc, from outside); TITLE "form" for the bridge's form
//   e2e_probe focus              the control that has the keyboard focus in the bridge, and whether
//                                its focus rectangle is shown; the form's controls in their order
#include <windows.h>

#include <commctrl.h>
#include <oleacc.h>
#include <shellapi.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

constexpr const char kFrameClass[] = "QsoferryFrame";
constexpr const char kAboutTitle[] = "About Qsoferry ver 1.00";

HWND WaitFor(const char* className, const char* title, int timeoutMs) {
    for (int waited = 0;; waited += 50) {
        HWND found = FindWindowA(className, title);
        if (found || waited >= timeoutMs) return found;
        Sleep(50);
    }
}

HWND Form(HWND frame) {
    return FindWindowExA(frame, nullptr, "#32770", nullptr);
}

void PrintRect(const char* name, HWND window) {
    RECT r;
    GetWindowRect(window, &r);
    std::printf("%s=%ld,%ld,%ld,%ld\n", name, r.left, r.top, r.right - r.left, r.bottom - r.top);
}

void PrintMenu(HMENU menu, const std::string& prefix, const char* key = "menu") {
    int count = GetMenuItemCount(menu);
    for (int i = 0; i < count; ++i) {
        char text[128] = "";
        GetMenuStringA(menu, i, text, sizeof text, MF_BYPOSITION);
        HMENU sub = GetSubMenu(menu, i);
        std::printf("%s=%s%s%s\n", key, prefix.c_str(), text,
                    sub ? "" : (" #" + std::to_string(GetMenuItemID(menu, i))).c_str());
        if (sub) PrintMenu(sub, prefix + text + "/", key);
    }
}

BOOL CALLBACK PrintChild(HWND child, LPARAM parent) {
    if (GetParent(child) != reinterpret_cast<HWND>(parent)) return TRUE;
    // The text as the window holds it, in UTF-16, printed as UTF-8: a path in any script reads right.
    char className[64] = "", text[2048] = "";
    wchar_t wide[1024] = L"";
    GetClassNameA(child, className, sizeof className);
    int length = GetWindowTextW(child, wide, 1024);
    text[WideCharToMultiByte(CP_UTF8, 0, wide, length, text, sizeof text - 1, nullptr, nullptr)] = '\0';
    std::printf("child=%s|%d|%s\n", className, static_cast<short>(GetDlgCtrlID(child)), text);
    return TRUE;
}

int Info() {
    HWND frame = WaitFor(kFrameClass, nullptr, 5000);
    if (!frame) return 1;
    char caption[256] = "";
    GetWindowTextA(frame, caption, sizeof caption);
    std::printf("caption=%s\n", caption);
    std::printf("visible=%d\n", IsWindowVisible(frame) ? 1 : 0);
    // Menus belong to their process under Wine: the window's menu can only be seen to exist.
    std::printf("hasMenu=%d\n", GetMenu(frame) ? 1 : 0);
    EnumChildWindows(frame, PrintChild, reinterpret_cast<LPARAM>(frame));
    PrintRect("frame", frame);
    HWND form = Form(frame);
    if (!form) return 1;
    PrintRect("form", form);
    RECT client;
    GetClientRect(frame, &client);
    std::printf("client=%ld,%ld\n", client.right, client.bottom);
    PrintRect("loggerLamp", GetDlgItem(form, 1000));
    PrintRect("decoderLamp", GetDlgItem(form, 1001));
    PrintRect("badge", GetDlgItem(form, 1003));
    std::printf("noFreq=%ld\n", static_cast<long>(SendDlgItemMessageA(form, 1002, BM_GETCHECK, 0, 0)));
    HWND status = GetDlgItem(form, 1004);
    wchar_t wide[512] = L"";
    char text[1024] = "";
    int length = GetWindowTextW(status, wide, 512);
    text[WideCharToMultiByte(CP_UTF8, 0, wide, length, text, sizeof text - 1, nullptr, nullptr)] = '\0';
    std::printf("status=%s\n", text);
    PrintRect("statusRect", status);
    // Whether the text, in the control's own font, fits its width (it would end in "..." otherwise).
    HDC dc = GetDC(status);
    HGDIOBJ font = SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageW(status, WM_GETFONT, 0, 0)));
    SIZE extent = {};
    GetTextExtentPoint32W(dc, wide, length, &extent);
    SelectObject(dc, font);
    ReleaseDC(status, dc);
    RECT inside;
    GetClientRect(status, &inside);
    std::printf("statusFits=%d\nstatusExtent=%ld,%ld\n", extent.cx <= inside.right ? 1 : 0, extent.cx, inside.right);
    return 0;
}

// The file name box of a file dialog: the explorer style's combo box (its edit), or the old style's edit.
int OpenFile(const char* title, const char* path) {
    HWND dialog = WaitFor(nullptr, title, 10000);
    if (!dialog) return 1;
    HWND name = GetDlgItem(dialog, 0x47c);
    if (name) {
        HWND edit = FindWindowExA(name, nullptr, "Edit", nullptr);
        if (edit) name = edit;
    } else {
        name = GetDlgItem(dialog, 0x480);
    }
    if (!name) return 2;
    SetWindowTextA(name, path);
    return PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                        reinterpret_cast<LPARAM>(GetDlgItem(dialog, IDOK)))
               ? 0
               : 3;
}

int Send(HWND window, UINT message, WPARAM wParam) {
    DWORD_PTR result = 0;
    return SendMessageTimeoutA(window, message, wParam, 0, SMTO_ABORTIFHUNG, 5000, &result) ? 0 : 1;
}

int About(const std::string& what) {
    HWND about = WaitFor(nullptr, kAboutTitle, 5000);
    if (!about) return 1;
    if (what == "about-info") {
        EnumChildWindows(about, PrintChild, reinterpret_cast<LPARAM>(about));
        PrintRect("about", about);
        return 0;
    }
    if (what == "about-ok") return Send(GetDlgItem(about, IDOK), BM_CLICK, 0);
    // Esc goes through the dialog manager of the box's modal loop, as a key press does.
    if (what == "about-esc") return PostMessageA(GetDlgItem(about, IDOK), WM_KEYDOWN, VK_ESCAPE, 0) ? 0 : 1;
    if (what == "about-close") return PostMessageA(about, WM_SYSCOMMAND, SC_CLOSE, 0) ? 0 : 1;
    return 64;
}

// The menu and accelerator table 128 as the .exe carries them.
int Resources(const char* exe) {
    HMODULE module = LoadLibraryExA(exe, nullptr, LOAD_LIBRARY_AS_DATAFILE);
    if (!module) return 1;
    HMENU menu = LoadMenuA(module, MAKEINTRESOURCEA(128));
    if (!menu) return 1;
    PrintMenu(menu, "");
    if (HMENU tray = LoadMenuA(module, MAKEINTRESOURCEA(133))) PrintMenu(tray, "", "trayMenu");
    HACCEL table = LoadAcceleratorsA(module, MAKEINTRESOURCEA(128));
    ACCEL entries[32];
    int count = table ? CopyAcceleratorTableA(table, entries, 32) : 0;
    for (int i = 0; i < count; ++i) {
        std::printf("accel=%d,%d,%d\n", entries[i].fVirt, entries[i].key, entries[i].cmd);
    }
    return count > 0 ? 0 : 1;
}

// The program's message boxes: top-level dialogs captioned with the application's title.
BOOL CALLBACK CountMessageBox(HWND window, LPARAM count) {
    char className[64] = "", title[128] = "";
    GetClassNameA(window, className, sizeof className);
    GetWindowTextA(window, title, sizeof title);
    if (std::strcmp(className, "#32770") == 0 && std::strcmp(title, "Qsoferry ver 1.00") == 0 &&
        IsWindowVisible(window)) {
        ++*reinterpret_cast<int*>(count);
    }
    return TRUE;
}

BOOL CALLBACK CountFrame(HWND window, LPARAM count) {
    char className[64] = "";
    GetClassNameA(window, className, sizeof className);
    if (std::strcmp(className, kFrameClass) == 0) ++*reinterpret_cast<int*>(count);
    return TRUE;
}

BOOL CALLBACK ResumeFrame(HWND window, LPARAM) {
    char className[64] = "";
    GetClassNameA(window, className, sizeof className);
    if (std::strcmp(className, kFrameClass) != 0) return TRUE;
    HANDLE thread = OpenThread(THREAD_SUSPEND_RESUME, FALSE, GetWindowThreadProcessId(window, nullptr));
    if (thread) {
        ResumeThread(thread);
        CloseHandle(thread);
    }
    return TRUE;
}

int MessageBoxes(const std::string& what) {
    int count = 0;
    EnumWindows(CountMessageBox, reinterpret_cast<LPARAM>(&count));
    std::printf("messageBoxes=%d\n", count);
    HWND box = FindWindowA("#32770", "Qsoferry ver 1.00");
    if (!box) return what == "message" ? 1 : 0;
    EnumChildWindows(box, PrintChild, reinterpret_cast<LPARAM>(box));
    if (what == "message-ok") return PostMessageA(box, WM_COMMAND, IDOK, 0) ? 0 : 1;
    if (what == "message-yes") return PostMessageA(box, WM_COMMAND, IDYES, 0) ? 0 : 1;
    if (what == "message-no") return PostMessageA(box, WM_COMMAND, IDNO, 0) ? 0 : 1;
    return 0;
}

// Logs contacts as the decoder does: for each, open the log for writing with read and write
// sharing (creating it with its header when new), append the record in two halves with a pause
// between them, close it. Says how many opens failed: the decoder drops a contact when its open does.
int Append(const char* path, int count, int intervalMs, int holdMs, int first, int seed) {
    if (seed) std::srand(static_cast<unsigned>(seed));
    int failedOpens = 0;
    for (int i = 0; i < count; ++i) {
        HANDLE file = CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE) {
            ++failedOpens;
            continue;
        }
        LARGE_INTEGER size = {};
        GetFileSizeEx(file, &size);
        SetFilePointer(file, 0, nullptr, FILE_END);
        std::string call = "K" + std::to_string(first + i);
        std::string head = size.QuadPart == 0 ? "WSJT-X ADIF Export<eoh>\r\n" : "";
        std::string firstHalf = head + "<call:" + std::to_string(call.size()) + ">" + call + " <mode:3>FT8 ";
        std::string rest = "<band:3>20m <freq:9>14.074000 <eor>\r\n";
        DWORD written = 0;
        WriteFile(file, firstHalf.data(), static_cast<DWORD>(firstHalf.size()), &written, nullptr);
        Sleep(holdMs);
        WriteFile(file, rest.data(), static_cast<DWORD>(rest.size()), &written, nullptr);
        CloseHandle(file);
        Sleep(static_cast<DWORD>(seed && intervalMs > 0 ? std::rand() % (intervalMs + 1) : intervalMs));
    }
    std::printf("failedOpens=%d\n", failedOpens);
    return 0;
}

}  // namespace

int HoldLock(const char* name, int ms) {
    // A DACL that grants nothing: another program's open of the same name is denied.
    SECURITY_DESCRIPTOR closed;
    InitializeSecurityDescriptor(&closed, SECURITY_DESCRIPTOR_REVISION);
    ACL empty;
    InitializeAcl(&empty, sizeof empty, ACL_REVISION);
    SetSecurityDescriptorDacl(&closed, TRUE, &empty, FALSE);
    SECURITY_ATTRIBUTES attributes = {sizeof attributes, &closed, FALSE};
    HANDLE mutex = CreateMutexA(&attributes, TRUE, (std::string("Global\\") + name).c_str());
    if (!mutex) return 1;
    std::printf("held\n");
    std::fflush(stdout);
    Sleep(static_cast<DWORD>(ms));
    CloseHandle(mutex);
    return 0;
}

int LinkTarget(const char* utf8Link) {
    wchar_t link[MAX_PATH] = L"", target[MAX_PATH] = L"";
    MultiByteToWideChar(CP_UTF8, 0, utf8Link, -1, link, MAX_PATH);
    CoInitialize(nullptr);
    IShellLinkW* shellLink = nullptr;
    IPersistFile* file = nullptr;
    PIDLIST_ABSOLUTE items = nullptr;
    // The item list is what the shell starts; Wine's own copy of the path in the link is in the
    // system's code page, and loses letters outside it.
    bool ok = SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                         reinterpret_cast<void**>(&shellLink))) &&
              SUCCEEDED(shellLink->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file))) &&
              SUCCEEDED(file->Load(link, STGM_READ)) && SUCCEEDED(shellLink->GetIDList(&items)) &&
              SHGetPathFromIDListW(items, target);
    if (items) CoTaskMemFree(items);
    if (file) file->Release();
    if (shellLink) shellLink->Release();
    CoUninitialize();
    char text[MAX_PATH * 4] = "";
    WideCharToMultiByte(CP_UTF8, 0, target, -1, text, sizeof text, nullptr, nullptr);
    std::printf("%s\n", text);
    return ok ? 0 : 1;
}

constexpr const char kRelayedTitle[] = "Relayed Contacts";
constexpr int kRelayedList = 1011, kRelayedCount = 1012;

std::string Utf8Of(const wchar_t* wide, int length) {
    char text[2048] = "";
    text[WideCharToMultiByte(CP_UTF8, 0, wide, length, text, sizeof text - 1, nullptr, nullptr)] = '\0';
    return text;
}

// The cells are asked for as the list's own owner would, through memory in the bridge's process:
// a list view's messages carry pointers that only mean something there.
int Relayed() {
    HWND dialog = WaitFor("#32770", kRelayedTitle, 5000);
    if (!dialog) return 1;
    HWND list = GetDlgItem(dialog, kRelayedList);
    wchar_t wide[512] = L"";
    int length = GetDlgItemTextW(dialog, kRelayedCount, wide, 512);
    std::printf("line=%s\nvisible=%d\n", Utf8Of(wide, length).c_str(), IsWindowVisible(dialog) ? 1 : 0);
    PrintRect("list", list);
    const int rows = static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
    std::printf("rows=%d\nselected=%ld\n", rows, static_cast<long>(SendMessageW(list, LVM_GETSELECTEDCOUNT, 0, 0)));
    HWND header = reinterpret_cast<HWND>(SendMessageW(list, LVM_GETHEADER, 0, 0));
    const int columns = static_cast<int>(SendMessageW(header, HDM_GETITEMCOUNT, 0, 0));
    DWORD process = 0;
    GetWindowThreadProcessId(list, &process);
    HANDLE bridge = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, process);
    if (!bridge) return 2;
    constexpr SIZE_T kTextChars = 256;
    auto* remote = static_cast<char*>(
        VirtualAllocEx(bridge, nullptr, sizeof(LVITEMW) + kTextChars * sizeof(wchar_t), MEM_COMMIT, PAGE_READWRITE));
    if (!remote) return 2;
    for (int row = 0; row < rows; ++row) {
        std::string line;
        for (int column = 0; column < columns; ++column) {
            LVITEMW item = {};
            item.iSubItem = column;
            item.cchTextMax = kTextChars;
            item.pszText = reinterpret_cast<wchar_t*>(remote + sizeof(LVITEMW));
            WriteProcessMemory(bridge, remote, &item, sizeof item, nullptr);
            int got = static_cast<int>(SendMessageW(list, LVM_GETITEMTEXTW, row, reinterpret_cast<LPARAM>(remote)));
            wchar_t text[kTextChars] = L"";
            ReadProcessMemory(bridge, remote + sizeof(LVITEMW), text, sizeof text, nullptr);
            line += (column ? "|" : "") + Utf8Of(text, std::min<int>(got, kTextChars - 1));
        }
        std::printf("row=%s\n", line.c_str());
    }
    VirtualFreeEx(bridge, remote, 0, MEM_RELEASE);
    CloseHandle(bridge);
    return 0;
}

int Clipboard() {
    if (!OpenClipboard(nullptr)) return 1;
    HANDLE data = GetClipboardData(CF_UNICODETEXT);
    const auto* text = data ? static_cast<const wchar_t*>(GlobalLock(data)) : nullptr;
    if (text) {
        int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
        std::string utf8(static_cast<size_t>(size), '\0');
        WideCharToMultiByte(CP_UTF8, 0, text, -1, utf8.data(), size, nullptr, nullptr);
        std::fwrite(utf8.data(), 1, utf8.size() - 1, stdout);
        GlobalUnlock(data);
    }
    CloseClipboard();
    return text ? 0 : 1;
}

// Wine's shell draws the notification area at the right end of its taskbar (Shell_TrayWnd), icons
// of the small icon size with a border of 2 pixels, and keeps each taskbar button as a button whose
// id is the window it stands for.
BOOL CALLBACK PrintTaskbarButton(HWND window, LPARAM frame) {
    char className[64] = "";
    GetClassNameA(window, className, sizeof className);
    if (std::strcmp(className, "Button") == 0 &&
        reinterpret_cast<HWND>(GetWindowLongPtrA(window, GWLP_ID)) == reinterpret_cast<HWND>(frame)) {
        std::printf("taskbarButton=%d\n", IsWindowVisible(window) ? 1 : 0);
    }
    return TRUE;
}

BOOL CALLBACK CountMenu(HWND window, LPARAM count) {
    char className[64] = "";
    GetClassNameA(window, className, sizeof className);
    if (std::strcmp(className, "#32768") == 0 && IsWindowVisible(window)) ++*reinterpret_cast<int*>(count);
    return TRUE;
}

int Tray() {
    HWND frame = FindWindowA(kFrameClass, nullptr);
    HWND taskbar = FindWindowA("Shell_TrayWnd", nullptr);
    std::printf("frame=%d\nframeVisible=%d\n", frame ? 1 : 0, frame && IsWindowVisible(frame) ? 1 : 0);
    if (!taskbar) return 1;
    PrintRect("taskbar", taskbar);
    std::printf("iconSize=%d\n", GetSystemMetrics(SM_CXSMICON));
    if (frame) EnumChildWindows(taskbar, PrintTaskbarButton, reinterpret_cast<LPARAM>(frame));
    int menus = 0;
    EnumWindows(CountMenu, reinterpret_cast<LPARAM>(&menus));
    std::printf("menusOpen=%d\n", menus);
    return 0;
}

// Every tool of every tooltip window (the notification area's tooltips and notifications are
// tools of Wine's shell), read as their owner would, through memory in the shell's process. Only
// when that process has the probe's bitness: the structures differ otherwise.
BOOL CALLBACK PrintTools(HWND window, LPARAM) {
    char className[64] = "";
    GetClassNameA(window, className, sizeof className);
    if (std::strcmp(className, "tooltips_class32") != 0) return TRUE;
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    HANDLE owner = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE | PROCESS_QUERY_INFORMATION,
                               FALSE, process);
    if (!owner) return TRUE;
    BOOL ownerWow = FALSE, selfWow = FALSE;
    IsWow64Process(owner, &ownerWow);
    IsWow64Process(GetCurrentProcess(), &selfWow);
    if (ownerWow != selfWow) {
        std::printf("toolsUnreadable=1\n");
        CloseHandle(owner);
        return TRUE;
    }
    constexpr SIZE_T kTextChars = 512;
    auto* remote = static_cast<char*>(
        VirtualAllocEx(owner, nullptr, sizeof(TTTOOLINFOW) + kTextChars * sizeof(wchar_t), MEM_COMMIT, PAGE_READWRITE));
    const int tools = static_cast<int>(SendMessageW(window, TTM_GETTOOLCOUNT, 0, 0));
    for (int i = 0; remote && i < tools; ++i) {
        TTTOOLINFOW tool = {};
        tool.cbSize = sizeof tool;
        tool.lpszText = reinterpret_cast<wchar_t*>(remote + sizeof(TTTOOLINFOW));
        wchar_t text[kTextChars] = L"";
        WriteProcessMemory(owner, remote + sizeof(TTTOOLINFOW), text, sizeof text, nullptr);
        WriteProcessMemory(owner, remote, &tool, sizeof tool, nullptr);
        if (!SendMessageW(window, TTM_ENUMTOOLSW, i, reinterpret_cast<LPARAM>(remote))) continue;
        ReadProcessMemory(owner, remote + sizeof(TTTOOLINFOW), text, sizeof text - sizeof *text, nullptr);
        std::printf("tool=%s\n", Utf8Of(text, lstrlenW(text)).c_str());
    }
    if (remote) VirtualFreeEx(owner, remote, 0, MEM_RELEASE);
    CloseHandle(owner);
    return TRUE;
}

std::string Utf8Of(const wchar_t* wide, int length);

// oleacc is loaded here rather than linked: the probe's imports stay those of the program.
int Accessible(const char* title, int count, char** ids) {
    HWND frame = FindWindowA(kFrameClass, nullptr);
    HWND window = std::strcmp(title, "form") == 0 ? (frame ? Form(frame) : nullptr) : WaitFor("#32770", title, 5000);
    HMODULE oleacc = LoadLibraryW(L"oleacc.dll");
    using FromWindow = HRESULT(WINAPI*)(HWND, DWORD, REFIID, void**);
    auto fromWindow = oleacc ? reinterpret_cast<FromWindow>(
                                   reinterpret_cast<void (*)()>(GetProcAddress(oleacc, "AccessibleObjectFromWindow")))
                             : nullptr;
    if (!window || !fromWindow) return 1;
    CoInitialize(nullptr);
    // MinGW's IID_IAccessible resolves to garbage under Wine: spelt out.
    constexpr IID kAccessibleIid = {0x618736e0, 0x3c3d, 0x11cf, {0x81, 0x0c, 0x00, 0xaa, 0x00, 0x38, 0x9b, 0x71}};
    for (int i = 0; i < count; ++i) {
        const int id = std::atoi(ids[i]);
        IAccessible* accessible = nullptr;
        HWND control = GetDlgItem(window, id);
        if (!control || FAILED(fromWindow(control, static_cast<DWORD>(OBJID_CLIENT), kAccessibleIid,
                                          reinterpret_cast<void**>(&accessible)))) {
            std::printf("missing=%d\n", id);
            continue;
        }
        VARIANT self = {};
        self.vt = VT_I4;
        self.lVal = CHILDID_SELF;
        BSTR name = nullptr;  // left to the end of the probe: oleaut32 is not linked either
        const HRESULT named = accessible->get_accName(self, &name);
        VARIANT role = {}, state = {};
        accessible->get_accRole(self, &role);
        accessible->get_accState(self, &state);
        std::printf("name.%d=%s\nnamed.%d=%d\nrole.%d=%ld\nstate.%d=%ld\n", id,
                    name ? Utf8Of(name, lstrlenW(name)).c_str() : "", id, named == S_OK ? 1 : 0, id,
                    role.vt == VT_I4 ? role.lVal : -1L, id, state.vt == VT_I4 ? state.lVal : -1L);
        accessible->Release();
    }
    CoUninitialize();
    return 0;
}

int Focus() {
    HWND frame = WaitFor(kFrameClass, nullptr, 5000);
    if (!frame) return 1;
    GUITHREADINFO thread = {};
    thread.cbSize = sizeof thread;
    GetGUIThreadInfo(GetWindowThreadProcessId(frame, nullptr), &thread);
    char className[64] = "";
    if (thread.hwndFocus) GetClassNameA(thread.hwndFocus, className, sizeof className);
    std::printf("focus=%d|%s\n", thread.hwndFocus ? static_cast<short>(GetDlgCtrlID(thread.hwndFocus)) : 0, className);
    if (thread.hwndFocus) {
        const LRESULT ui = SendMessageW(thread.hwndFocus, WM_QUERYUISTATE, 0, 0);
        std::printf("focusShown=%d\n", ui & UISF_HIDEFOCUS ? 0 : 1);
    }
    HWND form = Form(frame);
    for (HWND child = form ? GetWindow(form, GW_CHILD) : nullptr; child; child = GetWindow(child, GW_HWNDNEXT)) {
        RECT r;
        GetWindowRect(child, &r);
        const LONG style = GetWindowLongA(child, GWL_STYLE);
        std::printf("control=%d|%d|%ld,%ld\n", static_cast<short>(GetDlgCtrlID(child)), style & WS_TABSTOP ? 1 : 0,
                    r.left, r.top);
    }
    return 0;
}

int BareSend(int count) {
    HWND logger = WaitFor("DXbase", nullptr, 5000);
    if (!logger) return 1;
    // A top-level window of its own goes as wParam, as the bridge's frame does, so that the logger
    // looks at the sender's window for each record as it does for the bridge's.
    HWND sender = CreateWindowExA(0, "STATIC", "bare sender", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
    for (int i = 0; i < count; ++i) {
        char text[160];
        int length = std::snprintf(
            text, sizeof text, "K%d#-05#+02#7047.00##FT4#IO91##RSTS +02  RSTR -05   ####RSTS +02#RSTR -05##", 1000 + i);
        COPYDATASTRUCT data = {10001, static_cast<DWORD>(length), text};
        SendMessageA(logger, WM_COPYDATA, reinterpret_cast<WPARAM>(sender), reinterpret_cast<LPARAM>(&data));
    }
    return 0;
}

int main(int argc, char** argv) {
    if (argc < 2) return 64;
    const std::string what = argv[1];
    if (what == "acp") {
        std::printf("%u\n", GetACP());
        return 0;
    }
    if (what == "username") {
        char name[128];
        DWORD size = sizeof name;
        if (!GetUserNameA(name, &size)) return 1;
        std::printf("%s\n", name);
        return 0;
    }
    if ((what == "wait-class" || what == "wait-title" || what == "gone-title") && argc == 4) {
        int timeoutMs = std::atoi(argv[3]);
        if (what == "gone-title") {
            for (int waited = 0; FindWindowA(nullptr, argv[2]); waited += 50) {
                if (waited >= timeoutMs) return 1;
                Sleep(50);
            }
            return 0;
        }
        HWND found = what == "wait-class" ? WaitFor(argv[2], nullptr, timeoutMs) : WaitFor(nullptr, argv[2], timeoutMs);
        return found ? 0 : 1;
    }
    if (what == "info") return Info();
    if (what == "bare-send" && argc == 3) return BareSend(std::atoi(argv[2]));
    if (what == "hold-lock" && argc == 4) return HoldLock(argv[2], std::atoi(argv[3]));
    if (what == "rect" && argc == 3) {
        HWND window = WaitFor(nullptr, argv[2], 5000);
        if (!window) return 1;
        PrintRect("rect", window);
        return 0;
    }
    if (what == "count-frames") {
        int count = 0;
        EnumWindows(CountFrame, reinterpret_cast<LPARAM>(&count));
        std::printf("frames=%d\n", count);
        return 0;
    }
    if (what == "message-press" && argc == 3) {
        // A button of a question with answers of its own, by its id.
        HWND box = FindWindowA("#32770", "Qsoferry ver 1.00");
        HWND button = box ? GetDlgItem(box, std::atoi(argv[2])) : nullptr;
        return button && PostMessageA(box, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(button), BN_CLICKED),
                                      reinterpret_cast<LPARAM>(button))
                   ? 0
                   : 1;
    }
    if (what.rfind("message", 0) == 0) return MessageBoxes(what);
    if (what == "open-file" && argc == 4) return OpenFile(argv[2], argv[3]);
    if (what == "append" && argc >= 6 && argc <= 8) {
        return Append(argv[2], std::atoi(argv[3]), std::atoi(argv[4]), std::atoi(argv[5]),
                      argc >= 7 ? std::atoi(argv[6]) : 100, argc >= 8 ? std::atoi(argv[7]) : 0);
    }
    if (what.rfind("about-", 0) == 0) return About(what);
    if (what == "cancel" && argc == 3) {
        HWND dialog = WaitFor(nullptr, argv[2], 5000);
        return dialog && PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0) ? 0 : 1;
    }
    if (what == "resources" && argc == 3) return Resources(argv[2]);
    if (what == "link-target" && argc == 3) return LinkTarget(argv[2]);
    if (what == "relayed") return Relayed();
    if (what == "tray") return Tray();
    if (what == "tray-tips") return EnumWindows(PrintTools, 0) ? 0 : 1;
    if (what == "tray-forget") {
        NOTIFYICONDATAW icon = {};
        icon.cbSize = sizeof icon;
        icon.hWnd = FindWindowW(L"QsoferryNotificationIcon", nullptr);  // the icon's own
        icon.uID = 1;
        return icon.hWnd && Shell_NotifyIconW(NIM_DELETE, &icon) ? 0 : 1;
    }
    if (what == "tray-add-late") {
        NOTIFYICONDATAW icon = {};
        icon.cbSize = sizeof icon;
        icon.hWnd = FindWindowW(L"QsoferryNotificationIcon", nullptr);
        icon.uID = 1;
        icon.uFlags = NIF_ICON;
        icon.hIcon = LoadIconW(nullptr, MAKEINTRESOURCEW(32516));  // IDI_INFORMATION, blue: none of the bridge's looks
        return icon.hWnd && Shell_NotifyIconW(NIM_ADD, &icon) ? 0 : 1;
    }
    if (what == "taskbar-created") {
        UINT message = RegisterWindowMessageW(L"TaskbarCreated");
        return message && PostMessageW(HWND_BROADCAST, message, 0, 0) ? 0 : 1;
    }
    if (what == "tray-event" && argc == 3) {
        // As Explorer sends it: without waiting for the menu it opens to close.
        HWND icon = FindWindowW(L"QsoferryNotificationIcon", nullptr);
        return icon && SendNotifyMessageW(icon, WM_APP + 2, 1, std::atoi(argv[2])) ? 0 : 1;
    }
    if (what == "accessible" && argc >= 4) return Accessible(argv[2], argc - 3, argv + 3);
    if (what == "focus") return Focus();
    if (what == "clipboard") return Clipboard();
    if (what == "relayed-click" && argc == 3) {
        HWND dialog = WaitFor("#32770", kRelayedTitle, 5000);
        return dialog ? Send(GetDlgItem(dialog, std::atoi(argv[2])), BM_CLICK, 0) : 1;
    }
    if (what == "relayed-command" && argc == 3) {
        HWND dialog = WaitFor("#32770", kRelayedTitle, 5000);
        return dialog && PostMessageA(dialog, WM_COMMAND, std::atoi(argv[2]), 0) ? 0 : 1;
    }
    HWND frame = WaitFor(kFrameClass, nullptr, 5000);
    if (!frame) {
        std::printf("no bridge window\n");
        return 1;
    }
    if (what == "click" && argc == 3) return Send(GetDlgItem(Form(frame), std::atoi(argv[2])), BM_CLICK, 0);
    if (what == "command" && argc == 3) return PostMessageA(frame, WM_COMMAND, std::atoi(argv[2]), 0) ? 0 : 1;
    if (what == "syscolorchange") return Send(frame, WM_SYSCOLORCHANGE, 0);
    if (what == "close") return PostMessageA(frame, WM_SYSCOMMAND, SC_CLOSE, 0) ? 0 : 1;
    if (what == "post-close") return PostMessageA(frame, WM_CLOSE, 0, 0) ? 0 : 1;
    if (what == "window-state") {
        std::printf("foreground=%d\niconic=%d\n", GetForegroundWindow() == frame ? 1 : 0, IsIconic(frame) ? 1 : 0);
        return 0;
    }
    if (what == "minimize") return ShowWindow(frame, SW_MINIMIZE) >= 0 ? 0 : 1;
    if (what == "suspend") {
        HANDLE thread = OpenThread(THREAD_SUSPEND_RESUME, FALSE, GetWindowThreadProcessId(frame, nullptr));
        if (!thread) return 1;
        DWORD done = SuspendThread(thread);
        CloseHandle(thread);
        return done == static_cast<DWORD>(-1) ? 1 : 0;
    }
    if (what == "resume") {
        // Whichever bridge it was: a thread that runs is left as it is.
        EnumWindows(ResumeFrame, 0);
        return 0;
    }
    if (what == "endsession") {
        DWORD_PTR answer = 0;
        if (!SendMessageTimeoutA(frame, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF, SMTO_NORMAL, 5000, &answer)) return 1;
        std::printf("queryEndSession=%d\n", static_cast<int>(answer));
        return Send(frame, WM_ENDSESSION, TRUE);
    }
    return 64;
}
