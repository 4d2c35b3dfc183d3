// How long the Relayed Contacts window takes to open over many contacts, against reading the same
// copies with the preview tool:
//   qsoferry_relayed_open [--contacts N] [--dir DIR] [--rounds N]
// writes three copies as the bridge writes them (header, one record a line, padding now and then)
// holding N contacts in all (100,000), then times, round robin, the list read from nothing up to
// its first screen of cells (RelayedList::Refresh and the cells of 30 rows), and qsoferry-preview
// run over each copy with its output to /dev/null. Prints the medians, their ratio, and the list's
// growth of peak RSS, measured in the same run so that a noisy machine cancels out.
// Then File, Send a Log's check: a log of N contacts (the first copy's, and as many new ones) looked
// up in a list of the copies read from nothing (RelayedList::Refresh and SurveyLog), against the
// preview over that log.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/files.h"
#include "relay/log_survey.h"
#include "relay/sent_copy.h"
#include "view/relayed_list.h"

namespace {

using namespace qsoferry;

// The copies' files as the program opens them, on this machine's disk.
class DiskFiles : public DeliveryFiles {
public:
    bool CanOpenForReading(const std::string& path) override { return files::CanOpenForReading(path); }
    FileResult OpenFile(const std::string& path, FileAccess access, FileHandle& file, std::uint64_t& size) override {
        return files::Open(path, access, file, size);
    }
    FileResult ReadFileAt(FileHandle file, std::uint64_t offset, char* buffer, size_t size, size_t& got) override {
        return files::ReadAt(file, offset, buffer, size, got);
    }
    FileResult WriteFileAt(FileHandle file, std::uint64_t offset, const std::string& bytes, bool flush) override {
        return files::WriteAt(file, offset, bytes, flush);
    }
    FileResult FlushFile(FileHandle file) override { return files::Flush(file); }
    void CloseFile(FileHandle file) override { files::Close(file); }
    FileResult MoveFileNoReplace(const std::string& from, const std::string& to, bool durable) override {
        return files::MoveNoReplace(from, to, durable);
    }
    FileResult RemoveFile(const std::string& path) override { return files::Remove(path); }
    bool TryLock(const std::string&) override { return true; }
    void Unlock(const std::string&) override {}
    std::optional<std::string> LegacySpelling(const std::string& path) override { return path; }
};

void WriteCopy(const std::string& path, int contacts, std::uint64_t& seed) {
    std::FILE* out = std::fopen(path.c_str(), "wb");
    if (!out) {
        std::perror(path.c_str());
        std::exit(2);
    }
    std::fputs(kCopyHeader, out);
    auto next = [&seed] {
        seed = seed * 6364136223846793005ull + 1442695040888963407ull;
        return static_cast<unsigned>(seed >> 33);
    };
    static const char* const kBands[][2] = {{"20m", "14.074"}, {"40m", "7.074"}, {"80m", "3.573"}, {"6m", "50.313"}};
    for (int i = 0; i < contacts; ++i) {
        unsigned r = next();
        const auto& band = kBands[next() % 4];
        std::fprintf(out,
                     "<call:6>%c%c%u%c%c%c <gridsquare:4>%c%c%02u <mode:3>FT8 <rst_sent:3>-%02u <rst_rcvd:3>-%02u "
                     "<qso_date:8>2026%02u%02u <time_on:6>%02u%02u%02u <band:3>%s <freq:9>%s%03u "
                     "<station_callsign:5>K1ABC <tx_pwr:3>100 <comment:11>tnx for qso <eor>\r\n",
                     'A' + r % 26, 'A' + r / 26 % 26, r / 676 % 10, 'A' + r / 6760 % 26, 'A' + r / 175760 % 26,
                     'A' + next() % 26, 'A' + next() % 18, 'A' + next() % 18, next() % 100, next() % 25, next() % 25,
                     1 + next() % 12, 1 + next() % 28, next() % 24, next() % 60, next() % 60, band[0], band[1],
                     next() % 1000);
        if (i % 50 == 49) std::fputs("                                \r\n", out);  // a flush's padding
    }
    std::fclose(out);
}

double Seconds(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

double Preview(const std::vector<std::string>& copies) {
    std::fflush(stdout);
    auto start = std::chrono::steady_clock::now();
    for (const std::string& copy : copies) {
        pid_t pid = fork();
        if (pid == 0) {
            if (!std::freopen("/dev/null", "w", stdout)) _exit(127);
            execl(QSOFERRY_PREVIEW, QSOFERRY_PREVIEW, copy.c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
        int status = 0;
        waitpid(pid, &status, 0);
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            std::fprintf(stderr, "qsoferry-preview failed on %s\n", copy.c_str());
            std::exit(1);
        }
    }
    return Seconds(start);
}

long PeakRssKb() {
    struct rusage usage;
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    int contacts = 100000, rounds = 5;
    std::string dir = "/tmp";
    for (int i = 1; i + 1 < argc; i += 2) {
        std::string option = argv[i];
        if (option == "--contacts") contacts = std::atoi(argv[i + 1]);
        if (option == "--dir") dir = argv[i + 1];
        if (option == "--rounds") rounds = std::atoi(argv[i + 1]);
    }
    std::vector<CopySource> sources = {{dir + "/relayed-jtdx.adi", dir, "JTDX"},
                                       {dir + "/relayed-rig.adi", dir, "IC7300"},
                                       {dir + "/relayed-sending.adi", dir, "Sent on purpose"}};
    std::vector<std::string> copies;
    std::uint64_t seed = 20261208;
    const int share[] = {contacts * 6 / 10, contacts * 3 / 10, contacts - contacts * 6 / 10 - contacts * 3 / 10};
    for (size_t i = 0; i < sources.size(); ++i) {
        WriteCopy(sources[i].path, share[i], seed);
        copies.push_back(sources[i].path);
    }

    DiskFiles files;
    std::vector<double> opened, previewed;
    long rssBefore = PeakRssKb(), rssGrowth = 0;
    size_t shown = 0;
    for (int round = 0; round < rounds; ++round) {
        auto start = std::chrono::steady_clock::now();
        {
            RelayedList list(files);
            list.Refresh(sources);
            size_t cells = 0;
            for (size_t row = 0; row < std::min<size_t>(30, list.Shown()); ++row) {
                for (size_t column = 0; column < kRelayedColumns; ++column)
                    cells += list.Text(row, static_cast<RelayedColumn>(column)).size();
            }
            opened.push_back(Seconds(start));
            shown = list.Shown() + (cells == 0);
            rssGrowth = std::max(rssGrowth, PeakRssKb() - rssBefore);
        }
        previewed.push_back(Preview(copies));
    }
    // The log to send: the contacts of the first copy, as its bytes stand, and new ones.
    const std::string log = dir + "/relayed-log.adi";
    WriteCopy(log, contacts - share[0], seed);
    {
        std::FILE* from = std::fopen(copies[0].c_str(), "rb");
        std::FILE* to = std::fopen(log.c_str(), "ab");
        std::string bytes(std::strlen(kCopyHeader), '\0');
        if (!from || !to || std::fread(bytes.data(), 1, bytes.size(), from) != bytes.size()) return 2;
        for (size_t got; (got = std::fread(bytes.data(), 1, bytes.size(), from)) > 0;)
            std::fwrite(bytes.data(), 1, got, to);
        std::fclose(from);
        std::fclose(to);
    }
    std::vector<double> checked, previewedLog;
    std::uint64_t taken = 0;
    for (int round = 0; round < rounds; ++round) {
        auto start = std::chrono::steady_clock::now();
        RelayedList list(files);
        list.Refresh(sources);
        std::string why;
        std::optional<LogSurvey> survey =
            SurveyLog(files, log, [&list](std::uint64_t key) { return list.TimesHeld(key); }, why);
        checked.push_back(Seconds(start));
        taken = survey ? survey->taken : 0;
        previewedLog.push_back(Preview({log}));
    }
    std::remove(log.c_str());
    for (const std::string& copy : copies)
        std::remove(copy.c_str());
    if (taken != static_cast<std::uint64_t>(share[0])) {
        std::fprintf(stderr, "the check found %llu of %d contacts taken\n", static_cast<unsigned long long>(taken),
                     share[0]);
        return 1;
    }
    if (shown != static_cast<size_t>(contacts)) {
        std::fprintf(stderr, "the list shows %zu contacts of %d\n", shown, contacts);
        return 1;
    }
    const double open = Median(opened), preview = Median(previewed);
    std::printf("relayed list: %d contacts opened in %.3f s (median of %d); qsoferry-preview over the same copies "
                "%.3f s; ratio %.2f; peak RSS grew by %.1f MB\n",
                contacts, open, rounds, preview, open / preview, static_cast<double>(rssGrowth) / 1024.0);
    const double check = Median(checked), previewLog = Median(previewedLog);
    std::printf("send a log: %d contacts checked against %d relayed (%d of them taken) in %.3f s (median of %d); "
                "qsoferry-preview over the log %.3f s; ratio %.2f\n",
                contacts, contacts, share[0], check, rounds, previewLog, check / previewLog);
    return 0;
}
