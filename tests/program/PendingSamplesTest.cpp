#include "program/PendingSamples.h"
#include "program/ByteWriter.h"
#include "program/WavFileList.h"
#include "program/WavInfo.h"
#include "support/RecordingMessages.h"
#include "support/WavBuilder.h"

#include <gtest/gtest.h>

#include <memory>

using namespace velomire::program;
using velomire::testing::RecordingMessages;
using velomire::testing::TempDir;
using velomire::testing::WavBuilder;
using velomire::testing::WriteFile;
using velomire::testing::WriteShortWav;
using Message = RecordingMessages::Message;

namespace {

// A row as the program file stores it: its sample block and keygroup block, byte for byte.
std::vector<std::uint8_t> RowBytes(const SampleEntry& entry) {
    std::vector<std::uint8_t> bytes;
    ByteWriter out(bytes);
    entry.sample.Write(out);
    entry.keygroup.Write(out);
    return bytes;
}

// A program in a temporary directory; the test writes its files there by their bare names.
class PendingSamplesTest : public ::testing::Test {
protected:
    void SetUp() override { program->SetProgramPath(dir / "Drums.vmp", true); }

    // A row read from a fresh file, renamed so rows can be told apart by their sample name.
    void AddRow(const std::string& file, const std::string& sampleName) {
        WriteShortWav(program->SampleFilePath(file));
        WavInfo wav(messages);
        ASSERT_TRUE(wav.Open(program->SampleFilePath(file), file));
        program->InitSampleEntry(program->sampleCount, file, wav);
        SetFieldText(
            program->samples[static_cast<std::size_t>(program->sampleCount)].sample.sampleName,
            sampleName);
        ++program->sampleCount;
    }

    std::vector<std::string> Lines() const {
        std::vector<std::string> lines;
        for (int i = 0; i < pending.Count(); ++i) {
            lines.push_back(PendingSamples::ListLine(pending.At(i)));
        }
        return lines;
    }

    std::vector<std::string> RowFiles() const {
        std::vector<std::string> files;
        for (int i = 0; i < program->sampleCount; ++i) {
            files.push_back(
                FieldText(program->samples[static_cast<std::size_t>(i)].sample.fileName));
        }
        return files;
    }

    TempDir dir;
    velomire::testing::WorkingDirectoryGuard restore{dir.Path()}; // the test writes its files here
    RecordingMessages messages;
    std::unique_ptr<Program> program = std::make_unique<Program>();
    PendingSamples pending;
};

} // namespace

TEST_F(PendingSamplesTest, RemovingTheSecondOfThreeAndAddingOneGivesFirstThirdAndNew) {
    AddRow("kick.wav", "Kick");
    AddRow("snare.wav", "Snare");
    AddRow("hat.wav", "Hat");
    const auto hat = RowBytes(program->samples[2]);
    WriteShortWav("clap.wav");

    pending.FillFrom(*program);
    EXPECT_EQ(Lines(),
              (std::vector<std::string>{"kick.wav [Kick]", "snare.wav [Snare]", "hat.wav [Hat]"}));
    pending.Remove({1});
    pending.Add({"clap.wav"}, messages);
    EXPECT_EQ(Lines(),
              (std::vector<std::string>{"kick.wav [Kick]", "hat.wav [Hat]", "clap.wav []"}));
    // Added again, or already a row of the program: skipped, and said once.
    pending.Add({"clap.wav", "kick.wav"}, messages);
    EXPECT_EQ(pending.Count(), 3);
    EXPECT_EQ(messages.messages,
              (std::vector<Message>{
                  {"In the list already, not added again:\nclap.wav\nkick.wav", "Velomire"}}));
    messages.messages.clear();

    EXPECT_TRUE(pending.ApplyTo(*program, messages));
    EXPECT_EQ(RowFiles(), (std::vector<std::string>{"kick.wav", "hat.wav", "clap.wav"}));
    // The kept row moved whole; the new one has the defaults of its file.
    EXPECT_EQ(RowBytes(program->samples[1]), hat);
    EXPECT_EQ(FieldText(program->samples[2].sample.sampleName), "clap");
    EXPECT_EQ(program->samples[2].sample.sampleRate, 22050u);
    EXPECT_TRUE(messages.messages.empty());
}

TEST_F(PendingSamplesTest, RemovesSelectedRowsWhateverTheirOrder) {
    AddRow("a.wav", "A");
    AddRow("b.wav", "B");
    AddRow("c.wav", "C");
    AddRow("d.wav", "D");
    pending.FillFrom(*program);
    pending.Remove({3, 0, 2, 2, 7, -1});
    EXPECT_EQ(Lines(), (std::vector<std::string>{"b.wav [B]"}));
    EXPECT_TRUE(pending.ApplyTo(*program, messages));
    EXPECT_EQ(RowFiles(), (std::vector<std::string>{"b.wav"}));
}

TEST_F(PendingSamplesTest, FortyFiveFilesGiveFortyAndOneMessagePerAdd) {
    std::vector<std::string> files;
    for (int i = 0; i < 45; ++i) {
        files.push_back("take" + std::to_string(i) + ".wav");
        WriteShortWav(files.back());
    }
    pending.FillFrom(*program);
    // Exactly 40 fit without a word.
    pending.Add({files.begin(), files.begin() + 40}, messages);
    EXPECT_TRUE(messages.messages.empty());
    pending.Remove({39});
    pending.Add({files.begin() + 39, files.end()}, messages);
    EXPECT_EQ(pending.Count(), 40);
    EXPECT_EQ(pending.At(39).file, "take39.wav");
    EXPECT_EQ(
        messages.messages,
        (std::vector<Message>{{"Error : Maximum number of Samples (40) reached", "Velomire"}}));

    pending.Add({"take44.wav"}, messages);
    EXPECT_EQ(messages.messages.size(), 2u);

    EXPECT_TRUE(pending.ApplyTo(*program, messages));
    EXPECT_EQ(program->sampleCount, 40);
}

