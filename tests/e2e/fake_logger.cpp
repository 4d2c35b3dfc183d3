// Stand-in for the logger: a top-level window of class "DXbase" that appends every WM_COPYDATA it
// receives to the file named on its command line, one line each:
//   dwData=10001 cbData=89 fromBridgeFrame=1 hex=4e30...
// and shows the last records it received in its window, so that a screenshot shows them arrive.
// Options, for a logger that goes away in the middle of a backlog:
//   --delay MS   take MS milliseconds over each message
//   --take N     destroy the window, and so end, once N messages have come
#include "stand_in_window.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <string>

namespace {

std::string g_recordPath;
int g_delayMs = 0;
int g_take = -1;
int g_taken = 0;
std::deque<std::string> g_shown;  // the last records, newest last
constexpr size_t kShownRecords = 4;

void Paint(HWND hwnd) {
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(hwnd, &paint);
    SelectObject(dc, GetStockObject(DEFAULT_GUI_FONT));
    SetBkMode(dc, TRANSPARENT);
    std::string heading = "Records received: " + std::to_string(g_taken);
    TextOutA(dc, 6, 4, heading.c_str(), static_cast<int>(heading.size()));
    int y = 24;
    constexpr size_t kColumns = 80;  // a longer record goes on over the next line
    for (const std::string& record : g_shown) {
        for (size_t at = 0; at < record.size(); at += kColumns) {
            std::string line = record.substr(at, kColumns);
            TextOutA(dc, at == 0 ? 6 : 18, y, line.c_str(), static_cast<int>(line.size()));
            y += 14;
        }
    }
    EndPaint(hwnd, &paint);
}
bool IsBridgeFrame(HWND window) {
    if (!window || GetAncestor(window, GA_ROOT) != window) return false;
    char className[64] = "", title[128] = "";
    GetClassNameA(window, className, sizeof className);
    GetWindowTextA(window, title, sizeof title);
    return std::strcmp(className, "QsoferryFrame") == 0 && std::strcmp(title, "Qsoferry ver 1.00") == 0;
}

LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_COPYDATA) {
        if (g_delayMs > 0) Sleep(static_cast<DWORD>(g_delayMs));
        const auto* data = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
        if (std::FILE* out = std::fopen(g_recordPath.c_str(), "ab")) {
            std::fprintf(out, "dwData=%lu cbData=%lu fromBridgeFrame=%d hex=", static_cast<unsigned long>(data->dwData),
                         static_cast<unsigned long>(data->cbData),
                         IsBridgeFrame(reinterpret_cast<HWND>(wParam)) ? 1 : 0);
            const auto* bytes = static_cast<const unsigned char*>(data->lpData);
            for (DWORD i = 0; i < data->cbData; ++i)
                std::fprintf(out, "%02x", bytes[i]);
            std::fprintf(out, "\n");
            std::fclose(out);
        }
        g_shown.emplace_back(static_cast<const char*>(data->lpData), data->cbData);
        if (g_shown.size() > kShownRecords) g_shown.pop_front();
        InvalidateRect(hwnd, nullptr, TRUE);
        // Gone right after the last one it takes, as a logger closed between two messages. A posted
        // close would wait behind the bridge's next sent message.
        if (++g_taken == g_take) DestroyWindow(hwnd);
        return TRUE;
    }
    if (message == WM_PAINT) {
        Paint(hwnd);
        return 0;
    }
    return stand_in::EndOnDestroy(hwnd, message, wParam, lParam);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    if (__argc < 2) return 64;
    g_recordPath = __argv[1];
    for (int i = 2; i + 1 < __argc; i += 2) {
        if (std::strcmp(__argv[i], "--delay") == 0) g_delayMs = std::atoi(__argv[i + 1]);
        if (std::strcmp(__argv[i], "--take") == 0) g_take = std::atoi(__argv[i + 1]);
    }
    return stand_in::Run(instance, WindowProc, "DXbase", "DXbase stand-in", 285, 20, 510, 150);
}
