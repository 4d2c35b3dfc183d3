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
//
// The files it keeps, each in a piece of its own that says what a power cut leaves of it: the
// claimed log (claimed_log.h), its progress journal (progress_journal.h) and the copy of what the
// logger took (sent_copy.h). Each contact the logger has taken is added to the copy by the sender,
// before the contact's progress record. A contact whose copy cannot be written is still on record,
// with its place in the claimed log as what the copy lacks, and nothing more goes until the copy
// has it: so a close or a restart sends it to the logger no second time, and it reaches the copy
// once the copy can be written. The copy is flushed before the progress is; a record whose copy
// did not survive a power cut gives way to the older one, whose copy was flushed. When a claimed
// log is opened with a record, what that record counts on is put on the disk before any other
// record is written: the bridge before may have ended with it only in the system's cache.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <string>

#include "relay/claimed_log.h"
#include "relay/courier_io.h"
#include "relay/log_reader.h"
#include "relay/progress_journal.h"
#include "relay/progress_record.h"
#include "relay/qso_record.h"
#include "relay/sent_copy.h"

namespace qsoferry {

constexpr unsigned long COPYDATA_QSO = 10001;  // the logger's marker for a contact
constexpr const char kSourceEmptyText[] = "The source file is empty";
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

// A contact the logger has taken, as the operator sees it.
struct RelayedContact {
    std::string call, band, mode;
};

// The contacts a log holds that carry a field (none for a log of a header only).
// `size` says the file's size; nothing when it cannot be opened.
std::optional<std::uint64_t> CountContacts(DeliveryFiles& files,
                                           const std::string& path,
                                           std::uint64_t* size = nullptr);

class Courier {
public:
    Courier(DeliveryFiles& files, LoggerLink& logger, Clock& clock, Operator& op);
    ~Courier();
    Courier(const Courier&) = delete;
    Courier& operator=(const Courier&) = delete;

    // The decoder's log; the claimed file, its progress and the lock's name follow from it.
    void SetLogPath(const std::string& logPath) { m_log.SetLogPath(logPath); }
    const std::string& LogPath() const { return m_log.LogPath(); }
    const std::string& ClaimPath() const { return m_log.ClaimPath(); }
    const std::string& ProgressPath() const { return m_log.ProgressPath(); }
    // Where the contacts the logger took are copied; empty (as at first): nowhere.
    void SetCopyPath(const std::string& copyPath) { m_strCopyPath = copyPath; }
    const std::string& CopyPath() const { return m_strCopyPath; }

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

    // Contacts waiting in this engine's files that the logger has not taken yet: the rest of the
    // claimed file and the log behind it. Looked at without holding up the decoder.
    std::uint64_t CountWaiting();
    // A problem that lasts, in a few words, while it lasts; empty when there is none.
    std::string Problem() const { return m_strFileProblem.empty() ? m_strLoggerProblem : m_strFileProblem; }

    size_t Port() const { return m_port; }
    bool SendInFlight() const { return !m_outstanding.empty(); }
    bool IsClosed() const { return m_closed; }

private:
    // A handover not ended yet, and the progress as it will stand once it has been recorded.
    struct Outstanding {
        Progress progress;
        JournalSpot spot;                        // the journal's, once it has been recorded
        Progress before;                         // as it stood before it, for a copy that is not written
        std::uint64_t textFrom = 0, textTo = 0;  // its text in the claimed log, for the copy
        RelayedContact contact;
    };

    void Advance();
    bool ReadLogFile();
    bool SendRecord();
    void TakeResults();
    void Settle(const Outstanding& handover, const HandoverResult& result);

    bool OpenClaimedLog();
    bool ClaimLog();
    bool OpenProgress(std::uint64_t claimedSize, LogReader::Start& start);
    struct CountedRecord {
        bool valid = false;  // none: a fresh journal
        Progress progress;
        bool older = false;                // the journal's older record, the newest passed over
        std::optional<Progress> verified;  // as the disk holds it, with the copy that holds it
    };
    bool ChooseRecord(DecodedProgress& found, std::uint64_t claimedSize, CountedRecord& counted);
    bool GoOnFrom(const DecodedProgress& found, const CountedRecord& counted);
    bool BeginFresh();
    bool RemoveLeftoverProgress();
    bool WriteProgress(bool flush);
    bool WriteOwedCopy();
    bool FlushCopy();
    void FlushProgress();
    void CloseLogFile();
    void CloseFiles();
    void PutBackEmptyLog();
    void ReportCopyFailure(const FileResult& result);
    void ReportProgressFailure(const FileResult& result);
    void ReportOnce(const std::string& message);
    void ReportFileError(const std::string& action, const std::string& path, const FileResult& result);
    void ReportFailure(const std::string& message, const FileResult& result, const std::string& inBrief);
    std::uint64_t CountCached(const std::string& path, std::uint64_t (&cache)[3]);

    DeliveryFiles& m_files;
    LoggerLink& m_logger;
    const size_t m_port;  // this engine's, at the logger
    Clock& m_clock;
    Operator& m_operator;

    std::string m_strCopyPath;  // the copy of what the logger took; empty: none
    ClaimedLog m_log;
    ProgressJournal m_journal;
    SentCopy m_copy;
    std::unique_ptr<LogReader> m_reader;  // the claimed log is open while there is one
    Progress m_progress;                  // as last recorded, or waiting to be
    bool m_unrecorded = false;            // m_progress is not on the disk yet
    bool m_atEnd = false;
    bool m_leftDurable = false;  // this engine closed the claimed log with all of it on the disk

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
    std::string m_strLastReport;     // the last problem told, so that it is told only once
    std::string m_strFileProblem;    // a file operation failing for ticks on end, in brief
    std::string m_strLoggerProblem;  // the logger refusing or not answering, in brief
    // The claimed file's and the log's size, a check of their last bytes, and contacts, last counted.
    std::uint64_t m_claimCount[3] = {~0ull, 0, 0};
    std::uint64_t m_logCount[3] = {~0ull, 0, 0};
};

}  // namespace qsoferry
