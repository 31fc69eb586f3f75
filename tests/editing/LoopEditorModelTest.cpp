#include "editing/LoopEditorModel.h"

#include "program/ByteWriter.h"
#include "program/Program.h"
#include "program/WavInfo.h"
#include "support/RecordingMessages.h"
#include "support/WavBuilder.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace velomire::editing {
namespace {

using program::SampleBlock;
using testing::RecordingMessages;
using testing::TempDir;
using testing::WavBuilder;
using testing::WriteFile;
using Frames = std::vector<std::int16_t>;

// A 10241-frame track on a 1024-pixel picture: with the whole sample shown, pixel x is frame
// 10 x exactly.
constexpr std::uint32_t trackFrames = 10241;
constexpr int width = 1024;
constexpr int height = 200;

// A block as a new entry has it: the whole file is the sound, loops 1-4 cover it.
SampleBlock NewBlock(std::uint32_t frames) {
    SampleBlock block;
    program::SetFieldText(block.fileName, "loop.wav");
    block.channels = 1;
    block.frameCount = frames;
    block.soundEnd = frames - 1;
    block.lengthWords = frames & ~1u;
    block.endPoint = block.lengthWords - 1;
    for (std::size_t n = 0; n < SampleBlock::loopSlots; ++n) {
        block.loopAt[n] = n < 4 ? block.lengthWords - 1 : 0;
        block.loopLength[n] = n < 4 ? block.lengthWords : 64;
    }
    block.loopDwell[0] = 9999;
    block.loopMode = program::loopNone;
    return block;
}

std::vector<std::uint8_t> Stored(const SampleBlock& block) {
    std::vector<std::uint8_t> bytes;
    program::ByteWriter out(bytes);
    block.Write(out);
    return bytes;
}

class LoopEditorModelTest : public ::testing::Test {
protected:
    // Loud everywhere, so that only the frames a test sets to small values are near zero.
    void Open(Frames frames = Frames(trackFrames, 1000)) {
        model.SetPictureSize(width, height);
        ASSERT_EQ(model.OpenFrames(std::move(frames)), LoopEditorStatus::ok);
    }
    // Stores loop n (1..4) as a block does: end point relative to the sound's start.
    void StoreLoop(int n, std::uint32_t relativeEnd, std::uint32_t length) {
        block.loopAt[static_cast<std::size_t>(n - 1)] = relativeEnd;
        block.loopLength[static_cast<std::size_t>(n - 1)] = length;
    }
    int PixelOf(std::int64_t frame) const { return static_cast<int>(frame / 10); }

