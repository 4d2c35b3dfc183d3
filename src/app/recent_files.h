// The recent-file list the framework keeps in the registry profile: newest first, at most four,
// a path listed once whatever its letter case.
#pragma once

#include <string>
#include <vector>

namespace qsoferry {

class RecentFileList {
public:
    explicit RecentFileList(size_t capacity) : m_capacity(capacity) {}

    void Add(const std::string& path);
    // Entries as stored: empty ones are skipped and the capacity is kept.
    void Load(const std::vector<std::string>& entries);
    const std::vector<std::string>& Entries() const { return m_entries; }
    size_t Capacity() const { return m_capacity; }

private:
    size_t m_capacity;
    std::vector<std::string> m_entries;
};

}  // namespace qsoferry
