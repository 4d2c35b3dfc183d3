#include "relay/log_survey.h"

#include <algorithm>

#include "relay/contact_key.h"
#include "relay/log_reader.h"
#include "relay/progress_record.h"

namespace qsoferry {

std::optional<LogSurvey> SurveyLog(DeliveryFiles& files,
                                   const std::string& path,
                                   const std::function<std::uint32_t(std::uint64_t)>& timesTaken,
                                   std::string& why) {
    FileHandle file = kNoFile;
    std::uint64_t size = 0;
    FileResult result = files.OpenFile(path, FileAccess::kPeek, file, size);
    if (!result.ok()) {
        why = "Cannot open " + path + ": " + result.reason;
        return std::nullopt;
    }
    LogSurvey survey;
    LogReader reader;
    auto record = std::make_unique<QsoRecord>();
    bool first = true;
    std::string lastDate;
    for (LogReader::Step step; (step = reader.Next(*record)) != LogReader::Step::kEnd;) {
        if (step == LogReader::Step::kContact) {
            if (first) survey.fresh.push_back({0, reader.RecordStart()});
            first = false;
            if (record->IsEmpty()) continue;  // a stray end-of-record tag: never sent
            ++survey.contacts;
            const std::uint64_t key = ContactKeyOf(*record);
            if (key != kNoContactKey && timesTaken(key) > 0) {
                ++survey.taken;
                lastDate = std::max(lastDate, std::string(record->qsoDate.data(), 8));  // a key's date is 8 digits
            } else if (survey.fresh.back().to == reader.RecordStart()) {
                survey.fresh.back().to = reader.ResumeOffset();  // a run of new ones: one span, whatever its length
            } else {
                survey.fresh.push_back({reader.RecordStart(), reader.ResumeOffset()});
            }
            continue;
        }
        size_t room = 0, got = 0;
        char* space = reader.Space(room);
        const std::uint64_t at = reader.InputOffset();
        result = files.ReadFileAt(file, at, space, room, got);
        if (!result.ok()) break;
        // A line longer than the reader holds is read twice: each byte is checked once.
        if (at + got > survey.size) {
            const size_t skip = static_cast<size_t>(survey.size - at);
            survey.check = Crc32(survey.check, std::string_view(space + skip, got - skip));
            survey.size = at + got;
        }
        reader.Filled(got);
    }
    // The reader stops at a "*" line or a Ctrl-Z: the rest is checked too, so that the copy can
    // tell the file unchanged from its first byte to its last.
    std::string rest(64 * 1024, '\0');
    for (size_t got = 1; result.ok() && got > 0; survey.size += got) {
        result = files.ReadFileAt(file, survey.size, rest.data(), rest.size(), got);
        if (result.ok()) survey.check = Crc32(survey.check, std::string_view(rest.data(), got));
    }
    files.CloseFile(file);
    if (!result.ok()) {
        why = "Cannot read " + path + ": " + result.reason;
        return std::nullopt;
    }
    if (!lastDate.empty())
        survey.lastTaken = lastDate.substr(0, 4) + "-" + lastDate.substr(4, 2) + "-" + lastDate.substr(6);
    return survey;
}

FileResult WriteFreshContacts(DeliveryFiles& files,
                              const std::string& path,
                              const LogSurvey& survey,
                              FileHandle target) {
    FileHandle file = kNoFile;
    std::uint64_t size = 0;
    FileResult result = files.OpenFile(path, FileAccess::kPeek, file, size);
    if (!result.ok()) return result;
    const FileResult changed{FileStatus::kFailed, "it has changed since its contacts were counted; send it again"};
    if (size != survey.size) result = changed;
    std::string chunk(64 * 1024, '\0'), out;
    std::uint32_t check = 0;
    std::uint64_t written = 0;
    auto span = survey.fresh.begin();
    for (std::uint64_t at = 0; result.ok() && at < survey.size;) {
        size_t got = 0;
        const size_t want = static_cast<size_t>(std::min<std::uint64_t>(chunk.size(), survey.size - at));
        result = files.ReadFileAt(file, at, chunk.data(), want, got);
        if (!result.ok()) break;
        if (got == 0) {
            result = changed;
            break;
        }
        const std::uint64_t end = at + got;
        check = Crc32(check, std::string_view(chunk.data(), got));
        for (; span != survey.fresh.end() && span->from < end; ++span) {
            const std::uint64_t from = std::max(span->from, at), to = std::min(span->to, end);
            if (from < to) out.append(chunk, static_cast<size_t>(from - at), static_cast<size_t>(to - from));
            if (span->to > end) break;  // goes on in the next piece
        }
        if (out.size() >= chunk.size()) {
            result = files.WriteFileAt(target, written, out, false);
            written += out.size();
            out.clear();
        }
        at = end;
    }
    if (result.ok() && !out.empty()) result = files.WriteFileAt(target, written, out, false);
    if (result.ok() && check != survey.check) result = changed;
    files.CloseFile(file);
    return result;
}

}  // namespace qsoferry
