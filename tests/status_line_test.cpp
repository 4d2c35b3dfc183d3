// The line under the lamps: what it says in each state, and that the view keeps it to the facts.
#include <gtest/gtest.h>

#include "view/status_line.h"
#include "view_fixture.h"

namespace qsoferry::test {
namespace {

TEST(StatusLine, SaysTheMostPressingThingInOneShortLine) {
    const RelayedContact k1 = {"K1ABC", "20M", "FT8"};
    const struct {
        const char* what;
        StatusFacts facts;
        std::string text;
    } cases[] = {
        {"nothing relayed yet", {}, "No contact relayed yet"},
        {"one", {"", 0, true, true, k1, 9, 7, 1}, "Last: K1ABC 20m FT8 09:07, 1 today"},
        {"many today", {"", 0, true, true, k1, 23, 59, 312}, "Last: K1ABC 20m FT8 23:59, 312 today"},
        {"no band, no mode", {"", 0, true, true, {"K1ABC", "", "noMode"}, 0, 0, 0}, "Last: K1ABC 00:00, 0 today"},
        {"a long call in a narrow line",
         {"", 0, true, true, {"VERYLONGCALLSIGN/QRP", "2M", "Q65"}, 8, 0, 2},
         "Last: VERYLON... 2m Q65 08:00, 2 today"},
        {"a call of the longest length shown whole",
         {"", 0, true, true, {"VK9ABC/QRP", "2M", "Q65"}, 8, 0, 2},
         "Last: VK9ABC/QRP 2m Q65 08:00, 2 today"},
        {"one waits, DXbase busy", {"", 1, true, true, k1, 9, 7, 1}, "1 contact waits for DXbase"},
        {"many wait, DXbase closed", {"", 3, false, false, {}, 0, 0, 0}, "3 contacts wait for DXbase to start"},
        {"a lasting problem first",
         {"Cannot use wsjtx_log_sent.adi: the disk is full", 3, false, true, k1, 1, 2, 3},
         "Cannot use wsjtx_log_sent.adi: the disk is full"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(StatusText(c.facts), c.text) << c.what;
}

class StatusLineView : public ViewTest {
protected:
    std::string Shown() { return platform.controlText[IDC_STATUS]; }
};

TEST_F(StatusLineView, FollowsTheContactsAndTheDay) {
    EXPECT_EQ(Shown(), "No contact relayed yet");
    platform.WriteFile(view.LogPath(), DecoderLog({"<call:4>W1AW <band:3>40m <mode:3>FT8"}));
    Tick();
    EXPECT_EQ(Shown(), "1 contact waits for DXbase to start");
    platform.AppendFile(view.LogPath(), "<call:4>K1AB <band:3>20M <mode:4>MFSK <submode:3>FT4 <eor>\r\n");
    platform.now = {2026, 12, 8, 23, 58};
    StartLogger();
    Tick();
    EXPECT_EQ(Shown(), "Last: K1AB 20m FT4 23:58, 2 today");
    platform.now = {2026, 12, 9, 0, 1};  // past midnight: none today yet
    Tick();
    EXPECT_EQ(Shown(), "Last: K1AB 20m FT4 23:58, 0 today");
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

// A problem of JTDX's folder shows although the folders after it (the one a log is sent from)
// have none.
TEST(StatusLineFolders, OneFoldersProblemShowsWhateverTheOthersSay) {
    FakePlatform platform;
    platform.localAppData = "C:\\Users\\oper\\AppData\\Local";
    platform.WriteFile(kJtdxFolder + "wsjtx_log_bak.adi", "");
    CQsoferryView view(platform);
    AttachLogger(platform, view);
    view.OnInitialUpdate();
    platform.AddWindow("DXbase", "");
    platform.FailNext("write", kJtdxFolder + "wsjtx_log_sent.adi", FileStatus::kFull, 100);
    platform.WriteFile(view.LogPath(), DecoderLog({"<call:2>K1"}));
    TickAndRun(platform, view);
    EXPECT_EQ(platform.controlText[IDC_STATUS], "Cannot use wsjtx_log_sent.adi: the disk is full");
}

}  // namespace
}  // namespace qsoferry::test
