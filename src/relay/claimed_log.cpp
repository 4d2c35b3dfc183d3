#include "relay/claimed_log.h"

#include <algorithm>
#include <cstdio>

#include "relay/progress_record.h"
#include "relay/text.h"

namespace qsoferry {
namespace {

std::string Hex(std::uint32_t value) {
    char text[9];
    std::snprintf(text, sizeof text, "%08x", static_cast<unsigned>(value));
    return text;
}

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

constexpr size_t kScanPiece = 64 * 1024;

}  // namespace

ClaimedLog::~ClaimedLog() {
    Close();
    if (m_locked) m_files.Unlock(m_lockName);
}

void ClaimedLog::SetLogPath(const std::string& logPath) {
    m_logPath = logPath;
    m_claimPath = logPath + ".qsoferry";
    m_progressPath = m_claimPath + ".progress";
    // Named from the path as bridges from before Unicode paths spelt it, so that they and this one
    // agree on it.
    std::optional<std::string> spelling = m_files.LegacySpelling(logPath);
    m_lockName = "Qsoferry delivery " + Hex(Crc32(text::ToUpper(spelling ? *spelling : logPath)));
}

bool ClaimedLog::TakeLock() {
    if (!m_locked) m_locked = m_files.TryLock(m_lockName);
    return m_locked;
}

FileResult ClaimedLog::Claim() {
    if (!m_files.CanOpenForReading(m_logPath)) return {FileStatus::kNotFound, ""};
    return m_files.MoveFileNoReplace(m_logPath, m_claimPath, false);
}

FileResult ClaimedLog::Open(std::uint64_t& size) {
    Close();
    // Opened to read first: opened to write, a missing file would be made.
    FileResult opened = m_files.OpenFile(m_claimPath, FileAccess::kRead, m_file, size);
    if (!opened.ok()) return opened;
    Close();
    // The decoder appends and closes without a flush: what it wrote may still be only in the
    // system's cache, and a progress record must never count on bytes a power cut can take back.
    // A flush needs a handle that may write; the file is only ever read through the other. A file
    // that may not be written (read-only, or held by another reader) is relayed unflushed: its
    // bytes were written long before, and it must not stop its contacts.
    FileHandle writable = kNoFile;
    FileResult flushed = m_files.OpenFile(m_claimPath, FileAccess::kReadWrite, writable, size);
    if (flushed.ok()) flushed = m_files.FlushFile(writable);
    if (writable != kNoFile) m_files.CloseFile(writable);
    if (!flushed.ok() && writable != kNoFile) return flushed;
    return m_files.OpenFile(m_claimPath, FileAccess::kRead, m_file, size);
}

FileResult ClaimedLog::Fill(LogReader& reader) {
    size_t room = 0, got = 0;
    char* space = reader.Space(room);
    FileResult read =
        m_files.ReadFileAt(m_file, reader.InputOffset(), space, std::min(room, LogReader::kChunkSize), got);
    if (read.ok()) reader.Filled(got);
    return read;
}

FileResult ClaimedLog::Read(std::uint64_t from, std::uint64_t to, std::string& bytes) {
    bytes.resize(static_cast<size_t>(to - from));
    size_t done = 0;
    while (done < bytes.size()) {
        size_t got = 0;
        FileResult read = m_files.ReadFileAt(m_file, from + done, &bytes[done], bytes.size() - done, got);
        if (!read.ok()) return read;
        if (got == 0) break;
        done += got;
    }
    bytes.resize(done);
    return {};
}

// Its bytes from `from` to `to`, a piece at a time: out of the reader's buffer when it holds them.
template <typename Take>
FileResult ClaimedLog::Pieces(const LogReader& reader, std::uint64_t from, std::uint64_t to, Take take) {
    std::string_view held;
    std::string piece;
    while (from < to) {
        const std::uint64_t end = std::min<std::uint64_t>(to, from + kScanPiece);
        if (!reader.Held(from, end, held)) {
            FileResult read = Read(from, end, piece);
            if (!read.ok()) return read;
            if (piece.empty()) return {FileStatus::kFailed, "the file ends before the contact does"};
            held = piece;
        }
        if (!take(from, held)) return {};
        from += held.size();
    }
    return {};
}

FileResult ClaimedLog::RecordSpan(const LogReader& reader, std::uint64_t& from, std::uint64_t& to, std::uint32_t& crc) {
    from = reader.RecordStart();
    to = reader.ResumeOffset();
    // Its first tag, however much comes before it.
    bool found = false;
    FileResult result = Pieces(reader, from, to, [&](std::uint64_t at, std::string_view bytes) {
        const size_t tag = bytes.find('<');
        found = tag != std::string_view::npos;
        from = at + (found ? tag : bytes.size());
        return !found;
    });
    if (!result.ok()) return result;
    if (!found) {
        from = to;
        return {};
    }
    // Its end, before the blanks after it: looked for a piece at a time from the end back.
    for (bool ended = false; !ended && to > from;) {
        const std::uint64_t begin = to - std::min<std::uint64_t>(to - from, kScanPiece);
        result = Pieces(reader, begin, to, [&](std::uint64_t, std::string_view bytes) {
            size_t n = bytes.size();
            while (n > 0 && IsBlank(bytes[n - 1]))
                --n;
            ended = n > 0;
            to = begin + n;
            return false;
        });
        if (!result.ok()) return result;
    }
    return Pieces(reader, from, to, [&](std::uint64_t, std::string_view bytes) {
        crc = Crc32(crc, bytes);
        return true;
    });
}

void ClaimedLog::Close() {
    if (m_file != kNoFile) m_files.CloseFile(m_file);
    m_file = kNoFile;
}

void ClaimedLog::PutBack() {
    Close();
    m_files.RemoveFile(m_progressPath);
    if (!m_files.MoveFileNoReplace(m_claimPath, m_logPath, false).ok()) {
        m_files.RemoveFile(m_claimPath);  // a new log took its place; this one held nothing
    }
}

FileResult ClaimedLog::Remove() {
    Close();
    FileResult removed = m_files.RemoveFile(m_claimPath);
    if (removed.ok()) m_files.RemoveFile(m_progressPath);
    return removed;
}

}  // namespace qsoferry
