#include "platform/logger_sender_win.h"

#include "platform/files.h"
#include "relay/handover_queue.h"

namespace qsoferry {

struct LoggerSender::Shared {
    Shared(HWND frameWindow, HWND notifyWindow, UINT notifyMessage)
        : frame(frameWindow), notify(notifyWindow), message(notifyMessage) {
        InitializeCriticalSection(&lock);
    }
    ~Shared() {
        DeleteCriticalSection(&lock);
        if (work) CloseHandle(work);
    }
    void Enter() { EnterCriticalSection(&lock); }
    void Leave() { LeaveCriticalSection(&lock); }
    void Tell(bool tell) {
        if (tell) PostMessageW(notify, message, 0, 0);
    }

    CRITICAL_SECTION lock;
    HANDLE work = CreateEventW(nullptr, FALSE, FALSE, nullptr);  // auto-reset: look at the queue again
    const HWND frame, notify;
    const UINT message;
    // Guarded by the lock.
    HandoverQueue queue;
    bool asleep = false;  // the sender waits for `work`
};

namespace {

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

HandoverResult HandOver(HWND frame, const Handover& handover) {
    HandoverResult result;
    result.sent = SendNow(frame, handover);
    if (result.sent == SendResult::kDelivered) {
        WriteAfterDelivery(handover, result, files::ReadAt,
                           [](FileHandle file, std::uint64_t at, const std::string& bytes, bool flush) {
                               return files::WriteAt(file, at, bytes, flush);
                           });
    }
    return result;
}

// Sends what the queue gives, until it gives nothing; then the sender counts as asleep.
void SendWhatWaits(LoggerSender::Shared& s) {
    for (;;) {
        s.Enter();
        std::optional<Handover> next = s.queue.PickUp();
        s.asleep = !next;
        s.Leave();
        if (!next) return;
        HandoverResult result = HandOver(s.frame, *next);
        s.Enter();
        bool tell = s.queue.Ended(result);
        s.Leave();
        s.Tell(tell);
    }
}

DWORD WINAPI SenderThread(void* parameter) {
    auto* handed = static_cast<std::shared_ptr<LoggerSender::Shared>*>(parameter);
    std::shared_ptr<LoggerSender::Shared> shared = std::move(*handed);
    delete handed;
    for (;;) {
        SendWhatWaits(*shared);
        if (WaitForSingleObject(shared->work, INFINITE) != WAIT_OBJECT_0) return 1;
    }
}

}  // namespace

LoggerSender::LoggerSender(HWND frame, HWND notify, UINT message)
    : m_shared(std::make_shared<Shared>(frame, notify, message)) {}

// Every call of the window's thread on the queue, under the lock; the sender is woken afterwards
// if it sleeps, since what it may pick up can have changed (a handover added, a port that it waited
// for done).
template <typename Call>
auto LoggerSender::Locked(Call call) {
    Shared& s = *m_shared;
    s.Enter();
    auto result = call(s.queue);
    bool wake = s.asleep;
    s.asleep = false;
    s.Leave();
    if (!wake) return result;
    if (m_threaded) {
        SetEvent(s.work);
    } else if (m_started) {
        // No thread to be had: the window waits for the handovers rather than lose them.
        SendWhatWaits(s);
    }
    return result;
}

size_t LoggerSender::AddPort() {
    return Locked([](HandoverQueue& queue) { return queue.AddPort(); });
}

void LoggerSender::Begin(size_t port, const Handover& handover) {
    if (!m_started) {
        m_started = true;
        m_shared->asleep = true;
        auto* handed = new std::shared_ptr<Shared>(m_shared);
        HANDLE thread = m_shared->work ? CreateThread(nullptr, 0, SenderThread, handed, 0, nullptr) : nullptr;
        m_threaded = thread != nullptr;
        if (thread) {
            CloseHandle(thread);  // never joined: it lives as long as the process
        } else {
            delete handed;
        }
    }
    Tell(Locked([&](HandoverQueue& queue) { return queue.Add(port, handover); }));
}

std::optional<HandoverResult> LoggerSender::Take(size_t port) {
    return Locked([port](HandoverQueue& queue) { return queue.Take(port); });
}

void LoggerSender::DropWaiting(size_t port) {
    Tell(Locked([port](HandoverQueue& queue) { return queue.DropWaiting(port); }));
}

void LoggerSender::Done(size_t port) {
    Locked([port](HandoverQueue& queue) {
        queue.Done(port);
        return true;
    });
}

bool LoggerSender::Sending(size_t port) {
    return Locked([port](HandoverQueue& queue) { return queue.Sending(port); });
}

std::vector<size_t> LoggerSender::TakeNotice() {
    return Locked([](HandoverQueue& queue) { return queue.TakeNotice(); });
}

void LoggerSender::Tell(bool tell) {
    m_shared->Tell(tell);
}

bool LoggerSender::Await(unsigned ms) {
    Shared& s = *m_shared;
    const ULONGLONG deadline = GetTickCount64() + ms;
    for (;;) {
        s.Enter();
        bool sending = s.queue.SendingAny();
        s.Leave();
        if (!sending) return true;
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
