// The line under the lamps and the notification-area icon: what they say in each state, and that
// the view keeps them to the facts.
#include <gtest/gtest.h>

#include "view/status_line.h"
#include "view/tray_icon.h"
#include "view_fixture.h"

namespace qsoferry::test {
namespace {

TEST(StatusLine, SaysTheMostPressingThingInOneShortLineAndTheIconLooksIt) {
    const RelayedContact k1 = {"K1ABC", "20M", "FT8"};
    const struct {
        const char* what;
        StatusFacts facts;
        std::string text;
        TrayLook look;
    } cases[] = {
        {"nothing relayed yet", {}, "No contact relayed yet", TrayLook::kAllWell},
        {"one", {"", 0, true, true, k1, 9, 7, 1}, "Last: K1ABC 20m FT8 09:07, 1 today", TrayLook::kAllWell},
        {"many today",
         {"", 0, true, true, k1, 23, 59, 312},
         "Last: K1ABC 20m FT8 23:59, 312 today",
         TrayLook::kAllWell},
        {"no band, no mode",
         {"", 0, true, true, {"K1ABC", "", "noMode"}, 0, 0, 0},
         "Last: K1ABC 00:00, 0 today",
         TrayLook::kAllWell},
        {"a long call in a narrow line",
         {"", 0, true, true, {"VERYLONGCALLSIGN/QRP", "2M", "Q65"}, 8, 0, 2},
         "Last: VERYLON... 2m Q65 08:00, 2 today",
         TrayLook::kAllWell},
        {"no call",
         {"", 0, true, true, {"", "20M", "FT8"}, 9, 7, 1},
         "Last: (no call) 20m FT8 09:07, 1 today",
         TrayLook::kAllWell},
        {"a call of the longest length shown whole",
         {"", 0, true, true, {"VK9ABC/QRP", "2M", "Q65"}, 8, 0, 2},
         "Last: VK9ABC/QRP 2m Q65 08:00, 2 today",
         TrayLook::kAllWell},
        {"DXbase closed, nothing waits",
         {"", 0, false, true, k1, 9, 7, 1},
         "Last: K1ABC 20m FT8 09:07, 1 today",
         TrayLook::kLoggerClosed},
        {"one waits, DXbase busy", {"", 1, true, true, k1, 9, 7, 1}, "1 contact waits for DXbase", TrayLook::kWaiting},
        {"many wait, DXbase closed",
         {"", 3, false, false, {}, 0, 0, 0},
         "3 contacts wait for DXbase to start",
         TrayLook::kWaiting},
        {"a lasting problem first",
         {"Cannot use wsjtx_log_sent.adi: the disk is full", 3, false, true, k1, 1, 2, 3},
         "Cannot use wsjtx_log_sent.adi: the disk is full",
         TrayLook::kProblem},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(StatusText(c.facts), c.text) << c.what;
        EXPECT_EQ(TrayLookOf(c.facts), c.look) << c.what;
    }
}

// Told apart without colours, at every size the notification area uses (100% to 300%): each look's
// outline (which pixels it covers) differs from every other's in a fair share of the icon.
TEST(TrayIcon, EachLookHasAShapeOfItsOwn) {
    const TrayLook looks[] = {TrayLook::kAllWell, TrayLook::kWaiting, TrayLook::kProblem, TrayLook::kLoggerClosed};
    for (int size : {16, 20, 24, 32, 48}) {
        std::vector<std::vector<bool>> covered;
        for (TrayLook look : looks) {
            std::vector<std::uint32_t> pixels = DrawTrayIcon(look, size);
            ASSERT_EQ(pixels.size(), static_cast<size_t>(size * size));
            covered.emplace_back();
            for (std::uint32_t p : pixels)
                covered.back().push_back((p >> 24) >= 128);
        }
        for (size_t a = 0; a < covered.size(); ++a) {
            for (size_t b = a + 1; b < covered.size(); ++b) {
                size_t differ = 0;
                for (size_t i = 0; i < covered[a].size(); ++i)
                    differ += covered[a][i] != covered[b][i];
                EXPECT_GT(differ, covered[a].size() / 12) << "looks " << a << " and " << b << " at " << size;
            }
        }
    }
}

class StatusLineView : public ViewTest {
protected:
    std::string Shown() { return platform.controlText[IDC_STATUS]; }
    // Screen readers read the line out each time it changes, and only then.
    size_t Announced() { return platform.CallsNamed("Announce " + std::to_string(IDC_STATUS)).size(); }
};

TEST_F(StatusLineView, FollowsTheContactsAndTheDay) {
    EXPECT_EQ(Shown(), "No contact relayed yet");
    platform.WriteFile(view.LogPath(), DecoderLog({"<call:4>W1AW <band:3>40m <mode:3>FT8"}));
    Tick();
    EXPECT_EQ(Shown(), "1 contact waits for DXbase to start");
    EXPECT_EQ(Announced(), 1u);
    EXPECT_EQ(platform.announced.back(), Shown()) << "read out before it was shown";
    platform.AppendFile(view.LogPath(), "<call:4>K1AB <band:3>20M <mode:4>MFSK <submode:3>FT4 <eor>\r\n");
    platform.now = {2026, 12, 8, 23, 58};
    StartLogger();
    Tick();
    EXPECT_EQ(Shown(), "Last: K1AB 20m FT4 23:58, 2 today");
    EXPECT_EQ(platform.iconTip, Shown());
    EXPECT_EQ(platform.iconPixels, DrawTrayIcon(TrayLook::kAllWell, 16));
    Tick();
    EXPECT_EQ(Announced(), 1u) << "changed within seconds of the last reading: not yet";
    platform.nowMs += 10000;
    Tick();
    Tick();
    EXPECT_EQ(Announced(), 2u) << "read once the time has passed, and a line that stays not again";
    EXPECT_EQ(platform.announced.back(), "Last: K1AB 20m FT4 23:58, 2 today");
    platform.nowMs += 60000;
    platform.now = {2026, 12, 9, 0, 1};  // past midnight: none today yet
    platform.iconSize = 24;              // the display's scaling changed
    Tick();
    EXPECT_EQ(Shown(), "Last: K1AB 20m FT4 23:58, 0 today");
    EXPECT_EQ(Announced(), 3u);
    EXPECT_EQ(platform.iconTip, Shown());
    EXPECT_EQ(platform.iconPixels, DrawTrayIcon(TrayLook::kAllWell, 24));
}

}  // namespace
}  // namespace qsoferry::test

