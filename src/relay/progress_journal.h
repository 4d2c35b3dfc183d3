// The progress journal of a claimed log: the file beside it (".progress") whose two slots say how
// far delivery got (progress_record.h). One slot holds the last flushed record and is never
// written until another record is flushed; every record goes into the other slot, flushed every
// kFlushEveryContacts records and whenever delivery pauses. So a power cut repeats at most the
// records written since the last flush.
//
// What a power cut leaves after each call (the disk model: unflushed data kept, lost, or torn
// sector by sector; a flush puts the file and every name change before it on the disk):
//  - Open: nothing is written. What the file holds may still be only in the system's cache.
//  - Keep: the file is flushed as it stands before Keep returns, so the record it counts on (the
//    newest, or the older one when the caller passes over the newest) survives whatever comes
//    after; only then does anything go into the other slot. A file shorter than both slots (the
//    first layout's) has its next record flushed as it is written (Spot says so to the sender):
//    growing the file writes through the sector that holds the record that counts.
//  - Begin: a fresh file with the first record in both slots, unflushed: a cut leaves no record,
//    a damaged one, or the first; the claimed log then goes again from its first contact.
//  - Write, unflushed: the last flushed record survives; the new one may or may not.
//  - Write, flushed: the new record survives, and is the safe one from then on.
//  - Flush: every record written survives; the newest is the safe one.
// The sender writes records too, into the slot this journal names (see Spot), while the journal's
// own calls leave the file alone.
#pragma once

#include <cstdint>
#include <string>

#include "relay/courier_io.h"
#include "relay/progress_record.h"

namespace qsoferry {

// The progress is flushed to the disk after this many deliveries and whenever delivery pauses, so
// a power cut repeats at most this many contacts.
constexpr unsigned kFlushEveryContacts = 100;

// Where the journal stands: which slot holds the last flushed record, and how many records were
// written since. A value, so that records handed to the sender can be planned ahead.
struct JournalSpot {
    int safeSlot = -1;  // none: the file holds no flushed record yet
    unsigned sinceFlush = 0;
    int NextSlot() const { return safeSlot == 0 ? 1 : 0; }
    bool FlushDue() const { return sinceFlush + 1 >= kFlushEveryContacts; }
    // After one more record, flushed or not.
    JournalSpot After(bool flushed) const {
        return flushed ? JournalSpot{NextSlot(), 0} : JournalSpot{safeSlot, sinceFlush + 1};
    }
};

class ProgressJournal {
public:
    explicit ProgressJournal(DeliveryFiles& files) : m_files(files) {}
    ~ProgressJournal() { Close(); }
    ProgressJournal(const ProgressJournal&) = delete;
    ProgressJournal& operator=(const ProgressJournal&) = delete;

    // Opens the file (made when missing) and reads what it holds. A file too large to be a
    // journal is damaged; one that cannot be read fails: unread, it would look like none.
    FileResult Open(const std::string& path, DecodedProgress& found);
    // The record found counts: `found.progress`, or with `older` the record before it. Unless the
    // file is `durable` as it stands (this process flushed it last), it is flushed first.
    FileResult Keep(const DecodedProgress& found, bool older, bool durable);
    // A fresh journal (none, or a damaged one emptied first with Empty).
    FileResult Begin(const Progress& first);
    FileResult Empty();
    FileResult Write(const Progress& progress, bool flush);
    FileResult Flush();
    // The sender has written a record planned at Spot(): the journal now stands at `after`.
    void Recorded(const JournalSpot& after) {
        m_spot = after;
        m_unflushed = after.sinceFlush > 0;
        m_short = m_short && m_unflushed;
    }
    // A record was written since the last flush.
    bool Unflushed() const { return m_unflushed; }

    const JournalSpot& Spot() const { return m_spot; }
    FileHandle Handle() const { return m_file; }
    const std::string& Path() const { return m_path; }
    void Close();
    // Forgets the file without closing it: the sender still writes through it.
    void Release() { m_file = kNoFile; }

private:
    DeliveryFiles& m_files;
    std::string m_path;
    FileHandle m_file = kNoFile;
    JournalSpot m_spot;
    bool m_unflushed = false;
    bool m_short = false;  // shorter than both slots: the next record grows it
};

// The journal at `path` as it stands, read without holding anything open; nothing when it cannot
// be read.
DecodedProgress PeekProgress(DeliveryFiles& files, const std::string& path, FileResult& result);

}  // namespace qsoferry
