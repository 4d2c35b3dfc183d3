// The Relayed Contacts list: the contacts in several copies, what each row shows, the order, the
// call filter, records of several lines, lines a power cut damaged, copies that grow, shrink, are
// replaced or cannot be opened (the ids a selection is kept by), and the exact bytes a selection
// sends again.
#include <gtest/gtest.h>

#include "memory_disk.h"
#include "relay/sent_copy.h"
#include "view/relayed_list.h"

namespace qsoferry::test {
namespace {

const std::string kJtdx = "C:\\L\\JTDX\\wsjtx_log_sent.adi";
const std::string kRig = "C:\\L\\JTDX - IC7300\\wsjtx_log_sent.adi";
const std::string kOnPurpose = "C:\\L\\Qsoferry\\Sending\\wsjtx_log_sent.adi";

std::string Contact(const std::string& call,
                    const std::string& date,
                    const std::string& time,
                    const std::string& extra = "") {
    return "<call:" + std::to_string(call.size()) + ">" + call + " <qso_date:8>" + date + " <time_on:6>" + time + " " +
           extra + "<eor>";
}

const std::string kG4ccc = Contact("G4CCC",
                                   "20261207",
                                   "101500",
                                   "<gridsquare:4>io91 <mode:4>MFSK <submode:3>FT4 <rst_sent:3>+02 <rst_rcvd:3>-05 "
                                   "<band:3>40m <freq:8>7.047500 ");
const std::string kDl1abc = Contact("dl1abc", "20261207", "093000", "<mode:3>FT8 <band:3>20M <freq:9>14.075123 ");
const std::string kK1abc = Contact("K1ABC", "20261208", "000100", "<mode:3>FT8 <band:3>6m <freq:6>50.313 ");
const std::string kG3xyz = Contact("G3XYZ", "20261206", "235959", "<mode:3>FT8 <freq:5>3.573 ");

std::vector<std::string> Column(const RelayedList& list, RelayedColumn column) {
    std::vector<std::string> cells;
    for (size_t row = 0; row < list.Shown(); ++row)
        cells.push_back(list.Text(row, column));
    return cells;
}

class RelayedListTest : public ::testing::Test {
protected:
    RelayedListTest() {
        disk.MakeFolders("C:\\L\\JTDX");
        disk.MakeFolders("C:\\L\\JTDX - IC7300");
        disk.MakeFolders("C:\\L\\Qsoferry\\Sending");
        // As a power cut can leave a copy: a record cut short before the next one's line, a torn
        // sector of zeros, padding; and two records run together on one line, as an editor may.
        disk.Put(kJtdx, std::string(kCopyHeader) + kG4ccc + "\r\n" + "<call:5>W1AW <band:3>40m" + "\r\n" + kDl1abc +
                            "\r\n" + std::string(40, '\0') + "\r\n" + std::string(200, ' ') + "\r\n" +
                            "<call:4>W2AB <eor><call:4>W3CD <eor>\r\n");
        disk.Put(kRig, "Qsoferry\r\n<eoh>\r\n" + kK1abc + "\r\n");
        disk.Put(kOnPurpose, kG3xyz + "\r\n");  // no header: its first line begins with a tag
    }
    std::vector<CopySource> Sources() const {
        return {{kJtdx, "C:\\L\\JTDX", "JTDX"},
                {kRig, "C:\\L\\JTDX - IC7300", "IC7300"},
                {kOnPurpose, "C:\\L\\Qsoferry\\Sending", "Sent on purpose"}};
    }

