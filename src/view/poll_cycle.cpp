// The poll cycle: once a second, refresh the lamps and let the delivery engine go on; and the
// logger's answer to a send, which lets it go on at once with the next contact.
#include "view/qsoferry_view.h"

namespace qsoferry {
namespace {

class CycleGuard {
public:
    explicit CycleGuard(bool& inCycle) : m_inCycle(inCycle), m_was(inCycle) { m_inCycle = true; }
    ~CycleGuard() { m_inCycle = m_was; }
    CycleGuard(const CycleGuard&) = delete;
    CycleGuard& operator=(const CycleGuard&) = delete;

private:
    bool& m_inCycle;
    bool m_was;
};

}  // namespace

void CQsoferryView::OnTimer(unsigned /*nIDEvent*/) {
    // A tick that falls due while a cycle runs (inside a drain) is skipped, never nested: the log
    // and the record serve one cycle at a time.
    if (m_bClosing || m_bInCycle) return;
    {
        CycleGuard guard(m_bInCycle);
        const bool busy = SendInFlight();  // since before this tick
        TickCouriers();
        TakeLoggerResults();
        if (!m_bClosing) UpdateStatus(m_bLoggerRunning, busy);
    }
    ShowHeldMessages();
    RunDeferredCommands();
}

// Every folder in turn; the logger's answers are taken once all have had their tick.
void CQsoferryView::TickCouriers() {
    WindowHandle logger = UpdateLamps();
    m_bLoggerRunning = logger != kNoWindow;
    if (m_bClosing) return;
    if (m_nTicksToRigScan == 0) {
        m_nTicksToRigScan = kRigScanTicks;
        FindRigFolders();
    }
    --m_nTicksToRigScan;
    for (size_t i = 0; i < m_folders.size() && !m_bClosing; ++i) {
        Folder& folder = *m_folders[i];
        // Until the start-up backup is made, the log holds history that must not reach the logger.
        if (folder.historyPending) PreserveFolderLog(folder);
        // Without a logger the log waits; the decoder keeps appending to it.
        if (!folder.historyPending && !m_bClosing) folder.courier->Tick(logger);
    }
}

void CQsoferryView::OnSendDone() {
    {
        CycleGuard guard(m_bInCycle);
        TakeLoggerResults();
        // The line names the last contact as soon as the logger has taken it; in a backlog, where
        // the next is already in hand, it waits for the tick.
        if (!m_bClosing && !SendInFlight()) UpdateStatus(m_bLoggerRunning, false);
    }
    if (!m_bInCycle) {
        ShowHeldMessages();
        RunDeferredCommands();
    }
}

// A command the operator gave while a cycle ran (a drain inside it dispatched it) waits for the
// cycle's end: a modal dialog opened there would stop the ticks, and New or Open may add folders
// to the list the cycle walks.
void CQsoferryView::RunAfterCycle(std::function<void()> command) {
    if (!m_bInCycle) {
        command();
        return;
    }
    m_afterCycle.push_back(std::move(command));
}

void CQsoferryView::RunDeferredCommands() {
    while (!m_afterCycle.empty() && !m_bInCycle && !m_bClosing) {
        std::function<void()> command = std::move(m_afterCycle.front());
        m_afterCycle.erase(m_afterCycle.begin());
        command();
    }
}

// Only ever at the top of the window's handlers, never from a drain inside an engine's reading:
// there, one engine would go on with the answers while the others, further up the stack, could
// not hand theirs over, and the folders would no longer take turns. Results that come meanwhile
// are taken once the handler that was running has gone back up.
void CQsoferryView::TakeLoggerResults() {
    if (m_bReading || m_bClosing) {
        m_bResultsDue = true;
        return;
    }
    do {
        m_bResultsDue = false;
        for (size_t port : m_platform.TakeNotice()) {
            // By index: an engine's reading drains the queue, whose handlers may add folders.
            for (size_t i = 0; i < m_folders.size(); ++i) {
                if (m_folders[i]->courier->Port() == port) m_folders[i]->courier->SendDone();
            }
        }
    } while (m_bResultsDue && !m_bClosing);
}

}  // namespace qsoferry
