#include "program/IncomingFiles.h"

#include "program/AddSample.h"
#include "support/RecordingMessages.h"
#include "support/WavBuilder.h"

#include <gtest/gtest.h>

#include <map>

namespace velomire::program {
namespace {

using testing::RecordingMessages;
using testing::TempDir;
using testing::WavBuilder;
using testing::WriteFile;

// Reads the formats it was given and writes a short 16-bit file for every conversion.
class FakeConverter final : public SampleConverter {
public:
    std::optional<SoundFormat> Probe(const std::filesystem::path& source) override {
        const auto found = formats.find(source.filename().string());
        return found == formats.end() ? std::nullopt : std::optional(found->second);
    }
    ConvertOutcome Convert(const std::filesystem::path& source, const std::filesystem::path& target,
                           const ConvertOptions& options,
                           const std::function<bool(double)>& progress) override {
        static_cast<void>(source);
        used = options;
        if (progress && !progress(1.0)) {
            return {false, "cancelled", {}, 0, 0};
        }
        WriteFile(target, WavBuilder::Canonical(1, 44100, 16, std::vector<std::int16_t>(100, 1)));
        return {true, {}, target.filename().string(), 0, 44100};
    }

    std::map<std::string, SoundFormat> formats;
    std::optional<ConvertOptions> used;
};

class SetQuestions final : public IncomingQuestions {
public:
    std::optional<ConvertOptions> AskToConvert(const std::vector<std::string>& names,
                                               const ConvertOptions& proposal) override {
        converts.push_back(names);
        proposed = proposal;
        return convertAnswer;
    }
    bool ConfirmCopy(std::size_t count, const std::filesystem::path& directory) override {
        copies.emplace_back(count, directory);
        return copyAnswer;
    }

    std::optional<ConvertOptions> convertAnswer = ConvertOptions{};
    bool copyAnswer = true;
    std::vector<std::vector<std::string>> converts;
    std::optional<ConvertOptions> proposed;
    std::vector<std::pair<std::size_t, std::filesystem::path>> copies;
};

class IncomingFilesTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::filesystem::create_directories(dir / "kit");
        std::filesystem::create_directories(dir / "elsewhere");
        program.SetProgramPath(Kit() / "Kit.vmp", true);
    }
    std::filesystem::path Kit() const { return dir / "kit"; }
    std::filesystem::path Elsewhere() const { return dir / "elsewhere"; }
    // A WAV file the reader takes as it is.
    std::filesystem::path Wav(const std::filesystem::path& path, std::uint32_t rate = 44100) {
        WriteFile(path, WavBuilder::Canonical(1, rate, 16, std::vector<std::int16_t>(100, 3)));
        return path;
    }
    // A file only the converter reads.
    std::filesystem::path Other(const std::filesystem::path& path) {
        WriteFile(path, std::vector<std::uint8_t>(64, 0x55));
        converter.formats[path.filename().string()] = {2, 48000, 24, 100};
        return path;
    }
    IncomingFiles Incoming(RateCheck rates = {}) {
        return {converter, questions, std::move(rates), ConvertOptions{TargetRate::s900, true}};
    }

    TempDir dir;
    Program program;
    FakeConverter converter;
    SetQuestions questions;
    MessageList refusals;
};

TEST_F(IncomingFilesTest, FilesToConvertAreAskedAboutOnceAndLeftOutWhenDeclined) {
    const auto kick = Wav(Kit() / "kick.wav");
    const auto pad = Other(Elsewhere() / "pad.flac");
    const auto tom = Other(Kit() / "tom.aif");
    questions.convertAnswer.reset();
    const auto prepared = Incoming().Prepare({kick, pad, tom}, Kit(), refusals);
    ASSERT_EQ(questions.converts.size(), 1u);
    EXPECT_EQ(questions.converts[0], (std::vector<std::string>{"pad.flac", "tom.aif"}));
    EXPECT_EQ(prepared, (std::vector<std::optional<std::filesystem::path>>{kick, {}, {}}));
    EXPECT_EQ(refusals.Text("Not added:"),
              "Not added:\npad.flac: not converted\ntom.aif: not converted");

    // Accepted: converted into the directory given, with the options chosen; the next question
    // proposes them.
    questions.convertAnswer = ConvertOptions{TargetRate::rate22050, false};
    refusals.Clear();
    IncomingFiles incoming = Incoming();
    EXPECT_EQ(incoming.Prepare({pad}, Kit(), refusals),
              (std::vector<std::optional<std::filesystem::path>>{Kit() / "pad.wav"}));
    EXPECT_TRUE(std::filesystem::exists(Kit() / "pad.wav"));
    EXPECT_EQ(converter.used->rate, TargetRate::rate22050);
    EXPECT_TRUE(refusals.Empty());
    incoming.Prepare({tom}, Kit(), refusals);
    EXPECT_EQ(questions.proposed->rate, TargetRate::rate22050);
}

