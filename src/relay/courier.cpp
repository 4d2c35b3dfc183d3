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

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

}  // namespace

std::string CopyPadding(std::uint64_t end) {
    size_t n = static_cast<size_t>((kCopySector - end % kCopySector) % kCopySector);
    if (n == 0) return {};
    if (n < 2) n += kCopySector;
    return std::string(n - 2, ' ') + "\r\n";
}

std::optional<std::uint64_t> CountContacts(DeliveryFiles& files, const std::string& path, std::uint64_t* size) {
    FileHandle file = kNoFile;
    std::uint64_t length = 0;
    if (!files.OpenFile(path, FileAccess::kPeek, file, length).ok()) return std::nullopt;
    if (size) *size = length;
    LogReader reader;
    QsoRecord record;
    std::uint64_t contacts = 0;
    for (LogReader::Step step; (step = reader.Next(record)) != LogReader::Step::kEnd;) {
        if (step == LogReader::Step::kContact) {
            contacts += record.IsEmpty() ? 0 : 1;
            continue;
        }
        size_t room = 0, got = 0;
        char* space = reader.Space(room);
        if (!files.ReadFileAt(file, reader.InputOffset(), space, room, got).ok()) got = 0;
        reader.Filled(got);
    }
    files.CloseFile(file);
    return contacts;
}

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
        if (m_claim.unrecorded && (!m_outstanding.empty() || !WriteProgress(true))) break;
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
            m_claim.progress = handover.progress;
            if (!result.copied.ok()) {
                // Neither its copy nor its record: the copy goes first whenever the progress is
                // written again, from where the copy stood before it.
                Progress& p = m_claim.progress;
                p.copyFrom = handover.before.copyFrom;
                p.copyEnd = handover.before.copyEnd;
                p.copyCrc = handover.before.copyCrc;
                m_pendingCopy = handover.copy;
                m_unwritten = p;
                m_claim.unrecorded = true;
                m_stopping = true;
                ReportCopyFailure(result.copied);
                return;
            }
            if (!result.recorded.ok()) {
                m_unwritten = handover.progress;
                m_claim.unrecorded = true;
                m_stopping = true;
                ReportFailure("Cannot write the delivery progress " + m_strProgressPath + ": " +
                                  result.recorded.reason + ". No contact is sent until it can be written.",
                              result.recorded, "the delivery progress");
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
// slot that does not hold the last flushed record, after those handed over before it; and with its
// copy, after those handed over before it. False when its text for the copy cannot be read.
bool Courier::SendRecord() {
    std::string copy;
    if (m_claim.copyFile != kNoFile && !CopyText(copy)) return false;
    m_contactWaiting = false;
    Handover handover;
    handover.logger = m_loggerId;
    handover.marker = COPYDATA_QSO;
    ComposeExport(m_record, m_operator.LeaveOutFrequency(), handover.bytes);

    const Outstanding* last = m_outstanding.empty() ? nullptr : &m_outstanding.back();
    const Progress before = last ? last->progress : m_claim.progress;
    const int beforeSlot = last ? last->safeSlot : m_claim.safeSlot;
    const unsigned beforeSinceFlush = last ? last->sinceFlush : m_claim.sinceFlush;
    const LogReader& reader = *m_claim.reader;
    Outstanding next;
    next.before = before;
    next.progress = before;
    next.progress.sequence = before.sequence + 1;
    next.progress.offset = reader.ResumeOffset();
    next.progress.contacts = reader.Contacts();
    next.progress.complete = false;
    const int slot = beforeSlot == 0 ? 1 : 0;
    handover.flush = beforeSinceFlush + 1 >= kFlushEveryContacts;
    next.safeSlot = handover.flush ? slot : beforeSlot;
    next.sinceFlush = handover.flush ? 0 : beforeSinceFlush + 1;
    if (!copy.empty()) {
        handover.copyFile = m_claim.copyFile;
        handover.copyAt = before.copyEnd;
        if (handover.flush) copy += CopyPadding(before.copyEnd + copy.size());
        next.progress.copyEnd = before.copyEnd + copy.size();
        next.progress.copyFrom = handover.flush ? next.progress.copyEnd : before.copyFrom;
        next.progress.copyCrc = handover.flush ? 0 : Crc32(before.copyCrc, copy);
        handover.copy = copy;
        next.copy = std::move(copy);
    }
    handover.recordFile = m_claim.progressFile;
    handover.recordAt = ProgressSlotOffset(slot);
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

// The contact's text as the decoder wrote it, without the white space around it, and a line end.
// Nothing for a contact without text (a log of a header only).
bool Courier::CopyText(std::string& text) {
    const LogReader& reader = *m_claim.reader;
    const std::uint64_t from = reader.RecordStart();
    const std::uint64_t to = std::min<std::uint64_t>(reader.ResumeOffset(), from + kCopyRecordMax);
    std::string_view bytes;
    if (!reader.Held(from, to, bytes)) {
        text.resize(static_cast<size_t>(to - from));
        size_t got = 0;
        FileResult read = m_files.ReadFileAt(m_claim.file, from, text.data(), text.size(), got);
        if (!read.ok()) {
            ReportFileError("read", m_strClaimPath, read);
            return false;
        }
        text.resize(got);
        bytes = text;
    }
    size_t begin = 0, end = bytes.size();
    while (begin < end && IsBlank(bytes[begin]))
        ++begin;
    while (end > begin && IsBlank(bytes[end - 1]))
        --end;
    text = end > begin ? std::string(bytes.substr(begin, end - begin)) + "\r\n" : std::string();
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
    if (!OpenCopy() || !OpenProgress(size, start)) {
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
    FileResult moved = m_files.MoveFileNoReplace(m_strLogPath, m_strClaimPath, false);
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
    if (decoded.status == DecodedProgress::Status::kValid && !CopyHolds(decoded.progress)) {
        // A power cut kept this record and not the copy it counts on: the older record counts,
        // whose copy was flushed before it; the contacts after it go again.
        if (decoded.olderValid && CopyHolds(decoded.older)) {
            decoded.older.sequence = decoded.progress.sequence;
            decoded.progress = decoded.older;
            decoded.slot = decoded.slot == 0 ? 1 : 0;
        } else {
            decoded.status = DecodedProgress::Status::kDamaged;
        }
    }
    std::optional<Progress> verified;
    if (decoded.status == DecodedProgress::Status::kValid) verified = decoded.progress;
    m_claim.safeSlot = decoded.slot;
    if (size <= 2 * kProgressSlotSizeV1 && decoded.slot == 1) {
        // The earlier layout, slot 1 beside slot 0: slot 0 would now run into it. The next record
        // goes a page on, where slot 1 is now.
        m_claim.safeSlot = 0;
    }
    if (m_unwritten &&
        (decoded.status != DecodedProgress::Status::kValid || m_unwritten->sequence > decoded.progress.sequence)) {
        // A delivery this bridge made but could not write down yet is newer than the disk.
        decoded.status = DecodedProgress::Status::kValid;
        decoded.progress = *m_unwritten;
        m_claim.unrecorded = true;
    }
    if (decoded.status == DecodedProgress::Status::kValid && decoded.progress.offset > claimedSize) {
        decoded.status = DecodedProgress::Status::kDamaged;
        verified.reset();
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
        if (!StartCopy(verified ? &*verified : nullptr)) return false;
    } else {
        // A fresh file: its first record is written before any contact is sent, so that a progress
        // that cannot be written stops delivery before it begins. It goes into slot 1 as well, so
        // that the file has its whole size before its first flush: growing it later would write
        // into the sectors of slot 0, which may then hold the last flushed record.
        m_claim.progress = Progress{1, 0, 0, false};
        if (!StartCopy(nullptr)) return false;
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

// Writes m_claim.progress into the slot that does not hold the last flushed record; a copy still to
// be written goes first, and a flushed record only after the copy is flushed.
bool Courier::WriteProgress(bool flush) {
    if (!WritePendingCopy()) return false;
    if (flush) FlushCopy();
    int slot = m_claim.safeSlot == 0 ? 1 : 0;
    FileResult written = m_files.WriteFileAt(m_claim.progressFile, ProgressSlotOffset(slot),
                                             EncodeProgressSlot(m_claim.progress), flush);
    if (!written.ok()) {
        m_unwritten = m_claim.progress;
        m_claim.unrecorded = true;
        ReportFailure("Cannot write the delivery progress " + m_strProgressPath + ": " + written.reason +
                          ". No contact is sent until it can be written.",
                      written, "the delivery progress");
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
    bool delivered = m_claim.atEnd && !stopped && WritePendingCopy();
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
    m_files.CloseFile(m_claim.copyFile);
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
    m_files.CloseFile(m_claim.copyFile);
    m_claim = ClaimedLog();
    m_files.RemoveFile(m_strProgressPath);
    if (!m_files.MoveFileNoReplace(m_strClaimPath, m_strLogPath, false).ok()) {
        m_files.RemoveFile(m_strClaimPath);  // a new log took its place; this one held nothing
    }
    m_operator.Tell(kSourceEmptyText);
}

// The copy ---------------------------------------------------------------------------------------

bool Courier::OpenCopy() {
    if (m_strCopyPath.empty()) return true;
    FileResult opened = m_files.OpenFile(m_strCopyPath, FileAccess::kReadWrite, m_claim.copyFile, m_claim.copySize);
    if (!opened.ok()) {
        ReportCopyFailure(opened);
        return false;
    }
    return true;
}

// The CRC-32 of the copy's bytes from `from` to `to`, read in pieces.
bool Courier::ReadCopy(std::uint64_t from, std::uint64_t to, std::uint32_t& crc) {
    crc = 0;
    char bytes[4096];
    while (from < to) {
        size_t got = 0;
        size_t want = static_cast<size_t>(std::min<std::uint64_t>(sizeof bytes, to - from));
        if (!m_files.ReadFileAt(m_claim.copyFile, from, bytes, want, got).ok() || got == 0) return false;
        crc = Crc32(crc, std::string_view(bytes, got));
        from += got;
    }
    return true;
}

// Whether the copy holds what `progress` counts on. A copy shorter than its flushed part was taken
// away or replaced by the operator: nothing to hold against it.
bool Courier::CopyHolds(const Progress& progress) {
    if (m_claim.copyFile == kNoFile || progress.copyEnd == 0 || m_claim.copySize < progress.copyFrom) return true;
    std::uint32_t crc = 0;
    return progress.copyEnd <= m_claim.copySize && ReadCopy(progress.copyFrom, progress.copyEnd, crc) &&
           crc == progress.copyCrc;
}

// Makes the copy ready for the next contact: a header in a new one, on the disk (to a sector)
// before any contact; a line end after a record a power cut left unended. What it holds since its
// flushed part (the `verified` record's, or all it holds now when nothing counts on it) is what the
// next records count on.
bool Courier::StartCopy(const Progress* verified) {
    if (m_claim.copyFile == kNoFile) return true;
    const std::string header = kCopyHeader + CopyPadding(sizeof kCopyHeader - 1);
    if (m_claim.copySize <= header.size()) {
        // New, or a power cut came while it was being made: made again.
        std::string begun(static_cast<size_t>(m_claim.copySize), '\0');
        size_t got = 0;
        if (!begun.empty()) m_files.ReadFileAt(m_claim.copyFile, 0, begun.data(), begun.size(), got);
        begun.resize(got);
        if (begun != header) {
            FileResult written = m_files.WriteFileAt(m_claim.copyFile, 0, header, true);
            if (!written.ok()) {
                ReportCopyFailure(written);
                return false;
            }
            m_claim.copySize = header.size();
        }
    }
    const std::uint64_t size = m_claim.copySize;
    std::string fix;
    {
        char last = 0;
        size_t got = 0;
        FileResult read = m_files.ReadFileAt(m_claim.copyFile, size - 1, &last, 1, got);
        if (!read.ok()) {
            ReportCopyFailure(read);
            return false;
        }
        if (last != '\n') fix = "\r\n";
    }
    Progress& p = m_claim.progress;
    const bool goesOn = verified && verified->copyEnd != 0 && verified->copyFrom <= size;
    p.copyFrom = goesOn ? verified->copyFrom : size;
    if (!ReadCopy(p.copyFrom, size, p.copyCrc)) {
        ReportCopyFailure({FileStatus::kFailed, "it cannot be read"});
        return false;
    }
    if (!fix.empty()) {
        FileResult written = m_files.WriteFileAt(m_claim.copyFile, size, fix, false);
        if (!written.ok()) {
            ReportCopyFailure(written);
            return false;
        }
        p.copyCrc = Crc32(p.copyCrc, fix);
    }
    p.copyEnd = size + fix.size();
    return true;
}

// A contact the logger took whose copy could not be written: it goes at the copy's end now.
bool Courier::WritePendingCopy() {
    if (!m_pendingCopy) return true;
    if (m_claim.copyFile == kNoFile) return false;
    Progress& p = m_claim.progress;
    FileResult written = m_files.WriteFileAt(m_claim.copyFile, p.copyEnd, *m_pendingCopy, false);
    if (!written.ok()) {
        ReportCopyFailure(written);
        return false;
    }
    p.copyEnd += m_pendingCopy->size();
    p.copyCrc = Crc32(p.copyCrc, *m_pendingCopy);
    m_pendingCopy.reset();
    return true;
}

// Puts the copy on the disk up to the next sector boundary, so that nothing written later touches
// what is flushed. Failing, the record keeps counting on the bytes since the last flush.
void Courier::FlushCopy() {
    Progress& p = m_claim.progress;
    if (m_claim.copyFile == kNoFile || p.copyFrom == p.copyEnd) return;
    const std::string padding = CopyPadding(p.copyEnd);
    FileResult written = m_files.WriteFileAt(m_claim.copyFile, p.copyEnd, padding, true);
    if (!written.ok()) {
        ReportCopyFailure(written);
        return;
    }
    p.copyEnd += padding.size();
    p.copyFrom = p.copyEnd;
    p.copyCrc = 0;
}

void Courier::ReportCopyFailure(const FileResult& result) {
    ReportFailure("Cannot write the copy of the contacts sent, " + m_strCopyPath + ": " + result.reason +
                      ". No contact is sent until it can be written.",
                  result, kCopyFileName);
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

// Counted again only when its size has changed: a claimed file never changes, and the decoder
// only ever adds to its log.
std::uint64_t Courier::CountCached(const std::string& path, std::uint64_t (&cache)[2]) {
    std::uint64_t size = 0;
    FileHandle file = kNoFile;
    if (!m_files.OpenFile(path, FileAccess::kPeek, file, size).ok()) {
        cache[0] = ~0ull;
        return 0;
    }
    m_files.CloseFile(file);
    if (size != cache[0]) {
        std::optional<std::uint64_t> counted = CountContacts(m_files, path, &size);
        cache[0] = counted ? size : ~0ull;
        cache[1] = counted.value_or(0);
    }
    return cache[1];
}

std::uint64_t Courier::CountWaiting() {
    std::uint64_t claimed = CountCached(m_strClaimPath, m_claimCount);
    if (claimed > 0) {
        Progress progress = m_claim.progress;
        if (!m_claim.reader) {
            // Not open here: as its progress says.
            progress = Progress();
            FileHandle file = kNoFile;
            std::uint64_t size = 0;
            char bytes[kProgressFileMax];
            size_t got = 0;
            if (m_files.OpenFile(m_strProgressPath, FileAccess::kPeek, file, size).ok()) {
                if (!m_files.ReadFileAt(file, 0, bytes, sizeof bytes, got).ok()) got = 0;
                m_files.CloseFile(file);
                DecodedProgress decoded = DecodeProgress(std::string_view(bytes, got));
                if (decoded.status == DecodedProgress::Status::kValid) progress = decoded.progress;
            }
        }
        claimed = progress.complete ? 0 : claimed - std::min(claimed, progress.contacts);
    }
    return claimed + CountCached(m_strLogPath, m_logCount);
}

}  // namespace qsoferry
