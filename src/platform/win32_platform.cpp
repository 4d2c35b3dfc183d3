#include "platform/win32_platform.h"

#include <commdlg.h>
#include <sddl.h>
#include <shlobj.h>

#include <algorithm>
#include <iterator>

#include "platform/files.h"
#include "platform/utf16_win.h"
#include "resource.h"
#include "view/lamp_pictures.h"

namespace qsoferry {
namespace {

WindowHandle AsHandle(HWND window) {
    return reinterpret_cast<WindowHandle>(window);
}

}  // namespace

std::string AppTitle(HINSTANCE instance) {
    wchar_t title[256] = L"";
    int length = LoadStringW(instance, AFX_IDS_APP_TITLE, title, static_cast<int>(std::size(title)));
    if (length <= 0) return "Qsoferry";
    return Utf8(std::wstring_view(title, static_cast<size_t>(length)));
}

namespace {

// Input whose default handling runs a modal loop of the system's: the menu bar, the system menu,
// moving or sizing the frame (a press on its caption or edges), the menu keys. Run from a drain,
// that loop would keep the cycle below it on the stack for as long as it stays open, and every
// tick with it; left for the main loop, it runs where the ticks go on.
bool StartsModalLoop(UINT message) {
    switch (message) {
        case WM_NCLBUTTONDOWN:
        case WM_NCLBUTTONDBLCLK:
        case WM_NCRBUTTONDOWN:
        case WM_NCRBUTTONUP:
        case WM_NCMBUTTONDOWN:
        case WM_SYSKEYDOWN:
        case WM_SYSKEYUP:
        case WM_SYSCHAR:
            return true;
        default:
            return false;
    }
}

}  // namespace

DrainResult Win32Platform::DispatchPendingMessage() {
    MSG msg;
    if (!PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE)) return DrainResult::kEmpty;
    if (StartsModalLoop(msg.message)) return DrainResult::kEmpty;
    // Exactly that message: one of higher priority may have come meanwhile.
    if (!PeekMessageA(&msg, msg.hwnd, msg.message, msg.message, PM_REMOVE)) return DrainResult::kEmpty;
    if (msg.message == WM_QUIT) {
        // Taken off the queue by a drain inside a cycle: put it back for the main loop.
        PostQuitMessage(static_cast<int>(msg.wParam));
        return DrainResult::kQuit;
    }
    // Tab and the check box's letter work in the form during a long read as in the main loop; Alt
    // and the keys pressed with it wait for the main loop (they may open the menu, see above).
    if (msg.message >= WM_KEYFIRST && msg.message <= WM_KEYLAST && m_form && IsDialogMessageA(m_form, &msg))
        return DrainResult::kDispatched;
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
    return DrainResult::kDispatched;
}

WindowHandle Win32Platform::FindWindowByClass(const std::string& className) {
    return AsHandle(FindWindowA(className.c_str(), nullptr));
}

namespace {

BOOL CALLBACK AddTitle(HWND window, LPARAM list) {
    wchar_t title[512];
    int length = GetWindowTextW(window, title, static_cast<int>(std::size(title)));
    if (length > 0)
        reinterpret_cast<std::vector<std::string>*>(list)->push_back(Utf8(std::wstring_view(title, length)));
    return TRUE;
}

}  // namespace

std::vector<std::string> Win32Platform::TopLevelWindowTitles() {
    // GetWindowTextW reads another program's window title from the system's own copy: it sends
    // nothing, so a hung program never holds this up. Titles are compared as Unicode.
    std::vector<std::string> titles;
    EnumWindows(AddTitle, reinterpret_cast<LPARAM>(&titles));
    return titles;
}

size_t Win32Platform::AddPort() {
    return m_sender->AddPort();
}

void Win32Platform::BeginSend(size_t port, const Handover& handover) {
    m_sender->Begin(port, handover);
}

std::optional<HandoverResult> Win32Platform::TakeResult(size_t port) {
    return m_sender->Take(port);
}

void Win32Platform::DropWaiting(size_t port) {
    m_sender->DropWaiting(port);
}

void Win32Platform::Done(size_t port) {
    m_sender->Done(port);
}

bool Win32Platform::Sending(size_t port) {
    return m_sender->Sending(port);
}

std::vector<size_t> Win32Platform::TakeNotice() {
    return m_sender->TakeNotice();
}

