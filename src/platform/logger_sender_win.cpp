#include "platform/logger_sender_win.h"

#include <deque>
#include <string>

#include "platform/files.h"

namespace qsoferry {

struct LoggerSender::Shared {
    struct Entry {
        Handover handover;
        bool dropped = false;
    };

    Shared() { InitializeCriticalSection(&lock); }
    ~Shared() {
        DeleteCriticalSection(&lock);
        if (work) CloseHandle(work);
    }
    void Enter() { EnterCriticalSection(&lock); }
    void Leave() { LeaveCriticalSection(&lock); }

    CRITICAL_SECTION lock;
    HANDLE work = CreateEventW(nullptr, FALSE, FALSE, nullptr);  // auto-reset: the queue has grown
    HWND frame = nullptr, notify = nullptr;
    UINT message = 0;
    // Guarded by the lock.
    std::deque<Entry> queue;  // the first one is in flight once `sending`
    bool sending = false;
    bool asleep = false;    // the sender waits for `work`
    bool notified = false;  // a message is posted and results have not all been taken since
    bool blocked = false;   // one failed and its result has not been taken yet
    std::deque<HandoverResult> results;
};

namespace {

bool Failed(const HandoverResult& result) {
    return result.sent == SendResult::kGone || result.sent == SendResult::kRefused ||
           (result.sent == SendResult::kDelivered && !result.recorded.ok());
}

SendResult SendNow(HWND frame, const Handover& handover) {
    // The logger was looked up at a tick and may have ended since.
    HWND target = reinterpret_cast<HWND>(handover.logger);
    if (!IsWindow(target)) return SendResult::kGone;
    COPYDATASTRUCT data;
    data.dwData = handover.marker;
    data.cbData = static_cast<DWORD>(handover.bytes.size());
    data.lpData = const_cast<char*>(handover.bytes.data());
    // The text stays in place until the logger's window procedure has returned. What the logger
    // answers says nothing; only the call itself can fail: for a window that is gone, or one of a
    // program with higher rights, where Windows' UIPI drops the message and says access denied.
    SetLastError(ERROR_SUCCESS);
    LRESULT answer =
        SendMessageA(target, WM_COPYDATA, reinterpret_cast<WPARAM>(frame), reinterpret_cast<LPARAM>(&data));
    if (answer != 0) return SendResult::kDelivered;
    DWORD error = GetLastError();
    // A logger that ended while it had the message may not have kept it: it goes again. Wine says
    // "access denied" then too, so a refusal is only one from a window still there.
    if (error == ERROR_INVALID_WINDOW_HANDLE || !IsWindow(target)) return SendResult::kGone;
    if (error == ERROR_ACCESS_DENIED) return SendResult::kRefused;
    return SendResult::kDelivered;
}

HandoverResult HandOver(HWND frame, const LoggerSender::Shared::Entry& entry) {
    HandoverResult result;
    if (entry.dropped) {
        result.sent = SendResult::kNotSent;
        return result;
    }
    const Handover& handover = entry.handover;
    result.sent = SendNow(frame, handover);
    if (result.sent == SendResult::kDelivered) {
        result.recorded = files::WriteAt(handover.recordFile, handover.recordAt, handover.record, handover.flush);
    }
    return result;
}

// Takes the first entry's result: later ones do not go after a failure.
void Ended(LoggerSender::Shared& s, const HandoverResult& result) {
    s.Enter();
    s.queue.pop_front();
    s.sending = false;
    if (Failed(result)) {
        s.blocked = true;
        for (auto& entry : s.queue)
            entry.dropped = true;
    }
    s.results.push_back(result);
    // One message for as many results as come before the window's thread takes them: each post
    // and each wake costs more than a send under Wine.
    bool post = !s.notified;
    s.notified = true;
    s.Leave();
    if (post) PostMessageW(s.notify, s.message, 0, 0);
}

DWORD WINAPI SenderThread(void* parameter) {
    auto* handed = static_cast<std::shared_ptr<LoggerSender::Shared>*>(parameter);
    std::shared_ptr<LoggerSender::Shared> shared = std::move(*handed);
    delete handed;
    LoggerSender::Shared& s = *shared;
    for (;;) {
        s.Enter();
        while (s.queue.empty()) {
            s.asleep = true;
            s.Leave();
            if (WaitForSingleObject(s.work, INFINITE) != WAIT_OBJECT_0) return 1;
            s.Enter();
            s.asleep = false;
        }
        s.sending = true;
        LoggerSender::Shared::Entry entry = s.queue.front();
        s.Leave();
        Ended(s, HandOver(s.frame, entry));
    }
}

}  // namespace

void LoggerSender::Begin(HWND frame, HWND notify, UINT message, const Handover& handover) {
    if (!m_shared) {
        m_shared = std::make_shared<Shared>();
        m_shared->frame = frame, m_shared->notify = notify, m_shared->message = message;
        auto* handed = new std::shared_ptr<Shared>(m_shared);
        HANDLE thread = m_shared->work ? CreateThread(nullptr, 0, SenderThread, handed, 0, nullptr) : nullptr;
        m_threaded = thread != nullptr;
        if (thread) {
            CloseHandle(thread);  // never joined: it lives as long as the process
        } else {
            delete handed;
        }
    }
    Shared& s = *m_shared;
    s.Enter();
    s.queue.push_back({handover, s.blocked});
    bool wake = s.asleep;
    s.asleep = false;
    s.Leave();
    if (m_threaded) {
        if (wake) SetEvent(s.work);
    } else {
        // No thread to be had: the window waits for this handover rather than lose it.
        Ended(s, HandOver(s.frame, s.queue.front()));
    }
}

std::optional<HandoverResult> LoggerSender::Take() {
    Shared* s = m_shared.get();
    if (!s) return std::nullopt;
    s->Enter();
    std::optional<HandoverResult> result;
    if (!s->results.empty()) {
        result = s->results.front();
        s->results.pop_front();
        if (Failed(*result)) s->blocked = false;
    }
    if (s->results.empty()) s->notified = false;
    s->Leave();
    return result;
}

void LoggerSender::DropWaiting() {
    if (!m_shared) return;
    Shared& s = *m_shared;
    s.Enter();
    for (size_t i = s.sending ? 1 : 0; i < s.queue.size(); ++i)
        s.queue[i].dropped = true;
    s.Leave();
}

bool LoggerSender::Await(unsigned ms) {
    if (!m_shared) return false;
    Shared& s = *m_shared;
    const ULONGLONG deadline = GetTickCount64() + ms;
    for (;;) {
        s.Enter();
        bool ended = !s.results.empty();
        s.Leave();
        if (ended) return true;
        ULONGLONG now = GetTickCount64();
        if (now >= deadline) return false;
        // Looked at again every few milliseconds. Messages other programs send to our windows (the
        // logger answering the frame) are taken in meanwhile, so that such a logger cannot
        // deadlock with us; nothing posted is touched.
        DWORD slice = static_cast<DWORD>(deadline - now < 10 ? deadline - now : 10);
        if (MsgWaitForMultipleObjects(0, nullptr, FALSE, slice, QS_SENDMESSAGE) == WAIT_OBJECT_0) {
            MSG msg;
            PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
        }
    }
}

}  // namespace qsoferry
