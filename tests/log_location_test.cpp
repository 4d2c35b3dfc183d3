// Where the log is looked for, and the start-up backup that keeps its history from the logger.
#include <gtest/gtest.h>

#include <memory>
#include <optional>

#include "view_fixture.h"

namespace qsoferry::test {
namespace {

const std::string kDir = kJtdxFolder;
const std::string kLog = kDir + "wsjtx_log.adi";
const std::string kBackup = kDir + "wsjtx_log_bak.adi";
const std::string kHistory = "WSJT-X ADIF Export<eoh>\r\n<call:5>K1ABC <eor>\r\n";

// Any profile, in any script: the user name and the system's folder are taken as given, whichever
// branch finds the log, and a contact written there reaches the logger with its bytes as they lie.
TEST(LogPaths, AnyProfileNameInAnyScriptFindsTheLog) {
    const std::string users[] = {"OPER", "Jane Doe", " x.y ", "Jürgen", "Ковалёв", "山田表示", "表山", "Γιώργος"};
    // A name in the log's own bytes: Latin-1 as the decoder may write it, and UTF-8.
    const std::string contact = "<call:5>K1ABC <name:6>J\xfcrgen <comment:6>\xe5\xb1\xb1\xe7\x94\xb0";
    for (const std::string& user : users) {
        for (bool derived : {true, false}) {
            FakePlatform platform;
            platform.userName = user;
            platform.localAppData = "C:\\Users\\" + user + "\\AppData\\Local";
            const std::string folder =
                derived ? "C:\\Documents and Settings\\" + user + "\\Local Settings\\Application Data\\JTDX\\"
                        : *platform.localAppData + "\\JTDX\\";
            platform.MakeFolders(folder);
            CQsoferryView view(platform);
            AttachLogger(platform, view);
            view.OnInitialUpdate();
            const std::string what = user + (derived ? ", derived folder" : ", local application data");
            EXPECT_EQ(view.LogPath(), folder + "wsjtx_log.adi") << what;
            EXPECT_EQ(view.BackupPath(), folder + "wsjtx_log_bak.adi") << what;
            EXPECT_TRUE(platform.Exists(folder + "wsjtx_log_bak.adi")) << what;

            platform.AddWindow("DXbase", "");
            platform.WriteFile(folder + "wsjtx_log.adi", DecoderLog({contact}));
            TickAndRun(platform, view);
            ASSERT_EQ(platform.sent.size(), 1u) << what;
            EXPECT_EQ(platform.sent[0].bytes.substr(0, 16), "K1ABC####J\xfcrgen#") << what;
            EXPECT_NE(platform.sent[0].bytes.find("\xe5\xb1\xb1\xe7\x94\xb0#"), std::string::npos) << what;
            EXPECT_FALSE(platform.Exists(folder + "wsjtx_log.adi")) << what;
            EXPECT_TRUE(platform.messages.empty()) << what;
        }
    }
}

struct LocationCase {
    const char* what;
    bool derivedFolder;                       // C:\Documents and Settings\OPER\...\JTDX exists
    std::optional<std::string> localAppData;  // what the system says
    std::string folder;                       // where the log, backup and claimed file are
};

TEST(LogPaths, TheDerivedFolderWhenItExistsElseTheSystemsLocalAppData) {
    const std::string local = "C:\\Users\\oper.CLUB\\AppData\\Local";  // a domain profile
    const LocationCase cases[] = {
        {"derived folder there", true, local, kDir},
        {"derived folder absent", false, local, local + "\\JTDX\\"},
        {"neither", false, std::nullopt, kDir},
    };
    for (const LocationCase& c : cases) {
        FakePlatform platform;
        platform.localAppData = c.localAppData;
        if (c.derivedFolder) platform.MakeFolders(kDir);
        CQsoferryView view(platform);
        view.OnInitialUpdate();
        EXPECT_EQ(view.LogPath(), c.folder + "wsjtx_log.adi") << c.what;
        EXPECT_EQ(view.BackupPath(), c.folder + "wsjtx_log_bak.adi") << c.what;
        EXPECT_EQ(view.Delivery().ClaimPath(), c.folder + "wsjtx_log.adi.qsoferry") << c.what;
    }
}

struct BackupCase {
    bool log, backup;
    bool logAfter, backupHoldsHistory;
    bool emptyBackupMade = false;
};

TEST(StartUpBackup, MovesTheLogAsideOnlyWhenNoBackupExists) {
    const BackupCase cases[] = {
        {true, false, false, true},
        {true, true, true, false},
        {false, true, false, false},
        // No history: an empty backup, so that a log at a later start (contacts logged while the
        // bridge was down) is relayed, not set aside.
        {false, false, false, false, true},
    };
    for (const BackupCase& c : cases) {
        FakePlatform platform;
        CQsoferryView view(platform);
        platform.MakeFolders(kDir);
        if (c.log) platform.WriteFile(kLog, kHistory);
        if (c.backup) platform.WriteFile(kBackup, "older backup");
        view.OnInitialUpdate();
        const std::string what = std::string("log ") + (c.log ? "yes" : "no") + ", backup " + (c.backup ? "yes" : "no");
        EXPECT_EQ(platform.Exists(kLog), c.logAfter) << what;
        std::string backupAfter = c.backup ? "older backup" : c.backupHoldsHistory ? kHistory : "";
        EXPECT_EQ(platform.Contents(kBackup), backupAfter) << what;
        EXPECT_EQ(platform.Exists(kBackup), c.backup || c.backupHoldsHistory || c.emptyBackupMade) << what;
        EXPECT_TRUE(platform.messages.empty()) << what;
    }
}

// Qsoferry started (with Windows) before JTDX ever ran: JTDX's folder is not there yet. The first
// tick that finds it gets its start-up backup, so that what JTDX logs there later (while DXbase is
// closed, say, across a restart) is relayed; a log the folder already holds then is history, told.
TEST(StartUpBackup, AFolderThatAppearsLaterGetsItsBackupAtTheFirstTickThatFindsIt) {
    const std::string local = "C:\\Users\\oper\\AppData\\Local";
    const std::string folder = local + "\\JTDX\\";
    for (bool appearsWithALog : {false, true}) {
        SCOPED_TRACE(appearsWithALog ? "the folder appears holding a log" : "the folder appears empty");
        FakePlatform platform;
        platform.localAppData = local;
        auto view = std::make_unique<CQsoferryView>(platform);
        AttachLogger(platform, *view);
        view->OnInitialUpdate();
        TickAndRun(platform, *view);
        EXPECT_FALSE(platform.Exists(folder + "wsjtx_log_bak.adi"));
        if (appearsWithALog) {
            platform.WriteFile(folder + "wsjtx_log.adi", kHistory);
        } else {
            platform.MakeFolders(folder);
        }
        TickAndRun(platform, *view);
        ASSERT_TRUE(platform.Exists(folder + "wsjtx_log_bak.adi"));
        EXPECT_EQ(platform.Contents(folder + "wsjtx_log_bak.adi"), appearsWithALog ? kHistory : "");
        ASSERT_EQ(platform.messages.size(), appearsWithALog ? 1u : 0u);
        if (appearsWithALog) {
            EXPECT_NE(platform.messages[0].find("1 contact logged before"), std::string::npos);
        }

        platform.WriteFile(folder + "wsjtx_log.adi", DecoderLog({"<call:4>K1AA", "<call:4>K1BB"}));
        TickAndRun(platform, *view);  // DXbase is closed: the log waits
        view.reset();
        platform.Restart();
        view = std::make_unique<CQsoferryView>(platform);
        AttachLogger(platform, *view);
        view->OnInitialUpdate();
        platform.AddWindow("DXbase", "");
        TickAndRun(platform, *view);
        EXPECT_EQ(CallsAtLogger(platform), (std::vector<std::string>{"K1AA", "K1BB"}));
    }
}

TEST(StartUpBackup, ALogThatCannotBeOpenedCountsAsAbsent) {
    FakePlatform platform;
    CQsoferryView view(platform);
    platform.disk.PutUnopenable(kLog);  // listed, but cannot be opened
    view.OnInitialUpdate();
    EXPECT_TRUE(platform.Exists(kLog));
    EXPECT_EQ(platform.Contents(kBackup), "");
    EXPECT_TRUE(platform.CallsNamed("Move").empty());
}

TEST(StartUpBackup, WithoutAUserNameNothingIsRenamed) {
    FakePlatform platform;
    platform.userName.reset();
    CQsoferryView view(platform);
    const std::string emptyUserLog =
        "C:\\Documents and Settings\\\\Local Settings\\Application Data\\JTDX\\wsjtx_log.adi";
    platform.WriteFile(emptyUserLog, kHistory);
    view.OnInitialUpdate();
    EXPECT_EQ(view.LogPath(), emptyUserLog);
    EXPECT_TRUE(platform.Exists(emptyUserLog));
    EXPECT_TRUE(platform.CallsNamed("Move").empty());
    EXPECT_EQ(platform.timers.count(kPollTimerId), 1u);
}

TEST(StartUpBackup, AFailedMoveIsReportedAndTheHistoryIsNeverRelayed) {
    FakePlatform platform;
    CQsoferryView view(platform);
    AttachLogger(platform, view);
    platform.AddWindow("DXbase", "");
    platform.WriteFile(kLog, kHistory);
    platform.FailNext("move", kLog, FileStatus::kFailed, 3);  // start-up and the next two ticks

    view.OnInitialUpdate();
    ASSERT_EQ(platform.messages.size(), 1u);
    EXPECT_NE(platform.messages[0].find(kLog), std::string::npos);
    EXPECT_NE(platform.messages[0].find("injected move failure"), std::string::npos);
    // The rest of the start-up ran all the same.
    EXPECT_EQ(platform.caption, "Qsoferry ver 1.00");
    EXPECT_EQ(platform.timers.count(kPollTimerId), 1u);
    EXPECT_NE(platform.controlImage[IDC_LOGGER_LAMP], kNoBitmap);
    EXPECT_TRUE(view.IsBackupPending());

    TickAndRun(platform, view);
    TickAndRun(platform, view);
    EXPECT_TRUE(platform.sent.empty());
    EXPECT_EQ(platform.messages.size(), 1u) << "reported once";
    EXPECT_EQ(platform.Contents(kLog), kHistory);

    TickAndRun(platform, view);  // the move goes through now
    EXPECT_FALSE(view.IsBackupPending());
    EXPECT_EQ(platform.Contents(kBackup), kHistory);
    EXPECT_TRUE(platform.sent.empty());

    platform.WriteFile(kLog, "WSJT-X ADIF Export<eoh>\r\n<call:5>W1NEW <eor>\r\n");
    TickAndRun(platform, view);
    ASSERT_EQ(platform.sent.size(), 1u);
    EXPECT_EQ(platform.sent[0].bytes.substr(0, 6), "W1NEW#");
    EXPECT_EQ(platform.Contents(kBackup), kHistory);
}

TEST(StartUpBackup, ABackupThatAppearedMeanwhileEndsTheRetry) {
    FakePlatform platform;
    CQsoferryView view(platform);
    AttachLogger(platform, view);
    platform.AddWindow("DXbase", "");
    platform.WriteFile(kLog, kHistory);
    platform.FailNext("move", kLog, FileStatus::kBusy, 1);
    view.OnInitialUpdate();
    EXPECT_TRUE(view.IsBackupPending());
    platform.WriteFile(kBackup, "made by the user");
    TickAndRun(platform, view);
    EXPECT_FALSE(view.IsBackupPending());
    EXPECT_EQ(platform.Contents(kBackup), "made by the user");
    EXPECT_EQ(platform.sent.size(), 1u) << "with a backup in place the log is relayed like any other";
}

}  // namespace
}  // namespace qsoferry::test
