// The export record: its fifteen positions, the frequency left out, the cut at the logger's
// buffer, and the message that carries it.
#include "relay/export_record.h"

#include "relay/contact_key.h"
#include "relay/log_reader.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "view_fixture.h"

namespace qsoferry::test {
namespace {

QsoRecord Example() {
    QsoRecord r;
    r.call = "N0CALL";
    r.rstRcvd = "-12";
    r.rstSent = "-10";
    r.freq = "14076.00";
    r.name = "Op";
    r.mode = "FT8";
    r.grid = "fn42";
    r.comment = "hello";
    r.txPower = "100";
    return r;
}

TEST(Export, TheRecordTextInEveryShape) {
    QsoRecord withHash;
    withHash.name = "A#B";
    QsoRecord tooLong;
    tooLong.call = std::string(600, 'K');
    QsoRecord justFits;
    justFits.call = std::string(463, 'K');  // 463 + the 40 bytes of an otherwise empty record
    const struct {
        const char* what;
        QsoRecord record;
        bool noFreq;
        std::string text;
    } cases[] = {
        {"the worked example", Example(), false,
         "N0CALL#-12#-10#14076.00#Op#FT8#FN42##RSTS -10  RSTR -12   hello####RSTS -10#RSTR -12#100#"},
        {"without the frequency", Example(), true,
         "N0CALL#-12#-10##Op#FT8#FN42##RSTS -10  RSTR -12   hello####RSTS -10#RSTR -12#100#"},
        {"an empty record keeps fifteen positions", QsoRecord(), false, "########RSTS   RSTR    ####RSTS #RSTR ##"},
        {"values are not escaped", withHash, false, "####A#B####RSTS   RSTR    ####RSTS #RSTR ##"},
        {"cut at the logger's buffer", tooLong, false, std::string(503, 'K')},
        {"one that just fits", justFits, false, std::string(463, 'K') + "########RSTS   RSTR    ####RSTS #RSTR ##"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ComposeExport(c.record, c.noFreq), c.text) << c.what;
    EXPECT_EQ(ComposeExport(Example(), false).size(), 89u);
    EXPECT_EQ(ComposeExport(Example(), true).size(), 81u);
}

using ExportMessage = ViewTest;

TEST_F(ExportMessage, FollowsTheCheckBoxAtEveryExportAndCarriesTheMarker) {
    // The box changes between files: the first record carries the frequency, the second does not,
    // and an indeterminate state keeps the flag as it was.
    const int states[] = {0, 1, 2, 0};
    const char* expectedFreq[] = {"14074.00", "", "", "14074.00"};
    for (int i = 0; i < 4; ++i) {
        platform.checkState[IDC_NO_FREQ] = states[i];
        Relay(DecoderLog({"<call:2>K1 <freq:6>14.074"}));
        ASSERT_EQ(platform.sent.size(), 1u) << i;
        const std::string& text = platform.sent[0].bytes;
        EXPECT_EQ(std::count(text.begin(), text.end(), '#'), 15) << i;
        EXPECT_EQ(text.substr(5, text.find('#', 5) - 5), expectedFreq[i]) << i;  // K1, two empty reports
        EXPECT_EQ(platform.sent[0].marker, 10001u);
        EXPECT_EQ(platform.sent[0].target, logger);
    }
}

}  // namespace
}  // namespace qsoferry::test

namespace qsoferry::test {
namespace {

// A record's tags as a log gives them, read as the reader reads them: with the end-of-record rules
// when it ends with the end-of-record tag, without when it does not.
std::uint64_t KeyOf(const std::string& tags) {
    QsoRecord record;
    bool ended = false;
    for (size_t at = tags.find('<'); at != std::string::npos;) {
        const size_t next = tags.find('<', at + 1);
        const std::string_view piece =
            std::string_view(tags).substr(at + 1, next == std::string::npos ? next : next - at - 1);
        ended = ParsePiece(piece, record) == PieceKind::kEndOfRecord;
        at = next;
    }
    if (ended) record.Finish();
    return ContactKeyOf(record);
}

// The same contact as loggers mean it, in the shapes other programs' exports give it.
TEST(ContactKey, TheSameContactWhateverItsSpelling) {
    const std::string base = "<call:5>K1ABC <qso_date:8>20261207 <time_on:6>101500 <band:3>20m <mode:3>FT8 <eor>";
    const struct {
        const char* what;
        std::string a, b;
        bool same;
    } cases[] = {
        {"itself", base, base, true},
        {"call and band in any case, another report, a name, a comment", base,
         "<CALL:5>k1abc <QSO_DATE:8>20261207 <TIME_ON:6>101500 <BAND:3>20M <MODE:3>ft8 <RST_SENT:3>-10 "
         "<NAME:3>Bob <COMMENT:2>hi <eor>",
         true},
        {"LoTW's notes after the values", base,
         "<CALL:5>K1ABC\r\n<BAND:3>20M\r\n<MODE:3>FT8\r\n<QSO_DATE:8>20261207 // QSO Date\r\n"
         "<TIME_ON:6>101500 // QSO Start Time\r\n<eor>",
         true},
        {"seconds, and a time given to the minute", base,
         "<call:5>K1ABC <qso_date:8>20261207 <time_on:4>1015 <band:3>20m <mode:3>FT8 <eor>", true},
        {"the next minute", base, "<call:5>K1ABC <qso_date:8>20261207 <time_on:6>101600 <band:3>20m <mode:3>FT8 <eor>",
         false},
        {"another day", base, "<call:5>K1ABC <qso_date:8>20261208 <time_on:6>101500 <band:3>20m <mode:3>FT8 <eor>",
         false},
        {"the band given only as a frequency", base,
         "<call:5>K1ABC <qso_date:8>20261207 <time_on:6>101559 <freq:9>14.074000 <mode:3>FT8 <eor>", true},
        {"a frequency on another band", base,
         "<call:5>K1ABC <qso_date:8>20261207 <time_on:6>101500 <freq:8>7.074000 <mode:3>FT8 <eor>", false},
        {"another band", base, "<call:5>K1ABC <qso_date:8>20261207 <time_on:6>101500 <band:3>40m <mode:3>FT8 <eor>",
         false},
        {"a submode, as the export sends it",
         "<call:5>K1ABC <qso_date:8>20261207 <time_on:6>101500 <band:3>20m <mode:4>MFSK <submode:3>FT4 <eor>",
         "<call:5>K1ABC <qso_date:8>20261207 <time_on:6>101500 <band:3>20m <mode:3>FT4 <eor>", true},
        {"another submode",
         "<call:5>K1ABC <qso_date:8>20261207 <time_on:6>101500 <band:3>20m <mode:4>MFSK <submode:3>FT4 <eor>",
         "<call:5>K1ABC <qso_date:8>20261207 <time_on:6>101500 <band:3>20m <mode:4>MFSK <submode:4>JS8 <eor>", false},
        {"another call", base, "<call:5>K1ABD <qso_date:8>20261207 <time_on:6>101500 <band:3>20m <mode:3>FT8 <eor>",
         false},
        {"60 m by its frequency, without the end-of-record tag",
         "<call:5>K1ABC <qso_date:8>20261207 <time_on:6>101500 <band:3>60m <mode:3>FT8 <eor>",
         "<call:5>K1ABC <qso_date:8>20261207 <time_on:6>101500 <freq:5>5.357 <mode:3>FT8", true},
        {"no mode, with the end-of-record rules and without",
         "<call:5>K1ABC <qso_date:8>20261207 <time_on:4>1015 <band:3>20m <eor>",
         "<call:5>K1ABC <qso_date:8>20261207 <time_on:4>1015 <band:3>20m", true},
        {"a call in another alphabet", "<call:6>Ж1АБВ <qso_date:8>20261207 <time_on:4>1015 <eor>",
         "<call:6>Ж1АБВ <qso_date:8>20261207 <time_on:4>1015 <eor>", true},
    };
    for (const auto& c : cases) {
        const std::uint64_t a = KeyOf(c.a), b = KeyOf(c.b);
        EXPECT_NE(a, kNoContactKey) << c.what;
        EXPECT_EQ(a == b, c.same) << c.what;
    }
    // Never the same as another: without a call, a date or a time, or with a date or a time no
    // logger reads.
    for (const std::string& none : {std::string("<qso_date:8>20261207 <time_on:6>101500 <band:3>20m <mode:3>FT8 <eor>"),
                                    std::string("<call:5>K1ABC <time_on:6>101500 <band:3>20m <mode:3>FT8 <eor>"),
                                    std::string("<call:5>K1ABC <qso_date:8>20261207 <band:3>20m <mode:3>FT8 <eor>"),
                                    std::string("<call:5>K1ABC <qso_date:10>2026-12-07 <time_on:6>101500 <eor>"),
                                    std::string("<call:5>K1ABC <qso_date:8>20261207 <time_on:5>10:15 <eor>"),
                                    std::string("<call:5>K1ABC <qso_date:8>20261207 <time_on:3>101 <eor>"),
                                    std::string("<call:5>K1ABC <qso_date:8>20261207 <time_on:5>10150 <eor>"),
                                    std::string("<call:5>K1ABC <qso_date:9>20261207X <time_on:4>1015 <eor>"),
                                    std::string("<call:1>  <qso_date:8>20261207 <time_on:4>1015 <eor>")}) {
        EXPECT_EQ(KeyOf(none), kNoContactKey) << none;
    }
    ContactIndex index;
    index.Add(KeyOf(base));
    index.Add(kNoContactKey);
    index.Settle();
    index.Add(KeyOf(cases[1].b));
    index.Add(KeyOf(cases[4].b));  // the next minute
    index.Settle();
    EXPECT_EQ(index.Count(KeyOf(base)), 2u);
    EXPECT_EQ(index.Count(KeyOf(cases[4].b)), 1u);
    EXPECT_EQ(index.Count(KeyOf(cases[5].b)), 0u);  // another day
    EXPECT_EQ(index.Count(kNoContactKey), 0u);
}

// The bands' edges, as a frequency in kHz the record keeps.
TEST(ContactKey, BandOfFrequency) {
    const std::pair<const char*, const char*> cases[] = {
        {"1800.00", "10"}, {"2000.00", "10"}, {"2001.00", ""},    {"14074.00", "6"},      {"14350.00", "6"},
        {"14351.00", ""},  {"5357.00", "23"}, {"144174.00", "0"}, {"50313.00", "1"},      {"10368100.00", "18"},
        {"", ""},          {"abc.00", ""},    {"1407:.00", ""},   {"999999999999.00", ""}};
    for (const auto& [khz, code] : cases)
        EXPECT_EQ(BandCodeOfKhz(khz), code) << khz;
}

}  // namespace
}  // namespace qsoferry::test