namespace qsoferry::test {
namespace {

TEST_F(StatusLineView, CountsWhatTheLoggerHasNotTakenYet) {
    StartLogger();
    platform.holdSends = true;  // DXbase takes its time over the first of five
    platform.WriteFile(view.LogPath(),
                       DecoderLog({"<call:2>K1", "<call:2>K2", "<call:2>K3", "<call:2>K4", "<call:2>K5"}));
    Tick();
    Tick();
    EXPECT_EQ(Shown(), "5 contacts wait for DXbase");
    platform.ReleaseSend();
    platform.RunQueue();
    platform.RemoveWindow(logger);  // two taken, then DXbase is closed
    platform.holdSends = false;
    platform.ReleaseSend();
    platform.RunQueue();
    Tick();
    EXPECT_EQ(CallsAtLogger(platform).size(), 2u);
    EXPECT_EQ(Shown(), "3 contacts wait for DXbase to start");
}

// JTDX's folder with its backup made, and the folder logs are sent from; DXbase runs.
class StatusLineFolders : public ::testing::Test, protected SendingStation {};

// A problem of JTDX's folder shows although the folders after it (the one a log is sent from)
// have none.
TEST_F(StatusLineFolders, OneFoldersProblemShowsWhateverTheOthersSay) {
    platform.FailNext("write", kJtdxFolder + "wsjtx_log_sent.adi", FileStatus::kFull, 100);
    platform.WriteFile(view.LogPath(), DecoderLog({"<call:2>K1"}));
    for (int tick = 0; tick < 3; ++tick)
        TickAndRun(platform, view);
    EXPECT_EQ(platform.controlText[IDC_STATUS], "Cannot use wsjtx_log_sent.adi: the disk is full");
    EXPECT_EQ(platform.iconPixels, DrawTrayIcon(TrayLook::kProblem, 16));
    EXPECT_EQ(platform.notifications, std::vector<std::string>{"Cannot use wsjtx_log_sent.adi: the disk is full"})
        << "once, while it lasts";
}

}  // namespace
}  // namespace qsoferry::test

namespace qsoferry::test {
namespace {

// A problem begun while the notification area shows nothing yet (its icon not there, Explorer still
// starting at logon) is told as soon as it can be; once, while it lasts; and again when, gone,
// it begins again.
TEST_F(StatusLineFolders, AProblemIsToldOnceItCouldBeShownAndAgainEachTimeItBegins) {
    const std::string copy = kJtdxFolder + "wsjtx_log_sent.adi",
                      full = "Cannot use wsjtx_log_sent.adi: the disk is full";
    platform.refuseNotifications = true;
    platform.FailNext("write", copy, FileStatus::kFull, 100);
    platform.WriteFile(view.LogPath(), DecoderLog({"<call:2>K1"}));
    for (int tick = 0; tick < 3; ++tick)
        TickAndRun(platform, view);
    ASSERT_EQ(platform.controlText[IDC_STATUS], full);
    EXPECT_TRUE(platform.notifications.empty());
    platform.refuseNotifications = false;
    for (int tick = 0; tick < 3; ++tick)
        TickAndRun(platform, view);
    EXPECT_EQ(platform.notifications, std::vector<std::string>{full}) << "told once it could be shown, once";

    platform.FailNext("write", copy, FileStatus::kFull, 0);
    for (int tick = 0; tick < 3; ++tick)
        TickAndRun(platform, view);
    ASSERT_EQ(platform.controlText[IDC_STATUS].rfind("Last: K1", 0), 0u) << platform.controlText[IDC_STATUS];
    platform.FailNext("write", copy, FileStatus::kFull, 100);
    platform.WriteFile(view.LogPath(), DecoderLog({"<call:2>K2"}));
    for (int tick = 0; tick < 3; ++tick)
        TickAndRun(platform, view);
    ASSERT_EQ(platform.controlText[IDC_STATUS], full);
    EXPECT_EQ(platform.notifications, (std::vector<std::string>{full, full})) << "begun again, told again";
}

// Explorer as the icon meets it: it may be absent, or so busy that a call times out (it fails)
// although Explorer carries it out a moment later.
struct Explorer {
    bool running = true, slow = false, has = false;
    std::vector<TrayCall> calls;
    int shown = 0;

