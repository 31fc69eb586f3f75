#include "program/devices/SndfileConverter.h"
#include "program/SampleConverter.h"
#include "program/WavInfo.h"
#include "support/RecordingMessages.h"
#include "support/WavBuilder.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>

using namespace velomire::program;
using velomire::testing::RecordingMessages;
using velomire::testing::TempDir;
using velomire::testing::WavBuilder;
using velomire::testing::WriteFile;

namespace {

namespace fs = std::filesystem;

class SndfileConverterTest : public ::testing::Test {
protected:
    int Sox(const std::string& arguments) {
        return std::system(("sox " + arguments + " 2>/dev/null").c_str());
    }

    // Every value of a 16-bit file's data chunk, interleaved.
    std::vector<std::int16_t> Values(const fs::path& file) {
        WavInfo wav(messages);
        EXPECT_TRUE(wav.Open(file.string())) << file;
        std::vector<std::int16_t> values;
        for (std::uint32_t i = 0; i < wav.FrameCount(); ++i) {
            for (int part = 1; part <= wav.Channels(); ++part) {
                wav.Seek(i);
                values.push_back(static_cast<std::int16_t>(wav.ReadFrame(part)));
            }
        }
        return values;
    }

    ConvertOutcome Convert(const fs::path& source, ConvertOptions options = {},
                           const std::function<bool(double)>& progress = {}) {
        return converter.Convert(source, dir / ConvertedFileName(dir.Path(), source), options,
                                 progress);
    }

    std::vector<std::string> Listing() {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(dir.Path())) {
            names.push_back(entry.path().filename().string());
        }
        std::sort(names.begin(), names.end());
        return names;
    }

    TempDir dir;
    RecordingMessages messages;
    SndfileConverter converter;
};

} // namespace

TEST_F(SndfileConverterTest, EveryFormatOfA16BitSourceGivesBackTheSameValues) {
    if (Sox("--version >/dev/null") != 0) {
        GTEST_SKIP() << "sox is not on PATH";
    }
    // Stereo, with both extremes and values in every byte.
    std::vector<std::int16_t> source;
    for (int i = 0; i < 3000; ++i) {
        source.push_back(static_cast<std::int16_t>(i * 7919 % 65536 - 32768));
        source.push_back(static_cast<std::int16_t>(i % 2 == 0 ? 32767 : -32768));
    }
    WriteFile(dir / "src.wav", WavBuilder::Canonical(2, 44100, 16, source));

    const std::vector<std::pair<std::string, std::string>> formats = {
        {"w24.wav", "-b 24"},
        {"w32.wav", "-b 32"},
        {"f32.wav", "-e floating-point -b 32"},
        {"f64.wav", "-e floating-point -b 64"},
        {"aiff.aiff", ""},
        {"aifc.aifc", "-b 24"},
        {"flac.flac", ""},
        {"flac24.flac", "-b 24"}};
    for (const auto& [name, options] : formats) {
        ASSERT_EQ(Sox("'" + (dir / "src.wav").string() + "' " + options + " '" +
                      (dir / name).string() + "'"),
                  0)
            << name;
        ASSERT_FALSE(ReaderAccepts(dir / name)) << name;
        for (const bool dither : {false, true}) {
            const ConvertOutcome outcome = Convert(dir / name, {TargetRate::keep, dither});
            ASSERT_TRUE(outcome.ok) << name << ": " << outcome.error;
            EXPECT_EQ(outcome.clipped, 0u);
            EXPECT_EQ(Values(dir / outcome.fileName), source) << name << " dither " << dither;
        }
    }
    // A lossy format converts too (its values are near, not equal).
    ASSERT_EQ(Sox("'" + (dir / "src.wav").string() + "' '" + (dir / "vorbis.ogg").string() + "'"),
              0);
    const ConvertOutcome ogg = Convert(dir / "vorbis.ogg");
    ASSERT_TRUE(ogg.ok) << ogg.error;
    EXPECT_TRUE(ReaderAccepts(dir / ogg.fileName));

    // More than two channels are refused and leave nothing behind.
    const auto before = Listing();
    ASSERT_EQ(Sox("-n -r 44100 -c 3 -b 16 '" + (dir / "three.wav").string() + "' trim 0 0.01"), 0);
    const ConvertOutcome three = Convert(dir / "three.wav");
    EXPECT_FALSE(three.ok);
    EXPECT_NE(three.error.find("3 channels"), std::string::npos);
    auto after = Listing();
    after.erase(std::find(after.begin(), after.end(), "three.wav"));
    EXPECT_EQ(after, before);
}

