// Reads a whole log through the streaming reader, fed at most `chunk` bytes at a time, for the
// tests and the fuzzer: the export of every contact, where reading resumes after each, and whether
// the file was empty. A reader with a buffer of `bufferSize` bytes reads it; 0 gives one that
// holds the whole log, so that no line is long to it.
#pragma once

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include <cstdio>

#include "relay/export_record.h"
#include "relay/log_reader.h"
#include "relay/progress_record.h"

namespace qsoferry::test {

// A progress slot as versions before the copy wrote it: they are still read.
inline std::string EncodeV1(const Progress& p) {
    char line[kProgressSlotSizeV1 + 1];
    std::snprintf(line, sizeof line, "QSOFERRY1 %016llx %016llx %016llx %c ",
                  static_cast<unsigned long long>(p.sequence), static_cast<unsigned long long>(p.offset),
                  static_cast<unsigned long long>(p.contacts), p.complete ? '1' : '0');
    std::snprintf(line + 63, sizeof line - 63, "%08x\n", static_cast<unsigned>(Crc32(std::string_view(line, 63))));
    return line;
}

// A progress slot as versions with a copy and without what it lacks wrote it: still read.
inline std::string EncodeV2(const Progress& p) {
    char line[kProgressSlotSizeV2 + 1];
    std::snprintf(line, sizeof line, "QSOFERRY2 %016llx %016llx %016llx %c %016llx %016llx %08x ",
                  static_cast<unsigned long long>(p.sequence), static_cast<unsigned long long>(p.offset),
                  static_cast<unsigned long long>(p.contacts), p.complete ? '1' : '0',
                  static_cast<unsigned long long>(p.copyFrom), static_cast<unsigned long long>(p.copyEnd),
                  static_cast<unsigned>(p.copyCrc));
    std::snprintf(line + 106, sizeof line - 106, "%08x\n", static_cast<unsigned>(Crc32(std::string_view(line, 106))));
    return line;
}

struct ReadResult {
    std::vector<std::string> records;
    std::vector<std::uint64_t> resume;
    bool empty = false;
};

inline ReadResult ReadLog(const std::string& bytes,
                          size_t chunk = LogReader::kChunkSize,
                          bool noFreq = false,
                          LogReader::Start start = {},
                          size_t bufferSize = 0) {
    LogReader reader(start, bufferSize != 0 ? bufferSize : std::max(LogReader::kChunkSize, bytes.size() + 1));
    QsoRecord record;
    ReadResult out;
    for (;;) {
        LogReader::Step step = reader.Next(record);
        if (step == LogReader::Step::kEnd) break;
        if (step == LogReader::Step::kNeedInput) {
            size_t room = 0;
            char* space = reader.Space(room);
            std::uint64_t at = reader.InputOffset();
            size_t n = at >= bytes.size() ? 0 : std::min({room, chunk, bytes.size() - static_cast<size_t>(at)});
            std::copy_n(bytes.data() + at, n, space);
            reader.Filled(n);
            continue;
        }
        out.records.push_back(ComposeExport(record, noFreq));
        out.resume.push_back(reader.ResumeOffset());
    }
    out.empty = reader.IsEmpty();
    return out;
}

}  // namespace qsoferry::test
