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

namespace {

// A check of a file's last bytes: a new log the size of one counted before (the decoder started a
// new one, or the next claimed file) differs there, in its last contact if not before, and one
// small read costs nothing at every tick.
constexpr size_t kEndBytes = 1024;
std::uint64_t EndsCheck(DeliveryFiles& files, FileHandle file, std::uint64_t size) {
    char bytes[kEndBytes];
    const size_t want = static_cast<size_t>(std::min<std::uint64_t>(size, kEndBytes));
    size_t got = 0;
    if (want > 0 && !files.ReadFileAt(file, size - want, bytes, want, got).ok()) got = 0;
    return Crc32(std::string_view(bytes, got)) | static_cast<std::uint64_t>(got) << 32;
}

}  // namespace

// Counted again only when its size or its last bytes have changed: a claimed file never changes, and
// the decoder only ever adds to its log.
std::uint64_t Courier::CountCached(const std::string& path, std::uint64_t (&cache)[3]) {
    std::uint64_t size = 0;
    FileHandle file = kNoFile;
    if (!m_files.OpenFile(path, FileAccess::kPeek, file, size).ok()) {
        cache[0] = ~0ull;
        return 0;
    }
    const std::uint64_t ends = EndsCheck(m_files, file, size);
    m_files.CloseFile(file);
    if (size != cache[0] || ends != cache[1]) {
        std::optional<std::uint64_t> counted = CountContacts(m_files, path, &size);
        cache[0] = counted ? size : ~0ull;
        cache[1] = ends;
        cache[2] = counted.value_or(0);
    }
    return cache[2];
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
