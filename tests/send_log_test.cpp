// File, Send a Log to DXbase: the operator's file is counted, asked about, copied and relayed, and
// never changed.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "view_fixture.h"

namespace qsoferry::test {
namespace {

const std::string kLocal = kLocalAppData;
const std::string kChosen = "C:\\Users\\oper\\Documents\\export.adi";
const std::string kSending = kLocal + "\\Qsoferry\\Sending\\wsjtx_log.adi";

class SendLog : public ::testing::Test {
protected:
    SendLog() {
        platform.localAppData = kLocal;
        platform.WriteFile(kLocal + "\\JTDX\\wsjtx_log_bak.adi", "");  // the folder is there
        platform.WriteFile(kJtdxFolder + "wsjtx_log_bak.adi", "");
        AttachLogger(platform, view);
        view.OnInitialUpdate();
        platform.AddWindow("DXbase", "");
        platform.chosenFile = kChosen;
    }
    void Tick() { TickAndRun(platform, view); }

    FakePlatform platform;
    CQsoferryView view{platform};
};

TEST_F(SendLog, AsksThenRelaysAPrivateCopyInOrderLeavingTheFileAsItWas) {
    std::vector<std::string> records;
    for (int i = 0; i < 50; ++i)
        records.push_back("<call:5>K" + std::to_string(1000 + i));
    const std::string log = DecoderLog(records);
    platform.WriteFile(kChosen, log);

    platform.answerYes = false;
    view.OnSendLog();
    ASSERT_EQ(platform.messages.size(), 1u);
    EXPECT_NE(platform.messages[0].find("holds 50 contacts"), std::string::npos) << platform.messages[0];
    EXPECT_FALSE(platform.Exists(kSending)) << "no: nothing goes";

    platform.answerYes = true;
    view.OnSendLog();
    view.OnSendLog();  // a second while the first is under way
    EXPECT_EQ(platform.messages.back(), kSendingBusyText);
    // JTDX logs a contact meanwhile: it takes turns with the log sent.
    platform.WriteFile(view.LogPath(), DecoderLog({"<call:4>W1AW"}));
    for (int tick = 0; tick < 4; ++tick)
        Tick();

    std::vector<std::string> expected;
    for (int i = 0; i < 50; ++i)
        expected.push_back("K" + std::to_string(1000 + i));
    std::vector<std::string> calls = CallsAtLogger(platform);
    auto w1aw = std::find(calls.begin(), calls.end(), "W1AW");
    ASSERT_NE(w1aw, calls.end());
    EXPECT_LT(w1aw - calls.begin(), 3) << "the folder's contact does not wait for the whole log";
    calls.erase(w1aw);
    EXPECT_EQ(calls, expected);
    EXPECT_EQ(platform.Contents(kChosen), log);
    EXPECT_FALSE(platform.Exists(kSending));
    // Only JTDX's contact is in the copy of what was relayed from its folder.
    const std::string copy = platform.Contents(kJtdxFolder + kCopyFileName);
    EXPECT_NE(copy.find("<call:4>W1AW <eor>"), std::string::npos);
    EXPECT_EQ(copy.find("K1000"), std::string::npos);
}

TEST_F(SendLog, AFileWithoutContactsSendsNothing) {
    for (const std::string& empty : {std::string(""), std::string("\r\n\r\n"), DecoderLog({})}) {
        platform.WriteFile(kChosen, empty);
        platform.messages.clear();
        view.OnSendLog();
        EXPECT_EQ(platform.messages, std::vector<std::string>{kSourceEmptyText});
        EXPECT_FALSE(platform.Exists(kSending));
    }
}

}  // namespace
}  // namespace qsoferry::test

