#include "fake_platform.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/files.h"
#include "relay/text.h"

namespace fs = std::filesystem;

namespace qsoferry::test {

FakePlatform::FakePlatform() {
    std::string pattern = (fs::temp_directory_path() / "qsoferry-test-XXXXXX").string();
    root = ::mkdtemp(pattern.data());
}

FakePlatform::~FakePlatform() {
    std::error_code ignored;
    fs::remove_all(root, ignored);
}

WindowHandle FakePlatform::AddWindow(const std::string& className, const std::string& title, bool topLevel) {
    WindowHandle handle = m_nextWindow++;
    m_windows[handle] = {className, title, topLevel};
    return handle;
}

void FakePlatform::RemoveWindow(WindowHandle window) {
    m_windows.erase(window);
}

std::string FakePlatform::Real(const std::string& path) const {
    if (path.rfind("C:\\", 0) != 0) return path;
    std::string tail = path.substr(3);
    for (char& c : tail) {
        if (c == '\\') c = '/';
    }
    return root + "/" + tail;
}

void FakePlatform::WriteFile(const std::string& path, const std::string& bytes) {
    fs::create_directories(fs::path(Real(path)).parent_path());
    std::ofstream(Real(path), std::ios::binary | std::ios::trunc) << bytes;
}

void FakePlatform::AppendFile(const std::string& path, const std::string& bytes) {
    fs::create_directories(fs::path(Real(path)).parent_path());
    std::ofstream(Real(path), std::ios::binary | std::ios::app) << bytes;
}

bool FakePlatform::Exists(const std::string& path) const {
    return fs::exists(Real(path));
}

std::string FakePlatform::Contents(const std::string& path) const {
    std::ifstream in(Real(path), std::ios::binary);
    std::stringstream buffer;
    buffer << in.rdbuf();
    return buffer.str();
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

FileResult FakePlatform::Injected(const std::string& op, const std::string& path) {
    auto it = m_failures.find({op, path});
    if (it == m_failures.end() || it->second.second == 0) return {};
    --it->second.second;
    return {it->second.first, "injected " + op + " failure"};
}

DrainResult FakePlatform::DispatchPendingMessage() {
    if (quit) return DrainResult::kQuit;
    if (queue.empty()) {
        calls.push_back("Drain");
        return DrainResult::kEmpty;
    }
    auto message = std::move(queue.front());
    queue.pop_front();
    calls.push_back("Dispatch");
    message();
    return DrainResult::kDispatched;
}

WindowHandle FakePlatform::FindWindowByClass(const std::string& className) {
    calls.push_back("FindClass " + className);
    for (const auto& [handle, window] : m_windows) {
        if (window.topLevel && text::EqualsNoCase(window.className, className)) return handle;
    }
    return kNoWindow;
}

WindowHandle FakePlatform::FindWindowByTitle(const std::string& title) {
    calls.push_back("FindTitle " + title);
    for (const auto& [handle, window] : m_windows) {
        if (window.topLevel && text::EqualsNoCase(window.title, title)) return handle;
    }
    return kNoWindow;
}

void FakePlatform::SendCopyData(WindowHandle target, unsigned long marker, const std::string& bytes) {
    calls.push_back("CopyData");
    if (m_windows.count(target)) sent.push_back({target, marker, bytes});
}

BitmapHandle FakePlatform::LoadBitmapResource(int resourceId) {
    calls.push_back("LoadBitmap " + std::to_string(resourceId));
    if (failingBitmaps.count(resourceId)) return kNoBitmap;
    BitmapHandle handle = m_nextBitmap++;
    liveBitmaps.insert(handle);
    return handle;
}

void FakePlatform::ReleaseBitmap(BitmapHandle bitmap) {
    calls.push_back("ReleaseBitmap");
    liveBitmaps.erase(bitmap);
}

void FakePlatform::SetControlImage(int controlId, BitmapHandle bitmap) {
    calls.push_back("SetImage " + std::to_string(controlId));
    controlImage[controlId] = bitmap;
}

int FakePlatform::GetCheckState(int controlId) {
    calls.push_back("GetCheck " + std::to_string(controlId));
    return checkState[controlId];
}

void FakePlatform::SetCheckState(int controlId, int state) {
    calls.push_back("SetCheck " + std::to_string(controlId) + " " + std::to_string(state));
    checkState[controlId] = state;
}

void FakePlatform::SetDocumentTitle(const std::string& title) {
    calls.push_back("DocumentTitle " + title);
    documentTitle = title;
}

void FakePlatform::SetMainCaption(const std::string& text) {
    calls.push_back("Caption " + text);
    caption = text;
}

void FakePlatform::FitFrameToForm() {
    calls.push_back("FitFrame");
}

void FakePlatform::StartTimer(unsigned timerId, unsigned periodMs) {
    calls.push_back("StartTimer " + std::to_string(timerId) + " " + std::to_string(periodMs));
    timers[timerId] = periodMs;
}

bool FakePlatform::CanOpenForReading(const std::string& path) {
    calls.push_back("CanOpen " + path);
    return files::CanOpenForReading(Real(path));
}

FileResult FakePlatform::ReadWholeFile(const std::string& path, std::string& bytes) {
    calls.push_back("Read " + path);
    FileResult result = Injected("read", path);
    if (result.ok()) result = files::ReadWholeFile(Real(path), bytes);
    if (afterRead) afterRead(path);
    return result;
}

FileResult FakePlatform::MoveFileNoReplace(const std::string& from, const std::string& to) {
    calls.push_back("Move " + from + " -> " + to);
    FileResult result = Injected("move", from);
    return result.ok() ? files::MoveNoReplace(Real(from), Real(to)) : result;
}

FileResult FakePlatform::RemoveFile(const std::string& path) {
    calls.push_back("Remove " + path);
    FileResult result = Injected("remove", path);
    return result.ok() ? files::Remove(Real(path)) : result;
}

std::optional<std::string> FakePlatform::UserName() {
    calls.push_back("UserName");
    return userName;
}

void FakePlatform::ShowMessage(const std::string& text) {
    calls.push_back("Message " + text);
    messages.push_back(text);
    if (whileMessageShown) whileMessageShown();
}

}  // namespace qsoferry::test
