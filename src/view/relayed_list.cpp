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
    "Date and time (UTC)", "Call", "Band", "Mode", "kHz", "Locator", "Sent", "Rcvd", "Folder", "Times"};

namespace {

constexpr std::uint32_t kNotShown = ~0u;

}  // namespace

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
    if (column == RelayedColumn::kTimes) {
        const std::uint32_t times = m_index.Count(m_entries[m_order[row]].key);
        return times > 1 ? std::to_string(times) : std::string();
    }
    std::string_view field = Field(m_entries[m_order[row]], column);
    if (column != RelayedColumn::kTime) return std::string(field);
    // "20261207 101500" as "2026-12-07 10:15"; anything else as it stands.
    size_t space = field.find(' ');
    std::string_view date = field.substr(0, space), time = field.substr(space + 1);
    auto digits = [](std::string_view s) {
        return std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
    };
    if (date.size() != 8 || !digits(date) || time.size() < 4 || !digits(time)) return std::string(text::TrimView(field));
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
    std::string upper = text::ToUpper(text::TrimView(call));
    if (upper == m_filter) return;
    m_filter = std::move(upper);
    Arrange();
}

void RelayedList::ShowOnlyDoubles(bool only) {
    if (only == m_onlyDoubles) return;
    m_onlyDoubles = only;
    Arrange();
}

void RelayedList::Arrange() {
    m_order.clear();
    for (std::uint32_t i = 0; i < m_entries.size(); ++i) {
        if ((m_filter.empty() || Field(m_entries[i], RelayedColumn::kCall).find(m_filter) != std::string_view::npos) &&
            (!m_onlyDoubles || m_index.Count(m_entries[i].key) > 1))
            m_order.push_back(i);
    }
    // Each entry's key is looked up once, not at every comparison.
    const bool times = m_sortColumn == RelayedColumn::kTimes;
    const bool numeric = m_sortColumn == RelayedColumn::kFreq || times;
    std::vector<std::string_view> text(numeric ? 0 : m_entries.size());
    std::vector<double> number(numeric ? m_entries.size() : 0);
    for (std::uint32_t i : m_order) {
        if (times) {
            number[i] = m_index.Count(m_entries[i].key);
            continue;
        }
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
