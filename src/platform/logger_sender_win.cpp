#include "platform/logger_sender_win.h"

#include <atomic>

namespace qsoferry {

struct LoggerSender::Shared {
    HANDLE work = CreateEventW(nullptr, FALSE, FALSE, nullptr);  // auto-reset: a send waits
    // kAsleep: the sender waits on `work`; kLooking: it looks for the next send for a moment
    // before it sleeps; kHanded: the next send's fields are written.
    enum State { kAsleep, kLooking, kHanded };
    std::atomic<int> state{kAsleep};
    // Written by the window's thread before `work` is set.
    HWND target = nullptr, frame = nullptr, notify = nullptr;
    UINT message = 0;
    unsigned long marker = 0;
    std::string bytes;
    ~Shared() {
        if (work) CloseHandle(work);
    }
};

namespace {

// After each send the sender looks this long for the next one before it sleeps: in a backlog the
// next one comes within a fraction of a millisecond, and a thread that sleeps and is woken again
// costs more than that under Wine. Idle, it sleeps.
constexpr ULONGLONG kLookForNextMs = 3;

SendResult SendNow(const LoggerSender::Shared& s) {
    // The logger was looked up at the last tick and may have ended since.
    if (!IsWindow(s.target)) return SendResult::kGone;
    COPYDATASTRUCT data;
    data.dwData = s.marker;
    data.cbData = static_cast<DWORD>(s.bytes.size());
    data.lpData = const_cast<char*>(s.bytes.data());
    // The text must stay in place until the logger's window procedure has returned: it does, in
    // s.bytes, which the window's thread touches again only once the result has reached it. What the logger answers says nothing;
    // only the call itself can fail: for a window that is gone, or one of a program with higher
    // rights, where Windows' UIPI drops the message and says access denied.
    SetLastError(ERROR_SUCCESS);
    LRESULT answer =
        SendMessageA(s.target, WM_COPYDATA, reinterpret_cast<WPARAM>(s.frame), reinterpret_cast<LPARAM>(&data));
    if (answer != 0) return SendResult::kDelivered;
    DWORD error = GetLastError();
    if (error == ERROR_INVALID_WINDOW_HANDLE) return SendResult::kGone;
    if (error == ERROR_ACCESS_DENIED) return SendResult::kRefused;
    return SendResult::kDelivered;
}

DWORD WINAPI SenderThread(void* parameter) {
    auto* handed = static_cast<std::shared_ptr<LoggerSender::Shared>*>(parameter);
    std::shared_ptr<LoggerSender::Shared> shared = std::move(*handed);
    delete handed;
    LoggerSender::Shared& s = *shared;
    for (;;) {
        // Handed while it looked, the send is taken without the event; otherwise it sleeps.
        int seen = LoggerSender::Shared::kLooking;
        if (s.state.compare_exchange_strong(seen, LoggerSender::Shared::kAsleep) ||
            seen == LoggerSender::Shared::kAsleep) {
            if (WaitForSingleObject(s.work, INFINITE) != WAIT_OBJECT_0) return 1;
        }
        SendResult result = SendNow(s);
        s.state = LoggerSender::Shared::kLooking;
        // From the post on, the window's thread may hand over the next send.
        PostMessageW(s.notify, s.message, static_cast<WPARAM>(result), 0);
        const ULONGLONG until = GetTickCount64() + kLookForNextMs;
        while (s.state.load() == LoggerSender::Shared::kLooking && GetTickCount64() < until)
            SwitchToThread();
    }
}

}  // namespace

void LoggerSender::Begin(HWND target, HWND frame, HWND notify, UINT message, unsigned long marker,
                         const std::string& bytes) {
    if (!m_shared) {
        auto shared = std::make_shared<Shared>();
        auto* handed = new std::shared_ptr<Shared>(shared);
        HANDLE thread = shared->work ? CreateThread(nullptr, 0, SenderThread, handed, 0, nullptr) : nullptr;
        if (thread) {
            CloseHandle(thread);  // never joined: it lives as long as the process
            m_shared = shared;
        } else {
            delete handed;
        }
    }
    if (!m_shared) {
        // No thread to be had: the window waits for this one send rather than lose it.
        Shared alone;
        alone.target = target, alone.frame = frame, alone.marker = marker, alone.bytes = bytes;
        PostMessageW(notify, message, static_cast<WPARAM>(SendNow(alone)), 0);
        return;
    }
    Shared& s = *m_shared;
    s.target = target, s.frame = frame, s.notify = notify, s.message = message, s.marker = marker;
    s.bytes.assign(bytes);
    // A sender still looking takes it as it is; one that sleeps is woken.
    int looking = Shared::kLooking;
    if (s.state.compare_exchange_strong(looking, Shared::kHanded)) return;
    s.state = Shared::kHanded;
    SetEvent(s.work);
}

std::optional<SendResult> LoggerSender::Await(unsigned ms) {
    if (!m_shared) return std::nullopt;
    const Shared& s = *m_shared;
    const ULONGLONG deadline = GetTickCount64() + ms;
    for (;;) {
        // The result is the one message the sender posts: taken off the queue here, and only it.
        MSG msg;
        if (PeekMessageW(&msg, s.notify, s.message, s.message, PM_REMOVE)) return static_cast<SendResult>(msg.wParam);
        ULONGLONG now = GetTickCount64();
        if (now >= deadline) return std::nullopt;
        // Messages other programs send to our windows (the logger answering the frame) are taken
        // in by the wait and the peek, so that such a logger cannot deadlock with us.
        MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(deadline - now), QS_POSTMESSAGE | QS_SENDMESSAGE);
    }
}

}  // namespace qsoferry