bool Win32Platform::AwaitSent(unsigned ms) {
    return m_sender->Await(ms);
}

std::uint64_t Win32Platform::MonotonicMs() {
    return GetTickCount64();
}

namespace {

// How many screen pixels each of a bitmap's pixels takes at the system's DPI: the program is
// system-DPI aware (its manifest says so), so the form and its text grow with the display's
// scaling, and the lamps and the badge with them: twice at 200%, three times at 300%. A whole
// number, so that they stay sharp, in the same colours and frame.
int PixelScale() {
    HDC screen = GetDC(nullptr);
    int dpi = screen ? GetDeviceCaps(screen, LOGPIXELSX) : 96;
    if (screen) ReleaseDC(nullptr, screen);
    return dpi >= 96 ? (dpi + 48) / 96 : 1;
}

// The colours a high-contrast theme gives, or nothing when none is on.
std::optional<ThemeColours> HighContrastColours() {
    HIGHCONTRASTW contrast = {sizeof contrast, 0, nullptr};
    if (!SystemParametersInfoW(SPI_GETHIGHCONTRAST, sizeof contrast, &contrast, 0) ||
        !(contrast.dwFlags & HCF_HIGHCONTRASTON)) {
        return std::nullopt;
    }
    auto argb = [](int index) {
        const COLORREF c = GetSysColor(index);
        return 0xFF000000u | GetRValue(c) << 16 | GetGValue(c) << 8 | GetBValue(c);
    };
    return ThemeColours{argb(COLOR_BTNTEXT), argb(COLOR_BTNFACE), argb(COLOR_HIGHLIGHT)};
}

Picture PictureOf(HBITMAP bitmap) {
    BITMAP size;
    if (!GetObjectW(bitmap, sizeof size, &size)) return {};
    Picture picture{size.bmWidth, size.bmHeight, {}};
    picture.pixels.resize(static_cast<size_t>(size.bmWidth) * static_cast<size_t>(size.bmHeight));
    BITMAPINFO info = {};
    info.bmiHeader = {sizeof info.bmiHeader, size.bmWidth, -size.bmHeight, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    HDC screen = GetDC(nullptr);
    const int rows =
        GetDIBits(screen, bitmap, 0, static_cast<UINT>(size.bmHeight), picture.pixels.data(), &info, DIB_RGB_COLORS);
    ReleaseDC(nullptr, screen);
    if (rows != size.bmHeight) return {};
    for (std::uint32_t& pixel : picture.pixels)
        pixel |= 0xFF000000;  // GetDIBits leaves the fourth byte at nought
    return picture;
}

// Without alpha: a static control of Common Controls 6 keeps a copy of a bitmap with alpha, and
// hands that copy back at the next STM_SETIMAGE for the caller to free. The lamps are set at every
// tick: two copies a second would leak until the system's limit of GDI objects.
HBITMAP BitmapOf(const Picture& picture) {
    BITMAPINFO info = {};
    info.bmiHeader = {sizeof info.bmiHeader, picture.width, -picture.height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (!bitmap) return nullptr;
    auto* to = static_cast<std::uint32_t*>(bits);
    for (size_t i = 0; i < picture.pixels.size(); ++i)
        to[i] = picture.pixels[i] & 0x00FFFFFF;
    return bitmap;
}

}  // namespace

BitmapHandle Win32Platform::LoadBitmapResource(int resourceId) {
    HBITMAP bitmap = LoadBitmapA(m_instance, MAKEINTRESOURCEA(resourceId));
    if (!bitmap) return kNoBitmap;
    Picture picture = PictureOf(bitmap);
    if (picture.pixels.empty()) return reinterpret_cast<BitmapHandle>(bitmap);  // at its own size, then
    DeleteObject(bitmap);
    const std::optional<ThemeColours> theme = HighContrastColours();
    if (theme && (resourceId == IDB_LAMP_ON || resourceId == IDB_LAMP_OFF)) picture = InTheme(picture, *theme);
    HBITMAP shown = BitmapOf(Scaled(picture, PixelScale()));
    return shown ? reinterpret_cast<BitmapHandle>(shown) : kNoBitmap;
}

void Win32Platform::ReleaseBitmap(BitmapHandle bitmap) {
    DeleteObject(reinterpret_cast<HBITMAP>(bitmap));
}

void Win32Platform::SetControlImage(int controlId, BitmapHandle bitmap) {
    // The static control shows the bitmap without owning it (it has no alpha: see BitmapOf); the
    // previous image is not ours to free.
    SendDlgItemMessageA(m_form, controlId, STM_SETIMAGE, IMAGE_BITMAP, static_cast<LPARAM>(bitmap));
}

int Win32Platform::GetCheckState(int controlId) {
    return static_cast<int>(SendDlgItemMessageA(m_form, controlId, BM_GETCHECK, 0, 0));
}

void Win32Platform::SetCheckState(int controlId, int state) {
    SendDlgItemMessageA(m_form, controlId, BM_SETCHECK, static_cast<WPARAM>(state), 0);
}

void Win32Platform::SetDocumentTitle(const std::string& title) {
    if (onDocumentTitle) onDocumentTitle(title);
}

void Win32Platform::SetMainCaption(const std::string& caption) {
    SetWindowTextW(m_frame, Utf16(caption).c_str());
}

void Win32Platform::FitFrameToForm() {
    // The frame's client area takes the form's size; the frame only ever shrinks.
    RECT form;
    GetWindowRect(m_form, &form);
    RECT needed = {0, 0, form.right - form.left, form.bottom - form.top};
    AdjustWindowRectEx(&needed, static_cast<DWORD>(GetWindowLongPtrA(m_frame, GWL_STYLE)), GetMenu(m_frame) != nullptr,
                       static_cast<DWORD>(GetWindowLongPtrA(m_frame, GWL_EXSTYLE)));
    RECT frame;
    GetWindowRect(m_frame, &frame);
    int width = std::min(frame.right - frame.left, needed.right - needed.left);
    int height = std::min(frame.bottom - frame.top, needed.bottom - needed.top);
    SetWindowPos(m_frame, nullptr, 0, 0, width, height, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void Win32Platform::StartTimer(unsigned timerId, unsigned periodMs) {
    SetTimer(m_form, timerId, periodMs, nullptr);
}

bool Win32Platform::CanOpenForReading(const std::string& path) {
    return files::CanOpenForReading(path);
}

FileResult Win32Platform::OpenFile(const std::string& path, FileAccess access, FileHandle& file, std::uint64_t& size) {
    return files::Open(path, access, file, size);
}

FileResult Win32Platform::ReadFileAt(FileHandle file, std::uint64_t offset, char* buffer, size_t size, size_t& got) {
    return files::ReadAt(file, offset, buffer, size, got);
}

FileResult Win32Platform::WriteFileAt(FileHandle file, std::uint64_t offset, const std::string& bytes, bool flush) {
    return files::WriteAt(file, offset, bytes, flush);
}

FileResult Win32Platform::FlushFile(FileHandle file) {
    return files::Flush(file);
}

void Win32Platform::CloseFile(FileHandle file) {
    files::Close(file);
}

bool Win32Platform::TryLock(const std::string& name) {
    // A mutex in the global namespace: every session's bridges see it, and Windows releases it
    // (as abandoned, which still hands it over) when its owner ends in any way. It is made open to
    // every bridge, whatever its rights, so that one run as administrator and one started normally
    // (by the Run key) meet on it. One this bridge may not open (made by an older bridge running as
    // administrator) is held by a bridge that delivers: this one waits. Without the global
    // namespace, this session's has to do; without any mutex there is nothing to agree on, and a
    // bridge that delivers beats one that never does.
    HANDLE& mutex = m_locks[name];
    if (!mutex) {
        SECURITY_ATTRIBUTES open = {sizeof open, nullptr, FALSE};
        // Everyone may use it, from any integrity level.
        ConvertStringSecurityDescriptorToSecurityDescriptorW(L"D:(A;;GA;;;WD)S:(ML;;NW;;;LW)", SDDL_REVISION_1,
                                                             &open.lpSecurityDescriptor, nullptr);
        mutex = CreateMutexW(&open, FALSE, Utf16("Global\\" + name).c_str());
        DWORD error = GetLastError();
        if (open.lpSecurityDescriptor) LocalFree(open.lpSecurityDescriptor);
        if (!mutex && error == ERROR_ACCESS_DENIED) return false;
        if (!mutex) mutex = CreateMutexW(nullptr, FALSE, Utf16("Local\\" + name).c_str());
        if (!mutex) return true;
    }
    DWORD waited = WaitForSingleObject(mutex, 0);
    return waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED;
}

void Win32Platform::Unlock(const std::string& name) {
    auto it = m_locks.find(name);
    if (it != m_locks.end() && it->second) ReleaseMutex(it->second);
}

std::optional<std::string> Win32Platform::LegacySpelling(const std::string& path) {
    return InSystemCodePage(path);
}

FileResult Win32Platform::MoveFileNoReplace(const std::string& from, const std::string& to, bool durable) {
    return files::MoveNoReplace(from, to, durable);
}

bool Win32Platform::SameFile(const std::string& a, const std::string& b) {
    return files::SameFile(a, b);
}

FileResult Win32Platform::RemoveFile(const std::string& path) {
    return files::Remove(path);
}

bool Win32Platform::FolderExists(const std::string& path) {
    return files::FolderExists(path);
}

std::vector<std::string> Win32Platform::ListFolders(const std::string& parent, const std::string& prefix) {
    std::vector<std::string> names;
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileExW(Utf16(parent + "\\" + prefix + "*").c_str(), FindExInfoBasic, &found,
                                     FindExSearchLimitToDirectories, nullptr, 0);
    if (search == INVALID_HANDLE_VALUE) return names;
    do {
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) names.push_back(Utf8(found.cFileName));
    } while (FindNextFileW(search, &found));
    FindClose(search);
    return names;
}

std::optional<std::string> Win32Platform::LocalAppDataFolder() {
    // SHGetFolderPathW: there since Windows 2000, and what every Windows up to 11 still answers.
    // The A form would give a profile named outside the system's code page as question marks.
    wchar_t folder[MAX_PATH];
    if (FAILED(SHGetFolderPathW(nullptr, CSIDL_LOCAL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, folder)))
        return std::nullopt;
    return Utf8(folder);
}

std::optional<std::string> Win32Platform::UserName() {
    wchar_t name[257];  // UNLEN + 1
    DWORD size = static_cast<DWORD>(std::size(name));
    if (!GetUserNameW(name, &size)) return std::nullopt;
    return Utf8(name);
}

void Win32Platform::ShowMessage(const std::string& text) {
    // The box's modal loop goes on dispatching timer messages to the form.
    MessageBoxW(Owner(), Utf16(text).c_str(), Utf16(AppTitle(m_instance)).c_str(), MB_OK);
}

bool Win32Platform::AskYesNo(const std::string& text) {
    return MessageBoxW(Owner(), Utf16(text).c_str(), Utf16(AppTitle(m_instance)).c_str(), MB_YESNO | MB_ICONQUESTION) ==
           IDYES;
}

std::optional<std::string> AskForFile(HWND owner, const wchar_t* filter, const wchar_t* title, bool save, DWORD flags) {
    wchar_t path[32768] = L"";
    OPENFILENAMEW ofn = {};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = owner;
    ofn.lpstrFilter = filter;
    ofn.lpstrFile = path;
    ofn.nMaxFile = static_cast<DWORD>(std::size(path));
    ofn.lpstrTitle = title;
    ofn.Flags = OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | flags;
    if (!(save ? GetSaveFileNameW(&ofn) : GetOpenFileNameW(&ofn))) return std::nullopt;
    return Utf8(path);
}

std::optional<std::string> Win32Platform::ChooseLogFile() {
    // The current folder stays where it was: the program's paths never depend on it anyway.
    return AskForFile(m_frame, L"ADIF logs (*.adi;*.adif)\0*.adi;*.adif\0All files (*.*)\0*.*\0",
                      L"Send a Log to DXbase", false, OFN_FILEMUSTEXIST | OFN_NOCHANGEDIR | OFN_EXPLORER);
}

LocalTime Win32Platform::Now() {
    SYSTEMTIME now;
    GetLocalTime(&now);
    return {now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute};
}

void Win32Platform::SetControlText(int controlId, const std::string& text) {
    SetDlgItemTextW(m_form, controlId, Utf16(text).c_str());
}

bool Win32Platform::MakeFolder(const std::string& path) {
    return files::MakeFolder(path);
}

}  // namespace qsoferry
