#include "app/registry_profile.h"

#include <windows.h>

namespace qsoferry {
namespace {

constexpr const char kRecentSection[] = "Recent File List";

std::string EntryName(size_t index) {
    return "File" + std::to_string(index + 1);
}

}  // namespace

void RegistryProfile::SetRegistryKey(const std::string& company, const std::string& appName) {
    m_sectionPath = "Software\\" + company + "\\" + appName + "\\" + kRecentSection;
}

std::vector<std::string> RegistryProfile::LoadRecentFiles(size_t count) const {
    std::vector<std::string> entries;
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, m_sectionPath.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return entries;
    for (size_t i = 0; i < count; ++i) {
        char value[MAX_PATH * 2] = "";
        DWORD size = sizeof value - 1;
        DWORD type = 0;
        if (RegQueryValueExA(key, EntryName(i).c_str(), nullptr, &type, reinterpret_cast<BYTE*>(value), &size) ==
                ERROR_SUCCESS &&
            type == REG_SZ) {
            value[size < sizeof value ? size : sizeof value - 1] = '\0';
            entries.emplace_back(value);
        }
    }
    RegCloseKey(key);
    return entries;
}

void RegistryProfile::SaveRecentFiles(const std::vector<std::string>& entries, size_t count) const {
    HKEY key;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, m_sectionPath.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr) !=
        ERROR_SUCCESS) {
        return;  // a profile that cannot be written costs only the list
    }
    for (size_t i = 0; i < count; ++i) {
        if (i < entries.size()) {
            RegSetValueExA(key, EntryName(i).c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(entries[i].c_str()),
                           static_cast<DWORD>(entries[i].size() + 1));
        } else {
            RegDeleteValueA(key, EntryName(i).c_str());
        }
    }
    RegCloseKey(key);
}

}  // namespace qsoferry
