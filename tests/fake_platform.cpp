#include "fake_platform.h"

#include <stdexcept>

#include "relay/text.h"

namespace qsoferry::test {

FakePlatform::FakePlatform() = default;
FakePlatform::~FakePlatform() = default;

WindowHandle FakePlatform::AddWindow(const std::string& className, const std::string& title, bool topLevel) {
    WindowHandle handle = m_nextWindow++;
    m_windows[handle] = {className, title, topLevel};
    return handle;
}

void FakePlatform::RemoveWindow(WindowHandle window) {
    m_windows.erase(window);
}

void FakePlatform::FailNext(const std::string& op, const std::string& path, FileStatus status, int times) {
    m_failures[{op, path}] = {status, times};
}

std::vector<std::string> FakePlatform::CallsNamed(const std::string& prefix) const {
    std::vector<std::string> out;
    for (const std::string& call : calls) {
        if (call.rfind(prefix, 0) == 0) out.push_back(call);
    }
    return out;
}

bool FakePlatform::Record(std::string call) {
    if (crashed) return false;
    if (crashAfterCalls != 0 && calls.size() == crashAfterCalls) {
        crashed = true;
        throw Crashed{};
    }
    calls.push_back(std::move(call));
    return true;
}

void FakePlatform::CutPower(unsigned seed) {
    Restart();
    std::mt19937 rng(seed);
    disk.CutPower(rng);
}

void FakePlatform::Restart() {
    disk.CloseAll();
    crashed = false;
    crashAfterCalls = 0;
    queue.clear();
    m_handovers = HandoverQueue();
    m_step = Step::kPickUp;
    windowGone = false;
    quit = false;
}

FileResult FakePlatform::Injected(const std::string& op, const std::string& path) {
    if (++fileOperations == m_failAt) return {m_failStatus, "injected " + op + " failure"};
    return InjectedOnPath(op, path);
}

FileResult FakePlatform::InjectedOnPath(const std::string& op, const std::string& path) {
    auto it = m_failures.find({op, path});
    if (it == m_failures.end() || it->second.second == 0) return {};
    --it->second.second;
    return {it->second.first, "injected " + op + " failure"};
}

DrainResult FakePlatform::DispatchPendingMessage() {
    if (quit || crashed) return DrainResult::kQuit;
    if (queue.empty()) {
        if (!Record("Drain")) return DrainResult::kQuit;
        return DrainResult::kEmpty;
    }
    if (!Record("Dispatch")) return DrainResult::kQuit;
    auto message = std::move(queue.front());
    queue.pop_front();
    message();
    return DrainResult::kDispatched;
}

WindowHandle FakePlatform::FindWindowByClass(const std::string& className) {
    if (!Record("FindClass " + className)) return kNoWindow;
    for (const auto& [handle, window] : m_windows) {
        if (window.topLevel && text::EqualsNoCase(window.className, className)) return handle;
    }
    return kNoWindow;
}

std::vector<std::string> FakePlatform::TopLevelWindowTitles() {
    std::vector<std::string> titles;
    if (!Record("Titles")) return titles;
    for (const auto& [handle, window] : m_windows) {
        if (window.topLevel) titles.push_back(window.title);
    }
    return titles;
}

// The message that tells the form results can be taken, to its queue.
void FakePlatform::PostNotice() {
    Post([this] {
        if (sendDone) sendDone();
    });
}

void FakePlatform::LinkCall() {
    if (beforeLinkCall) beforeLinkCall();
    if (!stepSender) RunSender();
}

size_t FakePlatform::AddPort() {
    return m_handovers.AddPort();
}

void FakePlatform::BeginSend(size_t port, const Handover& handover) {
    LinkCall();
    ++handedOver;
    if (m_handovers.Add(port, handover)) PostNotice();
    if (!stepSender) RunSender();
}

std::optional<HandoverResult> FakePlatform::TakeResult(size_t port) {
    LinkCall();
    return m_handovers.Take(port);
}

void FakePlatform::DropWaiting(size_t port) {
    LinkCall();
    if (m_handovers.DropWaiting(port)) PostNotice();
}

void FakePlatform::Done(size_t port) {
    LinkCall();
    m_handovers.Done(port);
}

bool FakePlatform::Sending(size_t port) {
    LinkCall();
    return m_handovers.Sending(port);
}

std::vector<size_t> FakePlatform::TakeNotice() {
    LinkCall();
    return m_handovers.TakeNotice();
}

bool FakePlatform::AwaitSent(unsigned ms) {
    if (!Record("AwaitSent " + std::to_string(ms))) return false;
    if (m_step == Step::kHeld && !loggerHangs) ReleaseSend();
    // The sender goes on meanwhile, as far as the logger lets it: with whatever it may pick up next.
    while (SenderCanStep())
        SenderStep();
    if (m_handovers.SendingAny()) nowMs += ms;  // the whole wait passes
    return !m_handovers.SendingAny();
}

bool FakePlatform::SenderCanStep() const {
    if (crashed) return false;
    switch (m_step) {
        case Step::kPickUp:
            return m_handovers.CanPickUp();
        case Step::kHeld:
            return false;
        default:
            return true;
    }
}

void FakePlatform::SenderStep() {
    m_inSender = true;
    struct Leave {
        bool& flag;
        ~Leave() { flag = false; }
    } leave{m_inSender};
    switch (m_step) {
        case Step::kPickUp: {
            std::optional<Handover> next = m_handovers.PickUp();
            if (!next) return;
            m_inHand = *next;
            ++pickedUp;
            m_result = {};
            m_step = Step::kSend;
            return;
        }
        case Step::kSend:
            if (!Record("CopyData")) return;
            if (beforeSend) beforeSend();
            if (failNextSend) {
                m_result.sent = *failNextSend;
                failNextSend.reset();
            } else if (!m_windows.count(m_inHand.logger)) {
                m_result.sent = SendResult::kGone;
            } else if (refuseSends) {
                m_result.sent = SendResult::kRefused;
            } else {
                sent.push_back({m_inHand.logger, m_inHand.marker, m_inHand.bytes});
            }
            m_step = m_result.sent != SendResult::kDelivered ? Step::kEnd : holdSends ? Step::kHeld : Step::kWrite;
            return;
        case Step::kHeld:
            return;
        case Step::kWrite:
            if (!disk.IsOpen(m_inHand.recordFile)) {
                violations.push_back("the sender wrote through a closed handle");
            }
            if (m_inHand.copyFile != kNoFile && !disk.IsOpen(m_inHand.copyFile)) {
                violations.push_back("the sender wrote the copy through a closed handle");
            }
            if (m_inHand.copyFile != kNoFile && !disk.IsOpen(m_inHand.textFile)) {
                violations.push_back("the sender read the contact's text through a closed handle");
            }
            WriteAfterDelivery(
                m_inHand, m_result,
                [&](FileHandle file, std::uint64_t at, char* buffer, size_t size, size_t& got) {
                    return ReadFileAt(file, at, buffer, size, got);
                },
                [&](FileHandle file, std::uint64_t at, const std::string& bytes, bool flush) {
                    if (failNextRecord && file == m_inHand.recordFile)
                        return FileResult{FileStatus::kFailed, "injected record failure"};
                    if (failNextCopy && file == m_inHand.copyFile)
                        return FileResult{FileStatus::kFull, "injected copy failure"};
                    return WriteFileAt(file, at, bytes, flush);
                });
            failNextRecord = failNextCopy = false;
            m_step = Step::kEnd;
            return;
        case Step::kEnd:
            m_step = m_handovers.Ended(m_result) ? Step::kPost : Step::kPickUp;
            return;
        case Step::kPost:
            PostNotice();
            m_step = Step::kPickUp;
            return;
    }
}

void FakePlatform::RunSender() {
    while (SenderCanStep())
        SenderStep();
}

void FakePlatform::ReleaseSend() {
    if (m_step != Step::kHeld) return;
    m_step = Step::kWrite;
    if (!stepSender) RunSender();
}

void FakePlatform::CheckNotWithSender(FileHandle file, const char* what) {
    if (windowGone && !m_inSender) violations.push_back(std::string("the window ") + what + " a file after it closed");
    if (m_inSender || !m_handovers.SendingAny()) return;
    // The contact's text is only read from its log: closing that is what the sender would feel.
    bool carried = m_step != Step::kPickUp && (m_inHand.recordFile == file || m_inHand.copyFile == file ||
                                               (m_inHand.textFile == file && std::string(what) == "closed"));
    if (carried)
        violations.push_back(std::string("the window ") + what + " " + disk.PathOf(file) + " while the sender had it");
}

void FakePlatform::RunQueue() {
    while (!queue.empty() && !crashed && !quit)
        DispatchPendingMessage();
}

BitmapHandle FakePlatform::LoadBitmapResource(int resourceId) {
    if (!Record("LoadBitmap " + std::to_string(resourceId))) return kNoBitmap;
    if (failingBitmaps.count(resourceId)) return kNoBitmap;
    BitmapHandle handle = m_nextBitmap++;
    liveBitmaps.insert(handle);
    loadedBitmaps[resourceId] = handle;
    return handle;
}

void FakePlatform::ReleaseBitmap(BitmapHandle bitmap) {
    if (!Record("ReleaseBitmap")) return;
    liveBitmaps.erase(bitmap);
}

void FakePlatform::SetControlImage(int controlId, BitmapHandle bitmap) {
    if (!Record("SetImage " + std::to_string(controlId))) return;
    controlImage[controlId] = bitmap;
}

int FakePlatform::GetCheckState(int controlId) {
    if (!Record("GetCheck " + std::to_string(controlId))) return 0;
    return checkState[controlId];
}

void FakePlatform::SetCheckState(int controlId, int state) {
    if (!Record("SetCheck " + std::to_string(controlId) + " " + std::to_string(state))) return;
    checkState[controlId] = state;
}

void FakePlatform::SetDocumentTitle(const std::string& title) {
    if (!Record("DocumentTitle " + title)) return;
    documentTitle = title;
}

void FakePlatform::SetMainCaption(const std::string& text) {
    if (!Record("Caption " + text)) return;
    caption = text;
}

void FakePlatform::FitFrameToForm() {
    if (!Record("FitFrame")) return;
}

void FakePlatform::StartTimer(unsigned timerId, unsigned periodMs) {
    if (!Record("StartTimer " + std::to_string(timerId) + " " + std::to_string(periodMs))) return;
    timers[timerId] = periodMs;
}

bool FakePlatform::CanOpenForReading(const std::string& path) {
    if (!Record("CanOpen " + path)) return false;
    return disk.CanOpenForReading(path);
}

FileResult FakePlatform::OpenFile(const std::string& path, FileAccess access, FileHandle& file, std::uint64_t& size) {
    file = kNoFile;
    size = 0;
    if (!Record("Open " + path)) return {FileStatus::kFailed, "gone"};
    FileResult result = Injected("open", path);
    if (!result.ok()) return result;
    return disk.OpenFile(path, access, file, size);
}

FileResult FakePlatform::ReadFileAt(FileHandle file, std::uint64_t offset, char* buffer, size_t size, size_t& got) {
    got = 0;
    const std::string path = disk.PathOf(file);
    if (!Record("Read " + path)) return {FileStatus::kFailed, "gone"};
    FileResult result = Injected("read", path);
    if (result.ok()) result = disk.ReadFileAt(file, offset, buffer, size, got);
    if (afterRead) afterRead(path);
    return result;
}

FileResult FakePlatform::WriteFileAt(FileHandle file, std::uint64_t offset, const std::string& bytes, bool flush) {
    CheckNotWithSender(file, "wrote");
    const std::string path = disk.PathOf(file);
    if (!Record("Write " + path)) return {FileStatus::kFailed, "gone"};
    FileResult result = Injected("write", path);
    if (result.ok() && flush) result = InjectedOnPath("flush", path);
    if (!result.ok()) return result;
    if (flush && path.size() > 9 && path.compare(path.size() - 9, 9, ".progress") == 0)
        flushedAt.push_back(sent.size());
    return disk.WriteFileAt(file, offset, bytes, flush);
}

FileResult FakePlatform::FlushFile(FileHandle file) {
    CheckNotWithSender(file, "flushed");
    const std::string path = disk.PathOf(file);
    if (!Record("Flush " + path)) return {FileStatus::kFailed, "gone"};
    FileResult result = Injected("flush", path);
    if (!result.ok()) return result;
    if (path.size() > 9 && path.compare(path.size() - 9, 9, ".progress") == 0) flushedAt.push_back(sent.size());
    return disk.FlushFile(file);
}

void FakePlatform::CloseFile(FileHandle file) {
    if (file == kNoFile || !disk.IsOpen(file)) return;
    CheckNotWithSender(file, "closed");
    if (!Record("Close " + disk.PathOf(file))) return;
    disk.CloseFile(file);
}

bool FakePlatform::TryLock(const std::string& name) {
    if (!Record("TryLock " + name)) return false;
    return !otherBridgeHoldsLocks;
}

void FakePlatform::Unlock(const std::string&) {
    Record("Unlock");
}

FileResult FakePlatform::MoveFileNoReplace(const std::string& from, const std::string& to, bool durable) {
    CheckNotWithSender(kNoFile, "moved");
    if (!Record("Move " + from + " -> " + to)) return FileResult{FileStatus::kFailed, "gone"};
    FileResult result = Injected("move", from);
    if (result.ok()) result = disk.MoveFileNoReplace(from, to, durable);
    if (result.ok() && durable) durableMoves.push_back(from + " -> " + to);
    return result;
}

FileResult FakePlatform::RemoveFile(const std::string& path) {
    CheckNotWithSender(kNoFile, "removed");
    if (!Record("Remove " + path)) return FileResult{FileStatus::kFailed, "gone"};
    FileResult result = Injected("remove", path);
    if (result.ok()) result = disk.RemoveFile(path);
    return result;
}

bool FakePlatform::FolderExists(const std::string& path) {
    if (!Record("FolderExists " + path)) return false;
    return disk.FolderExists(path);
}

std::vector<std::string> FakePlatform::ListFolders(const std::string& parent, const std::string& prefix) {
    std::vector<std::string> names;
    if (!Record("ListFolders " + parent + "\\" + prefix + "*")) return names;
    if (text::EqualsNoCase(parent.substr(0, 26), "C:\\Documents and Settings\\")) {
        throw std::logic_error("listed through the compatibility junctions: " + parent);
    }
    return disk.ListFolders(parent, prefix);
}

std::optional<std::string> FakePlatform::LocalAppDataFolder() {
    if (!Record("LocalAppData")) return std::nullopt;
    return localAppData;
}

std::optional<std::string> FakePlatform::UserName() {
    if (!Record("UserName")) return std::nullopt;
    return userName;
}

bool FakePlatform::AskYesNo(const std::string& text) {
    if (!Record("Ask " + text)) return false;
    messages.push_back(text);
    if (whileMessageShown) whileMessageShown();
    return answerYes;
}

size_t FakePlatform::Choose(const std::string& text, const std::vector<std::string>& answers, size_t preferred) {
    answersOffered = answers;
    answerPreferred = preferred;
    if (!Record("Choose " + text)) return answers.size() - 1;
    messages.push_back(text);
    if (whileMessageShown) whileMessageShown();
    return choice.value_or(preferred);
}

std::optional<std::string> FakePlatform::ChooseLogFile() {
    if (!Record("ChooseLogFile")) return std::nullopt;
    if (whileMessageShown) whileMessageShown();
    return chosenFile;
}

bool FakePlatform::MakeFolder(const std::string& path) {
    if (!Record("MakeFolder " + path)) return false;
    return disk.MakeFolder(path);
}

// The disk in memory knows each file by one spelling of its path, the drive's letter aside.
bool FakePlatform::SameFile(const std::string& a, const std::string& b) {
    if (!Record("SameFile " + a + " = " + b)) return false;
    return disk.Exists(a) && disk.Exists(b) && text::EqualsNoCase(a.substr(0, 1), b.substr(0, 1)) &&
           a.substr(1) == b.substr(1);
}

void FakePlatform::ShowMessage(const std::string& text) {
    if (!Record("Message " + text)) return;
    messages.push_back(text);
    if (whileMessageShown) whileMessageShown();
}

}  // namespace qsoferry::test
