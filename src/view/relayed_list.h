// The contacts the logger took, as the Relayed Contacts window lists them: every record in the
// copies of contacts sent (sent_copy.h) of every folder the bridge relays, and in the copy of the
// engine that sends logs on purpose. The copies are only ever read, with full sharing, a little more
// at each Refresh as they grow; each contact is kept as one compact entry (where its record lies in
// its copy, a check of its bytes, and the few fields the list shows), so a list of a hundred
// thousand contacts costs a few megabytes.
//
// A copy is a header, then each record as its source wrote it, its own line breaks included, each
// beginning a line and ending at its end-of-record tag. A record's lines are read as the log reader
// reads them, up to that tag. What is not one whole record is skipped, and its lines counted:
//  - a record cut short by a power cut: the next line that begins with the tag it began with (or a
//    second CALL) starts a new record, unless a counted value runs over that line break;
//  - lines holding control bytes (a torn sector's zeros) or a "*" (the log reader would stop
//    there), a line not beginning with a tag between records, anything after an end-of-record tag
//    on its line (records run together), a record longer than the bridge ever copies.
// Lines of spaces pad the copy and are passed over. A record not ended yet may still be being
// written: it is read on at the next Refresh.
//
// Each contact is also counted by its key (contact_key.h): how many times the copies hold the same
// contact tells what went to the logger more than once.
//
// A contact keeps its id for as long as the list lives: a copy replaced, cut or gone keeps the ids
// of the records it still holds where they were, and an id is never given to another contact.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "relay/contact_key.h"
#include "relay/courier_io.h"
#include "relay/qso_record.h"

namespace qsoferry {

// One copy to list: where it lies, the folder Explorer opens for its rows, and what its rows say
// as their folder ("JTDX", a rig's name, "Sent on purpose").
struct CopySource {
    std::string path, folder, label;
};

// kTimes: how many times the copies hold the contact, when more than once.
enum class RelayedColumn { kTime, kCall, kBand, kMode, kFreq, kGrid, kSent, kRcvd, kFolder, kTimes };
constexpr size_t kRelayedColumns = 10;
// The headers, in the order of RelayedColumn.
extern const char* const kRelayedHeaders[kRelayedColumns];

class RelayedList {
public:
    explicit RelayedList(DeliveryFiles& files) : m_files(files) {}

    // Reads what the copies hold beyond what was read before. A copy that has shrunk or whose bytes
    // read before have changed was replaced: it is read again from its start. One that cannot be
    // opened keeps its rows, unless it is missing at two Refreshes in a row. True when the rows
    // changed.
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
    // Only the contacts the copies hold more than once, or all.
    void ShowOnlyDoubles(bool only);
    bool OnlyDoubles() const { return m_onlyDoubles; }

    // How many times the copies hold the contact of this key (ContactKeyOf).
    std::uint32_t TimesHeld(std::uint64_t key) const { return m_index.Count(key); }

    // A row's contact, the same across Refresh, SortBy and Filter, to keep a selection by.
    std::uint32_t IdOf(size_t row) const { return m_entries[m_order[row]].id; }
    std::optional<size_t> RowOf(std::uint32_t id) const;

    // The records of these rows as ADIF text: the copies' header, then each record byte for byte as
    // its copy holds it (its line breaks included) and a line end, oldest contact first. Nothing
    // when a copy no longer holds a record as it was read (it was replaced meanwhile): `why` says so.
    std::optional<std::string> Records(const std::vector<size_t>& rows, std::string& why) const;

private:
    // Where the reading of a copy stands between two lines: outside a record, in one, or in a
    // stretch that is no whole record.
    enum class Within { kNothing, kRecord, kDamage };
    struct Reading {
        Within within = Within::kNothing;
        std::uint64_t start = 0;     // where the record's first tag lies
        std::uint64_t lines = 0;     // its lines that are not blank
        std::uint64_t valueEnd = 0;  // where the last counted value begun ends
        std::uint32_t check = 0;     // of its bytes so far
        bool hasCall = false;        // a line before gave it a CALL
        std::string firstTag;        // the name its first tag has, upper case
        std::string date, time;
        std::unique_ptr<QsoRecord> record = std::make_unique<QsoRecord>();  // large: one a copy
    };
    struct Source {
        CopySource copy;
        std::uint64_t readTo = 0;  // the start of the first line not read yet, or how far an overlong one was
        bool overlong = false;     // in a line too long to be a record, not ended yet
        bool inHeader = true;
        bool started = false;  // a line of it has been read
        std::uint64_t skipped = 0;
        Reading reading;
        // To tell a copy replaced: its last record read (where it lies and a check of its bytes),
        // or, before any, a check of the bytes just before readTo.
        std::uint64_t lastAt = 0;
        std::uint32_t lastSize = 0, lastCheck = 0;
        std::uint32_t tail = 0;
        int missing = 0;  // Refreshes in a row it was not found at
    };
    // One contact: its record in its copy, and its fields in m_text, each ended by a '\n'.
    struct Entry {
        std::uint64_t at;
        std::uint32_t size;
        std::uint32_t check;  // of its bytes
        std::uint32_t text;
        std::uint32_t source;
        std::uint32_t id;  // rising with the entry's place in m_entries
        std::uint64_t key;
    };

    bool ReadSource(std::uint32_t index);
    bool Replaced(std::uint32_t index, FileHandle file, std::uint64_t size);
    void Drop(const std::vector<bool>& drop);
    void Restart(Source& source);
    void TakeLine(std::uint32_t source, std::uint64_t at, std::string_view raw, bool overlong);
    void ReadPieces(std::uint32_t source, std::uint64_t at, std::string_view raw, std::string_view text);
    void EndRecord(std::uint32_t source, std::uint64_t end);
    std::string_view Field(const Entry& entry, RelayedColumn column) const;
    const char* FieldEnd(const char* field) const;
    void Arrange();

    DeliveryFiles& m_files;
    std::vector<Source> m_sources;
    std::vector<Entry> m_entries;  // in the order read
    std::uint32_t m_nextId = 0;
    // While a replaced copy is read again: its entries read before, in the order read, and how
    // many of them have been passed; the ones found again keep their place and id.
    std::vector<std::uint32_t> m_former;
    size_t m_formerAt = 0;
    std::vector<bool> m_kept;
    std::string m_text;
    std::vector<std::uint32_t> m_order;  // the entries shown, in the order shown
    std::vector<std::uint32_t> m_rowOf;  // each entry's row, or kNotShown
    RelayedColumn m_sortColumn = RelayedColumn::kTime;
    bool m_descending = true;
    std::string m_filter;  // upper case
    bool m_onlyDoubles = false;
    ContactIndex m_index;  // of every entry's key
};

}  // namespace qsoferry
