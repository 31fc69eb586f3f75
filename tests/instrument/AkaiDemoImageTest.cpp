// The bundled demo program written as disk images by velomire-cli, then imported from them: every
// row comes back as a zone with the row's keys, velocities, root key, tunes, points, loops, output
// and words (the WAV files' words), the stereo row as one zone with both halves.
#include "instrument/devices/InstrumentFiles.h"
#include "program/Program.h"
#include "program/ProgramFile.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace velomire::instrument {
namespace {

namespace fs = std::filesystem;

const fs::path demo = fs::path(VELOMIRE_SOURCE_DIR) / "examples" / "demo";

// Channel `channel` of a 16-bit PCM WAV file.
std::vector<std::int16_t> WavChannel(const fs::path& path, int channel) {
    std::ifstream in(path, std::ios::binary);
    const std::vector<unsigned char> bytes((std::istreambuf_iterator<char>(in)), {});
    auto get32 = [&](std::size_t at) {
        return bytes[at] | bytes[at + 1] << 8 | bytes[at + 2] << 16 |
               static_cast<std::uint32_t>(bytes[at + 3]) << 24;
    };
    int channels = 1;
    for (std::size_t at = 12; at + 8 <= bytes.size();) {
        const std::uint32_t size = get32(at + 4);
        const std::string id(bytes.begin() + static_cast<std::ptrdiff_t>(at),
                             bytes.begin() + static_cast<std::ptrdiff_t>(at) + 4);
        if (id == "fmt ")
            channels = bytes[at + 10];
        if (id == "data") {
            std::vector<std::int16_t> words;
            for (std::size_t i = at + 8 + 2 * static_cast<std::size_t>(channel);
                 i + 1 < at + 8 + size && i + 1 < bytes.size(); i += 2 * channels)
                words.push_back(static_cast<std::int16_t>(bytes[i] | bytes[i + 1] << 8));
            return words;
        }
        at += 8 + size + (size & 1);
    }
    return {};
}

struct Case {
    const char* model;
    const char* medium;
};

class AkaiDemoImage : public ::testing::TestWithParam<Case> {};

TEST_P(AkaiDemoImage, ImportedZonesAreTheDemoProgramsRows) {
    const auto [model, medium] = GetParam();
    const fs::path image =
        fs::path(testing::TempDir()) / (std::string("demo-") + model + "-" + medium + ".img");
    fs::remove(image);
    const std::string command = std::string("'") + VELOMIRE_CLI + "' image '" +
                                (demo / "demo.vmp").string() + "' --model " + model + " --medium " +
                                medium + " -o '" + image.string() + "' >/dev/null";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
    program::Program written;
    ASSERT_TRUE(program::ProgramFile::LoadFile(demo / "demo.vmp", written));

    EXPECT_EQ(DetectInstrumentFormat(image), InstrumentFormat::akaiImage);
    std::string error;
    const auto read = ReadInstrument(image, {}, error);
    ASSERT_TRUE(read) << error;
    ASSERT_EQ(read->zones.size(), static_cast<std::size_t>(written.sampleCount));
    for (int row = 0; row < written.sampleCount; ++row) {
        SCOPED_TRACE("row " + std::to_string(row));
        const program::SampleBlock& sample = written.samples[static_cast<std::size_t>(row)].sample;
        const program::KeygroupBlock& keygroup =
            written.samples[static_cast<std::size_t>(row)].keygroup;
        const Zone& zone = read->zones[static_cast<std::size_t>(row)];
        EXPECT_EQ(zone.lowKey, keygroup.lowKey);
        EXPECT_EQ(zone.highKey, keygroup.highKey);
        EXPECT_EQ(zone.lowVelocity, keygroup.velocityLow);
        EXPECT_EQ(zone.highVelocity, keygroup.velocityHigh);
        EXPECT_EQ(zone.rootKey, sample.rootKey);
        EXPECT_EQ(zone.output, keygroup.output);
        EXPECT_NEAR(zone.tuneCents,
                    (static_cast<std::int16_t>(keygroup.keygroupTune) +
                     static_cast<std::int16_t>(keygroup.velocityTune)) *
                        100.0 / 256,
                    1e-9);
        EXPECT_EQ(zone.offset, sample.startPoint);
        EXPECT_EQ(zone.end.value_or(sample.lengthWords - 1), sample.endPoint);
        const LoopMode mode = sample.loopMode == program::loopNormal         ? LoopMode::forward
                              : sample.loopMode == program::loopUntilRelease ? LoopMode::sustain
                                                                             : LoopMode::none;
        std::vector<Loop> loops;
        for (int l = 0; l < sample.loopCount; ++l) {
            const program::LoopSpec loop = sample.Loop(static_cast<std::size_t>(l));
            loops.push_back({loop.at - loop.length + 1, loop.at});
        }
        EXPECT_EQ(zone.loopMode, loops.empty() ? LoopMode::none : mode);
        EXPECT_EQ(zone.loops, loops);
        const Sound& sound = read->sounds[zone.sound];
        EXPECT_EQ(sound.rate, sample.headerRate);
        const fs::path wav = demo / program::FieldText(sample.fileName);
        const bool stereo = sample.sendMode == program::sendStereo;
        EXPECT_EQ(sound.words, WavChannel(wav, 0));
        ASSERT_EQ(zone.rightSound.has_value(), stereo);
        if (stereo) {
            EXPECT_EQ(read->sounds[*zone.rightSound].words, WavChannel(wav, 1));
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Media, AkaiDemoImage,
                         ::testing::Values(Case{"S1000", "hd"}, Case{"S3000", "scsi"},
                                           Case{"S3000XL", "hd"}));

} // namespace
} // namespace velomire::instrument
