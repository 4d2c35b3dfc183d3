// Delivery that survives faults: the bridge ending at any platform call, the logger going away at
// any send, the progress that cannot be written, bad state on disk, a second bridge, the end of a
// Windows session. Real files in a temporary folder; each contact must reach the logger.
#include <gtest/gtest.h>

#include "read_log.h"
#include "view_fixture.h"

namespace qsoferry::test {
namespace {

const std::string kFiveContacts = DecoderLog({"<call:2>K1", "<call:2>K2 <name:2>Jo", "<call:2>K3 <eor> <call:2>K4",
                                              "<call:2>K5 <band:3>20m"});

std::vector<std::string> CallsAtLogger(const FakePlatform& platform) {
    std::vector<std::string> calls;
    for (const SentCopyData& s : platform.sent)
        calls.push_back(s.bytes.substr(0, s.bytes.find('#')));
    return calls;
}

// Every contact arrived, in order; at most one of them twice, right after itself.
::testing::AssertionResult AllOnceAtMostOneRepeat(const std::vector<std::string>& calls) {
    const std::vector<std::string> expected = {"K1", "K2", "K3", "K4", "K5"};
    std::vector<std::string> unique;
    int repeats = 0;
    for (const std::string& call : calls) {
        if (!unique.empty() && unique.back() == call) {
            ++repeats;
            continue;
        }
        unique.push_back(call);
    }
    if (unique == expected && repeats <= 1) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << ::testing::PrintToString(calls);
}

class Delivery : public ViewTest {
protected:
    // Ticks until a tick sends nothing and no claimed file is left, at most `limit` ticks.
    void TickUntilQuiet(CQsoferryView& v, int limit = 8) {
        for (int i = 0; i < limit; ++i) {
            size_t before = platform.sent.size();
            v.OnTimer(kPollTimerId);
            if (platform.sent.size() == before && !platform.Exists(v.ClaimPath()) && !platform.Exists(v.m_strLogPath))
                return;
        }
    }
    void ExpectNothingLeft() {
        EXPECT_FALSE(platform.Exists(view.m_strLogPath));
        EXPECT_FALSE(platform.Exists(view.ClaimPath()));
        EXPECT_FALSE(platform.Exists(view.ProgressPath()));
    }
};

TEST_F(Delivery, TheBridgeEndingAfterAnyPlatformCallLosesNothing) {
    // How many calls one whole delivery takes, undisturbed.
    StartLogger();
    platform.WriteFile(view.m_strLogPath, kFiveContacts);
    size_t first = platform.calls.size();
    TickUntilQuiet(view);
    ASSERT_EQ(CallsAtLogger(platform), (std::vector<std::string>{"K1", "K2", "K3", "K4", "K5"}));
    const size_t total = platform.calls.size() - first;

    for (size_t k = 1; k <= total; ++k) {
        FakePlatform p;
        p.AddWindow("DXbase", "");
        {
            CQsoferryView bridge(p);
            bridge.DeriveLogPaths();
            p.WriteFile(bridge.m_strLogPath, kFiveContacts);
            p.crashAfterCalls = p.calls.size() + k;
            try {
                for (int tick = 0; tick < 8; ++tick)
                    bridge.OnTimer(kPollTimerId);
            } catch (const Crashed&) {
            }
            ASSERT_TRUE(p.crashed) << k;
        }  // dropped as it was: whatever it would still do goes nowhere
        p.Restart();
        CQsoferryView again(p);
        again.DeriveLogPaths();
        for (int tick = 0; tick < 4; ++tick)
            again.OnTimer(kPollTimerId);
        EXPECT_TRUE(AllOnceAtMostOneRepeat(CallsAtLogger(p))) << "ended after call " << k << ": " << p.calls[first + k - 1];
        EXPECT_FALSE(p.Exists(again.ClaimPath())) << k;
        EXPECT_FALSE(p.Exists(again.ProgressPath())) << k;
    }
}

TEST_F(Delivery, ALoggerThatGoesAwayAtAnySendGetsEveryContactOnce) {
    for (int k = 1; k <= 5; ++k) {
        FakePlatform p;
        WindowHandle firstLogger = p.AddWindow("DXbase", "");
        CQsoferryView bridge(p);
        bridge.DeriveLogPaths();
        p.WriteFile(bridge.m_strLogPath, kFiveContacts);
        int sends = 0;
        p.beforeSend = [&] {
            if (++sends == k) p.RemoveWindow(firstLogger);
        };
        bridge.OnTimer(kPollTimerId);
        EXPECT_EQ(p.sent.size(), static_cast<size_t>(k - 1)) << "delivery stops at the contact that found no logger";
        bridge.OnTimer(kPollTimerId);  // no logger: nothing happens
        p.AddWindow("DXbase", "");
        bridge.OnTimer(kPollTimerId);
        EXPECT_EQ(CallsAtLogger(p), (std::vector<std::string>{"K1", "K2", "K3", "K4", "K5"})) << k;
        EXPECT_FALSE(p.Exists(bridge.ClaimPath()));
    }
}

TEST_F(Delivery, NothingIsSentWhoseDeliveryCannotBeRecorded) {
    // k = 0: the progress cannot even be begun; k > 0: its record after the k-th contact fails.
    for (int k = 0; k <= 5; ++k) {
        FakePlatform p;
        p.AddWindow("DXbase", "");
        CQsoferryView bridge(p);
        bridge.DeriveLogPaths();
        p.WriteFile(bridge.m_strLogPath, kFiveContacts);
        // Failing for two ticks: each tries to write it before sending, and once more as it stops.
        if (k == 0) p.FailNext("write", bridge.ProgressPath(), FileStatus::kFailed, 4);
        int sends = 0;
        p.beforeSend = [&] {
            if (++sends == k) p.FailNext("write", bridge.ProgressPath(), FileStatus::kFailed, 5);
        };
        bridge.OnTimer(kPollTimerId);
        EXPECT_EQ(p.sent.size(), static_cast<size_t>(k)) << "nothing goes after a delivery that is not on record";
        bridge.OnTimer(kPollTimerId);
        EXPECT_EQ(p.sent.size(), static_cast<size_t>(k)) << "still failing: still nothing";
        ASSERT_EQ(p.messages.size(), 1u) << k;
        EXPECT_NE(p.messages[0].find(bridge.ProgressPath()), std::string::npos);
        bridge.OnTimer(kPollTimerId);
        EXPECT_EQ(CallsAtLogger(p), (std::vector<std::string>{"K1", "K2", "K3", "K4", "K5"})) << k;
        EXPECT_FALSE(p.Exists(bridge.ClaimPath()));
    }
}

// What a progress file holding the resume point after contact 2 (K2) of kFiveContacts says.
Progress AfterK2() {
    return {7, ReadLog(kFiveContacts).resume.at(1), 2, false};
}

struct DiskCase {
    const char* what;
    bool claimed;          // the contacts wait in a claimed file, not in the log
    std::string progress;  // what lies in the progress file ("" : none)
    std::vector<std::string> calls;
    bool reported;
};

TEST_F(Delivery, BadStateOnDiskIsReportedAndLosesNothing) {
    const std::string afterK2 = EncodeProgressSlot(AfterK2());
    Progress past = AfterK2();
    past.offset = kFiveContacts.size() + 1;
    Progress done = AfterK2();
    done.complete = true;
    const std::vector<std::string> all = {"K1", "K2", "K3", "K4", "K5"}, rest = {"K3", "K4", "K5"};
    const DiskCase cases[] = {
        {"no progress yet", true, "", all, false},
        {"resumes after the last delivered contact", true, afterK2, rest, false},
        {"a torn newer slot leaves the older one", true, afterK2 + afterK2.substr(0, 30), rest, false},
        {"a truncated record", true, afterK2.substr(0, 40), all, true},
        {"garbage", true, "hello, world", all, true},
        {"an offset past the end of its file", true, EncodeProgressSlot(past), all, true},
        {"a progress of another program", true, std::string(500, 'x'), all, true},
        {"all delivered already", true, EncodeProgressSlot(done), {}, false},
        {"a leftover progress of a fully delivered file", false, EncodeProgressSlot(done), all, false},
        {"a leftover progress of a file taken away", false, afterK2, all, true},
    };
    for (const DiskCase& c : cases) {
        FakePlatform p;
        p.AddWindow("DXbase", "");
        CQsoferryView bridge(p);
        bridge.DeriveLogPaths();
        p.WriteFile(c.claimed ? bridge.ClaimPath() : bridge.m_strLogPath, kFiveContacts);
        if (!c.progress.empty()) p.WriteFile(bridge.ProgressPath(), c.progress);
        for (int tick = 0; tick < 3; ++tick)
            bridge.OnTimer(kPollTimerId);
        EXPECT_EQ(CallsAtLogger(p), c.calls) << c.what;
        EXPECT_EQ(p.messages.size(), c.reported ? 1u : 0u) << c.what;
        EXPECT_FALSE(p.Exists(bridge.ClaimPath())) << c.what;
        EXPECT_FALSE(p.Exists(bridge.ProgressPath())) << c.what;
    }
}

TEST_F(Delivery, ASecondBridgeDeliversNothingWhileTheFirstDoes) {
    StartLogger();
    platform.otherBridgeHoldsLocks = true;
    platform.WriteFile(view.m_strLogPath, kFiveContacts);
    platform.WriteFile(view.ClaimPath(), DecoderLog({"<call:2>K0"}));
    view.OnTimer(kPollTimerId);
    EXPECT_TRUE(platform.sent.empty());
    EXPECT_TRUE(platform.CallsNamed("Open").empty() && platform.CallsNamed("Move").empty())
        << "neither the claimed file nor the log is touched";
    platform.otherBridgeHoldsLocks = false;  // the first one ended
    TickUntilQuiet(view);
    EXPECT_EQ(CallsAtLogger(platform), (std::vector<std::string>{"K0", "K1", "K2", "K3", "K4", "K5"}));
}

TEST_F(Delivery, WindowsEndingTheSessionStopsBetweenTwoContactsWithTheProgressOnDisk) {
    StartLogger();
    platform.WriteFile(view.m_strLogPath, kFiveContacts);
    int sends = 0, flushesBefore = 0;
    platform.beforeSend = [&] {
        if (++sends != 2) return;
        flushesBefore = platform.flushes;
        // Sent to the bridge's windows and dispatched by its next drain.
        platform.Post([&] { view.OnQueryEndSession(); });
        platform.Post([&] { view.OnEndSession(true); });
    };
    view.OnTimer(kPollTimerId);
    EXPECT_EQ(CallsAtLogger(platform), (std::vector<std::string>{"K1", "K2"}));
    EXPECT_GT(platform.flushes, flushesBefore) << "the delivery of K2 is flushed, not only written";
    DecodedProgress onDisk = DecodeProgress(platform.Contents(view.ProgressPath()));
    ASSERT_EQ(onDisk.status, DecodedProgress::Status::kValid);
    EXPECT_EQ(onDisk.progress.contacts, 2u);

    // Windows ends it; at the next logon the rest goes, none twice.
    platform.Restart();
    platform.beforeSend = nullptr;
    CQsoferryView next(platform);
    next.DeriveLogPaths();
    TickUntilQuiet(next);
    EXPECT_EQ(CallsAtLogger(platform), (std::vector<std::string>{"K1", "K2", "K3", "K4", "K5"}));
}

TEST_F(Delivery, ContactsWaitingForTheLoggerAcrossARestartAreRelayedNotSetAside) {
    platform.WriteFile(view.m_strLogPath, "");
    platform.RemoveFile(view.m_strLogPath);  // the decoder's folder, without a log yet
    view.OnInitialUpdate();
    platform.WriteFile(view.m_strLogPath, kFiveContacts);  // logged while the logger is closed
    view.OnTimer(kPollTimerId);
    platform.Restart();  // the bridge is ended, and started again
    CQsoferryView again(platform);
    again.OnInitialUpdate();
    StartLogger();
    again.OnTimer(kPollTimerId);
    EXPECT_EQ(CallsAtLogger(platform), (std::vector<std::string>{"K1", "K2", "K3", "K4", "K5"}));
    EXPECT_EQ(platform.Contents(again.m_strBackupPath), "");
}

TEST_F(Delivery, ALoggerThatRefusesMessagesIsToldOfOnceAndGetsThemLater) {
    StartLogger();
    platform.refuseSends = true;
    platform.WriteFile(view.m_strLogPath, kFiveContacts);
    view.OnTimer(kPollTimerId);
    view.OnTimer(kPollTimerId);
    EXPECT_TRUE(platform.sent.empty());
    ASSERT_EQ(platform.messages.size(), 1u);
    EXPECT_NE(platform.messages[0].find("administrator"), std::string::npos);
    platform.refuseSends = false;  // DXbase started again, normally
    view.OnTimer(kPollTimerId);
    EXPECT_EQ(CallsAtLogger(platform), (std::vector<std::string>{"K1", "K2", "K3", "K4", "K5"}));
}

TEST_F(Delivery, ACancelledShutdownGoesOnDelivering) {
    StartLogger();
    view.OnQueryEndSession();
    platform.WriteFile(view.m_strLogPath, kFiveContacts);
    view.OnTimer(kPollTimerId);
    EXPECT_TRUE(platform.sent.empty());
    view.OnEndSession(false);
    view.OnTimer(kPollTimerId);
    EXPECT_EQ(platform.sent.size(), 5u);
    ExpectNothingLeft();
}

}  // namespace
}  // namespace qsoferry::test
