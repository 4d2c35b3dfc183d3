// Folders "JTDX - <rig>" beside JTDX's own: found at start and while running, their history set
// aside once, every contact of every folder delivered once, each folder in its order, the folders
// taking turns at the logger.
#include <gtest/gtest.h>

#include <functional>
#include <map>

#include "view_fixture.h"

namespace qsoferry::test {
namespace {

const std::string kLocal = "C:\\Users\\oper\\AppData\\Local";

std::string RigFolder(const std::string& name) {
    return kLocal + "\\" + name + "\\";
}

// Contacts "<prefix>1".."<prefix>n" as the decoder logs them.
std::string Contacts(const std::string& prefix, int n) {
    std::vector<std::string> records;
    for (int i = 1; i <= n; ++i)
        records.push_back("<call:" + std::to_string(prefix.size() + 1) + ">" + prefix + std::to_string(i));
    return DecoderLog(records);
}

struct FolderSetCase {
    const char* what;
    std::vector<std::string> rigs;  // seen before: each has its backup
    std::string withHistory;        // a rig folder seen for the first time, its log holding 3 contacts
    std::string later;              // appears while the bridge runs
};

TEST(RigFolders, EveryFolderIsRelayedInItsOrderTakingTurns) {
    const FolderSetCase cases[] = {
        {"JTDX's own folder only", {}, "", ""},
        {"plus two rig folders", {"JTDX - IC7300", "JTDX - FT991"}, "", ""},
        {"a rig folder holding history at start", {"JTDX - IC7300"}, "JTDX - FT8 portable", ""},
        {"a rig folder appearing later", {}, "", "JTDX - IC705"},
        {"a rig name with spaces, \" - \" and other letters", {"JTDX - Yaesu - FT-DX10 Ω", "JTDX - 山"}, "", ""},
    };
    for (const FolderSetCase& c : cases) {
        SCOPED_TRACE(c.what);
        FakePlatform platform;
        platform.localAppData = kLocal;  // JTDX's own folder is the derived one, which exists
        platform.WriteFile(kJtdxFolder + "wsjtx_log_bak.adi", "");
        for (const std::string& rig : c.rigs)
            platform.WriteFile(RigFolder(rig) + "wsjtx_log_bak.adi", "");
        if (!c.withHistory.empty()) platform.WriteFile(RigFolder(c.withHistory) + "wsjtx_log.adi", Contacts("H", 3));
        CQsoferryView view(platform);
        AttachLogger(platform, view);
        view.OnInitialUpdate();
        platform.AddWindow("DXbase", "");

        std::map<std::string, std::string> folders = {{"M", kJtdxFolder}};
        for (size_t i = 0; i < c.rigs.size(); ++i)
            folders[std::string(1, static_cast<char>('A' + i))] = RigFolder(c.rigs[i]);
        if (!c.withHistory.empty()) {
            folders["W"] = RigFolder(c.withHistory);
            ASSERT_EQ(platform.messages.size(), 1u);
            EXPECT_NE(platform.messages[0].find("3 contacts"), std::string::npos) << platform.messages[0];
            EXPECT_NE(platform.messages[0].find(RigFolder(c.withHistory) + "wsjtx_log_bak.adi"), std::string::npos);
            EXPECT_EQ(platform.Contents(RigFolder(c.withHistory) + "wsjtx_log_bak.adi"), Contacts("H", 3));
        }
        if (!c.later.empty()) {
            for (unsigned tick = 0; tick < 2 * kRigScanTicks; ++tick)
                TickAndRun(platform, view);
            platform.MakeFolders(RigFolder(c.later));
            for (unsigned tick = 0; tick < kRigScanTicks; ++tick)
                TickAndRun(platform, view);
            EXPECT_TRUE(platform.Exists(RigFolder(c.later) + "wsjtx_log_bak.adi")) << "found within a few ticks";
            folders["L"] = RigFolder(c.later);
        }
        EXPECT_EQ(view.RigFolderCount(), folders.size() - 1);

        for (const auto& [prefix, folder] : folders)
            platform.WriteFile(folder + "wsjtx_log.adi", Contacts(prefix, 6));
        for (int tick = 0; tick < 20; ++tick)
            TickAndRun(platform, view);

        // Each folder's contacts once, in order; between two of one folder, at most one of another.
        std::map<std::string, std::vector<int>> byFolder;
        std::vector<std::string> order;
        for (const std::string& call : CallsAtLogger(platform)) {
            order.push_back(call.substr(0, 1));
            byFolder[call.substr(0, 1)].push_back(std::stoi(call.substr(1)));
        }
        for (const auto& [prefix, folder] : folders) {
            EXPECT_EQ(byFolder[prefix], (std::vector<int>{1, 2, 3, 4, 5, 6})) << prefix;
            EXPECT_FALSE(platform.Exists(folder + "wsjtx_log.adi")) << prefix;
        }
        EXPECT_EQ(byFolder.count("H"), 0u) << "history is never relayed";
        for (size_t i = 0; i < order.size(); ++i) {
            size_t next = i + 1;
            while (next < order.size() && order[next] != order[i])
                ++next;
            std::map<std::string, int> between;  // only between two of one folder: after its last, others go on
            for (size_t j = i + 1; next < order.size() && j < next; ++j)
                EXPECT_LE(++between[order[j]], 1) << "a turn skipped at " << i << ": " << testing::PrintToString(order);
        }
        EXPECT_EQ(platform.messages.size(), c.withHistory.empty() ? 0u : 1u)
            << testing::PrintToString(platform.messages);
    }
}

// The program closed, or the Windows session ended, with JTDX's contact at a logger that takes its
// time: the program waits for that one as long as the operator or Windows allows, and starts no
// other, neither its own folder's nor a rig folder's.
TEST(RigFolders, TheEndWaitsForTheContactInFlightAndStartsNoOther) {
    const struct {
        const char* what;
        std::function<void(CQsoferryView&)> end;
        unsigned waitMs;
    } cases[] = {
        {"closed", [](CQsoferryView& view) { view.OnDestroy(); }, kCloseWaitMs},
        {"the session ends",
         [](CQsoferryView& view) {
             view.OnQueryEndSession();
             view.OnEndSession(true);
         },
         kEndSessionWaitMs},
    };
    for (const auto& c : cases) {
        FakePlatform platform;
        platform.localAppData = kLocal;
        platform.WriteFile(kJtdxFolder + "wsjtx_log_bak.adi", "");
        platform.WriteFile(RigFolder("JTDX - IC7300") + "wsjtx_log_bak.adi", "");
        CQsoferryView view(platform);
        AttachLogger(platform, view);
        view.OnInitialUpdate();
        platform.AddWindow("DXbase", "");
        platform.WriteFile(kJtdxFolder + "wsjtx_log.adi", Contacts("M", 3));
        platform.WriteFile(RigFolder("JTDX - IC7300") + "wsjtx_log.adi", Contacts("A", 3));
        platform.holdSends = true;
        view.OnTimer(kPollTimerId);
        ASSERT_EQ(CallsAtLogger(platform), std::vector<std::string>{"M1"});
        c.end(view);
        EXPECT_EQ(CallsAtLogger(platform), std::vector<std::string>{"M1"}) << c.what;
        EXPECT_EQ(platform.pickedUp, 1) << c.what;
        EXPECT_TRUE(platform.violations.empty()) << c.what << ": " << platform.violations.front();
        EXPECT_EQ(platform.CallsNamed("AwaitSent"), std::vector<std::string>{"AwaitSent " + std::to_string(c.waitMs)})
            << c.what;
    }
}

}  // namespace
}  // namespace qsoferry::test

