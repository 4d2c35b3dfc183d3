// Fuzzes the progress record's decoding: any bytes either decode to nothing, to damage, or to a
// record whose slot is exactly what encoding that record gives (so no two texts mean one record).
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
    size_t at = qsoferry::ProgressSlotAt(decoded.slot, size);
    if (bytes.substr(at, qsoferry::kProgressSlotSize) != qsoferry::EncodeProgressSlot(decoded.progress)) std::abort();
    qsoferry::DecodedProgress again = qsoferry::DecodeProgress(qsoferry::EncodeProgressSlot(decoded.progress));
    if (again.status != Status::kValid || !(again.progress == decoded.progress)) std::abort();
    return 0;
}
