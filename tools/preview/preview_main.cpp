// qsoferry-preview [--no-freq] FILE
// Shows what the bridge would send to the logger for a decoder log, one export record a line,
// with the bridge's own reader and export. The file is read in chunks, never changed.
// Exit: 0 records written; 1 the file holds nothing; 2 the file cannot be read; 64 usage.
#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "preview_io.h"
#include "relay/export_record.h"
#include "relay/log_reader.h"

namespace {

constexpr int kExitEmpty = 1;
constexpr int kExitUnreadable = 2;
constexpr int kExitUsage = 64;
constexpr const char kSourceEmptyText[] = "The source file is empty";
// The file is read in blocks of this size, which is all the reader holds: a few large reads cost
// less than many small ones, and memory stays bounded all the same.
constexpr size_t kReadSize = 256 * 1024;

int Usage() {
    qsoferry::preview::SayError("usage: qsoferry-preview [--no-freq] FILE");
    return kExitUsage;
}

int CannotRead(const std::string& file, int err) {
    qsoferry::preview::SayError("qsoferry-preview: cannot read " + file + ": " + std::strerror(err));
    return kExitUnreadable;
}

}  // namespace

int main(int argc, char** argv) {
    using namespace qsoferry::preview;
    bool noFreq = false;
    std::string file;
    for (const std::string& argument : Arguments(argc, argv)) {
        if (argument == "--no-freq") {
            noFreq = true;
        } else if (argument.size() > 1 && argument[0] == '-') {
            return Usage();
        } else if (file.empty()) {
            file = argument;
        } else {
            return Usage();
        }
    }
    if (file.empty()) return Usage();

    std::FILE* in = OpenForReading(file);
    if (!in) return CannotRead(file, errno);
    // The records are composed straight into a block of output, written when it is nearly full:
    // one write a block rather than a stdio call a record.
    static char out[256 * 1024];
    size_t used = 0;
    auto flush = [&used] {
        bool written = std::fwrite(out, 1, used, stdout) == used;
        used = 0;
        return written;
    };

    qsoferry::LogReader reader(qsoferry::LogReader::Start(), kReadSize);
    qsoferry::QsoRecord record;
    std::uint64_t position = 0;  // where the file stands
    for (;;) {
        qsoferry::LogReader::Step step = reader.Next(record);
        if (step == qsoferry::LogReader::Step::kEnd) break;
        if (step == qsoferry::LogReader::Step::kNeedInput) {
            size_t room = 0;
            char* space = reader.Space(room);
            if (reader.InputOffset() != position && !SeekTo(in, reader.InputOffset())) {
                int err = errno;
                std::fclose(in);
                return CannotRead(file, err);
            }
            size_t got = std::fread(space, 1, std::min(room, kReadSize), in);
            position = reader.InputOffset() + got;
            if (got == 0 && std::ferror(in)) {
                int err = errno;
                std::fclose(in);
                return CannotRead(file, err);
            }
            reader.Filled(got);
            continue;
        }
        if (sizeof out - used <= qsoferry::kExportMaxBytes && !flush()) break;
        used += qsoferry::ComposeExport(record, noFreq, out + used);
        out[used++] = '\n';
    }
    std::fclose(in);
    if (!flush() || std::fflush(stdout) != 0) return kExitUnreadable;
    if (reader.IsEmpty()) {
        SayError(kSourceEmptyText);
        return kExitEmpty;
    }
    return 0;
}