namespace qsoferry::test {
namespace {

// Send a Log, and Send Again from Relayed Contacts.
TEST_F(SendLog, AskedFromADrainInsideACycleItsDialogWaitsForTheCycleToEnd) {
    platform.WriteFile(kChosen, DecoderLog({"<call:2>K1"}));
    platform.answerYes = false;
    size_t ticksWhileOpen = 0;
    platform.whileMessageShown = [&] {
        const size_t before = platform.CallsNamed("FindClass").size();
        view.OnTimer(kPollTimerId);  // the dialog's own loop goes on with the ticks
        ticksWhileOpen += platform.CallsNamed("FindClass").size() - before;
    };
    const struct {
        const char* what;
        std::function<void()> command;
        size_t ticks;  // one for each dialog
    } cases[] = {
        {"Send a Log: the Open dialog and the question", [&] { view.OnSendLog(); }, 2},
        {"Send Again: the question", [&] { view.OnSendAgain(DecoderLog({"<call:2>K1"}), 1); }, 1},
    };
    for (const auto& c : cases) {
        ticksWhileOpen = 0;
        const size_t asked = platform.messages.size();
        platform.Post(c.command);  // the command, taken by the cycle's drain
        Tick();
        EXPECT_EQ(platform.messages.size(), asked + 1) << c.what;
        EXPECT_EQ(ticksWhileOpen, c.ticks) << c.what;
    }
    EXPECT_EQ(platform.CallsNamed("ChooseLogFile").size(), 1u);
}

// Each copy listed in Relayed Contacts says whose it is: JTDX's, a rig's by its folder's name, or
// the one of logs sent on purpose.
TEST_F(SendLog, EachCopyListedIsNamedForItsFolder) {
    const std::string rig = kLocal + "\\JTDX - IC7300";
    platform.WriteFile(rig + "\\wsjtx_log_bak.adi", "");
    view.OnInitialUpdate();  // New: the rig folder is found
    std::vector<std::string> sources;
    for (const CopySource& s : view.CopySources())
        sources.push_back(s.label + " | " + s.folder + " | " + s.path);
    std::sort(sources.begin(), sources.end());
    const std::string jtdx = kJtdxFolder.substr(0, kJtdxFolder.size() - 1), sending = kLocal + "\\Qsoferry\\Sending";
    EXPECT_EQ(sources,
              (std::vector<std::string>{"IC7300 | " + rig + " | " + rig + "\\" + kCopyFileName,
                                        "JTDX | " + jtdx + " | " + jtdx + "\\" + kCopyFileName,
                                        "Sent on purpose | " + sending + " | " + sending + "\\" + kCopyFileName}));
}

}  // namespace
}  // namespace qsoferry::test

namespace qsoferry::test {
namespace {

// JTDX's own log, by another spelling of its path too, or its claimed file: refused, since its
// engine relays it already; nothing copied.
TEST_F(SendLog, AFoldersOwnLogIsRefused) {
    platform.WriteFile(view.LogPath(), DecoderLog({"<call:4>W1AW"}));
    platform.WriteFile(view.Delivery().ClaimPath(), DecoderLog({"<call:4>K1AB"}));
    for (const std::string& chosen : {view.LogPath(), "c" + view.LogPath().substr(1), view.Delivery().ClaimPath()}) {
        platform.chosenFile = chosen;
        platform.messages.clear();
        view.OnSendLog();
        ASSERT_EQ(platform.messages.size(), 1u) << chosen;
        EXPECT_NE(platform.messages[0].find("is the log JTDX writes now"), std::string::npos) << platform.messages[0];
        EXPECT_FALSE(platform.Exists(kSending + ".part"));
        EXPECT_FALSE(platform.Exists(kSending));
    }
}

// Once the operator has said yes and the copy is made, a power cut loses nothing of the request;
// a copy the bridge was still making when it ended is told of at the next start.
TEST_F(SendLog, ALogSentSurvivesAPowerCutAndAnUnfinishedOneIsTold) {
    platform.WriteFile(kChosen, DecoderLog({"<call:4>K1AA", "<call:4>K1BB"}));
    platform.RemoveWindow(platform.FindWindowByClass("DXbase"));
    view.OnSendLog();
    ASSERT_EQ(platform.durableMoves.size(), 1u);
    platform.CutPower(7);
    EXPECT_EQ(platform.Contents(kSending), platform.Contents(kChosen));

    platform.WriteFile(kSending + ".part", "<call:4>K1C");
    platform.messages.clear();
    CQsoferryView again(platform);
    again.OnInitialUpdate();
    ASSERT_EQ(platform.messages.size(), 1u);
    EXPECT_NE(platform.messages[0].find("was not sent"), std::string::npos) << platform.messages[0];
}

}  // namespace
}  // namespace qsoferry::test

