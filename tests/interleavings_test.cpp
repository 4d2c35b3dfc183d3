// Every order of the window's and the sender's steps, for small cases, in the way of loom and CHESS:
// the real view, engines and handover queue run on the fake platform, whose sender takes one step
// at a time (pick up; send; write the record; end; post the notice). The window's thread runs its
// message loop (a pending message first, else a tick); at every call it makes on the logger link,
// and between its events, the schedule says whether the sender goes on. Every schedule with at
// most `bound` preemptions (the sender going on inside the window's work, or the window going on
// while the sender could) is run, with a failure at each send in turn or an interruption posted at
// each step. After each: every contact of every folder arrived, in its order, with no more repeats
// than the interruption allows; the window never wrote or closed a file the sender held, nor any
// file after it closed; the sender never wrote through a closed handle; once the session may end,
// nothing new was handed over or sent; the end of the session waited no longer than its deadline.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <map>

#include "view_fixture.h"

namespace qsoferry::test {
namespace {

// The schedules of a run, enumerated depth first: a run asks at each choice point which of n
// options it takes, 0 being the default; the next run changes the last choice it can. A preempting
// point counts against the bound once it takes anything but 0.
class Schedules {
public:
    explicit Schedules(int bound) : m_bound(bound) {}

    size_t Choose(size_t options, bool preempts = true) {
        if (m_depth < m_points.size()) return m_points[m_depth++].chosen;
        m_points.push_back({0, options, preempts});
        ++m_depth;
        return 0;
    }
    bool Next() {
        while (!m_points.empty()) {
            Point& last = m_points.back();
            int used = 0;
            for (size_t i = 0; i + 1 < m_points.size(); ++i)
                used += m_points[i].preempts && m_points[i].chosen != 0;
            if (last.chosen + 1 < last.options && (!last.preempts || used < m_bound)) {
                ++last.chosen;
                m_depth = 0;
                return true;
            }
            m_points.pop_back();
        }
        return false;
    }

private:
    struct Point {
        size_t chosen, options;
        bool preempts;
    };
    int m_bound;
    std::vector<Point> m_points;
    size_t m_depth = 0;
};

enum class Interruption { kNone, kClose, kEndSession, kEndSessionHung, kCancelledEnd };

struct Scenario {
    const char* what;
    std::vector<std::string> folders;  // a prefix each; the first is JTDX's own folder
    int contacts;                      // in each folder's log
    bool faults;                       // a send fails, in turn each of them and in each way
    Interruption interruption;
    int bound;
    int repeatsAllowed;
};

const std::string kLocal = "C:\\Users\\oper\\AppData\\Local";

std::string FolderOf(size_t i, const std::string& prefix) {
    return i == 0 ? kJtdxFolder : kLocal + "\\JTDX - " + prefix + "\\";
}

// One run of a scenario under one schedule.
class Station {
public:
    FakePlatform p;

    Station(const Scenario& scenario, Schedules& schedules) : m_scenario(scenario), m_s(schedules) {
        p.localAppData = kLocal;
        for (size_t i = 0; i < scenario.folders.size(); ++i) {
            const std::string folder = FolderOf(i, scenario.folders[i]);
            p.WriteFile(folder + "wsjtx_log_bak.adi", "");
            std::vector<std::string> records;
            for (int n = 1; n <= scenario.contacts; ++n)
                records.push_back("<call:2>" + scenario.folders[i] + std::to_string(n));
            p.WriteFile(folder + "wsjtx_log.adi", DecoderLog(records));
        }
        p.AddWindow("DXbase", "");
        p.stepSender = true;
        p.holdSends = p.loggerHangs = scenario.interruption == Interruption::kEndSessionHung;
        p.beforeLinkCall = [this] { Yield(); };
        p.beforeSend = [this] { MaybeFail(); };
        StartView();
    }

