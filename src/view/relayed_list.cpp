#include "view/relayed_list.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <tuple>

#include "relay/log_reader.h"
#include "relay/progress_record.h"
#include "relay/qso_record.h"
#include "relay/sent_copy.h"
#include "relay/text.h"

namespace qsoferry {

const char* const kRelayedHeaders[kRelayedColumns] = {
    "Date and time (UTC)", "Call", "Band", "Mode", "kHz", "Locator", "Sent", "Rcvd", "Folder"};

namespace {

constexpr size_t kReadSize = 64 * 1024;
// A record longer than this is none the bridge copied (it copies at most 1 MiB of a contact).
constexpr size_t kLongestLine = 2 * 1024 * 1024;
constexpr std::uint32_t kNotShown = ~0u;
constexpr size_t kStoredFields = kRelayedColumns - 1;  // the folder comes from the copy
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

std::string_view Trimmed(std::string_view s) {
    return text::TrimRightView(text::TrimLeftView(s));
}

std::string_view ValueOf(std::string_view piece) {
    size_t gt = piece.find('>');
    return gt == std::string_view::npos ? std::string_view() : Trimmed(piece.substr(gt + 1));
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
}

// Whether the copy is no longer the one read: shorter than what was read, or with other bytes
// just before where reading stopped.
bool RelayedList::Replaced(std::uint32_t index, FileHandle file, std::uint64_t size) {
    const Source& source = m_sources[index];
    if (size < source.readTo) return true;
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
    for (size_t i = 0; i < m_entries.size(); ++i) {
        if (drop[i]) continue;
        const Entry& e = m_entries[i];
        kept.push_back(e);
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
    bool overlong = false;
    for (std::uint64_t at = source.readTo; at < size;) {
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
    source.readTo = lineStart;
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
    if (overlong) {
        if (r.within == Within::kNothing) {
            ++source.skipped;
        } else {
            r.within = Within::kDamage;
            ++r.lines;
        }
        return;
    }
    std::string_view line = raw.substr(0, raw.size() - 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    std::string_view text = Trimmed(line);
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
        if (r.within == Within::kNothing) {
            ++source.skipped;
        } else {
            r.within = Within::kDamage;
            ++r.lines;
        }
        return;
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
                      index,   0};
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

// Every field in m_text ends with a line feed.
const char* RelayedList::FieldEnd(const char* field) const {
    return static_cast<const char*>(
        std::memchr(field, '\n', static_cast<size_t>(m_text.data() + m_text.size() - field)));
}

std::string_view RelayedList::Field(const Entry& entry, RelayedColumn column) const {
    if (column == RelayedColumn::kFolder) return m_sources[entry.source].copy.label;
    const char* p = m_text.data() + entry.text;
    for (size_t n = static_cast<size_t>(column); n > 0; --n)
        p = FieldEnd(p) + 1;
    const char* end = FieldEnd(p);
    return std::string_view(p, static_cast<size_t>(end - p));
}

std::string RelayedList::Text(size_t row, RelayedColumn column) const {
    std::string_view field = Field(m_entries[m_order[row]], column);
    if (column != RelayedColumn::kTime) return std::string(field);
    // "20261207 101500" as "2026-12-07 10:15"; anything else as it stands.
    size_t space = field.find(' ');
    std::string_view date = field.substr(0, space), time = field.substr(space + 1);
    auto digits = [](std::string_view s) {
        return std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
    };
    if (date.size() != 8 || !digits(date) || time.size() < 4 || !digits(time)) return std::string(Trimmed(field));
    return std::string(date.substr(0, 4)) + "-" + std::string(date.substr(4, 2)) + "-" + std::string(date.substr(6)) +
           " " + std::string(time.substr(0, 2)) + ":" + std::string(time.substr(2, 2));
}

const std::string& RelayedList::FolderOf(size_t row) const {
    return m_sources[m_entries[m_order[row]].source].copy.folder;
}

std::uint64_t RelayedList::SkippedLines() const {
    std::uint64_t skipped = 0;
    for (const Source& s : m_sources)
        skipped += s.skipped;
    return skipped;
}

std::string RelayedList::CountText() const {
    auto contacts = [](size_t n) { return std::to_string(n) + (n == 1 ? " contact" : " contacts"); };
    std::string line =
        Shown() == Total() ? contacts(Total()) : std::to_string(Shown()) + " of " + contacts(Total()) + " shown";
    if (std::uint64_t skipped = SkippedLines()) {
        line += "; " + std::to_string(skipped) + (skipped == 1 ? " line" : " lines") +
                " of the copies could not be read and " + (skipped == 1 ? "is" : "are") + " left out";
    }
    return line;
}

void RelayedList::SortBy(RelayedColumn column) {
    m_descending = column == m_sortColumn ? !m_descending : false;
    m_sortColumn = column;
    Arrange();
}

void RelayedList::Filter(std::string_view call) {
    std::string upper = text::ToUpper(Trimmed(call));
    if (upper == m_filter) return;
    m_filter = std::move(upper);
    Arrange();
}

void RelayedList::Arrange() {
    m_order.clear();
    for (std::uint32_t i = 0; i < m_entries.size(); ++i) {
        if (m_filter.empty() || Field(m_entries[i], RelayedColumn::kCall).find(m_filter) != std::string_view::npos)
            m_order.push_back(i);
    }
    // Each entry's key is looked up once, not at every comparison.
    const bool numeric = m_sortColumn == RelayedColumn::kFreq;
    std::vector<std::string_view> text(numeric ? 0 : m_entries.size());
    std::vector<double> number(numeric ? m_entries.size() : 0);
    for (std::uint32_t i : m_order) {
        std::string_view field = Field(m_entries[i], m_sortColumn);
        if (!numeric) {
            text[i] = field;
        } else {
            // Ended by '\n' in m_text: strtod stops there. An empty field counts as nothing.
            number[i] = field.empty() ? -1 : std::strtod(field.data(), nullptr);
        }
    }
    auto before = [&](std::uint32_t a, std::uint32_t b) {
        int order = numeric ? (number[a] < number[b] ? -1 : number[a] > number[b] ? 1 : 0) : text[a].compare(text[b]);
        if (order != 0) return m_descending ? order > 0 : order < 0;
        return a > b;  // the later read first
    };
    std::sort(m_order.begin(), m_order.end(), before);
    m_rowOf.assign(m_entries.size(), kNotShown);
    for (size_t row = 0; row < m_order.size(); ++row)
        m_rowOf[m_order[row]] = static_cast<std::uint32_t>(row);
}

std::optional<size_t> RelayedList::RowOf(std::uint32_t id) const {
    auto found = std::lower_bound(m_entries.begin(), m_entries.end(), id,
                                  [](const Entry& e, std::uint32_t i) { return e.id < i; });
    if (found == m_entries.end() || found->id != id) return std::nullopt;
    const std::uint32_t row = m_rowOf[static_cast<size_t>(found - m_entries.begin())];
    if (row == kNotShown) return std::nullopt;
    return row;
}

std::optional<std::string> RelayedList::Records(const std::vector<size_t>& rows, std::string& why) const {
    std::vector<std::uint32_t> ids;
    for (size_t row : rows)
        ids.push_back(m_order[row]);
    // Oldest first, as they were logged; a copy's own order within a minute.
    std::sort(ids.begin(), ids.end(), [&](std::uint32_t a, std::uint32_t b) {
        const Entry &ea = m_entries[a], &eb = m_entries[b];
        return std::make_tuple(Field(ea, RelayedColumn::kTime), ea.source, ea.at) <
               std::make_tuple(Field(eb, RelayedColumn::kTime), eb.source, eb.at);
    });
    std::string out = kCopyHeader;
    FileHandle file = kNoFile;
    std::uint32_t open = ~0u;
    std::string bytes;
    for (std::uint32_t id : ids) {
        const Entry& e = m_entries[id];
        if (e.source != open) {
            if (file != kNoFile) m_files.CloseFile(file);
            std::uint64_t size = 0;
            file = kNoFile;
            open = e.source;
            FileResult opened = m_files.OpenFile(m_sources[open].copy.path, FileAccess::kPeek, file, size);
            if (!opened.ok()) {
                why = "Cannot open " + m_sources[open].copy.path + ": " + opened.reason;
                return std::nullopt;
            }
        }
        bytes.assign(e.size, '\0');
        size_t got = 0;
        bool same = m_files.ReadFileAt(file, e.at, bytes.data(), bytes.size(), got).ok() && got == e.size &&
                    Crc32(bytes) == e.check;
        if (!same) {
            m_files.CloseFile(file);
            why = m_sources[open].copy.path + " has changed since the list was read. Close the list and open it again.";
            return std::nullopt;
        }
        out.append(bytes).append("\r\n");
    }
    if (file != kNoFile) m_files.CloseFile(file);
    return out;
}

}  // namespace qsoferry
