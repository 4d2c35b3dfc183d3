// The application's profile in the registry, laid out as the framework lays it out:
// HKEY_CURRENT_USER\Software\<registry key>\<application name>\Recent File List, values File1..File4;
// and the program's own sections beside it (a window's place, for one).
#pragma once

#include <string>
#include <vector>

namespace qsoferry {

class RegistryProfile {
public:
    void SetRegistryKey(const std::string& company, const std::string& appName);
    std::vector<std::string> LoadRecentFiles(size_t count) const;
    void SaveRecentFiles(const std::vector<std::string>& entries, size_t count) const;
    // A text value of a section of the application's key; empty when there is none.
    std::string GetString(const std::string& section, const std::string& name) const;
    void WriteString(const std::string& section, const std::string& name, const std::string& value) const;

private:
    std::string m_appPath;      // the application's key, below HKEY_CURRENT_USER
    std::string m_sectionPath;  // below HKEY_CURRENT_USER, without the section
};

}  // namespace qsoferry
