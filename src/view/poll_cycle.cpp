// The poll cycle: once a second, refresh the lamps, and when the decoder's log is there and the
// logger is running, hand its contacts to the logger one at a time.
//
// The log is first claimed: moved to a private name beside it. The move is atomic on one volume
// and fails while the decoder has the file open, so a contact the decoder logs meanwhile goes into
// a new log, relayed later. The claimed file stays until every contact in it has reached the
// logger; after each one, how far delivery got is written beside it (delivery.cpp), so that a
// logger that goes away, or a bridge that ends at any instant, loses nothing.
#include <algorithm>

#include "view/qsoferry_view.h"

namespace qsoferry {
namespace {

class CycleGuard {
public:
    explicit CycleGuard(bool& inCycle) : m_inCycle(inCycle) { m_inCycle = true; }
    ~CycleGuard() { m_inCycle = false; }
    CycleGuard(const CycleGuard&) = delete;
    CycleGuard& operator=(const CycleGuard&) = delete;

private:
    bool& m_inCycle;
};

}  // namespace

void CQsoferryView::OnTimer(unsigned /*nIDEvent*/) {
    // A tick that falls due while a cycle runs (inside a drain, or while a message box is open) is
    // skipped, never nested: the file and the record serve one cycle at a time.
    if (m_bInCycle || m_bClosing) return;
    CycleGuard guard(m_bInCycle);

    WindowHandle logger = UpdateLamps();
    if (m_bClosing) return;

    // Until the start-up backup is made, the log holds history that must not reach the logger.
    if (m_bBackupPending) {
        PreserveLogOnce();
        if (m_bBackupPending || m_bClosing) return;
    }

    // Without a logger the log waits; the decoder keeps appending to it.
    if (logger == kNoWindow || m_bEnding) return;

    while (ReadLogFile()) {
        if (m_bClosing || m_bEnding) break;  // the contact read goes at the next start
        // Its delivery is on record before the next contact goes, or nothing more goes.
        if (!ReadyToSend()) break;
        // A logger that has gone since the lookup gets this contact when it is back.
        if (!SendRecord(logger)) break;
        RecordDelivery();
    }
    CloseLogFile();
}

bool CQsoferryView::ReadLogFile() {
    if (!m_claim.reader && !OpenClaimedLog()) return false;
    if (m_claim.atEnd) return false;
    LogReader& reader = *m_claim.reader;
    for (;;) {
        switch (reader.Next(m_record)) {
            case LogReader::Step::kContact:
                return true;
            case LogReader::Step::kEnd:
                if (reader.IsEmpty()) {
                    PutBackEmptyLog();
                } else {
                    m_claim.atEnd = true;
                }
                return false;
            case LogReader::Step::kNeedInput: {
                if (m_bClosing) return false;
                size_t room = 0;
                char* space = reader.Space(room);
                size_t got = 0;
                FileResult result = m_platform.ReadFileAt(m_claim.file, reader.InputOffset(), space,
                                                          std::min(room, LogReader::kChunkSize), got);
                if (!result.ok()) {
                    ReportFileError("read", m_strClaimPath, result);
                    return false;
                }
                reader.Filled(got);
                break;
            }
        }
    }
}

}  // namespace qsoferry
