#include "relay/courier.h"

#include <algorithm>
#include <cstdio>

#include "relay/export_record.h"
#include "relay/text.h"

namespace qsoferry {
namespace {

std::string Hex(std::uint32_t value) {
    char text[9];
    std::snprintf(text, sizeof text, "%08x", static_cast<unsigned>(value));
    return text;
}

}  // namespace

Courier::Courier(DeliveryFiles& files, LoggerLink& logger, Clock& clock, Operator& op)
    : m_files(files), m_logger(logger), m_port(logger.AddPort()), m_clock(clock), m_operator(op) {}

Courier::~Courier() {
    if (!m_advancing && !m_closed && m_outstanding.empty()) CloseLogFile();
    if (m_bDeliveryLock) m_files.Unlock(m_strLockName);
}

void Courier::SetLogPath(const std::string& logPath) {
    m_strLogPath = logPath;
    m_strClaimPath = logPath + ".qsoferry";
    m_strProgressPath = m_strClaimPath + ".progress";
    std::optional<std::string> spelling = m_files.LegacySpelling(logPath);
    m_strLockName = "Qsoferry delivery " + Hex(Crc32(text::ToUpper(spelling ? *spelling : logPath)));
}

// Poll cycle -------------------------------------------------------------------------------------

void Courier::Tick(LoggerId logger) {
    m_loggerId = logger;
    if (m_closed) return;
    m_failingTicks = m_failedThisTick ? m_failingTicks + 1 : 0;
    m_failedThisTick = false;
    if (!m_outstanding.empty() && !m_unansweredTold && m_clock.MonotonicMs() - m_sendStartMs >= kUnansweredNoticeMs) {
        m_unansweredTold = true;
        m_operator.Tell(
            "DXbase has not taken the last contact for a minute: it is busy or hangs. Qsoferry waits for it; "
            "nothing is lost, and the contacts go on as soon as DXbase answers.");
    }
    Advance();
}

// Hands contacts over while there is room behind the one in flight. Without a logger, or while the
// session may end, the log waits.
void Courier::Advance() {
    if (m_advancing || m_closed) return;
    m_advancing = true;
    while (m_outstanding.size() < kOutstandingHandovers && !m_stopping && !m_ending && !m_closed &&
           m_loggerId != kNoLogger) {
        if (!m_contactWaiting && !(m_contactWaiting = ReadLogFile())) break;
        // Closing or ending while the contact was read: it goes at the next start. A record still
        // to be written goes first, or nothing more goes; it is written only with nothing
        // outstanding, since the shell writes the records of the handovers.
        if (m_closed || m_ending || m_stopping) break;
        if (m_claim.unrecorded && (!m_outstanding.empty() || !WriteProgress(true))) break;
        SendRecord();
    }
    m_advancing = false;
    if (m_outstanding.empty()) CloseLogFile();
}

void Courier::SendDone() {
    if (m_closed) return;
    TakeResults();
    if (!m_stopping) {
        Advance();
    } else if (m_outstanding.empty() && !m_advancing) {
        CloseLogFile();  // the rest goes from the next tick on
    }
}

void Courier::TakeResults() {
    while (!m_outstanding.empty()) {
        std::optional<HandoverResult> result = m_logger.TakeResult(m_port);
        if (!result) return;
        Outstanding handover = m_outstanding.front();
        m_outstanding.pop_front();
        Settle(handover, *result);
    }
}

void Courier::Settle(const Outstanding& handover, const HandoverResult& result) {
    m_unansweredTold = false;
    m_sendStartMs = m_clock.MonotonicMs();  // the one behind it goes now
    switch (result.sent) {
        case SendResult::kDelivered:
            m_claim.progress = handover.progress;
            if (!result.recorded.ok()) {
                m_unwritten = handover.progress;
                m_claim.unrecorded = true;
                m_stopping = true;
                ReportFailure("Cannot write the delivery progress " + m_strProgressPath + ": " +
                                  result.recorded.reason + ". No contact is sent until it can be written.",
                              result.recorded);
                return;
            }
            m_unwritten.reset();
            m_claim.unrecorded = false;
            m_claim.safeSlot = handover.safeSlot;
            m_claim.sinceFlush = handover.sinceFlush;
            return;
        case SendResult::kRefused:
            // Nothing is lost: the contact waits, and goes once the logger takes messages. Said
            // once the engine has stopped: the shell's handlers run while the operator reads it.
            m_stopping = true;
            ReportOnce(
                "DXbase does not accept contacts from Qsoferry: it runs with higher rights (as administrator). "
                "Start DXbase normally, or Qsoferry as administrator too. The contacts wait until then.");
            return;
        case SendResult::kGone:  // this contact goes when the logger is back
            m_loggerId = kNoLogger;
            m_stopping = true;
            return;
        case SendResult::kNotSent:  // the one before it did not get through
            m_stopping = true;
            return;
    }
}

// Reads the next contact of the claimed file into the record, claiming and positioning it first.
bool Courier::ReadLogFile() {
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
                if (m_closed) return false;
                size_t room = 0;
                char* space = reader.Space(room);
                size_t got = 0;
                FileResult result = m_files.ReadFileAt(m_claim.file, reader.InputOffset(), space,
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

// Composes the export of the contact read last, the frequency left out as the operator chose at
// this moment, and hands it over with the record that will say it was delivered: written into the
// slot that does not hold the last flushed record, after those handed over before it.
void Courier::SendRecord() {
    m_contactWaiting = false;
    Handover handover;
    handover.logger = m_loggerId;
    handover.marker = COPYDATA_QSO;
    ComposeExport(m_record, m_operator.LeaveOutFrequency(), handover.bytes);

    const Outstanding before = m_outstanding.empty()
                                   ? Outstanding{m_claim.progress, m_claim.safeSlot, m_claim.sinceFlush}
                                   : m_outstanding.back();
    const LogReader& reader = *m_claim.reader;
    Outstanding next;
    next.progress = {before.progress.sequence + 1, reader.ResumeOffset(), reader.Contacts(), false};
    const int slot = before.safeSlot == 0 ? 1 : 0;
    handover.flush = before.sinceFlush + 1 >= kFlushEveryContacts;
    next.safeSlot = handover.flush ? slot : before.safeSlot;
    next.sinceFlush = handover.flush ? 0 : before.sinceFlush + 1;
    handover.recordFile = m_claim.progressFile;
    handover.recordAt = ProgressSlotOffset(slot);
    handover.record = EncodeProgressSlot(next.progress);

    if (m_outstanding.empty()) {
        m_sendStartMs = m_clock.MonotonicMs();
        m_unansweredTold = false;
    }
    m_outstanding.push_back(next);
    m_logger.BeginSend(m_port, handover);
}

// End of session and of the program ------------------------------------------------------------

void Courier::PauseForSessionEnd() {
    m_ending = true;
    m_logger.DropWaiting(m_port);  // only this engine's: another's is for it to drop
    FlushProgress();               // with nothing outstanding; else once the one in flight has ended
}

void Courier::ResumeAfterCancelledSessionEnd() {
    m_ending = false;
}

void Courier::Close(std::uint64_t untilMs) {
    if (m_closed) return;
    m_ending = true;
    m_logger.DropWaiting(m_port);
    // A logger that answers in time gets nothing twice; one that does not may get the contact in
    // flight again at the next start.
    for (std::uint64_t now; m_logger.Sending(m_port) && (now = m_clock.MonotonicMs()) < untilMs;) {
        if (!m_logger.AwaitSent(static_cast<unsigned>(untilMs - now))) break;
    }
    // Nothing more happens. What the sender has delivered and recorded counts, and goes on the
    // disk. A handover still with the sender keeps the files open and untouched: its record may
    // still be written, and it goes again at the next start if it is not.
    m_closed = true;
    TakeResults();
    if (!m_outstanding.empty()) return;
    if (m_advancing) {
        FlushProgress();  // the file is closed once the reading on the stack has ended
    } else {
        CloseLogFile();
    }
}

// The claimed log and its progress ------------------------------------------------------------------

// Whichever bridge takes the lock first delivers from this log for as long as it runs; another
// one started beside it only shows the lamps, and takes over when the first ends.
bool Courier::TakeDeliveryLock() {
    if (!m_bDeliveryLock) m_bDeliveryLock = m_files.TryLock(m_strLockName);
    return m_bDeliveryLock;
}

bool Courier::OpenClaimedLog() {
    if (!TakeDeliveryLock()) return false;
    std::uint64_t size = 0;
    FileResult opened = m_files.OpenFile(m_strClaimPath, FileAccess::kRead, m_claim.file, size);
    if (opened.status == FileStatus::kNotFound) {
        if (!RemoveLeftoverProgress() || !ClaimLog()) return false;
        opened = m_files.OpenFile(m_strClaimPath, FileAccess::kRead, m_claim.file, size);
    }
    if (!opened.ok()) {
        ReportFileError("open", m_strClaimPath, opened);
        return false;
    }
    LogReader::Start start;
    if (!OpenProgress(size, start)) {
        CloseLogFile();
        return false;
    }
    m_claim.reader = std::make_unique<LogReader>(start);
    m_claim.reader->beforeDataLine = [this] { m_operator.BetweenLines(); };
    return true;
}

// Moves the log to the claim path, when there is a log.
bool Courier::ClaimLog() {
    if (!m_files.CanOpenForReading(m_strLogPath)) return false;
    FileResult moved = m_files.MoveFileNoReplace(m_strLogPath, m_strClaimPath);
    if (!moved.ok()) {
        // Busy: the decoder is writing it, maybe creating it this very moment. Next tick.
        ReportFileError("move", m_strLogPath, moved);
        return false;
    }
    m_unwritten.reset();
    return true;
}

// A progress file whose claimed file is gone: the bridge ended between removing the one and the
// other. One that says its file was not fully delivered means the file was taken away by hand.
// Until it is gone no log is claimed: it would be taken for the new file's progress.
bool Courier::RemoveLeftoverProgress() {
    FileHandle file = kNoFile;
    std::uint64_t size = 0;
    FileResult opened = m_files.OpenFile(m_strProgressPath, FileAccess::kRead, file, size);
    if (opened.status == FileStatus::kNotFound) return true;
    if (!opened.ok()) {
        ReportFileError("open", m_strProgressPath, opened);
        return false;
    }
    char bytes[kProgressFileMax];
    size_t got = 0;
    FileResult read = m_files.ReadFileAt(file, 0, bytes, sizeof bytes, got);
    m_files.CloseFile(file);
    if (!read.ok()) {
        ReportFileError("read", m_strProgressPath, read);
        return false;
    }
    FileResult removed = m_files.RemoveFile(m_strProgressPath);
    if (!removed.ok() && removed.status != FileStatus::kNotFound) {
        ReportFileError("delete", m_strProgressPath, removed);
        return false;
    }
    DecodedProgress decoded = DecodeProgress(std::string_view(bytes, got));
    if (decoded.status != DecodedProgress::Status::kValid || !decoded.progress.complete) {
        ReportOnce("The delivery progress " + m_strProgressPath +
                   " was left without its log file; contacts in that file may not have reached the logger.");
    }
    return true;
}

// Opens (or creates) the progress of the claimed file and says where reading starts. Nothing is
// sent unless the progress can be written.
bool Courier::OpenProgress(std::uint64_t claimedSize, LogReader::Start& start) {
    std::uint64_t size = 0;
    FileResult opened = m_files.OpenFile(m_strProgressPath, FileAccess::kReadWrite, m_claim.progressFile, size);
    if (!opened.ok()) {
        ReportFileError("open", m_strProgressPath, opened);
        return false;
    }
    char bytes[kProgressFileMax];
    size_t got = 0;
    if (size <= sizeof bytes) {
        // Unread, it would look like no progress at all, and the file would go again from its first
        // contact: nothing goes until it can be read.
        FileResult read = m_files.ReadFileAt(m_claim.progressFile, 0, bytes, sizeof bytes, got);
        if (!read.ok()) {
            ReportFileError("read", m_strProgressPath, read);
            return false;
        }
    }
    DecodedProgress decoded = DecodeProgress(size <= sizeof bytes ? std::string_view(bytes, got) : "garbage");
    m_claim.safeSlot = decoded.slot;
    if (m_unwritten &&
        (decoded.status != DecodedProgress::Status::kValid || m_unwritten->sequence > decoded.progress.sequence)) {
        // A delivery this bridge made but could not write down yet is newer than the disk.
        decoded.status = DecodedProgress::Status::kValid;
        decoded.progress = *m_unwritten;
        m_claim.unrecorded = true;
    }
    if (decoded.status == DecodedProgress::Status::kValid && decoded.progress.offset > claimedSize) {
        decoded.status = DecodedProgress::Status::kDamaged;
    }
    if (decoded.status == DecodedProgress::Status::kDamaged) {
        // A repeat is better than a loss: the file goes again from its first contact.
        ReportOnce("The delivery progress " + m_strProgressPath +
                   " does not fit its log file; its contacts are sent again from the first.");
        m_files.CloseFile(m_claim.progressFile);
        m_claim.progressFile = kNoFile;
        m_files.RemoveFile(m_strProgressPath);
        opened = m_files.OpenFile(m_strProgressPath, FileAccess::kReadWrite, m_claim.progressFile, size);
        if (!opened.ok()) {
            ReportFileError("open", m_strProgressPath, opened);
            return false;
        }
        decoded = DecodedProgress();
    }
    if (decoded.status == DecodedProgress::Status::kValid) {
        m_claim.progress = decoded.progress;
        m_claim.atEnd = decoded.progress.complete;  // only its removal is left to do
    } else {
        // A fresh file: its first record is written before any contact is sent, so that a progress
        // that cannot be written stops delivery before it begins. It goes into slot 1 as well, so
        // that the file has its whole size before its first flush: growing it later would write
        // into the sectors of slot 0, which may then hold the last flushed record.
        m_claim.progress = Progress{1, 0, 0, false};
        m_claim.safeSlot = 0;
        m_claim.unrecorded = true;
        if (!WriteProgress(false)) return false;
        m_claim.safeSlot = -1;
        m_claim.unrecorded = true;
        if (!WriteProgress(false)) return false;
    }
    start = {m_claim.progress.offset, m_claim.progress.contacts};
    return true;
}

// Writes m_claim.progress into the slot that does not hold the last flushed record.
bool Courier::WriteProgress(bool flush) {
    int slot = m_claim.safeSlot == 0 ? 1 : 0;
    FileResult written = m_files.WriteFileAt(m_claim.progressFile, ProgressSlotOffset(slot),
                                             EncodeProgressSlot(m_claim.progress), flush);
    if (!written.ok()) {
        m_unwritten = m_claim.progress;
        m_claim.unrecorded = true;
        ReportFailure("Cannot write the delivery progress " + m_strProgressPath + ": " + written.reason +
                          ". No contact is sent until it can be written.",
                      written);
        return false;
    }
    m_unwritten.reset();
    m_claim.unrecorded = false;
    if (flush) {
        m_claim.safeSlot = slot;
        m_claim.sinceFlush = 0;
    }
    return true;
}

// Only with no handover outstanding: the shell writes their records meanwhile.
void Courier::FlushProgress() {
    if (!m_outstanding.empty() || m_claim.progressFile == kNoFile) return;
    if (m_claim.sinceFlush > 0 || m_claim.unrecorded) WriteProgress(true);
}

// Ends the work on the claimed file for now: the progress goes to the disk, and a file whose
// contacts have all been delivered is removed, and its progress after it.
void Courier::CloseLogFile() {
    m_logger.Done(m_port);
    m_contactWaiting = false;  // read again from the progress next time
    bool stopped = m_stopping;
    m_stopping = false;
    if (!m_claim.reader && m_claim.file == kNoFile && m_claim.progressFile == kNoFile) return;
    bool delivered = m_claim.atEnd && !stopped;
    if (delivered) {
        // Said first, and flushed, so that a file whose removal fails is never sent again, and a
        // power cut between the two removals leaves a progress that says all were delivered,
        // not one that warns of contacts lost. All are delivered whether or not this can be
        // written: the file goes either way.
        m_claim.progress.sequence++;
        m_claim.progress.complete = true;
        WriteProgress(true);
    } else {
        FlushProgress();  // delivery pauses with contacts left: what was delivered goes on the disk
    }
    m_files.CloseFile(m_claim.file);
    m_files.CloseFile(m_claim.progressFile);
    m_claim = ClaimedLog();
    if (!delivered) return;

    FileResult removed = m_files.RemoveFile(m_strClaimPath);
    if (!removed.ok()) {
        // Nothing is sent again: the progress says all are delivered, and stays until the file is
        // surely gone (one said to be missing is looked for again at the next tick). Tried again
        // every tick; new contacts wait in the log meanwhile, so a lasting failure is told even
        // when it is only another program holding the file (an antivirus, a backup).
        ReportFileError("delete", m_strClaimPath, removed);
        return;
    }
    m_files.RemoveFile(m_strProgressPath);
    m_strLastReport.clear();
}

// An empty log stays where it was. Nothing is held open while the operator reads the message.
void Courier::PutBackEmptyLog() {
    m_files.CloseFile(m_claim.file);
    m_files.CloseFile(m_claim.progressFile);
    m_claim = ClaimedLog();
    m_files.RemoveFile(m_strProgressPath);
    if (!m_files.MoveFileNoReplace(m_strClaimPath, m_strLogPath).ok()) {
        m_files.RemoveFile(m_strClaimPath);  // a new log took its place; this one held nothing
    }
    m_operator.Tell(kSourceEmptyText);
}

void Courier::ReportOnce(const std::string& message) {
    if (message == m_strLastReport) return;
    m_strLastReport = message;
    m_operator.Tell(message);
}

void Courier::ReportFileError(const std::string& action, const std::string& path, const FileResult& result) {
    ReportFailure("Cannot " + action + " " + path + ": " + result.reason, result);
}

// A file that vanished is nobody's fault. One that the system refuses, or a full disk, will not
// pass by itself: told at once. Anything else (another program holding the file, a passing I/O
// error) is tried again every tick, and told once it has lasted kLastingFailureTicks ticks.
void Courier::ReportFailure(const std::string& message, const FileResult& result) {
    if (result.status == FileStatus::kNotFound) return;
    m_failedThisTick = true;
    bool lasting = result.status == FileStatus::kDenied || result.status == FileStatus::kFull ||
                   m_failingTicks >= kLastingFailureTicks;
    if (lasting) ReportOnce(message);
}

}  // namespace qsoferry
