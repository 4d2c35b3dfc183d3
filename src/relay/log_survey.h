// A log the operator sends on purpose, looked over before it goes: how many contacts it holds, which
// of them the logger took before (by their keys, contact_key.h), and where the others lie, so that
// only those can be sent, byte for byte as the file has them.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "relay/courier_io.h"

namespace qsoferry {

struct LogSurvey {
    // Bytes of the file, from where to where.
    struct Span {
        std::uint64_t from, to;
    };
    std::uint64_t contacts = 0;  // those the reader gives with a field
    std::uint64_t taken = 0;     // of them, those taken before
    std::string lastTaken;       // the latest QSO date among those, "2026-12-07"
    std::uint64_t size = 0;
    std::uint32_t check = 0;  // of all its bytes
    // The header, then each contact not taken before, its text as the reader framed it (from the
    // end of the contact before it to its own end), in the file's order; a run of them is one span,
    // so that their number is bounded by the contacts taken, not by the file.
    std::vector<Span> fresh;
};

// Reads the log at `path` once, as the bridge reads a log, asking `timesTaken` of each contact's
// key. Nothing when it cannot be opened or read to its end: `why` says so.
std::optional<LogSurvey> SurveyLog(DeliveryFiles& files,
                                   const std::string& path,
                                   const std::function<std::uint32_t(std::uint64_t)>& timesTaken,
                                   std::string& why);

// Writes the survey's fresh spans of the log at `path` into `target`, from its start, without
// flushing. Fails, having written part, when the log is no longer what was surveyed.
FileResult WriteFreshContacts(DeliveryFiles& files,
                              const std::string& path,
                              const LogSurvey& survey,
                              FileHandle target);

}  // namespace qsoferry
