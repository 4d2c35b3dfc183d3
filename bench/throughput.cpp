// Throughput and memory of the preview tool against its limits, on a deterministic decoder-style log:
//   qsoferry_throughput [--mb N] [--small-mb N] [--dir DIR] [--rounds N]
// writes the logs once (seeded; one contact a line, CRLF, header first), then times, round robin,
// a memchr scan for "<" (the limit), a plain getline reader that splits the same fields (the naive
// baseline) and qsoferry-preview with its output to /dev/null, each in a process of its own. Prints
// median MB/s, peak RSS and the ratios, measured in the same run so that a noisy machine cancels out.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

namespace {

// A deterministic log of about `megabytes` MB.
void WriteLog(const std::string& path, size_t megabytes) {
    std::FILE* out = std::fopen(path.c_str(), "wb");
    if (!out) {
        std::perror(path.c_str());
        std::exit(2);
    }
    std::fputs("WSJT-X ADIF Export<eoh>\r\n", out);
    static const char* const kModes[][2] = {{"FT8", ""}, {"MFSK", "FT4"}, {"JT65", ""}, {"SSB", ""}};
    static const char* const kBands[][2] = {{"20m", "14.074"}, {"40m", "7.074"}, {"80m", "3.573"}, {"6m", "50.313"}};
    std::uint64_t seed = 20261207;
    auto next = [&seed] {
        seed = seed * 6364136223846793005ull + 1442695040888963407ull;
        return static_cast<unsigned>(seed >> 33);
    };
    size_t written = 0;
    char line[512];
    while (written < megabytes * 1000000) {
        unsigned r = next();
        char call[8];
        std::snprintf(call, sizeof call, "%c%c%u%c%c%c", 'A' + r % 26, 'A' + r / 26 % 26, r / 676 % 10,
                      'A' + r / 6760 % 26, 'A' + r / 175760 % 26, 'A' + next() % 26);
        const auto& mode = kModes[next() % 4];
        const auto& band = kBands[next() % 4];
        char submode[32] = "";
        if (*mode[1]) std::snprintf(submode, sizeof submode, " <submode:3>%s", mode[1]);
        int n = std::snprintf(
            line, sizeof line,
            "<call:6>%s <gridsquare:4>%c%c%02u <mode:%zu>%s%s <rst_sent:3>-%02u <rst_rcvd:3>-%02u "
            "<qso_date:8>2026%02u%02u <time_on:6>%02u%02u%02u <qso_date_off:8>20261207 <time_off:6>101545 "
            "<band:3>%s <freq:9>%s%03u <station_callsign:5>K1ABC <my_gridsquare:6>FN42HN <tx_pwr:3>100 "
            "<comment:11>tnx for qso <name:4>Hans <eor>\r\n",
            call, 'A' + next() % 18, 'A' + next() % 18, next() % 100, std::strlen(mode[0]), mode[0], submode,
            next() % 25, next() % 25, 1 + next() % 12, 1 + next() % 28, next() % 24, next() % 60, next() % 60,
            band[0], band[1], next() % 1000);
        std::fwrite(line, 1, static_cast<size_t>(n), out);
        written += static_cast<size_t>(n);
    }
    std::fclose(out);
}

int Scan(const char* path) {
    std::FILE* in = std::fopen(path, "rb");
    if (!in) return 2;
    static char buffer[1 << 16];
    size_t count = 0, got;
    while ((got = std::fread(buffer, 1, sizeof buffer, in)) > 0) {
        for (const char* p = buffer; (p = static_cast<const char*>(std::memchr(p, '<', buffer + got - p))); ++p)
            ++count;
    }
    std::fclose(in);
    std::printf("%zu\n", count);
    return 0;
}

// The simplest reader: a line at a time, every tag cut into a name and a value of its own.
int Getline(const char* path) {
    std::ifstream in(path, std::ios::binary);
    std::string line;
    size_t fields = 0, bytes = 0;
    while (std::getline(in, line)) {
        size_t pos = 0;
        while ((pos = line.find('<', pos)) != std::string::npos) {
            size_t end = line.find('<', pos + 1);
            std::string piece = line.substr(pos + 1, end == std::string::npos ? std::string::npos : end - pos - 1);
            std::string name = piece.substr(0, piece.find(':'));
            size_t gt = piece.find('>');
            std::string value = gt == std::string::npos ? std::string() : piece.substr(gt + 1);
            ++fields;
            bytes += name.size() + value.size();
            pos = end == std::string::npos ? line.size() : end;
        }
    }
    std::printf("%zu %zu\n", fields, bytes);
    return 0;
}

struct Run {
    double seconds;
    long maxRssKb;
};

Run Measure(const std::vector<std::string>& args) {
    std::fflush(stdout);
    auto start = std::chrono::steady_clock::now();
    pid_t pid = fork();
    if (pid == 0) {
        if (!std::freopen("/dev/null", "w", stdout)) _exit(127);
        std::vector<char*> argv;
        for (const std::string& a : args)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        _exit(127);
    }
    int status = 0;
    struct rusage usage;
    wait4(pid, &status, 0, &usage);
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "%s failed\n", args[0].c_str());
        std::exit(1);
    }
    return {seconds, usage.ru_maxrss};
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "scan") == 0) return Scan(argv[2]);
    if (argc == 3 && std::strcmp(argv[1], "getline") == 0) return Getline(argv[2]);
    size_t mb = 300, smallMb = 30;
    int rounds = 3;
    std::string dir = ".";
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--mb") == 0) mb = std::strtoul(argv[i + 1], nullptr, 10);
        if (std::strcmp(argv[i], "--small-mb") == 0) smallMb = std::strtoul(argv[i + 1], nullptr, 10);
        if (std::strcmp(argv[i], "--dir") == 0) dir = argv[i + 1];
        if (std::strcmp(argv[i], "--rounds") == 0) rounds = std::atoi(argv[i + 1]);
    }
    char self[4096];
    ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    if (n <= 0) return 2;
    self[n] = '\0';
    const std::string preview = QSOFERRY_PREVIEW;

    std::printf("%-10s %-16s %10s %12s\n", "log", "reader", "MB/s", "peak RSS MB");
    bool met = true;
    for (size_t size : {smallMb, mb}) {
        const std::string path = dir + "/bench-" + std::to_string(size) + "mb.adi";
        if (std::ifstream(path).peek() == EOF) WriteLog(path, size);
        std::ifstream probe(path, std::ios::binary | std::ios::ate);
        const double megabytes = static_cast<double>(probe.tellg()) / 1e6;
        const std::vector<std::vector<std::string>> readers = {
            {self, "scan", path}, {self, "getline", path}, {preview, path}};
        const char* names[] = {"memchr scan", "getline split", "qsoferry-preview"};
        std::vector<std::vector<double>> rates(3);
        std::vector<long> rss(3, 0);
        Measure(readers[0]);  // the file into the page cache
        for (int round = 0; round < rounds; ++round) {
            for (size_t r = 0; r < readers.size(); ++r) {
                Run run = Measure(readers[r]);
                rates[r].push_back(megabytes / run.seconds);
                rss[r] = std::max(rss[r], run.maxRssKb);
            }
        }
        double median[3];
        for (int r = 0; r < 3; ++r) {
            median[r] = Median(rates[r]);
            std::printf("%-10s %-16s %10.0f %12.1f\n", (std::to_string(size) + " MB").c_str(), names[r], median[r],
                        static_cast<double>(rss[r]) / 1024.0);
        }
        double toGetline = median[2] / median[1], toScan = median[2] / median[0];
        double rssMb = static_cast<double>(rss[2]) / 1024.0;
        std::printf("%-10s preview / getline %.2fx (target >= 3), preview / memchr %.0f%% (target >= 25%%), "
                    "preview peak RSS %.1f MB (target <= 64 MiB)\n\n",
                    "", toGetline, 100 * toScan, rssMb);
        if (size == mb) met = toGetline >= 3 && toScan >= 0.25 && rss[2] <= 64 * 1024;
    }
    std::printf(met ? "targets met\n" : "targets NOT met\n");
    return 0;
}
