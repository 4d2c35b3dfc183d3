#include "crash_disk.h"

#include <algorithm>

namespace qsoferry::test {

void CrashDisk::Apply(const Op& op, std::map<std::string, std::string>& files) {
    switch (op.kind) {
        case Op::kCreate:
            files.emplace(op.path, "");
            break;
        case Op::kMove: {
            auto it = files.find(op.path);
            if (it == files.end()) break;
            files[op.to] = it->second;
            files.erase(op.path);
            break;
        }
        case Op::kRemove:
            files.erase(op.path);
            break;
    }
}

void CrashDisk::Commit() {
    for (const Op& op : m_journal)
        Apply(op, m_durable);
    m_journal.clear();
}

void CrashDisk::Created(const std::string& path) {
    m_journal.push_back({Op::kCreate, path, ""});
}

void CrashDisk::Moved(const std::string& from, const std::string& to, bool durable) {
    m_journal.push_back({Op::kMove, from, to});
    // Unflushed data goes with the file (the bridge never renames a file it writes).
    auto it = m_unflushed.find(from);
    if (it != m_unflushed.end()) {
        m_unflushed[to] = std::move(it->second);
        m_unflushed.erase(it);
    }
    if (durable) Commit();
}

void CrashDisk::Removed(const std::string& path) {
    m_journal.push_back({Op::kRemove, path, ""});
    m_unflushed.erase(path);
}

void CrashDisk::Written(const std::string& path,
                        std::uint64_t offset,
                        const std::string& bytes,
                        bool flush,
                        const std::string& content) {
    if (!flush) {
        m_unflushed[path].emplace_back(offset, bytes);
        return;
    }
    Commit();
    m_durable[path] = content;
    m_unflushed.erase(path);
}

void CrashDisk::WrittenDurably(const std::string& path, const std::string& content) {
    Commit();
    m_durable[path] = content;
    m_unflushed.erase(path);
}

void CrashDisk::Settle() {
    Commit();
    for (const auto& [path, writes] : m_unflushed) {
        auto it = m_durable.find(path);
        if (it == m_durable.end()) continue;
        for (const auto& [offset, bytes] : writes) {
            if (it->second.size() < offset + bytes.size()) it->second.resize(offset + bytes.size(), '\0');
            it->second.replace(offset, bytes.size(), bytes);
        }
    }
    m_unflushed.clear();
}

std::map<std::string, std::string> CrashDisk::Cut(std::mt19937& rng) {
    std::map<std::string, std::string> files = m_durable;
    size_t kept = std::uniform_int_distribution<size_t>(0, m_journal.size())(rng);
    for (size_t i = 0; i < kept; ++i)
        Apply(m_journal[i], files);
    for (const auto& [path, writes] : m_unflushed) {
        auto it = files.find(path);
        if (it == files.end()) continue;  // its creation did not survive
        std::string old = it->second, now = old;
        for (const auto& [offset, bytes] : writes) {
            if (now.size() < offset + bytes.size()) now.resize(offset + bytes.size(), '\0');
            now.replace(offset, bytes.size(), bytes);
        }
        switch (std::uniform_int_distribution<int>(0, 2)(rng)) {
            case 0:  // kept
                it->second = now;
                break;
            case 1:  // dropped, the file perhaps at its new length with zeros
                if (rng() % 2) old.resize(now.size(), '\0');
                it->second = old;
                break;
            default: {  // torn: each sector written to comes back old, new, or damaged whole
                std::string torn = now;
                for (size_t sector = 0; sector * kSectorSize < now.size(); ++sector) {
                    const size_t begin = sector * kSectorSize, end = std::min(now.size(), begin + kSectorSize);
                    bool written = end > old.size();
                    for (const auto& [offset, bytes] : writes)
                        written = written || (offset < end && offset + bytes.size() > begin);
                    if (!written) continue;
                    switch (rng() % 3) {
                        case 0:
                            break;
                        case 1:
                            for (size_t k = begin; k < end; ++k)
                                torn[k] = k < old.size() ? old[k] : '\0';
                            break;
                        default:
                            for (size_t k = begin; k < end; ++k)
                                torn[k] = static_cast<char>(rng());
                    }
                }
                it->second = torn;
            }
        }
    }
    m_durable = files;
    m_journal.clear();
    m_unflushed.clear();
    return files;
}

}  // namespace qsoferry::test
