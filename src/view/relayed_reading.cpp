// Relayed Contacts: reading the copies, a little more at each Refresh, up to each record's
// end-of-record tag (relayed_list.h says what is a record and what is skipped).
#include <algorithm>
#include <cstring>
#include <optional>

#include "relay/log_reader.h"
#include "relay/progress_record.h"
#include "relay/qso_record.h"
#include "relay/text.h"
#include "view/relayed_list.h"

namespace qsoferry {

namespace {

constexpr size_t kReadSize = 64 * 1024;
// A record longer than this is left out (and counted): the list stays small whatever a copy holds.
constexpr size_t kLongestLine = 2 * 1024 * 1024;
constexpr size_t kStoredFields = kRelayedColumns - 2;  // the folder comes from the copy, the times from the index
// How much of a copy, just before where reading stopped, is checked again at each Refresh.
constexpr size_t kTail = 64;
constexpr size_t kLongestKept = 32;  // of a first tag's name, a date, a time

bool NameIs(std::string_view piece, std::string_view name) {
    if (piece.size() <= name.size() || (piece[name.size()] != ':' && piece[name.size()] != '>')) return false;
    for (size_t i = 0; i < name.size(); ++i) {
        if (text::ToUpper(piece[i]) != name[i]) return false;
    }
    return true;
}

std::string_view ValueOf(std::string_view piece) {
    size_t gt = piece.find('>');
    return gt == std::string_view::npos ? std::string_view() : text::TrimView(piece.substr(gt + 1));
}

// The name of the tag a line begins with, upper case: what tells a new record's first line.
std::string TagName(std::string_view text) {
    std::string name;
    for (size_t i = 1; i < text.size() && name.size() < kLongestKept && text[i] != ':' && text[i] != '>'; ++i)
        name += text::ToUpper(text[i]);
    return name;
}

// The length a piece ("name:length>value" or "name:length:type>value") declares, if it does.
std::optional<std::uint64_t> DeclaredLength(std::string_view piece, size_t& valueAt) {
    const size_t colon = piece.find(':'), gt = piece.find('>');
    if (colon == std::string_view::npos || gt == std::string_view::npos || colon > gt) return std::nullopt;
    std::uint64_t length = 0;
    size_t i = colon + 1;
    for (; i < gt && piece[i] >= '0' && piece[i] <= '9' && length <= kLongestLine; ++i)
        length = length * 10 + static_cast<std::uint64_t>(piece[i] - '0');
    if (i == colon + 1 || (i < gt && piece[i] != ':')) return std::nullopt;
    valueAt = gt + 1;
    return length;
}

// What the log reader would not read as a record's line: a torn sector's zeros, say, or a "*",
// where it stops reading altogether.
bool Unreadable(std::string_view line) {
    for (char c : line) {
        if ((static_cast<unsigned char>(c) < 0x20 && c != '\t' && c != '\r') || c == '*') return true;
    }
    return false;
}

}  // namespace

bool RelayedList::Refresh(const std::vector<CopySource>& sources) {
    bool changed = false;
    for (const CopySource& copy : sources) {
        auto found =
            std::find_if(m_sources.begin(), m_sources.end(), [&](const Source& s) { return s.copy.path == copy.path; });
        if (found == m_sources.end()) {
            m_sources.emplace_back().copy = copy;
            found = m_sources.end() - 1;
        }
        changed = ReadSource(static_cast<std::uint32_t>(found - m_sources.begin())) || changed;
    }
    m_index.Settle();
    if (changed) Arrange();
    return changed;
}

void RelayedList::Restart(Source& source) {
    source.readTo = 0;
    source.inHeader = true;
    source.started = false;
    source.skipped = 0;
    source.reading.within = Within::kNothing;
    source.tail = 0;
    source.lastSize = 0;
    source.overlong = false;
}

// Whether the copy is no longer the one read: shorter than what was read, or without the last
// record read where it was (the padding after it is the same in every copy), or, before any
// record, with other bytes just before where reading stopped.
bool RelayedList::Replaced(std::uint32_t index, FileHandle file, std::uint64_t size) {
    const Source& source = m_sources[index];
    if (size < source.readTo) return true;
    if (source.lastSize != 0) {
        std::string bytes(source.lastSize, '\0');
        size_t got = 0;
        return m_files.ReadFileAt(file, source.lastAt, &bytes[0], bytes.size(), got).ok() && got == bytes.size() &&
               Crc32(bytes) != source.lastCheck;
    }
    if (source.readTo == 0) return false;
    char bytes[kTail];
    const size_t want = static_cast<size_t>(std::min<std::uint64_t>(kTail, source.readTo));
    size_t got = 0;
    return m_files.ReadFileAt(file, source.readTo - want, bytes, want, got).ok() && got == want &&
           Crc32(std::string_view(bytes, got)) != source.tail;
}

// Removes the entries marked, keeping the others' order and ids.
void RelayedList::Drop(const std::vector<bool>& drop) {
    std::vector<Entry> kept;
    std::string text;
    m_index.Clear();
    for (size_t i = 0; i < m_entries.size(); ++i) {
        if (drop[i]) continue;
        const Entry& e = m_entries[i];
        kept.push_back(e);
        m_index.Add(e.key);
        kept.back().text = static_cast<std::uint32_t>(text.size());
        const char* fields = m_text.data() + e.text;
        const char* end = fields;
        for (size_t n = 0; n < kStoredFields; ++n)
            end = FieldEnd(end) + 1;
        text.append(fields, end);
    }
    m_entries.swap(kept);
    m_text.swap(text);
}

bool RelayedList::ReadSource(std::uint32_t index) {
    FileHandle file = kNoFile;
    std::uint64_t size = 0;
    // Full sharing: the engine goes on writing, and the operator may move the copy away meanwhile.
    const FileResult opened = m_files.OpenFile(m_sources[index].copy.path, FileAccess::kPeek, file, size);
    Source& source = m_sources[index];
    const size_t before = m_entries.size();
    if (!opened.ok()) {
        // A passing sharing conflict, a copy being moved: the rows stay as they were read. Gone
        // twice in a row, it has been taken away, and what it held can no longer be sent again.
        if (opened.status != FileStatus::kNotFound || source.missing == 2 || ++source.missing != 2) return false;
        std::vector<bool> drop(m_entries.size());
        for (size_t i = 0; i < m_entries.size(); ++i)
            drop[i] = m_entries[i].source == index;
        Drop(drop);
        const bool had = source.skipped != 0;
        Restart(source);
        return had || m_entries.size() != before;
    }
    source.missing = 0;
    const bool again = Replaced(index, file, size);
    std::uint64_t skippedBefore = source.skipped;
    if (again) {
        // Read anew from its start; the records still where they were keep their entries.
        m_former.clear();
        for (std::uint32_t i = 0; i < m_entries.size(); ++i) {
            if (m_entries[i].source == index) m_former.push_back(i);
        }
        m_kept.assign(m_former.size(), false);
        m_formerAt = 0;
        Restart(source);
    }
    std::string chunk(kReadSize, '\0'), line;
    std::uint64_t lineStart = source.readTo;
    bool overlong = source.overlong;
    std::uint64_t at = source.readTo;
    while (at < size) {
        size_t got = 0;
        if (!m_files
                 .ReadFileAt(file, at, chunk.data(), static_cast<size_t>(std::min<std::uint64_t>(kReadSize, size - at)),
                             got)
                 .ok() ||
            got == 0)
            break;
        for (size_t i = 0; i < got;) {
            const char* lf = static_cast<const char*>(std::memchr(chunk.data() + i, '\n', got - i));
            const size_t end = lf ? static_cast<size_t>(lf - chunk.data()) + 1 : got;
            if (!overlong && line.size() + (end - i) <= kLongestLine) {
                line.append(chunk, i, end - i);
            } else {
                overlong = true;
                line.clear();
            }
            if (!lf) break;
            TakeLine(index, lineStart, line, overlong);
            line.clear();
            overlong = false;
            i = end;
            lineStart = at + i;
        }
        at += got;
    }
    // A line not ended yet is read again from its start at the next Refresh; one already too
    // long to be a record (a large contact still being copied) goes on from where reading stopped.
    source.overlong = overlong;
    source.readTo = overlong ? at : lineStart;
    if (source.readTo > 0) {
        char bytes[kTail];
        const size_t want = static_cast<size_t>(std::min<std::uint64_t>(kTail, source.readTo));
        size_t got = 0;
        m_files.ReadFileAt(file, source.readTo - want, bytes, want, got);
        source.tail = Crc32(std::string_view(bytes, got));
    }
    m_files.CloseFile(file);
    bool changed = m_entries.size() != before || source.skipped != skippedBefore;
    if (again) {
        std::vector<bool> drop(m_entries.size());
        for (size_t i = 0; i < m_former.size(); ++i)
            drop[m_former[i]] = !m_kept[i];
        changed = changed || std::find(drop.begin(), drop.end(), true) != drop.end();
        Drop(drop);
        m_former.clear();
    }
    return changed;
}

// A line of the copy, with its line end: a header's, a record's, padding, or damage.
void RelayedList::TakeLine(std::uint32_t index, std::uint64_t at, std::string_view raw, bool overlong) {
    Source& source = m_sources[index];
    Reading& r = source.reading;
    // A line that is no record's: counted at once between records, with the rest of the record
    // it falls in otherwise.
    auto damaged = [&] {
        if (r.within == Within::kNothing) {
            ++source.skipped;
        } else {
            r.within = Within::kDamage;
            ++r.lines;
        }
    };
    if (overlong) {
        damaged();
        return;
    }
    std::string_view line = raw.substr(0, raw.size() - 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    std::string_view text = qsoferry::text::TrimView(line);
    if (source.inHeader && r.within == Within::kNothing) {
        if (text.empty()) return;
        // The header runs to its end tag; a file whose first line begins with a tag has none.
        const bool first = !source.started;
        source.started = true;
        const bool ends = text::ToUpper(text).find("<EOH>") != std::string::npos;
        if (!first || text.front() != '<' || ends) {
            source.inHeader = !ends;
            return;
        }
        source.inHeader = false;
    }
    const bool unreadable = Unreadable(line);
    if (text.empty() && !unreadable) {
        if (r.within == Within::kRecord) r.check = Crc32(r.check, raw);  // padding, or the record's own
        return;
    }
    if (unreadable) {
        damaged();
        return;
    }
    // A counted value said to run on into this line must end where a value can end: one cut short
    // by a power cut counts into the next record's first tag, and is no value's.
    if (r.valueEnd > at && r.valueEnd <= at + raw.size()) {
        const size_t end = static_cast<size_t>(r.valueEnd - at);
        const char after = end < raw.size() ? raw[end] : '\n';
        if (after != '<' && !text::IsSpace(after)) r.valueEnd = 0;
    }
    // A line beginning with the tag the record began with, where no counted value runs on, begins
    // the next record: the one before was cut short. A second CALL is two records run together.
    if (r.within != Within::kNothing && text.front() == '<' &&
        at + static_cast<std::uint64_t>(text.data() - raw.data()) >= r.valueEnd) {
        const std::string name = TagName(text);
        if (name == r.firstTag) {
            source.skipped += r.lines;
            r.within = Within::kNothing;
        } else if (name == "CALL" && r.hasCall) {
            r.within = Within::kDamage;
        }
    }
    if (r.within == Within::kNothing) {
        if (text.front() != '<') {
            ++source.skipped;
            return;
        }
        r.within = Within::kRecord;
        r.start = at + static_cast<std::uint64_t>(text.data() - raw.data());
        r.lines = 0;
        r.valueEnd = 0;
        r.check = 0;
        r.hasCall = false;
        r.firstTag = TagName(text);
        r.date.clear();
        r.time.clear();
        r.record->Reset();
    }
    ++r.lines;
    ReadPieces(index, at, raw, text);
}

// The pieces of a record's line, cut at every "<" as the log reader cuts them.
void RelayedList::ReadPieces(std::uint32_t index, std::uint64_t at, std::string_view raw, std::string_view text) {
    Source& source = m_sources[index];
    Reading& r = source.reading;
    const size_t from = r.start > at ? static_cast<size_t>(r.start - at) : 0;
    bool call = false;
    const char* p = text.data();
    const char* const end = p + text.size();
    while (p < end) {
        if (*p == '<' && ++p == end) break;
        const char* next = static_cast<const char*>(std::memchr(p, '<', static_cast<size_t>(end - p)));
        if (!next) next = end;
        const std::string_view piece(p, static_cast<size_t>(next - p));
        const size_t offset = static_cast<size_t>(p - raw.data());
        const PieceKind kind = ParsePiece(piece, *r.record);
        if (NameIs(piece, "QSO_DATE")) r.date = std::string(ValueOf(piece).substr(0, kLongestKept));
        if (NameIs(piece, "TIME_ON")) r.time = std::string(ValueOf(piece).substr(0, kLongestKept));
        // A "<" inside a counted value is the value's, for telling where records begin.
        if (p > text.data() && p[-1] == '<' && at + offset > r.valueEnd) {
            size_t valueAt = 0;
            if (std::optional<std::uint64_t> length = DeclaredLength(piece, valueAt))
                r.valueEnd = at + offset + valueAt + *length;
            call = call || NameIs(piece, "CALL");
        }
        if (kind == PieceKind::kEndOfRecord) {
            const size_t tagEnd = offset + 4;  // "eor>"
            if (next != end) {
                r.within = Within::kDamage;  // records run together on one line
            } else if (r.within == Within::kRecord && at + tagEnd - r.start <= kLongestLine) {
                r.check = Crc32(r.check, raw.substr(from, tagEnd - from));
                EndRecord(index, at + tagEnd);
                return;
            } else {
                source.skipped += r.lines;
                r.within = Within::kNothing;
                return;
            }
        }
        p = next;
    }
    if (r.within != Within::kRecord) return;
    r.check = Crc32(r.check, raw.substr(from));
    r.hasCall = r.hasCall || call;
    if (at + raw.size() - r.start > kLongestLine) r.within = Within::kDamage;
}

void RelayedList::EndRecord(std::uint32_t index, std::uint64_t end) {
    Reading& r = m_sources[index].reading;
    r.within = Within::kNothing;
    QsoRecord& record = *r.record;
    record.Finish();
    const Entry entry{r.start, static_cast<std::uint32_t>(end - r.start),
                      r.check, static_cast<std::uint32_t>(m_text.size()),
                      index,   0,
                      ContactKeyOf(record)};
    Source& source = m_sources[index];
    source.lastAt = entry.at;
    source.lastSize = entry.size;
    source.lastCheck = entry.check;
    if (record.IsEmpty()) return;  // a stray end-of-record tag: nothing to list or send again
    if (m_formerAt < m_former.size()) {
        // Reading a replaced copy again: a record still where it was keeps its entry and id.
        while (m_formerAt < m_former.size() && m_entries[m_former[m_formerAt]].at < entry.at)
            ++m_formerAt;
        if (m_formerAt < m_former.size()) {
            const Entry& e = m_entries[m_former[m_formerAt]];
            if (e.at == entry.at && e.size == entry.size && e.check == entry.check) {
                m_kept[m_formerAt++] = true;
                return;
            }
        }
    }
    m_entries.push_back(entry);
    m_entries.back().id = m_nextId++;
    m_index.Add(entry.key);
    std::string band(BandNameOfCode(record.band));
    for (char& c : band)
        c = c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    std::string_view mode = record.mode == "noMode" ? std::string_view() : std::string_view(record.mode);
    for (std::string_view field : {std::string_view(), std::string_view(record.call), std::string_view(band), mode,
                                   std::string_view(record.freq), std::string_view(record.grid),
                                   std::string_view(record.rstSent), std::string_view(record.rstRcvd)}) {
        if (field.data() == nullptr) {  // the date and time, as the record has them, to sort by
            m_text.append(r.date).append(" ").append(r.time);
        } else {
            m_text.append(field);
        }
        m_text += '\n';
    }
}

}  // namespace qsoferry
