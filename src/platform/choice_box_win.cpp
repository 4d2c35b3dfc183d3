// A question whose buttons say what they do ("Send the 28 new ones", "Send all 40", "Send none"),
// where a message box could only say Yes, No and Cancel. A dialog of the resources, modal as a
// message box is: its loop goes on dispatching the form's timer messages.
#include "platform/utf16_win.h"
#include "platform/win32_platform.h"
#include "resource.h"

namespace qsoferry {
namespace {

constexpr size_t kSlots = 3;

struct Choice {
    std::wstring caption, text;
    std::vector<std::wstring> answers;
    size_t preferred;
};

INT_PTR CALLBACK ChoiceProc(HWND box, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_INITDIALOG: {
            const Choice& choice = *reinterpret_cast<const Choice*>(lParam);
            SetWindowLongPtrW(box, DWLP_USER, static_cast<LONG_PTR>(choice.answers.size()));
            SetWindowTextW(box, choice.caption.c_str());
            SetDlgItemTextW(box, IDC_CHOOSE_TEXT, choice.text.c_str());
            // The answers take the last buttons, so that they stay right-aligned.
            const size_t unused = kSlots - choice.answers.size();
            for (size_t slot = 0; slot < kSlots; ++slot) {
                HWND button = GetDlgItem(box, IDC_ANSWER_FIRST + static_cast<int>(slot));
                if (slot < unused) {
                    ShowWindow(button, SW_HIDE);
                    EnableWindow(button, FALSE);
                    continue;
                }
                SetWindowTextW(button, choice.answers[slot - unused].c_str());
            }
            const int preferred = IDC_ANSWER_FIRST + static_cast<int>(unused + choice.preferred);
            SendMessageW(box, DM_SETDEFID, static_cast<WPARAM>(preferred), 0);
            SendMessageW(box, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(GetDlgItem(box, preferred)), TRUE);
            MessageBeep(MB_ICONQUESTION);
            return FALSE;  // the focus is set
        }
        case WM_COMMAND: {
            const size_t count = static_cast<size_t>(GetWindowLongPtrW(box, DWLP_USER));
            const int id = LOWORD(wParam);
            if (id == IDCANCEL) {
                EndDialog(box, static_cast<INT_PTR>(count - 1));  // Esc, the close box: the answer that does nothing
                return TRUE;
            }
            const int slot = id - IDC_ANSWER_FIRST;
            if (slot >= static_cast<int>(kSlots - count) && slot < static_cast<int>(kSlots)) {
                EndDialog(box, static_cast<INT_PTR>(static_cast<size_t>(slot) - (kSlots - count)));
                return TRUE;
            }
            return FALSE;
        }
        default:
            return FALSE;
    }
}

}  // namespace

size_t Win32Platform::Choose(const std::string& text, const std::vector<std::string>& answers, size_t preferred) {
    if (answers.empty() || answers.size() > kSlots) return answers.empty() ? 0 : answers.size() - 1;
    Choice choice{Utf16(AppTitle(m_instance)), Utf16(text), {}, preferred < answers.size() ? preferred : 0};
    for (const std::string& answer : answers)
        choice.answers.push_back(Utf16(answer));
    const INT_PTR chosen = DialogBoxParamW(m_instance, MAKEINTRESOURCEW(IDD_CHOOSE), Owner(), ChoiceProc,
                                           reinterpret_cast<LPARAM>(&choice));
    // A box that could not be shown did nothing: the last answer.
    return chosen >= 0 && static_cast<size_t>(chosen) < answers.size() ? static_cast<size_t>(chosen)
                                                                       : answers.size() - 1;
}

}  // namespace qsoferry
