#include "program/WavInfo.h"

#include "support/RecordingMessages.h"
#include "support/WavBuilder.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace velomire::program {
namespace {

using velomire::testing::RecordingMessages;
using velomire::testing::TempDir;
using velomire::testing::WavBuilder;
using velomire::testing::WriteFile;
using Bytes = std::vector<std::uint8_t>;
using Frames = std::vector<std::int32_t>;

const std::string invalid = "Error: Invalid .Wav File !";
const std::vector<std::int16_t> fourSamples{1, -2, 300, -32768};
const Frames fourFrames{1, -2, 300, -32768};

// Bytes that would be loud, wrong sound if a chunk after the data were read as samples.
const Bytes listBody{'I', 'N', 'F', 'O', 'I', 'C', 'M', 'T', 4, 0, 0, 0, 0x7F, 0x7F, 0x7F, 0x7F};

// Reads the frames the header promises, in the given part.
Frames ReadAll(WavInfo& wav, int part) {
    Frames frames;
    for (std::uint32_t i = 0; i < wav.FrameCount(); ++i) {
        frames.push_back(wav.ReadFrame(part));
    }
    return frames;
}

class WavInfoTest : public ::testing::Test {
protected:
    RecordingMessages messages;
    WavInfo wav{messages};
};

TEST_F(WavInfoTest, ReadsCanonicalMonoFileByRelativeAndAbsolutePath) {
    TempDir dir;
    WriteFile(dir / "mono.wav", WavBuilder::Canonical(1, 44100, 16, fourSamples));

    const auto previous = std::filesystem::current_path();
    std::filesystem::current_path(dir.Path());
    const bool openedRelative = wav.Open("mono.wav");
    std::filesystem::current_path(previous);
    EXPECT_TRUE(openedRelative);

    ASSERT_TRUE(wav.Open((dir / "mono.wav").string()));
    EXPECT_TRUE(wav.IsOpen());
    EXPECT_EQ(wav.Channels(), 1);
    EXPECT_EQ(wav.Rate(), 44100u);
    EXPECT_EQ(wav.Bits(), 16);
    EXPECT_EQ(wav.DataOffset(), 44u);
    EXPECT_EQ(wav.DataBytes(), 8u);
    EXPECT_EQ(wav.FrameCount(), 4u);
    EXPECT_EQ(ReadAll(wav, 0), fourFrames);
    EXPECT_EQ(wav.ReadFrame(0), 0);
    EXPECT_TRUE(messages.messages.empty());
}

TEST_F(WavInfoTest, FindsFormatAndDataInAnyChunkLayout) {
    struct Layout {
        const char* what;
        Bytes bytes;
        std::uint64_t dataOffset;
    };
    const std::vector<Layout> layouts{
        {"fact before data",
         WavBuilder()
             .Riff()
             .Fmt(1, 44100, 16)
             .Chunk("fact", {4, 0, 0, 0})
             .Data(fourSamples)
             .Bytes(),
         56},
        {"18-byte fmt", WavBuilder().Riff().Fmt(1, 44100, 16, 18).Data(fourSamples).Bytes(), 46},
        {"40-byte extensible fmt",
         WavBuilder().Riff().Fmt(1, 44100, 16, 40, 0xFFFE).Data(fourSamples).Bytes(), 68},
        {"LIST before data",
         WavBuilder().Riff().Fmt(1, 44100, 16).Chunk("LIST", listBody).Data(fourSamples).Bytes(),
         68},
        {"odd-sized chunk with pad byte before fmt",
         WavBuilder().Riff().Chunk("JUNK", {9, 9, 9}).Fmt(1, 44100, 16).Data(fourSamples).Bytes(),
         56},
        {"data before fmt", WavBuilder().Riff().Data(fourSamples).Fmt(1, 44100, 16).Bytes(), 20},
        {"other tag than RIFF",
         WavBuilder().Riff("RIFX").Fmt(1, 44100, 16).Data(fourSamples).Bytes(), 44},
    };
    for (const auto& layout : layouts) {
        SCOPED_TRACE(layout.what);
        ASSERT_TRUE(wav.OpenBytes("layout.wav", layout.bytes));
        EXPECT_EQ(wav.DataOffset(), layout.dataOffset);
        EXPECT_EQ(wav.Channels(), 1);
        EXPECT_EQ(wav.Rate(), 44100u);
        EXPECT_EQ(ReadAll(wav, 0), fourFrames);
        EXPECT_EQ(wav.ReadFrame(0), 0);
    }
    EXPECT_TRUE(messages.messages.empty());
}

TEST_F(WavInfoTest, NeverReadsChunksAfterDataAsSound) {
    ASSERT_TRUE(wav.OpenBytes(
        "tail.wav",
        WavBuilder().Riff().Fmt(2, 44100, 16).Data(fourSamples).Chunk("LIST", listBody).Bytes()));
    EXPECT_EQ(wav.FrameCount(), 2u);
    EXPECT_EQ(ReadAll(wav, 1), (Frames{1, 300}));
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(wav.ReadFrame(1), 0);
    }
    wav.Seek(2);
    EXPECT_EQ(wav.ReadFrame(1), 0);
}

