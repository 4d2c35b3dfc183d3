// What the delivery engine (courier.h) asks of the world around it: files, the logger, a clock and
// the operator. Each shell implements these: the bridge's platform (Win32 or the tests' fake) the
// first three, the form view the last. Nothing here knows a window, a control or a resource.
//
// What the engine relies on from each operation:
//  - Files: expected failures are returned as values, never thrown. OpenFile with kRead lets others
//    read the file but not write, rename or delete it while it is open; kReadWrite creates the file
//    when it is missing. WriteFileAt with flush returns only once the bytes are on the disk, and
//    FlushFile once everything written to the file is. MoveFileNoReplace never replaces a file that
//    exists at the new name; `durable`, it returns only once the new name is on the disk.
//  - TryLock / Unlock: a named lock shared by every process on the machine, held until Unlock or
//    until the process ends, however it ends. TryLock never waits: false while another holds it.
//  - LegacySpelling: the path's bytes as bridges from before Unicode paths had it, in the system's
//    code page, when that spells every character of it; nothing otherwise. The lock is named from
//    it, so that an older bridge on the same log (one started by hand) and this one agree.
//  - The logger (LoggerLink): a queue of handovers that a sender works through on a thread of its
//    own; relay/handover_queue.h holds every rule of it, and the shell's link calls it under a lock.
//    Each engine hands its contacts over on a port of its own (AddPort). BeginSend returns at once;
//    the contact's bytes (no terminator) go with the marker to the logger's window, and once the
//    logger's window procedure has returned and taken it, its copy is written (when it has one) and
//    then its record, before the next handover goes; a copy that cannot be written leaves the record
//    unwritten, and the result says so (`copied`, and `recorded` with the same failure). The
//    result says kGone when the window had vanished, kRefused when the system kept the message
//    from it (a logger running with higher rights); what the logger answers says nothing.
//    Whenever results can be taken, the shell hears of it on the engines' thread (its message
//    loop) and asks which ports have them (TakeNotice), then each engine takes its own.
//  - Done: the port's engine hands nothing more over for now (its claimed file is closed), so the
//    other ports need not wait for it.
//  - Sending: one of the port's handovers is with the sender now, so its record may still be written.
//  - AwaitSent: waits at most `ms` until no handover is with the sender; false when one still is.
//  - MonotonicMs: milliseconds from any fixed point, never going back (not the time of day).
//  - Tell: shows the operator a message and returns once it has been seen; the engine's own calls
//    (SendDone among them) may run meanwhile.
//  - LeaveOutFrequency: the operator's choice as it stands now, read just before each export.
//  - Relayed: the logger has taken a contact (its call, band and mode as read).
//  - BetweenLines: called before each data line of the log; the shell keeps its window answering
//    there, and may run any of its handlers, the engine's own calls included.
#pragma once

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace qsoferry {

enum class FileStatus {
    kOk,
    kNotFound,  // no such file (or folder)
    kBusy,      // another program holds the file (a sharing conflict): try again later
    kDenied,    // the system refuses (access denied, a read-only disk): it will not pass by itself
    kFull,      // the disk is full: it will not pass by itself
    kFailed,    // anything else; the reason says what
};

struct FileResult {
    FileStatus status = FileStatus::kOk;
    std::string reason;  // the system's own words, empty on success
    bool ok() const { return status == FileStatus::kOk; }
};

using FileHandle = std::uintptr_t;
constexpr FileHandle kNoFile = 0;

// kPeek reads a file that others may go on writing, renaming or deleting meanwhile.
enum class FileAccess { kRead, kReadWrite, kPeek };

class DeliveryFiles {
public:
    virtual bool CanOpenForReading(const std::string& path) = 0;
    virtual FileResult OpenFile(const std::string& path, FileAccess access, FileHandle& file, std::uint64_t& size) = 0;
    virtual FileResult ReadFileAt(FileHandle file, std::uint64_t offset, char* buffer, size_t size, size_t& got) = 0;
    virtual FileResult WriteFileAt(FileHandle file, std::uint64_t offset, const std::string& bytes, bool flush) = 0;
    virtual FileResult FlushFile(FileHandle file) = 0;
    virtual void CloseFile(FileHandle file) = 0;
    virtual FileResult MoveFileNoReplace(const std::string& from, const std::string& to, bool durable) = 0;
    virtual FileResult RemoveFile(const std::string& path) = 0;
    virtual bool TryLock(const std::string& name) = 0;
    virtual void Unlock(const std::string& name) = 0;
    virtual std::optional<std::string> LegacySpelling(const std::string& path) = 0;

protected:
    ~DeliveryFiles() = default;
};

// The logger as an opaque value: its window, as the shell found it.
using LoggerId = std::uintptr_t;
constexpr LoggerId kNoLogger = 0;

enum class SendResult { kDelivered, kGone, kRefused, kNotSent };

// A contact to hand to the logger, and the record that says, once it has been taken, that it was.
struct Handover {
    LoggerId logger = kNoLogger;
    unsigned long marker = 0;
    std::string bytes;
    FileHandle recordFile = kNoFile;
    std::uint64_t recordAt = 0;
    std::string record;
    bool flush = false;             // the copy's write and the record's go to the disk before the next
    FileHandle copyFile = kNoFile;  // none: the contact is not copied
    std::uint64_t copyAt = 0;
    // What goes into the copy: the contact's text as its log holds it (read from `textFile`, from
    // `textFrom` to `textTo`, a piece at a time, whatever its size), then `copyTail` (its line end,
    // and the padding when it is flushed).
    FileHandle textFile = kNoFile;
    std::uint64_t textFrom = 0, textTo = 0;
    std::string copyTail;
};

struct HandoverResult {
    SendResult sent = SendResult::kDelivered;
    FileResult recorded;   // the record's write, when the contact was delivered and copied
    FileResult copied;     // the copy's write, when the contact was delivered
    bool textRead = true;  // false: the copy failed reading the contact's text from its log
};

// The bytes of `source` from `from` to `to`, written to `target` at `at` a piece at a time, so that
// a contact of any size costs one piece of memory. `read(file, at, buffer, size, got)` and
// `write(file, at, bytes, flush)` are the shell's own; nothing is flushed here. `textRead` says
// whether a failure was the source's.
constexpr size_t kCopyPiece = 64 * 1024;
template <typename Read, typename Write>
FileResult CopyInPieces(FileHandle source,
                        std::uint64_t from,
                        std::uint64_t to,
                        FileHandle target,
                        std::uint64_t at,
                        Read read,
                        Write write,
                        bool& textRead) {
    std::string piece;
    textRead = true;
    while (from < to) {
        piece.resize(static_cast<size_t>(std::min<std::uint64_t>(kCopyPiece, to - from)));
        size_t got = 0;
        FileResult result = read(source, from, &piece[0], piece.size(), got);
        if (result.ok() && got == 0) result = {FileStatus::kFailed, "the file ends before the contact does"};
        textRead = result.ok();
        if (!result.ok()) return result;
        piece.resize(got);
        result = write(target, at, piece, false);
        if (!result.ok()) return result;
        from += got;
        at += got;
    }
    return {};
}

// What the sender does once the logger has taken a contact: its copy, then its record.
template <typename Read, typename Write>
void WriteAfterDelivery(const Handover& handover, HandoverResult& result, Read read, Write write) {
    if (handover.copyFile != kNoFile) {
        result.copied = CopyInPieces(handover.textFile, handover.textFrom, handover.textTo, handover.copyFile,
                                     handover.copyAt, read, write, result.textRead);
        if (result.copied.ok())
            result.copied = write(handover.copyFile, handover.copyAt + (handover.textTo - handover.textFrom),
                                  handover.copyTail, handover.flush);
    }
    result.recorded = result.copied.ok()
                          ? write(handover.recordFile, handover.recordAt, handover.record, handover.flush)
                          : result.copied;
}

class LoggerLink {
public:
    virtual size_t AddPort() = 0;
    virtual void BeginSend(size_t port, const Handover& handover) = 0;
    virtual std::optional<HandoverResult> TakeResult(size_t port) = 0;
    virtual void DropWaiting(size_t port) = 0;
    virtual void Done(size_t port) = 0;
    virtual bool Sending(size_t port) = 0;
    virtual std::vector<size_t> TakeNotice() = 0;
    virtual bool AwaitSent(unsigned ms) = 0;

protected:
    ~LoggerLink() = default;
};

class Clock {
public:
    virtual std::uint64_t MonotonicMs() = 0;

protected:
    ~Clock() = default;
};

struct RelayedContact;

class Operator {
public:
    virtual void Tell(const std::string& message) = 0;
    virtual void Relayed(const RelayedContact& contact) = 0;
    virtual bool LeaveOutFrequency() = 0;
    virtual void BetweenLines() = 0;

protected:
    ~Operator() = default;
};

}  // namespace qsoferry
