// The field rules and end-of-record rules, one record at a time, through StoreField and
// FinishRecord as the poll cycle calls them.
#include <gtest/gtest.h>

#include "fake_platform.h"
#include "view/qsoferry_view.h"

namespace qsoferry::test {
namespace {

class FieldRules : public ::testing::Test {
protected:
    FakePlatform platform;
    CQsoferryView view{platform};
};

struct BandCase {
    const char* value;
    const char* code;
};

TEST_F(FieldRules, BandNamesGiveTheirCodesInAnyCase) {
    const BandCase cases[] = {
        {"2m", "0"},     {"6M", "1"},     {"10m", "2"},     {"12m", "3"},   {"15m", "4"},   {"17m", "5"},
        {"20m", "6"},    {"  20M", "6"},  {"30m", "7"},     {"40m", "8"},   {"80m", "9"},   {"160m", "10"},
        {"1.25m", "11"}, {"70cm", "12"},  {"33cm", "13"},   {"23cm", "14"}, {"13cm", "15"}, {"9cm", "16"},
        {"6cm", "17"},   {"3cm", "18"},   {"1.25cm", "19"}, {"6mm", "20"},  {"4mm", "21"},  {"4m", "22"},
        {"60m", "23"},   {"2190m", "99"}, {"20 m", "99"},   {"", "99"},     {"20m ", "99"},
    };
    for (const BandCase& c : cases) {
        view.StoreField("BAND", c.value);
        EXPECT_EQ(view.m_strBand, c.code) << "band '" << c.value << "'";
    }
}

struct FieldCase {
    const char* name;
    const char* before;  // what the member held
    const char* value;
    const char* after;
};

// Each rule on its own member: what it keeps, cuts, upper-cases or ignores.
TEST_F(FieldRules, EachFieldIsStoredByItsRule) {
    const FieldCase cases[] = {
        {"CALL", "", "k1abc/p", "K1ABC/P"},
        {"MODE", "", "ft8", "FT8"},
        {"MODE", "FT8", "", ""},  // an empty mode empties it
        {"MODE", "", "sstv", "SSTV"},
        {"MODE", "", "xsstv-pd", "SSTV"},
        {"MODE", "", "abcdefghijklmno", "ABCDEFGHIJKLMNO"},  // 15 characters pass
        {"MODE", "", "abcdefghijklmnop", "99"},              // 16 do not
        {"SUBMODE", "MFSK", "ft4", "FT4"},
        {"FREQ", "", "14.074000", "14074.00"},
        {"FREQ", "", "50.313", "50313.00"},
        {"FREQ", "", "144.1", "144100.00"},
        {"FREQ", "", "7", "7000.00"},
        {"FREQ", "", "10.1365", "10136.00"},  // cut, never rounded
        {"FREQ", "", "1.2.3", "1200.00"},     // the fraction ends at the next dot
        {"FREQ", "", ".5", "500.00"},
        {"FREQ", "7000.00", "", "7000.00"},  // empty keeps what was there
        {"RST_RCVD", "", "-10", "-10"},
        {"RST_RCVD", "-10", "59+20", "-10"},  // five characters are ignored
        {"RST_RCVD", "-10", "", ""},
        {"RST_SENT", "", "+05", "+05"},
        {"RST_SENT", "+05", "-1234", "+05"},
        {"GRIDSQUARE", "", "fn42hn", "FN42HN"},
        {"GRIDSQUARE", "", "FN42h", "FN42"},
        {"GRIDSQUARE", "", "fn42hn17", "FN42"},
        {"GRIDSQUARE", "", "fn42", "FN42"},
        {"GRIDSQUARE", "JO01", "FN4", "JO01"},
        {"COMMENT", "", "   tnx 73", "tnx 73"},
        {"COMMENT", "old", "", "old"},
        {"NAME", "", "Jo #1 \xe9", "Jo #1 \xe9"},
        {"TX_PWR", "", "1500", "1500"},
        {"TX_PWR", "", "10000", "1000"},
        {"TX_PWR", "", "5", "5"},
    };
    for (const FieldCase& c : cases) {
        std::string CQsoferryView::*member = nullptr;
        const std::string name = c.name;
        if (name == "CALL") member = &CQsoferryView::m_strCall;
        if (name == "MODE" || name == "SUBMODE") member = &CQsoferryView::m_strMode;
        if (name == "FREQ") member = &CQsoferryView::m_strFreq;
        if (name == "RST_RCVD") member = &CQsoferryView::m_strRstRcvd;
        if (name == "RST_SENT") member = &CQsoferryView::m_strRstSent;
        if (name == "GRIDSQUARE") member = &CQsoferryView::m_strGrid;
        if (name == "COMMENT") member = &CQsoferryView::m_strComment;
        if (name == "NAME") member = &CQsoferryView::m_strName;
        if (name == "TX_PWR") member = &CQsoferryView::m_strTxPower;
        ASSERT_NE(member, nullptr) << name;
        view.*member = c.before;
        view.StoreField(c.name, c.value);
        EXPECT_EQ(view.*member, c.after) << c.name << " '" << c.value << "' over '" << c.before << "'";
    }
}

TEST_F(FieldRules, CommentKeepsFiftyCharactersAfterLeadingBlanks) {
    view.StoreField("COMMENT", "  " + std::string(60, 'c'));
    EXPECT_EQ(view.m_strComment, std::string(50, 'c'));
}

TEST_F(FieldRules, NamesMatchExactlyAndUnknownOnesChangeNothing) {
    view.StoreField("call", "k1abc");  // names arrive upper-cased; a lower-case one is not CALL
    view.StoreField("QSO_DATE", "20261207");
    view.StoreField("STATION_CALLSIGN", "N0CALL");
    view.StoreField("", "");
    QsoSnapshot r = view.TakeRecord();
    EXPECT_EQ(r.call + r.freq + r.band + r.mode + r.rstRcvd + r.rstSent + r.comment + r.grid + r.name + r.txPower,
              "");
}

TEST_F(FieldRules, TheLaterOfModeAndSubmodeWins) {
    view.StoreField("MODE", "FT8");
    view.StoreField("SUBMODE", "FT4");
    EXPECT_EQ(view.m_strMode, "FT4");
    view.StoreField("SUBMODE", "FT4");
    view.StoreField("MODE", "MFSK");
    EXPECT_EQ(view.m_strMode, "MFSK");
}

struct EndCase {
    const char* call;
    const char* band;
    const char* mode;
    const char* bandAfter;
    const char* modeAfter;
};

TEST_F(FieldRules, EndOfRecordRulesSettleBandAndMode) {
    const EndCase cases[] = {
        {"K1ABC", "8", "89", "8", "1"},  // lower sideband on 40 m
        {"K1ABC", "9", "89", "9", "1"},
        {"K1ABC", "10", "89", "10", "1"},
        {"K1ABC", "6", "89", "6", "0"},  // upper elsewhere
        {"K1ABC", "", "89", "noBand", "0"},
        {"K1ABC", "99", "89", "", "89"},  // unknown band: emptied, nothing else
        {"K1ABC", "6", "99", "6", ""},    // over-long mode: emptied, no "noMode"
        {"K1ABC", "", "", "noBand", ""},  // no band: the mode is not looked at
        {"K1ABC", "6", "", "6", "noMode"},
        {"K1ABC", "noBand", "", "noBand", "noMode"},
        {"K", "", "", "", ""},  // a call of one character is not complete
        {"", "6", "", "6", ""},
        {"K1ABC", "6", "FT8", "6", "FT8"},
    };
    for (const EndCase& c : cases) {
        view.m_strCall = c.call;
        view.m_strBand = c.band;
        view.m_strMode = c.mode;
        view.FinishRecord();
        EXPECT_EQ(view.m_strBand, c.bandAfter) << c.call << "/" << c.band << "/" << c.mode;
        EXPECT_EQ(view.m_strMode, c.modeAfter) << c.call << "/" << c.band << "/" << c.mode;
    }
}

TEST_F(FieldRules, ResetEmptiesAllTenFields) {
    for (std::string* member :
         {&view.m_strCall, &view.m_strFreq, &view.m_strBand, &view.m_strMode, &view.m_strRstRcvd, &view.m_strRstSent,
          &view.m_strComment, &view.m_strGrid, &view.m_strName, &view.m_strTxPower}) {
        *member = "x";
    }
    view.ResetRecord();
    QsoSnapshot r = view.TakeRecord();
    EXPECT_EQ(r.call + r.freq + r.band + r.mode + r.rstRcvd + r.rstSent + r.comment + r.grid + r.name + r.txPower, "");
}

}  // namespace
}  // namespace qsoferry::test
