// The Relayed Contacts window: every contact the logger took, read from the copies of contacts
// sent, in a virtual list whose rows RelayedList gives as they are shown; a call filter, Send Again,
// Open Folder, Ctrl+C and Ctrl+A. Modeless and owned by the frame: the ticks and delivery go on
// while it is open, and it reads what the copies gained once a second. It remembers its place and
// its columns' widths in the application's registry key.
#pragma once

#include <windows.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/registry_profile.h"
#include "view/relayed_list.h"

namespace qsoferry {

class CRelayedDlg {
public:
    struct Hooks {
        std::function<std::vector<CopySource>()> sources;
        std::function<void(const std::string& records, size_t count)> sendAgain;
        // A message for the operator: shown as the view shows its own, never inside a cycle.
        std::function<void(const std::string& message)> tell;
    };
    CRelayedDlg(HINSTANCE instance, DeliveryFiles& files, const RegistryProfile& profile, Hooks hooks)
        : m_instance(instance), m_list(files), m_profile(profile), m_hooks(std::move(hooks)) {}
    ~CRelayedDlg();
    CRelayedDlg(const CRelayedDlg&) = delete;
    CRelayedDlg& operator=(const CRelayedDlg&) = delete;

    // Opens the window, or brings it to the front when it is open.
    void Show(HWND owner);
    HWND Handle() const { return m_hwnd; }
    // The window's own keys (Tab, Esc, the list's Ctrl+C), before the frame's accelerators see them.
    bool PreTranslateMessage(MSG& msg);

private:
    static INT_PTR CALLBACK DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
    void OnInitDialog();
    LRESULT OnNotify(NMHDR& header);
    void Layout();
    void Rearrange(const std::function<bool()>& change);
    std::vector<size_t> SelectedRows() const;
    std::optional<std::string> SelectedRecords(size_t& count);
    void EnableButtons();
    void ShowSortMark();
    void OnSendAgain();
    void OnOpenFolder();
    void CopyToClipboard();
    void LoadLayout();
    void SaveLayout();

    HINSTANCE m_instance;
    RelayedList m_list;
    const RegistryProfile& m_profile;
    Hooks m_hooks;
    HWND m_hwnd = nullptr;
    HWND m_listView = nullptr;
    std::wstring m_cell;  // the text of the cell the list asked for last
    // Each control's place as the template lays it out, to be moved or stretched with the window.
    struct Anchor {
        int id;
        bool moveX, moveY, growX, growY;
        RECT at;
    };
    std::vector<Anchor> m_anchors;
    SIZE m_templateClient = {};
    SIZE m_minimum = {};
};

}  // namespace qsoferry
