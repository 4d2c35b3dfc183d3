// The copy of the contacts the logger took (wsjtx_log_sent.adi), beside the log they came from:
// a header, then each contact as the decoder wrote it, from its first tag to its end-of-record
// tag, on a line of its own. Its flushed part always ends on a sector boundary (padded with a line
// of spaces), so that no later write touches a sector holding flushed contacts.
//
// The range since the last flush lives in the progress record (copyFrom, copyEnd, copyCrc): a
// record counts on those bytes, and Holds tells whether the copy still has them after a cut.
//
// What a power cut leaves after each call (the disk model: unflushed data kept, lost, or torn
// sector by sector):
//  - Open: nothing is written; a new copy is an empty file, or none.
//  - Begin: a new copy's header is on the disk, padded to a sector, before anything else is
//    written to it. A line end after a record a cut left unended is not flushed.
//  - Append, and the sender's writes planned with Plan: nothing of them until the next Flush;
//    the flushed part survives whole, since no write touches its sectors.
//  - Flush: everything written survives, padded to the next sector; the progress's range is empty.
#pragma once

#include <cstdint>
#include <string>

#include "relay/courier_io.h"
#include "relay/progress_record.h"

namespace qsoferry {

constexpr const char kCopyFileName[] = "wsjtx_log_sent.adi";
constexpr const char kCopyHeader[] =
    "Qsoferry: contacts handed to DXbase\r\n<ADIF_VER:5>3.1.4\r\n<PROGRAMID:8>Qsoferry\r\n<EOH>\r\n";
// The copy's flushed part always ends on a boundary of this many bytes.
constexpr std::uint64_t kCopySector = 512;

// What takes the copy from `end` to the next boundary of kCopySector bytes: a line of spaces (at
// least a line end, so that the next contact starts a line of its own); nothing at a boundary.
std::string CopyPadding(std::uint64_t end);

class SentCopy {
public:
    explicit SentCopy(DeliveryFiles& files) : m_files(files) {}
    ~SentCopy() { Close(); }
    SentCopy(const SentCopy&) = delete;
    SentCopy& operator=(const SentCopy&) = delete;

    FileResult Open(const std::string& path);  // made when missing
    bool IsOpen() const { return m_file != kNoFile; }
    FileHandle Handle() const { return m_file; }

    // Whether the copy holds the bytes `progress` counts on. A copy shorter than its flushed part
    // was taken away or replaced by the operator: nothing to hold against it.
    bool Holds(const Progress& progress);
    // Ready for the next contact, in `progress`'s range: what it holds since the `verified`
    // record's flushed part, or all it holds now when nothing counts on it.
    FileResult Begin(const Progress* verified, Progress& progress);

    // The sender's write of a contact's text (`size` bytes, which the sender copies from its log)
    // at the range's end: the text at `at`, then `tail`, its line end, padded when it is flushed.
    // `crc` is the range's CRC-32 with the text; `progress`'s range after it.
    struct Write {
        std::uint64_t at = 0;
        std::string tail;
    };
    static Write Plan(std::uint64_t size, std::uint32_t crc, bool flush, Progress& progress);
    // The window's own write of a contact's text, unflushed: the bytes of `source` from `from` to
    // `to`, a piece at a time, and a line end. `textRead` false: it failed reading the source.
    FileResult Append(FileHandle source, std::uint64_t from, std::uint64_t to, Progress& progress, bool& textRead);
    // Padded and flushed; the range starts anew at the padded end. Nothing to do for an empty range.
    FileResult Flush(Progress& progress);

    void Close();
    // Forgets the file without closing it: the sender still writes through it.
    void Release() { m_file = kNoFile; }

private:
    bool Crc(std::uint64_t from, std::uint64_t to, std::uint32_t& crc);

    DeliveryFiles& m_files;
    FileHandle m_file = kNoFile;
    std::uint64_t m_size = 0;  // as found when it was opened
};

}  // namespace qsoferry
