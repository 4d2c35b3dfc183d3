// Stand-in for the decoder: a top-level window titled "JTDX - Wide Graph". The test driver writes
// the decoder's log itself.
#include "stand_in_window.h"

namespace {

LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    return stand_in::EndOnDestroy(hwnd, message, wParam, lParam);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    return stand_in::Run(instance, WindowProc, "JtdxStandIn", "JTDX - Wide Graph", 285, 190, 260, 90);
}
