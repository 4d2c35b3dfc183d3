// The delivery engine's files: claiming and opening a log with its progress and its copy, writing
// what the window's thread writes, and ending the work on a claimed log.
#include "relay/courier.h"

namespace qsoferry {

bool Courier::OpenClaimedLog() {
    if (!m_log.TakeLock()) return false;
    std::uint64_t size = 0;
    FileResult opened = m_log.Open(size);
    if (opened.status == FileStatus::kNotFound) {
        if (!RemoveLeftoverProgress() || !ClaimLog()) return false;
        opened = m_log.Open(size);
    }
    if (!opened.ok()) {
        ReportFileError("open", ClaimPath(), opened);
        return false;
    }
    if (!m_strCopyPath.empty()) {
        FileResult copy = m_copy.Open(m_strCopyPath);
        if (!copy.ok()) {
            ReportCopyFailure(copy);
            CloseFiles();
            return false;
        }
    }
    LogReader::Start start;
    if (!OpenProgress(size, start)) {
        CloseFiles();
        return false;
    }
    m_reader = std::make_unique<LogReader>(start);
    m_reader->beforeDataLine = [this] { m_operator.BetweenLines(); };
    return true;
}

bool Courier::ClaimLog() {
    FileResult moved = m_log.Claim();
    if (!moved.ok()) {
        // Busy: the decoder is writing it, maybe creating it this very moment. Next tick.
        ReportFileError("move", LogPath(), moved);
        return false;
    }
    m_unwritten.reset();
    return true;
}

// A progress file whose claimed file is gone: the bridge ended between removing the one and the
// other. One that says its file was not fully delivered means the file was taken away by hand.
// Until it is gone no log is claimed: it would be taken for the new file's progress.
bool Courier::RemoveLeftoverProgress() {
    FileResult read;
    DecodedProgress decoded = PeekProgress(m_files, ProgressPath(), read);
    if (read.status == FileStatus::kNotFound) return true;
    if (!read.ok()) {
        ReportFileError("read", ProgressPath(), read);
        return false;
    }
    FileResult removed = m_files.RemoveFile(ProgressPath());
    if (!removed.ok() && removed.status != FileStatus::kNotFound) {
        ReportFileError("delete", ProgressPath(), removed);
        return false;
    }
    if (decoded.status != DecodedProgress::Status::kValid || !decoded.progress.complete) {
        ReportOnce("The delivery progress " + ProgressPath() +
                   " was left without its log file; contacts in that file may not have reached the logger.");
    }
    return true;
}

// Opens (or creates) the progress of the claimed file and says where reading starts. Nothing is
// sent unless the progress can be written.
bool Courier::OpenProgress(std::uint64_t claimedSize, LogReader::Start& start) {
    DecodedProgress found;
    FileResult opened = m_journal.Open(ProgressPath(), found);
    if (!opened.ok()) {
        ReportFileError("open", ProgressPath(), opened);
        return false;
    }
    CountedRecord counted;
    if (!ChooseRecord(found, claimedSize, counted)) return false;
    if (!(counted.valid ? GoOnFrom(found, counted) : BeginFresh())) return false;
    start = {m_progress.offset, m_progress.contacts};
    return true;
}

// Which record counts. A power cut that kept a record and not the copy it counts on: the older
// record counts, whose copy was flushed before it; the contacts after it go again. A delivery this
// bridge made but could not write down yet is newer than the disk. A damaged journal is emptied:
// a repeat is better than a loss, and the file goes again from its first contact.
bool Courier::ChooseRecord(DecodedProgress& found, std::uint64_t claimedSize, CountedRecord& counted) {
    using Status = DecodedProgress::Status;
    if (found.status == Status::kValid && !m_copy.Holds(found.progress)) {
        counted.older = found.olderValid && m_copy.Holds(found.older);
        if (!counted.older) found.status = Status::kDamaged;
    }
    counted.progress = counted.older ? found.older : found.progress;
    counted.progress.sequence = found.progress.sequence;  // the next record is newer than either
    if (found.status == Status::kValid) counted.verified = counted.progress;
    if (m_unwritten && (found.status != Status::kValid || m_unwritten->sequence > counted.progress.sequence)) {
        found.status = Status::kValid;
        counted.progress = *m_unwritten;
        m_unrecorded = true;
    }
    const Progress& p = counted.progress;
    if (found.status == Status::kValid && (p.offset > claimedSize || p.owedTo > claimedSize)) {
        found.status = Status::kDamaged;
        counted.verified.reset();
    }
    counted.valid = found.status == Status::kValid;
    if (found.status != Status::kDamaged) return true;
    ReportOnce("The delivery progress " + ProgressPath() +
               " does not fit its log file; its contacts are sent again from the first.");
    FileResult emptied = m_journal.Empty();
    if (!emptied.ok()) ReportFileError("open", ProgressPath(), emptied);
    return emptied.ok();
}

// Delivery goes on after the record that counts. What it counts on is put on the disk first (the
// copy, then the journal as it stands), before anything goes into the other slot: the bridge
// before may have ended with it only in the system's cache.
bool Courier::GoOnFrom(const DecodedProgress& found, const CountedRecord& counted) {
    m_progress = counted.progress;
    m_atEnd = counted.progress.complete;  // only its removal is left to do
    if (m_copy.IsOpen()) {
        FileResult begun = m_copy.Begin(counted.verified ? &*counted.verified : nullptr, m_progress);
        if (!begun.ok()) ReportCopyFailure(begun);
        if (!begun.ok() || !FlushCopy()) return false;
    }
    FileResult kept = m_journal.Keep(found, counted.older, m_leftDurable && !m_unrecorded);
    if (!kept.ok()) {
        ReportProgressFailure(kept);
        return false;
    }
    m_unrecorded = m_unrecorded || counted.progress.owedTo != 0;
    return true;
}

// A fresh journal: its first record is written before any contact is sent, so that a progress
// that cannot be written stops delivery before it begins.
bool Courier::BeginFresh() {
    m_progress = Progress{1, 0, 0, false};
    if (m_copy.IsOpen()) {
        FileResult begun = m_copy.Begin(nullptr, m_progress);
        if (!begun.ok()) {
            ReportCopyFailure(begun);
            return false;
        }
    }
    FileResult written = m_journal.Begin(m_progress);
    if (!written.ok()) {
        ReportProgressFailure(written);
        return false;
    }
    m_unrecorded = false;
    return true;
}

// Writes m_progress into the slot that does not hold the last flushed record. A contact the copy
// lacks goes into the copy first, and a record is flushed only once the copy is: failing, the
// record still goes (unflushed, saying what the copy lacks), and false says that nothing may be
// sent. Each record written is newer than every one before it: a record written again (once the
// copy has what it lacked) must never tie with the one that still owes the copy.
bool Courier::WriteProgress(bool flush) {
    ++m_progress.sequence;
    bool copied = WriteOwedCopy();
    if (copied && flush) copied = FlushCopy();
    FileResult written = m_journal.Write(m_progress, flush && copied);
    if (!written.ok()) {
        m_unwritten = m_progress;
        m_unrecorded = true;
        ReportProgressFailure(written);
        return false;
    }
    m_unwritten.reset();
    m_unrecorded = !copied;  // written again, copy first, before anything more goes
    return copied;
}

// A contact the logger took whose copy could not be written: it goes at the copy's end now, read
// from the claimed log.
bool Courier::WriteOwedCopy() {
    if (m_progress.owedTo == 0) return true;
    bool textRead = true;
    FileResult result =
        m_copy.IsOpen() ? m_copy.Append(m_log.Handle(), m_progress.owedFrom, m_progress.owedTo, m_progress, textRead)
                        : FileResult{FileStatus::kNotFound, ""};
    if (!result.ok()) {
        if (textRead) {
            ReportCopyFailure(result);
        } else {
            ReportFileError("read", ClaimPath(), result);
        }
        return false;
    }
    m_progress.owedFrom = m_progress.owedTo = 0;
    return true;
}

// Puts the copy on the disk up to the next sector boundary, so that nothing written later touches
// what is flushed. Failing, the records keep counting on the bytes since the last flush, and none
// of them may be flushed.
bool Courier::FlushCopy() {
    FileResult flushed = m_copy.Flush(m_progress);
    if (!flushed.ok()) ReportCopyFailure(flushed);
    return flushed.ok();
}

// Only with no handover outstanding: the shell writes their records meanwhile.
void Courier::FlushProgress() {
    if (!m_outstanding.empty() || m_journal.Handle() == kNoFile) return;
    if (m_unrecorded) {
        WriteProgress(true);
    } else if (m_journal.Unflushed() && FlushCopy()) {
        FileResult flushed = m_journal.Flush();
        if (!flushed.ok()) ReportProgressFailure(flushed);
    }
}

// Ends the work on the claimed file for now: the progress goes to the disk, and a file whose
// contacts have all been delivered is removed, and its progress after it. It ends only once the
// copy has every contact on the disk: otherwise it pauses, and is tried again at the next tick.
void Courier::CloseLogFile() {
    m_logger.Done(m_port);
    m_contactWaiting = false;  // read again from the progress next time
    bool stopped = m_stopping;
    m_stopping = false;
    if (!m_reader && !m_log.IsOpen() && m_journal.Handle() == kNoFile) return;
    bool delivered = m_atEnd && !stopped && (!m_unrecorded || WriteProgress(false)) && FlushCopy();
    if (delivered) {
        // Said first, and flushed, so that a file whose removal fails is never sent again, and a
        // power cut between the two removals leaves a progress that says all were delivered,
        // not one that warns of contacts lost. All are delivered whether or not this can be
        // written: the file goes either way.
        m_progress.complete = true;
        WriteProgress(true);
    } else {
        FlushProgress();  // delivery pauses with contacts left: what was delivered goes on the disk
    }
    const bool durable = !m_unrecorded && !m_journal.Unflushed();
    CloseFiles();
    m_leftDurable = durable;
    if (!delivered) return;

    FileResult removed = m_log.Remove();
    if (!removed.ok()) {
        // Nothing is sent again: the progress says all are delivered, and stays until the file is
        // surely gone (one said to be missing is looked for again at the next tick). Tried again
        // every tick; new contacts wait in the log meanwhile, so a lasting failure is told even
        // when it is only another program holding the file (an antivirus, a backup).
        ReportFileError("delete", ClaimPath(), removed);
        return;
    }
    m_strLastReport.clear();
}

void Courier::CloseFiles() {
    m_log.Close();
    m_journal.Close();
    m_copy.Close();
    m_reader.reset();
    m_leftDurable = false;
    m_progress = Progress();
    m_unrecorded = false;
    m_atEnd = false;
}

// An empty log stays where it was. Nothing is held open while the operator reads the message.
void Courier::PutBackEmptyLog() {
    CloseFiles();
    m_log.PutBack();
    m_operator.Tell(kSourceEmptyText);
}

}  // namespace qsoferry
