// The contacts on their way to the logger, between the window's thread (the delivery engines, one
// per decoder folder, each on a port of its own) and the sender's thread (which sends them, one at
// a time, and writes each one's record). All the rules of that handover live here:
//
//  - One handover in flight for the whole program: the sender picks one up, sends it, writes its
//    record once the logger has taken it, and ends it; only then does it pick up the next.
//  - A port's handovers go in the order they were added. Behind the one in flight, each port may
//    have handovers waiting (its engine adds at most kOutstandingHandovers), so that the logger gets
//    the next contact without waiting for the window's thread.
//  - Ports take turns: after one of a port's handovers, each other port whose engine is delivering
//    goes before it again. An engine is delivering from its first handover until it says it is done
//    (Done, with none of its results left to take); one whose turn it is and that has nothing
//    waiting is waited for, so that a busy window never costs it its turn.
//  - A handover that was not delivered, or delivered and not recorded, fails its port: that port's
//    waiting handovers end at once without going (kNotSent), and so does every one it adds until
//    its engine has taken all its results back, since their records would skip the failed one.
//    Another port is never touched: one folder's failure decides nothing for another.
//  - DropWaiting ends a port's handovers that the sender has not picked up, at once (kNotSent).
//  - Results come back to their own port, in that port's order. Whenever a handover ends and the
//    window has not been told since it last asked (TakeNotice), the caller must tell it: one notice
//    for as many results as pile up before the window asks.
//
// Not safe to share by itself: the shell calls every member under one lock (or on one thread).
// Nothing here waits, sends or writes.
#pragma once

#include <cstddef>
#include <deque>
#include <optional>
#include <vector>

#include "relay/courier_io.h"

namespace qsoferry {

class HandoverQueue {
public:
    // The window's side. Each returns true when the window must be told that results can be taken.
    size_t AddPort();
    bool Add(size_t port, const Handover& handover);
    bool DropWaiting(size_t port);
    // The port's engine hands nothing more over for now: its turn passes while it is idle.
    void Done(size_t port);
    std::optional<HandoverResult> Take(size_t port);
    // The ports with results, and the window counts as told: the next result to end tells it again.
    std::vector<size_t> TakeNotice();
    // A handover of this port is with the sender: its record may still be written.
    bool Sending(size_t port) const { return m_sending && m_sendingPort == port; }
    bool SendingAny() const { return m_sending; }

    // The sender's side.
    // The next handover to send, now in flight; nothing while one is in flight or none may go.
    std::optional<Handover> PickUp();
    bool CanPickUp() const { return NextPort().has_value(); }
    // The handover in flight has ended.
    bool Ended(const HandoverResult& result);

private:
    static bool Succeeded(const HandoverResult& result) {
        return result.sent == SendResult::kDelivered && result.recorded.ok();
    }

    enum class State { kWaiting, kSending, kEnded };
    struct Entry {
        Handover handover;
        State state = State::kWaiting;
        HandoverResult result;
    };
    struct Port {
        std::deque<Entry> entries;  // added and not taken back, oldest first
        bool failed = false;        // one of them did not get through: the rest does not go
        bool delivering = false;    // from its first handover until its engine is done
    };

    std::optional<size_t> NextPort() const;
    bool End(size_t port, Entry& entry, const HandoverResult& result);
    bool Notice();

    std::vector<Port> m_ports;
    bool m_sending = false;
    size_t m_sendingPort = 0;
    size_t m_turn = 0;       // the port that goes next, if it has anything to give
    bool m_noticed = false;  // told, and not asked since
};

}  // namespace qsoferry
