// The poll cycle: how the log is framed and read, and how contacts travel from the log to the
// logger without being lost or sent twice.
#include <gtest/gtest.h>

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
    view.OnTimer(kPollTimerId);
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
        EXPECT_EQ(platform.Contents(view.m_strLogPath), log);
        // ... and again at the next tick, for as long as it stays so.
        view.OnTimer(kPollTimerId);
        EXPECT_EQ(platform.messages.size(), 2u);
    }
}

TEST_F(PollCycle, ALogBeingCreatedByTheDecoderIsNotCalledEmpty) {
    StartLogger();
    platform.WriteFile(view.m_strLogPath, "");
    platform.FailNext("move", view.m_strLogPath, FileStatus::kBusy);  // the decoder holds it open
    view.OnTimer(kPollTimerId);
    EXPECT_TRUE(platform.messages.empty());
    platform.AppendFile(view.m_strLogPath, DecoderLog({"<call:2>K1"}));
    view.OnTimer(kPollTimerId);
    EXPECT_TRUE(platform.messages.empty());
    EXPECT_EQ(SentTexts().size(), 1u);
}

struct FramingCase {
    const char* what;
    std::string log;
    std::string call;  // what reached position 1 of the one export
};

TEST_F(PollCycle, HeaderAndLineFraming) {
    const FramingCase cases[] = {
        {"decoder's own form", DecoderLog({"<call:6>n0call <gridsquare:4>FN42"}), "N0CALL"},
        {"header and record, LF only", "ADIF Export<eoh>\n<call:6>N0CALL <eor>", "N0CALL"},
        {"several header lines, end on its own line",
         "Made by hand\n<adif_ver:5>3.1.0\n<programid:4>JTDX\n<EOH>\n<call:5>K1ABC <eor>\n", "K1ABC"},
        {"empty lines before the header", "\r\n\r\nADIF<eoh>\r\n<call:5>K1ABC <eor>\r\n", "K1ABC"},
        {"mixed-case header end is not one", "ADIF<Eoh>\n<call:5>K1ABC <eor>\n", ""},
        {"a first line beginning with < is the header", "<call:5>K1ABC <eor>\n", ""},
        {"...and only that line", "<adif_ver:5>3.1.0\n<call:5>K1ABC <eor>\n", "K1ABC"},
        {"tags after the header end are not read", "X<eoh><call:6>N0CALL <eor>\n", ""},
        {"a line of blanks is a header without end", "   \n", ""},
        {"no header end at all", "ADIF Export\n<call:5>K1ABC <eor>\n", ""},
        {"record over three lines", "h<eoh>\n<call:5>K1ABC\n<band:3>20m <mode:3>FT8\n<eor>\n", "K1ABC"},
        {"declared length not used", "h<eoh>\n<CALL:3>N0CALL <eor>\n", "N0CALL"},
        {"blanks around tags", "h<eoh>\n \t <call:5>K1ABC   <eor>  \n", "K1ABC"},
        {"text before the first <", "h<eoh>\nabc <call:5>K1ABC <eor>\n", "K1ABC"},
        {"<eor>x is not an end of record", "h<eoh>\n<call:5>K1ABC <eor>x <name:2>Jo\n", "K1ABC"},
        {"a star on a line drops it and the rest", "h<eoh>\n<call:5>K1ABC\n<comment:3>a*b <eor>\n<eor>\n", "K1ABC"},
        {"a star on the first data line", "h<eoh>\n<call:5>K1ABC <comment:1>* <eor>\n", ""},
        {"Ctrl-Z ends the file", "h<eoh>\n<call:5>K1ABC <eor>\n\x1a<call:5>W1XYZ <eor>\n", "K1ABC"},
    };
    for (const FramingCase& c : cases) {
        std::vector<std::string> sent = Relay(c.log);
        ASSERT_EQ(sent.size(), 1u) << c.what;
        EXPECT_EQ(Pos(sent[0], 1), c.call) << c.what;
        EXPECT_FALSE(platform.Exists(view.m_strLogPath)) << c.what;
        EXPECT_FALSE(platform.Exists(ClaimPath())) << c.what;
    }
}

TEST_F(PollCycle, PiecesSplitAtEveryAngleBracket) {
    auto sent = Relay("h<eoh>\n<call:5>K1ABC <name:3> Jo  <QSO_DATE:8:D>20261207 <comment:5>a<b>c <eor>\n");
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(Pos(sent[0], 5), " Jo");               // a blank after ">" stays, trailing ones go
    EXPECT_EQ(Pos(sent[0], 9), "RSTS   RSTR    a");  // the comment ends at the next "<"
}

