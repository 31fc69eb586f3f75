#include "editing/NoteName.h"

#include <gtest/gtest.h>

#include <limits>

using velomire::editing::FormatNoteName;

TEST(NoteName, NamesTheSamplersKeyRange) {
    EXPECT_EQ(FormatNoteName(24), "C0");
    EXPECT_EQ(FormatNoteName(25), "C#0");
    EXPECT_EQ(FormatNoteName(35), "B0");
    EXPECT_EQ(FormatNoteName(60), "C3");
    EXPECT_EQ(FormatNoteName(69), "A3");
    EXPECT_EQ(FormatNoteName(127), "G8");
}

TEST(NoteName, NumbersOutsideTheRangeStillGetAReadableName) {
    EXPECT_EQ(FormatNoteName(23), "B-1");
    EXPECT_EQ(FormatNoteName(12), "C-1");
    EXPECT_EQ(FormatNoteName(0), "C-2");
    EXPECT_EQ(FormatNoteName(-1), "B-3");
    EXPECT_EQ(FormatNoteName(128), "G#8");
    EXPECT_EQ(FormatNoteName(32767), "G2728");
    EXPECT_FALSE(FormatNoteName(std::numeric_limits<std::int32_t>::min()).empty());
}

TEST(NoteName, TypedNamesAndNumbersAreReadBackAndNothingElse) {
    using velomire::editing::ParseNoteName;
    EXPECT_EQ(ParseNoteName("A3"), 69);
    EXPECT_EQ(ParseNoteName(" c#2 "), 49);
    EXPECT_EQ(ParseNoteName("Bb1"), 46);
    EXPECT_EQ(ParseNoteName("bb1"), 46);
    EXPECT_EQ(ParseNoteName("Cb3"), 59);
    EXPECT_EQ(ParseNoteName("B-1"), 23);
    EXPECT_EQ(ParseNoteName("60"), 60);
    for (int note = -40; note <= 200; ++note) {
        EXPECT_EQ(ParseNoteName(FormatNoteName(note)), note);
    }
    for (const char* bad : {"", " ", "H3", "A", "A#", "C##3", "3A", "A3x", "-", "99999", "A 3"}) {
        EXPECT_EQ(ParseNoteName(bad), std::nullopt) << bad;
    }
}
