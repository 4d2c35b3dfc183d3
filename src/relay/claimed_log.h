// The claimed log: the decoder's log moved to a private name beside it (".qsoferry") before any
// of it is relayed. The move is atomic on one volume and fails while the decoder has the file open,
// so a contact the decoder logs meanwhile goes into a new log, relayed later. The claimed file is
// only ever read, and stays until every contact in it has reached the logger. Only one bridge at
// a time delivers from a log: the one holding its lock, named from the log's path.
//
// What a power cut leaves after each call (the disk model: names change in order, and a flush of
// any file puts every change before it on the disk):
//  - Claim, PutBack: the move may be undone by a cut, but only with everything after it that no
//    flush has put on the disk; so a claimed log is never found without the progress its
//    flushed records belong to.
//  - Remove: the claimed file goes first, then its progress: a cut leaves both, the progress
//    alone (which says all were delivered, so it goes quietly), or neither.
//  - Open: the file is flushed as it stands (the decoder never flushes it), so that the records
//    written after it count only on bytes that are on the disk.
//  - Fill, RecordSpan: nothing is written.
#pragma once

#include <cstdint>
#include <string>

#include "relay/courier_io.h"
#include "relay/log_reader.h"

namespace qsoferry {

class ClaimedLog {
public:
    explicit ClaimedLog(DeliveryFiles& files) : m_files(files) {}
    ~ClaimedLog();
    ClaimedLog(const ClaimedLog&) = delete;
    ClaimedLog& operator=(const ClaimedLog&) = delete;

    // The decoder's log; the claimed file, its progress and the lock's name follow from it.
    void SetLogPath(const std::string& logPath);
    const std::string& LogPath() const { return m_logPath; }
    const std::string& ClaimPath() const { return m_claimPath; }
    const std::string& ProgressPath() const { return m_progressPath; }

    // Whichever bridge takes the lock first delivers from this log for as long as it runs; another
    // started beside it takes over when the first ends.
    bool TakeLock();

    // The decoder's log under the private name, when there is one (kNotFound when there is none:
    // no log, or one that cannot be opened for reading yet).
    FileResult Claim();
    FileResult Open(std::uint64_t& size);
    bool IsOpen() const { return m_file != kNoFile; }
    // Input for the reader, when it asks for some.
    FileResult Fill(LogReader& reader);

    // Where the last contact the reader gave lies, as the decoder wrote it: from its first tag to
    // the end of its end-of-record tag (or of its last field), whatever comes before or after it;
    // `from` == `to` when it has no tag. `crc` goes on over its bytes. Read a piece at a time, so
    // that a contact of any size costs one piece of memory.
    FileResult RecordSpan(const LogReader& reader, std::uint64_t& from, std::uint64_t& to, std::uint32_t& crc);
    // The claimed file, for the sender to copy a contact's text from while it is open.
    FileHandle Handle() const { return m_file; }

    void Close();
    void Release() { m_file = kNoFile; }  // the process ends with it open
    // A log that held nothing goes back under the decoder's name (or away, when a new log has
    // taken that name meanwhile).
    void PutBack();
    // Every contact is delivered: the file goes, then its progress. The progress stays when the
    // file cannot be removed.
    FileResult Remove();

private:
    FileResult Read(std::uint64_t from, std::uint64_t to, std::string& bytes);
    template <typename Take>
    FileResult Pieces(const LogReader& reader, std::uint64_t from, std::uint64_t to, Take take);

    DeliveryFiles& m_files;
    std::string m_logPath;
    std::string m_claimPath;
    std::string m_progressPath;
    std::string m_lockName;
    bool m_locked = false;
    FileHandle m_file = kNoFile;
};

}  // namespace qsoferry
