#include "instrument/ImportWriter.h"
#include "instrument/ProgramMapping.h"
#include "instrument/SfzReader.h"
#include "instrument/SfzWriter.h"

#include "program/ProgramFile.h"
#include "program/SampleChunks.h"
#include "program/WavWriter.h"
#include "support/WavBuilder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>

namespace velomire::instrument {
namespace {

namespace fs = std::filesystem;
using testing::ReadFile;
using testing::TempDir;
using testing::WriteFile;

// Reads 16-bit WAV files only, as a build without libsndfile does.
class NoConverter : public program::SampleConverter {
public:
    std::optional<program::SoundFormat> Probe(const fs::path&) override { return std::nullopt; }
    program::ConvertOutcome Convert(const fs::path&, const fs::path&,
                                    const program::ConvertOptions&,
                                    const std::function<bool(double)>&) override {
        return {false, "not converted here", {}, 0, 0};
    }
};

// Creates files, refusing names taken; fails from the `failAt`-th file on.
NewFileWriter TestWriter(int failAt = 1 << 30) {
    auto count = std::make_shared<int>(0);
    return [count, failAt](const fs::path& file, std::span<const std::uint8_t> bytes) {
        if (++*count >= failAt) {
            return program::Status::Error("Error: Can't write File !");
        }
        if (fs::exists(file)) {
            return program::Status::Error("exists already");
        }
        std::ofstream out(file, std::ios::binary);
        out.write(reinterpret_cast<const char*>(bytes.data()),
                  static_cast<std::streamsize>(bytes.size()));
        return out ? program::Status{} : program::Status::Error("Error: Can't write File !");
    };
}

std::vector<std::int16_t> Ramp(std::size_t count) {
    std::vector<std::int16_t> words(count);
    for (std::size_t i = 0; i < count; ++i) {
        words[i] = static_cast<std::int16_t>(i * 7);
    }
    return words;
}

// A library laid out as Programs/piano.sfz and Samples/*.wav: a stereo sound with four loops in
// its smpl chunk, a mono one without.
class ImportRoundTrip : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(library / "Programs");
        fs::create_directories(library / "Samples");
        program::SampleChunks chunks;
        chunks.loops = {{100, 199, 0}, {300, 399, 0}, {1000, 1999, 0}, {2000, 2999, 0}};
        WriteFile(library / "Samples/a.wav",
                  program::WavWriter::Image(2, 44100, Ramp(10000), chunks));
        WriteFile(library / "Samples/b.wav", program::WavWriter::Image(1, 22050, Ramp(3000)));
        WriteFile(library / "Samples/c.wav", program::WavWriter::Image(1, 48000, Ramp(500)));
        std::ofstream(sfz) << R"(// a piano
<control> default_path=../Samples/
<group> lovel=1 hivel=80
<region> sample=a.wav lokey=c3 hikey=b3 pitch_keycenter=c4 tune=-12 transpose=1
 loop_mode=loop_continuous loop_start=100 loop_end=199 offset=10 end=4000
<region> sample=b.wav key=72 loop_mode=loop_sustain loop_start=50 loop_end=1049
<group> lovel=81
<region> sample=a.wav lokey=c3 hikey=b3 pitch_keycenter=61 loop_mode=one_shot
<region> sample=c.wav lokey=d5 hikey=e5 tune=25 loop_mode=no_loop
)";
    }

    // Reads, maps (no model) and writes `from` as `to`.
    program::Program Import(const fs::path& from, const fs::path& to, std::int32_t model = -1) {
        std::string error;
        auto instrument = ReadSfzFile(from, error);
        EXPECT_TRUE(instrument) << error;
        EXPECT_TRUE(ProbeSounds(*instrument, converter, error)) << error;
        const ProgramMapping mapping = MapInstrument(*instrument, model);
        program::Program program;
        const program::Status status =
            WriteImportedProgram(*instrument, mapping, to, converter, TestWriter(), program);
        EXPECT_TRUE(status) << status.Text();
        return program;
    }

    TempDir temp;
    fs::path library = temp / "library";
    fs::path sfz = library / "Programs/piano.sfz";
    NoConverter converter;
};