    // The window's message loop for `ticks` ticks, the sender going on as the schedule says; then
    // the program ends if it was interrupted, and starts again; then all goes on undisturbed until
    // every log is delivered.
    void Explore(int ticks) {
        for (int tick = 0; tick < ticks && !m_ended;) {
            AnswerQuery();
            MaybeInterrupt();
            const bool idle = p.queue.empty();
            // While the window has nothing to do the sender goes on, unless a tick comes first.
            if (p.SenderCanStep() && (idle ? m_s.Choose(2) == 0 : m_s.Choose(2) == 1)) {
                RunSender();
                continue;
            }
            if (idle) {
                ++tick;
                m_view->OnTimer(kPollTimerId);
            } else {
                p.DispatchPendingMessage();
            }
            if (m_closed) End();
        }
        // An interruption already on its way is handled before the program is left alone.
        while (m_interrupted && !m_ended && (!p.queue.empty() || (m_queried && !m_answered))) {
            AnswerQuery();
            p.DispatchPendingMessage();
            if (m_closed) End();
        }
        if (m_ended) {
            // The process is gone, its sender with it, at any of the sender's steps.
            while (p.SenderCanStep() && m_s.Choose(2, false) == 0)
                p.SenderStep();
            m_view.reset();
            p.Restart();
            p.holdSends = p.loggerHangs = false;
            StartView();
        }
        p.beforeLinkCall = nullptr;
        p.beforeSend = nullptr;
        p.stepSender = false;
        p.holdSends = p.loggerHangs = false;
        p.ReleaseSend();
        p.RunSender();
        for (int tick = 0; tick < 30 && !Delivered(); ++tick)
            TickAndRun(p, *m_view);
    }

    ::testing::AssertionResult Check() const {
        auto fail = [&](const std::string& why) {
            return ::testing::AssertionFailure()
                   << why << "; at the logger: " << ::testing::PrintToString(CallsAtLogger(p));
        };
        if (!p.violations.empty()) return fail(p.violations.front());
        if (!Delivered()) {
            std::string left;
            for (size_t i = 0; i < m_scenario.folders.size(); ++i) {
                const std::string log = FolderOf(i, m_scenario.folders[i]) + "wsjtx_log.adi";
                for (const std::string& path : {log, log + ".qsoferry", log + ".qsoferry.progress"})
                    if (p.Exists(path)) left += " " + path;
            }
            return fail("left undelivered:" + left + "; told " + ::testing::PrintToString(p.messages));
        }
        std::map<std::string, std::vector<int>> byFolder;
        for (const std::string& call : CallsAtLogger(p))
            byFolder[call.substr(0, 1)].push_back(std::stoi(call.substr(1)));
        int repeats = 0;
        for (const std::string& folder : m_scenario.folders) {
            const std::vector<int>& got = byFolder[folder];
            // In order, each once, but for a contact sent again right after itself.
            int expected = 1;
            for (int n : got) {
                if (n == expected) {
                    ++expected;
                } else if (n == expected - 1) {
                    ++repeats;
                } else {
                    return fail("folder " + folder + " out of order");
                }
            }
            if (expected != m_scenario.contacts + 1) return fail("folder " + folder + " lost contacts");
        }
        for (size_t i = 0; i < m_scenario.folders.size(); ++i) {
            const std::string copy = p.Contents(FolderOf(i, m_scenario.folders[i]) + kCopyFileName);
            for (int n = 1; n <= m_scenario.contacts; ++n) {
                const std::string record = "<call:2>" + m_scenario.folders[i] + std::to_string(n) + " <eor>\r\n";
                if (copy.find(record) == std::string::npos) return fail("the copy lacks " + record);
            }
        }
        if (repeats > m_scenario.repeatsAllowed) return fail(std::to_string(repeats) + " repeats");
        int awaited = 0;
        for (const std::string& call : p.CallsNamed("AwaitSent "))
            awaited += std::stoi(call.substr(10));
        if (awaited > static_cast<int>(kEndSessionWaitMs)) return fail("the end of the session waited too long");
        return ::testing::AssertionSuccess();
    }

private:
    void StartView() {
        m_view = std::make_unique<CQsoferryView>(p);
        p.sendDone = [this] { m_view->OnSendDone(); };
        m_view->OnInitialUpdate();
    }

    bool Delivered() const {
        for (size_t i = 0; i < m_scenario.folders.size(); ++i) {
            const std::string log = FolderOf(i, m_scenario.folders[i]) + "wsjtx_log.adi";
            if (p.Exists(log) || p.Exists(log + ".qsoferry")) return false;
        }
        return true;
    }

    // The window's thread calls the link: the sender may be running meanwhile.
    void Yield() {
        if (m_inSender || m_ended) return;
        MaybeInterrupt();
        if (p.SenderCanStep() && m_s.Choose(2) == 1) RunSender();
    }

    // Until it can do nothing more, or the schedule lets the window go on.
    void RunSender() {
        m_inSender = true;
        do {
            p.SenderStep();
        } while (p.SenderCanStep() && m_s.Choose(2) == 0);
        m_inSender = false;
    }

