// Fuzzes the log reader with the export: any bytes, read whole and in chunks of a size the input
// chooses, must give the same contacts; a reader resumed after a contact must give the rest; no
// export exceeds the logger's buffer. Sanitizers catch the rest.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "relay/export_record.h"
#include "relay/log_reader.h"

namespace {

struct Read {
    std::vector<std::string> records;
    std::vector<std::uint64_t> resume;
    bool empty = false;
};

Read ReadLog(const std::string& bytes, size_t chunk, bool noFreq, qsoferry::LogReader::Start start = {}) {
    qsoferry::LogReader reader(start);
    qsoferry::QsoRecord record;
    Read out;
    std::string text;
    for (;;) {
        auto step = reader.Next(record);
        if (step == qsoferry::LogReader::Step::kEnd) break;
        if (step == qsoferry::LogReader::Step::kNeedInput) {
            size_t room = 0;
            char* space = reader.Space(room);
            std::uint64_t at = reader.InputOffset();
            size_t n = at >= bytes.size() ? 0 : std::min({room, chunk, bytes.size() - static_cast<size_t>(at)});
            std::copy_n(bytes.data() + at, n, space);
            reader.Filled(n);
            continue;
        }
        qsoferry::ComposeExport(record, noFreq, text);
        if (text.size() > qsoferry::kExportMaxBytes) std::abort();
        out.records.push_back(text);
        out.resume.push_back(reader.ResumeOffset());
    }
    out.empty = reader.IsEmpty();
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const size_t chunk = 1 + data[0] % 64;
    const bool noFreq = data[0] & 0x80;
    const std::string bytes(reinterpret_cast<const char*>(data) + 1, size - 1);
    Read whole = ReadLog(bytes, qsoferry::LogReader::kChunkSize, noFreq);
    Read chunked = ReadLog(bytes, chunk, noFreq);
    if (whole.records != chunked.records || whole.resume != chunked.resume || whole.empty != chunked.empty)
        std::abort();
    if (whole.empty && !whole.records.empty()) std::abort();
    if (!whole.records.empty()) {
        size_t k = whole.records.size() / 2;
        Read rest = ReadLog(bytes, chunk, noFreq, {whole.resume[k], k + 1});
        if (!std::equal(rest.records.begin(), rest.records.end(), whole.records.begin() + static_cast<long>(k) + 1,
                        whole.records.end()) ||
            rest.records.size() != whole.records.size() - k - 1) {
            std::abort();
        }
    }
    return 0;
}
