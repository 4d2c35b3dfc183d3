// What screen readers are told of the form's controls: the lamps' names as they change, the status
// line read out, the badge passed over. Annotations and live regions are looked up at run time, so
// that Windows 7 starts the program; there the name changes serve.
#include "platform/utf16_win.h"
#include "platform/win32_platform.h"

namespace qsoferry {

namespace {

// Spelt out here: the IIDs of MinGW's import libraries resolve to garbage under Wine.
constexpr CLSID kAccPropServicesClass = {0xb5f8350b, 0x0548, 0x48b1, {0xa6, 0xee, 0x88, 0xbd, 0x00, 0xb4, 0xa5, 0xe7}};
constexpr IID kAccPropServicesIid = {0x6e26e776, 0x04f0, 0x495d, {0x80, 0xe4, 0x33, 0x30, 0x35, 0x2e, 0x31, 0x69}};
constexpr GUID kAccStateProperty = {0xa8d4d5b0, 0x0a21, 0x42d0, {0xa5, 0xc0, 0x51, 0x4e, 0x98, 0x4f, 0x45, 0x7b}};
constexpr GUID kLiveSettingProperty = {0xc12bcd8e, 0x2a8e, 0x4950, {0x8a, 0xe7, 0x36, 0x25, 0x11, 0x1d, 0x58, 0xeb}};
constexpr long kLivePolite = 1;
constexpr DWORD kLiveRegionChanged = 0x8019;  // EVENT_OBJECT_LIVEREGIONCHANGED, Windows 8 and later

}  // namespace

void Win32Platform::SetControlName(int controlId, const std::string& name) {
    HWND control = GetDlgItem(m_form, controlId);
    if (!control) return;
    // A picture static would take a new text as the name of a bitmap resource to show; the
    // window's own text, which screen readers read as its name, is set past it.
    DefWindowProcW(control, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(Utf16(name).c_str()));
    NotifyWinEvent(EVENT_OBJECT_NAMECHANGE, control, OBJID_CLIENT, CHILDID_SELF);
}

// Windows 8 and later read a live region out when it says it changed; Windows 7's screen readers
// know no live regions, and read the name change instead. Only while Qsoferry is in front: a line
// that changes at every contact must not talk over the program the operator works in.
void Win32Platform::AnnounceControl(int controlId) {
    HWND control = GetDlgItem(m_form, controlId);
    if (!control || GetForegroundWindow() != m_frame) return;
    if (!m_statusLiveTried) {
        m_statusLiveTried = true;
        const bool windows8 = GetProcAddress(GetModuleHandleW(L"user32.dll"), "GetPointerType") != nullptr;
        m_statusLive = windows8 && Annotate(controlId, kLiveSettingProperty, kLivePolite);
    }
    NotifyWinEvent(m_statusLive ? kLiveRegionChanged : EVENT_OBJECT_NAMECHANGE, control, OBJID_CLIENT, CHILDID_SELF);
}

// A picture that says nothing the words beside it do not: screen readers pass over it.
void Win32Platform::MarkDecoration(int controlId) {
    Annotate(controlId, kAccStateProperty, STATE_SYSTEM_INVISIBLE);
}

bool Win32Platform::Annotate(int controlId, const GUID& property, long value) {
    IAccPropServices* services = AccessibilityServices();
    HWND control = GetDlgItem(m_form, controlId);
    if (!services || !control) return false;
    VARIANT v = {};
    v.vt = VT_I4;
    v.lVal = value;
    return SUCCEEDED(services->SetHwndProp(control, static_cast<DWORD>(OBJID_CLIENT), CHILDID_SELF, property, v));
}

// COM on the window's thread, once. The annotations last as long as the windows, which go with
// the process.
IAccPropServices* Win32Platform::AccessibilityServices() {
    if (m_accessibilityTried) return m_accessibility;
    m_accessibilityTried = true;
    const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    if (FAILED(com) && com != RPC_E_CHANGED_MODE) return nullptr;
    void* services = nullptr;
    if (FAILED(CoCreateInstance(kAccPropServicesClass, nullptr, CLSCTX_INPROC_SERVER, kAccPropServicesIid, &services)))
        return nullptr;
    m_accessibility = static_cast<IAccPropServices*>(services);
    return m_accessibility;
}

}  // namespace qsoferry
