// qsoferry-preview [--no-freq] FILE
// Shows what the bridge would send to the logger for a decoder log, one export record a line,
// by running the bridge's own engine on it. The file is never changed.
// Exit: 0 records written; 1 the file holds nothing; 2 the file cannot be read; 64 usage.
#include <cstdio>
#include <cstring>
#include <string>

#include "platform/files.h"
#include "preview_platform.h"
#include "view/qsoferry_view.h"

namespace {

constexpr int kExitEmpty = 1;
constexpr int kExitUnreadable = 2;
constexpr int kExitUsage = 64;

int Usage() {
    std::fprintf(stderr, "usage: qsoferry-preview [--no-freq] FILE\n");
    return kExitUsage;
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

    std::string bytes;
    qsoferry::FileResult readable = qsoferry::files::ReadWholeFile(file, bytes);
    if (!readable.ok()) {
        std::fprintf(stderr, "qsoferry-preview: cannot read %s: %s\n", file.c_str(), readable.reason.c_str());
        return kExitUnreadable;
    }

    qsoferry::PreviewPlatform platform(noFreq, stdout, stderr);
    {
        qsoferry::CQsoferryView view(platform);
        view.SetLogPath(file);
        view.OnTimer(qsoferry::kPollTimerId);
    }
    std::fflush(stdout);
    if (platform.SentAnything()) return 0;
    return platform.LastMessage() == qsoferry::kSourceEmptyText ? kExitEmpty : kExitUnreadable;
}
