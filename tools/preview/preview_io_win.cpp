#include <windows.h>

#include <shellapi.h>

#include "platform/utf16_win.h"
#include "preview_io.h"

namespace qsoferry::preview {

// The ANSI argv has lost every letter outside the system's code page: the wide command line has not.
std::vector<std::string> Arguments(int, char**) {
    int argc = 0;
    LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    std::vector<std::string> arguments;
    for (int i = 1; argv && i < argc; ++i)
        arguments.push_back(Utf8(argv[i]));
    if (argv) LocalFree(argv);
    return arguments;
}

std::FILE* OpenForReading(const std::string& path) {
    return _wfopen(Utf16(path).c_str(), L"rb");
}

bool SeekTo(std::FILE* file, std::uint64_t offset) {
    return _fseeki64(file, static_cast<__int64>(offset), SEEK_SET) == 0;
}

void SayError(const std::string& line) {
    // A console shows UTF-16 whatever its code page; anything else (a file, a pipe) gets UTF-8.
    HANDLE error = GetStdHandle(STD_ERROR_HANDLE);
    DWORD mode = 0;
    if (error != INVALID_HANDLE_VALUE && GetConsoleMode(error, &mode)) {
        std::wstring wide = Utf16(line + "\n");
        DWORD written = 0;
        WriteConsoleW(error, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
        return;
    }
    std::fflush(stderr);
    std::fwrite(line.data(), 1, line.size(), stderr);
    std::fputc('\n', stderr);
}

}  // namespace qsoferry::preview
