#include "platform/logger_sender_win.h"

namespace qsoferry {

struct LoggerSender::Shared {
    HANDLE work = CreateEventW(nullptr, FALSE, FALSE, nullptr);  // auto-reset: a send waits
    HANDLE done = CreateEventW(nullptr, TRUE, TRUE, nullptr);    // manual-reset: no send in flight
    // Written by the window's thread before `work` is set.
    HWND target = nullptr, frame = nullptr, notify = nullptr;
    UINT message = 0;
    unsigned long marker = 0;
    std::string bytes;
    // Written by the sender thread before `done` is set.
    SendResult result = SendResult::kDelivered;

    ~Shared() {
        if (work) CloseHandle(work);
        if (done) CloseHandle(done);
    }
};

namespace {

SendResult SendNow(const LoggerSender::Shared& s) {
    // The logger was looked up at the last tick and may have ended since.
    if (!IsWindow(s.target)) return SendResult::kGone;
    COPYDATASTRUCT data;
    data.dwData = s.marker;
    data.cbData = static_cast<DWORD>(s.bytes.size());
    data.lpData = const_cast<char*>(s.bytes.data());
    // The text must stay in place until the logger's window procedure has returned: it does, in
    // s.bytes, which nobody touches before `done` is set. What the logger answers says nothing;
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

void Finish(LoggerSender::Shared& s, SendResult result) {
    s.result = result;
    HWND notify = s.notify;
    UINT message = s.message;
    SetEvent(s.done);  // from here on the window's thread may hand over the next send
    PostMessageW(notify, message, static_cast<WPARAM>(result), 0);
}

DWORD WINAPI SenderThread(void* parameter) {
    auto* handed = static_cast<std::shared_ptr<LoggerSender::Shared>*>(parameter);
    std::shared_ptr<LoggerSender::Shared> shared = std::move(*handed);
    delete handed;
    for (;;) {
        if (WaitForSingleObject(shared->work, INFINITE) != WAIT_OBJECT_0) return 1;
        Finish(*shared, SendNow(*shared));
    }
}

}  // namespace

void LoggerSender::Begin(HWND target, HWND frame, HWND notify, UINT message, unsigned long marker,
                         const std::string& bytes) {
    if (!m_shared) {
        auto shared = std::make_shared<Shared>();
        auto* handed = new std::shared_ptr<Shared>(shared);
        HANDLE thread = shared->work && shared->done ? CreateThread(nullptr, 0, SenderThread, handed, 0, nullptr)
                                                     : nullptr;
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
    ResetEvent(s.done);
    SetEvent(s.work);
}

std::optional<SendResult> LoggerSender::Await(unsigned ms) {
    if (!m_shared) return std::nullopt;
    const ULONGLONG deadline = GetTickCount64() + ms;
    for (;;) {
        ULONGLONG now = GetTickCount64();
        DWORD left = now >= deadline ? 0 : static_cast<DWORD>(deadline - now);
        DWORD woken = MsgWaitForMultipleObjects(1, &m_shared->done, FALSE, left, QS_SENDMESSAGE);
        if (woken == WAIT_OBJECT_0) return m_shared->result;
        if (woken != WAIT_OBJECT_0 + 1) return std::nullopt;
        // A message another program sends to our windows (the logger answering the frame): taken
        // in by the peek, without touching anything posted.
        MSG msg;
        PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    }
}

}  // namespace qsoferry
