#include "app/relayed_dlg.h"

#include <commctrl.h>
#include <objbase.h>
#include <shellapi.h>

#include <algorithm>
#include <cstdio>
#include <memory>

#include "platform/utf16_win.h"
#include "resource.h"

namespace qsoferry {
namespace {

constexpr UINT_PTR kRefreshTimer = 1;
constexpr UINT kRefreshMs = 1000;
// Each column's width at first, in dialog units: together narrower than the list, with its scroll bar.
constexpr int kColumnWidths[kRelayedColumns] = {88, 46, 28, 28, 40, 32, 26, 26, 48, 30};
// Explorer may take its time to start: it is started from a thread of its own, never the window's.
DWORD WINAPI OpenInExplorer(LPVOID context) {
    std::unique_ptr<std::wstring> folder(static_cast<std::wstring*>(context));
    HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    ShellExecuteW(nullptr, L"open", folder->c_str(), nullptr, nullptr, SW_SHOWNORMAL);
    if (SUCCEEDED(com)) CoUninitialize();
    return 0;
}

}  // namespace

CRelayedDlg::~CRelayedDlg() {
    if (m_hwnd) DestroyWindow(m_hwnd);
}

void CRelayedDlg::Show(HWND owner) {
    if (m_hwnd) {
        if (IsIconic(m_hwnd)) ShowWindow(m_hwnd, SW_RESTORE);
        SetForegroundWindow(m_hwnd);
        return;
    }
    CreateDialogParamW(m_instance, MAKEINTRESOURCEW(IDD_RELAYED), owner, DialogProc, reinterpret_cast<LPARAM>(this));
}

bool CRelayedDlg::PreTranslateMessage(MSG& msg) {
    if (!m_hwnd || (msg.hwnd != m_hwnd && !IsChild(m_hwnd, msg.hwnd))) return false;
    return IsDialogMessageW(m_hwnd, &msg) != FALSE;
}

INT_PTR CALLBACK CRelayedDlg::DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        auto* self = reinterpret_cast<CRelayedDlg*>(lParam);
        SetWindowLongPtrW(hwnd, DWLP_USER, lParam);
        self->m_hwnd = hwnd;
        self->OnInitDialog();
        return TRUE;
    }
    auto* self = reinterpret_cast<CRelayedDlg*>(GetWindowLongPtrW(hwnd, DWLP_USER));
    return self ? self->HandleMessage(message, wParam, lParam) : FALSE;
}

INT_PTR CRelayedDlg::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_TIMER:
            if (wParam == kRefreshTimer) Rearrange([this] { return m_list.Refresh(m_hooks.sources()); });
            return TRUE;
        case WM_SIZE:
            Layout();
            return TRUE;
        case WM_GETMINMAXINFO:
            reinterpret_cast<MINMAXINFO*>(lParam)->ptMinTrackSize = {m_minimum.cx, m_minimum.cy};
            return TRUE;
        case WM_NOTIFY:
            SetWindowLongPtrW(m_hwnd, DWLP_MSGRESULT, OnNotify(*reinterpret_cast<NMHDR*>(lParam)));
            return TRUE;
        case WM_COMMAND:
            switch (LOWORD(wParam)) {
                case IDC_RELAYED_FILTER:
                    if (HIWORD(wParam) == EN_CHANGE) {
                        wchar_t call[64] = L"";
                        GetDlgItemTextW(m_hwnd, IDC_RELAYED_FILTER, call, 64);
                        Rearrange([this, filter = Utf8(call)] {
                            m_list.Filter(filter);
                            return true;
                        });
                    }
                    break;
                case IDC_ONLY_DOUBLES:
                    Rearrange([this] {
                        m_list.ShowOnlyDoubles(IsDlgButtonChecked(m_hwnd, IDC_ONLY_DOUBLES) == BST_CHECKED);
                        return true;
                    });
                    break;
                case IDC_SEND_AGAIN:
                    OnSendAgain();
                    break;
                case IDC_OPEN_FOLDER:
                    OnOpenFolder();
                    break;
                case IDCANCEL:  // Esc, the Close button, the close box
                    DestroyWindow(m_hwnd);
                    break;
                default:
                    break;
            }
            return TRUE;
        case WM_DESTROY:
            SaveLayout();
            KillTimer(m_hwnd, kRefreshTimer);
            return TRUE;
        case WM_NCDESTROY:
            m_hwnd = m_listView = nullptr;
            return FALSE;
        default:
            return FALSE;
    }
}