TEST_F(PollCycle, EndOfRecordTagInAnyCase) {
    auto sent = Relay("h<eoh>\n<call:2>K1 <eor><call:2>K2 <EOR>\n<call:2>K3 <EoR >x\n<call:2>K4 <eOr>\n");
    std::vector<std::string> calls;
    for (const std::string& s : sent)
        calls.push_back(Pos(s, 1));
    EXPECT_EQ(calls, (std::vector<std::string>{"K1", "K2", "K4"}));  // "<EoR >x" is a field, not an end
}

TEST_F(PollCycle, EveryContactOfAFileIsSentOnItsOwn) {
    auto sent = Relay(DecoderLog({
        "<call:5>K1ABC <name:3>Bob <band:3>20m <mode:3>FT8 <freq:9>14.074000",
        "<call:5>W1XYZ <band:3>40m <mode:4>MFSK <submode:3>FT4 <freq:8>7.047500",
        "<call:5>G4ABC <band:3>20m",
    }));
    ASSERT_EQ(sent.size(), 3u);
    EXPECT_EQ(sent[0], "K1ABC###14074.00#Bob#FT8###RSTS   RSTR    ####RSTS #RSTR ##");
    EXPECT_EQ(sent[1], "W1XYZ###7047.00##FT4###RSTS   RSTR    ####RSTS #RSTR ##");  // no name from K1ABC
    EXPECT_EQ(Pos(sent[2], 6), "noMode");  // markers come from its own record only
    EXPECT_EQ(Pos(sent[2], 4), "");
}

TEST_F(PollCycle, FieldsAfterTheLastEndOfRecordAreAContactToo) {
    auto sent = Relay("h<eoh>\n<call:2>K1 <eor>\n<call:2>K2 <band:3>20m\n");
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(Pos(sent[1], 1), "K2");
    EXPECT_EQ(Pos(sent[1], 6), "");  // no end-of-record rules without an end of record
    // A trailing end-of-record tag with nothing after it adds nothing.
    EXPECT_EQ(Relay("h<eoh>\n<call:2>K1 <eor>\n<eor>\n").size(), 2u);
}

TEST_F(PollCycle, ANestedTickIsSkipped) {
    StartLogger();
    platform.WriteFile(view.m_strLogPath, DecoderLog({"<call:5>K1ABC"}));
    // A tick falls due during the first drain, and another while the lines are read.
    platform.Post([&] { view.OnTimer(kPollTimerId); });
    platform.afterRead = [&](const std::string&) { platform.Post([&] { view.OnTimer(kPollTimerId); }); };
    view.OnTimer(kPollTimerId);
    EXPECT_EQ(SentTexts().size(), 1u);
    EXPECT_EQ(platform.CallsNamed("FindClass").size(), 1u);
    EXPECT_TRUE(platform.queue.empty());
}

TEST_F(PollCycle, OnlyOneEmptyLogMessageAtATime) {
    StartLogger();
    platform.WriteFile(view.m_strLogPath, "\r\n");
    int ticksWhileOpen = 0;
    platform.whileMessageShown = [&] {
        // The box's modal loop dispatches timer ticks.
        for (int i = 0; i < 3; ++i, ++ticksWhileOpen)
            view.OnTimer(kPollTimerId);
    };
    view.OnTimer(kPollTimerId);
    EXPECT_EQ(ticksWhileOpen, 3);
    EXPECT_EQ(platform.messages.size(), 1u);
}

TEST_F(PollCycle, ClosingDuringACycleEndsItWithoutDeletingOrSending) {
    for (bool viaQuit : {false, true}) {
        FakePlatform p;
        CQsoferryView v(p);
        v.DeriveLogPaths();
        p.AddWindow("DXbase", "");
        p.WriteFile(v.m_strLogPath, DecoderLog({"<call:2>K1", "<call:2>K2"}));
        p.afterRead = [&](const std::string&) {
            if (viaQuit)
                p.quit = true;
            else
                p.Post([&] { v.OnDestroy(); });
        };
        v.OnTimer(kPollTimerId);
        EXPECT_TRUE(p.sent.empty());
        EXPECT_TRUE(p.CallsNamed("Remove").empty());
        EXPECT_TRUE(p.Exists(v.m_strLogPath + ".qsoferry")) << "the contacts wait for the next start";
        EXPECT_TRUE(v.IsClosing());

        // The next start delivers them.
        FakePlatform& again = p;
        again.quit = false;
        again.afterRead = nullptr;
        CQsoferryView next(again);
        next.DeriveLogPaths();
        next.OnTimer(kPollTimerId);
        ASSERT_EQ(again.sent.size(), 2u);
        EXPECT_EQ(Pos(again.sent[1].bytes, 1), "K2");
    }
}

