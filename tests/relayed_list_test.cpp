// The Relayed Contacts list: the contacts in several copies, what each row shows, the order, the
// call filter, lines a power cut damaged, copies that grow or are replaced, and the exact bytes a
// selection sends again.
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
        {"2026-12-08 00:01", "K1ABC", "6m", "FT8", "50313.00", "", "", "", "IC7300"},
        {"2026-12-07 10:15", "G4CCC", "40m", "FT4", "7047.00", "IO91", "+02", "-05", "JTDX"},
        {"2026-12-07 09:30", "DL1ABC", "20m", "FT8", "14075.00", "", "", "", "JTDX"},
        {"2026-12-06 23:59", "G3XYZ", "", "FT8", "3573.00", "", "", "", "Sent on purpose"},
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

    // A copy replaced by a shorter one is read anew; one changed in place is not sent from.
    disk.Put(kRig, std::string(kCopyHeader));
    EXPECT_TRUE(list.Refresh(Sources()));
    EXPECT_EQ(list.Total(), 4u);
    std::string changed = disk.Contents(kJtdx);
    changed[changed.find("G4CCC")] = 'Q';
    disk.Put(kJtdx, changed);
    list.Filter("G4CCC");
    EXPECT_EQ(list.Records({0}, why), std::nullopt);
    EXPECT_NE(why.find("has changed"), std::string::npos) << why;
}

}  // namespace
}  // namespace qsoferry::test
