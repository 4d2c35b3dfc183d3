// Fuzzes File, Send a Log's "only the new ones": any bytes as the chosen log, any contacts of it
// taken before (as the first byte picks them by their keys). The copy made of the fresh ones, read
// as the bridge reads a log, gives exactly the contacts not taken, in order, as the log gave them;
// the survey counts them as the reader does, in as many spans as runs of them; a log changed after
// its survey is never copied.
#include <cstdint>
#include <cstdlib>
#include <map>
#include <string>

#include "memory_files.h"
#include "read_log.h"
#include "relay/contact_key.h"
#include "relay/log_survey.h"

namespace {

using namespace qsoferry;

// The contacts a log gives that carry a field, as export records, each with whether it was taken.
std::vector<std::pair<std::string, bool>> Contacts(const std::string& bytes, unsigned shift, size_t* empty = nullptr) {
    LogReader reader;
    QsoRecord record;
    std::vector<std::pair<std::string, bool>> out;
    for (LogReader::Step step; (step = reader.Next(record)) != LogReader::Step::kEnd;) {
        if (step == LogReader::Step::kContact) {
            if (record.IsEmpty() && empty) ++*empty;
            if (!record.IsEmpty()) {
                const std::uint64_t key = ContactKeyOf(record);
                out.emplace_back(ComposeExport(record, false), key != kNoContactKey && (key >> shift & 1));
            }
            continue;
        }
        size_t room = 0;
        char* space = reader.Space(room);
        const std::uint64_t at = reader.InputOffset();
        const size_t n = at >= bytes.size() ? 0 : std::min(room, bytes.size() - static_cast<size_t>(at));
        std::copy_n(bytes.data() + at, n, space);
        reader.Filled(n);
    }
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const unsigned shift = data[0] % 64;
    MemoryFiles files;
    std::string& log = files.files["log"];
    std::string& copy = files.files["new"];  // made first: its handle is 2
    log.assign(reinterpret_cast<const char*>(data) + 1, size - 1);
    std::string why;
    std::optional<LogSurvey> survey = SurveyLog(
        files, "log", [shift](std::uint64_t key) { return static_cast<std::uint32_t>(key >> shift & 1); }, why);
    if (!survey) std::abort();
    size_t empty = 0;
    const auto contacts = Contacts(log, shift, &empty);
    std::vector<std::string> fresh;
    std::uint64_t taken = 0;
    for (const auto& [text, wasTaken] : contacts) {
        if (wasTaken)
            ++taken;
        else
            fresh.push_back(text);
    }
    if (survey->contacts != contacts.size() || survey->taken != taken || survey->size != log.size()) std::abort();
    // A run of new contacts is one span: as many as the contacts that break runs, and the header.
    if (survey->fresh.size() > taken + empty + 1) std::abort();
    if (!WriteFreshContacts(files, "log", *survey, 2).ok()) std::abort();
    std::vector<std::string> copied;
    for (const auto& [text, wasTaken] : Contacts(copy, 64 - 1)) {
        (void)wasTaken;
        copied.push_back(text);
    }
    if (copied != fresh) std::abort();
    // Changed after the survey, in place: not copied.
    if (!log.empty()) {
        log[log.size() / 2] ^= 1;
        copy.clear();
        if (WriteFreshContacts(files, "log", *survey, 2).ok()) std::abort();
    }
    return 0;
}
