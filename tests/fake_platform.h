// A platform for unit tests: top-level windows it is told about, a message queue whose dispatch
// runs whatever the test posted (so handlers can re-enter the view), real files under a temporary
// root (paths starting with a drive, "C:\", are mapped below it; any other path fails the test), a
// record of every call in order, failures on demand, and a process that can end at any call: with
// crashAfterCalls set, the call after that many throws Crashed, and every call after it does
// nothing, as if the process were gone. Restart then brings a new process up on the same files,
// as the system leaves them; CutPower does the same after a power cut, leaving of the files what
// the disk model in crash_disk.h says may survive.
//
// The logger: handovers go in order, as the real sender thread takes them. Each reaches the logger
// (it is in `sent`), then its record is written (a "Write" call, which can fail or crash like any
// other), then its end is posted to the queue for `sendDone`. After one that failed, nothing goes
// until the engine has taken its result. With holdSends each waits at the
// logger until ReleaseSend, as with a logger that takes its time; AwaitResult ends it unless
// loggerHangs.
#pragma once

#include <deque>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "crash_disk.h"
#include "platform/platform.h"

namespace qsoferry::test {

struct Crashed {};

struct SentCopyData {
    WindowHandle target;
    unsigned long marker;
    std::string bytes;
};

class FakePlatform : public Platform {
public:
    FakePlatform();
    ~FakePlatform() override;

    // Windows.
    WindowHandle AddWindow(const std::string& className, const std::string& title, bool topLevel = true);
    void RemoveWindow(WindowHandle window);

    // Queue.
    void Post(std::function<void()> message) { queue.push_back(std::move(message)); }

    // Message loop: dispatches whatever is queued, as the program's main loop would.
    void RunQueue();

    // The logger answers the contact it held; the next one waiting goes to it.
    void ReleaseSend();

    // Files, with "C:\..." mapped below the temporary root.
    std::string Real(const std::string& path) const;
    void WriteFile(const std::string& path, const std::string& bytes);
    void AppendFile(const std::string& path, const std::string& bytes);
    bool Exists(const std::string& path) const;
    std::string Contents(const std::string& path) const;
    // The next `times` calls of an operation ("open", "read", "write", "move", "remove") on this
    // path fail.
    void FailNext(const std::string& op, const std::string& path, FileStatus status, int times = 1);
    // Or the n-th of all those calls, counted from 1, fails once.
    void FailFileOperation(int n, FileStatus status) {
        m_failAt = n;
        m_failStatus = status;
    }
    int fileOperations = 0;

    std::vector<std::string> CallsNamed(const std::string& prefix) const;

    // The process ends: its open files are closed (and its locks gone), nothing else changes.
    void Restart();
    // The power goes, then comes back: the process ends, and the files are as a cut leaves them,
    // drawn from `seed`.
    void CutPower(unsigned seed);

    // Platform.
    DrainResult DispatchPendingMessage() override;
    WindowHandle FindWindowByClass(const std::string& className) override;
    std::vector<std::string> TopLevelWindowTitles() override;
    void BeginSend(const Handover& handover) override;
    std::optional<HandoverResult> TakeResult() override;
    void DropWaiting() override;
    bool AwaitResult(unsigned ms) override;
    std::uint64_t MonotonicMs() override { return nowMs; }
    BitmapHandle LoadBitmapResource(int resourceId) override;
    void ReleaseBitmap(BitmapHandle bitmap) override;
    void SetControlImage(int controlId, BitmapHandle bitmap) override;
    int GetCheckState(int controlId) override;
    void SetCheckState(int controlId, int state) override;
    void SetDocumentTitle(const std::string& title) override;
    void SetMainCaption(const std::string& caption) override;
    void FitFrameToForm() override;
    void StartTimer(unsigned timerId, unsigned periodMs) override;
    bool CanOpenForReading(const std::string& path) override;
    FileResult OpenFile(const std::string& path, FileAccess access, FileHandle& file, std::uint64_t& size) override;
    FileResult ReadFileAt(FileHandle file, std::uint64_t offset, char* buffer, size_t size, size_t& got) override;
    FileResult WriteFileAt(FileHandle file, std::uint64_t offset, const std::string& bytes, bool flush) override;
    void CloseFile(FileHandle file) override;
    bool TryLock(const std::string& name) override;
    void Unlock(const std::string& name) override;
    // Its system spells every path as the program does (in UTF-8), as POSIX systems do.
    std::optional<std::string> LegacySpelling(const std::string& path) override { return path; }
    FileResult MoveFileNoReplace(const std::string& from, const std::string& to) override;
    FileResult RemoveFile(const std::string& path) override;
    bool FolderExists(const std::string& path) override;
    // Refuses, as Windows does, to list through the compatibility junctions under
    // C:\\Documents and Settings (opening a file by its full name there works).
    std::vector<std::string> ListFolders(const std::string& parent, const std::string& prefix) override;
    std::optional<std::string> UserName() override;
    std::optional<std::string> LocalAppDataFolder() override;
    void ShowMessage(const std::string& text) override;

    std::string root;
    std::vector<std::string> calls;
    std::vector<SentCopyData> sent;
    std::vector<std::string> messages;
    std::deque<std::function<void()>> queue;
    bool quit = false;
    std::optional<std::string> userName = std::string("OPER");
    std::optional<std::string> localAppData;  // what the system says; nothing unless a test sets it
    std::map<int, int> checkState;
    std::map<int, BitmapHandle> controlImage;
    std::set<BitmapHandle> liveBitmaps;
    std::set<int> failingBitmaps;
    std::string documentTitle, caption;
    std::map<unsigned, unsigned> timers;
    std::function<void()> whileMessageShown;            // runs inside the modal box
    std::function<void(const std::string&)> afterRead;  // runs after a file was read
    std::function<void()> beforeSend;                   // runs before a copy-data message goes
    std::function<void()> sendDone;                     // where the end of a handover is posted
    bool holdSends = false;
    bool loggerHangs = false;
    std::uint64_t nowMs = 1000;
    std::map<int, BitmapHandle> loadedBitmaps;  // by resource id
    size_t crashAfterCalls = 0;
    bool crashed = false;
    bool otherBridgeHoldsLocks = false;
    bool refuseSends = false;  // the logger runs with higher rights: the system drops the messages
    int flushes = 0;

private:
    bool Record(std::string call);
    void SendWaiting();
    void Finish(const Handover& handover, SendResult result);
    void Ended(const HandoverResult& result);
    FileResult Injected(const std::string& op, const std::string& path);

    struct Window {
        std::string className, title;
        bool topLevel;
    };
    std::map<WindowHandle, Window> m_windows;
    WindowHandle m_nextWindow = 0x100;
    BitmapHandle m_nextBitmap = 0x5000;
    std::map<std::pair<std::string, std::string>, std::pair<FileStatus, int>> m_failures;
    int m_failAt = 0;
    FileStatus m_failStatus = FileStatus::kFailed;
    std::map<FileHandle, std::string> m_open;         // handle -> the path it was opened with
    std::deque<std::pair<Handover, bool>> m_waiting;  // handed over, not at the logger yet; dropped?
    bool m_blocked = false;                           // a handover failed and the engine has not taken its result yet
    std::optional<std::pair<Handover, SendResult>> m_held;  // at the logger, not answered
    std::deque<HandoverResult> m_results;
    CrashDisk m_disk;
};

}  // namespace qsoferry::test
