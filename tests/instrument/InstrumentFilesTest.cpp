#include "instrument/devices/InstrumentFiles.h"
#include "instrument/ImportWriter.h"
#include "instrument/ProgramMapping.h"
#include "instrument/devices/NewFileWriter.h"
#include "program/SampleChunks.h"
#include "program/devices/SndfileConverter.h"
#include "support/WavBuilder.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>

namespace velomire::instrument {
namespace {

namespace fs = std::filesystem;
using testing::TempDir;
using testing::WavBuilder;
using testing::WriteFile;

TEST(InstrumentFiles, TellsFormatsByContentThenExtension) {
    TempDir temp;
    std::ofstream(temp / "a.sfz") << "<region> sample=x.wav\n";
    std::ofstream(temp / "noext") << "// piano\n<group>\n<region> sample=x.wav\n";
    std::ofstream(temp / "riff.sfz") << std::string("RIFF\x10\0\0\0sfbkLIST", 16);
    std::ofstream(temp / "other.txt") << "hello\n";
    std::ofstream(temp / "old.KMP") << "a multisample saved otherwise";
    EXPECT_EQ(DetectInstrumentFormat(temp / "old.KMP"), InstrumentFormat::korg);
    EXPECT_EQ(DetectInstrumentFormat(temp / "a.sfz"), InstrumentFormat::sfz);
    EXPECT_EQ(DetectInstrumentFormat(temp / "noext"), InstrumentFormat::sfz);
    EXPECT_EQ(DetectInstrumentFormat(temp / "riff.sfz"), InstrumentFormat::soundFont2);
    EXPECT_FALSE(DetectInstrumentFormat(temp / "other.txt"));
    std::string error;
    EXPECT_FALSE(ListInstruments(temp / "other.txt", error));
    EXPECT_NE(error.find("other.txt: not an instrument file"), std::string::npos);
    const auto list = ListInstruments(temp / "a.sfz", error);
    ASSERT_TRUE(list) << error;
    EXPECT_EQ(list->front().name, "a");
    EXPECT_FALSE(ReadInstrument(temp / "a.sfz", {1, {}}, error));
    EXPECT_TRUE(ReadInstrument(temp / "a.sfz", {{}, "A"}, error)) << error;
}

// A 24-bit 48000 Hz sample with a loop in its smpl chunk, imported for an S950 (converted to a
// rate it takes) and with no model (converted to 16 bits only): the loop comes along, scaled by
// the rate, and the temporary files of the conversion are gone.
TEST(InstrumentFiles, SamplesOfOtherFormatsAreConvertedWithTheirLoops) {
    TempDir temp;
    std::vector<std::uint8_t> data;
    for (int i = 0; i < 48000; ++i) {
        const int value = (i % 200 - 100) * 50000;
        data.push_back(static_cast<std::uint8_t>(value));
        data.push_back(static_cast<std::uint8_t>(value >> 8));
        data.push_back(static_cast<std::uint8_t>(value >> 16));
    }
    program::SampleChunks chunks;
    chunks.unityNote = 64;
    chunks.loops = {{4800, 9599, 0}};
    WriteFile(temp / "deep.wav", WavBuilder()
                                     .Riff()
                                     .Fmt(1, 48000, 24)
                                     .Chunk("smpl", program::SmplChunkBody(chunks, 48000))
                                     .Chunk("data", data)
                                     .Bytes());
    std::ofstream(temp / "deep.sfz") << "<region> sample=deep.wav pitch_keycenter=sample\n";
    program::SndfileConverter converter;
    for (const std::int32_t model : {-1, 2}) {
        SCOPED_TRACE(model);
        std::string error;
        auto instrument = ReadInstrument(temp / "deep.sfz", {}, error);
        ASSERT_TRUE(instrument) << error;
        ASSERT_TRUE(ProbeSounds(*instrument, converter, error)) << error;
        EXPECT_EQ(instrument->sounds[0].loops, (std::vector<Loop>{{4800, 9599}}));
        const ProgramMapping mapping = MapInstrument(*instrument, model);
        const fs::path folder = temp / ("out" + std::to_string(model));
        fs::create_directory(folder);
        program::Program program;
        const program::Status status = WriteImportedProgram(
            *instrument, mapping, folder / "deep.vmp", converter, DiskNewFileWriter(), program);
        ASSERT_TRUE(status) << status.Text();
        const program::SampleBlock& s = program.samples[0].sample;
        EXPECT_EQ(s.rootKey, 64);
        EXPECT_EQ(s.bits, 16);
        EXPECT_EQ(s.loopCount, 1);
        const std::uint32_t rate =
            model == 2 ? program::RateFor(program::TargetRate::s900, 48000) : 48000;
        EXPECT_EQ(s.sampleRate, rate);
        const auto at = static_cast<std::uint32_t>(std::llround(9599.0 * rate / 48000));
        const auto start = static_cast<std::uint32_t>(std::llround(4800.0 * rate / 48000));
        EXPECT_EQ(s.Loop(0), (program::LoopSpec{at, at - start + 1, 9999}));
        EXPECT_NEAR(s.soundEnd, 48000.0 * rate / 48000 - 1, 2);
        EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 2);
    }
}

} // namespace
} // namespace velomire::instrument
