// What waits for the logger, for the status line: contacts counted by the same reader that relays
// them, in files looked at without holding up the decoder.
#include <algorithm>

#include "relay/courier.h"

namespace qsoferry {

std::optional<std::uint64_t> CountContacts(DeliveryFiles& files, const std::string& path, std::uint64_t* size) {
    FileHandle file = kNoFile;
    std::uint64_t length = 0;
    if (!files.OpenFile(path, FileAccess::kPeek, file, length).ok()) return std::nullopt;
    if (size) *size = length;
    LogReader reader;
    QsoRecord record;
    std::uint64_t contacts = 0;
    for (LogReader::Step step; (step = reader.Next(record)) != LogReader::Step::kEnd;) {
        if (step == LogReader::Step::kContact) {
            contacts += record.IsEmpty() ? 0 : 1;
            continue;
        }
        size_t room = 0, got = 0;
        char* space = reader.Space(room);
        if (!files.ReadFileAt(file, reader.InputOffset(), space, room, got).ok()) got = 0;
        reader.Filled(got);
    }
    files.CloseFile(file);
    return contacts;
}

// Counted again only when its size has changed: a claimed file never changes, and the decoder
// only ever adds to its log.
std::uint64_t Courier::CountCached(const std::string& path, std::uint64_t (&cache)[2]) {
    std::uint64_t size = 0;
    FileHandle file = kNoFile;
    if (!m_files.OpenFile(path, FileAccess::kPeek, file, size).ok()) {
        cache[0] = ~0ull;
        return 0;
    }
    m_files.CloseFile(file);
    if (size != cache[0]) {
        std::optional<std::uint64_t> counted = CountContacts(m_files, path, &size);
        cache[0] = counted ? size : ~0ull;
        cache[1] = counted.value_or(0);
    }
    return cache[1];
}

std::uint64_t Courier::CountWaiting() {
    std::uint64_t claimed = CountCached(ClaimPath(), m_claimCount);
    if (claimed > 0) {
        Progress progress = m_progress;
        if (!m_reader) {
            // Not open here: as its progress says.
            FileResult read;
            DecodedProgress decoded = PeekProgress(m_files, ProgressPath(), read);
            progress = decoded.status == DecodedProgress::Status::kValid ? decoded.progress : Progress();
        }
        claimed = progress.complete ? 0 : claimed - std::min(claimed, progress.contacts);
    }
    return claimed + CountCached(LogPath(), m_logCount);
}

}  // namespace qsoferry
