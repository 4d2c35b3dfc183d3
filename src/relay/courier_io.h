// What the delivery engine (courier.h) asks of the world around it: files, the logger, a clock and
// the operator. Each shell implements these: the bridge's platform (Win32 or the tests' fake) the
// first three, the form view the last. Nothing here knows a window, a control or a resource.
//
// What the engine relies on from each operation:
//  - Files: expected failures are returned as values, never thrown. OpenFile with kRead lets others
//    read the file but not write, rename or delete it while it is open; kReadWrite creates the file
//    when it is missing. WriteFileAt with flush returns only once the bytes are on the disk.
//    MoveFileNoReplace never replaces a file that exists at the new name.
//  - TryLock / Unlock: a named lock shared by every process on the machine, held until Unlock or
//    until the process ends, however it ends. TryLock never waits: false while another holds it.
//  - LegacySpelling: the path's bytes as bridges from before Unicode paths had it, in the system's
//    code page, when that spells every character of it; nothing otherwise. The lock is named from
//    it, so that an older bridge on the same log (one started by hand) and this one agree.
//  - BeginSend: hands a contact over and returns at once; the caller never waits for the logger.
//    The contact's bytes (no terminator) go with the marker to the logger's window; once the
//    logger's window procedure has returned and taken it, the handover's record is written, and
//    only then does the next handover go. At most two are outstanding: one in flight and one
//    waiting behind it, so that the logger gets the next contact without waiting for the engine.
//    A waiting handover whose predecessor was not delivered, or not recorded, is not sent at all
//    (kNotSent). The result says kGone when the window had vanished, kRefused when the system kept
//    the message from it (a logger running with higher rights); what the logger answers says
//    nothing.
//  - TakeResult: the result of the oldest handover that has ended, once; results come in the
//    order of the handovers. When one is there, the shell calls Courier::SendDone on the engine's
//    own thread, from its message loop.
//  - DropWaiting: the handover waiting behind the one in flight, if it has not gone yet, does not
//    go (its result says kNotSent).
//  - AwaitResult: waits at most `ms` until a result can be taken.
//  - MonotonicMs: milliseconds from any fixed point, never going back (not the time of day).
//  - Tell: shows the operator a message and returns once it has been seen; the engine's own calls
//    (SendDone among them) may run meanwhile.
//  - LeaveOutFrequency: the operator's choice as it stands now, read just before each export.
//  - BetweenLines: called before each data line of the log; the shell keeps its window answering
//    there, and may run any of its handlers, the engine's own calls included.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

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

enum class FileAccess { kRead, kReadWrite };

class DeliveryFiles {
public:
    virtual bool CanOpenForReading(const std::string& path) = 0;
    virtual FileResult OpenFile(const std::string& path, FileAccess access, FileHandle& file, std::uint64_t& size) = 0;
    virtual FileResult ReadFileAt(FileHandle file, std::uint64_t offset, char* buffer, size_t size, size_t& got) = 0;
    virtual FileResult WriteFileAt(FileHandle file, std::uint64_t offset, const std::string& bytes, bool flush) = 0;
    virtual void CloseFile(FileHandle file) = 0;
    virtual FileResult MoveFileNoReplace(const std::string& from, const std::string& to) = 0;
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
    bool flush = false;
};

struct HandoverResult {
    SendResult sent = SendResult::kDelivered;
    FileResult recorded;  // the record's write, when the contact was delivered
};

class LoggerLink {
public:
    virtual void BeginSend(const Handover& handover) = 0;
    virtual std::optional<HandoverResult> TakeResult() = 0;
    virtual void DropWaiting() = 0;
    virtual bool AwaitResult(unsigned ms) = 0;

protected:
    ~LoggerLink() = default;
};

class Clock {
public:
    virtual std::uint64_t MonotonicMs() = 0;

protected:
    ~Clock() = default;
};

class Operator {
public:
    virtual void Tell(const std::string& message) = 0;
    virtual bool LeaveOutFrequency() = 0;
    virtual void BetweenLines() = 0;

protected:
    ~Operator() = default;
};

}  // namespace qsoferry
