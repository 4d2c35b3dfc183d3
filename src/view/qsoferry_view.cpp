// The form view: construction, the initial update that starts everything, the check box, the
// messages the operator sees, and the end of the program or of the Windows session.
#include "view/qsoferry_view.h"

#include <algorithm>

namespace qsoferry {

CQsoferryView::CQsoferryView(Platform& platform) : m_platform(platform) {
    m_folders.push_back(NewFolder());  // JTDX's own; its paths come with the initial update
}

CQsoferryView::~CQsoferryView() {
    // The view owns its bitmaps; the controls that show them never do.
    for (BitmapHandle bitmap : {m_bmpLampOff, m_bmpLampOn, m_bmpBadge}) {
        if (bitmap != kNoBitmap) m_platform.ReleaseBitmap(bitmap);
    }
}

void CQsoferryView::DoDataExchange() {
    // Only ever towards the controls: the box starts unchecked.
    m_platform.SetCheckState(IDC_NO_FREQ, 0);
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
    FindRigFolders();
    AddSendingFolder();

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
    UpdateStatus(m_bLoggerRunning, false);
}

void CQsoferryView::OnNoFreqClicked() {
    // An automatic two-state box toggles before it notifies, so the flag follows every click;
    // an indeterminate state leaves it as it was.
    if (m_platform.GetCheckState(IDC_NO_FREQ) == 1) m_nNoFreq = 1;
    if (m_platform.GetCheckState(IDC_NO_FREQ) == 0) m_nNoFreq = 0;
}

// The record follows the box as it is at each export, even if no click was handled since it changed.
bool CQsoferryView::LeaveOutFrequency() {
    int check = m_platform.GetCheckState(IDC_NO_FREQ);
    if (check == 1) m_nNoFreq = 1;
    if (check == 0) m_nNoFreq = 0;
    return m_nNoFreq == 1;
}

void CQsoferryView::BetweenLines() {
    bool reading = m_bReading;
    m_bReading = true;
    DrainMessageQueue();  // the window keeps answering while a long log is read
    m_bReading = reading;
}

// One box at a time, and never from inside a cycle: a message told there waits for the end of the
// cycle, so that while the operator reads it the ticks go on in full and the logger's answers are
// handled; nothing waits behind an open box. What is told again while it is open is dropped.
void CQsoferryView::Tell(const std::string& message) {
    if (message == m_strShown ||
        std::find(m_heldMessages.begin(), m_heldMessages.end(), message) != m_heldMessages.end()) {
        return;
    }
    m_heldMessages.push_back(message);
    if (!m_bInCycle) ShowHeldMessages();
}

void CQsoferryView::ShowHeldMessages() {
    if (m_bMessageOpen || m_bSessionQueried) return;
    m_bMessageOpen = true;
    while (!m_heldMessages.empty() && !m_bClosing) {
        m_strShown = m_heldMessages.front();
        m_heldMessages.erase(m_heldMessages.begin());
        m_platform.ShowMessage(m_strShown);
    }
    m_strShown.clear();
    m_bMessageOpen = false;
}

void CQsoferryView::ReportOnce(const std::string& message) {
    if (message == m_strLastReport) return;
    m_strLastReport = message;
    Tell(message);
}

void CQsoferryView::OnDestroy() {
    CloseCouriers(kCloseWaitMs);
}

// Nothing new goes to the logger from here. One contact is in flight for the whole program, so one
// deadline serves every engine, and only the one whose contact it is waits.
void CQsoferryView::CloseCouriers(unsigned waitMs) {
    if (m_bClosing) return;
    m_bClosing = true;
    ForEachCourier([](Courier& courier) { courier.PauseForSessionEnd(); });
    const std::uint64_t until = m_platform.MonotonicMs() + waitMs;
    ForEachCourier([until](Courier& courier) { courier.Close(until); });
}

void CQsoferryView::OnQueryEndSession() {
    // The answer is yes, at once; until it is known whether the session really ends, no contact
    // is started, and no message box opens: Windows would list Qsoferry as keeping it from ending.
    m_bSessionQueried = true;
    ForEachCourier([](Courier& courier) { courier.PauseForSessionEnd(); });
}

void CQsoferryView::OnEndSession(bool ending) {
    m_bSessionQueried = false;
    if (!ending) {
        ForEachCourier([](Courier& courier) { courier.ResumeAfterCancelledSessionEnd(); });
        if (!m_bInCycle) ShowHeldMessages();
        return;
    }
    // Windows may end the process as soon as this returns: what was delivered is on the disk now.
    CloseCouriers(kEndSessionWaitMs);
}

void CQsoferryView::ForEachCourier(const std::function<void(Courier&)>& action) {
    for (size_t i = 0; i < m_folders.size(); ++i)  // by index: an action may find new folders
        action(*m_folders[i]->courier);
}

}  // namespace qsoferry
