// Turning a Win32 error code into the seam's file result, with the system's own words.
#pragma once

#include <windows.h>

#include <string>

#include "platform/platform.h"
#include "platform/utf16_win.h"

namespace qsoferry {

// The system's words in UTF-8, in whatever language they come.
inline std::string SystemMessage(DWORD error) {
    wchar_t* text = nullptr;
    DWORD length =
        FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                       nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::string message = length ? Utf8(std::wstring_view(text, length)) : "error " + std::to_string(error);
    if (text) LocalFree(text);
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r' || message.back() == ' ')) {
        message.pop_back();
    }
    return message;
}

inline FileResult FileResultFromError(DWORD error) {
    FileResult result;
    switch (error) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
            result.status = FileStatus::kNotFound;
            break;
        case ERROR_SHARING_VIOLATION:  // the decoder has the file open
        case ERROR_LOCK_VIOLATION:
            result.status = FileStatus::kBusy;
            break;
        case ERROR_ACCESS_DENIED:
        case ERROR_WRITE_PROTECT:
            result.status = FileStatus::kDenied;
            break;
        case ERROR_DISK_FULL:
        case ERROR_HANDLE_DISK_FULL:
            result.status = FileStatus::kFull;
            break;
        default:
            result.status = FileStatus::kFailed;
    }
    result.reason = SystemMessage(error);
    return result;
}

}  // namespace qsoferry
