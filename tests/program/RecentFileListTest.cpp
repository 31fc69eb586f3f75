#include "program/RecentFileList.h"

#include <gtest/gtest.h>

using velomire::program::RecentFileList;
using Paths = std::vector<std::string>;

TEST(RecentFileList, KeepsTheSixNewestEachOnceNewestFirst) {
    RecentFileList list;
    for (const char* p : {"/a.vmp", "/b.vmp", "/c.vmp", "/d.vmp", "/e.vmp", "/f.vmp", "/g.vmp"}) {
        list.Add(p);
    }
    EXPECT_EQ(list.Entries(), (Paths{"/g.vmp", "/f.vmp", "/e.vmp", "/d.vmp", "/c.vmp", "/b.vmp"}));
    list.Add("/d.vmp");
    EXPECT_EQ(list.Entries(), (Paths{"/d.vmp", "/g.vmp", "/f.vmp", "/e.vmp", "/c.vmp", "/b.vmp"}));
    list.Remove("/g.vmp");
    EXPECT_EQ(list.Entries().size(), 5u);
    EXPECT_EQ(list.Entries()[1], "/f.vmp");
}

TEST(RecentFileList, StoredEntriesLoseEmptyAndRepeatedOnesAndTheExcess) {
    RecentFileList list;
    list.Assign({"/a.vmp", "", "/a.vmp", "/b.vmp", "/c.vmp", "/d.vmp", "/e.vmp", "/f.vmp", "/g"});
    EXPECT_EQ(list.Entries(), (Paths{"/a.vmp", "/b.vmp", "/c.vmp", "/d.vmp", "/e.vmp", "/f.vmp"}));
}

TEST(RecentFileList, MenuTextNumbersTheEntryAndKeepsItsAmpersandsLiteral) {
    EXPECT_EQ(RecentFileList::MenuText(0, "/music/drums&bass.vmp"), "&1 /music/drums&&bass.vmp");
    EXPECT_EQ(RecentFileList::MenuText(5, "/x.vmp"), "&6 /x.vmp");
}

TEST(RecentFileList, MenuTextShortensALongPathInTheMiddleKeepingTheFileName) {
    const std::string path = "/home/someone/" + std::string(60, 'd') + "/Strings.vmp";
    const std::string text = RecentFileList::MenuText(0, path, 40);
    EXPECT_EQ(text.size(), 3u + 40u);
    EXPECT_EQ(text.substr(0, 17), "&1 /home/someone/");
    EXPECT_EQ(text.substr(text.size() - 15), ".../Strings.vmp");
}