namespace qsoferry::test {
namespace {

// Another log still being sent (its claimed file is there, or one was begun by another bridge
// while the question was open) is said, and nothing is copied over it.
TEST_F(SendLog, AnotherLogUnderWayIsToldAndLeftAlone) {
    platform.WriteFile(kChosen, DecoderLog({"<call:4>K1AA"}));
    const std::string other = DecoderLog({"<call:4>K9ZZ"});
    platform.WriteFile(kSending + ".qsoferry", other);
    view.OnSendLog();
    EXPECT_EQ(platform.messages.back(), kSendingBusyText) << "a claimed log";
    platform.RemoveFile(kSending + ".qsoferry");

    platform.whileMessageShown = [&] {
        if (platform.messages.back().find("Send it") != std::string::npos) platform.WriteFile(kSending, other);
    };
    view.OnSendLog();
    EXPECT_EQ(platform.messages.back(), kSendingBusyText) << "begun while the question was open";
    EXPECT_EQ(platform.Contents(kSending), other);
}

// The private copy goes under the log's name whole and on the disk, or not at all: a longer
// leftover of an unfinished copy does not show through it, a copy that fails is not named, and a
// power cut after the request leaves it whole. After New or Open, one engine still sends it, once.
TEST_F(SendLog, ThePrivateCopyIsWholeOrAbsent) {
    const std::string log = DecoderLog({"<call:4>K1AA", "<call:4>K1BB", "<call:4>K1CC"});
    platform.WriteFile(kChosen, log);
    platform.RemoveWindow(platform.FindWindowByClass("DXbase"));
    platform.FailNext("write", kSending + ".part", FileStatus::kFull);
    view.OnSendLog();
    EXPECT_FALSE(platform.Exists(kSending)) << "a failed copy";
    EXPECT_FALSE(platform.Exists(kSending + ".part"));
    // A leftover that cannot be removed stops the send, named; nothing is written into it.
    const std::string leftover = "<call:4>K9ZZ <eor>\r\n";
    platform.WriteFile(kSending + ".part", leftover);
    platform.FailNext("remove", kSending + ".part", FileStatus::kDenied);
    view.OnSendAgain("<call:4>K1AA <eor>\r\n", 1);
    EXPECT_NE(platform.messages.back().find(kSending + ".part"), std::string::npos) << platform.messages.back();
    EXPECT_EQ(platform.Contents(kSending + ".part"), leftover);
    EXPECT_FALSE(platform.Exists(kSending));
    platform.RemoveFile(kSending + ".part");
    for (unsigned seed = 1; seed <= 10; ++seed) {
        FakePlatform station;
        station.localAppData = kLocal;
        station.WriteFile(kLocal + "\\JTDX\\wsjtx_log_bak.adi", "");
        station.WriteFile(kChosen, log);
        station.chosenFile = kChosen;
        {
            CQsoferryView sender(station);
            sender.OnInitialUpdate();
            sender.OnSendLog();
        }
        station.CutPower(seed);
        EXPECT_EQ(station.Contents(kSending), log) << "cut seed " << seed;
    }
    platform.WriteFile(kSending + ".part", std::string(3 * log.size(), 'x'));
    view.OnSendLog();
    EXPECT_EQ(platform.Contents(kSending), log) << "a leftover shows through";
    view.OnInitialUpdate();  // the framework's New
    platform.AddWindow("DXbase", "");
    for (int tick = 0; tick < 3; ++tick)
        Tick();
    EXPECT_EQ(CallsAtLogger(platform), (std::vector<std::string>{"K1AA", "K1BB", "K1CC"}));
}

}  // namespace
}  // namespace qsoferry::test

