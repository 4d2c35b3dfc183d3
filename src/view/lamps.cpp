// Presence lamps: is the logger's window there, is the decoder's? Also the queue drain that keeps
// the window answering while a cycle runs.
#include "view/qsoferry_view.h"

namespace qsoferry {

void CQsoferryView::DrainMessageQueue() {
    DrainResult msg;
    while ((msg = m_platform.DispatchPendingMessage()) == DrainResult::kDispatched) {
    }
    // The program is ending: whatever cycle is running stops at its next look at the flag.
    if (msg == DrainResult::kQuit && !m_bClosing) {
        m_bClosing = true;
        m_courier.Close();
    }
}

WindowHandle CQsoferryView::UpdateLamps() {
    DrainMessageQueue();
    if (m_bClosing) return kNoWindow;  // the controls may be gone already
    return SetLamps();
}

WindowHandle CQsoferryView::SetLamps() {
    WindowHandle logger = m_platform.FindWindowByClass(kLoggerClass);
    m_platform.SetControlImage(m_ctlLoggerLamp, logger != kNoWindow ? m_bmpLampOn : m_bmpLampOff);
    WindowHandle decoder = m_platform.FindWindowByTitle(kDecoderTitle);
    m_platform.SetControlImage(m_ctlDecoderLamp, decoder != kNoWindow ? m_bmpLampOn : m_bmpLampOff);
    return logger;
}

}  // namespace qsoferry
