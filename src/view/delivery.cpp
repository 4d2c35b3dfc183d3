// The claimed log and its delivery progress: what makes delivery exactly-once across a logger that
// goes away, a full disk, and a bridge that ends at any instant.
//
// Beside the claimed file lies its progress file (progress_record.h): the resume offset after the
// last contact the logger took, and how many it took. It is written after every send and flushed
// to the disk every kFlushEveryContacts sends and whenever delivery pauses. At each tick, and after
// a restart, delivery resumes after the last contact on record; so a killed bridge sends at most
// the contact in flight again, and a power cut at most the contacts since the last flush. The
// claimed file goes only once all its contacts are delivered: first the file, then its progress.
#include <cstdio>

#include "relay/text.h"
#include "view/qsoferry_view.h"

namespace qsoferry {
namespace {

std::string Hex(std::uint32_t value) {
    char text[9];
    std::snprintf(text, sizeof text, "%08x", static_cast<unsigned>(value));
    return text;
}

}  // namespace

// Whichever bridge takes the lock first delivers from this log for as long as it runs; another
// one started beside it only shows the lamps, and takes over when the first ends.
bool CQsoferryView::TakeDeliveryLock() {
    if (!m_bDeliveryLock) m_bDeliveryLock = m_platform.TryLock(m_strLockName);
    return m_bDeliveryLock;
}

bool CQsoferryView::OpenClaimedLog() {
    if (!TakeDeliveryLock()) return false;
    std::uint64_t size = 0;
    FileResult opened = m_platform.OpenFile(m_strClaimPath, FileAccess::kRead, m_claim.file, size);
    if (opened.status == FileStatus::kNotFound) {
        RemoveLeftoverProgress();
        if (!ClaimLog()) return false;
        opened = m_platform.OpenFile(m_strClaimPath, FileAccess::kRead, m_claim.file, size);
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
    // The window keeps answering while a long file is read.
    m_claim.reader->beforeDataLine = [this] { DrainMessageQueue(); };
    return true;
}

// Moves the log to the claim path, when there is a log and a logger, and this bridge delivers.
bool CQsoferryView::ClaimLog() {
    if (!m_platform.CanOpenForReading(m_strLogPath)) return false;
    FileResult moved = m_platform.MoveFileNoReplace(m_strLogPath, m_strClaimPath);
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
void CQsoferryView::RemoveLeftoverProgress() {
    FileHandle file = kNoFile;
    std::uint64_t size = 0;
    if (!m_platform.OpenFile(m_strProgressPath, FileAccess::kRead, file, size).ok()) return;
    char bytes[2 * kProgressSlotSize];
    size_t got = 0;
    m_platform.ReadFileAt(file, 0, bytes, sizeof bytes, got);
    m_platform.CloseFile(file);
    DecodedProgress decoded = DecodeProgress(std::string_view(bytes, got));
    if (decoded.status != DecodedProgress::Status::kValid || !decoded.progress.complete) {
        ReportOnce("The delivery progress " + m_strProgressPath +
                   " was left without its log file; contacts in that file may not have reached the logger.");
    }
    m_platform.RemoveFile(m_strProgressPath);
}

// Opens (or creates) the progress of the claimed file and says where reading starts. Nothing is
// sent unless the progress can be written.
bool CQsoferryView::OpenProgress(std::uint64_t claimedSize, LogReader::Start& start) {
    std::uint64_t size = 0;
    FileResult opened = m_platform.OpenFile(m_strProgressPath, FileAccess::kReadWrite, m_claim.progressFile, size);
    if (!opened.ok()) {
        ReportFileError("open", m_strProgressPath, opened);
        return false;
    }
    char bytes[2 * kProgressSlotSize];
    size_t got = 0;
    if (size <= sizeof bytes) m_platform.ReadFileAt(m_claim.progressFile, 0, bytes, sizeof bytes, got);
    DecodedProgress decoded = DecodeProgress(size <= sizeof bytes ? std::string_view(bytes, got) : "garbage");
    m_claim.safeSlot = decoded.slot;
    if (m_unwritten && (decoded.status != DecodedProgress::Status::kValid ||
                        m_unwritten->sequence > decoded.progress.sequence)) {
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
        m_platform.CloseFile(m_claim.progressFile);
        m_claim.progressFile = kNoFile;
        m_platform.RemoveFile(m_strProgressPath);
        opened = m_platform.OpenFile(m_strProgressPath, FileAccess::kReadWrite, m_claim.progressFile, size);
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
        // that cannot be written stops delivery before it begins.
        m_claim.progress = Progress{1, 0, 0, false};
        m_claim.safeSlot = -1;
        m_claim.unrecorded = true;
        if (!WriteProgress(false)) return false;
    }
    start = {m_claim.progress.offset, m_claim.progress.contacts};
    return true;
}

// Writes m_claim.progress into the slot that does not hold the last flushed record.
bool CQsoferryView::WriteProgress(bool flush) {
    int slot = m_claim.safeSlot == 0 ? 1 : 0;
    FileResult written =
        m_platform.WriteFileAt(m_claim.progressFile, static_cast<std::uint64_t>(slot) * kProgressSlotSize,
                               EncodeProgressSlot(m_claim.progress), flush);
    if (!written.ok()) {
        m_unwritten = m_claim.progress;
        m_claim.unrecorded = true;
        ReportOnce("Cannot write the delivery progress " + m_strProgressPath + ": " + written.reason +
                   ". No contact is sent until it can be written.");
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

bool CQsoferryView::ReadyToSend() {
    return !m_claim.unrecorded || WriteProgress(true);
}

void CQsoferryView::RecordDelivery() {
    const LogReader& reader = *m_claim.reader;
    m_claim.progress = {m_claim.progress.sequence + 1, reader.ResumeOffset(), reader.Contacts(), false};
    WriteProgress(++m_claim.sinceFlush >= kFlushEveryContacts);
}

void CQsoferryView::FlushProgress() {
    if (m_claim.progressFile != kNoFile && (m_claim.sinceFlush > 0 || m_claim.unrecorded)) WriteProgress(true);
}

// Ends this cycle's work on the claimed file: the progress goes to the disk, and a file whose
// contacts have all been delivered is removed, and its progress after it.
void CQsoferryView::CloseLogFile() {
    if (!m_claim.reader && m_claim.file == kNoFile && m_claim.progressFile == kNoFile) return;
    bool delivered = m_claim.atEnd;
    if (delivered) {
        // Said first, so that a file whose removal fails is never sent again. No flush: the file
        // goes next, and a power cut that undid that would only repeat what the last flush allows.
        // All are delivered whether or not this can be written: the file goes either way.
        m_claim.progress.sequence++;
        m_claim.progress.complete = true;
        WriteProgress(false);
    } else {
        FlushProgress();  // delivery pauses with contacts left: what was delivered goes on the disk
    }
    m_platform.CloseFile(m_claim.file);
    m_platform.CloseFile(m_claim.progressFile);
    m_claim = ClaimedLog();
    if (!delivered) return;

    FileResult removed = m_platform.RemoveFile(m_strClaimPath);
    if (!removed.ok() && removed.status != FileStatus::kNotFound) {
        // Nothing is sent again: the progress says all are delivered. Tried again every tick; new
        // contacts wait in the log meanwhile, so a lasting failure is told even when it is only
        // another program holding the file (an antivirus, a backup).
        if (removed.status != FileStatus::kBusy || ++m_nRemoveFailures == kLastingFailureTicks) {
            ReportOnce("Cannot delete " + m_strClaimPath + ": " + removed.reason);
        }
        return;
    }
    m_nRemoveFailures = 0;
    m_platform.RemoveFile(m_strProgressPath);
    m_strLastReport.clear();
}

// An empty log stays where it was. Nothing is held open while the box waits; ticks meanwhile are
// skipped.
void CQsoferryView::PutBackEmptyLog() {
    m_platform.CloseFile(m_claim.file);
    m_platform.CloseFile(m_claim.progressFile);
    m_claim = ClaimedLog();
    m_platform.RemoveFile(m_strProgressPath);
    if (!m_platform.MoveFileNoReplace(m_strClaimPath, m_strLogPath).ok()) {
        m_platform.RemoveFile(m_strClaimPath);  // a new log took its place; this one held nothing
    }
    m_platform.ShowMessage(kSourceEmptyText);
}

void CQsoferryView::ReportOnce(const std::string& message) {
    if (message == m_strLastReport) return;
    m_strLastReport = message;
    m_platform.ShowMessage(message);
}

void CQsoferryView::ReportFileError(const std::string& action, const std::string& path, const FileResult& result) {
    // A file that vanished is nobody's fault, and a sharing conflict with the decoder is expected:
    // both are simply tried again at the next tick.
    if (result.status == FileStatus::kNotFound || result.status == FileStatus::kBusy) return;
    ReportOnce("Cannot " + action + " " + path + ": " + result.reason);
}

void CQsoferryView::SetLogPath(const std::string& logPath) {
    m_strLogPath = logPath;
    m_strClaimPath = logPath + ".qsoferry";
    m_strProgressPath = m_strClaimPath + ".progress";
    m_strLockName = "Qsoferry delivery " + Hex(Crc32(text::ToUpper(logPath)));
}

}  // namespace qsoferry
