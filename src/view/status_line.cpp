// The status line: its text, and what the view feeds it from the engines.
#include "view/status_line.h"

#include <cstdio>

#include "view/qsoferry_view.h"

namespace qsoferry {
namespace {

std::string Counted(std::uint64_t n, const char* one, const char* many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

}  // namespace

std::string StatusText(const StatusFacts& facts) {
    if (!facts.problem.empty()) return facts.problem;
    if (facts.waiting > 0) {
        return Counted(facts.waiting, "contact waits", "contacts wait") +
               (facts.loggerRunning ? " for DXbase" : " for DXbase to start");
    }
    if (!facts.relayedAny) return "No contact relayed yet";
    const RelayedContact& c = facts.last;
    std::string line = "Last: ";
    line += c.call.size() > kStatusCallMax ? c.call.substr(0, kStatusCallMax - 3) + "..." : c.call;
    if (line.size() == 6) line += "(no call)";
    if (!c.band.empty()) {
        line += ' ';
        for (char ch : c.band)
            line += ch >= 'A' && ch <= 'Z' ? static_cast<char>(ch - 'A' + 'a') : ch;
    }
    if (!c.mode.empty() && c.mode != "noMode") line += " " + c.mode;
    char at[16];
    std::snprintf(at, sizeof at, " %02d:%02d", facts.hour, facts.minute);
    return line + at + ", " + std::to_string(facts.today) + " today";
}

namespace {

int DayOf(const LocalTime& t) {
    return t.year * 10000 + t.month * 100 + t.day;
}

}  // namespace

// Counted here, timed at the next tick: the clock is read once a tick, not for every contact.
void CQsoferryView::Relayed(const RelayedContact& contact) {
    ++m_nRelayedSinceTick;
    m_status.relayedAny = true;
    m_status.last = contact;
}

// Once a tick, and when the logger has taken the last contact handed to it. What waits is counted
// only while the logger is not running or was still busy when the tick came (`busy`): otherwise
// nothing waits for long.
void CQsoferryView::UpdateStatus(bool loggerRunning, bool busy) {
    const LocalTime now = m_platform.Now();
    if (DayOf(now) != m_nRelayedDay) {
        m_nRelayedDay = DayOf(now);
        m_nRelayedToday = 0;
    }
    if (m_nRelayedSinceTick > 0) {
        m_nRelayedToday += m_nRelayedSinceTick;
        m_nRelayedSinceTick = 0;
        m_status.hour = now.hour;
        m_status.minute = now.minute;
    }
    m_status.loggerRunning = loggerRunning;
    m_status.problem.clear();
    m_status.waiting = 0;
    for (const auto& folder : m_folders) {
        if (m_status.problem.empty()) m_status.problem = folder->courier->Problem();
    }
    if (!loggerRunning || busy) {
        for (const auto& folder : m_folders) {
            if (!folder->historyPending && !folder->logPath.empty())
                m_status.waiting += folder->courier->CountWaiting();
        }
    }
    m_status.today = m_nRelayedToday;
    std::string line = StatusText(m_status);
    if (line != m_strStatus) {
        m_bStatusUnread = !m_strStatus.empty();  // the first is read with the window
        m_strStatus = line;
        m_platform.SetControlText(IDC_STATUS, line);
    }
    // Read out as it changes, but not at every tick while a backlog goes down contact by contact:
    // what changed within kAnnounceGapMs of the last reading is read once that time has passed.
    const std::uint64_t nowMs = m_platform.MonotonicMs();
    if (m_bStatusUnread && (!m_nAnnouncedMs || nowMs - *m_nAnnouncedMs >= kAnnounceGapMs)) {
        m_platform.AnnounceControl(IDC_STATUS);
        m_nAnnouncedMs = nowMs;
        m_bStatusUnread = false;
    }
    UpdateTrayIcon();
}

// The icon says what the line says, in its look and its tooltip; it is handed over at every update,
// so that one the notification area could not take yet (Explorer not started) is tried again.
// A problem that begins is also told in a notification, once it could be shown: until then it is
// tried again at every update.
void CQsoferryView::UpdateTrayIcon() {
    const int size = m_platform.NotificationIconSize();
    m_platform.ShowNotificationIcon(TrayIconPixels(TrayLookOf(m_status), size), size, m_strStatus);
    if (m_status.problem != m_strProblem) {
        m_strProblem = m_status.problem;
        m_bProblemTold = false;
    }
    if (!m_strProblem.empty() && !m_bProblemTold) m_bProblemTold = m_platform.ShowNotification(m_strProblem);
}

bool CQsoferryView::SendInFlight() const {
    for (const auto& folder : m_folders) {
        if (folder->courier->SendInFlight()) return true;
    }
    return false;
}

}  // namespace qsoferry