    MemoryDisk disk;
    RelayedList list{disk};
};

TEST_F(RelayedListTest, ShowsEveryWholeRecordOfEveryCopySortedAndFilteredAsExplorerDoes) {
    ASSERT_TRUE(list.Refresh(Sources()));
    EXPECT_FALSE(list.Refresh(Sources())) << "nothing new: nothing changes";
    EXPECT_EQ(list.CountText(), "4 contacts; 3 lines of the copies could not be read and are left out");

    // Newest first, every column as the logger got it.
    const std::vector<std::vector<std::string>> rows = {
        {"2026-12-08 00:01", "K1ABC", "6m", "FT8", "50313.00", "", "", "", "IC7300", ""},
        {"2026-12-07 10:15", "G4CCC", "40m", "FT4", "7047.00", "IO91", "+02", "-05", "JTDX", ""},
        {"2026-12-07 09:30", "DL1ABC", "20m", "FT8", "14075.00", "", "", "", "JTDX", ""},
        {"2026-12-06 23:59", "G3XYZ", "", "FT8", "3573.00", "", "", "", "Sent on purpose", ""},
    };
    ASSERT_EQ(list.Shown(), rows.size());
    for (size_t row = 0; row < rows.size(); ++row) {
        for (size_t column = 0; column < kRelayedColumns; ++column)
            EXPECT_EQ(list.Text(row, static_cast<RelayedColumn>(column)), rows[row][column]) << row << "," << column;
    }
    EXPECT_EQ(list.FolderOf(0), "C:\\L\\JTDX - IC7300");

    struct Case {
        RelayedColumn click;  // a header clicked
        std::string filter;
        std::vector<std::string> calls;
        std::string count;
    };
    const Case cases[] = {
        {RelayedColumn::kFreq, "", {"G3XYZ", "G4CCC", "DL1ABC", "K1ABC"}, "4 contacts"},  // as numbers
        {RelayedColumn::kFreq, "", {"K1ABC", "DL1ABC", "G4CCC", "G3XYZ"}, "4 contacts"},  // again: turned round
        {RelayedColumn::kCall, "", {"DL1ABC", "G3XYZ", "G4CCC", "K1ABC"}, "4 contacts"},
        {RelayedColumn::kCall, " g", {"G4CCC", "G3XYZ"}, "2 of 4 contacts shown"},
        {RelayedColumn::kFolder, "abc", {"K1ABC", "DL1ABC"}, "2 of 4 contacts shown"},
        {RelayedColumn::kFolder, "W1AW", {}, "0 of 4 contacts shown"},
        {RelayedColumn::kFolder, "", {"K1ABC", "DL1ABC", "G4CCC", "G3XYZ"}, "4 contacts"},  // a tie: later first
    };
    for (const Case& c : cases) {
        list.SortBy(c.click);
        list.Filter(c.filter);
        EXPECT_EQ(Column(list, RelayedColumn::kCall), c.calls) << c.filter;
        EXPECT_EQ(list.CountText().substr(0, c.count.size()), c.count);
    }
}

TEST_F(RelayedListTest, FollowsCopiesAsTheyGrowAndSendsBackTheExactBytes) {
    list.Refresh(Sources());
    list.SortBy(RelayedColumn::kCall);  // DL1ABC G3XYZ G4CCC K1ABC
    const std::uint32_t g4ccc = list.IdOf(2);

    // A record being written is read once its line has ended; the selection follows its contact.
    const std::string late = Contact("AA1AA", "20261208", "120000");
    disk.Append(kJtdx, late.substr(0, 20));
    EXPECT_FALSE(list.Refresh(Sources()));
    disk.Append(kJtdx, late.substr(20) + "\r\n");
    EXPECT_TRUE(list.Refresh(Sources()));
    EXPECT_EQ(Column(list, RelayedColumn::kCall),
              (std::vector<std::string>{"AA1AA", "DL1ABC", "G3XYZ", "G4CCC", "K1ABC"}));
    ASSERT_EQ(list.RowOf(g4ccc), std::optional<size_t>(3));

    // Rows from two copies, chosen newest first: the records as the copies hold them, oldest first.
    std::string why;
    EXPECT_EQ(list.Records({4, 3, 2}, why),
              std::string(kCopyHeader) + kG3xyz + "\r\n" + kG4ccc + "\r\n" + kK1abc + "\r\n");

    // A copy replaced by a shorter one is read anew, its damage counted afresh; one changed in place
    // is not sent from.
    disk.Put(kRig, std::string(kCopyHeader));
    disk.Put(kJtdx, std::string(kCopyHeader) + kG4ccc + "\r\n" + kDl1abc + "\r\n");
    EXPECT_TRUE(list.Refresh(Sources()));
    EXPECT_EQ(list.CountText(), "3 contacts");
    std::string changed = disk.Contents(kJtdx);
    changed[changed.find("G4CCC")] = 'Q';
    disk.Put(kJtdx, changed);
    list.Filter("G4CCC");
    EXPECT_EQ(list.Records({0}, why), std::nullopt);
    EXPECT_NE(why.find("has changed"), std::string::npos) << why;
}

// The same contact in the copies more than once (sent twice, from two folders, in other spellings)
// is counted on each of its rows, and can be listed alone; the counts follow the copies.
TEST_F(RelayedListTest, CountsEachContactTheCopiesHoldMoreThanOnce) {
    list.Refresh(Sources());
    list.ShowOnlyDoubles(true);
    EXPECT_EQ(list.CountText().substr(0, 21), "0 of 4 contacts shown");
    // G4CCC again at other seconds, its band given by its frequency alone; K1ABC in another mode.
    disk.Append(kOnPurpose, Contact("g4ccc", "20261207", "101532", "<mode:3>FT4 <freq:5>7.047 ") + "\r\n" +
                                Contact("K1ABC", "20261208", "000100", "<mode:3>FT4 <band:2>6m ") + "\r\n");
    disk.Append(kRig, kG4ccc + "\r\n");
    EXPECT_TRUE(list.Refresh(Sources()));
    list.SortBy(RelayedColumn::kTimes);
    EXPECT_EQ(Column(list, RelayedColumn::kCall), (std::vector<std::string>{"G4CCC", "G4CCC", "G4CCC"}));
    EXPECT_EQ(Column(list, RelayedColumn::kTimes), (std::vector<std::string>{"3", "3", "3"}));
    list.ShowOnlyDoubles(false);
    EXPECT_EQ(list.Shown(), 7u);
    EXPECT_EQ(Column(list, RelayedColumn::kTimes), (std::vector<std::string>{"", "", "", "", "3", "3", "3"}));
    // A copy replaced without its double, and one taken away: the counts go down with them.
    disk.Put(kRig, std::string(kCopyHeader) + kK1abc + "\r\n");
    list.Refresh(Sources());
    EXPECT_EQ(Column(list, RelayedColumn::kTimes), (std::vector<std::string>{"", "", "", "", "2", "2"}));
    disk.RemoveFile(kOnPurpose);
    list.Refresh(Sources());
    list.Refresh(Sources());
    list.ShowOnlyDoubles(true);
    EXPECT_EQ(list.Shown(), 0u);
}

// A record keeps its own line breaks in the copy: each is listed whole and sent again byte for
// byte, whatever its lines, read at once or as the copy grows (cut at every byte); what is not one
// whole record is skipped and its lines counted.
TEST(RelayedListRecords, ReadsEachRecordUpToItsEndOfRecordTag) {
    const std::string lotw =
        "<APP_LoTW_OWNCALL:5>K1ABC\r\n<CALL:4>W1AW\r\n<BAND:3>20M\r\n<MODE:3>FT8\r\n"
        "<APP_LoTW_RXQSO:19>2026-12-07 10:00:00 // QSO record inserted/modified at LoTW\r\n"
        "<QSO_DATE:8>20261207 // QSO Date\r\n<TIME_ON:6>095900\r\n<QSL_RCVD:1>Y\r\n<eor>";
    const std::string lotw2 = "<APP_LoTW_OWNCALL:5>K1ABC\n<CALL:5>DL1AB\n<QSO_DATE:8>20261208\n\n<eor>";
    // The comment's counted value runs over two line breaks, the second before a tag of its own.
    const std::string counted = "<call:4>K2AB <comment:20>two\r\n<call:4>XXXX\r\nz\r\n<eor>";
    const std::string oneLine = Contact("G3XYZ", "20261206", "235959");
    struct Case {
        std::string name, copy;
        std::vector<std::string> records;  // the whole ones, in the copy's order
        std::uint64_t skipped;
    };
    const Case cases[] = {
        {"LoTW's one field a line, blank lines between",
         lotw + "\r\n\r\n" + lotw2 + "\r\n" + std::string(30, ' ') + "\r\n",
         {lotw, lotw2},
         0},
        {"a counted value holding line breaks", counted + "\r\n" + oneLine + "\r\n", {counted, oneLine}, 0},
        {"cut short by a power cut, then the next",
         "<APP_LoTW_OWNCALL:5>K1ABC\r\n<CALL:4>W9ZZ\r\n" + lotw + "\r\n",
         {lotw},
         2},
        {"cut inside its end tag", "<call:4>W9ZZ <eor\r\n" + oneLine + "\r\n", {oneLine}, 1},
        {"torn to zeros midway, and its rest",
         "<call:4>W9ZZ\r\n" + std::string(9, '\0') + "\r\n<band:3>20m <eor>\r\n" + oneLine + "\r\n",
         {oneLine},
         3},
        {"torn to zeros at its end, then the next",
         lotw2.substr(0, 30) + std::string(7, '\0') + "\r\n" + lotw2 + "\r\n",
         {lotw2},
         2},
        {"two records run together, over two lines",
         "<call:4>W9ZZ <eor><call:4>W8ZZ\r\n<band:3>20m <eor>\r\n" + oneLine + "\r\n",
         {oneLine},
         2},
        {"a second call on a line of its own",
         "<band:3>20m\r\n<call:4>W9ZZ\r\n<call:4>W8ZZ\r\n<eor>\r\n" + oneLine + "\r\n",
         {oneLine},
         4},
        {"a star, where the log reader stops",
         "<call:4>W9ZZ\r\n<comment:3>*** <eor>\r\n" + oneLine + "\r\n",
         {oneLine},
         2},
        {"a line of text between records", "garbage\r\n" + oneLine + "\r\n", {oneLine}, 1},
        {"a stray end-of-record tag: no contact", oneLine + "\r\n<EOR>\r\n", {oneLine}, 0},
        {"blanks before its first tag", " \t " + oneLine + "\r\n", {oneLine}, 0},
        {"a record longer than any copied",
         "<call:4>W9ZZ\r\n" + std::string(3 * 1024 * 1024, 'x') + "\r\n<eor>\r\n" + oneLine + "\r\n",
         {oneLine},
         3},
    };
    const std::vector<CopySource> sources = {{kJtdx, "C:\\L\\JTDX", "JTDX"}};
    for (const Case& c : cases) {
        const std::string copy = std::string(kCopyHeader) + std::string(CopyPadding(sizeof kCopyHeader - 1)) + c.copy;
        std::string expected = kCopyHeader;
        for (const std::string& record : c.records)
            expected += record + "\r\n";
        const size_t step = copy.size() > 4096 ? copy.size() / 7 : 1;
        for (size_t cut = copy.size(); cut > 0; cut = cut > step ? cut - step : 0) {
            MemoryDisk disk;
            disk.MakeFolders("C:\\L\\JTDX");
            disk.Put(kJtdx, copy.substr(0, cut));
            RelayedList list(disk);
            list.Refresh(sources);
            disk.Put(kJtdx, copy);
            list.Refresh(sources);
            ASSERT_EQ(list.Total(), c.records.size()) << c.name << ", read first up to " << cut;
            ASSERT_EQ(list.SkippedLines(), c.skipped) << c.name << ", read first up to " << cut;
            std::vector<size_t> rows(list.Shown());
            for (size_t row = 0; row < rows.size(); ++row)
                rows[row] = row;
            std::string why;
            ASSERT_EQ(list.Records(rows, why), expected) << c.name << ", read first up to " << cut << why;
        }
    }
}

// The cells of a record of many lines, as the log reader reads them; a date and time given without
// a length too.
TEST(RelayedListRecords, ShowsTheFieldsOfEveryLine) {
    MemoryDisk disk;
    disk.MakeFolders("C:\\L\\JTDX");
    disk.Put(kJtdx,
             "Qsoferry\r\n<eoh>\r\n<CALL:4>W1AW\r\n  <BAND:3>20M\r\n<MODE:4>MFSK\r\n<SUBMODE:3>FT4\r\n"
             "<FREQ:9>14.080000 // kHz\r\n<QSO_DATE:8>20261207\r\n<TIME_ON:6>095900\r\n"
             "<GRIDSQUARE:4>FN31\r\n<RST_SENT:3>-10\r\n<RST_RCVD:3>+05\r\n<EOR>\r\n"
             "<CALL:4>K1AB\r\n<qso_date>20261206\r\n<time_on>2300\r\n<EOR>\r\n");
    RelayedList list(disk);
    list.Refresh({{kJtdx, "C:\\L\\JTDX", "JTDX"}});
    ASSERT_EQ(list.Shown(), 2u);
    const std::vector<std::vector<std::string>> rows = {
        {"2026-12-07 09:59", "W1AW", "20m", "FT4", "14080.00", "FN31", "-10", "+05", "JTDX", ""},
        {"2026-12-06 23:00", "K1AB", "", "", "", "", "", "", "JTDX", ""}};
    for (size_t row = 0; row < rows.size(); ++row) {
        for (size_t column = 0; column < kRelayedColumns; ++column)
            EXPECT_EQ(list.Text(row, static_cast<RelayedColumn>(column)), rows[row][column]) << row << "," << column;
    }
}

// A row's id stays with its contact whatever befalls its copy, and is never another's: the
// operator's selection follows its contacts, or goes, never onto others.
TEST_F(RelayedListTest, AnIdStaysWithItsContactWhenACopyShrinksIsReplacedOrVanishes) {
    class Flaky : public MemoryDisk {
    public:
        std::optional<FileStatus> failOpen;
        FileResult OpenFile(const std::string& path,
                            FileAccess access,
                            FileHandle& file,
                            std::uint64_t& size) override {
            if (failOpen && path == kJtdx) return {*failOpen, "refused"};
            return MemoryDisk::OpenFile(path, access, file, size);
        }
    };
    Flaky flaky;
    flaky.MakeFolders("C:\\L\\JTDX");
    const std::string header = std::string(kCopyHeader);
    flaky.Put(kJtdx, header + kG4ccc + "\r\n" + kDl1abc + "\r\n" + kK1abc + "\r\n");
    RelayedList list(flaky);
    const std::vector<CopySource> sources = {{kJtdx, "C:\\L\\JTDX", "JTDX"}};
    list.Refresh(sources);
    auto idOf = [&](const std::string& call) -> std::optional<std::uint32_t> {
        for (size_t row = 0; row < list.Shown(); ++row) {
            if (list.Text(row, RelayedColumn::kCall) == call) return list.IdOf(row);
        }
        return std::nullopt;
    };
    auto callOf = [&](std::uint32_t id) {
        std::optional<size_t> row = list.RowOf(id);
        return row ? list.Text(*row, RelayedColumn::kCall) : std::string("none");
    };
    const std::uint32_t g4ccc = *idOf("G4CCC"), dl1abc = *idOf("DL1ABC"), k1abc = *idOf("K1ABC");
    auto edited = [](std::string record, const std::string& from, const std::string& to) {
        return record.replace(record.find(from), from.size(), to);
    };

    struct Step {
        std::string what;
        std::optional<std::string> copy;  // put in its place before the Refresh
        std::optional<FileStatus> open;   // what opening it says instead
        std::vector<std::string> calls;   // of g4ccc, dl1abc and k1abc after the Refresh
    };
    const Step steps[] = {
        {"a sharing conflict", std::nullopt, FileStatus::kBusy, {"G4CCC", "DL1ABC", "K1ABC"}},
        {"missing once", std::nullopt, FileStatus::kNotFound, {"G4CCC", "DL1ABC", "K1ABC"}},
        {"back", std::nullopt, std::nullopt, {"G4CCC", "DL1ABC", "K1ABC"}},
        {"cut after its second",
         header + kG4ccc + "\r\n" + kDl1abc + "\r\n",
         std::nullopt,
         {"G4CCC", "DL1ABC", "none"}},
        {"grown again",
         header + kG4ccc + "\r\n" + kDl1abc + "\r\n" + kK1abc + "\r\n",
         std::nullopt,
         {"G4CCC", "DL1ABC", "none"}},
        {"replaced: its second the same size in the same place, but another contact",
         header + kG4ccc + "\r\n" + edited(kDl1abc, "dl1abc", "dl1abd") + "\r\n" + edited(kK1abc, "50.313", "50.314") +
             "\r\n",
         std::nullopt,
         {"G4CCC", "none", "none"}},
        {"replaced by a longer one, the same first",
         header + kG4ccc + "\r\n" + kG3xyz + "\r\n" + kDl1abc + "\r\n" + kK1abc + "\r\n",
         std::nullopt,
         {"G4CCC", "none", "none"}},
        {"missing once more", std::nullopt, FileStatus::kNotFound, {"G4CCC", "none", "none"}},
        {"missing twice in a row", std::nullopt, FileStatus::kNotFound, {"none", "none", "none"}},
    };
    for (const Step& step : steps) {
        if (step.copy) flaky.Put(kJtdx, *step.copy);
        flaky.failOpen = step.open;
        list.Refresh(sources);
        EXPECT_EQ((std::vector<std::string>{callOf(g4ccc), callOf(dl1abc), callOf(k1abc)}), step.calls) << step.what;
    }
    EXPECT_EQ(list.Total(), 0u);
    flaky.failOpen.reset();
    list.Refresh(sources);
    EXPECT_EQ(list.Total(), 4u) << "back again: listed anew";
    for (std::uint32_t id : {g4ccc, dl1abc, k1abc})
        EXPECT_EQ(callOf(id), "none") << "an id is never another contact's";
}

// A power cut tears a record inside a counted value; the next contact follows on a line of its own.
// The count runs into the next record's first tag, where no value ends: it is listed whole and
// alone, and sent again as it stands, never merged with the torn one.
TEST(RelayedListReading, TheRecordAfterOneTornInsideACountedValueIsListedAlone) {
    const std::string jtdx = Contact("K1ABC", "20261208", "000100", "<mode:3>FT8 <band:3>6m ");
    for (const std::string torn :
         {"<call:4>W9ZZ <gridsquare:4>FN31 <qso_date:8>2026", "<call:4>W9ZZ <comment:24>seventy-th"}) {
        MemoryDisk disk;
        disk.MakeFolders("C:\\L\\JTDX");
        const std::string header = std::string(kCopyHeader) + CopyPadding(sizeof kCopyHeader - 1);
        disk.Put(kJtdx, header + torn + "\r\n" + jtdx + "\r\n");
        RelayedList list(disk);
        list.Refresh({{kJtdx, "C:\\L\\JTDX", "JTDX"}});
        ASSERT_EQ(list.Total(), 1u) << torn;
        EXPECT_EQ(list.SkippedLines(), 1u) << torn;
        std::string why;
        EXPECT_EQ(list.Records({0}, why), std::string(kCopyHeader) + jtdx + "\r\n") << torn;
    }
}

// The operator moves the copy away (to import it elsewhere) and the next contact makes a new one of
// the same size: header and padding to a sector, the contact, padding to the next. The list open
// meanwhile shows the new copy's contact, not the ones that went with the old copy.
TEST(RelayedListReading, ACopyReplacedByOneOfTheSameSizeEndingInPaddingIsReadAgain) {
    MemoryDisk disk;
    disk.MakeFolders("C:\\L\\JTDX");
    const std::string header = std::string(kCopyHeader) + CopyPadding(sizeof kCopyHeader - 1);
    const std::string old = header + kG4ccc + "\r\n" + kDl1abc + "\r\n";
    const std::string now = header + kK1abc + "\r\n";
    disk.Put(kJtdx, old + CopyPadding(old.size()));
    RelayedList list(disk);
    const std::vector<CopySource> sources = {{kJtdx, "C:\\L\\JTDX", "JTDX"}};
    list.Refresh(sources);
    ASSERT_EQ(list.Total(), 2u);
    disk.Put(kJtdx, now + CopyPadding(now.size()));
    ASSERT_EQ(old.size() + CopyPadding(old.size()).size(), now.size() + CopyPadding(now.size()).size());
    list.Refresh(sources);
    EXPECT_EQ(Column(list, RelayedColumn::kCall), std::vector<std::string>{"K1ABC"});
}

// The sender copies a large contact a piece at a time while the list is open: each Refresh reads
// what the copy gained, not the whole unended line again from its start on the window's thread.
TEST(RelayedListReading, ARecordBeingCopiedIsNotReadAgainWholeAtEveryRefresh) {
    class Counting : public MemoryDisk {
    public:
        std::uint64_t read = 0;
        FileResult ReadFileAt(FileHandle file, std::uint64_t offset, char* buffer, size_t size, size_t& got) override {
            FileResult result = MemoryDisk::ReadFileAt(file, offset, buffer, size, got);
            read += got;
            return result;
        }
    };
    Counting disk;
    disk.MakeFolders("C:\\L\\JTDX");
    const std::string header = std::string(kCopyHeader) + CopyPadding(sizeof kCopyHeader - 1);
    std::string copy = header + "<call:4>W9ZZ <comment:100000000>";
    RelayedList list(disk);
    const std::vector<CopySource> sources = {{kJtdx, "C:\\L\\JTDX", "JTDX"}};
    for (int second = 0; second < 4; ++second) {
        copy += std::string(8 * 1024 * 1024, 'x');  // what the sender copied meanwhile
        disk.Put(kJtdx, copy);
        disk.read = 0;
        list.Refresh(sources);
        EXPECT_LE(disk.read, 9u * 1024 * 1024) << "after " << copy.size() << " bytes";
    }
}

}  // namespace
}  // namespace qsoferry::test