namespace qsoferry::test {
namespace {

// A view started on a station where JTDX's own folder has been seen before.
class RigFoldersOnAStation : public ::testing::Test {
protected:
    RigFoldersOnAStation() {
        platform.localAppData = kLocal;
        platform.WriteFile(kJtdxFolder + "wsjtx_log_bak.adi", "");
        AttachLogger(platform, view);
        view.OnInitialUpdate();
    }
    FakePlatform platform;
    CQsoferryView view{platform};
};

// New or Open dispatched by a drain while the logger's answers are being taken (a long log is
// read there) finds a rig folder made meanwhile: the folders grow under the loop that walks them.
TEST_F(RigFoldersOnAStation, AFolderFoundWhileAnswersAreTakenIsTakenSafely) {
    platform.AddWindow("DXbase", "");
    platform.WriteFile(kJtdxFolder + "wsjtx_log.adi", Contacts("M", 20));
    const std::string rig = RigFolder("JTDX - IC705");
    bool posted = false;
    platform.beforeSend = [&] {
        if (posted || platform.sent.size() != 2) return;
        posted = true;
        platform.Post([&] {
            platform.WriteFile(rig + "wsjtx_log_bak.adi", "");
            platform.WriteFile(rig + "wsjtx_log.adi", Contacts("R", 2));
            view.OnInitialUpdate();
        });
    };
    for (int i = 0; i < 4; ++i)
        TickAndRun(platform, view);
    EXPECT_EQ(view.RigFolderCount(), 1u);
    std::vector<std::string> calls = CallsAtLogger(platform);
    EXPECT_EQ(calls.size(), 22u) << ::testing::PrintToString(calls);
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "R2"), 1);
}

// Between Windows' question whether the session may end and its word on it, no message box opens
// (Windows would list Qsoferry as keeping it from ending): a rig folder found meanwhile with
// contacts in it is told of once the end is cancelled.
TEST_F(RigFoldersOnAStation, NoMessageOpensWhileTheSessionMayEnd) {
    view.OnQueryEndSession();
    platform.WriteFile(RigFolder("JTDX - IC705") + "wsjtx_log.adi", Contacts("H", 2));
    for (unsigned tick = 0; tick <= kRigScanTicks; ++tick)
        TickAndRun(platform, view);
    EXPECT_TRUE(platform.messages.empty()) << platform.messages.front();
    view.OnEndSession(false);
    ASSERT_EQ(platform.messages.size(), 1u);
    EXPECT_NE(platform.messages[0].find("logged before Qsoferry first saw"), std::string::npos);
}

}  // namespace
}  // namespace qsoferry::test
