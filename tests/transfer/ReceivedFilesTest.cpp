#include "transfer/ReceivedFiles.h"

#include "program/ProgramFile.h"
#include "program/SafeFileName.h"
#include "program/WavInfo.h"
#include "transfer/CaptureMidiDriver.h"
#include "transfer/SendCommand.h"
#include "transfer/SysExStreamDecoder.h"

#include "support/RecordingMessages.h"
#include "support/SendSupport.h"
#include "support/WavBuilder.h"

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <optional>
#include <tuple>
#include <utility>

using namespace velomire::transfer;
namespace program = velomire::program;
namespace vt = velomire::testing;
namespace fs = std::filesystem;

namespace {

// Files in memory; a name in `appearing` is taken by someone else just before it is created.
class MemoryFiles : public FileCreator {
public:
    bool Exists(const fs::path& path) override { return files.count(path) != 0; }
    Created Create(const fs::path& path, std::span<const std::uint8_t> bytes,
                   std::string& error) override {
        if (appearing.erase(path) != 0 || Exists(path)) {
            files[path] = {};
            return Created::taken;
        }
        if (failing) {
            error = "No space left on device";
            return Created::failed;
        }
        files[path].assign(bytes.begin(), bytes.end());
        return Created::done;
    }

    std::map<fs::path, std::vector<std::uint8_t>> files;
    std::set<fs::path> appearing;
    bool failing = false;
};

TEST(ReceivedFiles, NamesAreSafeOnEverySystemAndNeverTakeAFileThatIsThere) {
    // One rule for every file named after what was read (get, image --extract, conversions):
    // Windows devices also before an extension, bytes that are not UTF-8, a cut to a length.
    const std::vector<std::tuple<std::string, std::size_t, std::string>> names{
        {"  A/B\\C:D*E?F\"G<H>I|J\x01.  ", 0, "A_B_C_D_E_F_G_H_I_J_"},
        {" .. ", 0, "sample-7"},
        {"PAD       -L", 0, "PAD -L"},
        {"con", 0, "con_"},
        {"COM1", 0, "COM1_"},
        {"lpt0", 0, "lpt0_"},
        {"CONGA", 0, "CONGA"},
        {"CON.X", 0, "CON_.X"},
        {"aux .1", 0, "aux_ .1"},
        {"NUL.tar.gz", 0, "NUL_.tar.gz"},
        {"CONSOLE.1", 0, "CONSOLE.1"},
        {"Fl\xC3\xBCgel \xFF", 0, "Fl\xC3\xBCgel _"},
        {"PRN.......................x", 5, "PRN_"},
        {"\xC3\xBC\xC3\xBC", 3, "\xC3\xBC"},
    };
    for (const auto& [name, maxChars, safe] : names) {
        EXPECT_EQ(program::SafeFileStem(name, "sample-7", maxChars), safe) << name;
    }

    MemoryFiles files;
    files.files["out/PIANO.wav"] = {1};
    files.appearing.insert("out/PIANO-2.wav");
    ReceivedFiles received("out", files);
    DecodedSample sample;
    sample.family = SamplerFamily::s1000;
    sample.rate = 22050;
    sample.frames = {1, 2, 3};
    sample.fields = {{"sampleName", std::string("PIANO       ")}};
    std::string error;
    EXPECT_EQ(received.WriteSample(sample, error), "PIANO-3.wav");
    EXPECT_EQ(files.files["out/PIANO.wav"], std::vector<std::uint8_t>{1});
    EXPECT_EQ(received.WriteSample(sample, error), "PIANO-4.wav");
    files.failing = true;
    EXPECT_FALSE(received.WriteSample(sample, error));
    EXPECT_NE(error.find("PIANO-5.wav: Error: Can't write File ! (No space left"),
              std::string::npos)
        << error;
    EXPECT_EQ(received.Written(), (std::vector<std::string>{"PIANO-3.wav", "PIANO-4.wav"}));
}

// A program of a mono and a stereo entry, sent to every model, decoded, and written back as
// files: the rows, the WAV files and their chunks say what was sent, as far as the family keeps
// it.
TEST(ReceivedFiles, AProgramTakenBackKeepsItsKeysRootKeysLoopsAndOutputs) {
    vt::TempDir dir;
    vt::WorkingDirectoryGuard restore;
    vt::RecordingMessages messages;
    vt::WriteKickAndPad(dir.Path());
    auto sent = std::make_unique<program::Program>();
    sent->SetProgramPath(dir / "Drums.vmp", true);
    vt::AddSampleFile(*sent, messages, "kick.wav");
    vt::AddSampleFile(*sent, messages, "pad.wav");
    program::SampleEntry& kick = sent->samples[0];
    program::SetFieldText(kick.sample.sampleName, "KICK 1");
    kick.sample.rootKey = 48;
    kick.sample.loopMode = program::loopNormal;
    kick.sample.loopCount = 1;
    kick.sample.SetLoop(0, {300, 100, 7});
    kick.keygroup.lowKey = 36;
    kick.keygroup.highKey = 40;
    kick.keygroup.output = 3;
    kick.keygroup.keygroupWords[6] = 55;
    sent->samples[1].sample.sendMode = program::sendStereo;
    sent->samples[1].sample.loopMode = program::loopUntilRelease;
    sent->samples[1].sample.loopCount = 1;
    sent->samples[1].sample.SetLoop(0, {239, 120, 0});
    sent->header.programParams[3] = 77;

    for (std::int32_t model = 0; model < SamplerModel::count; ++model) {
        SCOPED_TRACE("model " + std::to_string(model));
        const SamplerFamily family = SamplerModel::Family(model);
        CaptureMidiDriver capture;
        InstantWaitClock clock;
        MidiOutPort port(capture, clock, messages);
        SamplerSettings settings;
        settings.samplerModel = model;
        settings.midiOutDevice = 0;
        vt::AnswerAllUi ui;
        sent->nextProgramNumber = 0;
        sent->nextSampleNumber = 0;
        ASSERT_EQ(SendCommand(*sent, settings, port, messages, ui).OnSendProgram(),
                  SendCommand::Outcome::sent);
        const DecodeResult decoded = DecodeSysExStream(capture.bytes);
        ASSERT_EQ(decoded.samples.size(), 3u);

        MemoryFiles files;
        ReceivedFiles received("in", files);
        std::string error;
        if (family == SamplerFamily::sds) {
            // No programs: the sample alone, its loop in its "smpl" chunk.
            const auto name = received.WriteSample(decoded.samples[0], error);
            ASSERT_TRUE(name) << error;
            program::WavInfo wav(messages);
            ASSERT_TRUE(wav.OpenBytes(*name, files.files["in" / fs::path(*name)]));
            ASSERT_EQ(wav.Chunks().loops.size(), 1u);
            EXPECT_EQ(wav.Chunks().loops[0].start, 201u);
            EXPECT_EQ(wav.Chunks().loops[0].end, 300u);
            // No root key on the wire: the file and the report say 60, and a half says so.
            EXPECT_EQ(wav.Chunks().unityNote, 60u);
            DecodedSample half = decoded.samples[1];
            half.fields.push_back({"sampleName", std::string("PAD-L")});
            EXPECT_EQ(ReceivedSampleNote(half), "the left half of the stereo pair \"PAD\"; an SDS "
                                                "dump carries no root key: the WAV file says 60");
            EXPECT_FALSE(received.WriteProgram({}, decoded.samples, messages, error));
            continue;
        }
        ASSERT_EQ(decoded.programs.size(), 1u);
        messages.messages.clear();
        const auto programName =
            received.WriteProgram(decoded.programs[0], decoded.samples, messages, error);
        ASSERT_TRUE(programName) << error;
        // The velocity zones that play nothing are no samples that failed to come.
        EXPECT_TRUE(messages.messages.empty()) << messages.messages.front().text;
        // The S1000 family keeps names in capitals.
        EXPECT_EQ(*programName, family == SamplerFamily::s900 ? "Drums.vmp" : "DRUMS.vmp");
        EXPECT_EQ(received.Written().size(), 3u); // the kick, the stereo pad, the program

        auto got = std::make_unique<program::Program>();
        ASSERT_TRUE(program::ProgramFile::Load(files.files["in" / fs::path(*programName)], *got));
        ASSERT_EQ(got->sampleCount, 2);
        const program::SampleEntry& row = got->samples[0];
        EXPECT_EQ(program::FieldText(row.sample.fileName), "KICK 1.wav");
        EXPECT_EQ(program::FieldText(row.sample.sampleName), "KICK 1");
        EXPECT_EQ(row.sample.rootKey, 48);
        EXPECT_EQ(row.sample.loopCount, 1);
        EXPECT_EQ(row.sample.Loop(0).at, 300u);
        EXPECT_EQ(row.sample.Loop(0).length, 100u);
        // The S1000 family sends the loop's dwell and loop mode; the S900/S950 neither.
        if (family == SamplerFamily::s1000) {
            EXPECT_EQ(row.sample.Loop(0).dwell, 7u);
            EXPECT_EQ(got->samples[1].sample.loopMode, program::loopUntilRelease);
        }
        EXPECT_EQ(row.keygroup.lowKey, 36);
        EXPECT_EQ(row.keygroup.highKey, 40);
        // The S900/S950 is sent no output: its keygroups play on all voices.
        EXPECT_EQ(row.keygroup.output, family == SamplerFamily::s900 ? 0 : 3);
        EXPECT_EQ(row.keygroup.keygroupWords[6], 55);
        EXPECT_EQ(got->samples[1].sample.sendMode, program::sendStereo);
        EXPECT_EQ(got->samples[1].sample.channels, 2);
        if (family == SamplerFamily::s1000) {
            EXPECT_EQ(got->header.programParams[3], 77);
        }

        // The WAV file holds the words received and the keygroup's key range.
        program::WavInfo wav(messages);
        ASSERT_TRUE(wav.OpenBytes("KICK 1.wav", files.files["in/KICK 1.wav"]));
        EXPECT_EQ(wav.FrameCount(), decoded.samples[0].frames.size());
        EXPECT_EQ(wav.Chunks().lowKey, 36);
        EXPECT_EQ(wav.Chunks().highKey, 40);
    }
}

// A loop taken back is the one the sampler plays, inside the words that came, or none: the
// S900/S950 loops back from the end point by the loop length (a study of 202 real S950 disk
// images), whatever its first replay point; SDS marks "loop off" with loop type 7F.
TEST(ReceivedFiles, ALoopTakenBackIsTheOneTheSamplerPlays) {
    using Fields = DecodedFields;
    const auto s900 = [](std::string mode, std::int64_t end, std::int64_t length) {
        return Fields{{"loopMode", mode},
                      {"endPoint", end},
                      {"firstReplayPoint", std::int64_t{27}},
                      {"loopLength", length}};
    };
    const auto sds = [](std::int64_t type, std::int64_t start, std::int64_t end) {
        return Fields{{"loopStart", start}, {"loopEnd", end}, {"loopType", type}};
    };
    struct Case {
        SamplerFamily family;
        Fields fields;
        std::optional<std::pair<std::uint32_t, std::uint32_t>> loop;
    };
    const Case cases[] = {{SamplerFamily::s900, s900("L", 109, 100), {{10, 109}}},
                          {SamplerFamily::s900, s900("L", 129, 130), {{0, 129}}},
                          {SamplerFamily::s900, s900("O", 109, 100), std::nullopt},
                          {SamplerFamily::s900, s900("L", 130, 100), std::nullopt},
                          {SamplerFamily::s900, s900("L", 109, 111), std::nullopt},
                          {SamplerFamily::sds, sds(0x00, 10, 109), {{10, 109}}},
                          {SamplerFamily::sds, sds(0x7F, 129, 129), std::nullopt},
                          {SamplerFamily::sds, sds(0x00, 0, 0), std::nullopt},
                          {SamplerFamily::sds, sds(0x00, 10, 130), std::nullopt}};
    for (const Case& c : cases) {
        DecodedSample sample;
        sample.family = c.family;
        sample.frames.resize(130);
        sample.fields = c.fields;
        const auto loops = ReceivedSampleChunks(sample).loops;
        SCOPED_TRACE(&c - cases);
        ASSERT_EQ(loops.size(), c.loop ? 1u : 0u);
        if (c.loop) {
            EXPECT_EQ(loops[0].start, c.loop->first);
            EXPECT_EQ(loops[0].end, c.loop->second);
        }
    }

    // The S1000 family's loops come with their dwell, 0-9999 ms; a larger one is none.
    using List = std::vector<std::int64_t>;
    DecodedSample s1000;
    s1000.family = SamplerFamily::s1000;
    s1000.frames.resize(130);
    s1000.fields = {{"loopMode", std::int64_t{1}},
                    {"loopCount", std::int64_t{2}},
                    {"loopAt", List{109, 129, 0, 0}},
                    {"loopLength", List{100, 30, 0, 0}},
                    {"loopDwell", List{9999, 10000, 0, 0}}};
    const auto chunks = ReceivedSampleChunks(s1000);
    EXPECT_EQ(chunks.loopMode, program::loopUntilRelease);
    ASSERT_EQ(chunks.loops.size(), 2u);
    EXPECT_EQ(chunks.loops[0].dwell, 9999u);
    EXPECT_EQ(chunks.loops[1].dwell, std::nullopt);
}

// The demo's stereo pad (35,280 words, looping over its second half) loops over the same words on
// both channels of an S950; the right channel's loop once ran on to word 35,306.
TEST(ReceivedFiles, EveryPartOfTheDemoLoopsInsideItsWordsOnAnS950) {
    vt::WorkingDirectoryGuard restore;
    vt::RecordingMessages messages;
    const fs::path path = fs::path(VELOMIRE_SOURCE_DIR) / "examples" / "demo" / "demo.vmp";
    auto demo = std::make_unique<program::Program>();
    ASSERT_TRUE(program::ProgramFile::LoadFile(path, *demo));
    demo->SetProgramPath(path, false);
    CaptureMidiDriver capture;
    InstantWaitClock clock;
    MidiOutPort port(capture, clock, messages);
    SamplerSettings settings;
    settings.samplerModel = SamplerModel::s950;
    settings.midiOutDevice = 0;
    settings.maxProgram = 99;
    settings.maxSample = 99;
    vt::AnswerAllUi ui;
    ASSERT_EQ(SendCommand(*demo, settings, port, messages, ui).OnSendProgram(),
              SendCommand::Outcome::sent);
    const DecodeResult decoded = DecodeSysExStream(capture.bytes);
    ASSERT_EQ(decoded.samples.size(), 4u); // the tone, the pad's two channels, the drum loop

    using Loop = std::vector<std::pair<std::uint32_t, std::uint32_t>>;
    const Loop expected[] = {{}, {{17640, 35279}}, {{17640, 35279}}, {{0, 44099}}};
    for (std::size_t i = 0; i < decoded.samples.size(); ++i) {
        Loop loops;
        for (const auto& loop : ReceivedSampleChunks(decoded.samples[i]).loops) {
            loops.emplace_back(loop.start, loop.end);
        }
        EXPECT_EQ(loops, expected[i]) << "sample " << i;
    }
}

// Hands out a fixed program and samples; a sample number can be cancelled as it is read.
class FakeLibrarian : public Librarian {
public:
    bool CanDelete() const override { return false; }
    LibrarianResult List(std::vector<SamplerEntry>&, LibrarianProgress&) override { return {}; }
    LibrarianResult ReadHeaders(std::vector<SamplerEntry>&, LibrarianProgress&) override {
        return {};
    }
    LibrarianResult GetSample(int number, DecodedSample& sample, LibrarianProgress&) override {
        asked.push_back(number);
        if (number == cancelAt) {
            return {LibrarianResult::Outcome::cancelled};
        }
        sample = samples.at(number);
        return {};
    }
    LibrarianResult GetProgram(int, DecodedProgram& got, LibrarianProgress&) override {
        got = program;
        return {};
    }
    LibrarianResult Delete(SamplerEntry::Kind, int) override { return {}; }

