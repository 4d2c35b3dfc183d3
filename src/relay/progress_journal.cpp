#include "relay/progress_journal.h"

namespace qsoferry {

FileResult ProgressJournal::Open(const std::string& path, DecodedProgress& found) {
    Close();
    m_path = path;
    m_spot = JournalSpot();
    m_unflushed = false;
    m_short = false;
    std::uint64_t size = 0;
    FileResult opened = m_files.OpenFile(path, FileAccess::kReadWrite, m_file, size);
    if (!opened.ok()) return opened;
    char bytes[kProgressFileMax];
    size_t got = 0;
    if (size <= sizeof bytes) {
        FileResult read = m_files.ReadFileAt(m_file, 0, bytes, sizeof bytes, got);
        if (!read.ok()) {
            Close();
            return read;
        }
    }
    found = DecodeProgress(size <= sizeof bytes ? std::string_view(bytes, got) : "garbage");
    m_short = size < kProgressFileMax;
    return {};
}

// A bridge that ended (a kill, a crash, a close while the logger was busy) may have left its last
// records in the system's cache only. Put on the disk as they stand, the record that counts can be
// taken for the safe one: nothing written next goes into its slot.
FileResult ProgressJournal::Keep(const DecodedProgress& found, bool older, bool durable) {
    FileResult flushed = durable ? FileResult() : m_files.FlushFile(m_file);
    if (!flushed.ok()) return flushed;
    // A journal of the first layout (both records in its first sector) grows with the next record
    // through that sector: that record is flushed as it is written, so that no cut finds the
    // sector half written while a record in it still counts.
    m_spot = {older ? found.olderSlot : found.slot, m_short ? kFlushEveryContacts - 1 : 0};
    return {};
}

// The first record goes into slot 1 as well, so that the file has its whole size before its first
// flush: growing it later would write into the sectors of slot 0, which may then hold the last
// flushed record.
FileResult ProgressJournal::Begin(const Progress& first) {
    for (int slot : {1, 0}) {
        FileResult written = m_files.WriteFileAt(m_file, ProgressSlotOffset(slot), EncodeProgressSlot(first), false);
        if (!written.ok()) return written;
    }
    m_spot = JournalSpot();
    m_unflushed = true;
    m_short = false;
    return {};
}

// A damaged journal goes: a repeat is better than a loss.
FileResult ProgressJournal::Empty() {
    Close();
    m_files.RemoveFile(m_path);
    std::uint64_t size = 0;
    return m_files.OpenFile(m_path, FileAccess::kReadWrite, m_file, size);
}

FileResult ProgressJournal::Write(const Progress& progress, bool flush) {
    flush = flush || m_short;
    const int slot = m_spot.NextSlot();
    FileResult written = m_files.WriteFileAt(m_file, ProgressSlotOffset(slot), EncodeProgressSlot(progress), flush);
    if (!written.ok()) return written;
    if (flush) m_spot = {slot, 0};
    m_unflushed = !flush;
    m_short = m_short && !flush;
    return written;
}

// The newest record written is on the disk: it is the safe one now.
FileResult ProgressJournal::Flush() {
    if (!m_unflushed) return {};
    FileResult flushed = m_files.FlushFile(m_file);
    if (!flushed.ok()) return flushed;
    m_spot = {m_spot.NextSlot(), 0};
    m_unflushed = false;
    return flushed;
}

void ProgressJournal::Close() {
    if (m_file != kNoFile) m_files.CloseFile(m_file);
    m_file = kNoFile;
}

DecodedProgress PeekProgress(DeliveryFiles& files, const std::string& path, FileResult& result) {
    FileHandle file = kNoFile;
    std::uint64_t size = 0;
    result = files.OpenFile(path, FileAccess::kPeek, file, size);
    if (!result.ok()) return {};
    char bytes[kProgressFileMax];
    size_t got = 0;
    result = files.ReadFileAt(file, 0, bytes, sizeof bytes, got);
    files.CloseFile(file);
    if (!result.ok()) return {};
    return DecodeProgress(size <= sizeof bytes ? std::string_view(bytes, got) : "garbage");
}

}  // namespace qsoferry