    void MaybeFail() {
        if (!m_scenario.faults || m_faulted || m_s.Choose(2, false) == 0) return;
        m_faulted = true;
        switch (m_s.Choose(4, false)) {
            case 0:
                p.failNextSend = SendResult::kGone;  // the logger ended then; it is there again at the next tick
                break;
            case 1:
                p.failNextSend = SendResult::kRefused;
                break;
            case 2:
                p.failNextRecord = true;
                break;
            default:
                p.failNextCopy = true;
                break;
        }
    }

    // Once, at a step the schedule picks, the interruption comes: as the system's messages do,
    // to be handled at the window's next look at its queue, in a drain or in its loop.
    void MaybeInterrupt() {
        if (m_scenario.interruption == Interruption::kNone || m_interrupted || m_s.Choose(2, false) == 0) return;
        m_interrupted = true;
        switch (m_scenario.interruption) {
            case Interruption::kClose:
                p.Post([this] {
                    m_view->OnDestroy();
                    m_closed = true;
                });
                break;
            default:
                // The answer comes back to the system, which sends the end (or its cancel) once the
                // handler that answered has returned: see AnswerQuery.
                p.Post([this] { Query(); });
                break;
        }
    }

    void AnswerQuery() {
        if (!m_queried || m_answered) return;
        m_answered = true;
        if (m_scenario.interruption == Interruption::kCancelledEnd) {
            p.Post([this] {
                Quiet();
                m_view->OnEndSession(false);
            });
        } else {
            p.Post([this] {
                m_view->OnEndSession(true);
                Quiet();
                m_closed = true;
            });
        }
    }

    // Windows asks whether the session may end: from then on no contact is handed over, and once
    // the answer is given, the sender takes up none.
    void Query() {
        m_handedAtQuery = p.handedOver;
        m_view->OnQueryEndSession();
        m_pickedAtQuery = p.pickedUp;
        m_queried = true;
    }
    void Quiet() {
        if (p.handedOver != m_handedAtQuery) p.violations.push_back("a contact handed over once the session may end");
        if (p.pickedUp != m_pickedAtQuery) p.violations.push_back("a contact sent once the session may end");
    }

    // The handler that ended the program has returned: nothing more runs on the window's thread.
    void End() {
        m_ended = true;
        p.windowGone = true;
    }

    const Scenario& m_scenario;
    Schedules& m_s;
    std::unique_ptr<CQsoferryView> m_view;  // after the platform: gone before it
    bool m_inSender = false, m_faulted = false, m_interrupted = false, m_closed = false, m_ended = false;
    bool m_queried = false, m_answered = false;
    int m_handedAtQuery = 0, m_pickedAtQuery = 0;
};

// Under AddressSanitizer a run costs ten times as much: there the explorer looks for memory
// errors, one preemption less deep.
#if defined(__SANITIZE_ADDRESS__)
constexpr int kShallower = 1;
#else
constexpr int kShallower = 0;
#endif

TEST(Interleavings, EveryContactOnceInItsOrderWhateverTheOrderOfTheThreads) {
    const Scenario scenarios[] = {
        {"two folders, three contacts each", {"M", "A"}, 3, false, Interruption::kNone, 2, 0},
        {"two folders, a failure at each send", {"M", "A"}, 2, true, Interruption::kNone, 2, 0},
        {"a close at each step", {"M"}, 3, false, Interruption::kClose, 3, 1},
        {"two folders, a close at each step", {"M", "A"}, 2, false, Interruption::kClose, 2, 1},
        {"the session ends at each step", {"M", "A"}, 2, false, Interruption::kEndSession, 2, 0},
        {"the session ends at each step, the logger hangs", {"M", "A"}, 2, false, Interruption::kEndSessionHung, 2, 1},
        {"an end of the session cancelled at each step", {"M", "A"}, 2, false, Interruption::kCancelledEnd, 2, 0},
    };
    for (const Scenario& scenario : scenarios) {
        const auto started = std::chrono::steady_clock::now();
        Schedules schedules(std::max(1, scenario.bound - kShallower));
        int runs = 0, failures = 0;
        do {
            ++runs;
            Station run(scenario, schedules);
            run.Explore(6);
            ::testing::AssertionResult checked = run.Check();
            if (!checked && ++failures <= 3)
                ADD_FAILURE() << scenario.what << ", run " << runs << ": " << checked.message();
        } while (schedules.Next() && failures == 0);
        const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - started).count();
        std::printf("  %s: %d interleavings, %.0f ms\n", scenario.what, runs, ms);
        EXPECT_GT(runs, 10) << scenario.what;
    }
}

}  // namespace
}  // namespace qsoferry::test
