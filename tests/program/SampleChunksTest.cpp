#include "program/SampleChunks.h"
#include "program/AddSample.h"
#include "program/ByteWriter.h"
#include "program/WavInfo.h"
#include "program/WavWriter.h"
#include "support/RecordingMessages.h"
#include "support/WavBuilder.h"

#include <gtest/gtest.h>

#include <memory>

using namespace velomire::program;
using velomire::testing::RecordingMessages;
using velomire::testing::TempDir;
using velomire::testing::WavBuilder;
using velomire::testing::WriteFile;

namespace {

void PutU32(std::vector<std::uint8_t>& out, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) {
        out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
    }
}

// A "smpl" body as sample editors write it; loopCountField overrides the stored loop count.
std::vector<std::uint8_t> Smpl(std::uint32_t unityNote,
                               const std::vector<SampleChunks::Loop>& loops,
                               std::uint32_t loopCountField = ~0u) {
    std::vector<std::uint8_t> body;
    for (const std::uint32_t v : {0u, 0u, 22676u, unityNote, 0u, 0u, 0u}) {
        PutU32(body, v);
    }
    PutU32(body, loopCountField == ~0u ? static_cast<std::uint32_t>(loops.size()) : loopCountField);
    PutU32(body, 0); // sampler data bytes
    for (const auto& loop : loops) {
        for (const std::uint32_t v : {0u, loop.type, loop.start, loop.end, 0u, 0u}) {
            PutU32(body, v);
        }
    }
    return body;
}

std::vector<std::uint8_t> Inst(std::uint8_t low, std::uint8_t high) {
    return {60, 0, 0, low, high, 1, 127};
}

// The bytes a row is saved as.
std::vector<std::uint8_t> Stored(const SampleEntry& entry) {
    std::vector<std::uint8_t> bytes;
    ByteWriter out(bytes);
    entry.sample.Write(out);
    entry.keygroup.Write(out);
    return bytes;
}

class SampleChunksTest : public ::testing::Test {
protected:
    // Adds a mono 1001-frame file whose sampler chunks follow the data.
    const SampleEntry& Add(const std::vector<std::uint8_t>& smpl,
                           const std::vector<std::uint8_t>& inst = {}) {
        WavBuilder wav;
        wav.Riff().Fmt(1, 44100, 16).Data(std::vector<std::int16_t>(1001, 5));
        if (!smpl.empty()) {
            wav.Chunk("smpl", smpl);
        }
        if (!inst.empty()) {
            wav.Chunk("inst", inst);
        }
        const std::string name = "s" + std::to_string(program->sampleCount) + ".wav";
        WriteFile(dir / name, wav.Bytes());
        EXPECT_TRUE(AddSample(*program, name, messages));
        return program->samples[static_cast<std::size_t>(program->sampleCount - 1)];
    }

    TempDir dir;
    velomire::testing::WorkingDirectoryGuard inDir{dir.Path()};
    RecordingMessages messages;
    std::unique_ptr<Program> program = std::make_unique<Program>();
};

} // namespace

TEST_F(SampleChunksTest, PitchLoopsAndKeyRangeComeFromTheChunksBehindTheData) {
    const SampleEntry& e = Add(Smpl(48, {{100, 899, 0}, {10, 20, 1}}), Inst(36, 59));
    EXPECT_EQ(e.sample.rootKey, 48);
    EXPECT_EQ(e.sample.loopCount, 2);
    EXPECT_EQ(e.sample.loopMode, loopNormal);
    EXPECT_EQ(e.sample.Loop(0), (LoopSpec{899, 800, 9999}));
    EXPECT_EQ(e.sample.Loop(1), (LoopSpec{20, 11, 0}));
    EXPECT_EQ(e.sample.Loop(2), (LoopSpec{999, 1000, 0})); // untouched default
    EXPECT_EQ(e.keygroup.lowKey, 36);
    EXPECT_EQ(e.keygroup.highKey, 59);
    EXPECT_TRUE(messages.messages.empty());
}

TEST_F(SampleChunksTest, AFileWithoutSamplerChunksGetsExactlyTheDefaults) {
    const SampleEntry& added = Add({});
    WavInfo wav(messages);
    ASSERT_TRUE(wav.Open("s0.wav"));
    auto fresh = std::make_unique<Program>();
    fresh->InitSampleEntry(0, "s0.wav", wav);
    EXPECT_EQ(Stored(added), Stored(fresh->samples[0]));
}