    bool Call(TrayCall call) {
        calls.push_back(call);
        if (!running) return false;
        if (call == TrayCall::kAdd) {
            if (has) return false;  // one icon of that window and id
            has = true;
        }
        if (!has) return false;
        shown += call == TrayCall::kNotify;
        return !slow;
    }
    std::vector<TrayCall> Take() { return std::exchange(calls, {}); }
};

using Calls = std::vector<TrayCall>;
constexpr TrayCall kAdd = TrayCall::kAdd, kModify = TrayCall::kModify, kNotify = TrayCall::kNotify;

TEST(TrayIconKeeper, AnAddTimedOutAtLogonAndTakenLateIsReachedByChangesAndRemoved) {
    Explorer explorer;
    TrayIconKeeper keeper([&](TrayCall call) { return explorer.Call(call); });
    explorer.slow = true;
    EXPECT_FALSE(keeper.Put());
    EXPECT_EQ(explorer.Take(), (Calls{kAdd, kModify}));
    EXPECT_FALSE(keeper.Notify()) << "not told while the icon is not known to be there";
    EXPECT_TRUE(explorer.Take().empty());
    explorer.slow = false;
    EXPECT_TRUE(keeper.Put());
    EXPECT_EQ(explorer.Take(), (Calls{kAdd, kModify})) << "the add refused (the icon is there): a change";
    EXPECT_TRUE(keeper.IsThere());
    EXPECT_TRUE(keeper.Put());
    EXPECT_EQ(explorer.Take(), Calls{kModify}) << "a later look reaches the icon that is there";
    EXPECT_TRUE(keeper.Notify());
    EXPECT_EQ(explorer.Take(), Calls{kNotify});
    EXPECT_EQ(explorer.shown, 1);
    EXPECT_TRUE(keeper.Remove()) << "there through a change alone, it is removed all the same";
    EXPECT_FALSE(keeper.Put());
    EXPECT_FALSE(keeper.Notify());
    EXPECT_TRUE(explorer.Take().empty()) << "nothing asked after the end";
}

TEST(TrayIconKeeper, ANotificationIsShownOnlyWhereTheIconIsAndAFailureLooksAgain) {
    Explorer explorer;
    TrayIconKeeper keeper([&](TrayCall call) { return explorer.Call(call); });
    EXPECT_TRUE(keeper.Put());
    explorer.has = false;  // Explorer lost it without saying
    EXPECT_FALSE(keeper.Notify());
    EXPECT_FALSE(keeper.IsThere());
    EXPECT_TRUE(keeper.Put());
    EXPECT_EQ(explorer.Take(), (Calls{kAdd, kNotify, kAdd}));
    explorer.has = false;
    EXPECT_TRUE(keeper.Put()) << "a change that fails: added anew";
    EXPECT_EQ(explorer.Take(), (Calls{kModify, kAdd}));
    explorer.slow = true;
    EXPECT_FALSE(keeper.Notify()) << "a notification that timed out is not counted as told";
    explorer.slow = false;
    EXPECT_TRUE(keeper.Put());
    EXPECT_TRUE(keeper.Notify());
    EXPECT_EQ(explorer.Take(), (Calls{kNotify, kAdd, kModify, kNotify}));
}

TEST(TrayIconKeeper, RemovedWhereverAnAddWasAskedSinceExplorerStarted) {
    for (bool running : {true, false}) {
        Explorer explorer;
        explorer.running = running;
        TrayIconKeeper keeper([&](TrayCall call) { return explorer.Call(call); });
        EXPECT_EQ(keeper.Put(), running);
        EXPECT_TRUE(keeper.Remove()) << "an add asked may have been taken: running " << running;
        EXPECT_FALSE(keeper.Remove()) << "once";
    }
    Explorer explorer;
    TrayIconKeeper keeper([&](TrayCall call) { return explorer.Call(call); });
    EXPECT_FALSE(keeper.Remove()) << "never asked: nothing to remove";
    TrayIconKeeper restarted([&](TrayCall call) { return explorer.Call(call); });
    EXPECT_TRUE(restarted.Put());
    restarted.TaskbarCreated();  // Explorer started anew, with none
    EXPECT_FALSE(restarted.IsThere());
    EXPECT_FALSE(restarted.Remove());
}

}  // namespace
}  // namespace qsoferry::test