void CRelayedDlg::OnInitDialog() {
    SendMessageW(
        m_hwnd, WM_SETICON, ICON_SMALL,
        reinterpret_cast<LPARAM>(LoadImageW(m_instance, MAKEINTRESOURCEW(IDR_MAINFRAME), IMAGE_ICON,
                                            GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), LR_SHARED)));
    m_listView = GetDlgItem(m_hwnd, IDC_RELAYED_LIST);
    SendMessageW(m_listView, LVM_SETEXTENDEDLISTVIEWSTYLE, 0,
                 LVS_EX_FULLROWSELECT | LVS_EX_HEADERDRAGDROP | LVS_EX_DOUBLEBUFFER);
    for (size_t i = 0; i < kRelayedColumns; ++i) {
        RECT width = {0, 0, kColumnWidths[i], 0};
        MapDialogRect(m_hwnd, &width);
        std::wstring header = Utf16(kRelayedHeaders[i]);
        LVCOLUMNW column = {};
        column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_FMT;
        const bool number =
            i == static_cast<size_t>(RelayedColumn::kFreq) || i == static_cast<size_t>(RelayedColumn::kTimes);
        column.fmt = number ? LVCFMT_RIGHT : LVCFMT_LEFT;
        column.cx = width.right;
        column.pszText = header.data();
        SendMessageW(m_listView, LVM_INSERTCOLUMNW, i, reinterpret_cast<LPARAM>(&column));
    }
    // Every control keeps its distance to the edges it is anchored to.
    RECT client;
    GetClientRect(m_hwnd, &client);
    m_templateClient = {client.right, client.bottom};
    RECT window;
    GetWindowRect(m_hwnd, &window);
    m_minimum = {(window.right - window.left) * 2 / 3, (window.bottom - window.top) * 2 / 3};
    m_anchors.clear();  // opened again: a window of its own
    for (Anchor anchor :
         {Anchor{IDC_RELAYED_COUNT, false, false, true, false, {}},
          Anchor{IDC_RELAYED_LIST, false, false, true, true, {}}, Anchor{IDC_SEND_AGAIN, false, true, false, false, {}},
          Anchor{IDC_OPEN_FOLDER, false, true, false, false, {}},
          Anchor{IDC_ONLY_DOUBLES, false, true, false, false, {}}, Anchor{IDCANCEL, true, true, false, false, {}}}) {
        HWND control = GetDlgItem(m_hwnd, anchor.id);
        GetWindowRect(control, &anchor.at);
        MapWindowPoints(nullptr, m_hwnd, reinterpret_cast<POINT*>(&anchor.at), 2);
        m_anchors.push_back(anchor);
    }
    LoadLayout();
    // Opened again: the rows read before stay, in the order chosen then, unfiltered as the boxes are.
    Rearrange([this] {
        m_list.Filter("");
        m_list.ShowOnlyDoubles(false);
        m_list.Refresh(m_hooks.sources());
        return true;
    });
    ShowSortMark();
    SetTimer(m_hwnd, kRefreshTimer, kRefreshMs, nullptr);
}