    SampleBlock block = NewBlock(trackFrames);
    LoopEditorModel model{block};
};

TEST_F(LoopEditorModelTest, LoopEndsAreAbsoluteWhileOpenAndRelativeAgainAfterFinishing) {
    block.soundStart = 500;
    StoreLoop(1, 1000, 200);
    Open();
    EXPECT_EQ(model.Loop(1), (RegionFigures{1301, 1500, 200, 9999}));
    model.Finish();
    EXPECT_EQ(block.loopAt[0], 1000u);
    EXPECT_EQ(block.loopLength[0], 200u);
    EXPECT_EQ(block.lengthWords, 9740u); // sound 500..10240: 9741 frames, made even
    EXPECT_EQ(block.endPoint, 9739u);    // the last word sent
    EXPECT_FALSE(model.IsOpen());
}

TEST_F(LoopEditorModelTest, DestroyingAnOpenEditorFinishesIt) {
    block = NewBlock(1001);
    block.soundStart = 0;
    {
        LoopEditorModel editor(block);
        ASSERT_EQ(editor.OpenFrames(Frames(1001, 5)), LoopEditorStatus::ok);
        editor.SelectSound();
    }
    EXPECT_EQ(block.lengthWords, 1000u);
    EXPECT_EQ(block.endPoint, 999u);
    EXPECT_EQ(block.loopAt[0], 999u);
}

TEST_F(LoopEditorModelTest, LoopsArePulledInsideTheSound) {
    block.soundStart = 1000;
    block.soundEnd = 5000;
    StoreLoop(1, 5000, 2000); // ends at 6000, past the sound
    StoreLoop(2, 2000, 2500); // ends at 3000, starts at 501, before the sound
    Open();
    EXPECT_EQ(model.Loop(1), (RegionFigures{3001, 5000, 2000, 9999}));
    EXPECT_EQ(model.Loop(2), (RegionFigures{1000, 3000, 2001, 0}));
}

TEST_F(LoopEditorModelTest, ValuesFromElsewhereAreBroughtInsideTheFileOnOpening) {
    block.frameCount = 100000;
    block.soundStart = 20000;
    block.soundEnd = 90000;
    StoreLoop(1, 50000, 0);
    StoreLoop(2, 0xFFFFFFFFu, 0xFFFFFFFFu);
    block.loopCount = 9;
    block.loopMode = program::loopNormal;
    Open(Frames(10000, 300));

    EXPECT_EQ(model.FrameCount(), 10000);
    EXPECT_EQ(block.frameCount, 10000u);
    EXPECT_EQ(block.soundEnd, 9999u);
    EXPECT_EQ(block.soundStart, 9999u);
    EXPECT_EQ(model.LoopCount(), 4);
    for (int n = 1; n <= 4; ++n) {
        EXPECT_EQ(model.Loop(n).end, 9999) << n;
        EXPECT_EQ(model.Loop(n).length, 1) << n;
    }
    model.SelectSound();
    for (const WaveBand& band : model.Bands()) {
        EXPECT_GE(band.left, 0);
        EXPECT_LE(band.right, width);
    }
    EXPECT_FALSE(model.Strokes().strokes.empty());
    model.Finish();
    EXPECT_EQ(block.loopAt[1], 0u);
    EXPECT_EQ(block.lengthWords, 0u); // one frame: no whole pair of words
    EXPECT_EQ(block.endPoint, 0u);
}

TEST_F(LoopEditorModelTest, MovingTheSoundStartPastALoopNeverWrapsTheLoop) {
    StoreLoop(1, 2000, 500);
    Open();
    model.SelectSound();
    ASSERT_TRUE(model.LeftClick(PixelOf(5000), 50));
    EXPECT_EQ(block.soundStart, 5000u);
    EXPECT_EQ(model.Loop(1), (RegionFigures{5000, 5000, 1, 9999}));
    model.Finish();
    EXPECT_EQ(block.loopAt[0], 0u);
    EXPECT_EQ(block.loopLength[0], 1u);
}

TEST_F(LoopEditorModelTest, ClicksNeedAChosenPartAndLeaveAtLeast64Frames) {
    StoreLoop(2, 5000, 1000); // loop 2: 4001..5000
    Open();
    EXPECT_FALSE(model.LeftClick(PixelOf(3000), 50)); // no part chosen yet

    ASSERT_TRUE(model.SelectLoop(2));
    EXPECT_FALSE(model.LeftClick(PixelOf(4960), 50)); // 41 frames would remain
    EXPECT_TRUE(model.LeftClick(PixelOf(4930), 50));
    EXPECT_EQ(model.Figures(), (RegionFigures{4930, 5000, 71, 0}));
    EXPECT_TRUE(model.RightClick(PixelOf(6000), 50));
    EXPECT_EQ(model.Figures(), (RegionFigures{4930, 6000, 1071, 0}));
    EXPECT_FALSE(model.RightClick(PixelOf(4980), 50));

    model.SelectSound();
    EXPECT_TRUE(model.LeftClick(PixelOf(100), 50));
    EXPECT_TRUE(model.RightClick(PixelOf(8000), 50));
    EXPECT_EQ(model.Figures(), (RegionFigures{100, 8000, 7901, 0}));
    EXPECT_FALSE(model.LeftClick(width - 1, 50)); // the picture's last column

    model.ZoomAll(); // the sound stays chosen
    EXPECT_EQ(model.CurrentPart(), LoopEditorModel::soundPart);
    EXPECT_TRUE(model.LeftClick(PixelOf(200), 50));
}

TEST_F(LoopEditorModelTest, TypedEdgesFollowTheClickRulesWithinTheSample) {
    StoreLoop(2, 5000, 1000); // loop 2: 4001..5000
    Open();
    EXPECT_FALSE(model.TypeStart(3000)); // no part chosen yet
    ASSERT_TRUE(model.SelectLoop(2));
    EXPECT_FALSE(model.TypeStart(4960)); // 41 frames would remain
    EXPECT_TRUE(model.TypeStart(4937));
    EXPECT_EQ(model.Figures(), (RegionFigures{4937, 5000, 64, 0}));
    EXPECT_TRUE(model.TypeLength(100));
    EXPECT_EQ(model.Figures(), (RegionFigures{4937, 5036, 100, 0}));
    EXPECT_FALSE(model.TypeLength(63));
    model.SelectSound();
    ASSERT_TRUE(model.TypeStart(100));
    ASSERT_TRUE(model.TypeEnd(5000));
    EXPECT_TRUE(model.TypeEnd(1 << 30)); // kept inside the sample
    EXPECT_TRUE(model.TypeStart(-5));
    EXPECT_EQ(model.Figures(), (RegionFigures{0, trackFrames - 1, trackFrames, 0}));
}

TEST_F(LoopEditorModelTest, FindLoopProposesTheBestEndThenTheNextBest) {
    // A 100-frame period: only whole periods join cleanly, and 100 ms hold many of them.
    Frames tone(trackFrames);
    for (std::size_t i = 0; i < tone.size(); ++i) {
        tone[i] = static_cast<std::int16_t>(i % 100 < 50 ? 1000 + i % 7 : -1000 - i % 3);
    }
    block.sampleRate = 44100;
    StoreLoop(1, 4099, 1000); // 3100..4099: starts where the wave rises through zero
    Open(tone);
    EXPECT_FALSE(model.FindLoop(false)); // the sound is no loop
    ASSERT_TRUE(model.SelectLoop(1));
    std::vector<std::int64_t> ends;
    for (int press = 0; press < 3; ++press) {
        ASSERT_TRUE(model.FindLoop(false));
        EXPECT_EQ(model.Figures().start, 3100);
        EXPECT_EQ(model.Figures().length % 100, 0);
        ends.push_back(model.Figures().end);
    }
    EXPECT_NE(ends[0], ends[1]);
    EXPECT_NE(ends[1], ends[2]);
}

TEST_F(LoopEditorModelTest, AJoinThatStillJumpsAfterFindLoopIsCalledPoor) {
    // A rising ramp never comes back to a value it had: no end joins a start cleanly.
    Frames ramp(trackFrames);
    for (std::size_t i = 0; i < ramp.size(); ++i) {
        ramp[i] = static_cast<std::int16_t>(static_cast<int>(i) * 6 - 30000);
    }
    block.sampleRate = 44100;
    StoreLoop(1, 9800, 9000); // 801..9800: ends are searched from 5390 on
    Open(ramp);
    ASSERT_TRUE(model.SelectLoop(1));
    EXPECT_TRUE(model.FindLoop(false));
    EXPECT_TRUE(model.PoorJoin());
    // 64 frames of ramp jump by 384, about 1 % of full scale: not a click.
    ASSERT_TRUE(model.TypeStart(model.Figures().end - 63));
    EXPECT_FALSE(model.PoorJoin());
}

TEST_F(LoopEditorModelTest, ChoosingALoopOnlyShowsItAndEditingItMakesItPlay) {
    StoreLoop(3, 5000, 1000);
    block.loopCount = 1;
    Open();
    model.SelectLoop(3);
    model.SelectLoop(1);
    EXPECT_EQ(model.LoopCount(), 1);
    EXPECT_EQ(model.LoopMode(), program::loopNone);
    model.SelectLoop(3);
    EXPECT_TRUE(model.DwellEnabled());
    ASSERT_TRUE(model.TypeStart(4500));
    EXPECT_EQ(model.LoopCount(), 3);
    EXPECT_EQ(model.LoopMode(), program::loopNormal);
    ASSERT_TRUE(model.SetLoopMode(program::loopUntilRelease));
    model.SelectLoop(2);
    ASSERT_TRUE(model.TypeEnd(6000));
    EXPECT_EQ(model.LoopCount(), 3); // never lowered
    EXPECT_EQ(model.LoopMode(), program::loopUntilRelease);
}

TEST_F(LoopEditorModelTest, SnapsTakeTheNextNearZeroFrameWithinTheirLimits) {
    Frames frames(trackFrames, 1000);
    frames[150] = 0;
    frames[151] = -3;
    frames[9000] = 1;
    frames[10200] = 0;
    frames[10240] = 0; // the last frame
    block.soundEnd = 10239;
    Open(frames);
    ASSERT_TRUE(model.SetSnapLevel(0)); // only frames that are exactly 0
    model.SelectSound();

    EXPECT_TRUE(model.SnapStartRight());
    EXPECT_EQ(block.soundStart, 150u);
    EXPECT_FALSE(model.SnapStartRight()); // 10200 would leave 40 frames
    EXPECT_FALSE(model.SnapStartLeft());  // nothing near zero before 150
    EXPECT_EQ(block.soundStart, 150u);
    EXPECT_TRUE(model.SnapEndLeft());
    EXPECT_EQ(block.soundEnd, 10200u);
    EXPECT_FALSE(model.SnapEndLeft()); // 150 would leave one frame
    ASSERT_TRUE(model.SetSnapLevel(1));
    EXPECT_TRUE(model.SnapEndLeft());
    EXPECT_EQ(block.soundEnd, 9000u);
    EXPECT_TRUE(model.SnapEndRight());
    EXPECT_EQ(block.soundEnd, 10200u);

    // A loop snaps only inside the sound; the sound itself may grow to the last frame.
    ASSERT_TRUE(model.SelectLoop(1));
    EXPECT_EQ(model.Figures().end, 9000); // pulled in when the sound ended there
    EXPECT_TRUE(model.SnapEndRight());
    EXPECT_EQ(model.Figures().end, 10200);
    EXPECT_FALSE(model.SnapEndRight()); // 10240 lies past the sound's end
    model.SelectSound();
    EXPECT_TRUE(model.SnapEndRight());
    EXPECT_EQ(block.soundEnd, 10240u);

    ASSERT_TRUE(model.SelectLoop(1));
    ASSERT_TRUE(model.LeftClick(PixelOf(400), 50));
    ASSERT_TRUE(model.SetSnapLevel(3));
    EXPECT_TRUE(model.SnapStartLeft());
    EXPECT_EQ(model.Figures().start, 151);
    EXPECT_TRUE(model.SnapStartLeft());
    EXPECT_EQ(model.Figures().start, 150);
    EXPECT_FALSE(model.SnapStartLeft()); // a loop cannot start before the sound
}

TEST_F(LoopEditorModelTest, RemoveSilenceTrimsBothEndsOrLeavesAnAllQuietSoundAlone) {
    Frames frames(trackFrames, 0);
    for (std::size_t i = 0; i < 300; ++i) {
        frames[i] = static_cast<std::int16_t>(i % 2 == 0 ? 10 : -10);
    }
    frames[300] = 11;
    frames[7000] = -11;
    Open(frames);
    ASSERT_TRUE(model.SetSnapLevel(10));
    EXPECT_TRUE(model.RemoveSilence());
    EXPECT_EQ(block.soundStart, 300u);
    EXPECT_EQ(block.soundEnd, 7000u);

    ASSERT_TRUE(model.SetSnapLevel(11));
    EXPECT_FALSE(model.RemoveSilence());
    EXPECT_EQ(block.soundStart, 300u);
    EXPECT_EQ(block.soundEnd, 7000u);
}

TEST_F(LoopEditorModelTest, TheSnapLevelStartsFromTheMeanUnlessItIsLoud) {
    Open(Frames(trackFrames, 600));
    EXPECT_EQ(model.SnapLevel(), 0);

    model.Finish();
    block = NewBlock(10);
    Frames quietOffset(10, -13);
    quietOffset[0] = quietOffset[1] = quietOffset[2] = -12; // mean -12.7
    Open(quietOffset);
    EXPECT_EQ(model.SnapLevel(), 12);
}

TEST_F(LoopEditorModelTest, TypedValuesAreRangeCheckedAndSpinsStopAtTheirEnds) {
    Open();
    EXPECT_TRUE(model.SetSnapLevel(999));
    EXPECT_FALSE(model.SetSnapLevel(1000));
    EXPECT_EQ(model.SnapLevel(), 999);
    ASSERT_TRUE(model.SetSnapLevel(500));
    model.SnapSpin(Spin::up);
    EXPECT_EQ(model.SnapLevel(), 500);
    ASSERT_TRUE(model.SetSnapLevel(0));
    model.SnapSpin(Spin::down);
    EXPECT_EQ(model.SnapLevel(), 0);

    EXPECT_FALSE(model.SetLoopCount(5));
    ASSERT_TRUE(model.SetLoopCount(4));
    model.LoopCountSpin(Spin::up);
    EXPECT_EQ(model.LoopCount(), 4);
    EXPECT_FALSE(model.SetLoopMode(4));

    model.SelectSound();
    EXPECT_TRUE(model.SetDwell(500)); // accepted, but the sound has no dwell
    EXPECT_EQ(model.Figures().dwell, 0);
    model.SelectLoop(2);
    EXPECT_FALSE(model.SetDwell(10000));
    EXPECT_TRUE(model.SetDwell(9999));
    EXPECT_EQ(block.loopDwell[1], 9999u);
}

TEST_F(LoopEditorModelTest, TheSoundsViewShowsLoopStripesOnlyWhenTheyWillPlay) {
    block.soundStart = 1000;
    block.soundEnd = 9000;
    StoreLoop(1, 2000, 1000);
    StoreLoop(2, 6000, 1000);
    block.loopCount = 2;
    Open();
    model.SelectSound();
    ASSERT_EQ(model.Bands().size(), 1u); // "No looping"
    EXPECT_EQ(model.Bands()[0].colourIndex, 0);

    ASSERT_TRUE(model.SetLoopMode(program::loopNormal));
    const auto bands = model.Bands();
    ASSERT_EQ(bands.size(), 3u);
    // Loop 1 is frames 2001..3000, loop 2 6001..7000; 1023 / 10240 pixels per frame.
    EXPECT_EQ(bands[1], (WaveBand{199, 0, 299, 100, 1}));
    EXPECT_EQ(bands[2], (WaveBand{599, 100, 699, 200, 2}));

    model.ZoomRegion();
    EXPECT_EQ(model.View().ViewStart(), 1000);
    EXPECT_EQ(model.View().ViewEnd(), 9000);
}

class LoopEditorFileTest : public ::testing::Test {
protected:
    std::string Write(const std::vector<std::int16_t>& samples, std::uint16_t channels) {
        const auto path = dir / "take.wav";
        WriteFile(path, WavBuilder::Canonical(channels, 44100, 16, samples));
        return path.string();
    }

