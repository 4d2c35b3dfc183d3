// Fuzzes the progress record's decoding: any bytes either decode to nothing, to damage, or to a
// record whose slot is exactly what encoding that record gives (so no two texts mean one record);
// a slot of an earlier version, which says nothing of a copy, to a record with an empty copy range.
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
    if (decoded.slot < 0 || decoded.slot > 1) std::abort();
    std::string_view slot = bytes.substr(qsoferry::ProgressSlotAt(decoded.slot, size));
    const qsoferry::Progress& p = decoded.progress;
    if (slot.substr(0, 10) == "QSOFERRY1 ") {
        if (p.copyFrom != 0 || p.copyEnd != 0 || p.copyCrc != 0) std::abort();
    } else if (slot.substr(0, qsoferry::kProgressSlotSize) != qsoferry::EncodeProgressSlot(p)) {
        std::abort();
    }
    if (decoded.olderValid && decoded.older.sequence > p.sequence) std::abort();
    qsoferry::DecodedProgress again = qsoferry::DecodeProgress(qsoferry::EncodeProgressSlot(decoded.progress));
    if (again.status != Status::kValid || !(again.progress == decoded.progress)) std::abort();
    return 0;
}
