// A platform for unit tests: top-level windows it is told about, a message queue whose dispatch
// runs whatever the test posted (so handlers can re-enter the view), files on a disk in memory
// (memory_disk.h: paths start with a drive, "C:\"; any other path fails the test), a record of
// every call in order, failures on demand, and a process that can end at any call: with
// crashAfterCalls set, the call after that many throws Crashed, and every call after it does
// nothing, as if the process were gone. Restart then brings a new process up on the same files,
// as the system leaves them; CutPower does the same after a power cut, leaving of the files what
// the disk model in crash_disk.h says may survive.
//
// The logger: the real handover queue (relay/handover_queue.h), worked through by a sender that
// takes the real sender thread's steps one at a time: pick a handover up; send it (it reaches the
// logger, into `sent`, or finds the window gone, or refused); write its record (a "Write" call,
// which can fail or crash like any other); end it; post the notice to the queue for `sendDone`
// when the queue says so. Unless a test steps it itself (stepSender), the sender takes every step
// it can at each call the window's side makes on the link, as a fast sender thread would. With
// holdSends it stops once a handover has reached the logger, until ReleaseSend, as with a logger
// that takes its time; AwaitSent lets it finish unless loggerHangs (then the wait's time passes).
// What the window's side must never do is noted in `violations`: write or close a file that the
// handover with the sender carries; and so must the sender: write through a handle already closed.
#pragma once

#include <deque>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "memory_disk.h"
#include "platform/platform.h"
#include "relay/handover_queue.h"

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
    // The sender's thread: can it take a step, and take it.
    bool SenderCanStep() const;
    void SenderStep();
    void RunSender();

    // Files, as the decoder or the operator writes them: durable at once.
    void WriteFile(const std::string& path, const std::string& bytes) { disk.Put(path, bytes); }
    void AppendFile(const std::string& path, const std::string& bytes) { disk.Append(path, bytes); }
    void MakeFolders(const std::string& path) { disk.MakeFolders(path); }
    bool Exists(const std::string& path) const { return disk.Exists(path); }
    std::string Contents(const std::string& path) const { return disk.Contents(path); }
    // The next `times` calls of an operation ("open", "read", "write", "flush", "move", "remove")
    // on this path fail; "flush" is also a write that flushes.
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
    size_t AddPort() override;
    void BeginSend(size_t port, const Handover& handover) override;
    std::optional<HandoverResult> TakeResult(size_t port) override;
    void DropWaiting(size_t port) override;
    void Done(size_t port) override;
    bool Sending(size_t port) override;
    std::vector<size_t> TakeNotice() override;
    bool AwaitSent(unsigned ms) override;
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
    FileResult FlushFile(FileHandle file) override;
    void CloseFile(FileHandle file) override;
    bool TryLock(const std::string& name) override;
    void Unlock(const std::string& name) override;
    // Its system spells every path as the program does (in UTF-8), as POSIX systems do.
    std::optional<std::string> LegacySpelling(const std::string& path) override { return path; }
    FileResult MoveFileNoReplace(const std::string& from, const std::string& to, bool durable) override;
    FileResult RemoveFile(const std::string& path) override;
    bool FolderExists(const std::string& path) override;
    // Refuses, as Windows does, to list through the compatibility junctions under
    // C:\\Documents and Settings (opening a file by its full name there works).
    std::vector<std::string> ListFolders(const std::string& parent, const std::string& prefix) override;
    std::optional<std::string> UserName() override;
    std::optional<std::string> LocalAppDataFolder() override;
    void ShowMessage(const std::string& text) override;
    bool AskYesNo(const std::string& text) override;
    size_t Choose(const std::string& text, const std::vector<std::string>& answers, size_t preferred) override;
    std::optional<std::string> ChooseLogFile() override;
    LocalTime Now() override { return now; }
    void SetControlText(int controlId, const std::string& text) override { controlText[controlId] = text; }
    void SetControlName(int controlId, const std::string& name) override {
        if (Record("Name " + std::to_string(controlId) + " " + name)) controlName[controlId] = name;
    }
    void AnnounceControl(int controlId) override {
        if (Record("Announce " + std::to_string(controlId))) announced.push_back(controlText[controlId]);
    }
    int NotificationIconSize() override { return iconSize; }
    void ShowNotificationIcon(const std::vector<std::uint32_t>& pixels, int size, const std::string& tip) override {
        iconPixels = pixels;
        iconSizeShown = size;
        iconTip = tip;
    }
    bool ShowNotification(const std::string& text) override {
        if (refuseNotifications) return false;
        notifications.push_back(text);
        return true;
    }
    bool MakeFolder(const std::string& path) override;
    bool SameFile(const std::string& a, const std::string& b) override;

    MemoryDisk disk;
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
    bool refuseSends = false;                // the logger runs with higher rights: the system drops the messages
    std::vector<size_t> flushedAt;           // how many contacts had reached the logger at each progress flush
    std::vector<std::string> durableMoves;   // the moves made durably, as "from -> to"
    bool stepSender = false;                 // the test takes the sender's steps itself
    std::optional<SendResult> failNextSend;  // the next send ends so, without reaching the logger
    bool failNextRecord = false;             // the next record cannot be written
    bool failNextCopy = false;               // nor the next copy (the disk is full for a moment)
    bool windowGone = false;                 // the program has ended: the window's side writes nothing
    int handedOver = 0, pickedUp = 0;        // handovers begun, and taken up by the sender
    std::function<void()> beforeLinkCall;    // runs as the window's side calls the link
    std::vector<std::string> violations;
    std::map<int, std::string> controlText;
    std::map<int, std::string> controlName;
    std::vector<std::string> announced;    // the control's text as each announcement found it
    int iconSize = 16, iconSizeShown = 0;  // the notification area's, and the icon's as last shown
    std::vector<std::uint32_t> iconPixels;
    std::string iconTip;
    std::vector<std::string> notifications;
    bool refuseNotifications = false;  // the notification area shows none (its icon is not there yet)
    LocalTime now{2026, 12, 8, 14, 5};
    std::optional<std::string> chosenFile;  // what the operator picks in the Open dialog
    bool answerYes = true;                  // and answers when asked
    std::optional<size_t> choice;           // the button pressed when given a choice; none: the default
    std::vector<std::string> answersOffered;  // the buttons of the last choice given
    size_t answerPreferred = 0;               // and its default

private:
    bool Record(std::string call);
    // The window's side calls the link: the sender may go on, and eagerly does unless stepped.
    void LinkCall();
    void PostNotice();
    FileResult Injected(const std::string& op, const std::string& path);
    FileResult InjectedOnPath(const std::string& op, const std::string& path);
    void CheckNotWithSender(FileHandle file, const char* what);

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
    HandoverQueue m_handovers;
    // The sender's step to come, and the handover in its hands.
    enum class Step { kPickUp, kSend, kHeld, kWrite, kEnd, kPost } m_step = Step::kPickUp;
    Handover m_inHand;
    HandoverResult m_result;
    bool m_inSender = false;
    CrashDisk m_disk;
};

}  // namespace qsoferry::test