TEST_F(ImportRoundTrip, LoopEndInclusiveBecomesTheLoopLengthExactToTheWord) {
    fs::create_directories(temp / "p1");
    const program::Program program = Import(sfz, temp / "p1/piano.vmp");
    ASSERT_EQ(program.sampleCount, 4);
    const program::SampleBlock& a = program.samples[0].sample;
    EXPECT_EQ(program::FieldText(a.fileName), "a.wav");
    EXPECT_EQ(a.sendMode, program::sendStereo);
    EXPECT_EQ(a.soundStart, 10u);
    EXPECT_EQ(a.soundEnd, 4000u);
    EXPECT_EQ(a.lengthWords, 3990u);
    EXPECT_EQ(a.rootKey, 60);
    EXPECT_EQ(a.loopMode, program::loopNormal);
    // loop_start=100 loop_end=199: 100 words, the last at 199 (189 past soundStart); the
    // sound's three other loops follow.
    ASSERT_EQ(a.loopCount, 4);
    EXPECT_EQ(a.Loop(0), (program::LoopSpec{189, 100, 9999}));
    EXPECT_EQ(a.Loop(3), (program::LoopSpec{2989, 1000, 0}));
    EXPECT_EQ(program.samples[0].keygroup.keygroupTune, 225); // 88 cents, within 0.2 cent
    EXPECT_EQ(program.samples[0].keygroup.lowKey, 48);
    EXPECT_EQ(program.samples[0].keygroup.velocityHigh, 80);

    const program::SampleBlock& b = program.samples[1].sample;
    EXPECT_EQ(b.loopMode, program::loopUntilRelease);
    EXPECT_EQ(b.Loop(0), (program::LoopSpec{1049, 1000, 9999}));
    EXPECT_EQ(program.samples[2].sample.loopMode, program::loopToEnd);
    EXPECT_EQ(program::FieldText(program.samples[2].sample.fileName), "a.wav");

    // What was written: the program and one WAV file per sound, nothing else.
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(temp / "p1")) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"a.wav", "b.wav", "c.wav", "piano.vmp"}));
    program::Program loaded;
    EXPECT_TRUE(program::ProgramFile::LoadFile(temp / "p1/piano.vmp", loaded));
    EXPECT_EQ(loaded.samples, program.samples);
}

TEST_F(ImportRoundTrip, ProgramToSfzToProgramGivesTheSameProgramFile) {
    // With no model, and for an S3000, whose tune corrects c.wav's 48000 Hz.
    for (const std::int32_t model : {-1, 5}) {
        SCOPED_TRACE(model);
        const fs::path base = temp / ("model" + std::to_string(model));
        fs::create_directories(base / "p1");
        fs::create_directories(base / "sfz");
        fs::create_directories(base / "p2");
        const program::Program first = Import(sfz, base / "p1/piano.vmp", model);
        std::vector<fs::path> written;
        const program::Status exported =
            ExportSfz(first, base / "p1", "piano", base / "sfz", TestWriter(), written);
        ASSERT_TRUE(exported) << exported.Text();
        EXPECT_EQ(written.size(), 4u); // a.wav serves both of its rows
        const program::Program second =
            Import(base / "sfz/piano.sfz", base / "p2/piano.vmp", model);
        EXPECT_EQ(ReadFile(base / "p1/piano.vmp"), ReadFile(base / "p2/piano.vmp"));
        EXPECT_EQ(ReadFile(base / "p1/a.wav"), ReadFile(base / "p2/a.wav"));
        EXPECT_EQ(second.samples[3].sample.tuneOffset, model == 5 ? 376 : 0);
    }
}

TEST_F(ImportRoundTrip, SfzToProgramToSfzKeepsEveryCarriedOpcodesValue) {
    fs::create_directories(temp / "p1");
    fs::create_directories(temp / "sfz");
    const program::Program program = Import(sfz, temp / "p1/piano.vmp");
    std::vector<fs::path> written;
    ASSERT_TRUE(ExportSfz(program, temp / "p1", "piano", temp / "sfz", TestWriter(), written));

    std::string error;
    const auto before = ReadSfzFile(sfz, error);
    const auto after = ReadSfzFile(temp / "sfz/piano.sfz", error);
    ASSERT_TRUE(before && after) << error;
    ASSERT_EQ(before->zones.size(), after->zones.size());
    for (std::size_t i = 0; i < before->zones.size(); ++i) {
        const Zone& x = before->zones[i];
        const Zone& y = after->zones[i];
        SCOPED_TRACE(i);
        EXPECT_EQ(x.lowKey, y.lowKey);
        EXPECT_EQ(x.highKey, y.highKey);
        EXPECT_EQ(x.rootKey, y.rootKey);
        EXPECT_EQ(x.lowVelocity, y.lowVelocity);
        EXPECT_EQ(x.highVelocity, y.highVelocity);
        EXPECT_EQ(x.tuneCents, y.tuneCents);
        EXPECT_EQ(x.offset, y.offset);
        EXPECT_EQ(x.end, y.end);
        EXPECT_EQ(x.loopMode, y.loopMode);
        if (!x.loops.empty()) {
            EXPECT_EQ(x.loops, y.loops);
        }
    }
    // The exported text says it the way the original did.
    std::ifstream in(temp / "sfz/piano.sfz");
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_NE(text.find("transpose=1\ntune=-12\n"), std::string::npos) << text;
    EXPECT_NE(text.find("loop_start=100 loop_end=199"), std::string::npos);
}

