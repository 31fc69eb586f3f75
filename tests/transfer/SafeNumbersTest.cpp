#include "transfer/SafeNumbers.h"

#include <gtest/gtest.h>

using namespace velomire::transfer;

namespace {

NumbersInUse Holding() {
    using Kind = SamplerEntry::Kind;
    return NumbersInUse::From({{Kind::program, 0, "PIANO"},
                               {Kind::program, 1, "STRINGS"},
                               {Kind::sample, 0, "PIANO C3"},
                               {Kind::sample, 1, "PIANO C4"},
                               {Kind::sample, 3, "STR\x01"},
                               {Kind::sample, 6, "KICK"}});
}

} // namespace

TEST(SafeNumbers, TheFirstFreeSampleNumberLeavesRoomForEveryPart) {
    const NumbersInUse inUse = Holding();
    // One part fits in the gap at 2; three parts only after 6; the program goes to 2.
    EXPECT_EQ(FirstFreeNumbers(inUse, {1, true}, 100, 100)->samples, 2);
    const auto three = FirstFreeNumbers(inUse, {3, true}, 100, 100);
    EXPECT_EQ(std::tie(three->programs, three->samples), std::tuple(2, 7));
    // Two parts fit between 3 and 6; no program sent: its numbers do not matter.
    EXPECT_EQ(FirstFreeNumbers(inUse, {2, false}, 0, 100)->samples, 4);
    // No room below the limits: nothing to propose.
    EXPECT_FALSE(FirstFreeNumbers(inUse, {3, true}, 100, 7));
    EXPECT_FALSE(FirstFreeNumbers(inUse, {1, true}, 2, 100));
}

TEST(SafeNumbers, TheWarningNamesWhatTheSendWouldOverwrite) {
    const NumbersInUse inUse = Holding();
    EXPECT_EQ(OverwriteWarning(inUse, {4, true}, 1, 1),
              "This send overwrites program 1 \"STRINGS\" and samples 1 \"PIANO C4\", 3 "
              "\"STR\\x01\" in the sampler.");
    EXPECT_EQ(OverwriteWarning(inUse, {1, false}, 1, 6),
              "This send overwrites sample 6 \"KICK\" in the sampler.");
    EXPECT_EQ(OverwriteWarning(inUse, {3, true}, 2, 7), "");
    // Past six samples the rest are counted.
    NumbersInUse full;
    for (int n = 0; n < 9; ++n) {
        full.samples[n] = "";
    }
    EXPECT_EQ(OverwriteWarning(full, {9, false}, 0, 0),
              "This send overwrites samples 0, 1, 2, 3, 4, 5 and 3 more in the sampler.");
}
