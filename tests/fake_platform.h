// A platform for unit tests: top-level windows it is told about, a message queue whose dispatch
// runs whatever the test posted (so handlers can re-enter the view), real files under a temporary
// root (paths starting with "C:\" are mapped below it), a record of every call in order, and
// failures on demand.
#pragma once

#include <deque>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace qsoferry::test {

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

    // Files, with "C:\..." mapped below the temporary root.
    std::string Real(const std::string& path) const;
    void WriteFile(const std::string& path, const std::string& bytes);
    void AppendFile(const std::string& path, const std::string& bytes);
    bool Exists(const std::string& path) const;
    std::string Contents(const std::string& path) const;
    // The next `times` calls of an operation ("read", "move", "remove") on this path fail.
    void FailNext(const std::string& op, const std::string& path, FileStatus status, int times = 1);

    std::vector<std::string> CallsNamed(const std::string& prefix) const;

    // Platform.
    DrainResult DispatchPendingMessage() override;
    WindowHandle FindWindowByClass(const std::string& className) override;
    WindowHandle FindWindowByTitle(const std::string& title) override;
    void SendCopyData(WindowHandle target, unsigned long marker, const std::string& bytes) override;
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
    FileResult ReadWholeFile(const std::string& path, std::string& bytes) override;
    FileResult MoveFileNoReplace(const std::string& from, const std::string& to) override;
    FileResult RemoveFile(const std::string& path) override;
    std::optional<std::string> UserName() override;
    void ShowMessage(const std::string& text) override;

    std::string root;
    std::vector<std::string> calls;
    std::vector<SentCopyData> sent;
    std::vector<std::string> messages;
    std::deque<std::function<void()>> queue;
    bool quit = false;
    std::optional<std::string> userName = std::string("OPER");
    std::map<int, int> checkState;
    std::map<int, BitmapHandle> controlImage;
    std::set<BitmapHandle> liveBitmaps;
    std::set<int> failingBitmaps;
    std::string documentTitle, caption;
    std::map<unsigned, unsigned> timers;
    std::function<void()> whileMessageShown;            // runs inside the modal box
    std::function<void(const std::string&)> afterRead;  // runs after a file was read

private:
    FileResult Injected(const std::string& op, const std::string& path);

    struct Window {
        std::string className, title;
        bool topLevel;
    };
    std::map<WindowHandle, Window> m_windows;
    WindowHandle m_nextWindow = 0x100;
    BitmapHandle m_nextBitmap = 0x5000;
    std::map<std::pair<std::string, std::string>, std::pair<FileStatus, int>> m_failures;
};

}  // namespace qsoferry::test
