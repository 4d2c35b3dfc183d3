// The QSO record's field rules and end-of-record rules, one record at a time, as the reader
// applies them.
#include <gtest/gtest.h>

#include "relay/qso_record.h"

namespace qsoferry {

// A field's text in a failure message.
void PrintTo(const FieldText& text, std::ostream* out) {
    *out << '"' << std::string_view(text) << '"';
}

namespace {

class FieldRules : public ::testing::Test {
protected:
    QsoRecord record;
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
        record.StoreField("BAND", c.value);
        EXPECT_EQ(record.band, c.code) << "band '" << c.value << "'";
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
        FieldText QsoRecord::*member = nullptr;
        const std::string name = c.name;
        if (name == "CALL") member = &QsoRecord::call;
        if (name == "MODE" || name == "SUBMODE") member = &QsoRecord::mode;
        if (name == "FREQ") member = &QsoRecord::freq;
        if (name == "RST_RCVD") member = &QsoRecord::rstRcvd;
        if (name == "RST_SENT") member = &QsoRecord::rstSent;
        if (name == "GRIDSQUARE") member = &QsoRecord::grid;
        if (name == "COMMENT") member = &QsoRecord::comment;
        if (name == "NAME") member = &QsoRecord::name;
        if (name == "TX_PWR") member = &QsoRecord::txPower;
        ASSERT_NE(member, nullptr) << name;
        record.*member = c.before;
        record.StoreField(c.name, c.value);
        EXPECT_EQ(record.*member, c.after) << c.name << " '" << c.value << "' over '" << c.before << "'";
    }
}

TEST_F(FieldRules, CommentKeepsFiftyCharactersAfterLeadingBlanks) {
    record.StoreField("COMMENT", "  " + std::string(60, 'c'));
    EXPECT_EQ(record.comment, std::string(50, 'c'));
}

TEST_F(FieldRules, NamesMatchExactlyAndUnknownOnesChangeNothing) {
    record.StoreField("call", "k1abc");  // names arrive upper-cased; a lower-case one is not CALL
    record.StoreField("QSO_DATE", "20261207");
    record.StoreField("STATION_CALLSIGN", "N0CALL");
    record.StoreField("", "");
    EXPECT_TRUE(record.IsEmpty());
}

TEST_F(FieldRules, TheLaterOfModeAndSubmodeWins) {
    record.StoreField("MODE", "FT8");
    record.StoreField("SUBMODE", "FT4");
    EXPECT_EQ(record.mode, "FT4");
    record.StoreField("SUBMODE", "FT4");
    record.StoreField("MODE", "MFSK");
    EXPECT_EQ(record.mode, "MFSK");
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
        record.call = c.call;
        record.band = c.band;
        record.mode = c.mode;
        record.Finish();
        EXPECT_EQ(record.band, c.bandAfter) << c.call << "/" << c.band << "/" << c.mode;
        EXPECT_EQ(record.mode, c.modeAfter) << c.call << "/" << c.band << "/" << c.mode;
    }
}

TEST_F(FieldRules, ResetEmptiesAllTenFields) {
    for (FieldText* member :
         {&record.call, &record.freq, &record.band, &record.mode, &record.rstRcvd, &record.rstSent,
          &record.comment, &record.grid, &record.name, &record.txPower}) {
        *member = "x";
    }
    record.Reset();
    EXPECT_TRUE(record.IsEmpty());
}

}  // namespace
}  // namespace qsoferry
