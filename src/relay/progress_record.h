// The delivery progress of a claimed log, as kept on disk beside it: how many of its contacts
// have reached the logger and where reading goes on after them.
//
// The file holds two fixed-size slots of one text line each, every line closed by a CRC-32 of
// itself, so that a torn or half-written slot is recognised and the other one still counts. The
// writer only ever overwrites the slot that does not hold the last flushed record. Slot 1 lies a
// page after slot 0, in a sector and a page of its own, so that a write the power cuts can damage
// only the slot being written, whole sectors included. Files written before that had the slots
// side by side (slot 1 at byte 72); they are still read.
//
// A record also says how far the copy of the delivered contacts (wsjtx_log_sent.adi) reached,
// and which of its bytes were written since it was last flushed: from `copyFrom` to `copyEnd`,
// with their CRC-32. A record whose copy does not hold those bytes after a power cut is not
// trusted (the journal goes back to the older slot). And a contact the logger took whose copy
// could not be written yet: its bytes in the claimed log, from `owedFrom` to `owedTo`, so that it
// reaches the copy after a restart without going to the logger again. Records of earlier versions
// (QSOFERRY1, QSOFERRY2) say nothing of what they lack and are read with empty ranges.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace qsoferry {

struct Progress {
    std::uint64_t sequence = 0;  // grows with every record written; the newer slot wins
    std::uint64_t offset = 0;    // where reading resumes (the reader's resume offset)
    std::uint64_t contacts = 0;  // contacts delivered
    bool complete = false;       // every contact of the file has been delivered
    std::uint64_t copyFrom = 0;  // the copy's size at its last flush
    std::uint64_t copyEnd = 0;   // the copy's size with this contact's copy in it
    std::uint32_t copyCrc = 0;   // CRC-32 of the copy's bytes from copyFrom to copyEnd
    std::uint64_t owedFrom = 0;  // a delivered contact the copy still lacks, in the claimed log
    std::uint64_t owedTo = 0;
    bool operator==(const Progress& o) const {
        return sequence == o.sequence && offset == o.offset && contacts == o.contacts && complete == o.complete &&
               copyFrom == o.copyFrom && copyEnd == o.copyEnd && copyCrc == o.copyCrc && owedFrom == o.owedFrom &&
               owedTo == o.owedTo;
    }
};

constexpr size_t kProgressSlotSize = 149;
constexpr size_t kProgressSlotSizeV1 = 72;  // the slots of earlier versions
constexpr size_t kProgressSlotSizeV2 = 115;
constexpr size_t kProgressPageSize = 4096;
// The largest progress file there is.
constexpr size_t kProgressFileMax = kProgressPageSize + kProgressSlotSize;

// Where a slot is written. Slot 0 is everything in the first page, slot 1 the second.
std::uint64_t ProgressSlotOffset(int slot);

std::string EncodeProgressSlot(const Progress& progress);

struct DecodedProgress {
    enum class Status {
        kNone,     // no bytes: nothing delivered yet
        kValid,    // `progress` read from slot `slot`, at byte `at`
        kDamaged,  // bytes that are no progress record: truncated, garbage, or of another program
    };
    Status status = Status::kNone;
    Progress progress;
    int slot = -1;
    size_t at = 0;
    // The next older valid record, when there is one: in the other slot, or beside the newest in
    // slot 0 (the earlier layout kept slot 1 at byte 72).
    bool olderValid = false;
    Progress older;
    int olderSlot = -1;
};

DecodedProgress DecodeProgress(std::string_view bytes);

std::uint32_t Crc32(std::string_view bytes);
// The CRC-32 of bytes that come in pieces: `crc` is that of the bytes before (0 for none).
std::uint32_t Crc32(std::uint32_t crc, std::string_view bytes);

}  // namespace qsoferry
