// The line under the lamps that tells the operator, at a glance, what the bridge has done: a problem
// that lasts, or the contacts that wait for DXbase, or the last contact relayed and how many went
// today. Only the most pressing of them, in one short line.
#pragma once

#include <cstdint>
#include <string>

#include "relay/courier.h"

namespace qsoferry {

// Calls longer than this are cut (with "..."), so that the rest of the line stays in sight.
constexpr size_t kStatusCallMax = 10;

struct StatusFacts {
    std::string problem;        // a problem that lasts, in a few words; empty: none
    std::uint64_t waiting = 0;  // contacts the logger has not taken yet
    bool loggerRunning = true;
    bool relayedAny = false;
    RelayedContact last;  // the last contact relayed, when there is one
    int hour = 0, minute = 0;
    std::uint64_t today = 0;  // relayed since midnight
};

std::string StatusText(const StatusFacts& facts);

}  // namespace qsoferry