LRESULT CRelayedDlg::OnNotify(NMHDR& header) {
    if (header.idFrom != IDC_RELAYED_LIST) return 0;
    switch (header.code) {
        case LVN_GETDISPINFOW: {
            LVITEMW& item = reinterpret_cast<NMLVDISPINFOW&>(header).item;
            if ((item.mask & LVIF_TEXT) && item.iItem >= 0 && static_cast<size_t>(item.iItem) < m_list.Shown() &&
                item.iSubItem >= 0 && static_cast<size_t>(item.iSubItem) < kRelayedColumns && item.cchTextMax > 0) {
                m_cell = Utf16(m_list.Text(static_cast<size_t>(item.iItem), static_cast<RelayedColumn>(item.iSubItem)));
                lstrcpynW(item.pszText, m_cell.c_str(), item.cchTextMax);
            }
            return 0;
        }
        case LVN_ODFINDITEMW: {
            // Typing a call's first letters in the list goes to the next row with that call.
            auto& find = reinterpret_cast<NMLVFINDITEMW&>(header);
            if (!(find.lvfi.flags & (LVFI_STRING | LVFI_PARTIAL)) || !find.lvfi.psz || m_list.Shown() == 0) return -1;
            std::string prefix = Utf8(find.lvfi.psz);
            for (char& c : prefix)
                c = c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
            const size_t shown = m_list.Shown(), start = static_cast<size_t>(std::max(find.iStart, 0)) % shown;
            for (size_t n = 0; n < shown; ++n) {
                size_t row = (start + n) % shown;
                if (m_list.Text(row, RelayedColumn::kCall).compare(0, prefix.size(), prefix) == 0)
                    return static_cast<LRESULT>(row);
            }
            return -1;
        }
        case LVN_COLUMNCLICK:
            Rearrange([this, column = reinterpret_cast<NMLISTVIEW&>(header).iSubItem] {
                m_list.SortBy(static_cast<RelayedColumn>(column));
                return true;
            });
            ShowSortMark();
            return 0;
        case LVN_KEYDOWN: {
            const WORD key = reinterpret_cast<NMLVKEYDOWN&>(header).wVKey;
            if (GetKeyState(VK_CONTROL) < 0 && key == 'A') {
                LVITEMW all = {};
                all.stateMask = all.state = LVIS_SELECTED;
                SendMessageW(m_listView, LVM_SETITEMSTATE, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&all));
            } else if (GetKeyState(VK_CONTROL) < 0 && (key == 'C' || key == VK_INSERT)) {
                CopyToClipboard();
            }
            return 0;
        }
        case LVN_ITEMCHANGED:
        case LVN_ODSTATECHANGED:
            EnableButtons();
            return 0;
        default:
            return 0;
    }
}

// A change of the rows (new contacts, another order, another filter): the contacts selected stay
// selected wherever their rows go, and the focus stays with its contact.
void CRelayedDlg::Rearrange(const std::function<bool()>& change) {
    std::vector<std::uint32_t> selected;
    for (size_t row : SelectedRows())
        selected.push_back(m_list.IdOf(row));
    const int focused =
        static_cast<int>(SendMessageW(m_listView, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_FOCUSED));
    const bool hadFocus = focused >= 0 && static_cast<size_t>(focused) < m_list.Shown();
    const std::uint32_t focusId = hadFocus ? m_list.IdOf(static_cast<size_t>(focused)) : 0;
    const size_t before = m_list.Shown();
    if (!change()) return;
    LVITEMW state = {};
    state.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    SendMessageW(m_listView, LVM_SETITEMSTATE, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&state));
    SendMessageW(m_listView, LVM_SETITEMCOUNT, m_list.Shown(), before == m_list.Shown() ? LVSICF_NOSCROLL : 0);
    state.stateMask = state.state = LVIS_SELECTED;
    for (std::uint32_t id : selected) {
        if (std::optional<size_t> row = m_list.RowOf(id))
            SendMessageW(m_listView, LVM_SETITEMSTATE, *row, reinterpret_cast<LPARAM>(&state));
    }
    if (hadFocus) {
        if (std::optional<size_t> row = m_list.RowOf(focusId)) {
            state.stateMask = state.state = LVIS_FOCUSED;
            SendMessageW(m_listView, LVM_SETITEMSTATE, *row, reinterpret_cast<LPARAM>(&state));
        }
    }
    InvalidateRect(m_listView, nullptr, FALSE);
    SetDlgItemTextW(m_hwnd, IDC_RELAYED_COUNT, Utf16(m_list.CountText()).c_str());
    EnableButtons();
}