namespace qsoferry::test {
namespace {

// Relayed Contacts, Send Again: the rows chosen reach DXbase once more, exactly as they went the
// first time and oldest first, through the engine for logs sent on purpose; its copy lists them as
// sent on purpose, and the folder's copy is left as it was.
TEST_F(SendLog, ContactsChosenInTheListGoAgainExactlyOnce) {
    platform.WriteFile(view.LogPath(), DecoderLog({"<call:4>K1AA <time_on:4>0900", "<call:4>K1BB <time_on:4>0901",
                                                   "<call:4>K1CC <time_on:4>0902"}));
    Tick();
    const std::vector<SentCopyData> first = platform.sent;
    ASSERT_EQ(first.size(), 3u);
    const std::string jtdxCopy = platform.Contents(kJtdxFolder + kCopyFileName);

    RelayedList list(platform);
    list.Refresh(view.CopySources());
    ASSERT_EQ(list.Shown(), 3u);
    EXPECT_EQ(list.Text(0, RelayedColumn::kCall), "K1CC");
    EXPECT_EQ(list.Text(0, RelayedColumn::kFolder), "JTDX");
    std::string why;
    std::optional<std::string> records = list.Records({0, 2}, why);
    ASSERT_TRUE(records) << why;
    platform.sent.clear();
    view.OnSendAgain(*records, 2);
    EXPECT_EQ(platform.messages.back(), "Send these 2 contacts to DXbase again?");
    view.OnSendAgain(*records, 2);
    EXPECT_EQ(platform.messages.back(), kSendingBusyText);
    for (int tick = 0; tick < 3; ++tick)
        Tick();

    ASSERT_EQ(platform.sent.size(), 2u);
    EXPECT_EQ(platform.sent[0].bytes, first[0].bytes);
    EXPECT_EQ(platform.sent[1].bytes, first[2].bytes);
    EXPECT_EQ(platform.Contents(kJtdxFolder + kCopyFileName), jtdxCopy);
    list.Refresh(view.CopySources());
    list.SortBy(RelayedColumn::kFolder);
    EXPECT_EQ(list.CountText(), "5 contacts");
    EXPECT_EQ(list.Text(4, RelayedColumn::kFolder), "Sent on purpose");
    EXPECT_EQ(list.FolderOf(4), kLocal + "\\Qsoferry\\Sending");
}

}  // namespace
}  // namespace qsoferry::test

