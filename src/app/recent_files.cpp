#include "app/recent_files.h"

#include <algorithm>

#include "relay/text.h"

namespace qsoferry {

void RecentFileList::Add(const std::string& path) {
    // Windows paths: the same file in another letter case is the same entry.
    auto same = [&](const std::string& entry) { return text::EqualsNoCase(entry, path); };
    m_entries.erase(std::remove_if(m_entries.begin(), m_entries.end(), same), m_entries.end());
    m_entries.insert(m_entries.begin(), path);
    if (m_entries.size() > m_capacity) m_entries.resize(m_capacity);
}

void RecentFileList::Load(const std::vector<std::string>& entries) {
    m_entries.clear();
    for (const std::string& entry : entries) {
        if (!entry.empty() && m_entries.size() < m_capacity) m_entries.push_back(entry);
    }
}

}  // namespace qsoferry
