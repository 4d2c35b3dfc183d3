// Files operators really send with File, Send a Log (LoTW's and eQSL's reports, other loggers'
// exports): relayed, then listed in Relayed Contacts with the right cells, then all sent again,
// and what DXbase gets the second time is what it got the first, byte for byte. A copy as the
// version before wrote it, and the waiting count of a new log the size of the one before.
#include <gtest/gtest.h>

#include "view_fixture.h"

namespace qsoferry::test {
namespace {

const std::string kLocal = kLocalAppData;
const std::string kChosen = "C:\\Users\\oper\\Documents\\export.adi";
const std::string kOnPurposeCopy = kLocal + "\\Qsoferry\\Sending\\" + kCopyFileName;

// LoTW's report as it comes: a header of several lines ended by a lower-case <eoh>, one field a
// line, "// ..." after some values, a blank line after each record.
std::string Lotw(const std::string& eol) {
    std::string report = "ARRL Logbook of the World Status Report" + eol + "Generated at 2026-12-08 09:00:00" + eol +
                         "for k1abc" + eol + "Query:" + eol + "    QSL ONLY: YES" + eol +
                         "QSL RX SINCE: 2026-12-01 00:00:00 (user supplied value)" + eol + eol + "<PROGRAMID:4>LoTW" +
                         eol + eol + "<APP_LoTW_LASTQSL:19>2026-12-08 08:00:00" + eol + eol + "<APP_LoTW_NUMREC:1>2" +
                         eol + eol + "<eoh>" + eol;
    const char* const contacts[][5] = {{"DL1AB", "20M", "14.07600", "20261207", "101500"},
                                       {"JA1XYZ", "40M", "7.07400", "20261207", "213000"}};
    for (const auto& c : contacts) {
        report += eol + "<APP_LoTW_OWNCALL:5>K1ABC" + eol + "<STATION_CALLSIGN:5>K1ABC" + eol +
                  "<CALL:" + std::to_string(std::string(c[0]).size()) + ">" + c[0] + eol + "<BAND:3>" + c[1] + eol +
                  "<FREQ:" + std::to_string(std::string(c[2]).size()) + ">" + c[2] + eol + "<MODE:3>FT8" + eol +
                  "<APP_LoTW_MODEGROUP:4>DATA" + eol + "<QSO_DATE:8>" + c[3] + eol +
                  "<APP_LoTW_RXQSO:19>2026-12-07 22:00:00 // QSO record inserted/modified at LoTW" + eol +
                  "<TIME_ON:6>" + c[4] + eol +
                  "<APP_LoTW_QSO_TIMESTAMP:20>2026-12-07T10:15:00Z // QSO Date & Time; ISO-8601" + eol +
                  "<QSL_RCVD:1>Y" + eol + "<QSLRDATE:8>20261208" + eol +
                  "<APP_LoTW_RXQSL:19>2026-12-08 08:00:00 // QSL record matched/modified at LoTW" + eol + "<eor>" + eol;
    }
    return report;
}

const std::vector<std::vector<std::string>> kLotwRows = {
    {"2026-12-07 21:30", "JA1XYZ", "40m", "FT8", "7074.00"},
    {"2026-12-07 10:15", "DL1AB", "20m", "FT8", "14076.00"},
};

// A comment of several lines, its line breaks counted in its length.
const std::string kMultiLineComment =
    "<CALL:5>G4CCC\r\n<QSO_DATE:8>20261206\r\n<TIME_ON:4>0800\r\n<BAND:3>80m\r\n<MODE:3>FT8\r\n"
    "<COMMENT:25>Rig: IC-7300\r\nAnt: dipole\r\n<EOR>\r\n";

struct Export {
    std::string name, bytes;
    std::vector<std::vector<std::string>> rows;  // time, call, band, mode, kHz, newest first
};

const Export kExports[] = {
    {"LoTW, line feeds", Lotw("\n"), kLotwRows},
    {"LoTW, CR LF", Lotw("\r\n"), kLotwRows},
    {"eQSL's inbox, a UTF-8 BOM, blank lines between records",
     "\xEF\xBB\xBF"
     "ADIF 3 Export from eQSL.cc\r\nReceived eQSLs for K1ABC\r\n<PROGRAMID:21>eQSL.cc DownloadInBox\r\n"
     "<ADIF_Ver:5>3.1.0\r\n<EOH>\r\n\r\n"
     "<CALL:5>OH2XX<QSO_DATE:8>20261205<TIME_ON:4>1200<BAND:3>20M<MODE:3>FT8<RST_SENT:3>-10"
     "<QSLMSG:19>TNX For QSO TU 73!.<GRIDSQUARE:6>KP20LE<EOR>\r\n\r\n\r\n"
     "<CALL:4>W9XY<QSO_DATE:8>20261205<TIME_ON:4>1300<BAND:3>17M<MODE:4>MFSK<SUBMODE:3>FT4<EOR>\r\n",
     {{"2026-12-05 13:00", "W9XY", "17m", "FT4", ""}, {"2026-12-05 12:00", "OH2XX", "20m", "FT8", ""}}},
    {"a comment of several lines",
     "Log export\r\n<eoh>\r\n" + kMultiLineComment,
     {{"2026-12-06 08:00", "G4CCC", "80m", "FT8", ""}}},
};

std::vector<std::vector<std::string>> Rows(const RelayedList& list) {
    std::vector<std::vector<std::string>> rows;
    for (size_t row = 0; row < list.Shown(); ++row) {
        rows.emplace_back();
        for (RelayedColumn column : {RelayedColumn::kTime, RelayedColumn::kCall, RelayedColumn::kBand,
                                     RelayedColumn::kMode, RelayedColumn::kFreq})
            rows.back().push_back(list.Text(row, column));
    }
    return rows;
}

std::vector<std::string> Bytes(const std::vector<SentCopyData>& sent) {
    std::vector<std::string> bytes;
    for (const SentCopyData& s : sent)
        bytes.push_back(s.bytes);
    return bytes;
}

struct Station : SendingStation {
    // Ticks until DXbase has had nothing new for a few.
    std::vector<std::string> Relayed() {
        platform.sent.clear();
        for (int quiet = 0; quiet < 3; ++quiet) {
            const size_t before = platform.sent.size();
            TickAndRun(platform, view);
            if (platform.sent.size() != before) quiet = 0;
        }
        return Bytes(platform.sent);
    }
    // Relayed Contacts: every row sent again, as the operator does it.
    std::vector<std::string> SentAgain(RelayedList& list) {
        std::vector<size_t> rows(list.Shown());
        for (size_t row = 0; row < rows.size(); ++row)
            rows[row] = row;
        std::string why;
        std::optional<std::string> records = list.Records(rows, why);
        EXPECT_TRUE(records) << why;
        view.OnSendAgain(records.value_or(""), rows.size());
        return Relayed();
    }
};

TEST(RealExports, SentListedAndSentAgainByteForByte) {
    for (const Export& e : kExports) {
        Station station;
        station.platform.WriteFile(kChosen, e.bytes);
        station.platform.chosenFile = kChosen;
        station.view.OnSendLog();
        const std::vector<std::string> first = station.Relayed();
        ASSERT_EQ(first.size(), e.rows.size()) << e.name;

        RelayedList list(station.platform);
        list.Refresh(station.view.CopySources());
        EXPECT_EQ(Rows(list), e.rows) << e.name;
        EXPECT_EQ(list.CountText(), std::to_string(e.rows.size()) + (e.rows.size() == 1 ? " contact" : " contacts"))
            << e.name;
        EXPECT_EQ(station.SentAgain(list), first) << e.name;
    }
}

// A copy as the version before wrote it, records of several lines among one-line ones, padding
// after them: each goes again as it went the first time.
TEST(RealExports, ACopyTheVersionBeforeWroteSendsAgainAsTheLogDid) {
    const std::string lotw = Lotw("\r\n");
    const std::string records = lotw.substr(lotw.find("<APP_LoTW_OWNCALL"));
    Station before;
    before.platform.WriteFile(kChosen, "<eoh>\r\n" + records + kMultiLineComment);
    before.platform.chosenFile = kChosen;
    before.view.OnSendLog();
    const std::vector<std::string> first = before.Relayed();
    ASSERT_EQ(first.size(), 3u);

    // As it copied them: from the first tag to the end tag, a line end, padding to 512 bytes.
    std::string copy = std::string(kCopyHeader) + CopyPadding(sizeof kCopyHeader - 1);
    size_t from = 0;
    for (size_t end; (end = records.find("<eor>", from)) != std::string::npos; from = records.find('<', end + 5))
        copy += records.substr(from, end + 5 - from) + "\r\n";
    copy += CopyPadding(copy.size()) + kMultiLineComment;
    Station station;
    station.platform.WriteFile(kJtdxFolder + kCopyFileName, copy);
    RelayedList list(station.platform);
    list.Refresh(station.view.CopySources());
    ASSERT_EQ(list.Total(), 3u) << list.CountText();
    EXPECT_EQ(list.SkippedLines(), 0u);
    list.SortBy(RelayedColumn::kCall);
    EXPECT_EQ(Rows(list)[0], (std::vector<std::string>{"2026-12-07 10:15", "DL1AB", "20m", "FT8", "14076.00"}));
    // Sent again oldest first: the comment's contact, then LoTW's two.
    EXPECT_EQ(station.SentAgain(list), (std::vector<std::string>{first[2], first[0], first[1]}));
}

// The decoder starts a new log the size of the one counted before: its own contacts are counted.
TEST_F(ViewTest, TheWaitingCountFollowsANewLogOfTheSameSize) {
    const std::string three = DecoderLog({"<call:2>K1", "<call:2>K2", "<call:2>K3"});
    const std::string one = DecoderLog({"<call:4>W1AW"});
    const std::string padded = one.substr(0, one.find(" <eor>")) + std::string(three.size() - one.size(), ' ') +
                               one.substr(one.find(" <eor>"));
    ASSERT_EQ(padded.size(), three.size());
    for (const auto& [log, shown] : {std::pair{padded, "1 contact waits for DXbase to start"},
                                     std::pair{three, "3 contacts wait for DXbase to start"},
                                     std::pair{padded, "1 contact waits for DXbase to start"}}) {
        platform.WriteFile(view.LogPath(), log);
        Tick();
        EXPECT_EQ(platform.controlText[IDC_STATUS], shown);
    }
}

}  // namespace
}  // namespace qsoferry::test
