// Qsoferry's icon in the notification area: its look says at a glance what the lamps and the status
// line say, and its tooltip is the status line. Each look differs from the others in shape as well as
// in colour, so that it reads without telling colours apart: a green disc with a tick (all is well),
// an amber square with three dots (contacts wait), a red triangle with "!" (a problem that lasts), a
// grey ring crossed out (DXbase is not running). Drawn here, for any size, as plain pixels.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "view/status_line.h"

namespace qsoferry {

enum class TrayLook { kAllWell, kWaiting, kProblem, kLoggerClosed };

// The most pressing, as the status line orders them: a problem, then contacts waiting (DXbase
// closed or busy), then DXbase not running; otherwise all is well.
TrayLook TrayLookOf(const StatusFacts& facts);

// `size` x `size` pixels, top row first, each 0xAARRGGBB with straight (not premultiplied) alpha;
// edges smoothed.
std::vector<std::uint32_t> DrawTrayIcon(TrayLook look, int size);
// The same, drawn once for each look and size the process asks for.
const std::vector<std::uint32_t>& TrayIconPixels(TrayLook look, int size);

}  // namespace qsoferry
