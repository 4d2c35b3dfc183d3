#include "relay/log_reader.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>

#if defined(__SSE2__) && !defined(QSOFERRY_PORTABLE_SCAN)
#include <emmintrin.h>
#endif

#include "relay/text.h"

namespace qsoferry {
namespace {

constexpr char kCtrlZ = '\x1a';
// No field name the record keeps, nor "EOR>", is longer: a longer name is ignored unread.
constexpr size_t kLongestName = 10;  // GRIDSQUARE

const char* Find(const char* from, const char* to, char c) {
    return static_cast<const char*>(std::memchr(from, c, static_cast<size_t>(to - from)));
}

// The first "<" in [from, to), or `to`, where a piece runs past its window (see Look): eight bytes
// at a time, the lowest byte equal to "<" found with the usual zero-byte test (only bytes above a
// true match can be flagged wrongly).
const char* FindTagStart(const char* from, const char* to) {
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__ && defined(__GNUC__)
    constexpr std::uint64_t kOnes = 0x0101010101010101;
    while (to - from >= 8) {
        std::uint64_t word;
        std::memcpy(&word, from, 8);
        const std::uint64_t x = word ^ ('<' * kOnes);
        const std::uint64_t match = (x - kOnes) & ~x & (0x80 * kOnes);
        if (match) return from + (__builtin_ctzll(match) >> 3);
        from += 8;
    }
#endif
    while (from < to && *from != '<')
        ++from;
    return from;
}

// Where "<", ":" and ">" lie among the kWindow bytes at `at`, bit i for at[i]: a piece's name, its
// value and its end are mostly found in one look. The buffer reaches kWindow bytes past what it
// holds, so a window may run past the line, and the caller keeps the bits within it.
constexpr size_t kWindow = 32;
struct Window {
    std::uint32_t tag, colon, close;
};
Window Look(const char* at) {
#if defined(__SSE2__) && !defined(QSOFERRY_PORTABLE_SCAN)
    const __m128i low = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
    const __m128i high = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at + 16));
    auto bits = [&low, &high](char c) {
        const __m128i wanted = _mm_set1_epi8(c);
        return static_cast<std::uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(low, wanted))) |
               static_cast<std::uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(high, wanted))) << 16;
    };
    return {bits('<'), bits(':'), bits('>')};
#else
    Window window = {0, 0, 0};
    for (size_t i = 0; i < kWindow; ++i) {
        window.tag |= static_cast<std::uint32_t>(at[i] == '<') << i;
        window.colon |= static_cast<std::uint32_t>(at[i] == ':') << i;
        window.close |= static_cast<std::uint32_t>(at[i] == '>') << i;
    }
    return window;
#endif
}

// The bits of `bits` from position `from` on.
std::uint32_t From(std::uint32_t bits, size_t from) {
    return from < kWindow ? bits & (~std::uint32_t(0) << from) : 0;
}

int Lowest(std::uint32_t bits) {
    return __builtin_ctz(bits);
}

// Where a data line stops being read: the first line feed, "*" or Ctrl-Z in [from, to), or null.
// Its end, whether it holds a "*" and whether the file ends in it come from one pass, many bytes
// at a time where the processor has SSE2 (every x86-64 has); the pass may look up to kWindow
// bytes past `to`, which the buffer holds.
const char* FindLineStop(const char* from, const char* to) {
#if defined(__SSE2__) && !defined(QSOFERRY_PORTABLE_SCAN)
    const __m128i lf = _mm_set1_epi8('\n'), star = _mm_set1_epi8('*'), ctrlZ = _mm_set1_epi8(kCtrlZ);
    auto stops = [&](const char* at) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
        return _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(bytes, lf), _mm_cmpeq_epi8(bytes, star)),
                            _mm_cmpeq_epi8(bytes, ctrlZ));
    };
    for (; to - from >= 64; from += 64) {
        const __m128i any = _mm_or_si128(_mm_or_si128(stops(from), stops(from + 16)),
                                         _mm_or_si128(stops(from + 32), stops(from + 48)));
        if (_mm_movemask_epi8(any)) break;
    }
    for (; from < to; from += 16) {
        if (const auto found = static_cast<unsigned>(_mm_movemask_epi8(stops(from)))) {
            const char* stop = from + __builtin_ctz(found);
            return stop < to ? stop : nullptr;
        }
    }
    return nullptr;
