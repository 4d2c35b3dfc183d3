// Hands contacts to the logger's window from a thread of its own, so that a logger that takes its
// time (a database job, a callbook look-up, a hang) never holds up the bridge's window.
//
// Threading rules:
//  - One sender thread for the life of the process, started with the first handover. It is never
//    joined and never waited for; it ends with the process, wherever it is.
//  - The window's thread queues handovers (Begin), takes their results (Take) and never blocks on
//    the sender, except in Await: the bounded wait at the end of a Windows session, which still
//    lets messages that other programs send to the bridge's windows in, so that a logger answering
//    the frame cannot deadlock.
//  - The sender takes the handovers in order: it sends one, reads SendMessage's result and
//    GetLastError on its own thread, writes the handover's record once the logger has taken it,
//    queues the result and posts a message to the notify window (one that is gone drops it). After
//    one that failed it sends nothing until the window's thread has taken that result.
//  - The two threads share only the heap block behind m_shared, kept alive by both, and guarded by
//    its lock, which is never held across a send or a write.
#pragma once

#include <windows.h>

#include <memory>
#include <optional>

#include "relay/courier_io.h"

namespace qsoferry {

class LoggerSender {
public:
    // `frame` goes as wParam of every copy-data message; `message` is posted to `notify` whenever a
    // result can be taken.
    void Begin(HWND frame, HWND notify, UINT message, const Handover& handover);
    std::optional<HandoverResult> Take();
    void DropWaiting();
    bool Await(unsigned ms);

    struct Shared;

private:
    std::shared_ptr<Shared> m_shared;
    bool m_threaded = false;
};

}  // namespace qsoferry