TEST_F(WavInfoTest, RefusesOtherBitDepthsButStillReportsTheirHeader) {
    for (const std::uint16_t bits : {8, 24}) {
        SCOPED_TRACE(bits);
        messages.messages.clear();
        EXPECT_FALSE(
            wav.OpenBytes("loud.wav", WavBuilder::Canonical(2, 22050, bits, {1, 2, 3, 4, 5, 6})));
        EXPECT_FALSE(wav.IsOpen());
        EXPECT_EQ(messages.messages,
                  (std::vector<RecordingMessages::Message>{{invalid, "loud.wav"}}));
        EXPECT_EQ(wav.Bits(), bits);
        EXPECT_EQ(wav.Channels(), 2);
        EXPECT_EQ(wav.Rate(), 22050u);
        EXPECT_EQ(wav.DataBytes(), 12u);
        EXPECT_EQ(wav.ReadFrame(0), 0);
    }
}

TEST_F(WavInfoTest, RefusesHeadersItCannotServe) {
    Bytes fmtCutOff = WavBuilder().Riff().Data(fourSamples).Fmt(1, 44100, 16).Bytes();
    fmtCutOff.resize(fmtCutOff.size() - 2);
    const std::vector<std::pair<const char*, Bytes>> cases{
        {"no WAVE form",
         WavBuilder().Riff("RIFF", "AVI ").Fmt(1, 44100, 16).Data(fourSamples).Bytes()},
        {"no fmt", WavBuilder().Riff().Data(fourSamples).Bytes()},
        {"no data", WavBuilder().Riff().Fmt(1, 44100, 16).Bytes()},
        {"0 channels", WavBuilder::Canonical(0, 44100, 16, fourSamples)},
        {"3 channels", WavBuilder::Canonical(3, 44100, 16, {1, 2, 3, 4, 5, 6})},
        {"rate 0", WavBuilder::Canonical(1, 0, 16, fourSamples)},
        {"14-byte fmt", WavBuilder().Riff().Fmt(1, 44100, 16, 14).Data(fourSamples).Bytes()},
        {"fmt cut off by end of file", fmtCutOff},
        {"empty file", {}},
    };
    for (const auto& [what, bytes] : cases) {
        SCOPED_TRACE(what);
        messages.messages.clear();
        EXPECT_FALSE(wav.OpenBytes("bad.wav", bytes));
        EXPECT_FALSE(wav.IsOpen());
        EXPECT_EQ(messages.messages,
                  (std::vector<RecordingMessages::Message>{{invalid, "bad.wav"}}));
    }
}

TEST_F(WavInfoTest, EveryPrefixOfAFileIsRefusedOrReadUpToItsEnd) {
    const Bytes whole =
        WavBuilder().Riff().Fmt(2, 44100, 16).Data(fourSamples).Chunk("LIST", listBody).Bytes();
    for (std::size_t size = 0; size <= whole.size(); ++size) {
        SCOPED_TRACE(size);
        const bool opened = wav.OpenBytes("cut.wav", Bytes(whole.begin(), whole.begin() + size));
        // The data chunk header ends at byte 44; without it the file has no data chunk.
        ASSERT_EQ(opened, size >= 44);
        if (!opened) {
            continue;
        }
        const std::size_t available = std::min<std::size_t>(size - 44, 8);
        EXPECT_EQ(wav.DataBytes(), available);
        EXPECT_EQ(wav.FrameCount(), available / 4);
        const Frames lefts{1, 300};
        EXPECT_EQ(ReadAll(wav, 1), Frames(lefts.begin(), lefts.begin() + available / 4));
        EXPECT_EQ(wav.ReadFrame(1), 0);
    }
}