#else
    for (; from < to; ++from) {
        if (*from == '\n' || *from == '*' || *from == kCtrlZ) return from;
    }
    return nullptr;
#endif
}

bool EndsHeader(std::string_view line) {
    return line.find("<EOH>") != std::string_view::npos || line.find("<eoh>") != std::string_view::npos;
}

// Whether a raw name is the end-of-record tag's "EOR>", in any case.
bool IsEndOfRecord(const char* name, size_t length) {
    return length == 4 && text::UpperKey<4>(name) == text::UpperKey<4>("EOR>");
}

// What a raw name stands for, compared without regard to case: the end-of-record tag, or a field
// of the record.
enum class Name { kOther, kEndOfRecord, kField };
Name Classify(const char* name, size_t length, Field& field) {
    if (IsEndOfRecord(name, length)) return Name::kEndOfRecord;
    field = FieldNamedIgnoringCase(std::string_view(name, length));
    return field == Field::kOther ? Name::kOther : Name::kField;
}

}  // namespace

// One piece of a long line, cut as it streams by to what ParsePiece can use, so that ParsePiece
// gives on the cut piece exactly what it gives on the whole one:
//  - the name: up to kLongestName + 1 bytes, looking for its ":". Without one there, the name is
//    none the record keeps unless the trimmed piece is that short, so of the rest only whether it
//    holds a non-blank byte counts;
//  - the declared length and type, between ":" and the first ">": dropped, nothing reads them;
//  - the value: its leading blanks and then its text, each kept to kValueKept bytes. Past that
//    only whether a non-blank byte follows counts, so that trimming the piece's end trims what it
//    trimmed before. No rule looks further: the export record holds 503 bytes, a comment keeps 50
//    after its leading blanks, a band 6, and a mode of 16 or more is simply too long.
// "Some non-blank byte follows" is kept as one marker byte, neither blank nor ".".
class LogReader::PieceCutter {
public:
    static constexpr size_t kValueKept = 512;

    PieceCutter() { m_text.reserve(kLongestName + 2 + 2 * kValueKept + 1); }
    void Begin() {
        m_text.clear();
        m_state = State::kName;
        m_run = 0;
        m_more = false;
    }
    void Take(const char* p, size_t size) {
        const char* end = p + size;
        while (p < end) {
            switch (m_state) {
                case State::kName:
                    m_text.push_back(*p);
                    if (*p++ == ':') {
                        m_state = State::kLength;
                    } else if (m_text.size() == kLongestName + 1) {
                        m_state = State::kPast;
                    }
                    break;
                case State::kLength: {
                    const char* gt = Find(p, end, '>');
                    if (!gt) return;
                    m_text.push_back('>');
                    p = gt + 1;
                    m_state = State::kLead;
                    break;
                }
                case State::kLead:
                    if (!text::IsSpace(*p)) {
                        m_state = State::kValue;
                        m_run = 0;
                    } else if (m_run < kValueKept) {
                        m_text.push_back(*p++);
                        ++m_run;
                    } else {
                        ++p;
                    }
                    break;
                case State::kValue: {
                    size_t kept = std::min(static_cast<size_t>(end - p), kValueKept - m_run);
                    m_text.append(p, kept);
                    p += kept;
                    m_run += kept;
                    if (m_run == kValueKept) m_state = State::kPast;
                    break;
                }
                case State::kPast:
                    for (; p < end && !m_more; ++p)
                        m_more = !text::IsSpace(*p);
                    return;
            }
        }
    }
    std::string_view Piece() {
        if (m_more) m_text.push_back('~');
        m_more = false;
        return m_text;
    }

private:
    enum class State { kName, kLength, kLead, kValue, kPast };
    std::string m_text;
    State m_state = State::kName;
    size_t m_run = 0;
    bool m_more = false;
};

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

LogReader::LogReader(Start start, size_t bufferSize)
    : m_buffer(new char[std::max(bufferSize, kMinBufferSize) + kWindow]()),
      m_capacity(std::max(bufferSize, kMinBufferSize)),
      m_bufferOffset(start.offset),
      m_inputOffset(start.offset),
      m_contacts(start.contacts),
      m_resumeOffset(start.offset),
      m_textStart(start.offset),
      m_recordStart(start.offset) {
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
    // Whatever follows a Ctrl-Z is not part of the file. Data lines are searched for it as their
    // ends are (see TakeLine); everything else, here.
    char* fresh = m_buffer.get() + m_end;
    if (m_phase != Phase::kData || m_long.pass != LongPass::kNone) {
        if (const char* ctrlZ = Find(fresh, fresh + count, kCtrlZ)) {
            count = static_cast<size_t>(ctrlZ - fresh);
            m_eof = true;
        }
    }
    m_end += count;
}

