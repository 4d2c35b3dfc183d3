// The view's start-up sequence and the check box.
#include <gtest/gtest.h>

#include "view_fixture.h"

namespace qsoferry::test {
namespace {

const std::string kLog = "C:\\Documents and Settings\\OPER\\Local Settings\\Application Data\\JTDX\\wsjtx_log.adi";
const std::string kBackup =
    "C:\\Documents and Settings\\OPER\\Local Settings\\Application Data\\JTDX\\wsjtx_log_bak.adi";

TEST(InitialUpdate, RunsItsStepsInOrder) {
    FakePlatform platform;
    {
        CQsoferryView view(platform);
        view.OnInitialUpdate();
        EXPECT_EQ(platform.calls,
                  (std::vector<std::string>{
                      "DocumentTitle Qsoferry ver 1.00",
                      "SetCheck 1002 0",  // data exchange, then OnUpdate's drain
                      "Drain",
                      "FitFrame",
                      "UserName",
                      "LocalAppData",
                      "FolderExists C:\\Documents and Settings\\OPER\\Local Settings\\Application Data\\JTDX",
                      "CanOpen " + kLog,     // no log: an empty backup would mark the first
                      "CanOpen " + kBackup,  // start, but there is no JTDX folder here
                      "Open " + kLog,
                      "Open " + kBackup,
                      "LoadBitmap 130",
                      "LoadBitmap 131",
                      "LoadBitmap 132",
                      "SetImage 1000",
                      "SetImage 1003",
                      "Drain",
                      "FindClass DXbase",
                      "SetImage 1000",
                      "Name 1000 DXbase: not running",  // what a screen reader says of the lamp
                      "Titles",
                      "SetImage 1001",
                      "Name 1001 JTDX: not running",
                      "Caption Qsoferry ver 1.00",
                      "StartTimer 1 1000",  // the status line's first text is read with the window
                  }));
        EXPECT_EQ(view.LogPath(), kLog);
        EXPECT_EQ(view.NoFreq(), 0);
        EXPECT_EQ(platform.controlImage[IDC_BADGE], platform.loadedBitmaps[IDB_BADGE]);
        EXPECT_EQ(platform.controlImage[IDC_LOGGER_LAMP], platform.loadedBitmaps[IDB_LAMP_OFF]);
        EXPECT_EQ(platform.liveBitmaps.size(), 3u);
    }
    EXPECT_TRUE(platform.liveBitmaps.empty()) << "the view releases its bitmaps";
}

TEST(InitialUpdate, RunningAgainLeaksNothingAndRestartsTheSameTimer) {
    FakePlatform platform;
    CQsoferryView view(platform);
    platform.failingBitmaps = {IDB_BADGE};
    view.OnInitialUpdate();
    EXPECT_EQ(platform.controlImage[IDC_BADGE], kNoBitmap);
    platform.checkState[IDC_NO_FREQ] = 1;
    view.OnNoFreqClicked();
    EXPECT_EQ(view.NoFreq(), 1);

    platform.failingBitmaps.clear();
    platform.calls.clear();
    view.OnInitialUpdate();  // New, or Open, from the menu keys
    view.OnInitialUpdate();
    EXPECT_EQ(platform.liveBitmaps.size(), 3u);
    EXPECT_EQ(platform.CallsNamed("LoadBitmap"), std::vector<std::string>{"LoadBitmap 132"});
    EXPECT_NE(platform.controlImage[IDC_BADGE], kNoBitmap);
    EXPECT_EQ(platform.timers, (std::map<unsigned, unsigned>{{1, 1000}}));
    EXPECT_EQ(view.NoFreq(), 0);
    EXPECT_EQ(platform.checkState[IDC_NO_FREQ], 0);
    EXPECT_EQ(platform.caption, "Qsoferry ver 1.00");
}

TEST(NoFreqCheckBox, FlagFollowsTheBoxAndIgnoresOtherStates) {
    FakePlatform platform;
    CQsoferryView view(platform);
    const int states[] = {1, 2, 0, 2, 1};
    const int flags[] = {1, 1, 0, 0, 1};
    for (int i = 0; i < 5; ++i) {
        platform.checkState[IDC_NO_FREQ] = states[i];
        view.OnNoFreqClicked();
        EXPECT_EQ(view.NoFreq(), flags[i]) << "state " << states[i];
    }
}

TEST(NoFreqCheckBox, AClickHandledDuringACycleReachesTheNextRecord) {
    FakePlatform platform;
    platform.WriteFile(kJtdxFolder + "wsjtx_log_bak.adi", "");
    CQsoferryView view(platform);
    AttachLogger(platform, view);
    view.OnInitialUpdate();
    platform.AddWindow("DXbase", "");
    platform.WriteFile(view.LogPath(), "h<eoh>\n<call:2>K1 <freq:6>14.074 <eor>\n");
    platform.Post([&] {
        platform.checkState[IDC_NO_FREQ] = 1;
        view.OnNoFreqClicked();
    });
    TickAndRun(platform, view);
    ASSERT_EQ(platform.sent.size(), 1u);
    EXPECT_EQ(platform.sent[0].bytes.substr(0, 6), "K1####");
}

}  // namespace
}  // namespace qsoferry::test

namespace qsoferry::test {
namespace {

// The Relayed Contacts window's message (its copy no longer holds a contact as it was read), asked
// for from a drain in the middle of a cycle: its box opens once the cycle has ended, so that the
// ticks go on while it is open.
TEST(ShellMessage, ToldFromADrainInsideACycleItsBoxWaitsForTheCycleToEnd) {
    FakePlatform platform;
    platform.WriteFile(kBackup, "");
    CQsoferryView view(platform);
    AttachLogger(platform, view);
    view.OnInitialUpdate();
    platform.AddWindow("DXbase", "");
    platform.WriteFile(view.LogPath(), DecoderLog({"<call:2>K1", "<call:2>K2"}));
    size_t ticksWhileOpen = 0;
    platform.whileMessageShown = [&] {
        const size_t before = platform.CallsNamed("FindClass").size();
        view.OnTimer(kPollTimerId);
        ticksWhileOpen += platform.CallsNamed("FindClass").size() - before;
    };
    platform.Post([&] {
        view.TellOperator("K1 is no longer in wsjtx_log_sent.adi as it was read.");
        EXPECT_TRUE(platform.messages.empty()) << "no box inside the cycle";
    });
    TickAndRun(platform, view);
    EXPECT_EQ(platform.messages, std::vector<std::string>{"K1 is no longer in wsjtx_log_sent.adi as it was read."});
    EXPECT_EQ(ticksWhileOpen, 1u) << "the box's loop goes on with the ticks";
    EXPECT_EQ(CallsAtLogger(platform), (std::vector<std::string>{"K1", "K2"}));
}

}  // namespace
}  // namespace qsoferry::test
