#include <windows.h>

#include "platform/files.h"
#include "platform/win_error.h"

namespace qsoferry::files {

FileResult ReadWholeFile(const std::string& path, std::string& bytes) {
    bytes.clear();
    // Full sharing: the decoder opens the log for each contact asking for write access and drops the
    // contact if that fails, so this handle must never stand in its way.
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return FileResultFromError(GetLastError());
    char buffer[65536];
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(file, buffer, sizeof buffer, &got, nullptr)) {
            DWORD error = GetLastError();
            CloseHandle(file);
            bytes.clear();
            return FileResultFromError(error);
        }
        if (got == 0) break;
        bytes.append(buffer, got);
    }
    CloseHandle(file);
    return {};
}

FileResult MoveNoReplace(const std::string& from, const std::string& to) {
    // MoveFileA never replaces an existing file, and fails while another program has the file
    // open without delete sharing.
    if (!MoveFileA(from.c_str(), to.c_str())) return FileResultFromError(GetLastError());
    return {};
}

FileResult Remove(const std::string& path) {
    if (!DeleteFileA(path.c_str())) return FileResultFromError(GetLastError());
    return {};
}

}  // namespace qsoferry::files
