// What of the bridge's files a power cut leaves, as NTFS behaves, for the fake platform:
//  - File data written since the file's last flush is held in memory. At a cut each file's
//    unflushed data is kept, dropped, or torn at sector boundaries. A file extended since its last
//    flush may come back at its new length with zeros where its new sectors did not land.
//  - Sectors are 512 bytes, and no write is assumed atomic, not even one sector's: after a cut a
//    sector written since the last flush holds its old bytes, its new ones, or garbage throughout.
//  - Metadata (create, rename, remove) is journaled and survives a cut as a prefix, in order.
//  - A flush of any file commits the whole journal, and makes that file's data durable.
//  - A move made durably (write-through) commits the journal with it.
//  - What the test itself writes is durable at once, the journal before it; but the decoder's log
//    is written as the decoder writes it, without a flush (memory_disk.h).
// The disk that holds the files (memory_disk.h) tells it of every change, by path.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <random>
#include <string>
#include <vector>

namespace qsoferry::test {

class CrashDisk {
public:
    static constexpr size_t kSectorSize = 512;

    void Created(const std::string& path);
    void Moved(const std::string& from, const std::string& to, bool durable);
    void Removed(const std::string& path);
    // `content` is the whole file as it is after the write.
    void Written(const std::string& path,
                 std::uint64_t offset,
                 const std::string& bytes,
                 bool flush,
                 const std::string& content);
    void WrittenDurably(const std::string& path, const std::string& content);
    // The file was flushed as it stands (`content`).
    void Flushed(const std::string& path, const std::string& content) { WrittenDurably(path, content); }

    // The system's lazy writer has put everything on the disk, as it does within seconds.
    void Settle();
    // The files as a cut leaves them, by path; afterwards that is all durable.
    std::map<std::string, std::string> Cut(std::mt19937& rng);

private:
    struct Op {
        enum Kind { kCreate, kMove, kRemove } kind;
        std::string path, to;
    };
    static void Apply(const Op& op, std::map<std::string, std::string>& files);
    void Commit();

    std::map<std::string, std::string> m_durable;  // as a cut right now would leave them, data aside
    std::vector<Op> m_journal;
    std::map<std::string, std::vector<std::pair<std::uint64_t, std::string>>> m_unflushed;
};

}  // namespace qsoferry::test
