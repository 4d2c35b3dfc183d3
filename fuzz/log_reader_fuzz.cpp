// Fuzzes the log reader with the export: any bytes, read by a reader holding them whole and by
// one with a small buffer fed in chunks, both of a size the input chooses, must give the same
// contacts (so lines longer than the buffer are covered); a reader resumed after a contact must
// give the rest; no export exceeds the logger's buffer. Sanitizers catch the rest.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "read_log.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const size_t chunk = 1 + data[0] % 64;
    const bool noFreq = data[0] & 0x80;
    const size_t buffer = qsoferry::LogReader::kMinBufferSize + (data[0] & 0x7f) * 4u;
    const std::string bytes(reinterpret_cast<const char*>(data) + 1, size - 1);
    using qsoferry::test::ReadLog;
    auto whole = ReadLog(bytes, qsoferry::LogReader::kChunkSize, noFreq);
    auto chunked = ReadLog(bytes, chunk, noFreq, {}, buffer);
    if (whole.records != chunked.records || whole.resume != chunked.resume || whole.empty != chunked.empty)
        std::abort();
    if (whole.empty && !whole.records.empty()) std::abort();
    for (const std::string& record : whole.records) {
        if (record.size() > qsoferry::kExportMaxBytes) std::abort();
    }
    if (!whole.records.empty()) {
        size_t k = whole.records.size() / 2;
        auto rest = ReadLog(bytes, chunk, noFreq, {whole.resume[k], k + 1}, buffer);
        if (!std::equal(rest.records.begin(), rest.records.end(), whole.records.begin() + static_cast<long>(k) + 1,
                        whole.records.end()) ||
            rest.records.size() != whole.records.size() - k - 1) {
            std::abort();
        }
    }
    return 0;
}