    DecodedProgram program;
    std::map<int, DecodedSample> samples;
    std::vector<int> asked;
    int cancelAt = -1;
};

class NoProgress : public LibrarianProgress {
public:
    void Progress(std::uint64_t, std::uint64_t) override {}
    bool Cancelled() override { return false; }
};

TEST(ReceivedFiles, AProgramIsWrittenOnlyOnceEverySampleItPlaysHasCome) {
    FakeLibrarian librarian;
    librarian.program.family = SamplerFamily::s1000;
    librarian.program.fields = {{"programName", std::string("SET         ")}};
    librarian.program.keygroups = {{{"zone1SampleName", std::string("PAD         ")},
                                    {"zone2SampleName", std::string("KICK        ")},
                                    {"zone3SampleName", std::string("PAD         ")}}};
    for (const auto& [number, name] : {std::pair(4, "PAD"), std::pair(9, "KICK")}) {
        DecodedSample& sample = librarian.samples[number];
        sample.family = SamplerFamily::s1000;
        sample.number = number;
        sample.rate = 22050;
        sample.lengthWords = 2;
        sample.frames = {1, 2};
        sample.hasData = true;
        sample.fields = {{"sampleName", std::string(name)}};
    }
    const std::vector<SamplerEntry> entries = {{SamplerEntry::Kind::program, 0, "SET"},
                                               {SamplerEntry::Kind::sample, 9, "KICK        "},
                                               {SamplerEntry::Kind::sample, 4, "PAD         "}};
    MemoryFiles files;
    ReceivedFiles received("in", files);
    NoProgress progress;
    vt::RecordingMessages messages;
    std::string written;
    std::set<int> taken;

    librarian.cancelAt = 9;
    EXPECT_EQ(GetProgramFiles(librarian, 0, entries, received, progress, messages, written, taken)
                  .outcome,
              LibrarianResult::Outcome::cancelled);
    EXPECT_TRUE(files.files.empty());
    EXPECT_TRUE(taken.empty());

    librarian.cancelAt = -1;
    librarian.asked.clear();
    EXPECT_TRUE(
        GetProgramFiles(librarian, 0, entries, received, progress, messages, written, taken).Ok());
    EXPECT_EQ(librarian.asked, (std::vector<int>{4, 9})); // each sample once
    EXPECT_EQ(taken, (std::set<int>{4, 9}));
    EXPECT_EQ(written, "SET.vmp");
    EXPECT_EQ(received.Written(), (std::vector<std::string>{"PAD.wav", "KICK.wav", "SET.vmp"}));
}

} // namespace
