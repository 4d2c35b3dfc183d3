#include <gtest/gtest.h>

#include "app/recent_files.h"

namespace qsoferry {
namespace {

using Entries = std::vector<std::string>;

TEST(RecentFileList, NewestFirstAtMostFourEachOnce) {
    RecentFileList list(4);
    for (const char* path : {"C:\\a.adi", "C:\\b.adi", "C:\\c.adi", "C:\\d.adi", "C:\\e.adi"})
        list.Add(path);
    EXPECT_EQ(list.Entries(), (Entries{"C:\\e.adi", "C:\\d.adi", "C:\\c.adi", "C:\\b.adi"}));
    list.Add("c:\\C.ADI");  // the same file in another case moves to the front, written as now
    EXPECT_EQ(list.Entries(), (Entries{"c:\\C.ADI", "C:\\e.adi", "C:\\d.adi", "C:\\b.adi"}));
}

TEST(RecentFileList, LoadSkipsEmptyEntriesAndKeepsTheCapacity) {
    RecentFileList list(4);
    list.Load({"C:\\a.adi", "", "C:\\b.adi", "C:\\c.adi", "C:\\d.adi", "C:\\e.adi"});
    EXPECT_EQ(list.Entries(), (Entries{"C:\\a.adi", "C:\\b.adi", "C:\\c.adi", "C:\\d.adi"}));
}

}  // namespace
}  // namespace qsoferry
