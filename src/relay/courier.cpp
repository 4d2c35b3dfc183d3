#include "relay/courier.h"

#include "relay/export_record.h"

namespace qsoferry {

Courier::Courier(DeliveryFiles& files, LoggerLink& logger, Clock& clock, Operator& op)
    : m_files(files),
      m_logger(logger),
      m_port(logger.AddPort()),
      m_clock(clock),
      m_operator(op),
      m_log(files),
      m_journal(files),
      m_copy(files) {}

// After a close, or with a handover still with the sender (whose record may still be written),
// the files stay as they are, and the process ends with them.
Courier::~Courier() {
    if (!m_advancing && !m_closed && m_outstanding.empty()) CloseLogFile();
    m_log.Release();
    m_journal.Release();
    m_copy.Release();
}

// Poll cycle -------------------------------------------------------------------------------------

void Courier::Tick(LoggerId logger) {
    m_loggerId = logger;
    if (m_closed) return;
    m_failingTicks = m_failedThisTick ? m_failingTicks + 1 : 0;
    m_failedThisTick = false;
    if (!m_outstanding.empty() && !m_unansweredTold && m_clock.MonotonicMs() - m_sendStartMs >= kUnansweredNoticeMs) {
        m_unansweredTold = true;
        m_strLoggerProblem = "DXbase does not answer";
        m_operator.Tell(
            "DXbase has not taken the last contact for a minute: it is busy or hangs. Qsoferry waits for it; "
            "nothing is lost, and the contacts go on as soon as DXbase answers.");
    }
    Advance();
    if (!m_failedThisTick) m_strFileProblem.clear();  // what failed works again
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
        if (m_unrecorded && (!m_outstanding.empty() || !WriteProgress(true))) break;
        if (!SendRecord()) break;
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
    m_strLoggerProblem.clear();
    m_sendStartMs = m_clock.MonotonicMs();  // the one behind it goes now
    switch (result.sent) {
        case SendResult::kDelivered:
            m_operator.Relayed(handover.contact);
            m_progress = handover.progress;
            if (!result.copied.ok()) {
                // Neither its copy nor its record. Its record is written once nothing is with the
                // sender, saying that the copy lacks it: from where the copy stood before it.
                m_progress.copyFrom = handover.before.copyFrom;
                m_progress.copyEnd = handover.before.copyEnd;
                m_progress.copyCrc = handover.before.copyCrc;
                m_progress.owedFrom = handover.textFrom;
                m_progress.owedTo = handover.textTo;
                m_unwritten = m_progress;
                m_unrecorded = true;
                m_stopping = true;
                if (result.textRead) {
                    ReportCopyFailure(result.copied);
                } else {
                    ReportFileError("read", ClaimPath(), result.copied);
                }
                return;
            }
            if (!result.recorded.ok()) {
                m_unwritten = handover.progress;
                m_unrecorded = true;
                m_stopping = true;
                ReportProgressFailure(result.recorded);
                return;
            }
            m_unwritten.reset();
            m_unrecorded = false;
            m_journal.Recorded(handover.spot);
            return;
        case SendResult::kRefused:
            // Nothing is lost: the contact waits, and goes once the logger takes messages. Said
            // once the engine has stopped: the shell's handlers run while the operator reads it.
            m_stopping = true;
            m_strLoggerProblem = "DXbase refuses contacts: it runs as administrator";
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
    if (!m_reader && !OpenClaimedLog()) return false;
    if (m_atEnd) return false;
    for (;;) {
        switch (m_reader->Next(m_record)) {
            case LogReader::Step::kContact:
                // A stray end-of-record tag holds no contact: DXbase would get a record of nothing.
                if (m_record.IsEmpty()) break;
                return true;
            case LogReader::Step::kEnd:
                if (m_reader->IsEmpty()) {
                    PutBackEmptyLog();
                } else {
                    m_atEnd = true;
                }
                return false;
            case LogReader::Step::kNeedInput: {
                if (m_closed) return false;
                FileResult result = m_log.Fill(*m_reader);
                if (!result.ok()) {
                    ReportFileError("read", ClaimPath(), result);
                    return false;
                }
                break;
            }
        }
    }
}

// Composes the export of the contact read last, the frequency left out as the operator chose at
// this moment, and hands it over with the record that will say it was delivered: written into the
// slot that does not hold the last flushed record, after those handed over before it; and with its
// copy, after those handed over before it. False when its text for the copy cannot be read.
bool Courier::SendRecord() {
    const Outstanding* last = m_outstanding.empty() ? nullptr : &m_outstanding.back();
    Outstanding next;
    next.before = last ? last->progress : m_progress;
    next.progress = next.before;
    std::uint64_t textFrom = 0, textTo = 0;
    std::uint32_t crc = next.progress.copyCrc;
    if (m_copy.IsOpen()) {
        FileResult read = m_log.RecordSpan(*m_reader, textFrom, textTo, crc);
        if (!read.ok()) {
            ReportFileError("read", ClaimPath(), read);
            return false;
        }
    }
    m_contactWaiting = false;
    Handover handover;
    handover.logger = m_loggerId;
    handover.marker = COPYDATA_QSO;
    ComposeExport(m_record, m_operator.LeaveOutFrequency(), handover.bytes);

    const JournalSpot spot = last ? last->spot : m_journal.Spot();
    next.progress.sequence = next.before.sequence + 1;
    next.progress.offset = m_reader->ResumeOffset();
    next.progress.contacts = m_reader->Contacts();
    next.progress.complete = false;
    next.progress.owedFrom = next.progress.owedTo = 0;
    handover.flush = spot.FlushDue();
    next.spot = spot.After(handover.flush);
    if (textTo > textFrom) {
        SentCopy::Write write = SentCopy::Plan(textTo - textFrom, crc, handover.flush, next.progress);
        handover.copyFile = m_copy.Handle();
        handover.copyAt = write.at;
        handover.copyTail = std::move(write.tail);
        handover.textFile = m_log.Handle();
        handover.textFrom = next.textFrom = textFrom;
        handover.textTo = next.textTo = textTo;
    }
    handover.recordFile = m_journal.Handle();
    handover.recordAt = ProgressSlotOffset(spot.NextSlot());
    handover.record = EncodeProgressSlot(next.progress);
    next.contact = {std::string(m_record.call), std::string(BandNameOfCode(m_record.band)), std::string(m_record.mode)};

    if (m_outstanding.empty()) {
        m_sendStartMs = m_clock.MonotonicMs();
        m_unansweredTold = false;
    }
    m_outstanding.push_back(std::move(next));
    m_logger.BeginSend(m_port, handover);
    return true;
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

// Reports ------------------------------------------------------------------------------------------

void Courier::ReportCopyFailure(const FileResult& result) {
    ReportFailure("Cannot write the copy of the contacts sent, " + m_strCopyPath + ": " + result.reason +
                      ". No contact is sent until it can be written.",
                  result, kCopyFileName);
}

void Courier::ReportProgressFailure(const FileResult& result) {
    ReportFailure("Cannot write the delivery progress " + ProgressPath() + ": " + result.reason +
                      ". No contact is sent until it can be written.",
                  result, "the delivery progress");
}

void Courier::ReportOnce(const std::string& message) {
    if (message == m_strLastReport) return;
    m_strLastReport = message;
    m_operator.Tell(message);
}

void Courier::ReportFileError(const std::string& action, const std::string& path, const FileResult& result) {
    ReportFailure("Cannot " + action + " " + path + ": " + result.reason, result,
                  path.substr(path.find_last_of("\\/") + 1));
}

// A file that vanished is nobody's fault. One that the system refuses, or a full disk, will not
// pass by itself: told at once. Anything else (another program holding the file, a passing I/O
// error) is tried again every tick, and told once it has lasted kLastingFailureTicks ticks.
// While it lasts, the form shows it in brief: what could not be written or read, and why.
void Courier::ReportFailure(const std::string& message, const FileResult& result, const std::string& inBrief) {
    if (result.status == FileStatus::kNotFound) return;
    m_failedThisTick = true;
    bool lasting = result.status == FileStatus::kDenied || result.status == FileStatus::kFull ||
                   m_failingTicks >= kLastingFailureTicks;
    if (!lasting) return;
    const char* why = result.status == FileStatus::kFull     ? "the disk is full"
                      : result.status == FileStatus::kDenied ? "access denied"
                      : result.status == FileStatus::kBusy   ? "in use by another program"
                                                             : "it fails";
    m_strFileProblem = "Cannot use " + inBrief + ": " + why;
    ReportOnce(message);
}

}  // namespace qsoferry
