// CQsoferryView: the bridge's only view. It carries the form (the lamps, the badge, the check box),
// finds the decoder's log at start-up and sets its history aside, and drives the delivery engine
// (relay/courier.h): its timer handler is the poll cycle. A JTDX started with a rig name keeps its
// log in a folder "JTDX - <rig>" beside JTDX's own; each folder, JTDX's own first, gets an engine
// of its own, on a port of its own at the one logger. Its members are split into files:
//   src/view/qsoferry_view.cpp  construction, initial update, check box, messages, end of session
//   src/view/log_location.cpp   log and backup paths, start-up backup
//   src/view/rig_folders.cpp    the folders: finding rig folders, their history, their engines
//   src/view/poll_cycle.cpp     OnTimer, OnSendDone
//   src/view/lamps.cpp          UpdateLamps, the lamps' names, OnThemeChanged, DrainMessageQueue
//   src/view/status_line.cpp    the line under the lamps, and the notification-area icon (tray_icon.h)
//   src/view/send_log.cpp       a log the operator sends on purpose, contacts sent again
//   src/view/relayed_list.cpp   the list of contacts relayed (RelayedList, for the shell's window)
// It talks to the outside only through the Platform it is given, and is the engine's Operator.
//
// Threading: the view runs on the window's thread only. The engines' sends end on that thread too
// (OnSendDone, from the message loop); what the sender's thread shares, the platform guards.
#pragma once

#include <algorithm>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/platform.h"
#include "relay/courier.h"
#include "relay/log_survey.h"
#include "resource.h"
#include "view/relayed_list.h"
#include "view/status_line.h"
#include "view/tray_icon.h"

namespace qsoferry {

constexpr const char kAppTitle[] = "Qsoferry ver 1.00";
constexpr const char kLoggerClass[] = "DXbase";
constexpr unsigned kPollTimerId = 1;
constexpr unsigned kPollPeriodMs = 1000;
constexpr const char kLogFileName[] = "wsjtx_log.adi";
constexpr const char kBackupFileName[] = "wsjtx_log_bak.adi";
constexpr const char kRigFolderPrefix[] = "JTDX - ";
// Where a log sent on purpose is relayed from: a folder of Qsoferry's own in the local application
// data, beside JTDX's.
constexpr const char kOwnFolderName[] = "Qsoferry";
constexpr const char kSendingFolderName[] = "Sending";
constexpr const char kSendingBusyText[] =
    "A log is being sent to DXbase already. Send the next one once its contacts have gone.";
// A rig folder that appears while the bridge runs is looked for every this many ticks.
constexpr unsigned kRigScanTicks = 3;

// True for the title of a JTDX Wide Graph: "JTDX - Wide Graph", or with a rig name (or in test
// mode) "JTDX - <name> - Wide Graph", the last words in any interface language JTDX ships.
bool IsJtdxWideGraphTitle(std::string_view title);

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
    // A high-contrast theme was turned on or off, or the system's colours changed.
    void OnThemeChanged();
    // Windows is shutting down or logging off: no new contact is started, and what was delivered
    // goes on the disk. A query may still be cancelled; `ending` says whether the session ends.
    void OnQueryEndSession();
    void OnEndSession(bool ending);
    // File, Send a Log to DXbase: the operator picks an ADIF file and its contacts are relayed.
    void OnSendLog();
    // Relayed Contacts, Send Again: `records` (ADIF text of `count` contacts, from RelayedList) go
    // to DXbase again, as a log sent on purpose, once the operator has said yes.
    void OnSendAgain(const std::string& records, size_t count);
    // A message of the shell's own windows (Relayed Contacts): shown as the engines' are, one box
    // at a time and never inside a cycle, where the box's loop would stop every folder's ticks.
    void TellOperator(const std::string& message) { Tell(message); }
    // The copies of contacts sent that the Relayed Contacts window lists.
    std::vector<CopySource> CopySources() const;
    // A command of the shell's (New, Open, Save, About, Send a Log): now, or once the cycle that
    // is running (and draining the queue) has ended.
    void RunAfterCycle(std::function<void()> command);

