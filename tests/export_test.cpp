// The export record: its fifteen positions, the frequency left out, the cut at the logger's
// buffer, and the message that carries it.
#include "relay/export_record.h"

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
