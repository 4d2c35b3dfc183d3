#include "relay/sent_copy.h"

#include <algorithm>

namespace qsoferry {

std::string CopyPadding(std::uint64_t end) {
    size_t n = static_cast<size_t>((kCopySector - end % kCopySector) % kCopySector);
    if (n == 0) return {};
    if (n < 2) n += kCopySector;
    return std::string(n - 2, ' ') + "\r\n";
}

FileResult SentCopy::Open(const std::string& path) {
    Close();
    return m_files.OpenFile(path, FileAccess::kReadWrite, m_file, m_size);
}

void SentCopy::Close() {
    if (m_file != kNoFile) m_files.CloseFile(m_file);
    m_file = kNoFile;
}

// The CRC-32 of the copy's bytes from `from` to `to`, read in pieces.
bool SentCopy::Crc(std::uint64_t from, std::uint64_t to, std::uint32_t& crc) {
    crc = 0;
    char bytes[4096];
    while (from < to) {
        size_t got = 0;
        size_t want = static_cast<size_t>(std::min<std::uint64_t>(sizeof bytes, to - from));
        if (!m_files.ReadFileAt(m_file, from, bytes, want, got).ok() || got == 0) return false;
        crc = Crc32(crc, std::string_view(bytes, got));
        from += got;
    }
    return true;
}

bool SentCopy::Holds(const Progress& progress) {
    if (m_file == kNoFile || progress.copyEnd == 0 || m_size < progress.copyFrom) return true;
    std::uint32_t crc = 0;
    return progress.copyEnd <= m_size && Crc(progress.copyFrom, progress.copyEnd, crc) && crc == progress.copyCrc;
}

FileResult SentCopy::Begin(const Progress* verified, Progress& p) {
    const std::string header = kCopyHeader + CopyPadding(sizeof kCopyHeader - 1);
    if (m_size <= header.size()) {
        // New, or a power cut came while it was being made: made again.
        std::string begun(static_cast<size_t>(m_size), '\0');
        size_t got = 0;
        if (!begun.empty()) m_files.ReadFileAt(m_file, 0, begun.data(), begun.size(), got);
        begun.resize(got);
        if (begun != header) {
            FileResult written = m_files.WriteFileAt(m_file, 0, header, true);
            if (!written.ok()) return written;
            m_size = header.size();
        }
    }
    char last = 0;
    size_t got = 0;
    FileResult read = m_files.ReadFileAt(m_file, m_size - 1, &last, 1, got);
    if (!read.ok()) return read;
    const std::string fix = last == '\n' ? "" : "\r\n";
    const bool goesOn = verified && verified->copyEnd != 0 && verified->copyFrom <= m_size;
    p.copyFrom = goesOn ? verified->copyFrom : m_size;
    if (!Crc(p.copyFrom, m_size, p.copyCrc)) return {FileStatus::kFailed, "it cannot be read"};
    if (!fix.empty()) {
        FileResult written = m_files.WriteFileAt(m_file, m_size, fix, false);
        if (!written.ok()) return written;
        p.copyCrc = Crc32(p.copyCrc, fix);
    }
    p.copyEnd = m_size + fix.size();
    return {};
}

SentCopy::Write SentCopy::Plan(std::uint64_t size, std::uint32_t crc, bool flush, Progress& p) {
    Write write;
    write.at = p.copyEnd;
    write.tail = "\r\n";
    if (flush) write.tail += CopyPadding(p.copyEnd + size + write.tail.size());
    p.copyEnd += size + write.tail.size();
    p.copyFrom = flush ? p.copyEnd : p.copyFrom;
    p.copyCrc = flush ? 0 : Crc32(crc, write.tail);
    return write;
}

FileResult SentCopy::Append(FileHandle source, std::uint64_t from, std::uint64_t to, Progress& p, bool& textRead) {
    std::uint32_t crc = p.copyCrc;
    FileResult written = CopyInPieces(
        source, from, to, m_file, p.copyEnd,
        [&](FileHandle file, std::uint64_t at, char* buffer, size_t want, size_t& got) {
            return m_files.ReadFileAt(file, at, buffer, want, got);
        },
        [&](FileHandle file, std::uint64_t at, const std::string& bytes, bool flush) {
            crc = Crc32(crc, bytes);
            return m_files.WriteFileAt(file, at, bytes, flush);
        },
        textRead);
    if (written.ok()) written = m_files.WriteFileAt(m_file, p.copyEnd + (to - from), "\r\n", false);
    if (!written.ok()) return written;
    p.copyEnd += (to - from) + 2;
    p.copyCrc = Crc32(crc, "\r\n");
    return {};
}

FileResult SentCopy::Flush(Progress& p) {
    if (m_file == kNoFile || p.copyFrom == p.copyEnd) return {};
    const std::string padding = CopyPadding(p.copyEnd);
    FileResult written = m_files.WriteFileAt(m_file, p.copyEnd, padding, true);
    if (!written.ok()) return written;
    p.copyEnd += padding.size();
    p.copyFrom = p.copyEnd;
    p.copyCrc = 0;
    return {};
}

}  // namespace qsoferry