    TempDir dir;
    RecordingMessages messages;
    program::WavInfo wav{messages};
};

TEST_F(LoopEditorFileTest, AFileOpensAsTheTrackItsFramesGive) {
    SampleBlock block = NewBlock(50); // more frames than the file holds
    LoopEditorModel model(block);
    ASSERT_EQ(model.Open(wav, Write({100, -101, 101, 100, -3, -4}, 2)), LoopEditorStatus::ok);
    EXPECT_EQ(Frames(model.Waveform().begin(), model.Waveform().end()), (Frames{0, 100, -3}));
    EXPECT_EQ(block.frameCount, 3u);
}

TEST_F(LoopEditorFileTest, FailuresLeaveTheEntryAsItWas) {
    SampleBlock block = NewBlock(1000);
    block.soundStart = 10;
    const auto before = Stored(block);
    {
        LoopEditorModel model(block);
        EXPECT_EQ(model.Open(wav, (dir / "missing.wav").string()), LoopEditorStatus::fileNotRead);
        ASSERT_EQ(messages.messages.size(), 1u); // the reader's own message
        EXPECT_EQ(messages.messages[0].text, "Error: Can't open File !");
    }
    {
        LoopEditorModel model(block, 999);
        EXPECT_EQ(model.Open(wav, Write(Frames(1000, 7), 1)), LoopEditorStatus::memoryAllocError);
        EXPECT_EQ(LoopEditorModel::memoryAllocErrorText, "Waveform : Memory alloc error");
        EXPECT_FALSE(model.IsOpen());
    }
    {
        LoopEditorModel model(block);
        EXPECT_EQ(model.Open(wav, Write({}, 1)), LoopEditorStatus::noFrames);
    }
    EXPECT_EQ(Stored(block), before);
    EXPECT_FALSE(wav.IsOpen());
}

} // namespace
} // namespace velomire::editing
