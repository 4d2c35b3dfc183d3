#include "view/relayed_list.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <tuple>

#include "relay/log_reader.h"
#include "relay/qso_record.h"
#include "relay/sent_copy.h"
#include "relay/text.h"

namespace qsoferry {

const char* const kRelayedHeaders[kRelayedColumns] = {
    "Date and time (UTC)", "Call", "Band", "Mode", "kHz", "Locator", "Sent", "Rcvd", "Folder"};

namespace {

constexpr size_t kReadSize = 64 * 1024;
// A line longer than this is no record the bridge copied (it copies at most 1 MiB of a contact).
constexpr size_t kLongestLine = 2 * 1024 * 1024;
constexpr std::uint32_t kNotShown = ~0u;
constexpr size_t kStoredFields = kRelayedColumns - 1;  // the folder comes from the copy

// A check of a record's bytes, to tell whether its copy still holds it: 64 bits at a time.
std::uint32_t Fingerprint(std::string_view bytes) {
    std::uint64_t hash = 0x9E3779B97F4A7C15ull ^ bytes.size();
    size_t i = 0;
    for (; i + 8 <= bytes.size(); i += 8) {
        std::uint64_t word;
        std::memcpy(&word, bytes.data() + i, 8);
        hash = (hash ^ word) * 0xFF51AFD7ED558CCDull;
        hash ^= hash >> 32;
    }
    for (; i < bytes.size(); ++i)
        hash = (hash ^ static_cast<unsigned char>(bytes[i])) * 0xC4CEB9FE1A85EC53ull;
    return static_cast<std::uint32_t>(hash ^ hash >> 29);
}

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

std::string_view Trimmed(std::string_view s) {
    while (!s.empty() && IsBlank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && IsBlank(s.back()))
        s.remove_suffix(1);
    return s;
}

bool NameIs(std::string_view piece, std::string_view name) {
    if (piece.size() <= name.size() || (piece[name.size()] != ':' && piece[name.size()] != '>')) return false;
    for (size_t i = 0; i < name.size(); ++i) {
        if (text::ToUpper(piece[i]) != name[i]) return false;
    }
    return true;
}

std::string_view ValueOf(std::string_view piece) {
    size_t gt = piece.find('>');
    return gt == std::string_view::npos ? std::string_view() : Trimmed(piece.substr(gt + 1));
}

// The record a line of the copy holds, from its first tag to its end-of-record tag, read piece by
// piece as the log reader reads a line; false when the line is not one whole record.
bool ParseCopyLine(std::string_view line, QsoRecord& record, std::string_view& date, std::string_view& time) {
    if (line.empty() || line.front() != '<') return false;
    for (char c : line) {
        if (static_cast<unsigned char>(c) < 0x20 && c != '\t') return false;  // a torn sector's zeros, say
    }
    record.Reset();
    date = time = {};
    size_t at = 1;
    for (;;) {
        size_t next = line.find('<', at);
        std::string_view piece = line.substr(at, next == std::string_view::npos ? std::string_view::npos : next - at);
        if (ParsePiece(piece, record) == PieceKind::kEndOfRecord) {
            // The end of the line, and of the record: anything after it is a line run together.
            if (next != std::string_view::npos || !ValueOf(piece).empty() || piece.find('>') == piece.npos)
                return false;
            record.Finish();
            return true;
        }
        if (NameIs(piece, "QSO_DATE")) date = ValueOf(piece);
        if (NameIs(piece, "TIME_ON")) time = ValueOf(piece);
        if (next == std::string_view::npos) return false;  // cut short
        at = next + 1;
    }
}

}  // namespace

bool RelayedList::Refresh(const std::vector<CopySource>& sources) {
    bool changed = false;
    for (const CopySource& copy : sources) {
        auto found =
            std::find_if(m_sources.begin(), m_sources.end(), [&](const Source& s) { return s.copy.path == copy.path; });
        if (found == m_sources.end()) {
            m_sources.push_back(Source{copy});
            found = m_sources.end() - 1;
        }
        changed = ReadSource(static_cast<std::uint32_t>(found - m_sources.begin())) || changed;
    }
    if (changed) Arrange();
    return changed;
}

bool RelayedList::ReadSource(std::uint32_t index) {
    FileHandle file = kNoFile;
    std::uint64_t size = 0;
    // Full sharing: the engine goes on writing, and the operator may move the copy away meanwhile.
    if (!m_files.OpenFile(m_sources[index].copy.path, FileAccess::kPeek, file, size).ok()) size = 0;
    Source& source = m_sources[index];
    bool changed = false;
    if (size < source.readTo) {
        // Replaced or taken away: what was read of it is no longer there to send again.
        std::vector<Entry> kept;
        std::string text;
        for (const Entry& e : m_entries) {
            if (e.source == index) continue;
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
        source.readTo = 0;
        source.inHeader = true;
        source.started = false;
        source.skipped = 0;
        changed = true;
    }
    if (file == kNoFile) return changed;
    std::string chunk(kReadSize, '\0'), line;
    std::uint64_t lineStart = source.readTo;
    bool overlong = false;
    const size_t before = m_entries.size();
    const std::uint64_t skippedBefore = source.skipped;
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
            const size_t end = lf ? static_cast<size_t>(lf - chunk.data()) : got;
            if (!overlong && line.size() + (end - i) <= kLongestLine) {
                line.append(chunk, i, end - i);
            } else {
                overlong = true;
                line.clear();
            }
            if (!lf) break;
            if (!line.empty() && line.back() == '\r') line.pop_back();
            if (overlong) {
                ++source.skipped;
            } else {
                TakeLine(index, lineStart, line);
            }
            line.clear();
            overlong = false;
            i = end + 1;
            lineStart = at + i;
        }
        at += got;
    }
    m_files.CloseFile(file);
    source.readTo = lineStart;
    return changed || m_entries.size() != before || source.skipped != skippedBefore;
}

