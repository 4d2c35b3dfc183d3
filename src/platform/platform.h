// The platform seam: every operation the bridge asks of the window system, the runtime and its two
// peer programs. The view (and so the relay) reaches the outside world through this interface only.
//
// What the program relies on from each operation:
//  - DispatchPendingMessage: never waits. Takes one pending message of the thread, translates and
//    dispatches it (running the program's own handlers before it returns) and says so; says kEmpty
//    when nothing is pending, and kQuit when the program has been asked to end (the quit request is
//    kept for the main loop, so draining never swallows it).
//  - FindWindowByClass / FindWindowByTitle: top-level windows only, keys compared without regard to
//    case; kNoWindow when there is none.
//  - SendCopyData: synchronous delivery of exactly the given bytes (no terminator) with the marker
//    to the window, wParam being the bridge's main window. kGone when the window has vanished since
//    it was looked up; kRefused when the system kept the message from it (a logger running with
//    higher rights than the bridge). What the logger answers says nothing.
//  - LoadBitmapResource / ReleaseBitmap / SetControlImage: the caller owns loaded bitmaps; a control shows a
//    bitmap without taking ownership of it. A failed load gives kNoBitmap, which shows nothing.
//  - GetCheckState: 0 clear, 1 ticked, anything else indeterminate.
//  - Files: expected failures are returned as values, never thrown. OpenFile with kRead lets others
//    read the file but not write, rename or delete it while it is open; kReadWrite creates the file
//    when it is missing. WriteFileAt with flush returns only once the bytes are on the disk.
//  - TryLock / Unlock: a named lock shared by every process on the machine, held until Unlock or
//    until the process ends, however it ends. TryLock never waits: false while another holds it.
//  - UserName: the logon name exactly as the system gives it (at most 127 bytes), or nothing.
//  - LocalAppDataFolder: the user's local application data folder as the system knows it (where
//    JTDX keeps its folder), without a trailing backslash, or nothing.
//  - FolderExists: true when the path names a folder.
//  - ShowMessage: a modal box with an OK button and the application's title as caption; messages
//    (timer ticks included) are still dispatched while it is open.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace qsoferry {

// Window and bitmap handles cross the seam as opaque values.
using WindowHandle = std::uintptr_t;
using BitmapHandle = std::uintptr_t;
constexpr WindowHandle kNoWindow = 0;
constexpr BitmapHandle kNoBitmap = 0;

enum class DrainResult { kEmpty, kDispatched, kQuit };

enum class SendResult { kDelivered, kGone, kRefused };

enum class FileStatus {
    kOk,
    kNotFound,  // no such file (or folder)
    kBusy,      // another program holds the file (a sharing conflict): try again later
    kFailed,    // anything else; the reason says what
};

using FileHandle = std::uintptr_t;
constexpr FileHandle kNoFile = 0;

enum class FileAccess { kRead, kReadWrite };

struct FileResult {
    FileStatus status = FileStatus::kOk;
    std::string reason;  // the system's own words, empty on success
    bool ok() const { return status == FileStatus::kOk; }
};

class Platform {
public:
    virtual ~Platform() = default;

    // Message queue.
    virtual DrainResult DispatchPendingMessage() = 0;

    // Peers.
    virtual WindowHandle FindWindowByClass(const std::string& className) = 0;
    virtual WindowHandle FindWindowByTitle(const std::string& title) = 0;
    virtual SendResult SendCopyData(WindowHandle target, unsigned long marker, const std::string& bytes) = 0;

    // The form's controls, its frame and its document.
    virtual BitmapHandle LoadBitmapResource(int resourceId) = 0;
    virtual void ReleaseBitmap(BitmapHandle bitmap) = 0;
    virtual void SetControlImage(int controlId, BitmapHandle bitmap) = 0;
    virtual int GetCheckState(int controlId) = 0;
    virtual void SetCheckState(int controlId, int state) = 0;
    virtual void SetDocumentTitle(const std::string& title) = 0;
    virtual void SetMainCaption(const std::string& caption) = 0;
    virtual void FitFrameToForm() = 0;  // shrink only
    virtual void StartTimer(unsigned timerId, unsigned periodMs) = 0;

    // Files.
    virtual bool CanOpenForReading(const std::string& path) = 0;
    virtual FileResult OpenFile(const std::string& path, FileAccess access, FileHandle& file, std::uint64_t& size) = 0;
    virtual FileResult ReadFileAt(FileHandle file, std::uint64_t offset, char* buffer, size_t size, size_t& got) = 0;
    virtual FileResult WriteFileAt(FileHandle file, std::uint64_t offset, const std::string& bytes, bool flush) = 0;
    virtual void CloseFile(FileHandle file) = 0;
    virtual FileResult MoveFileNoReplace(const std::string& from, const std::string& to) = 0;
    virtual FileResult RemoveFile(const std::string& path) = 0;
    virtual bool FolderExists(const std::string& path) = 0;

    // Only one bridge at a time delivers from the same log.
    virtual bool TryLock(const std::string& name) = 0;
    virtual void Unlock(const std::string& name) = 0;

    // User.
    virtual std::optional<std::string> UserName() = 0;
    virtual std::optional<std::string> LocalAppDataFolder() = 0;
    virtual void ShowMessage(const std::string& text) = 0;
};

}  // namespace qsoferry
