// The delivery engine: takes the decoder's log, reads it one contact at a time, hands each contact
// to the logger, records how far delivery got, and removes the log once all of it has arrived. It
// reaches files, the logger, a clock and the operator only through courier_io.h.
//
// The log is first claimed: moved to a private name beside it. The move is atomic on one volume and
// fails while the decoder has the file open, so a contact the decoder logs meanwhile goes into a
// new log, relayed later. The claimed file stays until every contact in it has reached the logger.
// Beside it lies its progress file (progress_record.h): the resume offset after the last contact
// the logger took, and how many it took. It is written after every contact the logger takes,
// before the next one goes, and flushed to the disk every kFlushEveryContacts contacts and
// whenever delivery pauses. Delivery resumes after the last contact on record, at every tick and
// after a restart; so a bridge that ends sends at most the contact in flight again, and a power cut
// at most the contacts since the last flush. The claimed file goes only once all its contacts are
// delivered: first the file, then its progress.
//
// Threading: everything here runs on one thread, the shell's window thread. A send never blocks it:
// BeginSend returns at once and SendDone comes later from the shell's message loop, so ticks,
// repaints and the operator's commands go on while the logger takes its time. One contact is in
// flight at a time, and one more may wait behind it on this engine's port, so that in a backlog the
// logger gets the next contact at once; each handover carries the record that says it was
// delivered, written by the sender before the next one goes (relay/handover_queue.h). So the
// progress file is never written or closed here while one of this engine's handovers is with the
// sender: every handover stays in m_outstanding until its result has been taken. The engine is
// re-entered from inside its own calls (BetweenLines and Tell run the shell's handlers): Advance
// and CloseLogFile never run inside Advance (m_advancing), and nothing is sent once m_closed.
// After Close nothing more is sent, and a late SendDone is ignored.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <string>

#include "relay/courier_io.h"
#include "relay/log_reader.h"
#include "relay/progress_record.h"
#include "relay/qso_record.h"

namespace qsoferry {

constexpr unsigned long COPYDATA_QSO = 10001;  // the logger's marker for a contact
constexpr const char kSourceEmptyText[] = "The source file is empty";
// The progress is flushed to the disk after this many deliveries and whenever delivery pauses, so
// a power cut repeats at most this many contacts.
constexpr unsigned kFlushEveryContacts = 100;
// A file operation that goes on failing for this many ticks is a lasting failure, and told.
constexpr unsigned kLastingFailureTicks = 10;
// A logger that has not returned from a send for this long is told of, once.
constexpr std::uint64_t kUnansweredNoticeMs = 60 * 1000;
// How long the send in flight may still take to be recorded, in all: at the end of a Windows
// session, and at the end of the program (shorter: the operator is waiting for it to go).
constexpr unsigned kEndSessionWaitMs = 4000;
constexpr unsigned kCloseWaitMs = 500;
// Handovers outstanding at once: the one in flight and the one behind it.
constexpr size_t kOutstandingHandovers = 2;

class Courier {
public:
    Courier(DeliveryFiles& files, LoggerLink& logger, Clock& clock, Operator& op);
    ~Courier();
    Courier(const Courier&) = delete;
    Courier& operator=(const Courier&) = delete;

    // The decoder's log; the claimed file, its progress and the lock's name follow from it.
    void SetLogPath(const std::string& logPath);
    const std::string& LogPath() const { return m_strLogPath; }
    const std::string& ClaimPath() const { return m_strClaimPath; }
    const std::string& ProgressPath() const { return m_strProgressPath; }

    // Once a tick, with the logger as found now (kNoLogger: none). Starts delivery when none is
    // under way; with a send in flight, tells of a logger that has stopped answering.
    void Tick(LoggerId logger);
    // A handover has ended: its result can be taken (from the shell's message loop).
    void SendDone();

    // Windows asks whether the session may end: no new send starts, what was delivered goes on
    // the disk. Cancelled, delivery goes on at the next tick.
    void PauseForSessionEnd();
    void ResumeAfterCancelledSessionEnd();
    // The program or the Windows session ends. A send in flight of this engine's may still be
    // recorded until `untilMs` (MonotonicMs; one deadline for every engine); then what the sender
    // has recorded counts and is on the disk, and nothing more happens. A send still in flight
    // then may be recorded later, or go again at the next start.
    void Close(std::uint64_t untilMs);

    size_t Port() const { return m_port; }
    bool SendInFlight() const { return !m_outstanding.empty(); }
    bool IsClosed() const { return m_closed; }

private:
    // The claimed file being delivered, with its progress.
    struct ClaimedLog {
        FileHandle file = kNoFile;
        FileHandle progressFile = kNoFile;
        std::unique_ptr<LogReader> reader;
        Progress progress;        // as last recorded, or waiting to be
        int safeSlot = -1;        // the slot with the last flushed record: never overwritten unflushed
        bool unrecorded = false;  // `progress` is not on the disk yet
        unsigned sinceFlush = 0;
        bool atEnd = false;
    };

    // A handover not ended yet, and the progress as it will stand once it has been recorded.
    struct Outstanding {
        Progress progress;
        int safeSlot = -1;
        unsigned sinceFlush = 0;
    };

    void Advance();
    bool ReadLogFile();
    void SendRecord();
    void TakeResults();
    void Settle(const Outstanding& handover, const HandoverResult& result);

    bool TakeDeliveryLock();
    bool OpenClaimedLog();
    bool ClaimLog();
    bool OpenProgress(std::uint64_t claimedSize, LogReader::Start& start);
    bool WriteProgress(bool flush);
    void FlushProgress();
    void CloseLogFile();
    void PutBackEmptyLog();
    bool RemoveLeftoverProgress();

    void ReportOnce(const std::string& message);
    void ReportFileError(const std::string& action, const std::string& path, const FileResult& result);
    void ReportFailure(const std::string& message, const FileResult& result);

    DeliveryFiles& m_files;
    LoggerLink& m_logger;
    const size_t m_port;  // this engine's, at the logger
    Clock& m_clock;
    Operator& m_operator;

    std::string m_strLogPath;
    std::string m_strClaimPath;     // private name the log is moved to while it is relayed
    std::string m_strProgressPath;  // how far the claimed file's delivery got
    std::string m_strLockName;      // only one bridge at a time delivers from this log
    bool m_bDeliveryLock = false;

    ClaimedLog m_claim;
    QsoRecord m_record;
    bool m_contactWaiting = false;  // m_record holds a contact read and not handed over yet
    std::deque<Outstanding> m_outstanding;
    bool m_stopping = false;              // a handover failed: the rest waits until the file is reopened
    std::optional<Progress> m_unwritten;  // a delivery whose record could not be written yet
    bool m_failedThisTick = false;
    unsigned m_failingTicks = 0;  // ticks in a row in which a file operation failed

    LoggerId m_loggerId = kNoLogger;  // as found at the last tick
    bool m_advancing = false;         // Advance is on the stack
    std::uint64_t m_sendStartMs = 0;  // when the handover now in flight went
    bool m_unansweredTold = false;
    bool m_ending = false;  // the session may end: nothing new starts
    bool m_closed = false;
    std::string m_strLastReport;  // the last problem told, so that it is told only once
};

}  // namespace qsoferry
