// The streaming log reader: fed the decoder's ADIF log in chunks, it hands out one contact at a
// time, holding no more than the line it is reading.
//
// The framing it follows:
//  - Lines as a text-mode stream gives them: a line feed ends a line, a carriage return just
//    before it is dropped, the last line needs no line feed, a Ctrl-Z (0x1A) ends the file. A line
//    may be of any length: one longer than the buffer is read twice (see LongLine), so memory
//    stays bounded whatever the input, and what comes out is the same as if it had been held.
//  - Lines of length zero before the first other line are passed over. When that line begins with
//    "<" it is the whole header; otherwise the header runs to the first line holding "<EOH>" or
//    "<eoh>". Nothing on the line that ends the header is read.
//  - Data lines are trimmed of white space; an empty one is passed over. A line holding "*" ends
//    the input: none of its pieces is read, nor anything after it.
//  - A line is cut at every "<"; each piece is a tag and its value (see ParsePiece). The pieces go
//    into one QSO record; each end-of-record tag applies the end-of-record rules and makes the
//    record a contact, and the next contact starts from an empty record.
//  - At the end, fields after the last end-of-record tag are a contact too, without the
//    end-of-record rules; a file that gave no contact at all gives one empty contact; a file of
//    line ends only gives none and is called empty.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string_view>

#include "relay/qso_record.h"

namespace qsoferry {

// What one piece of a data line is: the end-of-record tag, or a field stored into the record.
enum class PieceKind { kField, kEndOfRecord };

// Splits one piece (the text after a "<" up to the next one) into name and value and stores the
// field: the name is the text before the first ":" (all of it without one), upper-cased; the value
// the text after the first ">" (empty without one); trailing white space is dropped from both.
// The declared length and type play no part.
PieceKind ParsePiece(std::string_view piece, QsoRecord& record);

class LogReader {
public:
    static constexpr size_t kChunkSize = 64 * 1024;

    // Where reading starts: the file's first byte, or the resume offset of a contact already
    // delivered together with how many contacts came before it.
    struct Start {
        std::uint64_t offset = 0;
        std::uint64_t contacts = 0;
    };
    LogReader() : LogReader(Start()) {}
    // `bufferSize` bytes are all the reader holds (at least kMinBufferSize).
    explicit LogReader(Start start, size_t bufferSize = kChunkSize);
    static constexpr size_t kMinBufferSize = 16;
    ~LogReader();
    LogReader(const LogReader&) = delete;
    LogReader& operator=(const LogReader&) = delete;

    enum class Step { kContact, kNeedInput, kEnd };

    // The next contact into `record` (pass the same record every time: it carries the contact
    // being read across kNeedInput). The record stays as returned until the next call.
    Step Next(QsoRecord& record);

    // Input, when Next says kNeedInput: read up to `room` bytes of the file from InputOffset() into
    // Space(room), then say how many with Filled; Filled(0) says the file has ended. InputOffset
    // goes back when a line longer than the buffer is read a second time.
    char* Space(size_t& room);
    void Filled(size_t count);
    std::uint64_t InputOffset() const { return m_inputOffset; }

    // Where a reader started with {ResumeOffset(), Contacts()} goes on after the last contact.
    std::uint64_t ResumeOffset() const { return m_resumeOffset; }
    std::uint64_t Contacts() const { return m_contacts; }
    // Where the text of the last contact begins: after the contact before it, or after the header.
    // Its bytes in the file run from here to ResumeOffset().
    std::uint64_t RecordStart() const { return m_recordStart; }
    // Those bytes, when the reader still holds all of them.
    bool Held(std::uint64_t from, std::uint64_t to, std::string_view& bytes) const;
    // At kEnd: the file held no line of non-zero length.
    bool IsEmpty() const { return m_empty; }

    // Called before each data line is read (the bridge keeps its window answering there).
    std::function<void()> beforeDataLine;

private:
    enum class Phase { kLeading, kHeader, kData, kDone };

    // A line that does not fit in the buffer is read twice. A scan finds its end and what framing
    // needs: its first byte, a header end, a "*", where its text begins and ends. Then, for a
    // data line, its pieces are read again from the file, each cut as it streams by to what the
    // record can use (PieceCutter), so the reader holds a bounded amount however long the line.
    enum class LongPass { kNone, kScan, kPieces };
    struct LongLine {
        LongPass pass = LongPass::kNone;
        std::uint64_t start = 0;  // file offset of the line's first byte
        char first = 0;
        bool headerEnd = false;
        char tail[4] = {};  // the last bytes scanned, for a header end split between two reads
        size_t tailSize = 0;
        bool star = false;
        bool hasText = false;
        std::uint64_t textBegin = 0, textEnd = 0;  // the line trimmed of white space
        std::uint64_t next = 0;                    // where the line after it begins
        bool last = false;                         // the file ends with it
    };
    class PieceCutter;

    bool TakeLine(std::string_view& line, size_t& next, bool& star);
    bool ParseLine(QsoRecord& record);
    Step AtEnd(QsoRecord& record, std::uint64_t endOffset);
    bool ReadLongLine(QsoRecord& record, Step& step);
    void ScanLongLine(const char* bytes, size_t size);
    bool EndLongScan(QsoRecord& record, std::uint64_t next, Step& step);
    bool ReadLongPieces(QsoRecord& record, Step& step);
    bool ClosePiece(QsoRecord& record, std::uint64_t end);
    void MoveTo(std::uint64_t offset, bool eof);
    void EndContact(std::uint64_t resume);

    std::unique_ptr<char[]> m_buffer;
    size_t m_capacity;
    size_t m_begin = 0;                // first byte not yet consumed: the start of the next line
    size_t m_end = 0;                  // end of the bytes held
    size_t m_scan = 0;                 // how far the line at m_begin has been searched for its line feed
    std::uint64_t m_bufferOffset = 0;  // file offset of m_buffer[0]
    std::uint64_t m_inputOffset = 0;
    bool m_eof = false;

    Phase m_phase = Phase::kLeading;
    bool m_inLine = false;  // a data line is being cut into pieces
    size_t m_linePos = 0, m_lineEnd = 0, m_lineNext = 0;
    bool m_resetPending = true;
    std::uint64_t m_contacts = 0;
    std::uint64_t m_resumeOffset = 0;
    std::uint64_t m_textStart = 0;  // where the next contact's text begins
    std::uint64_t m_recordStart = 0;
    bool m_empty = false;
    LongLine m_long;
    std::unique_ptr<PieceCutter> m_cutter;
};

}  // namespace qsoferry