TEST_F(IncomingFilesTest, ARateTheSamplerPlaysOffPitchIsNamedAndProposesTheRateItPlays) {
    const auto hum = Wav(Kit() / "hum48.wav", 48000);
    const auto kick = Wav(Kit() / "kick.wav");
    converter.formats["hum48.wav"] = {1, 48000, 16, 100};
    converter.formats["kick.wav"] = {1, 44100, 16, 100};
    RateCheck rates{[](std::uint32_t rate) {
                        return rate == 48000 ? std::optional<std::string>("3 cents flat")
                                             : std::nullopt;
                    },
                    TargetRate::rate44100};
    const auto prepared = Incoming(std::move(rates)).Prepare({hum, kick}, Kit(), refusals);
    ASSERT_EQ(questions.converts.size(), 1u);
    EXPECT_EQ(questions.converts[0],
              (std::vector<std::string>{"hum48.wav (48000 Hz: 3 cents flat on the sampler)"}));
    EXPECT_EQ(questions.proposed->rate, TargetRate::rate44100);
    EXPECT_TRUE(questions.proposed->dither); // the rest as last chosen
    EXPECT_EQ(prepared,
              (std::vector<std::optional<std::filesystem::path>>{Kit() / "hum48-16.wav", kick}));

    // Without a sampler that plays it off pitch the file goes in as it is, nothing asked.
    questions.converts.clear();
    EXPECT_EQ(Incoming().Prepare({hum}, Kit(), refusals),
              (std::vector<std::optional<std::filesystem::path>>{hum}));
    EXPECT_TRUE(questions.converts.empty());
}

TEST_F(IncomingFilesTest, FilesFromElsewhereAreCopiedAfterOneQuestionNeverOverAFile) {
    const auto inside = Wav(Kit() / "kick.wav");
    const auto snare = Wav(Elsewhere() / "snare.wav");
    Wav(Kit() / "pad.wav");
    const auto pad = Wav(Elsewhere() / "pad.wav", 22050);
    const auto names =
        Incoming().BringIntoDirectory({inside, snare, std::nullopt, pad}, Kit(), refusals);
    ASSERT_EQ(questions.copies.size(), 1u);
    EXPECT_EQ(questions.copies[0].first, 2u);
    EXPECT_EQ(questions.copies[0].second, Kit());
    EXPECT_EQ(names, (std::vector<std::optional<std::string>>{"kick.wav", "snare.wav", {}, {}}));
    EXPECT_TRUE(std::filesystem::exists(Kit() / "snare.wav"));
    EXPECT_EQ(refusals.Text("Not added:"),
              "Not added:\npad.wav: a file of this name is in the program's directory already; "
              "not copied");

    // Declined: the files of other folders are left out, without a word; nothing to copy, no
    // question.
    questions.copyAnswer = false;
    refusals.Clear();
    const auto hat = Wav(Elsewhere() / "hat.wav");
    EXPECT_EQ(Incoming().BringIntoDirectory({hat, inside}, Kit(), refusals),
              (std::vector<std::optional<std::string>>{{}, "kick.wav"}));
    EXPECT_FALSE(std::filesystem::exists(Kit() / "hat.wav"));
    EXPECT_TRUE(refusals.Empty());
    questions.copies.clear();
    Incoming().BringIntoDirectory({inside}, Kit(), refusals);
    EXPECT_TRUE(questions.copies.empty());
}

TEST_F(IncomingFilesTest, ADroppedFileWhoseNameTheProgramHoldsIsRefused) {
    RecordingMessages shown;
    ASSERT_TRUE(AddSample(program, Wav(Kit() / "kick.wav").filename().string(), shown));
    std::filesystem::create_directories(Elsewhere() / "more");
    const auto names = Incoming().TakeDropped({Kit() / "kick.wav", Wav(Elsewhere() / "snare.wav"),
                                               Wav(Elsewhere() / "more" / "snare.wav"), Elsewhere(),
                                               Kit() / "missing.wav"},
                                              program, refusals);
    EXPECT_EQ(names, (std::vector<std::string>{"snare.wav"}));
    EXPECT_EQ(refusals.Text("Not added:"),
              "Not added:\nkick.wav: in the program already\nsnare.wav: in the program already");
}

TEST_F(IncomingFilesTest, ChosenFilesNameWhatReachedTheDirectoryAndTheOthersLoseTheirEntry) {
    PendingSamples pending;
    RecordingMessages shown;
    Wav(Kit() / "kick.wav");
    Wav(Elsewhere() / "snare.wav");
    Other(Elsewhere() / "pad.flac");
    pending.Add({"kick.wav"}, shown);
    pending.Add({"snare.wav", "pad.flac"}, shown, Elsewhere());
    questions.convertAnswer.reset();
    Incoming().TakeChosen(pending, Kit(), refusals);
    ASSERT_EQ(pending.Count(), 2);
    EXPECT_EQ(pending.At(0).file, "kick.wav");
    EXPECT_EQ(pending.At(1).file, "snare.wav");
    EXPECT_TRUE(pending.At(1).source.empty());
    EXPECT_TRUE(std::filesystem::exists(Kit() / "snare.wav"));
}

} // namespace
} // namespace velomire::program
