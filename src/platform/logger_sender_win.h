// Hands a contact to the logger's window from a thread of its own, so that a logger that takes its
// time (a database job, a callbook look-up, a hang) never holds up the bridge's window.
//
// Threading rules:
//  - One sender thread for the life of the process, started with the first send. It is never
//    joined and never waited for; it ends with the process, wherever it is.
//  - The window's thread hands it one send at a time (Begin) and never blocks on it, except in
//    Await: the bounded wait at the end of a Windows session, which still lets messages that other
//    programs send to the bridge's windows in, so that a logger answering the frame cannot deadlock.
//  - SendMessage's result and GetLastError (per thread) are read on the sender thread, which then
//    posts the result to the notify window. A notify window that is gone drops it.
//  - The two threads share only the heap block behind m_shared, kept alive by both. The window's
//    thread writes its fields, then sets the work event; the sender reads them after the event,
//    and posts the result as its last touch of them; the window's thread writes them again only
//    once that result has reached it. No lock is held across a send.
#pragma once

#include <windows.h>

#include <memory>
#include <optional>
#include <string>

#include "relay/courier_io.h"

namespace qsoferry {

class LoggerSender {
public:
    LoggerSender() = default;
    // Sends WM_COPYDATA with `marker` and a copy of `bytes` to `target`, wParam `frame`; once the
    // logger has returned, posts `message` with the SendResult as wParam to `notify`.
    void Begin(HWND target, HWND frame, HWND notify, UINT message, unsigned long marker, const std::string& bytes);
    // Waits at most `ms` for the send in flight; its result when it has ended.
    std::optional<SendResult> Await(unsigned ms);

    struct Shared;

private:
    std::shared_ptr<Shared> m_shared;
};

}  // namespace qsoferry
