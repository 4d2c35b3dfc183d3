// The streaming log reader against the relay library alone: how a log is framed into lines,
// header, pieces and contacts, that chunk boundaries never change what comes out, and that a
// reader resumed after any contact gives exactly the contacts after it.
#include <gtest/gtest.h>

#include <random>

#include "read_log.h"

namespace qsoferry {
namespace {

using Read = test::ReadResult;
using test::ReadLog;

std::vector<std::string> Calls(const Read& read) {
    std::vector<std::string> calls;
    for (const std::string& r : read.records)
        calls.push_back(r.substr(0, r.find('#')));
    return calls;
}

// Position n (1-based) of an export record.
std::string Pos(const std::string& record, int n) {
    size_t start = 0;
    for (int i = 1; i < n; ++i)
        start = record.find('#', start) + 1;
    return record.substr(start, record.find('#', start) - start);
}

std::string DecoderLog(const std::vector<std::string>& records) {
    std::string log = "WSJT-X ADIF Export<eoh>\r\n";
    for (const std::string& record : records)
        log += record + " <eor>\r\n";
    return log;
}

struct FramingCase {
    const char* what;
    std::string log;
    std::vector<std::string> calls;  // position 1 of each contact; {""} is one empty contact
};

TEST(LogReader, HeaderLinesAndPieces) {
    const FramingCase cases[] = {
        {"decoder's own form", DecoderLog({"<call:6>n0call <gridsquare:4>FN42"}), {"N0CALL"}},
        {"header and record, LF only", "ADIF Export<eoh>\n<call:6>N0CALL <eor>", {"N0CALL"}},
        {"several header lines, end on its own line",
         "Made by hand\n<adif_ver:5>3.1.0\n<programid:4>JTDX\n<EOH>\n<call:5>K1ABC <eor>\n",
         {"K1ABC"}},
        {"empty lines before the header", "\r\n\r\nADIF<eoh>\r\n<call:5>K1ABC <eor>\r\n", {"K1ABC"}},
        {"mixed-case header end is not one", "ADIF<Eoh>\n<call:5>K1ABC <eor>\n", {""}},
        {"a first line beginning with < is the header", "<call:5>K1ABC <eor>\n", {""}},
        {"...and only that line", "<adif_ver:5>3.1.0\n<call:5>K1ABC <eor>\n", {"K1ABC"}},
        {"tags after the header end are not read", "X<eoh><call:6>N0CALL <eor>\n", {""}},
        {"a line of blanks is a header without end", "   \n", {""}},
        {"a lone carriage return is text, so a header", "\r", {""}},
        {"no header end at all", "ADIF Export\n<call:5>K1ABC <eor>\n", {""}},
        {"record over three lines", "h<eoh>\n<call:5>K1ABC\n<band:3>20m <mode:3>FT8\n<eor>\n", {"K1ABC"}},
        {"declared length not used", "h<eoh>\n<CALL:3>N0CALL <eor>\n", {"N0CALL"}},
        {"blanks around tags", "h<eoh>\n \t <call:5>K1ABC   <eor>  \n", {"K1ABC"}},
        {"text before the first <", "h<eoh>\nabc <call:5>K1ABC <eor>\n", {"K1ABC"}},
        {"<eor>x is not an end of record", "h<eoh>\n<call:5>K1ABC <eor>x <name:2>Jo\n", {"K1ABC"}},
        {"a star on a line drops it and the rest", "h<eoh>\n<call:5>K1ABC\n<comment:3>a*b <eor>\n<eor>\n", {"K1ABC"}},
        {"a star on the first data line", "h<eoh>\n<call:5>K1ABC <comment:1>* <eor>\n", {""}},
        {"Ctrl-Z ends the file", "h<eoh>\n<call:5>K1ABC <eor>\n\x1a<call:5>W1XYZ <eor>\n", {"K1ABC"}},
        {"end-of-record tags in any case",
         "h<eoh>\n<call:2>K1 <eor><call:2>K2 <EOR>\n<call:2>K3 <EoR >x\n<call:2>K4 <eOr>\n",
         {"K1", "K2", "K4"}},  // "<EoR >x" is a field, not an end
        {"fields after the last end of record", "h<eoh>\n<call:2>K1 <eor>\n<call:2>K2 <band:3>20m\n", {"K1", "K2"}},
        {"...a power alone among them", "h<eoh>\n<call:2>K1 <eor>\n<tx_pwr:3>100\n", {"K1", ""}},
        {"an end of record on an empty record gives an empty contact", "h<eoh>\n<call:2>K1 <eor>\n<eor>\n", {"K1", ""}},
        {"a long line", "h<eoh>\n<comment:1>" + std::string(200000, 'x') + "<call:2>K1 <eor>\n", {"K1"}},
    };
    for (const FramingCase& c : cases) {
        Read read = ReadLog(c.log);
        EXPECT_EQ(Calls(read), c.calls) << c.what;
        EXPECT_FALSE(read.empty) << c.what;
    }
}

TEST(LogReader, AFileOfLineEndsOnlyIsEmpty) {
    for (const std::string& log : {std::string(), std::string("\r\n\r\n\n"), std::string("\n\x1a<call:2>K1 <eor>")}) {
        Read read = ReadLog(log);
        EXPECT_TRUE(read.empty) << log;
        EXPECT_TRUE(read.records.empty()) << log;
    }
}

TEST(LogReader, PiecesSplitAtEveryAngleBracket) {
    Read read = ReadLog("h<eoh>\n<call:5>K1ABC <name:3> Jo  <QSO_DATE:8:D>20261207 <comment:5>a<b>c <eor>\n");
    ASSERT_EQ(read.records.size(), 1u);
    EXPECT_EQ(Pos(read.records[0], 5), " Jo");               // a blank after ">" stays, trailing ones go
    EXPECT_EQ(Pos(read.records[0], 9), "RSTS   RSTR    a");  // the comment ends at the next "<"
}

TEST(LogReader, EveryContactStartsFromAnEmptyRecord) {
    Read read = ReadLog(DecoderLog({
        "<call:5>K1ABC <name:3>Bob <band:3>20m <mode:3>FT8 <freq:9>14.074000",
        "<call:5>W1XYZ <band:3>40m <mode:4>MFSK <submode:3>FT4 <freq:8>7.047500",
        "<call:5>G4ABC <band:3>20m",
    }));
    ASSERT_EQ(read.records.size(), 3u);
    EXPECT_EQ(read.records[0], "K1ABC###14074.00#Bob#FT8###RSTS   RSTR    ####RSTS #RSTR ##");
    EXPECT_EQ(read.records[1], "W1XYZ###7047.00##FT4###RSTS   RSTR    ####RSTS #RSTR ##");  // no name from K1ABC
    EXPECT_EQ(Pos(read.records[2], 6), "noMode");  // markers come from its own record only
    // No end-of-record rules without an end of record.
    EXPECT_EQ(Pos(ReadLog("h<eoh>\n<call:2>K2 <band:3>20m\n").records.at(0), 6), "");
}

// Seeded random logs made of the pieces that matter at a boundary: CR, LF, CRLF, "<", ">", ":",
// "*", Ctrl-Z, blanks, end-of-record tags, header ends, and lines longer than a chunk.
std::string RandomLog(std::mt19937& rng) {
    static const char* const kBits[] = {
        "\r\n",
        "\n",
        "\r",
        "<",
        ">",
        ":",
        " ",
        "\t",
        "<eor>",
        "<EOR>",
        "<eoh>",
        "<EOH>",
        "*",
        "\x1a",
        "<call:5>K1ABC ",
        "<band:3>20m ",
        "<mode:3>ft8 ",
        "<submode:3>FT4",
        "<freq:9>14.074000 ",
        "<name:2>Jo",
        "<comment:5>hello",
        "<gridsquare:6>fn42hn",
        "<rst_sent:3>-10",
        "<tx_pwr:4>1500",
        "x",
        "<call:2>W1 <eor>\r\n",
    };
    std::string log = (rng() % 4 == 0) ? "" : "WSJT-X ADIF Export<eoh>\r\n";
    size_t parts = rng() % 120;
    for (size_t i = 0; i < parts; ++i) {
        size_t pick = rng() % (sizeof kBits / sizeof *kBits);
        // Ctrl-Z and "*" end so much that they come rarely; sometimes a long run of one byte,
        // which makes a value, a name, a declared length or blanks longer than any rule reads.
        if ((pick == 12 || pick == 13) && rng() % 6 != 0) continue;
        log += kBits[pick];
        if (rng() % 30 == 0) log += std::string(rng() % 1400, "z. \t:>"[rng() % 6]);
    }
    return log;
}

// Neither where the chunks end nor how little the reader may hold changes a byte: a reader with
// a small buffer reads most lines as long ones, and must give what one holding them whole gives.
TEST(LogReader, ChunkBoundariesAndBufferSizeNeverChangeAByte) {
    std::mt19937 rng(20261207);
    for (int round = 0; round < 150; ++round) {
        const std::string log = RandomLog(rng);
        const Read whole = ReadLog(log);
        for (size_t chunk = 1; chunk <= 300; chunk += (chunk < 20 ? 1 : 7)) {
            const size_t buffer = chunk % 3 == 0 ? LogReader::kChunkSize : LogReader::kMinBufferSize + rng() % 600;
            Read chunked = ReadLog(log, chunk, false, {}, buffer);
            ASSERT_EQ(chunked.records, whole.records)
                << "chunk " << chunk << " buffer " << buffer << " log " << ::testing::PrintToString(log);
            ASSERT_EQ(chunked.resume, whole.resume) << "chunk " << chunk << " buffer " << buffer;
            ASSERT_EQ(chunked.empty, whole.empty) << "chunk " << chunk << " buffer " << buffer;
        }
    }
}

// What makes delivery resumable: started at the resume offset of contact k, with k contacts
// before it, a reader gives exactly the contacts after k, whatever the chunks.
TEST(LogReader, AReaderResumedAfterAnyContactGivesExactlyTheRest) {
    std::mt19937 rng(73);
    for (int round = 0; round < 200; ++round) {
        const std::string log = RandomLog(rng);
        const Read whole = ReadLog(log);
        for (size_t k = 0; k < whole.records.size(); ++k) {
            Read rest = ReadLog(log, 1 + rng() % 64, false, {whole.resume[k], k + 1}, 16 + rng() % 200);
            std::vector<std::string> expected(whole.records.begin() + static_cast<long>(k) + 1, whole.records.end());
            ASSERT_EQ(rest.records, expected) << "after contact " << k << " of " << ::testing::PrintToString(log);
        }
    }
}

}  // namespace
}  // namespace qsoferry
