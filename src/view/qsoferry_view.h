// CQsoferryView: the bridge's only view. It carries the form (the lamps, the badge, the check box),
// finds the decoder's log at start-up and sets its history aside, and drives the delivery engine
// (relay/courier.h): its timer handler is the poll cycle. Its members are split into files:
//   src/view/qsoferry_view.cpp  construction, initial update, check box, messages, end of session
//   src/view/log_location.cpp   log and backup paths, start-up backup
//   src/view/poll_cycle.cpp     OnTimer, OnSendDone
//   src/view/lamps.cpp          UpdateLamps, DrainMessageQueue
// It talks to the outside only through the Platform it is given, and is the engine's Operator.
//
// Threading: the view runs on the window's thread only. The engine's sends end on that thread too
// (OnSendDone, from the message loop), so nothing here is shared with another thread.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "relay/courier.h"
#include "resource.h"

namespace qsoferry {

constexpr const char kAppTitle[] = "Qsoferry ver 1.00";
constexpr const char kLoggerClass[] = "DXbase";
constexpr const char kDecoderTitle[] = "JTDX - Wide Graph";
constexpr unsigned kPollTimerId = 1;
constexpr unsigned kPollPeriodMs = 1000;

class CQsoferryView : private Operator {
public:
    explicit CQsoferryView(Platform& platform);
    ~CQsoferryView();
    CQsoferryView(const CQsoferryView&) = delete;
    CQsoferryView& operator=(const CQsoferryView&) = delete;

    // What the shell calls.
    void OnInitialUpdate();
    void OnNoFreqClicked();
    void OnMouseMove() {}  // default processing only
    void OnTimer(unsigned nIDEvent);
    void OnSendDone();  // a contact handed to the logger has ended
    void OnDestroy();   // the view's window is going away
    // Windows is shutting down or logging off: no new contact is started, and what was delivered
    // goes on the disk. A query may still be cancelled; `ending` says whether the session ends.
    void OnQueryEndSession();
    void OnEndSession(bool ending);

    // Read-only, for the tests.
    const std::string& LogPath() const { return m_strLogPath; }
    const std::string& BackupPath() const { return m_strBackupPath; }
    const Courier& Delivery() const { return m_courier; }
    int NoFreq() const { return m_nNoFreq; }
    bool IsClosing() const { return m_bClosing; }
    bool IsBackupPending() const { return m_bBackupPending; }

private:
    void OnUpdate();
    void DoDataExchange();
    void DeriveLogPaths();
    void PreserveLogOnce();
    WindowHandle UpdateLamps();
    WindowHandle SetLamps();
    void DrainMessageQueue();
    void ReportOnce(const std::string& message);
    void ShowHeldMessages();

    // Operator: what the delivery engine asks of the form.
    void Tell(const std::string& message) override;
    bool LeaveOutFrequency() override;
    void BetweenLines() override;

    Platform& m_platform;
    Courier m_courier;

    // Form controls, bound to their ids.
    const int m_ctlBadge = IDC_BADGE;
    const int m_ctlDecoderLamp = IDC_DECODER_LAMP;
    const int m_ctlLoggerLamp = IDC_LOGGER_LAMP;
    BitmapHandle m_bmpLampOff = kNoBitmap;
    BitmapHandle m_bmpLampOn = kNoBitmap;
    BitmapHandle m_bmpBadge = kNoBitmap;
    std::uint8_t m_nNoFreq = 0;

    std::string m_strLogPath;
    std::string m_strBackupPath;
    bool m_bPathsKnown = false;  // from a user name or the system: the start-up backup may run
    bool m_bBackupPending = false;
    std::string m_strLastReport;  // the start-up backup's last problem, told once

    bool m_bInCycle = false;
    bool m_bClosing = false;
    bool m_bMessageOpen = false;              // a message box is open: one at a time
    std::string m_strShown;                   // what it says
    std::vector<std::string> m_heldMessages;  // told inside a cycle or while one was open
};

}  // namespace qsoferry