TEST_F(PendingSamplesTest, AnUnchangedListChangesNothingAndAnEmptiedOneEmptiesTheProgram) {
    AddRow("kick.wav", "Kick");
    AddRow("snare.wav", "Snare");
    const auto first = RowBytes(program->samples[0]);
    const auto second = RowBytes(program->samples[1]);
    pending.FillFrom(*program);
    EXPECT_FALSE(pending.ApplyTo(*program, messages));
    EXPECT_EQ(program->sampleCount, 2);
    EXPECT_EQ(RowBytes(program->samples[0]), first);
    EXPECT_EQ(RowBytes(program->samples[1]), second);

    pending.Remove({0, 1});
    EXPECT_EQ(pending.Count(), 0);
    EXPECT_TRUE(pending.ApplyTo(*program, messages));
    EXPECT_EQ(program->sampleCount, 0);
}

TEST_F(PendingSamplesTest, RefusedFileShowsTheReadersMessageAgainAndIsSkipped) {
    AddRow("kick.wav", "Kick");
    WriteShortWav("lofi.wav", 8);
    WriteShortWav("clap.wav");
    pending.FillFrom(*program);
    pending.Add({"lofi.wav", "missing.wav", "clap.wav"}, messages);
    EXPECT_EQ(pending.Count(), 4);

    EXPECT_TRUE(pending.ApplyTo(*program, messages));
    EXPECT_EQ(RowFiles(), (std::vector<std::string>{"kick.wav", "clap.wav"}));
    EXPECT_EQ(messages.messages, (std::vector<Message>{
                                     {"Error: Invalid .Wav File !", "lofi.wav"},
                                     {"Error: Can't open File !", "missing.wav"},
                                 }));

    // Nothing but refused files: nothing changed.
    pending.FillFrom(*program);
    pending.Add({"lofi.wav"}, messages);
    EXPECT_FALSE(pending.ApplyTo(*program, messages));
    EXPECT_EQ(program->sampleCount, 2);
}

TEST_F(PendingSamplesTest, ListsSoundFilesOfAnyCaseSortedWithoutRegardToCase) {
    for (const char* name : {"b.WAV", "a.wav", "C.Wav", "d.Flac", "notes.txt", "take.wav.bak",
                             ".hidden.wav", "zz_thirty_nine_characters_long_name.wav",
                             "zz_forty_characters_long_name_for_test.wav"}) {
        WriteShortWav(name);
    }
    std::filesystem::create_directory("folder.wav");

    const WavFileList list = ListWavFiles(".");
    EXPECT_EQ(list.names, (std::vector<std::string>{"a.wav", "b.WAV", "C.Wav", "d.Flac",
                                                    "zz_thirty_nine_characters_long_name.wav"}));
    EXPECT_EQ(list.longNames, 1);
    EXPECT_EQ(LongNamesNote(list.longNames),
              "1 file with a name of 40 characters or more is not listed");
    EXPECT_EQ(LongNamesNote(2), "2 files with names of 40 characters or more are not listed");
    EXPECT_EQ(LongNamesNote(0), "");
}

TEST_F(PendingSamplesTest, InformationLineShowsTheHeaderEvenOfARefusedFile) {
    const std::size_t frames = 110250; // 2.5 s at 44100 Hz
    WriteFile("pad.wav",
              WavBuilder::Canonical(2, 44100, 16, std::vector<std::int16_t>(frames * 2)));
    WriteFile("lofi.wav", WavBuilder::Canonical(1, 22050, 8, std::vector<std::int16_t>(22050)));
    WavInfo wav(messages);

    using Texts = std::array<std::string, 6>;
    EXPECT_EQ(InformationTexts(wav, "pad.wav"),
              (Texts{"pad.wav", "16 Bits", "Stereo", "44100 Hz", "110250 Words", "2.5 Seconds"}));
    EXPECT_FALSE(wav.IsOpen());
    EXPECT_TRUE(messages.messages.empty());

    // 44100 data bytes of 8-bit mono at 22050 Hz: 44100 words, 2 seconds.
    EXPECT_EQ(InformationTexts(wav, "lofi.wav"),
              (Texts{"lofi.wav", "8 Bits", "Mono", "22050 Hz", "44100 Words", "2 Seconds"}));
    EXPECT_EQ(messages.messages,
              (std::vector<Message>{{"Error: Invalid .Wav File !", "lofi.wav"}}));

    EXPECT_EQ(InformationTexts(wav, "gone.wav"), std::nullopt);
    EXPECT_EQ(messages.messages.back(), (Message{"Error: Can't open File !", "gone.wav"}));

    // With a converter's probe, a file it reads is described as it is, without a message.
    const auto probe = [](const std::string&) {
        return std::optional<SoundFormat>({2, 48000, 24, 96000});
    };
    messages.messages.clear();
    EXPECT_EQ(InformationTexts(wav, "lofi.wav", probe),
              (Texts{"lofi.wav", "24 Bits", "Stereo", "48000 Hz", "96000 Words", "2 Seconds"}));
    EXPECT_EQ(InformationTexts(wav, "pad.wav", probe)->at(1), "16 Bits");
    EXPECT_TRUE(messages.messages.empty());
}
