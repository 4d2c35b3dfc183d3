// qsoferry-preview [--no-freq] FILE
// Shows what the bridge would send to the logger for a decoder log, one export record a line,
// with the bridge's own reader and export. The file is read in chunks, never changed.
// Exit: 0 records written; 1 the file holds nothing; 2 the file cannot be read; 64 usage.
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "relay/export_record.h"
#include "relay/log_reader.h"

namespace {

constexpr int kExitEmpty = 1;
constexpr int kExitUnreadable = 2;
constexpr int kExitUsage = 64;
constexpr const char kSourceEmptyText[] = "The source file is empty";

int Usage() {
    std::fprintf(stderr, "usage: qsoferry-preview [--no-freq] FILE\n");
    return kExitUsage;
}

// The reader asks for input from an offset of its own: it goes back to read a line longer than
// its buffer a second time.
bool SeekTo(std::FILE* in, std::uint64_t offset) {
#ifdef _WIN32
    return _fseeki64(in, static_cast<__int64>(offset), SEEK_SET) == 0;
#else
    return fseeko(in, static_cast<off_t>(offset), SEEK_SET) == 0;
#endif
}

int CannotRead(const std::string& file, int err) {
    std::fprintf(stderr, "qsoferry-preview: cannot read %s: %s\n", file.c_str(), std::strerror(err));
    return kExitUnreadable;
}

}  // namespace

int main(int argc, char** argv) {
    bool noFreq = false;
    std::string file;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--no-freq") == 0) {
            noFreq = true;
        } else if (argv[i][0] == '-' && argv[i][1] != '\0') {
            return Usage();
        } else if (file.empty()) {
            file = argv[i];
        } else {
            return Usage();
        }
    }
    if (file.empty()) return Usage();

    std::FILE* in = std::fopen(file.c_str(), "rb");
    if (!in) return CannotRead(file, errno);
    static char outBuffer[256 * 1024];
    std::setvbuf(stdout, outBuffer, _IOFBF, sizeof outBuffer);

    qsoferry::LogReader reader;
    qsoferry::QsoRecord record;
    char line[qsoferry::kExportMaxBytes + 1];
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
            size_t got = std::fread(space, 1, std::min(room, qsoferry::LogReader::kChunkSize), in);
            position = reader.InputOffset() + got;
            if (got == 0 && std::ferror(in)) {
                int err = errno;
                std::fclose(in);
                return CannotRead(file, err);
            }
            reader.Filled(got);
            continue;
        }
        size_t length = qsoferry::ComposeExport(record, noFreq, line);
        line[length] = '\n';
        std::fwrite(line, 1, length + 1, stdout);
    }
    std::fclose(in);
    if (std::fflush(stdout) != 0) return kExitUnreadable;
    if (reader.IsEmpty()) {
        std::fprintf(stderr, "%s\n", kSourceEmptyText);
        return kExitEmpty;
    }
    return 0;
}