    // Read-only, for the tests.
    const std::string& LogPath() const { return m_strLogPath; }
    const std::string& BackupPath() const { return m_strBackupPath; }
    const Courier& Delivery() const { return *m_folders.front()->courier; }
    size_t RigFolderCount() const {
        return std::count_if(m_folders.begin() + 1, m_folders.end(), [](const auto& f) { return !f->sending; });
    }
    int NoFreq() const { return m_nNoFreq; }
    bool IsClosing() const { return m_bClosing; }
    bool IsBackupPending() const { return m_folders.front()->historyPending; }
    const std::string& StatusLine() const { return m_strStatus; }

private:
    void OnUpdate();
    void DoDataExchange();
    void DeriveLogPaths();
    void PreserveLogOnce();
    enum class HistoryAside { kNone, kMoved, kPending, kNoFolder };
    HistoryAside SetHistoryAside(const std::string& logPath, const std::string& backupPath);
    struct Folder;
    std::unique_ptr<Folder> NewFolder();
    void FindRigFolders();
    void PreserveFolderLog(Folder& folder);
    void ForEachCourier(const std::function<void(Courier&)>& action);
    void CloseCouriers(unsigned waitMs);
    void TickCouriers();
    void TakeLoggerResults();
    WindowHandle UpdateLamps();
    WindowHandle SetLamps();
    void ShowLamp(int control, bool lit, std::optional<bool>& named, const char* peer);
    void DrainMessageQueue();
    void ReportOnce(const std::string& message);
    void ShowHeldMessages();
    void UpdateStatus(bool loggerRunning, bool busy);
    void UpdateTrayIcon();
    bool SendInFlight() const;
    void RunDeferredCommands();
    void AddSendingFolder();
    const Courier* SendingCourier();
    std::string CopyForSending(const std::string& from, const std::string& to, const LogSurvey* fresh);
    // Whether to send the contacts DXbase took before, too: true to send the whole file, false
    // to send only `fresh`; nothing to send none.
    std::optional<bool> AskWhatToSend(const std::string& path, const LogSurvey& survey);
    std::string PutForSending(const std::string& to, const std::function<FileResult(FileHandle)>& fill);

    // Operator: what the delivery engine asks of the form.
    void Tell(const std::string& message) override;
    bool LeaveOutFrequency() override;
    void Relayed(const RelayedContact& contact) override;
    void BetweenLines() override;

    Platform& m_platform;

    // A folder the decoder writes its log to: JTDX's own (the first), or "JTDX - <rig>" beside it.
    // Its log is relayed only once its history has been set aside: at the start-up backup, or at the
    // first tick that finds the folder.
    struct Folder {
        std::string logPath, backupPath;
        std::unique_ptr<Courier> courier;
        bool historyPending = false;  // the start-up backup is still to be made
        bool tellHistory = true;      // history found when it is made is told to the operator
        bool sending = false;         // Qsoferry's own, for a log sent on purpose: never history
    };
    std::vector<std::unique_ptr<Folder>> m_folders;
    std::string m_strRigParent;  // where rig folders are looked for; empty: nowhere
    std::string m_strSendingOwnFolder, m_strSendingFolder;
    unsigned m_nTicksToRigScan = 0;

    // Form controls, bound to their ids.
    const int m_ctlBadge = IDC_BADGE;
    const int m_ctlDecoderLamp = IDC_DECODER_LAMP;
    const int m_ctlLoggerLamp = IDC_LOGGER_LAMP;
    BitmapHandle m_bmpLampOff = kNoBitmap;
    BitmapHandle m_bmpLampOn = kNoBitmap;
    BitmapHandle m_bmpBadge = kNoBitmap;
    std::optional<bool> m_bLoggerLampLit, m_bDecoderLampLit;  // as their names say
    std::uint8_t m_nNoFreq = 0;

    std::string m_strLogPath;
    std::string m_strBackupPath;
    bool m_bPathsKnown = false;   // from a user name or the system: the start-up backup may run
    std::string m_strLastReport;  // the start-up backup's last problem, told once

    bool m_bInCycle = false;
    bool m_bReading = false;     // an engine is reading its log (its BetweenLines drains)
    bool m_bResultsDue = false;  // the logger's results came while they could not be taken
    bool m_bClosing = false;
    bool m_bMessageOpen = false;              // a message box is open: one at a time
    bool m_bSessionQueried = false;           // Windows asked whether the session may end, and has not said
    std::string m_strShown;                   // what it says
    std::vector<std::string> m_heldMessages;  // told inside a cycle or while one was open

    StatusFacts m_status;
    std::string m_strStatus;  // the status line as shown
    bool m_bStatusUnread = false;  // changed since a screen reader was last told
    std::optional<std::uint64_t> m_nAnnouncedMs;
    static constexpr std::uint64_t kAnnounceGapMs = 10 * 1000;
    int m_nRelayedDay = 0;    // the day (yyyymmdd) m_nRelayedToday counts
    std::uint64_t m_nRelayedToday = 0;
    std::uint64_t m_nRelayedSinceTick = 0;  // relayed since the status line was last updated
    bool m_bLoggerRunning = false;
    std::string m_strProblem;                         // the problem as the icon last saw it
    bool m_bProblemTold = false;                      // and whether a notification has shown it
    std::vector<std::function<void()>> m_afterCycle;  // commands that came while a cycle ran
};

}  // namespace qsoferry
