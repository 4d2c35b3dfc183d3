// Qsoferry's icon in the notification area: its look says at a glance what the lamps and the status
// line say, and its tooltip is the status line. Each look differs from the others in shape as well as
// in colour, so that it reads without telling colours apart: a green disc with a tick (all is well),
// an amber square with three dots (contacts wait), a red triangle with "!" (a problem that lasts), a
// grey ring crossed out (DXbase is not running). Drawn here, for any size, as plain pixels.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
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

// What is asked of the notification area (Shell_NotifyIcon): the icon added, changed, or a
// notification shown beside it.
enum class TrayCall { kAdd, kModify, kNotify };

// Keeps the icon in a notification area that may answer late or not at all. At logon an add may
// time out while Explorer is busy starting and still be taken a moment later: only a change then
// reaches the icon, and an icon that is there must be removed at the end. `shell` makes one call
// and says whether it succeeded.
class TrayIconKeeper {
public:
    explicit TrayIconKeeper(std::function<bool(TrayCall)> shell) : m_shell(std::move(shell)) {}

    // The icon as it is to look now: true when the notification area has it so.
    bool Put();
    // A notification beside the icon: true only once it was shown.
    bool Notify();
    // Explorer has started anew, with an empty notification area.
    void TaskbarCreated() { m_there = m_asked = false; }
    // The end: nothing is asked any more. True when the icon may be there and is to be removed.
    bool Remove();
    bool IsThere() const { return m_there; }

private:
    std::function<bool(TrayCall)> m_shell;
    bool m_there = false;  // the last add or change succeeded
    bool m_asked = false;  // an add was asked since Explorer started: it may have been taken
    bool m_removed = false;
};

}  // namespace qsoferry