TEST_F(SndfileConverterTest, DeeperValuesRoundToTheNearestHalvesAwayFromZeroAndClip) {
    // 24-bit values around the halves of a 16-bit step, and the top that rounds past 32767.
    const std::vector<std::int32_t> values = {0, 127, 128, -127, -128, -129, 384, 0x7FFFFF};
    std::vector<std::uint8_t> data;
    for (const std::int32_t v : values) {
        for (int b = 0; b < 3; ++b) {
            data.push_back(static_cast<std::uint8_t>(v >> (8 * b)));
        }
    }
    WriteFile(dir / "ramp.wav", WavBuilder().Riff().Fmt(1, 44100, 24).Chunk("data", data).Bytes());
    const ConvertOutcome outcome = Convert(dir / "ramp.wav");
    ASSERT_TRUE(outcome.ok) << outcome.error;
    EXPECT_EQ(outcome.fileName, "ramp-16.wav");
    EXPECT_EQ(Values(dir / "ramp-16.wav"),
              (std::vector<std::int16_t>{0, 0, 1, 0, -1, -1, 2, 32767}));
    EXPECT_EQ(outcome.clipped, 1u);

    // With dither every value stays within one step of the rounded one.
    const ConvertOutcome dithered = Convert(dir / "ramp.wav", {TargetRate::keep, true});
    ASSERT_TRUE(dithered.ok);
    EXPECT_EQ(dithered.fileName, "ramp-16-2.wav");
    const auto noisy = Values(dir / "ramp-16-2.wav");
    const std::vector<int> rounded = {0, 0, 1, 0, -1, -1, 2, 32767};
    for (std::size_t i = 0; i < noisy.size(); ++i) {
        EXPECT_LE(std::abs(noisy[i] - rounded[i]), 1) << i;
    }
}

TEST_F(SndfileConverterTest, LoopsAndKeysCarryOverAndFollowTheRate) {
    std::vector<std::uint8_t> data(2000 * 3, 0);
    std::vector<std::uint8_t> smpl(36 + 24, 0);
    smpl[12] = 48; // unity note
    smpl[28] = 1;  // one loop
    smpl[36 + 8] = 200 & 0xFF;
    smpl[36 + 9] = 200 >> 8; // start 200
    smpl[36 + 12] = 1599 & 0xFF;
    smpl[36 + 13] = 1599 >> 8; // end 1599
    WriteFile(dir / "loop.wav", WavBuilder()
                                    .Riff()
                                    .Fmt(1, 44100, 24)
                                    .Chunk("data", data)
                                    .Chunk("smpl", smpl)
                                    .Chunk("inst", {48, 0, 0, 40, 55, 1, 127})
                                    .Bytes());

    const ConvertOutcome same = Convert(dir / "loop.wav");
    ASSERT_TRUE(same.ok) << same.error;
    WavInfo wav(messages);
    ASSERT_TRUE(wav.Open((dir / same.fileName).string()));
    EXPECT_EQ(wav.Chunks().unityNote, 48u);
    EXPECT_EQ(wav.Chunks().loops, (std::vector<SampleChunks::Loop>{{200, 1599, 0}}));
    EXPECT_EQ(wav.Chunks().lowKey, 40);
    EXPECT_EQ(wav.Chunks().highKey, 55);

    const ConvertOutcome half = Convert(dir / "loop.wav", {TargetRate::rate22050, false});
    ASSERT_TRUE(half.ok) << half.error;
    EXPECT_EQ(half.rate, 22050u);
    ASSERT_TRUE(wav.Open((dir / half.fileName).string()));
    EXPECT_EQ(wav.Rate(), 22050u);
    EXPECT_NEAR(wav.FrameCount(), 1000, 1);
    EXPECT_EQ(wav.Chunks().loops, (std::vector<SampleChunks::Loop>{{100, 799, 0}}));
    EXPECT_EQ(wav.Chunks().lowKey, 40);
}

TEST_F(SndfileConverterTest, ACancelledConversionLeavesNoFile) {
    WriteFile(dir / "long.wav", WavBuilder()
                                    .Riff()
                                    .Fmt(2, 48000, 24)
                                    .Chunk("data", std::vector<std::uint8_t>(100000 * 6, 1))
                                    .Bytes());
    const ConvertOutcome outcome = Convert(dir / "long.wav", {}, [](double) { return false; });
    EXPECT_FALSE(outcome.ok);
    EXPECT_EQ(Listing(), std::vector<std::string>{"long.wav"});
}

