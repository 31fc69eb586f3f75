#include "editing/KeyboardGeometry.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>

namespace velomire::editing {
namespace {

// Dialog pixels of the Sample Editor's layout: the picture's corner is at (23, 41).
const KeyboardGeometry keyboard;

TEST(KeyboardGeometry, UpperPartGivesTheBlackKeyOrTheNeighbourWhereThereIsNone) {
    EXPECT_EQ(keyboard.KeyFromPoint(40, 60), 27);   // D#0
    EXPECT_EQ(keyboard.KeyFromPoint(44, 60), 28);   // between E and F: E0
    EXPECT_EQ(keyboard.KeyFromPoint(76, 60), 36);   // between B and C: the next C, C1
    EXPECT_EQ(keyboard.KeyFromPoint(24, 60), 25);   // left of the first band: C#0
    EXPECT_EQ(keyboard.KeyFromPoint(508, 50), 127); // the last key's upper corner: never 128
}

TEST(KeyboardGeometry, LowerPartGivesWhiteKeysAndABorderBelongsToTheLeftKey) {
    EXPECT_EQ(keyboard.KeyFromPoint(200, 80), 62); // D3, white key 22
    EXPECT_EQ(keyboard.KeyFromPoint(31, 80), 24);  // picture x 8: the border of C0 and D0
    EXPECT_EQ(keyboard.KeyFromPoint(32, 80), 26);
    EXPECT_EQ(keyboard.KeyFromPoint(510, 86), 127); // the last white key, G8
    EXPECT_EQ(keyboard.KeyFromPoint(200, 71), 62);  // first row of the lower part
    EXPECT_EQ(keyboard.KeyFromPoint(200, 70), 61);  // last row of the upper part: C#3
}

TEST(KeyboardGeometry, PointsOnTheBorderOrOutsideChangeNothing) {
    EXPECT_EQ(keyboard.KeyFromPoint(23, 60), std::nullopt);
    EXPECT_EQ(keyboard.KeyFromPoint(511, 60), std::nullopt);
    EXPECT_EQ(keyboard.KeyFromPoint(200, 41), std::nullopt);
    EXPECT_EQ(keyboard.KeyFromPoint(200, 87), std::nullopt);
    EXPECT_EQ(keyboard.KeyFromPoint(-5, -5), std::nullopt);
    EXPECT_TRUE(keyboard.OnKeyboard(24, 42));
    EXPECT_TRUE(keyboard.OnKeyboard(510, 86));
}

TEST(KeyboardGeometry, AnotherLayoutMovesOnlyTheOrigin) {
    const KeyboardGeometry moved(100, 10);
    EXPECT_EQ(moved.KeyFromPoint(100 + 17, 10 + 19), keyboard.KeyFromPoint(23 + 17, 41 + 19));
    EXPECT_EQ(moved.KeyFromPoint(100, 30), std::nullopt);
    EXPECT_EQ(KeyboardGeometry::KeyAtPicturePoint(177, 39), 62);
}

// The index as the key picture was first measured: the dialog x times the single-precision
// 1/488 (just below the exact value) times 61, truncated.
int MeasuredKey(int x, int y) {
    const float factor = 0.0020491802f;
    static constexpr int white[] = {0, 2, 4, 5, 7, 9, 11};
    static constexpr int border[] = {1, 3, 4, 6, 8, 10, 12};
    const bool lower = y > 70;
    const int index = static_cast<int>((x - (lower ? 23 : 27)) * factor * 61.0);
    const int w = std::clamp(index, 0, 60);
    return std::min(127, 24 + 12 * (w / 7) + (lower ? white : border)[w % 7]);
}

TEST(KeyboardGeometry, AgreesWithTheSinglePrecisionMeasureOnEveryPixel) {
    for (int x = 24; x < 511; ++x) {
        for (int y = 42; y < 87; ++y) {
            ASSERT_EQ(keyboard.KeyFromPoint(x, y), MeasuredKey(x, y)) << "x " << x << " y " << y;
        }
    }
}

TEST(KeyboardGeometry, MarksSitOnTheirKeysWithThePitchRedOnlyInsideTheRange) {
    const auto marks = KeyboardGeometry::KeyMarks(24, 26, 25);
    ASSERT_EQ(marks.size(), 3u);
    EXPECT_EQ(marks[0], (KeyMark{24, 2, 35, 7, 43, false, KeyboardGeometry::rangeFill}));
    EXPECT_EQ(marks[1], (KeyMark{25, 6, 18, 11, 26, true, KeyboardGeometry::pitchFill}));
    EXPECT_EQ(marks[2].left, 10);

    const auto top = KeyboardGeometry::KeyMarks(60, 127, 40);
    EXPECT_EQ(top.front().left, 2 + 3 * 56); // C3
    EXPECT_EQ(top.back().left, 34 + 8 * 56); // G8
    EXPECT_LE(top.back().right, KeyboardGeometry::pictureWidth);
    EXPECT_TRUE(std::none_of(top.begin(), top.end(), [](const KeyMark& m) { return m.isPitch; }));
}

TEST(KeyboardGeometry, KeysFromElsewhereOutsideTheKeyboardGetNoMark) {
    const auto marks = KeyboardGeometry::KeyMarks(0, 200, 10);
    ASSERT_EQ(marks.size(), 104u);
    EXPECT_EQ(marks.front().note, 24);
    EXPECT_EQ(marks.back().note, 127);
    EXPECT_TRUE(KeyboardGeometry::KeyMarks(90, 80, 85).empty());
}

} // namespace
} // namespace velomire::editing
