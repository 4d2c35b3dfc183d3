// The application's profile in the registry, laid out as the framework lays it out:
// HKEY_CURRENT_USER\Software\<registry key>\<application name>\Recent File List, values File1..File4.
#pragma once

#include <string>
#include <vector>

namespace qsoferry {

class RegistryProfile {
public:
    void SetRegistryKey(const std::string& company, const std::string& appName);
    std::vector<std::string> LoadRecentFiles(size_t count) const;
    void SaveRecentFiles(const std::vector<std::string>& entries, size_t count) const;

private:
    std::string m_sectionPath;  // below HKEY_CURRENT_USER, without the section
};

}  // namespace qsoferry
