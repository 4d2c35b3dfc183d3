// One logger for several delivery engines (one per decoder folder). Each engine hands its contacts
// to a port of its own, a LoggerLink like any other; the ports take turns on the one real link, so
// that between two contacts of one engine at most one contact of each other engine with contacts
// waiting goes, and a long backlog in one folder never holds back another. The link's own rules
// hold for the whole program: one contact in flight, one waiting behind it.
//
// Results come back to the port whose contact it was, in that port's order. A port's contact
// that has not gone to the link yet waits for its own predecessors: after one of them was not
// delivered or not recorded, it does not go at all (kNotSent), since its record would skip the
// contact before it.
//
// Threading: as the engines, on the shell's window thread only.
#pragma once

#include <cstddef>
#include <deque>
#include <memory>
#include <optional>
#include <vector>

#include "relay/courier_io.h"

namespace qsoferry {

class SharedLogger {
public:
    explicit SharedLogger(LoggerLink& link);
    ~SharedLogger();
    SharedLogger(const SharedLogger&) = delete;
    SharedLogger& operator=(const SharedLogger&) = delete;

    // A new port; it lives as long as this. Ports are numbered from 0 in the order they were added.
    LoggerLink& AddPort();

    // The link has results (the shell's message says so): takes them all, hands each to its port,
    // and lets what waits go on. Says which ports have results: their engines' SendDone is due.
    // Also worth calling now and then (once a tick): a port can have results that never went to
    // the link (dropped at the end of a session, or behind a failure).
    std::vector<size_t> Collect();
    // The engines have gone on after their results: lets what waits go to the link, the turn
    // passing over an engine that has handed nothing more over.
    void Pump() { Forward(); }

private:
    class Port;
    void Forward();

    LoggerLink& m_link;
    std::vector<std::unique_ptr<Port>> m_ports;
    std::deque<size_t> m_inLink;  // the port of each contact the link holds, oldest first
    size_t m_nextPort = 0;        // whose turn it is
};

}  // namespace qsoferry