TEST_F(ImportRoundTrip, ExportedWavFilesHoldAllFourLoopsAndTheKeyRange) {
    fs::create_directories(temp / "p1");
    fs::create_directories(temp / "sfz");
    const program::Program program = Import(sfz, temp / "p1/piano.vmp");
    std::vector<fs::path> written;
    ASSERT_TRUE(ExportSfz(program, temp / "p1", "piano", temp / "sfz", TestWriter(), written));
    std::string error;
    auto exported = ReadSfzFile(temp / "sfz/piano.sfz", error);
    ASSERT_TRUE(exported) << error;
    ASSERT_TRUE(ProbeSounds(*exported, converter, error)) << error;
    const Sound& a = exported->sounds[exported->zones[0].sound];
    EXPECT_EQ(a.loops, (std::vector<Loop>{{100, 199}, {300, 399}, {1000, 1999}, {2000, 2999}}));
    EXPECT_EQ(a.rootKey, 60);
    // Exporting again refuses to write over the SFZ and leaves the folder as it was.
    written.clear();
    const program::Status again =
        ExportSfz(program, temp / "p1", "piano", temp / "sfz", TestWriter(), written);
    EXPECT_FALSE(again);
    EXPECT_TRUE(written.empty());
    EXPECT_EQ(std::distance(fs::directory_iterator(temp / "sfz"), fs::directory_iterator()), 4);
}

TEST_F(ImportRoundTrip, NeverWritesOverAFileAndRemovesItsFilesWhenItFails) {
    fs::create_directories(temp / "p3");
    WriteFile(temp / "p3/a.wav", {1, 2, 3});
    const program::Program program = Import(sfz, temp / "p3/piano.vmp");
    EXPECT_EQ(program::FieldText(program.samples[0].sample.fileName), "a-2.wav");
    EXPECT_EQ(ReadFile(temp / "p3/a.wav"), (std::vector<std::uint8_t>{1, 2, 3}));

    std::string error;
    auto instrument = ReadSfzFile(sfz, error);
    ASSERT_TRUE(instrument && ProbeSounds(*instrument, converter, error));
    const ProgramMapping mapping = MapInstrument(*instrument, -1);
    program::Program unused;
    // The program file exists: refused before anything is written.
    EXPECT_FALSE(WriteImportedProgram(*instrument, mapping, temp / "p3/piano.vmp", converter,
                                      TestWriter(), unused));
    // The second file fails: the first goes again.
    fs::create_directories(temp / "p4");
    EXPECT_FALSE(WriteImportedProgram(*instrument, mapping, temp / "p4/piano.vmp", converter,
                                      TestWriter(2), unused));
    EXPECT_TRUE(fs::is_empty(temp / "p4"));
}

TEST_F(ImportRoundTrip, ProgressRisesToTheEndAndAStopLeavesTheFolderAsItWas) {
    std::string error;
    auto instrument = ReadSfzFile(sfz, error);
    ASSERT_TRUE(instrument && ProbeSounds(*instrument, converter, error));
    const ProgramMapping mapping = MapInstrument(*instrument, -1);
    program::Program unused;
    std::vector<double> seen;
    fs::create_directories(temp / "p5");
    EXPECT_TRUE(WriteImportedProgram(*instrument, mapping, temp / "p5/piano.vmp", converter,
                                     TestWriter(), unused, [&seen](double done) {
                                         seen.push_back(done);
                                         return true;
                                     }));
    ASSERT_GE(seen.size(), 3u);
    EXPECT_EQ(seen.front(), 0.0);
    EXPECT_EQ(seen.back(), 1.0);
    EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));

    // Stopped once the first sound is written.
    fs::create_directories(temp / "p6");
    int calls = 0;
    const program::Status status =
        WriteImportedProgram(*instrument, mapping, temp / "p6/piano.vmp", converter, TestWriter(),
                             unused, [&calls](double) { return ++calls < 2; });
    EXPECT_FALSE(status);
    EXPECT_EQ(status.text, "piano.vmp: stopped; nothing was written");
    EXPECT_TRUE(fs::is_empty(temp / "p6"));
}

TEST_F(ImportRoundTrip, AMissingSampleIsNamed) {
    std::ofstream(library / "Programs/broken.sfz") << "<region> sample=../Samples/none.wav\n";
    std::string error;
    auto instrument = ReadSfzFile(library / "Programs/broken.sfz", error);
    ASSERT_TRUE(instrument) << error;
    EXPECT_FALSE(ProbeSounds(*instrument, converter, error));
    EXPECT_NE(error.find("none.wav"), std::string::npos);
}

} // namespace
} // namespace velomire::instrument
