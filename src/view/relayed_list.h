// The contacts the logger took, as the Relayed Contacts window lists them: every record in the
// copies of contacts sent (sent_copy.h) of every folder the bridge relays, and in the copy of the
// engine that sends logs on purpose. The copies are only ever read, with full sharing, a little more
// at each Refresh as they grow; each contact is kept as one compact entry (where its record lies in
// its copy, a fingerprint of its bytes, and the few fields the list shows), so a list of a hundred
// thousand contacts costs a few megabytes.
//
// A copy is a header, then one record a line. A line that is not one whole record (a power cut can
// leave a record cut short, or a sector of zeros) is skipped and counted; lines of spaces pad the copy
// and are passed over. A last line without its line end may still be being written: it is read at the
// next Refresh, once it has one.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "relay/courier_io.h"
#include "relay/qso_record.h"

namespace qsoferry {

// One copy to list: where it lies, the folder Explorer opens for its rows, and what its rows say
// as their folder ("JTDX", a rig's name, "Sent on purpose").
struct CopySource {
    std::string path, folder, label;
};

enum class RelayedColumn { kTime, kCall, kBand, kMode, kFreq, kGrid, kSent, kRcvd, kFolder };
constexpr size_t kRelayedColumns = 9;
// The headers, in the order of RelayedColumn.
extern const char* const kRelayedHeaders[kRelayedColumns];

class RelayedList {
public:
    explicit RelayedList(DeliveryFiles& files) : m_files(files) {}

    // Reads what the copies hold beyond what was read before (a copy that has shrunk was replaced:
    // it is read again from its start). True when the rows changed.
    bool Refresh(const std::vector<CopySource>& sources);

    size_t Shown() const { return m_order.size(); }
    size_t Total() const { return m_entries.size(); }
    std::uint64_t SkippedLines() const;
    // "5 contacts", "2 of 5 contacts shown", with the lines skipped when there are any.
    std::string CountText() const;

    // A cell of the rows shown, in their order.
    std::string Text(size_t row, RelayedColumn column) const;
    const std::string& FolderOf(size_t row) const;

    // As Explorer sorts: by a column, ascending; the same column again turns the order round.
    // At first: by date and time, newest first. Ties stay newest relayed first.
    void SortBy(RelayedColumn column);
    RelayedColumn SortColumn() const { return m_sortColumn; }
    bool SortDescending() const { return m_descending; }
    // Only the rows whose call holds `call`, in any case; empty: all.
    void Filter(std::string_view call);

    // A row's contact, the same across Refresh, SortBy and Filter, to keep a selection by.
    std::uint32_t IdOf(size_t row) const { return m_order[row]; }
    std::optional<size_t> RowOf(std::uint32_t id) const;

    // The records of these rows as ADIF text: the copies' header, then each record byte for byte as
    // its copy holds it, on a line of its own, oldest contact first. Nothing when a copy no longer
    // holds a record as it was read (it was replaced meanwhile): `why` says so.
    std::optional<std::string> Records(const std::vector<size_t>& rows, std::string& why) const;

private:
    struct Source {
        CopySource copy;
        std::uint64_t readTo = 0;  // the start of the first line not read yet
        bool inHeader = true;
        bool started = false;  // a line of it has been read
        std::uint64_t skipped = 0;
    };
    // One contact: its record in its copy, and its fields in m_text, each ended by a '\n'.
    struct Entry {
        std::uint64_t at;
        std::uint32_t size;
        std::uint32_t check;  // of its bytes
        std::uint32_t text;
        std::uint32_t source;
    };

    bool ReadSource(std::uint32_t index);
    void TakeLine(std::uint32_t source, std::uint64_t at, std::string_view line);
    std::string_view Field(const Entry& entry, RelayedColumn column) const;
    const char* FieldEnd(const char* field) const;
    void Arrange();

    DeliveryFiles& m_files;
    std::unique_ptr<QsoRecord> m_record = std::make_unique<QsoRecord>();  // large: one for every line
    std::vector<Source> m_sources;
    std::vector<Entry> m_entries;  // in the order read
    std::string m_text;
    std::vector<std::uint32_t> m_order;  // the entries shown, in the order shown
    std::vector<std::uint32_t> m_rowOf;  // each entry's row, or kNotShown
    RelayedColumn m_sortColumn = RelayedColumn::kTime;
    bool m_descending = true;
    std::string m_filter;  // upper case
};

}  // namespace qsoferry