TEST_F(SampleChunksTest, ValuesTheSoundCannotHoldAreDropped) {
    // A unity note below C0, loops outside the sound or upside down, a fifth usable loop.
    const SampleEntry& e = Add(Smpl(12, {{0, 1001, 0},
                                         {500, 400, 0},
                                         {0, 1000, 0},
                                         {1, 2, 0},
                                         {3, 4, 2},
                                         {5, 6, 0},
                                         {7, 8, 0}}),
                               Inst(0, 127));
    EXPECT_EQ(e.sample.rootKey, 60);
    EXPECT_EQ(e.sample.loopCount, 4);
    EXPECT_EQ(e.sample.Loop(0), (LoopSpec{1000, 1001, 9999}));
    EXPECT_EQ(e.sample.Loop(3), (LoopSpec{6, 2, 0}));
    EXPECT_EQ(e.keygroup.lowKey, 24);
    EXPECT_EQ(e.keygroup.highKey, 127);

    const SampleEntry& upsideDown = Add(Smpl(200, {}), Inst(100, 20));
    EXPECT_EQ(upsideDown.sample.rootKey, 60);
    EXPECT_EQ(upsideDown.sample.loopMode, loopNone);
    EXPECT_EQ(upsideDown.keygroup.lowKey, 24);
    EXPECT_EQ(upsideDown.keygroup.highKey, 127);
}

TEST_F(SampleChunksTest, TruncatedAndLyingChunksGiveOnlyWhatIsReallyThere) {
    SampleChunks chunks;
    const auto full = Smpl(50, {{1, 2, 0}, {3, 4, 0}}, 100000);
    ParseSmplChunk(std::span(full).first(smplHeadBytes - 1), chunks);
    const auto inst = Inst(30, 40);
    ParseInstChunk(std::span(inst).first(instBytes - 1), chunks);
    EXPECT_TRUE(chunks.Empty());

    // The count claims 100000 loops and the last loop is cut short: one loop is really there.
    ParseSmplChunk(std::span(full).first(full.size() - 1), chunks);
    EXPECT_EQ(chunks.unityNote, 50u);
    EXPECT_EQ(chunks.loops, (std::vector<SampleChunks::Loop>{{1, 2, 0}}));

    // A chunk at the end of the file whose size runs past it is read as far as it goes.
    auto bytes = WavBuilder()
                     .Riff()
                     .Fmt(1, 44100, 16)
                     .Data(std::vector<std::int16_t>(10, 0))
                     .Chunk("smpl", full)
                     .Bytes();
    bytes[bytes.size() - full.size() - 4] = 0xFF; // size field of the smpl chunk
    WavInfo wav(messages);
    ASSERT_TRUE(wav.OpenBytes("lying.wav", bytes));
    EXPECT_EQ(wav.Chunks().loops.size(), 2u);
}

TEST(SampleChunksWriter, WhatTheWriterPutsInAWavTheReaderReadsBack) {
    SampleChunks written;
    written.unityNote = 48;
    written.loops = {{10, 99, 0}, {20, 30, 1}};
    written.lowKey = 36;
    written.highKey = 40;
    const std::vector<std::int16_t> frames(101, -5);
    RecordingMessages messages;
    WavInfo wav(messages);
    ASSERT_TRUE(wav.OpenBytes("x.wav", WavWriter::Image(1, 22050, frames, written)));
    EXPECT_EQ(wav.Chunks().unityNote, written.unityNote);
    EXPECT_EQ(wav.Chunks().loops, written.loops);
    EXPECT_EQ(wav.Chunks().lowKey, written.lowKey);
    EXPECT_EQ(wav.Chunks().highKey, written.highKey);
    EXPECT_EQ(wav.FrameCount(), frames.size());
    // Without a key range there is no "inst" chunk to read one from.
    written.lowKey.reset();
    written.highKey.reset();
    ASSERT_TRUE(wav.OpenBytes("y.wav", WavWriter::Image(1, 22050, frames, written)));
    EXPECT_FALSE(wav.Chunks().lowKey);
}
