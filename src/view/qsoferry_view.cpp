// The form view: construction, the initial update that starts everything, and the check box.
#include "view/qsoferry_view.h"

namespace qsoferry {

CQsoferryView::CQsoferryView(Platform& platform) : m_platform(platform) {}

CQsoferryView::~CQsoferryView() {
    // The view owns its bitmaps; the controls that show them never do.
    for (BitmapHandle bitmap : {m_bmpLampOff, m_bmpLampOn, m_bmpBadge}) {
        if (bitmap != kNoBitmap) m_platform.ReleaseBitmap(bitmap);
    }
    if (m_bDeliveryLock) m_platform.Unlock(m_strLockName);
}

void CQsoferryView::DoDataExchange() {
    // Only ever towards the controls: the box starts unchecked.
    m_platform.SetCheckState(IDC_NO_FREQ, m_nNoFreqCheck);
}

void CQsoferryView::OnUpdate() {
    DrainMessageQueue();
}

void CQsoferryView::OnInitialUpdate() {
    m_platform.SetDocumentTitle(kAppTitle);
    DoDataExchange();
    OnUpdate();
    m_platform.FitFrameToForm();
    DeriveLogPaths();
    PreserveLogOnce();

    // The framework's New and Open run the initial update again: the bitmaps loaded by an earlier
    // run are reused, so nothing leaks. One that failed to load is tried again.
    if (m_bmpLampOff == kNoBitmap) m_bmpLampOff = m_platform.LoadBitmapResource(IDB_LAMP_OFF);
    if (m_bmpLampOn == kNoBitmap) m_bmpLampOn = m_platform.LoadBitmapResource(IDB_LAMP_ON);
    if (m_bmpBadge == kNoBitmap) m_bmpBadge = m_platform.LoadBitmapResource(IDB_BADGE);
    m_platform.SetControlImage(m_ctlLoggerLamp, m_bmpLampOff);
    m_platform.SetControlImage(m_ctlBadge, m_bmpBadge);
    UpdateLamps();
    m_platform.SetMainCaption(kAppTitle);
    m_nNoFreq = 0;
    m_platform.StartTimer(kPollTimerId, kPollPeriodMs);  // replaces a running timer 1
}

void CQsoferryView::OnNoFreqClicked() {
    // An automatic two-state box toggles before it notifies, so the flag follows every click;
    // an indeterminate state leaves it as it was.
    if (m_platform.GetCheckState(IDC_NO_FREQ) == 1) m_nNoFreq = 1;
    if (m_platform.GetCheckState(IDC_NO_FREQ) == 0) m_nNoFreq = 0;
}

void CQsoferryView::OnDestroy() {
    m_bClosing = true;
}

void CQsoferryView::OnQueryEndSession() {
    // The answer is yes; until it is known whether the session really ends, no contact is started.
    m_bEnding = true;
    FlushProgress();
}

void CQsoferryView::OnEndSession(bool ending) {
    m_bEnding = ending;
    if (!ending) return;
    // Windows may end the process as soon as this returns: the cycle under way stops before its
    // next contact, and what was delivered is on the disk now.
    m_bClosing = true;
    FlushProgress();
}

}  // namespace qsoferry