TEST_F(WavInfoTest, ReportsFileThatCannotBeOpened) {
    TempDir dir;
    std::vector<std::string> paths = {(dir / "missing.wav").string(), dir.Path().string()};
#ifndef _WIN32
    ASSERT_EQ(mkfifo((dir / "fifo.wav").c_str(), 0600), 0); // refused, never waited on
    paths.push_back((dir / "fifo.wav").string());
#endif
    for (const auto& path : paths) {
        messages.messages.clear();
        EXPECT_FALSE(wav.Open(path));
        EXPECT_FALSE(wav.IsOpen());
        EXPECT_EQ(messages.messages,
                  (std::vector<RecordingMessages::Message>{{"Error: Can't open File !", path}}));
    }
}

TEST_F(WavInfoTest, SplitsStereoFramesIntoPartsTruncatingTheMixTowardZero) {
    const Bytes stereo =
        WavBuilder::Canonical(2, 44100, 16, {1000, -3001, -1, 0, 32767, 32767, -32768, -32767});
    ASSERT_TRUE(wav.OpenBytes("st.wav", stereo));
    const std::vector<std::pair<int, Frames>> parts{
        {0, {-1000, 0, 32767, -32767}},
        {1, {1000, -1, 32767, -32768}},
        {2, {-3001, 0, 32767, -32767}},
        {3, {-1000, 0, 32767, -32767}},
        {4, {0, 0, 0, 0}},
        {-1, {0, 0, 0, 0}},
    };
    for (const auto& [part, expected] : parts) {
        SCOPED_TRACE(part);
        wav.Seek(0);
        EXPECT_EQ(ReadAll(wav, part), expected);
        // Even a part that yields nothing consumed the frames.
        EXPECT_EQ(wav.ReadFrame(1), 0);
    }

    ASSERT_TRUE(wav.OpenBytes("mono.wav", WavBuilder::Canonical(1, 44100, 16, {-5, 7})));
    EXPECT_EQ(wav.ReadFrame(1), -5);
    EXPECT_EQ(wav.ReadFrame(2), 0);
}

TEST_F(WavInfoTest, ReadsAndSeeksAcrossBufferRefills) {
    // 300000 bytes of data span several 64 KiB read-ahead blocks.
    constexpr std::uint32_t frameCount = 75000;
    std::vector<std::int16_t> samples;
    for (std::uint32_t i = 0; i < frameCount; ++i) {
        samples.push_back(static_cast<std::int16_t>(i));
        samples.push_back(static_cast<std::int16_t>(~i));
    }
    TempDir dir;
    WriteFile(dir / "long.wav", WavBuilder::Canonical(2, 44100, 16, samples));
    ASSERT_TRUE(wav.Open((dir / "long.wav").string()));
    ASSERT_EQ(wav.FrameCount(), frameCount);

    std::uint32_t wrong = 0;
    for (std::uint32_t i = 0; i < frameCount; ++i) {
        wrong += wav.ReadFrame(1) != static_cast<std::int16_t>(i);
    }
    EXPECT_EQ(wrong, 0u);
    EXPECT_EQ(wav.ReadFrame(1), 0);

    for (const std::uint32_t frame : {70000u, 3u, 16384u, 16383u, frameCount - 1}) {
        SCOPED_TRACE(frame);
        wav.Seek(frame);
        EXPECT_EQ(wav.ReadFrame(2), static_cast<std::int16_t>(~frame));
        EXPECT_EQ(wav.ReadFrame(1),
                  static_cast<std::int16_t>(frame + 1 < frameCount ? frame + 1 : 0));
    }
    // 0x40000001 frames of 4 bytes wrap to byte 4 in 32-bit arithmetic.
    for (const std::uint32_t frame : {frameCount, 0x40000001u, 0xFFFFFFFFu}) {
        wav.Seek(frame);
        EXPECT_EQ(wav.ReadFrame(1), 0);
    }
}

TEST_F(WavInfoTest, DerivesTimingFromTheHeader) {
    ASSERT_TRUE(wav.OpenBytes(
        "a.wav", WavBuilder::Canonical(1, 44100, 16, std::vector<std::int16_t>(44100))));
    EXPECT_EQ(wav.PeriodNs(), 22676u);
    EXPECT_EQ(wav.S900Shift(), 27u);
    EXPECT_DOUBLE_EQ(wav.Seconds(), 1.0);

    ASSERT_TRUE(wav.OpenBytes(
        "b.wav", WavBuilder::Canonical(2, 22050, 16, std::vector<std::int16_t>(11025))));
    EXPECT_EQ(wav.PeriodNs(), 45352u);
    EXPECT_EQ(wav.S900Shift(), 13u);
    EXPECT_EQ(wav.FrameCount(), 5512u);
    EXPECT_DOUBLE_EQ(wav.Seconds(), 11025.0 / 2 / 22050);

    // A rate no sampler has must not overflow the 32-bit product.
    EXPECT_FALSE(wav.OpenBytes("c.wav", WavBuilder::Canonical(1, 0xFFFFFFFF, 8, fourSamples)));
    EXPECT_EQ(wav.S900Shift(), 2629571u);
    EXPECT_FALSE(wav.OpenBytes("d.wav", WavBuilder::Canonical(0, 0, 0, fourSamples)));
    EXPECT_EQ(wav.PeriodNs(), 0u);
    EXPECT_EQ(wav.FrameCount(), 0u);
    EXPECT_EQ(wav.Seconds(), 0.0);
}

