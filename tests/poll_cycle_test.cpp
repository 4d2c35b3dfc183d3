// The poll cycle: how the log is framed and read, and how contacts travel from the log to the
// logger without being lost or sent twice.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

#include "view_fixture.h"

namespace qsoferry::test {
namespace {

// The export record of a record without any stored field.
const std::string kEmptyExport = "########RSTS   RSTR    ####RSTS #RSTR ##";

// Position n (1-based) of an export record.
std::string Pos(const std::string& record, int n) {
    size_t start = 0;
    for (int i = 1; i < n; ++i)
        start = record.find('#', start) + 1;
    return record.substr(start, record.find('#', start) - start);
}

using PollCycle = ViewTest;

TEST_F(PollCycle, NoLogMeansOnlyTheLampsAreRefreshed) {
    StartLogger();
    Tick();
    EXPECT_TRUE(platform.sent.empty());
    EXPECT_TRUE(platform.messages.empty());
    EXPECT_TRUE(platform.CallsNamed("Read").empty());
    EXPECT_EQ(platform.CallsNamed("SetImage").size(), 2u);
}

TEST_F(PollCycle, ALogWithoutContentIsReportedAndKept) {
    for (const std::string& log : {std::string(), std::string("\r\n\r\n\n"), std::string("\x1a<call:2>K1 <eor>")}) {
        platform.messages.clear();
        EXPECT_TRUE(Relay(log).empty());
        EXPECT_EQ(platform.messages, std::vector<std::string>{"The source file is empty"});
        EXPECT_EQ(platform.Contents(view.LogPath()), log);
        // ... and again at the next tick, for as long as it stays so.
        Tick();
        EXPECT_EQ(platform.messages.size(), 2u);
    }
}

TEST_F(PollCycle, ALogBeingCreatedByTheDecoderIsNotCalledEmpty) {
    StartLogger();
    platform.WriteFile(view.LogPath(), "");
    platform.FailNext("move", view.LogPath(), FileStatus::kBusy);  // the decoder holds it open
    Tick();
    EXPECT_TRUE(platform.messages.empty());
    platform.AppendFile(view.LogPath(), DecoderLog({"<call:2>K1"}));
    Tick();
    EXPECT_TRUE(platform.messages.empty());
    EXPECT_EQ(SentTexts().size(), 1u);
}

TEST_F(PollCycle, EveryContactOfAFileIsSentOnItsOwn) {
    auto sent = Relay(DecoderLog({"<call:2>K1 <name:3>Bob", "<call:2>K2", "<call:2>K3"}));
    ASSERT_EQ(sent.size(), 3u);
    EXPECT_EQ(Pos(sent[0], 1) + Pos(sent[1], 1) + Pos(sent[2], 1), "K1K2K3");
    EXPECT_EQ(Pos(sent[1], 5), "") << "no name carried over from K1";
    EXPECT_FALSE(platform.Exists(view.LogPath()));
    EXPECT_FALSE(platform.Exists(ClaimPath()));
    EXPECT_FALSE(platform.Exists(view.Delivery().ProgressPath()));
}

TEST_F(PollCycle, ANestedTickIsSkipped) {
    StartLogger();
    platform.WriteFile(view.LogPath(), DecoderLog({"<call:5>K1ABC"}));
    // A tick falls due during the first drain, and another while the lines are read.
    platform.Post([&] { view.OnTimer(kPollTimerId); });
    bool posted = false;
    platform.afterRead = [&](const std::string&) {
        if (!posted) platform.Post([&] { view.OnTimer(kPollTimerId); });
        posted = true;
    };
    Tick();
    EXPECT_EQ(SentTexts().size(), 1u);
    EXPECT_EQ(platform.CallsNamed("FindClass").size(), 1u);
    EXPECT_TRUE(platform.queue.empty());

    // The logger's answer handled inside the cycle (its drain) leaves it a cycle: a tick that
    // falls due after the answer is skipped too.
    platform.WriteFile(view.LogPath(), DecoderLog({"<call:5>K2ABC", "<call:5>K3ABC"}));
    platform.calls.clear();
    platform.afterRead = nullptr;
    bool answered = false;
    platform.sendDone = [&] {
        view.OnSendDone();
        if (!answered) platform.Post([&] { view.OnTimer(kPollTimerId); });
        answered = true;
    };
    Tick();
    EXPECT_EQ(SentTexts().size(), 3u);
    EXPECT_EQ(platform.CallsNamed("FindClass").size(), 1u) << "a tick nested in the cycle";
}

TEST_F(PollCycle, OnlyOneEmptyLogMessageAtATime) {
    StartLogger();
    platform.WriteFile(view.LogPath(), "\r\n");
    int ticksWhileOpen = 0;
    platform.whileMessageShown = [&] {
        // The box's modal loop dispatches timer ticks.
        for (int i = 0; i < 3; ++i, ++ticksWhileOpen)
            view.OnTimer(kPollTimerId);
    };
    Tick();
    EXPECT_EQ(ticksWhileOpen, 3);
    EXPECT_EQ(platform.messages.size(), 1u);
    EXPECT_EQ(platform.CallsNamed("FindClass").size(), 4u) << "the lamps follow the peers while the box is open";
}

TEST_F(PollCycle, WhileTheLoggerTakesItsTimeTheFormGoesOn) {
    StartLogger();
    platform.holdSends = true;
    platform.WriteFile(view.LogPath(), DecoderLog({"<call:2>K1 <freq:6>14.074", "<call:2>K2 <freq:6>14.074",
                                                   "<call:2>K3 <freq:6>14.074", "<call:2>K4 <freq:6>14.074"}));
    for (int tick = 0; tick < 5; ++tick)
        Tick();
    EXPECT_EQ(platform.CallsNamed("CopyData").size(), 1u) << "one contact at the logger, the next waits behind it";
    EXPECT_EQ(platform.CallsNamed("FindClass").size(), 5u) << "the lamps at every tick";

    // K2 was handed over with K1; K3, handed over once K1 is taken, follows the box as it is then.
    platform.checkState[IDC_NO_FREQ] = 1;
    view.OnNoFreqClicked();
    EXPECT_EQ(view.NoFreq(), 1);
    platform.ReleaseSend();
    platform.RunQueue();
    platform.ReleaseSend();
    platform.RunQueue();
    ASSERT_EQ(CallsAtLogger(platform), (std::vector<std::string>{"K1", "K2", "K3"}));
    EXPECT_EQ(Pos(platform.sent[1].bytes, 4), "14074.00");
    EXPECT_EQ(Pos(platform.sent[2].bytes, 4), "");

    // Closed while K3 is with the logger: nothing more goes, and the next start goes on from K3
    // (when its late record did not make it) or K4.
    view.OnDestroy();
    platform.ReleaseSend();
    platform.RunQueue();
    Tick();
    EXPECT_EQ(CallsAtLogger(platform).size(), 3u);
    platform.Restart();
    platform.holdSends = false;
    CQsoferryView next(platform);
    AttachLogger(platform, next);
    next.OnInitialUpdate();
    TickAndRun(platform, next);
    std::vector<std::string> calls = CallsAtLogger(platform);
    calls.erase(std::unique(calls.begin(), calls.end()), calls.end());
    EXPECT_EQ(calls, (std::vector<std::string>{"K1", "K2", "K3", "K4"}));
    EXPECT_LE(platform.sent.size(), 5u);
}

TEST_F(PollCycle, AMessageBoxLeftOpenHoldsNoContactBack) {
    StartLogger();
    platform.refuseSends = true;
    platform.WriteFile(view.LogPath(), DecoderLog({"<call:2>K1", "<call:2>K2"}));
    platform.whileMessageShown = [&] {
        platform.refuseSends = false;  // DXbase started again, normally, while the box is open
        for (int i = 0; i < 3; ++i)
            Tick();  // the box's modal loop dispatches ticks and the logger's answers
        EXPECT_EQ(CallsAtLogger(platform), (std::vector<std::string>{"K1", "K2"}));
    };
    Tick();
    EXPECT_EQ(platform.messages.size(), 1u);
    EXPECT_FALSE(platform.Exists(ClaimPath()));
}

TEST_F(PollCycle, ClosingDuringACycleEndsItWithoutDeletingOrSending) {
    for (bool viaQuit : {false, true}) {
        FakePlatform p;
        p.WriteFile(kJtdxFolder + "wsjtx_log_bak.adi", "");
        auto v = std::make_unique<CQsoferryView>(p);
        p.sendDone = [&] { v->OnSendDone(); };
        v->OnInitialUpdate();
        p.AddWindow("DXbase", "");
        p.WriteFile(v->LogPath(), DecoderLog({"<call:2>K1", "<call:2>K2"}));
        p.afterRead = [&](const std::string&) {
            if (viaQuit)
                p.quit = true;
            else
                p.Post([&] { v->OnDestroy(); });
        };
        v->OnTimer(kPollTimerId);
        p.RunQueue();
        EXPECT_TRUE(p.sent.empty());
        EXPECT_TRUE(p.CallsNamed("Remove").empty());
        EXPECT_TRUE(p.Exists(v->Delivery().ClaimPath())) << "the contacts wait for the next start";
        EXPECT_TRUE(v->IsClosing());
        v->OnTimer(kPollTimerId);
        EXPECT_TRUE(p.sent.empty()) << "a closing view starts nothing";

        // The next start delivers them.
        v.reset();
        p.Restart();
        p.afterRead = nullptr;
        v = std::make_unique<CQsoferryView>(p);
        v->OnInitialUpdate();
        v->OnTimer(kPollTimerId);
        p.RunQueue();
        EXPECT_EQ(CallsAtLogger(p), (std::vector<std::string>{"K1", "K2"}));
    }
}

TEST_F(PollCycle, WithoutALoggerTheLogWaitsAndIsDeliveredOnceItComes) {
    platform.WriteFile(view.LogPath(), DecoderLog({"<call:2>K1"}));
    Tick();
    platform.AppendFile(view.LogPath(), "<call:2>K2 <eor>\r\n");  // the decoder goes on appending
    Tick();
    EXPECT_TRUE(platform.CallsNamed("Move").empty()) << "the log is only looked at";
    EXPECT_TRUE(platform.Exists(view.LogPath()));
    EXPECT_EQ(view.StatusLine(), "2 contacts wait for DXbase to start");
    EXPECT_EQ(platform.CallsNamed("SetImage").size(), 4u);  // lamps on every tick all the same

    StartLogger();
    Tick();
    Tick();
    ASSERT_EQ(SentTexts().size(), 2u);
    EXPECT_EQ(Pos(SentTexts()[0], 1), "K1");
    EXPECT_EQ(Pos(SentTexts()[1], 1), "K2");
    EXPECT_FALSE(platform.Exists(view.LogPath()));
}

TEST_F(PollCycle, AContactAppendedWhileTheLogIsReadIsNeitherLostNorSentTwice) {
    StartLogger();
    platform.WriteFile(view.LogPath(), DecoderLog({"<call:2>K1"}));
    bool appended = false;
    platform.afterRead = [&](const std::string& path) {
        if (path != ClaimPath() || appended) return;
        platform.AppendFile(view.LogPath(), DecoderLog({"<call:2>K2"}));
        appended = true;
    };
    Tick();
    Tick();
    Tick();
    ASSERT_EQ(SentTexts().size(), 2u);
    EXPECT_EQ(Pos(SentTexts()[0], 1), "K1");
    EXPECT_EQ(Pos(SentTexts()[1], 1), "K2");
}

TEST_F(PollCycle, AClaimedFileThatCannotBeRemovedIsNeverSentTwice) {
    StartLogger();
    platform.WriteFile(view.LogPath(), DecoderLog({"<call:2>K1"}));
    platform.FailNext("remove", ClaimPath(), FileStatus::kDenied, 3);
    for (int tick = 0; tick < 3; ++tick)
        Tick();
    EXPECT_EQ(SentTexts().size(), 1u) << "delivered before it is removed, and only once";
    EXPECT_TRUE(platform.Exists(ClaimPath()));
    ASSERT_EQ(platform.messages.size(), 1u) << "reported once, not every second";
    EXPECT_NE(platform.messages[0].find(ClaimPath()), std::string::npos);
    EXPECT_NE(platform.messages[0].find("injected remove failure"), std::string::npos);
    Tick();
    Tick();
    EXPECT_EQ(SentTexts().size(), 1u);
    EXPECT_FALSE(platform.Exists(ClaimPath()));
    EXPECT_FALSE(platform.Exists(view.Delivery().ProgressPath()));

    // Held by another program (a sharing conflict), it is told of once it lasts, and never sent.
    platform.WriteFile(view.LogPath(), DecoderLog({"<call:2>K2"}));
    platform.FailNext("remove", ClaimPath(), FileStatus::kBusy, kLastingFailureTicks + 5);
    platform.messages.clear();
    for (unsigned tick = 0; tick < kLastingFailureTicks + 4; ++tick)
        Tick();
    EXPECT_EQ(platform.messages.size(), 1u);
    Tick();
    Tick();
    EXPECT_EQ(SentTexts().size(), 2u);
    EXPECT_FALSE(platform.Exists(ClaimPath()));
}

TEST_F(PollCycle, OtherFileErrorsAreReportedOnceUntilTheyClear) {
    StartLogger();
    platform.WriteFile(view.LogPath(), DecoderLog({"<call:2>K1"}));
    platform.FailNext("read", ClaimPath(), FileStatus::kDenied, 5);
    for (int tick = 0; tick < 5; ++tick)
        Tick();
    EXPECT_EQ(platform.messages.size(), 1u);
    Tick();
    EXPECT_EQ(SentTexts().size(), 1u);
    // After a success the same error is worth telling again.
    platform.WriteFile(view.LogPath(), DecoderLog({"<call:2>K2"}));
    platform.FailNext("read", ClaimPath(), FileStatus::kDenied, 1);
    Tick();
    EXPECT_EQ(platform.messages.size(), 2u);
}

TEST_F(PollCycle, AClaimedFileLeftFromBeforeIsDeliveredFirst) {
    StartLogger();
    platform.WriteFile(ClaimPath(), DecoderLog({"<call:2>K1"}));
    platform.WriteFile(view.LogPath(), DecoderLog({"<call:2>K2"}));
    Tick();
    Tick();
    ASSERT_EQ(SentTexts().size(), 2u);
    EXPECT_EQ(Pos(SentTexts()[0], 1), "K1");
    EXPECT_EQ(Pos(SentTexts()[1], 1), "K2");
    EXPECT_FALSE(platform.Exists(ClaimPath()));
}

}  // namespace
}  // namespace qsoferry::test
