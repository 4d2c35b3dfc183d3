// Fuzzes the progress record's decoding: any bytes either decode to nothing, to damage, or to a
// record whose slot is exactly what encoding that record gives (so no two texts mean one record);
// a slot of an earlier version, which says nothing of a copy or of what it lacks, to a record with
// empty ranges for them.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "relay/progress_record.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
    std::string_view bytes(reinterpret_cast<const char*>(data), size);
    qsoferry::DecodedProgress decoded = qsoferry::DecodeProgress(bytes);
    using Status = qsoferry::DecodedProgress::Status;
    if (size == 0 && decoded.status != Status::kNone) std::abort();
    if (decoded.status != Status::kValid) return 0;
    if (decoded.at >= size || decoded.slot != (decoded.at < qsoferry::kProgressPageSize ? 0 : 1)) std::abort();
    std::string_view slot = bytes.substr(decoded.at);
    const qsoferry::Progress& p = decoded.progress;
    if (slot.substr(0, 10) == "QSOFERRY1 " || slot.substr(0, 10) == "QSOFERRY2 ") {
        if (p.owedFrom != 0 || p.owedTo != 0) std::abort();
        if (slot[8] == '1' && (p.copyFrom != 0 || p.copyEnd != 0 || p.copyCrc != 0)) std::abort();
    } else if (slot.substr(0, qsoferry::kProgressSlotSize) != qsoferry::EncodeProgressSlot(p)) {
        std::abort();
    }
    if (decoded.olderValid && decoded.older.sequence > p.sequence) std::abort();
    qsoferry::DecodedProgress again = qsoferry::DecodeProgress(qsoferry::EncodeProgressSlot(decoded.progress));
    if (again.status != Status::kValid || !(again.progress == decoded.progress)) std::abort();
    return 0;
}
