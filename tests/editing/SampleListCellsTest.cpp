#include "editing/SampleListCells.h"

#include <gtest/gtest.h>

#include <tuple>

using namespace velomire::editing;
using velomire::program::SampleEntry;
using velomire::program::SetFieldText;

namespace {

constexpr std::int32_t s3000 = 5;

SampleEntry Row(std::int16_t sendMode, std::int16_t output) {
    SampleEntry entry{};
    SetFieldText(entry.sample.sampleName, "piano");
    entry.sample.sendMode = sendMode;
    entry.sample.sampleRate = 44100;
    entry.sample.bits = 16;
    entry.sample.lengthWords = 110250;
    entry.sample.loopMode = 0;
    entry.sample.loopCount = 2;
    entry.sample.rootKey = 60;
    entry.keygroup.lowKey = 24;
    entry.keygroup.highKey = 127;
    entry.keygroup.output = output;
    return entry;
}

std::vector<std::string> Cells(const SampleEntry& entry) {
    std::vector<std::string> cells;
    for (int c = 0; c < SampleListCells::columnCount; ++c) {
        cells.push_back(SampleListCells::Text(entry, c, s3000));
    }
    return cells;
}

} // namespace

TEST(SampleListCells, ColumnsHaveTheirTitlesWidthsAndAlignmentsInOrder) {
    const auto& columns = SampleListCells::Columns();
    std::vector<std::string> titles;
    std::vector<int> widths;
    for (const auto& c : columns) {
        titles.emplace_back(c.title);
        widths.push_back(c.width);
    }
    EXPECT_EQ(titles, (std::vector<std::string>{"SampleName", "Mode", "Freq.", "Bits", "Size",
                                                "Loop", "LoK", "Pitch", "HiK", "Out"}));
    EXPECT_EQ(widths, (std::vector<int>{80, 50, 50, 30, 60, 40, 40, 40, 40, 40}));
    EXPECT_EQ(columns[0].alignment, CellAlignment::left);
    EXPECT_EQ(columns[4].alignment, CellAlignment::right);
    for (int c : {1, 2, 3, 5, 6, 7, 8, 9}) {
        EXPECT_EQ(columns[static_cast<std::size_t>(c)].alignment, CellAlignment::centre) << c;
    }
}

TEST(SampleListCells, AMonoRowShowsEveryCellInPlainDecimalAndNoteNames) {
    EXPECT_EQ(Cells(Row(0, 5)), (std::vector<std::string>{"piano", "Mono", "44100", "16", "110250",
                                                          "2", "C0", "C3", "G8", "6"}));
}

// A stereo row names its output pair, an odd output the two outputs the keygroup message sends;
// left and right rows show one output, like mono. The S900 and S950 play every row on all their
// voices and are sent no output. An unknown send mode leaves the mode empty, and a column past the
// last is empty.
TEST(SampleListCells, ModeAndOutputCellsNameWhatTheSamplerUses) {
    EXPECT_EQ(Cells(Row(3, 4))[1], "Stereo");
    EXPECT_EQ(SampleListCells::ModeText(1), "Left");
    EXPECT_EQ(SampleListCells::ModeText(2), "Right");
    EXPECT_EQ(SampleListCells::ModeText(4), "");
    EXPECT_EQ(SampleListCells::ModeText(-1), "");
    EXPECT_EQ(SampleListCells::Text(Row(0, 0), 10, s3000), "");
    const std::tuple<std::int16_t, std::int16_t, std::int32_t, const char*> outputs[] = {
        {3, 0, s3000, "1-2"}, {3, 2, s3000, "3-4"}, {3, 4, s3000, "5-6"}, {3, 6, s3000, "7-8"},
        {3, 5, s3000, "6-7"}, {3, 7, s3000, "8-1"}, {1, 7, s3000, "8"},   {2, 0, -1, "1"},
        {0, 5, 1, "All"},     {3, 4, 2, "All"},     {1, 7, 2, "All"},     {0, 5, 0, "6"}};
    for (const auto& [mode, output, model, text] : outputs) {
        EXPECT_EQ(SampleListCells::OutText(mode, output, model), text)
            << mode << " / " << output << " / model " << model;
    }
}

TEST(SampleListCells, LoopCellIsEmptyUnlessTheSampleLoops) {
    EXPECT_EQ(SampleListCells::LoopText(0, 3), "3");
    EXPECT_EQ(SampleListCells::LoopText(1, 1), "1");
    EXPECT_EQ(SampleListCells::LoopText(2, 4), "");
    EXPECT_EQ(SampleListCells::LoopText(3, 4), "");
}

TEST(SampleListCells, RenameKeepsAtMost19BytesWithoutSplittingACharacter) {
    EXPECT_EQ(SampleListCells::CutSampleName("Kick"), "Kick");
    EXPECT_EQ(SampleListCells::CutSampleName("ABCDEFGHIJKLMNOPQRSTUVWXYZ"), "ABCDEFGHIJKLMNOPQRS");
    // 18 ASCII characters, then a two-byte character that would straddle the 19-byte limit.
    EXPECT_EQ(SampleListCells::CutSampleName("ABCDEFGHIJKLMNOPQR\xC3\xA9Z"), "ABCDEFGHIJKLMNOPQR");
    EXPECT_EQ(SampleListCells::CutSampleName("ABCDEFGHIJKLMNOPQ\xC3\xA9Z"),
              "ABCDEFGHIJKLMNOPQ\xC3\xA9");
}
