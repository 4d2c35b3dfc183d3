// The export record: its fifteen positions, the frequency left out, and the message carrying it.
#include <gtest/gtest.h>

#include "view_fixture.h"

namespace qsoferry::test {
namespace {

class Export : public ViewTest {
protected:
    void FillExample() {
        view.m_strCall = "N0CALL";
        view.m_strRstRcvd = "-12";
        view.m_strRstSent = "-10";
        view.m_strFreq = "14076.00";
        view.m_strName = "Op";
        view.m_strMode = "FT8";
        view.m_strGrid = "fn42";
        view.m_strComment = "hello";
        view.m_strTxPower = "100";
    }
};

TEST_F(Export, TheWorkedExampleWithAndWithoutTheFrequency) {
    StartLogger();
    FillExample();
    view.SendRecord(logger);
    platform.checkState[IDC_NO_FREQ] = 1;
    view.SendRecord(logger);
    ASSERT_EQ(platform.sent.size(), 2u);
    EXPECT_EQ(platform.sent[0].bytes,
              "N0CALL#-12#-10#14076.00#Op#FT8#FN42##RSTS -10  RSTR -12   hello####RSTS -10#RSTR -12#100#");
    EXPECT_EQ(platform.sent[0].bytes.size(), 89u);
    EXPECT_EQ(platform.sent[1].bytes,
              "N0CALL#-12#-10##Op#FT8#FN42##RSTS -10  RSTR -12   hello####RSTS -10#RSTR -12#100#");
    EXPECT_EQ(platform.sent[1].bytes.size(), 81u);
    EXPECT_EQ(platform.sent[0].marker, 10001u);
    EXPECT_EQ(platform.sent[0].target, logger);
    EXPECT_EQ(view.m_strGrid, "FN42");  // upper-cased in place
}

TEST_F(Export, AnEmptyRecordStillHasFifteenPositions) {
    StartLogger();
    view.SendRecord(logger);
    ASSERT_EQ(platform.sent.size(), 1u);
    EXPECT_EQ(platform.sent[0].bytes, "########RSTS   RSTR    ####RSTS #RSTR ##");
    EXPECT_EQ(platform.sent[0].bytes.size(), 40u);
}

TEST_F(Export, TheCheckBoxIsReadAtEveryExport) {
    // A tick between files: the first record carries the frequency, the second does not, and an
    // indeterminate state keeps the flag as it was.
    const int states[] = {0, 1, 2, 0};
    const char* expectedFreq[] = {"14076.00", "", "", "14076.00"};
    StartLogger();
    for (int i = 0; i < 4; ++i) {
        FillExample();
        platform.checkState[IDC_NO_FREQ] = states[i];
        view.SendRecord(logger);
        const std::string& text = platform.sent.back().bytes;
        EXPECT_EQ(std::count(text.begin(), text.end(), '#'), 15) << i;
        EXPECT_EQ(text.substr(15, text.find('#', 15) - 15), expectedFreq[i]) << i;
    }
}

TEST_F(Export, NothingIsSentWithoutALogger) {
    FillExample();
    view.SendRecord(kNoWindow);
    EXPECT_TRUE(platform.CallsNamed("CopyData").empty());
    EXPECT_EQ(view.m_strExportSlots[0], "N0CALL");  // composed all the same
}

TEST_F(Export, ValuesAreNotEscapedAndALongRecordIsCut) {
    StartLogger();
    view.m_strName = "A#B";
    view.SendRecord(logger);
    EXPECT_EQ(platform.sent.back().bytes.substr(0, 8), "####A#B#");

    view.m_strCall = std::string(600, 'K');
    view.SendRecord(logger);
    EXPECT_EQ(platform.sent.back().bytes, std::string(503, 'K'));
    view.m_strCall = std::string(463, 'K');  // 463 + the 40 bytes of an otherwise empty record
    view.m_strName.clear();
    view.SendRecord(logger);
    EXPECT_EQ(platform.sent.back().bytes.size(), 503u);
    EXPECT_EQ(platform.sent.back().bytes.back(), '#');
}

}  // namespace
}  // namespace qsoferry::test
