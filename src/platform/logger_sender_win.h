// Hands contacts to the logger's window from a thread of its own, so that a logger that takes its
// time (a database job, a callbook look-up, a hang) never holds up the bridge's window. What goes
// when, and what happens after a failure, is the handover queue's (relay/handover_queue.h); this
// is only its thread.
//
// Threading rules:
//  - One sender thread for the life of the process, started with the first handover. It is never
//    joined and never waited for; it ends with the process, wherever it is.
//  - The two threads share only the heap block behind m_shared (the queue, the wake-up event and
//    the notify window), kept alive by both. Every call on the queue is made under its lock, which
//    is never held across a send, a write or a post.
//  - The window's thread adds handovers, takes results and drops what waits, and never blocks on
//    the sender, except in Await: the bounded wait at the end of a Windows session, which still
//    lets messages that other programs send to the bridge's windows in, so that a logger answering
//    the frame cannot deadlock. After each of its calls the sender is woken if it sleeps.
//  - The sender picks a handover up, sends it, reads SendMessage's result and GetLastError on its
//    own thread, writes the handover's record once the logger has taken it, ends it, and posts a
//    message to the notify window when the queue says the window must be told (one that is gone
//    drops it). It sleeps while the queue gives it nothing.
#pragma once

#include <windows.h>

#include <memory>
#include <optional>
#include <vector>

#include "relay/courier_io.h"

namespace qsoferry {

class LoggerSender {
public:
    // `frame` goes as wParam of every copy-data message; `message` is posted to `notify` whenever
    // results can be taken.
    LoggerSender(HWND frame, HWND notify, UINT message);
    size_t AddPort();
    void Begin(size_t port, const Handover& handover);
    std::optional<HandoverResult> Take(size_t port);
    void DropWaiting(size_t port);
    void Done(size_t port);
    bool Sending(size_t port);
    std::vector<size_t> TakeNotice();
    bool Await(unsigned ms);

    struct Shared;

private:
    template <typename Call>
    auto Locked(Call call);
    void Tell(bool tell);

    std::shared_ptr<Shared> m_shared;
    bool m_started = false;
    bool m_threaded = false;
};

}  // namespace qsoferry