TEST_F(PollCycle, WithoutALoggerTheLogWaitsAndIsDeliveredOnceItComes) {
    platform.WriteFile(view.m_strLogPath, DecoderLog({"<call:2>K1"}));
    view.OnTimer(kPollTimerId);
    platform.AppendFile(view.m_strLogPath, "<call:2>K2 <eor>\r\n");  // the decoder goes on appending
    view.OnTimer(kPollTimerId);
    EXPECT_TRUE(platform.CallsNamed("Read").empty());
    EXPECT_TRUE(platform.Exists(view.m_strLogPath));
    EXPECT_EQ(platform.CallsNamed("SetImage").size(), 4u);  // lamps on every tick all the same

    StartLogger();
    view.OnTimer(kPollTimerId);
    view.OnTimer(kPollTimerId);
    ASSERT_EQ(SentTexts().size(), 2u);
    EXPECT_EQ(Pos(SentTexts()[0], 1), "K1");
    EXPECT_EQ(Pos(SentTexts()[1], 1), "K2");
    EXPECT_FALSE(platform.Exists(view.m_strLogPath));
}

TEST_F(PollCycle, AContactAppendedWhileTheLogIsReadIsNeitherLostNorSentTwice) {
    StartLogger();
    platform.WriteFile(view.m_strLogPath, DecoderLog({"<call:2>K1"}));
    bool appended = false;
    platform.afterRead = [&](const std::string& path) {
        if (path != ClaimPath() || appended) return;
        platform.AppendFile(view.m_strLogPath, DecoderLog({"<call:2>K2"}));
        appended = true;
    };
    view.OnTimer(kPollTimerId);
    view.OnTimer(kPollTimerId);
    view.OnTimer(kPollTimerId);
    ASSERT_EQ(SentTexts().size(), 2u);
    EXPECT_EQ(Pos(SentTexts()[0], 1), "K1");
    EXPECT_EQ(Pos(SentTexts()[1], 1), "K2");
}

TEST_F(PollCycle, AFileThatCannotBeDeletedIsDeliveredOnlyOnceItGoes) {
    StartLogger();
    platform.WriteFile(view.m_strLogPath, DecoderLog({"<call:2>K1"}));
    platform.FailNext("remove", ClaimPath(), FileStatus::kFailed, 3);
    for (int tick = 0; tick < 3; ++tick)
        view.OnTimer(kPollTimerId);
    EXPECT_TRUE(platform.sent.empty());
    EXPECT_EQ(platform.messages.size(), 1u) << "reported once, not every second";
    EXPECT_NE(platform.messages[0].find(ClaimPath()), std::string::npos);
    EXPECT_NE(platform.messages[0].find("injected remove failure"), std::string::npos);
    view.OnTimer(kPollTimerId);
    view.OnTimer(kPollTimerId);
    EXPECT_EQ(SentTexts().size(), 1u);
}

TEST_F(PollCycle, TheDecoderHoldingTheLogIsRetriedSilently) {
    StartLogger();
    platform.WriteFile(view.m_strLogPath, DecoderLog({"<call:2>K1"}));
    platform.FailNext("move", view.m_strLogPath, FileStatus::kBusy, 4);
    for (int tick = 0; tick < 4; ++tick) view.OnTimer(kPollTimerId);
    EXPECT_TRUE(platform.sent.empty());
    EXPECT_TRUE(platform.messages.empty());
    EXPECT_TRUE(platform.Exists(view.m_strLogPath));
    view.OnTimer(kPollTimerId);
    EXPECT_EQ(SentTexts().size(), 1u);
}

TEST_F(PollCycle, OtherFileErrorsAreReportedOnceUntilTheyClear) {
    StartLogger();
    platform.WriteFile(view.m_strLogPath, DecoderLog({"<call:2>K1"}));
    platform.FailNext("read", ClaimPath(), FileStatus::kFailed, 5);
    for (int tick = 0; tick < 5; ++tick)
        view.OnTimer(kPollTimerId);
    EXPECT_EQ(platform.messages.size(), 1u);
    view.OnTimer(kPollTimerId);
    EXPECT_EQ(SentTexts().size(), 1u);
    // After a success the same error is worth telling again.
    platform.WriteFile(view.m_strLogPath, DecoderLog({"<call:2>K2"}));
    platform.FailNext("read", ClaimPath(), FileStatus::kFailed, 1);
    view.OnTimer(kPollTimerId);
    EXPECT_EQ(platform.messages.size(), 2u);
}

TEST_F(PollCycle, AClaimedFileLeftFromBeforeIsDeliveredFirst) {
    StartLogger();
    platform.WriteFile(ClaimPath(), DecoderLog({"<call:2>K1"}));
    platform.WriteFile(view.m_strLogPath, DecoderLog({"<call:2>K2"}));
    view.OnTimer(kPollTimerId);
    view.OnTimer(kPollTimerId);
    ASSERT_EQ(SentTexts().size(), 2u);
    EXPECT_EQ(Pos(SentTexts()[0], 1), "K1");
    EXPECT_EQ(Pos(SentTexts()[1], 1), "K2");
    EXPECT_FALSE(platform.Exists(ClaimPath()));
}

}  // namespace
}  // namespace qsoferry::test