// The next whole line at m_begin, its carriage return before the line feed dropped; `next` is
// where the line after it begins. A data line is searched for a "*" and a Ctrl-Z on the way:
// `star` says it holds a "*", and then the rest of the line is not looked for; the file ends at a
// Ctrl-Z. False when more input is needed or nothing is left.
bool LogReader::TakeLine(std::string_view& line, size_t& next, bool& star) {
    const char* base = m_buffer.get();
    const char* lf = m_phase == Phase::kData ? FindLineStop(base + m_scan, base + m_end)
                                              : Find(base + m_scan, base + m_end, '\n');
    star = lf && *lf == '*';
    if (star) return true;
    if (lf && *lf == kCtrlZ) {
        m_end = static_cast<size_t>(lf - base);  // the file ends here
        m_eof = true;
        lf = nullptr;
    }
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
        if (m_long.pass != LongPass::kNone) {
            Step step;
            if (ReadLongLine(record, step)) return step;
            continue;
        }
        if (m_inLine) {
            if (ParseLine(record)) return Step::kContact;
            m_inLine = false;
            m_begin = m_scan = m_lineNext;
        }
        if (m_phase == Phase::kDone) return Step::kEnd;

        std::string_view line;
        size_t next = 0;
        bool star = false;
        if (!TakeLine(line, next, star)) {
            if (!m_eof && m_end - m_begin == m_capacity) {
                // The line fills the buffer: it is read as a long line, from its start.
                m_long = LongLine();
                m_long.pass = LongPass::kScan;
                m_long.start = m_bufferOffset + m_begin;
                m_long.first = m_buffer[m_begin];
                if (m_phase == Phase::kData && beforeDataLine) beforeDataLine();
                continue;
            }
            if (!m_eof) return Step::kNeedInput;
            return AtEnd(record, m_bufferOffset + m_end);
        }
        switch (m_phase) {
            case Phase::kLeading:
                if (line.empty()) break;
                // A first line beginning with "<" is the header by itself.
                m_phase = (line[0] == '<' || EndsHeader(line)) ? Phase::kData : Phase::kHeader;
                m_textStart = m_bufferOffset + next;
                break;
            case Phase::kHeader:
                if (EndsHeader(line)) m_phase = Phase::kData;
                m_textStart = m_bufferOffset + next;
                break;
            case Phase::kData: {
                if (beforeDataLine) beforeDataLine();
                if (star) {
                    // The rest of the file is dropped; a resumed reader stops on this line too.
                    return AtEnd(record, m_bufferOffset + m_begin);
                }
                std::string_view trimmed = text::TrimRightView(text::TrimLeftView(line));
                if (trimmed.empty()) break;
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
    const char* const base = m_buffer.get();
    const char* const end = base + m_lineEnd;
    const char* p = base + m_linePos;
    while (p < end) {
        if (*p == '<' && ++p == end) break;
        // The usual piece, "name:length>value", from one look at the bytes it starts with: its
        // name up to the ":" (no further than a kept name could reach), the value after the first
        // ">", its end at the next "<". Anything else goes the general way.
        const Window window = Look(p);
        const size_t left = static_cast<size_t>(end - p);
        const std::uint32_t inLine = left >= kWindow ? ~std::uint32_t(0) : (std::uint32_t(1) << left) - 1;
        const std::uint32_t tags = window.tag & inLine;
        const size_t reach = std::min(left, kLongestName + 1);
        const std::uint32_t nameEnds = (window.colon | tags) & ((std::uint32_t(1) << reach) - 1);
        // The piece's end: the first "<" at or after `from`, or the line's end.
        auto pieceEndFrom = [&](size_t from) {
            if (const std::uint32_t next = From(tags, from)) return p + Lowest(next);
            return left <= kWindow ? end : FindTagStart(p + kWindow, end);
        };
        const char* pieceEnd;
        bool endOfRecord = false;
        if (nameEnds && (window.colon >> Lowest(nameEnds) & 1)) {
            const size_t colon = static_cast<size_t>(Lowest(nameEnds));
            const Field field = FieldNamedIgnoringCase(std::string_view(p, colon));
            if (field == Field::kOther) {
                endOfRecord = IsEndOfRecord(p, colon);
                pieceEnd = pieceEndFrom(colon + 1);
            } else {
                // The value follows the first ">" before the piece ends; without one it is empty.
                const char* close = nullptr;
                if (const std::uint32_t stop = From((window.close & inLine) | tags, colon + 1)) {
                    const size_t at = static_cast<size_t>(Lowest(stop));
                    if (window.close >> at & 1) {
                        close = p + at;
                        pieceEnd = pieceEndFrom(at + 1);
                    } else {
                        pieceEnd = p + at;
                    }
                } else if (left <= kWindow) {
                    pieceEnd = end;
                } else {
                    const char* q = p + kWindow;  // a declared length of some thirty digits
                    while (q < end && *q != '>' && *q != '<')
                        ++q;
                    if (q < end && *q == '>') {
                        close = q;
                        pieceEnd = FindTagStart(q + 1, end);
                    } else {
                        pieceEnd = q;
                    }
                }
                record.Store(field, close ? text::TrimRightView(std::string_view(close + 1, pieceEnd - close - 1))
                                          : std::string_view());
            }
        } else if (!nameEnds && reach == kLongestName + 1 && !text::IsSpace(p[kLongestName])) {
            // A name longer than any kept, such as the decoder's STATION_CALLSIGN: nothing to read.
            pieceEnd = pieceEndFrom(reach);
        } else {
            pieceEnd = pieceEndFrom(0);
            const std::string_view piece(p, static_cast<size_t>(pieceEnd - p));
            // The end-of-record tag as the decoder writes it, else the general rule.
            endOfRecord = IsEndOfRecord(p, text::TrimRightView(piece).size()) ||
                          ParsePiece(piece, record) == PieceKind::kEndOfRecord;
        }
        p = pieceEnd;
        if (endOfRecord) {
            m_linePos = static_cast<size_t>(pieceEnd - base);
            record.Finish();
            EndContact(m_bufferOffset + m_linePos);
            return true;
        }
    }
    m_linePos = m_lineEnd;
    return false;
}

// A line longer than the buffer. True with `step` to return; false when the line is done with
// (or, after the scan, its pieces are to be read) and Next goes on.
bool LogReader::ReadLongLine(QsoRecord& record, Step& step) {
    if (m_long.pass == LongPass::kPieces) return ReadLongPieces(record, step);
    for (;;) {
        if (m_begin == m_end) {
            if (!m_eof) {
                step = Step::kNeedInput;
                return true;
            }
            m_long.last = true;
            return EndLongScan(record, m_bufferOffset + m_end, step);
        }
        const char* from = m_buffer.get() + m_begin;
        const char* lf = Find(from, m_buffer.get() + m_end, '\n');
        size_t size = lf ? static_cast<size_t>(lf - from) : m_end - m_begin;
        ScanLongLine(from, size);
        if (lf) {
            m_begin = m_scan = m_begin + size + 1;
            return EndLongScan(record, m_bufferOffset + m_begin, step);
        }
        m_bufferOffset += m_end;  // scanned: the bytes are not needed again in this pass
        m_begin = m_end = m_scan = 0;
    }
}

// The next `size` bytes of the long line, which start at file offset m_bufferOffset + m_begin.
void LogReader::ScanLongLine(const char* bytes, size_t size) {
    if (size == 0) return;
    const std::uint64_t offset = m_bufferOffset + m_begin;
    if (m_phase != Phase::kData) {
        if (!m_long.headerEnd) {
            // A header end may straddle two reads: look across the joint too.
            char joint[8];
            size_t head = std::min<size_t>(size, 4);
            std::memcpy(joint, m_long.tail, m_long.tailSize);
            std::memcpy(joint + m_long.tailSize, bytes, head);
            size_t jointSize = m_long.tailSize + head;
            m_long.headerEnd =
                EndsHeader(std::string_view(joint, jointSize)) || EndsHeader(std::string_view(bytes, size));
            const char* last = size >= 4 ? bytes + size - 4 : joint + jointSize - std::min<size_t>(jointSize, 4);
            m_long.tailSize = size >= 4 ? 4 : std::min<size_t>(jointSize, 4);
            std::memmove(m_long.tail, last, m_long.tailSize);
        }
        return;
    }
    m_long.star = m_long.star || Find(bytes, bytes + size, '*');
    size_t first = 0;
    if (!m_long.hasText) {
        while (first < size && text::IsSpace(bytes[first]))
            ++first;
        if (first == size) return;
        m_long.hasText = true;
        m_long.textBegin = offset + first;
    }
    size_t end = size;
    while (end > first && text::IsSpace(bytes[end - 1]))
        --end;
    if (end > first) m_long.textEnd = offset + end;
}

// The scan has reached the line's end; the next line begins at `next`.
bool LogReader::EndLongScan(QsoRecord& record, std::uint64_t next, Step& step) {
    m_long.pass = LongPass::kNone;
    switch (m_phase) {
        case Phase::kLeading:
            m_phase = (m_long.first == '<' || m_long.headerEnd) ? Phase::kData : Phase::kHeader;
            m_textStart = next;
            return false;
        case Phase::kHeader:
            if (m_long.headerEnd) m_phase = Phase::kData;
            m_textStart = next;
            return false;
        case Phase::kData:
            if (!m_long.hasText) return false;
            if (m_long.star) {
                step = AtEnd(record, m_long.start);
                return true;
            }
            m_long.next = next;
            m_long.pass = LongPass::kPieces;
            if (!m_cutter) m_cutter = std::make_unique<PieceCutter>();
            m_cutter->Begin();
            MoveTo(m_long.textBegin, false);
            return false;
        case Phase::kDone:
            return false;
    }
    return false;
}

// The pieces of a long data line, read again from its first non-blank byte to its last.
bool LogReader::ReadLongPieces(QsoRecord& record, Step& step) {
    for (;;) {
        const std::uint64_t at = m_bufferOffset + m_begin;
        if (at >= m_long.textEnd || (m_begin == m_end && m_eof)) {
            // The file cannot have shrunk under a claimed log, but if it has, the line ends here.
            if (ClosePiece(record, std::min(at, m_long.textEnd))) {
                step = Step::kContact;
                return true;
            }
            MoveTo(m_long.next, m_long.last);
            m_long.pass = LongPass::kNone;
            return false;
        }
        if (m_begin == m_end) {
            step = Step::kNeedInput;
            return true;
        }
        const char* from = m_buffer.get() + m_begin;
        size_t size = static_cast<size_t>(std::min<std::uint64_t>(m_end - m_begin, m_long.textEnd - at));
        const char* lt = Find(from, from + size, '<');
        size_t piece = lt ? static_cast<size_t>(lt - from) : size;
        m_cutter->Take(from, piece);
        m_begin += piece;
        if (lt) {
            ++m_begin;
            if (ClosePiece(record, at + piece)) {
                step = Step::kContact;
                return true;
            }
        }
    }
}

// Applies the piece the cutter holds, which ended at file offset `end`, and starts the next.
// True at an end-of-record tag, with the contact in the record. The last piece of a line is
// closed once: after it the cutter holds nothing.
bool LogReader::ClosePiece(QsoRecord& record, std::uint64_t end) {
    PieceKind kind = ParsePiece(m_cutter->Piece(), record);
    m_cutter->Begin();
    if (kind != PieceKind::kEndOfRecord) return false;
    record.Finish();
    EndContact(end);
    return true;
}

void LogReader::EndContact(std::uint64_t resume) {
    ++m_contacts;
    m_recordStart = m_textStart;
    m_resumeOffset = m_textStart = resume;
    m_resetPending = true;
}

bool LogReader::Held(std::uint64_t from, std::uint64_t to, std::string_view& bytes) const {
    if (from < m_bufferOffset || to > m_bufferOffset + m_end || from > to) return false;
    bytes = std::string_view(m_buffer.get() + (from - m_bufferOffset), static_cast<size_t>(to - from));
    return true;
}

// Reading goes on from file offset `offset`, with nothing held.
void LogReader::MoveTo(std::uint64_t offset, bool eof) {
    m_bufferOffset = m_inputOffset = offset;
    m_begin = m_end = m_scan = 0;
    m_eof = eof;
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
    const bool reset = m_resetPending;
    EndContact(endOffset);
    m_resetPending = reset;
    return Step::kContact;
}

}  // namespace qsoferry