namespace qsoferry::test {
namespace {

// What JTDX relayed, then another program's export (one field a line, or all on one) of those
// contacts in other spellings, with two more.
const std::vector<std::string> kRelayed = {
    "<call:4>K1AA <qso_date:8>20261206 <time_on:6>090000 <band:3>20m <mode:3>FT8",
    "<call:4>K1BB <qso_date:8>20261207 <time_on:6>090500 <band:3>20m <mode:3>FT8"};
const std::string kHeader = "Exported by a logger\r\n<ADIF_VER:5>3.1.4\r\n<EOH>\r\n";
const std::string kAa =
    "<CALL:4>k1aa\r\n<QSO_DATE:8>20261206\r\n<TIME_ON:6>090012\r\n<FREQ:9>14.074000\r\n<MODE:3>FT8\r\n<EOR>";
const std::string kCc =
    "<CALL:4>K1CC\r\n<QSO_DATE:8>20261207\r\n<TIME_ON:4>1000\r\n<BAND:3>40m\r\n<MODE:3>FT8\r\n<EOR>";
const std::string kBb = "<CALL:4>K1BB <QSO_DATE:8>20261207 <TIME_ON:4>0905 <BAND:3>20M <MODE:3>FT8 <EOR>";
const std::string kDd =
    "<CALL:4>K1DD <QSO_DATE:8>20261207 <TIME_ON:4>1100 <BAND:3>40m <MODE:4>MFSK <SUBMODE:3>FT4 <EOR>";
const std::string kExport = kHeader + kAa + "\r\n" + kCc + "\r\n" + kBb + "\r\n" + kDd + "\r\n";

// A station whose JTDX folder has relayed kRelayed.
struct Station : SendingStation {
    Station() {
        platform.WriteFile(view.LogPath(), DecoderLog(kRelayed));
        TickAndRun(platform, view);
        platform.sent.clear();
        platform.chosenFile = kChosen;
    }
    // The rows Relayed Contacts would list as sent more than once.
    size_t Doubles() {
        RelayedList list(platform);
        list.Refresh(view.CopySources());
        list.ShowOnlyDoubles(true);
        return list.Shown();
    }
};

// The question names what DXbase took before, and each answer sends what it says: only the new
// contacts, byte for byte as the file has them and in its order, all of them, or none.
TEST(SendLogTaken, TheQuestionCountsWhatDXbaseTookAndEachAnswerSendsWhatItSays) {
    const struct {
        std::optional<size_t> choice;  // none: the default
        std::string copy;              // what is put in the Sending folder to be relayed
        std::vector<std::string> calls;
        size_t doubles;  // rows in Relayed Contacts afterwards
    } cases[] = {
        {std::nullopt, kHeader + "\r\n" + kCc + "\r\n" + kDd, {"K1CC", "K1DD"}, 0},
        {1, kExport, {"K1AA", "K1CC", "K1BB", "K1DD"}, 4},
        {2, "", {}, 0},
    };
    for (const auto& c : cases) {
        Station station;
        ASSERT_EQ(station.Doubles(), 0u);
        station.platform.WriteFile(kChosen, kExport);
        station.platform.choice = c.choice;
        station.view.OnSendLog();
        ASSERT_EQ(station.platform.messages.size(), 1u);
        EXPECT_EQ(station.platform.messages[0],
                  "export.adi holds 4 contacts; DXbase already took 2 of them (the last on 2026-12-07). "
                  "Send only the 2 new ones?");
        EXPECT_EQ(station.platform.answersOffered,
                  (std::vector<std::string>{"Send the 2 new ones", "Send all 4", "Send none"}));
        EXPECT_EQ(station.platform.answerPreferred, 0u);
        EXPECT_EQ(station.platform.Contents(kSending), c.copy);
        for (int tick = 0; tick < 4; ++tick)
            TickAndRun(station.platform, station.view);
        EXPECT_EQ(CallsAtLogger(station.platform), c.calls);
        EXPECT_EQ(station.Doubles(), c.doubles);
        EXPECT_EQ(station.platform.Contents(kChosen), kExport);
    }
}

// A log whose reading stops early, at a "*" line or a Ctrl-Z past the first piece read: its new
// contact goes; the bytes never read are no change.
TEST(SendLogTaken, ALogWhoseReadingStopsEarlySendsItsNewOnes) {
    std::string unread;
    while (unread.size() < 100000)
        unread += "<CALL:4>W9ZZ <QSO_DATE:8>20261208 <TIME_ON:4>1200 <BAND:3>20m <MODE:3>FT8 <EOR>\r\n";
    for (const std::string stop : {"<CALL:4>K1DD <COMMENT:9>*CQ WW* <EOR>\r\n", "\x1a"}) {
        Station station;
        station.platform.WriteFile(kChosen, kHeader + kAa + "\r\n" + kCc + "\r\n" + stop + unread);
        station.view.OnSendLog();
        EXPECT_EQ(
            station.platform.messages,
            std::vector<std::string>{"export.adi holds 2 contacts; DXbase already took 1 of them (on 2026-12-06). "
                                     "Send only the new one?"});
        EXPECT_EQ(station.platform.Contents(kSending), kHeader + "\r\n" + kCc);
    }
}

// A file all of whose contacts DXbase took asks whether to send them again, none the default; bad
// input never sends fewer contacts than the operator chose: a copy's damaged record is not counted
// as taken, a file changed after it was counted or that cannot be read is not sent in part.
TEST(SendLogTaken, AllTakenAndBadInput) {
    {
        Station station;
        station.platform.WriteFile(kChosen, DecoderLog(kRelayed));
        station.view.OnSendLog();
        EXPECT_EQ(station.platform.messages,
                  std::vector<std::string>{"export.adi holds 2 contacts; DXbase already took all of them (the "
                                           "last on 2026-12-07). Send them again?"});
        EXPECT_EQ(station.platform.answersOffered, (std::vector<std::string>{"Send all 2 again", "Send none"}));
        EXPECT_EQ(station.platform.answerPreferred, 1u);
        EXPECT_FALSE(station.platform.Exists(kSending));
    }
    {
        Station station;
        const std::string copyPath = kJtdxFolder + kCopyFileName;
        std::string copy = station.platform.Contents(copyPath);
        copy.replace(copy.find("K1AA") - 8, 12, std::string(12, '\0'));  // a torn sector
        station.platform.WriteFile(copyPath, copy);
        station.platform.WriteFile(kChosen, kExport);
        station.view.OnSendLog();
        EXPECT_NE(station.platform.messages.back().find("took 1 of them (on 2026-12-07). Send only the 3 new ones?"),
                  std::string::npos)
            << station.platform.messages.back();
        EXPECT_EQ(station.platform.Contents(kSending), kHeader + kAa + "\r\n" + kCc + "\r\n" + kDd);
    }
    enum class Fault { kAppended, kChangedInPlace, kUnreadable };
    for (const Fault fault : {Fault::kAppended, Fault::kChangedInPlace, Fault::kUnreadable}) {
        Station station;
        station.platform.WriteFile(kChosen, kExport);
        if (fault == Fault::kUnreadable) station.platform.FailNext("read", kChosen, FileStatus::kFailed);
        station.platform.whileMessageShown = [&] {  // the Open dialog, then the question
            if (station.platform.messages.empty()) return;
            std::string changed = kExport;
            if (fault == Fault::kAppended) changed += "<CALL:4>K1EE <EOR>\r\n";
            if (fault == Fault::kChangedInPlace) changed[changed.find("K1DD")] = 'W';
            station.platform.WriteFile(kChosen, changed);
        };
        station.view.OnSendLog();
        const std::string& told = station.platform.messages.back();
        EXPECT_NE(told.find(fault == Fault::kUnreadable ? "Cannot read " + kChosen
                                                        : "has changed since its contacts were counted"),
                  std::string::npos)
            << told;
        EXPECT_FALSE(station.platform.Exists(kSending));
        EXPECT_FALSE(station.platform.Exists(kSending + ".part"));
    }
}

// The question in the singular: one contact, taken or not, or one new among those taken (the date
// named is the latest taken, wherever it stands in the file). A contact without a date or a time
// is never one taken before, though the one before it had them.
TEST(SendLogTaken, TheQuestionOfOneContact) {
    const struct {
        std::string file, question;
        std::vector<std::string> answers;  // none: a yes or no
    } cases[] = {
        {kHeader + kCc + "\r\n",
         kChosen + " holds 1 contact. Send it to DXbase? Contacts DXbase has already are sent again.",
         {}},
        {kHeader + kAa + "\r\n",
         "export.adi holds 1 contact; DXbase already took it (on 2026-12-06). Send it again?",
         {"Send it again", "Send none"}},
        {kHeader + kBb + "\r\n" + kAa + "\r\n" + kCc + "\r\n",  // newest first, as many loggers export
         "export.adi holds 3 contacts; DXbase already took 2 of them (the last on 2026-12-07). Send only the "
         "new one?",
         {"Send the new one", "Send all 3", "Send none"}},
        {kHeader + kBb + "\r\n<CALL:4>K1BB <TIME_ON:4>0905 <BAND:3>20m <MODE:3>FT8 <EOR>\r\n" +
             "<CALL:4>K1BB <QSO_DATE:8>20261207 <BAND:3>20m <MODE:3>FT8 <EOR>\r\n",
         "export.adi holds 3 contacts; DXbase already took 1 of them (on 2026-12-07). Send only the 2 new ones?",
         {"Send the 2 new ones", "Send all 3", "Send none"}},
    };
    for (const auto& c : cases) {
        Station station;
        station.platform.WriteFile(kChosen, c.file);
        station.platform.answerYes = false;
        if (!c.answers.empty()) station.platform.choice = c.answers.size() - 1;  // "Send none"
        station.view.OnSendLog();
        EXPECT_EQ(station.platform.messages, std::vector<std::string>{c.question});
        EXPECT_EQ(station.platform.answersOffered, c.answers) << c.question;
        EXPECT_FALSE(station.platform.Exists(kSending)) << c.question;
    }
}

// A log larger than a read goes as its new contacts byte for byte: contacts that straddle two reads,
// one longer than a read (read twice to frame it), taken ones between them, a copy of many writes.
TEST(SendLogTaken, OnlyTheNewContactsOfALogLargerThanAReadByteForByte) {
    Station station;
    std::string log = kHeader + kAa, expected = kHeader;
    for (int i = 0; i < 1500; ++i) {
        std::string contact = i % 3 == 0 ? kBb
                                         : "<CALL:5>K" + std::to_string(10000 + i) +
                                               " <QSO_DATE:8>20261208 <TIME_ON:4>1200 <BAND:3>20m <MODE:3>FT8 <EOR>";
        if (i == 700) contact.insert(contact.find(" <QSO"), " <COMMENT:100000>" + std::string(100000, 'x'));
        log += "\r\n" + contact;
        if (i % 3 != 0) expected += "\r\n" + contact;
    }
    station.platform.WriteFile(kChosen, log + "\r\n");
    station.view.OnSendLog();
    ASSERT_EQ(station.platform.messages.size(), 1u);
    EXPECT_NE(station.platform.messages[0].find("holds 1501 contacts; DXbase already took 501 of them"),
              std::string::npos)
        << station.platform.messages[0];
    EXPECT_TRUE(station.platform.Contents(kSending) == expected) << station.platform.Contents(kSending).size();
}

}  // namespace
}  // namespace qsoferry::test
