// The same contact, as loggers mean it: two records whose call, QSO date, time on (to the minute),
// band and mode agree, compared as the logger receives them: the call in capitals, the band's code
// (from the frequency when the record names no band the rules know), the mode with its submode as
// the export writes it. A record without a call, a date or a time is never the same as another.
//
// Contacts are compared by a 64-bit hash of those fields: among a million contacts, the odds that
// two different ones share a key are below one in ten million.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "relay/qso_record.h"

namespace qsoferry {

constexpr std::uint64_t kNoContactKey = 0;

// The key of a record the reader has given (its end-of-record rules applied, or not, as the
// reader gives a record without its end-of-record tag); kNoContactKey when it has none.
std::uint64_t ContactKeyOf(const QsoRecord& record);

// The band code ("0".."23") a frequency falls in, given as the record keeps it (kHz, "14074.00");
// empty when it is none of the bands.
std::string_view BandCodeOfKhz(std::string_view khz);

// How many times each key stands in a collection of contacts: eight bytes a contact, sorted.
class ContactIndex {
public:
    void Add(std::uint64_t key) {
        if (key != kNoContactKey) m_added.push_back(key);
    }
    void Clear() {
        m_sorted.clear();
        m_added.clear();
    }
    // Takes in what was added since: call it before Count.
    void Settle();
    std::uint32_t Count(std::uint64_t key) const;

private:
    std::vector<std::uint64_t> m_sorted, m_added;
};

}  // namespace qsoferry