std::vector<size_t> CRelayedDlg::SelectedRows() const {
    std::vector<size_t> rows;
    if (!m_listView) return rows;
    for (int row = -1;;) {
        row = static_cast<int>(SendMessageW(m_listView, LVM_GETNEXTITEM, static_cast<WPARAM>(row), LVNI_SELECTED));
        if (row < 0 || static_cast<size_t>(row) >= m_list.Shown()) break;
        rows.push_back(static_cast<size_t>(row));
    }
    return rows;
}

void CRelayedDlg::EnableButtons() {
    const bool any = SendMessageW(m_listView, LVM_GETSELECTEDCOUNT, 0, 0) > 0;
    EnableWindow(GetDlgItem(m_hwnd, IDC_SEND_AGAIN), any);
    EnableWindow(GetDlgItem(m_hwnd, IDC_OPEN_FOLDER), any);
}

// The arrow on the sorted column's header, as Explorer shows it.
void CRelayedDlg::ShowSortMark() {
    HWND header = reinterpret_cast<HWND>(SendMessageW(m_listView, LVM_GETHEADER, 0, 0));
    for (size_t i = 0; i < kRelayedColumns; ++i) {
        HDITEMW item = {};
        item.mask = HDI_FORMAT;
        SendMessageW(header, HDM_GETITEMW, i, reinterpret_cast<LPARAM>(&item));
        item.fmt &= ~(HDF_SORTUP | HDF_SORTDOWN);
        if (i == static_cast<size_t>(m_list.SortColumn()))
            item.fmt |= m_list.SortDescending() ? HDF_SORTDOWN : HDF_SORTUP;
        SendMessageW(header, HDM_SETITEMW, i, reinterpret_cast<LPARAM>(&item));
    }
}

// The selected contacts' records as ADIF text, and how many; nothing (and the operator told why)
// when a copy no longer holds them as they were read.
std::optional<std::string> CRelayedDlg::SelectedRecords(size_t& count) {
    std::vector<size_t> rows = SelectedRows();
    count = rows.size();
    if (rows.empty()) return std::nullopt;
    std::string why;
    std::optional<std::string> records = m_list.Records(rows, why);
    if (!records) m_hooks.tell(why);
    return records;
}

void CRelayedDlg::OnSendAgain() {
    size_t count = 0;
    if (std::optional<std::string> records = SelectedRecords(count)) m_hooks.sendAgain(*records, count);
}

void CRelayedDlg::OnOpenFolder() {
    std::vector<size_t> rows = SelectedRows();
    if (rows.empty()) return;
    const int focused =
        static_cast<int>(SendMessageW(m_listView, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_FOCUSED));
    size_t row = rows.front();
    if (focused >= 0 && std::find(rows.begin(), rows.end(), static_cast<size_t>(focused)) != rows.end())
        row = static_cast<size_t>(focused);
    auto folder = std::make_unique<std::wstring>(Utf16(m_list.FolderOf(row)));
    HANDLE thread = CreateThread(nullptr, 0, OpenInExplorer, folder.get(), 0, nullptr);
    if (!thread) return;
    folder.release();  // the thread's now
    CloseHandle(thread);
}

// The selected contacts' records as ADIF text, for another logger's import.
void CRelayedDlg::CopyToClipboard() {
    size_t count = 0;
    std::optional<std::string> records = SelectedRecords(count);
    if (!records) return;
    std::wstring text = Utf16(*records);
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, (text.size() + 1) * sizeof(wchar_t));
    if (!memory) return;
    std::copy(text.c_str(), text.c_str() + text.size() + 1, static_cast<wchar_t*>(GlobalLock(memory)));
    GlobalUnlock(memory);
    if (OpenClipboard(m_hwnd)) {
        EmptyClipboard();
        if (SetClipboardData(CF_UNICODETEXT, memory)) memory = nullptr;  // the clipboard's now
        CloseClipboard();
    }
    if (memory) GlobalFree(memory);
}

// "left top width height maximised dpi" and each column's width at 96 dots an inch: the window comes
// back where it was, as large on a display scaled otherwise, and never off every screen.
}  // namespace qsoferry
