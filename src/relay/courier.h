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
// The copy: each contact the logger has taken is added, as the decoder wrote it, to a copy beside
// the log (wsjtx_log_sent.adi), by the sender, before the contact's progress record; a contact
// whose copy cannot be written is not on record either, and nothing more goes until both are
// written. The copy is flushed before the progress is, up to a whole sector (padded with a line of
// spaces), so that later writes never touch its flushed part; each record says which bytes of the
// copy it counts on since (see progress_record.h), and a record whose copy did not survive a power
// cut gives way to the older one, whose copy was flushed.
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
// The copy of the contacts handed to the logger, beside each log relayed.
constexpr const char kCopyFileName[] = "wsjtx_log_sent.adi";
constexpr const char kCopyHeader[] =
    "Qsoferry: contacts handed to DXbase\r\n<ADIF_VER:5>3.1.4\r\n<PROGRAMID:8>Qsoferry\r\n<EOH>\r\n";
// The copy's flushed part always ends on a boundary of this many bytes.
constexpr std::uint64_t kCopySector = 512;
// A contact's text is copied up to this many bytes (the decoder's are a few hundred).
constexpr size_t kCopyRecordMax = 1 << 20;

// What takes the copy from `end` to the next boundary of kCopySector bytes: a line of spaces (at
// least a line end, so that the next contact starts a line of its own); nothing at a boundary.
std::string CopyPadding(std::uint64_t end);

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
    void SetLogPath(const std::string& logPath);
    const std::string& LogPath() const { return m_strLogPath; }
    const std::string& ClaimPath() const { return m_strClaimPath; }
    const std::string& ProgressPath() const { return m_strProgressPath; }
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
    // The claimed file being delivered, with its progress.
    struct ClaimedLog {
        FileHandle file = kNoFile;
        FileHandle progressFile = kNoFile;
        FileHandle copyFile = kNoFile;
        std::uint64_t copySize = 0;  // as found when it was opened
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
        Progress before;   // as it stood before it, for a copy that is not written
        std::string copy;  // what goes into the copy
        RelayedContact contact;
    };

    void Advance();
    bool ReadLogFile();
    bool SendRecord();
    void TakeResults();
    void Settle(const Outstanding& handover, const HandoverResult& result);

    bool TakeDeliveryLock();
    bool OpenClaimedLog();
    bool ClaimLog();
    bool OpenProgress(std::uint64_t claimedSize, LogReader::Start& start);
    bool WriteProgress(bool flush);
    bool OpenCopy();
    bool CopyHolds(const Progress& progress);
    bool StartCopy(const Progress* verified);
    bool ReadCopy(std::uint64_t from, std::uint64_t to, std::uint32_t& crc);
    bool CopyText(std::string& text);
    bool WritePendingCopy();
    void FlushCopy();
    void ReportCopyFailure(const FileResult& result);
    void FlushProgress();
    void CloseLogFile();
    void PutBackEmptyLog();
    bool RemoveLeftoverProgress();

    void ReportOnce(const std::string& message);
    void ReportFileError(const std::string& action, const std::string& path, const FileResult& result);
    void ReportFailure(const std::string& message, const FileResult& result, const std::string& inBrief);
    std::uint64_t CountCached(const std::string& path, std::uint64_t (&cache)[2]);

    DeliveryFiles& m_files;
    LoggerLink& m_logger;
    const size_t m_port;  // this engine's, at the logger
    Clock& m_clock;
    Operator& m_operator;

    std::string m_strLogPath;
    std::string m_strClaimPath;     // private name the log is moved to while it is relayed
    std::string m_strProgressPath;  // how far the claimed file's delivery got
    std::string m_strLockName;      // only one bridge at a time delivers from this log
    std::string m_strCopyPath;      // the copy of what the logger took; empty: none
    bool m_bDeliveryLock = false;

    ClaimedLog m_claim;
    QsoRecord m_record;
    bool m_contactWaiting = false;  // m_record holds a contact read and not handed over yet
    std::deque<Outstanding> m_outstanding;
    bool m_stopping = false;                   // a handover failed: the rest waits until the file is reopened
    std::optional<Progress> m_unwritten;       // a delivery whose record could not be written yet
    std::optional<std::string> m_pendingCopy;  // a delivery whose copy could not be written yet
    bool m_failedThisTick = false;
    unsigned m_failingTicks = 0;  // ticks in a row in which a file operation failed

    LoggerId m_loggerId = kNoLogger;  // as found at the last tick
    bool m_advancing = false;         // Advance is on the stack
    std::uint64_t m_sendStartMs = 0;  // when the handover now in flight went
    bool m_unansweredTold = false;
    bool m_ending = false;  // the session may end: nothing new starts
    bool m_closed = false;
    std::string m_strLastReport;                 // the last problem told, so that it is told only once
    std::string m_strFileProblem;                // a file operation failing for ticks on end, in brief
    std::string m_strLoggerProblem;              // the logger refusing or not answering, in brief
    std::uint64_t m_claimCount[2] = {~0ull, 0};  // the claimed file's size and contacts, last counted
    std::uint64_t m_logCount[2] = {~0ull, 0};    // the log's
};

}  // namespace qsoferry