TEST_F(WavInfoTest, NameIsTheFirstTwelveCharactersCutAtTheFirstDot) {
    const std::vector<std::pair<std::string, std::string>> names{
        {"drumloop_120bpm.wav", "drumloop_120"},
        {"a.b.wav", "a"},
        {"LongSampleName01.wav", "LongSampleNa"},
        {"kick.drum.wav", "kick"},
        {"bass", "bass"},
    };
    for (const auto& [path, name] : names) {
        wav.OpenBytes(path, {});
        EXPECT_EQ(wav.Name(), name);
    }
}

TEST_F(WavInfoTest, CanBeReusedAfterCloseWithoutStaleFrames) {
    ASSERT_TRUE(wav.OpenBytes("one.wav", WavBuilder::Canonical(2, 44100, 16, {11, 12, 13, 14})));
    EXPECT_EQ(wav.ReadFrame(1), 11);
    wav.Close();
    EXPECT_FALSE(wav.IsOpen());
    EXPECT_EQ(wav.ReadFrame(1), 0);

    ASSERT_TRUE(wav.OpenBytes("two.wav", WavBuilder::Canonical(1, 22050, 16, {21, 22, 23})));
    EXPECT_EQ(ReadAll(wav, 0), (Frames{21, 22, 23}));
    // Opening over an open file replaces it and starts at its first frame.
    ASSERT_TRUE(wav.OpenBytes("three.wav", WavBuilder::Canonical(1, 22050, 16, {31, 32})));
    EXPECT_EQ(ReadAll(wav, 0), (Frames{31, 32}));
}

// Files written by an independent tool, compared against what that tool reports.
class WavInfoSoxTest : public WavInfoTest {
protected:
    void SetUp() override {
        if (std::system("sox --version >/dev/null 2>&1") != 0) {
            GTEST_SKIP() << "sox is not on PATH";
        }
    }

    int Run(const std::string& command) { return std::system((command + " 2>/dev/null").c_str()); }

    std::uint32_t Soxi(const char* option, const std::filesystem::path& file) {
        const auto out = dir / "soxi.txt";
        Run("soxi " + std::string(option) + " '" + file.string() + "' >'" + out.string() + "'");
        std::uint32_t value = 0;
        std::ifstream(out) >> value;
        return value;
    }

    TempDir dir;
};

TEST_F(WavInfoSoxTest, AgreesWithSoxOnChannelsRateLengthAndSamples) {
    for (const std::string format : {"-r 22050 -c 2", "-r 44100 -c 1"}) {
        SCOPED_TRACE(format);
        const auto wavPath = dir / "s.wav";
        const auto rawPath = dir / "s.raw";
        ASSERT_EQ(Run("sox -n " + format + " -b 16 '" + wavPath.string() +
                      "' synth 0.1 sine 440 sine 1300"),
                  0);
        ASSERT_EQ(Run("sox '" + wavPath.string() + "' -t raw -e signed -b 16 -L '" +
                      rawPath.string() + "'"),
                  0);
        ASSERT_TRUE(wav.Open(wavPath.string()));
        EXPECT_EQ(wav.Channels(), Soxi("-c", wavPath));
        EXPECT_EQ(wav.Rate(), Soxi("-r", wavPath));
        EXPECT_EQ(wav.FrameCount(), Soxi("-s", wavPath));

        const Bytes raw = velomire::testing::ReadFile(rawPath);
        ASSERT_EQ(raw.size(), std::size_t{wav.FrameCount()} * wav.Channels() * 2);
        std::size_t wrong = 0;
        for (int channel = 0; channel < wav.Channels(); ++channel) {
            wav.Seek(0);
            for (std::size_t at = channel * 2u; at < raw.size(); at += wav.Channels() * 2u) {
                wrong += wav.ReadFrame(channel + 1) !=
                         static_cast<std::int16_t>(raw[at] | raw[at + 1] << 8);
            }
        }
        EXPECT_EQ(wrong, 0u);
    }
}

} // namespace
} // namespace velomire::program
