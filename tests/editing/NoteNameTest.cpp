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