void RelayedList::TakeLine(std::uint32_t index, std::uint64_t at, std::string_view line) {
    Source& source = m_sources[index];
    std::string_view text = Trimmed(line);
    if (text.empty()) return;  // padding
    if (source.inHeader) {
        // The header runs to its end tag; a file whose first line begins with a tag has none.
        const bool first = !source.started;
        source.started = true;
        if (!first || text.front() != '<' || text::ToUpper(text).find("<EOH>") != std::string::npos) {
            source.inHeader = text::ToUpper(text).find("<EOH>") == std::string::npos;
            return;
        }
        source.inHeader = false;
    }
    QsoRecord& record = *m_record;
    std::string_view date, time;
    if (!ParseCopyLine(text, record, date, time)) {
        ++source.skipped;
        return;
    }
    const std::uint64_t textAt = at + static_cast<std::uint64_t>(text.data() - line.data());
    m_entries.push_back(Entry{textAt, static_cast<std::uint32_t>(text.size()), Fingerprint(text),
                              static_cast<std::uint32_t>(m_text.size()), index});
    std::string band(BandNameOfCode(record.band));
    for (char& c : band)
        c = c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    std::string_view mode = record.mode == "noMode" ? std::string_view() : std::string_view(record.mode);
    for (std::string_view field : {std::string_view(), std::string_view(record.call), std::string_view(band), mode,
                                   std::string_view(record.freq), std::string_view(record.grid),
                                   std::string_view(record.rstSent), std::string_view(record.rstRcvd)}) {
        if (field.data() == nullptr) {  // the date and time, as the record has them, to sort by
            m_text.append(date).append(" ").append(time);
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
    if (id >= m_rowOf.size() || m_rowOf[id] == kNotShown) return std::nullopt;
    return m_rowOf[id];
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
                    Fingerprint(bytes) == e.check;
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
