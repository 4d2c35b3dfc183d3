// Text across the Win32 seam: the program keeps paths, names and messages in UTF-8; the W calls
// take and give UTF-16. The peers' bytes (the log, the record for the logger) never pass here.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <string_view>

namespace qsoferry {

// UTF-8 to UTF-16. Text that is not UTF-8 (bytes from a log in the system's code page, say) is
// read in the system's code page rather than dropped.
inline std::wstring Utf16(std::string_view text) {
    if (text.empty()) return {};
    const int size = static_cast<int>(text.size());
    UINT codePage = CP_UTF8;
    int length = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), size, nullptr, 0);
    if (length == 0) {
        codePage = CP_ACP;
        length = MultiByteToWideChar(CP_ACP, 0, text.data(), size, nullptr, 0);
    }
    std::wstring wide(static_cast<size_t>(length), L'\0');
    MultiByteToWideChar(codePage, codePage == CP_UTF8 ? MB_ERR_INVALID_CHARS : 0, text.data(), size, wide.data(),
                        length);
    return wide;
}

inline std::string Utf8(std::wstring_view text) {
    if (text.empty()) return {};
    const int size = static_cast<int>(text.size());
    int length = WideCharToMultiByte(CP_UTF8, 0, text.data(), size, nullptr, 0, nullptr, nullptr);
    std::string narrow(static_cast<size_t>(length), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), size, narrow.data(), length, nullptr, nullptr);
    return narrow;
}

// The text in the system's code page, when every character of it has a spelling there that reads
// back the same (no "?" and no best-fit look-alike); nothing otherwise.
inline std::optional<std::string> InSystemCodePage(std::string_view utf8) {
    std::wstring wide = Utf16(utf8);
    if (wide.empty()) return std::string();
    const int size = static_cast<int>(wide.size());
    BOOL lossy = FALSE;
    int length = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data(), size, nullptr, 0, nullptr, &lossy);
    if (length == 0 || lossy) return std::nullopt;
    std::string bytes(static_cast<size_t>(length), '\0');
    WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data(), size, bytes.data(), length, nullptr, &lossy);
    if (lossy) return std::nullopt;
    std::wstring back(static_cast<size_t>(size), L'\0');
    if (MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, bytes.data(), length, back.data(), size) != size ||
        back != wide) {
        return std::nullopt;
    }
    return bytes;
}

}  // namespace qsoferry
