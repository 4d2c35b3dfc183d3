#include "relay/log_reader.h"

#include <cstring>

#include "relay/text.h"

namespace qsoferry {
namespace {

constexpr char kCtrlZ = '\x1a';
// No field name the record keeps, nor "EOR>", is longer: a longer name is ignored unread.
constexpr size_t kLongestName = 10;  // GRIDSQUARE

const char* Find(const char* from, const char* to, char c) {
    return static_cast<const char*>(std::memchr(from, c, static_cast<size_t>(to - from)));
}

bool EndsHeader(std::string_view line) {
    return line.find("<EOH>") != std::string_view::npos || line.find("<eoh>") != std::string_view::npos;
}

// What a raw name stands for, compared without regard to case: the end-of-record tag's "EOR>", or
// a field of the record.
enum class Name { kOther, kEndOfRecord, kField };
Name Classify(const char* name, size_t length, Field& field) {
    if (length > kLongestName) return Name::kOther;
    char upper[kLongestName];
    for (size_t i = 0; i < length; ++i)
        upper[i] = text::ToUpper(name[i]);
    std::string_view upperName(upper, length);
    if (upperName == "EOR>") return Name::kEndOfRecord;
    field = FieldNamed(upperName);
    return field == Field::kOther ? Name::kOther : Name::kField;
}

}  // namespace

PieceKind ParsePiece(std::string_view piece, QsoRecord& record) {
    piece = text::TrimRightView(piece);
    const char* begin = piece.data();
    const char* end = begin + piece.size();
    // The name runs to the first ":"; one longer than any name kept is not looked at further.
    const char* nameEnd = begin;
    const char* limit = begin + std::min(piece.size(), kLongestName + 1);
    while (nameEnd < limit && *nameEnd != ':')
        ++nameEnd;
    Field field = Field::kOther;
    Name name = Classify(begin, static_cast<size_t>(nameEnd - begin), field);
    if (name == Name::kEndOfRecord) return PieceKind::kEndOfRecord;
    if (name == Name::kOther) return PieceKind::kField;
    // The value follows the first ">": in a tag a few bytes after the name, and never within it
    // (a name holding ">" is none the record keeps).
    const char* gt = nameEnd;
    while (gt < end && *gt != '>')
        ++gt;
    record.Store(field, gt < end ? std::string_view(gt + 1, static_cast<size_t>(end - gt - 1)) : std::string_view());
    return PieceKind::kField;
}

LogReader::LogReader(Start start)
    : m_buffer(new char[kChunkSize]),
      m_bufferOffset(start.offset),
      m_inputOffset(start.offset),
      m_contacts(start.contacts),
      m_resumeOffset(start.offset) {
    // Resuming after a delivered contact: the header is behind, and the rest of that contact's line
    // reads as a data line of its own (it begins at a "<" or holds only white space).
    if (start.offset > 0) m_phase = Phase::kData;
}

LogReader::~LogReader() = default;

char* LogReader::Space(size_t& room) {
    if (m_begin > 0) {
        // The partial line moves to the front; the indices into it move with it.
        size_t held = m_end - m_begin;
        std::memmove(m_buffer.get(), m_buffer.get() + m_begin, held);
        m_bufferOffset += m_begin;
        m_scan -= m_begin;
        m_end = held;
        m_begin = 0;
    }
    if (m_end == m_capacity) {
        // One line fills the buffer: it grows to hold the line, however long.
        size_t capacity = m_capacity * 2;
        std::unique_ptr<char[]> bigger(new char[capacity]);
        std::memcpy(bigger.get(), m_buffer.get(), m_end);
        m_buffer = std::move(bigger);
        m_capacity = capacity;
    }
    room = m_capacity - m_end;
    return m_buffer.get() + m_end;
}

void LogReader::Filled(size_t count) {
    if (m_eof) return;
    if (count == 0) {
        m_eof = true;
        return;
    }
    m_inputOffset += count;
    char* fresh = m_buffer.get() + m_end;
    if (const char* ctrlZ = Find(fresh, fresh + count, kCtrlZ)) {
        count = static_cast<size_t>(ctrlZ - fresh);
        m_eof = true;  // whatever follows is not part of the file
    }
    m_end += count;
}

// The next whole line at m_begin, its carriage return before the line feed dropped; `next` is
// where the line after it begins. False when more input is needed or nothing is left.
bool LogReader::TakeLine(std::string_view& line, size_t& next) {
    const char* base = m_buffer.get();
    const char* lf = Find(base + m_scan, base + m_end, '\n');
    size_t lineEnd;
    if (lf) {
        lineEnd = static_cast<size_t>(lf - base);
        next = lineEnd + 1;
        if (lineEnd > m_begin && base[lineEnd - 1] == '\r') --lineEnd;
    } else {
        m_scan = m_end;
        if (!m_eof || m_begin == m_end) return false;
        lineEnd = next = m_end;  // the last line needs no line feed
    }
    line = std::string_view(base + m_begin, lineEnd - m_begin);
    return true;
}

LogReader::Step LogReader::Next(QsoRecord& record) {
    if (m_resetPending) {
        record.Reset();
        m_resetPending = false;
    }
    for (;;) {
        if (m_inLine) {
            if (ParseLine(record)) return Step::kContact;
            m_inLine = false;
            m_begin = m_scan = m_lineNext;
        }
        if (m_phase == Phase::kDone) return Step::kEnd;

        std::string_view line;
        size_t next = 0;
        if (!TakeLine(line, next)) {
            if (!m_eof) return Step::kNeedInput;
            return AtEnd(record, m_bufferOffset + m_end);
        }
        switch (m_phase) {
            case Phase::kLeading:
                if (line.empty()) break;
                // A first line beginning with "<" is the header by itself.
                m_phase = (line[0] == '<' || EndsHeader(line)) ? Phase::kData : Phase::kHeader;
                break;
            case Phase::kHeader:
                if (EndsHeader(line)) m_phase = Phase::kData;
                break;
            case Phase::kData: {
                if (beforeDataLine) beforeDataLine();
                std::string_view trimmed = text::TrimRightView(text::TrimLeftView(line));
                if (trimmed.empty()) break;
                if (trimmed.find('*') != std::string_view::npos) {
                    // The rest of the file is dropped; a resumed reader stops on this line too.
                    return AtEnd(record, m_bufferOffset + m_begin);
                }
                m_inLine = true;
                m_linePos = static_cast<size_t>(trimmed.data() - m_buffer.get());
                m_lineEnd = m_linePos + trimmed.size();
                m_lineNext = next;
                continue;
            }
            case Phase::kDone:
                break;
        }
        m_begin = m_scan = next;
    }
}

// Cuts the current data line into pieces from m_linePos on. True at an end-of-record tag, with
// the contact in the record; false once the line is used up.
bool LogReader::ParseLine(QsoRecord& record) {
    const char* base = m_buffer.get();
    while (m_linePos < m_lineEnd) {
        if (base[m_linePos] == '<') ++m_linePos;
        const char* lt = Find(base + m_linePos, base + m_lineEnd, '<');
        size_t pieceEnd = lt ? static_cast<size_t>(lt - base) : m_lineEnd;
        std::string_view piece(base + m_linePos, pieceEnd - m_linePos);
        m_linePos = pieceEnd;
        if (ParsePiece(piece, record) == PieceKind::kEndOfRecord) {
            record.Finish();
            ++m_contacts;
            m_resumeOffset = m_bufferOffset + pieceEnd;
            m_resetPending = true;
            return true;
        }
    }
    return false;
}

LogReader::Step LogReader::AtEnd(QsoRecord& record, std::uint64_t endOffset) {
    Phase phase = m_phase;
    m_phase = Phase::kDone;
    if (phase == Phase::kLeading) {
        m_empty = m_contacts == 0;
        return Step::kEnd;
    }
    // A header without an end: the whole file was header, and the record stays as reset.
    if (phase == Phase::kHeader) record.Reset();
    if (record.IsEmpty() && m_contacts > 0) return Step::kEnd;
    ++m_contacts;
    m_resumeOffset = endOffset;
    return Step::kContact;
}

}  // namespace qsoferry
