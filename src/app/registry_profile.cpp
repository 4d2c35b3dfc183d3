#include "app/registry_profile.h"

#include <windows.h>

#include <algorithm>
#include <iterator>

#include "platform/utf16_win.h"

namespace qsoferry {
namespace {

constexpr const char kRecentSection[] = "Recent File List";

std::wstring EntryName(size_t index) {
    return L"File" + std::to_wstring(index + 1);
}

}  // namespace

void RegistryProfile::SetRegistryKey(const std::string& company, const std::string& appName) {
    m_appPath = "Software\\" + company + "\\" + appName;
    m_sectionPath = m_appPath + "\\" + kRecentSection;
}

std::string RegistryProfile::GetString(const std::string& section, const std::string& name) const {
    HKEY key;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, Utf16(m_appPath + "\\" + section).c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return {};
    wchar_t value[1024] = L"";
    DWORD size = sizeof value - sizeof *value;
    DWORD type = 0;
    std::string text;
    if (RegQueryValueExW(key, Utf16(name).c_str(), nullptr, &type, reinterpret_cast<BYTE*>(value), &size) ==
            ERROR_SUCCESS &&
        type == REG_SZ) {
        value[std::min<size_t>(size / sizeof *value, std::size(value) - 1)] = L'\0';
        text = Utf8(value);
    }
    RegCloseKey(key);
    return text;
}

void RegistryProfile::WriteString(const std::string& section, const std::string& name, const std::string& value) const {
    HKEY key;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, Utf16(m_appPath + "\\" + section).c_str(), 0, nullptr, 0, KEY_WRITE, nullptr,
                        &key, nullptr) != ERROR_SUCCESS) {
        return;  // a profile that cannot be written costs only what it would remember
    }
    std::wstring text = Utf16(value);
    RegSetValueExW(key, Utf16(name).c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                   static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
}

std::vector<std::string> RegistryProfile::LoadRecentFiles(size_t count) const {
    std::vector<std::string> entries;
    HKEY key;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, Utf16(m_sectionPath).c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return entries;
    for (size_t i = 0; i < count; ++i) {
        // Entries written by the A calls of earlier versions read back alike: the registry keeps UTF-16.
        wchar_t value[MAX_PATH * 2] = L"";
        DWORD size = sizeof value - sizeof *value;  // in bytes, room left for a terminator
        DWORD type = 0;
        if (RegQueryValueExW(key, EntryName(i).c_str(), nullptr, &type, reinterpret_cast<BYTE*>(value), &size) ==
                ERROR_SUCCESS &&
            type == REG_SZ) {
            value[std::min<size_t>(size / sizeof *value, std::size(value) - 1)] = L'\0';
            entries.push_back(Utf8(value));
        }
    }
    RegCloseKey(key);
    return entries;
}

void RegistryProfile::SaveRecentFiles(const std::vector<std::string>& entries, size_t count) const {
    HKEY key;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, Utf16(m_sectionPath).c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key,
                        nullptr) != ERROR_SUCCESS) {
        return;  // a profile that cannot be written costs only the list
    }
    for (size_t i = 0; i < count; ++i) {
        if (i < entries.size()) {
            std::wstring entry = Utf16(entries[i]);
            RegSetValueExW(key, EntryName(i).c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(entry.c_str()),
                           static_cast<DWORD>((entry.size() + 1) * sizeof(wchar_t)));
        } else {
            RegDeleteValueW(key, EntryName(i).c_str());
        }
    }
    RegCloseKey(key);
}

}  // namespace qsoferry