TEST(SampleConverter, RatesNoSamplerPlaysAndResultsNoSamplerHoldsAreRefused) {
    const auto refusal = [](std::uint32_t rate, std::uint64_t frames, TargetRate target) {
        return ConversionRefusal({1, rate, 24, frames}, {target, false}).value_or("");
    };
    EXPECT_EQ(refusal(1000, 1000, TargetRate::keep), "");
    EXPECT_EQ(refusal(200000, 1000, TargetRate::keep), "");
    EXPECT_EQ(refusal(999, 1000, TargetRate::keep),
              "its rate of 999 Hz is outside what a sampler plays (1,000 to 200,000 Hz)");
    EXPECT_NE(refusal(200001, 1000, TargetRate::keep), "");
    EXPECT_NE(refusal(0xFFFFFFFF, 1000, TargetRate::keep), "");
    // The result's length, not the source's: 1000 Hz raised to 44100 Hz.
    EXPECT_EQ(refusal(1000, maxConvertedFrames, TargetRate::keep), "");
    EXPECT_EQ(refusal(1000, 400000, TargetRate::rate44100),
              "it would be 17,640,000 frames long, more than a sampler holds (16,777,216)");
    EXPECT_NE(refusal(200000, ~std::uint64_t{0}, TargetRate::keep), "");
}

TEST_F(SndfileConverterTest, HostileSourcesAreRefusedBeforeAnythingIsWritten) {
    const auto floats = [](std::vector<float> values) {
        std::vector<std::uint8_t> data(values.size() * 4);
        std::memcpy(data.data(), values.data(), data.size());
        return WavBuilder().Riff().Fmt(1, 44100, 32, 16, 3).Chunk("data", data).Bytes();
    };
    WriteFile(dir / "nan.wav", floats({0.5F, std::nanf(""), -0.5F}));
    WriteFile(dir / "inf.wav", floats({0.5F, -INFINITY}));
    // 1 Hz, and a rate that is no sampler's.
    WriteFile(
        dir / "slow.wav",
        WavBuilder().Riff().Fmt(1, 1, 24).Chunk("data", std::vector<std::uint8_t>(30)).Bytes());
    WriteFile(dir / "fast.wav", WavBuilder()
                                    .Riff()
                                    .Fmt(1, 400000, 24)
                                    .Chunk("data", std::vector<std::uint8_t>(30))
                                    .Bytes());
    // Names the program refuses: one too long for the system, one that becomes 42 characters
    // with "-16" (its own name is taken by the source).
    const std::string tooLong = std::string(250, 'x') + ".aiff";
    const std::string thirtyFive = "a-name-of-thirty-five-characters-xx";
    WriteFile(dir / tooLong, floats({0.1F}));
    WriteFile(dir / (thirtyFive + ".wav"), floats({0.1F}));
    const auto before = Listing();
    for (const char* name : {"nan.wav", "inf.wav"}) {
        const ConvertOutcome outcome = Convert(dir / name);
        EXPECT_FALSE(outcome.ok) << name;
        EXPECT_NE(outcome.error.find("not numbers"), std::string::npos) << outcome.error;
    }
    for (const char* name : {"slow.wav", "fast.wav"}) {
        const ConvertOutcome outcome = Convert(dir / name, {TargetRate::rate44100, false});
        EXPECT_NE(outcome.error.find("1,000 to 200,000 Hz"), std::string::npos) << outcome.error;
    }
    const auto converted = ConvertFiles({dir / tooLong, dir / (thirtyFive + ".wav")}, dir.Path(),
                                        {}, converter, messages);
    EXPECT_EQ(converted.names, (std::vector<std::optional<std::string>>{{}, {}}));
    ASSERT_EQ(messages.messages.size(), 2u);
    for (const auto& message : messages.messages) {
        EXPECT_EQ(message.text, "Error: Sample file names are limited to 39 characters !");
    }
    EXPECT_EQ(Listing(), before);

    // A damaged Ogg file is refused by the library (whose leak on it is suppressed, see
    // tests/lsan.supp).
    if (Sox("-n -r 44100 -c 1 '" + (dir / "v.ogg").string() + "' synth 0.2 sine 440") == 0) {
        auto bytes = velomire::testing::ReadFile(dir / "v.ogg");
        for (std::size_t i = 100; i < bytes.size(); i += 97) {
            bytes[i] ^= 0x5A;
        }
        WriteFile(dir / "v.ogg", bytes);
        EXPECT_FALSE(converter.Probe(dir / "v.ogg") && Convert(dir / "v.ogg").ok);
    }
}
