#include "transfer/SendCommand.h"
#include "program/ProgramFile.h"
#include "program/WavInfo.h"
#include "support/FakeKernelMidiSink.h"
#include "support/FakeLibrarian.h"
#include "support/FakeWaitClock.h"
#include "support/HexMatch.h"
#include "support/RecordingMessages.h"
#include "support/RecordingMidiDriver.h"
#include "support/ScriptedMidiInDriver.h"
#include "support/WavBuilder.h"
#include "transfer/OffPitch.h"
#include "transfer/SamplerModel.h"
#include "transfer/WirePacer.h"

#include "support/MapSettingsStore.h"

#include <gtest/gtest.h>

#include <functional>
#include <limits>
#include <map>
#include <memory>

using namespace velomire::transfer;
namespace program = velomire::program;
namespace vt = velomire::testing;
using vt::FakeWaitClock;
using vt::RecordingMessages;
using vt::RecordingMidiDriver;
using vt::TempDir;
using vt::WavBuilder;

namespace {

using MapStore = velomire::testing::MapSettingsStore;

class RecordingUi : public SendUi {
public:
    bool ConfirmSummary(const ProgramSummary& summary) override {
        summaries.push_back(summary);
        return answerSend;
    }
    bool AskNumbers(SendNumbers& numbers) override {
        asked.push_back(numbers);
        if (typedPrograms) {
            numbers.programs = *typedPrograms;
        }
        return true;
    }
    void OpenSending(const std::string& title) override { titles.push_back(title); }
    void AddLine(const std::string& line) override {
        lines.push_back(line);
        if (onLine) {
            onLine(lines.size());
        }
    }
    void CloseSending() override { ++closed; }
    void SetSampleBar(int percent) override { sampleBars.push_back(percent); }
    void SetProgramBar(int percent) override { programBars.push_back(percent); }
    void BeginWait() override { ++waits; }
    void EndWait() override { --waits; }

    bool answerSend = true;
    std::optional<std::int32_t> typedPrograms;
    std::function<void(std::size_t)> onLine; // after the n-th line (1-based)
    std::vector<ProgramSummary> summaries;
    std::vector<SendNumbers> asked;
    std::vector<std::string> titles;
    std::vector<std::string> lines;
    std::vector<int> sampleBars;
    std::vector<int> programBars;
    int closed = 0;
    int waits = 0;
};

class SendCommandTest : public ::testing::Test {
protected:
    void SetUp() override {
        vt::WriteFile(dir / "piano.wav",
                      WavBuilder::Canonical(2, 44100, 16, std::vector<std::int16_t>(200, 7)));
        vt::WriteFile(dir / "kick.wav",
                      WavBuilder::Canonical(1, 44100, 16, std::vector<std::int16_t>(100, 3)));
        program->SetProgramPath(dir / "Bass.vmp", true);
        settings.samplerModel = 8; // Akai S3000 XL
        settings.midiOutDevice = 1;
        settings.maxProgram = 254;
        settings.maxSample = 255;
        port.SetTracePath(dir / "trace.chk");
    }

    void Add(const std::string& name) {
        program::WavInfo wav(messages);
        ASSERT_TRUE(wav.Open(program->SampleFilePath(name), name));
        program->InitSampleEntry(program->sampleCount, name, wav);
        ++program->sampleCount;
    }

    SendCommand::Outcome Send() {
        return SendCommand(*program, settings, port, messages, ui).OnSendProgram();
    }

    // The first bytes of every buffer the driver received, to follow the order of messages.
    std::vector<std::vector<std::uint8_t>> Heads(std::size_t length) const {
        std::vector<std::vector<std::uint8_t>> heads;
        for (const auto& w : driver.writes) {
            heads.emplace_back(w.begin(),
                               w.begin() + static_cast<long>(std::min(length, w.size())));
        }
        return heads;
    }

    TempDir dir;
    vt::WorkingDirectoryGuard restore; // naming the program enters its directory
    RecordingMessages messages;
    RecordingMidiDriver driver;
    FakeWaitClock clock;
    MidiOutPort port{driver, clock, messages};
    RecordingUi ui;
    SamplerSettings settings;
    std::unique_ptr<program::Program> program = std::make_unique<program::Program>();
};

} // namespace

TEST(ProgramSummary, FiguresAreCutNotRounded) {
    EXPECT_EQ((ProgramSummary{1, 44100}).MemoryText(), "86.13 Ko");
    EXPECT_EQ((ProgramSummary{1, 1536000}).MemoryText(), "2.92 Mo");
    EXPECT_EQ((ProgramSummary{1, 512000}).MemoryText(), "0.97 Mo");
    EXPECT_EQ((ProgramSummary{1, 511300}).MemoryText(), "998.63 Ko");
    EXPECT_EQ((ProgramSummary{0, 0}).MemoryText(), "0.00 Ko");
    EXPECT_EQ((ProgramSummary{1, 44100, 92.5}).TimeText(), "1min 33sec");
}

TEST(ProgramSummary, TimeLeftMovesFromTheEstimateToThePaceSoFar) {
    EXPECT_DOUBLE_EQ(TimeLeftSeconds(60, 0, 0), 60);
    EXPECT_DOUBLE_EQ(TimeLeftSeconds(60, 0.5, 30), 30); // on estimate
    // Half sent in 10 s (a closed-loop send without the fixed waits): between the estimate's 30 s
    // and the pace's 10 s.
    EXPECT_DOUBLE_EQ(TimeLeftSeconds(60, 0.5, 10), 20);
    EXPECT_NEAR(TimeLeftSeconds(60, 0.9, 9), 1.5, 1e-9); // 0.1 * 6 s + 0.9 * 1 s
    EXPECT_DOUBLE_EQ(TimeLeftSeconds(60, 1.2, 70), 0);   // a last packet past the words counted
}

TEST(ProgramSummary, SpinsStayBetweenZeroAndBelowTheLimit) {
    EXPECT_EQ(SpinNumber(3, true, 5), 4);
    EXPECT_EQ(SpinNumber(4, true, 5), 4);
    EXPECT_EQ(SpinNumber(0, false, 5), 0);
    EXPECT_EQ(SpinNumber(2, false, 5), 1);
    EXPECT_EQ(SpinNumber(0, true, 0), 0); // a limit of 0 never goes negative
    EXPECT_EQ(SpinNumber(0, true, -3), 0);
}

TEST_F(SendCommandTest, RefusesWithoutProgramSamplerOrDevice) {
    program->programCreated = false;
    EXPECT_EQ(Send(), SendCommand::Outcome::refused);
    program->programCreated = true;
    settings.samplerModel = -1;
    EXPECT_EQ(Send(), SendCommand::Outcome::refused);
    settings.samplerModel = SamplerModel::count; // a hand-edited settings file
    EXPECT_EQ(Send(), SendCommand::Outcome::refused);
    settings.samplerModel = 0;
    settings.midiOutDevice = -1;
    EXPECT_EQ(Send(), SendCommand::Outcome::refused);
    ASSERT_EQ(messages.messages.size(), 4u);
    EXPECT_EQ(messages.messages[0].text, "Create a program first !");
    EXPECT_EQ(messages.messages[1].text, "Select a Sampler in Options");
    EXPECT_EQ(messages.messages[2].text, "Select a Sampler in Options");
    EXPECT_EQ(messages.messages[3].text, "Select a Midi Out device in the Options menu");
    EXPECT_EQ(driver.openCount, 0);
    EXPECT_EQ(ui.waits, 0);
}

TEST_F(SendCommandTest, FirstAkaiSendNumbersStereoPartsAndTheProgram) {
    Add("kick.wav");
    Add("piano.wav");
    ASSERT_EQ(Send(), SendCommand::Outcome::sent);

    ASSERT_EQ(ui.asked.size(), 1u);
    EXPECT_EQ(ui.asked[0].programs, 1);
    EXPECT_EQ(ui.asked[0].samples, 4);
    EXPECT_EQ(ui.asked[0].sampleLimit, 255 - 2);
    EXPECT_EQ(ui.titles, std::vector<std::string>{"Sending samples to S3000 XL"});
    const std::vector<std::string> lines = {
        "Midi Out device: Test Port B", "Sending kick.wav [kick] ...Mono as sample#4",
        "Sending piano.wav [piano] ...Left channel as sample#5",
        "Sending piano.wav [piano] ...Right channel as sample#6", "Sending Bass as program#1"};
    EXPECT_EQ(ui.lines, lines);
    EXPECT_EQ(ui.summaries[0].sampleCount, 3u);
    EXPECT_EQ(ui.summaries[0].words, 100u + 2 * 100u);
    EXPECT_EQ(program->header.programNumber, 1);
    EXPECT_EQ(program->header.programParams[0], 1);
    EXPECT_EQ(program->header.programParams[27], 2);
    EXPECT_EQ(program->header.filesChecked, 1);
    EXPECT_EQ(program->samples[1].sample.samplerSampleNumber[2], 6);
    EXPECT_EQ(ui.closed, 1);
    EXPECT_FALSE(driver.open);
    EXPECT_EQ(SendCommand::ReportText(3, true, 191.6),
              "Sent 3 samples and the program in 3 min 12 s");
    EXPECT_EQ(SendCommand::ReportText(1, false, 4.2), "Sent 1 sample in 4 s");

    // The next send proposes the numbers after the ones just used.
    ASSERT_EQ(Send(), SendCommand::Outcome::sent);
    EXPECT_EQ(ui.asked[1].programs, 2);
    EXPECT_EQ(ui.asked[1].samples, 7);
}

TEST_F(SendCommandTest, ThePortsAreFoundByNameAndAMissingOneRefusesTheSendNamingIt) {
    Add("kick.wav");
    // Another client started before the sampler: the saved position now names it.
    driver.ports = {"JACK: drum-machine:in", "JACK: velomire-sampler:in"};
    settings.midiOutDevice = 0;
    settings.midiOutName = "JACK: velomire-sampler:in";
    vt::ScriptedMidiInDriver inDriver;
    inDriver.ports = {"JACK: drum-machine:out", "JACK: velomire-sampler:out"};
    MidiInPort replies(inDriver, clock);
    settings.midiInDevice = 0;
    settings.midiInName = "JACK: velomire-sampler:out";
    const auto send = [&] {
        SendCommand command(*program, settings, port, messages, ui);
        command.SetReplyPort(&replies);
        return command.OnSendProgram();
    };
    ASSERT_EQ(send(), SendCommand::Outcome::sent);
    EXPECT_EQ(driver.openedIndex, 1u);
    EXPECT_EQ(ui.summaries[0].outPort, "JACK: velomire-sampler:in");
    EXPECT_EQ(ui.summaries[0].inPort, "JACK: velomire-sampler:out");
    EXPECT_EQ(ui.lines[0], "Midi Out device: JACK: velomire-sampler:in");
    EXPECT_EQ(ui.lines[1], "Midi In device: JACK: velomire-sampler:out");

    // Never a silent fall-back to the position: nothing opens, and the message names the port.
    const int opened = driver.openCount;
    inDriver.ports.pop_back();
    EXPECT_EQ(send(), SendCommand::Outcome::refused);
    driver.ports.pop_back();
    EXPECT_EQ(send(), SendCommand::Outcome::refused);
    EXPECT_EQ(driver.openCount, opened);
    ASSERT_EQ(messages.messages.size(), 2u);
    EXPECT_NE(messages.messages[0].text.find(
                  "The Midi In device \"JACK: velomire-sampler:out\" is not there"),
              std::string::npos);
    EXPECT_NE(messages.messages[1].text.find(
                  "The Midi Out device \"JACK: velomire-sampler:in\" is not there"),
              std::string::npos);
}

TEST_F(SendCommandTest, WithMidiInTheSamplerSaysWhichNumbersAreFreeWithinABoundedWait) {
    Add("piano.wav"); // stereo: two parts
    Add("kick.wav");
    vt::ScriptedMidiInDriver inDriver;
    MidiInPort replies(inDriver, clock);
    vt::FakeLibrarian librarian;
    librarian.clock = &clock;
    using Kind = SamplerEntry::Kind;
    librarian.entries = {{Kind::program, 1, "BASS"}, {Kind::sample, 4, "BASS C1"}};
    std::vector<std::int32_t> askedFor;
    std::chrono::steady_clock::duration waited{};
    const auto send = [&] {
        SendCommand command(*program, settings, port, messages, ui);
        command.SetReplyPort(&replies);
        command.SetLibrarianFactory([&](std::int32_t model, const LibrarianPorts&) {
            askedFor.push_back(model);
            return std::make_unique<vt::FakeLibrarian>(librarian);
        });
        return command.OnSendProgram();
    };
    // Without Midi In the sampler is not asked.
    ASSERT_EQ(send(), SendCommand::Outcome::sent);
    EXPECT_TRUE(askedFor.empty());
    EXPECT_FALSE(ui.asked[0].inUse);

    settings.midiInDevice = 0;
    program->nextProgramNumber = 1;
    program->nextSampleNumber = 4;
    ASSERT_EQ(send(), SendCommand::Outcome::sent);
    EXPECT_EQ(askedFor, std::vector<std::int32_t>{8});
    EXPECT_EQ(std::tie(ui.asked[1].programs, ui.asked[1].samples), std::tuple(0, 0));
    EXPECT_EQ(ui.asked[1].origin,
              "Proposed: the first free numbers in the S3000 XL, as it said just now.");
    // The dialog's numbers name what they would overwrite: three parts from 2 reach 4.
    SendNumbers shown = ui.asked[1];
    shown.programs = 1;
    shown.samples = 2;
    EXPECT_EQ(shown.Warning(),
              "This send overwrites program 1 \"BASS\" and sample 4 \"BASS C1\" in the sampler.");

    // A sampler that does not answer holds the dialog back listWait (and a probe a part) at
    // most, and the proposal
    // stays where the last send ended.
    librarian.silent = true;
    librarian.waited = &waited;
    ASSERT_EQ(send(), SendCommand::Outcome::sent);
    EXPECT_GT(waited, std::chrono::milliseconds(0));
    EXPECT_LE(waited, SendCommand::listWait + 3 * SendCommand::listProbeWait);
    EXPECT_EQ(std::tie(ui.asked[2].programs, ui.asked[2].samples), std::tuple(1, 3));
    EXPECT_FALSE(ui.asked[2].inUse);
    EXPECT_EQ(ui.asked[2].origin, "Proposed: where the last send ended. The S3000 XL did not say "
                                  "which numbers it holds.");
}

TEST_F(SendCommandTest, TheNumbersOfEachModelAreRememberedAcrossRestarts) {
    Add("kick.wav");
    MapStore store;
    const auto sendAfterStart = [&](std::int32_t model) {
        SettingsReader reader(store);
        NumberMemory memory = NumberMemory::Read(reader);
        auto fresh = std::make_unique<program::Program>(); // a new run starts at 0
        *fresh = *program;
        fresh->nextProgramNumber = 0;
        fresh->nextSampleNumber = 0;
        settings.samplerModel = model;
        SendCommand command(*fresh, settings, port, messages, ui);
        command.SetNumberMemory(&memory, &store);
        return command.OnSendProgram();
    };
    ASSERT_EQ(sendAfterStart(8), SendCommand::Outcome::sent);
    EXPECT_EQ(std::tie(ui.asked[0].programs, ui.asked[0].samples), std::tuple(1, 4));
    EXPECT_EQ(ui.asked[0].origin, "Proposed: the usual numbers for a first send to the S3000 XL.");
    EXPECT_EQ(store.values["Next Program 8"], "2");
    EXPECT_EQ(store.values["Next Sample 8"], "5");

    ASSERT_EQ(sendAfterStart(8), SendCommand::Outcome::sent);
    EXPECT_EQ(std::tie(ui.asked[1].programs, ui.asked[1].samples), std::tuple(2, 5));
    EXPECT_EQ(ui.asked[1].origin, "Proposed: where the last send to the S3000 XL ended.");
    // Another sampler holds its own numbers.
    ASSERT_EQ(sendAfterStart(0), SendCommand::Outcome::sent);
    EXPECT_EQ(std::tie(ui.asked[2].programs, ui.asked[2].samples), std::tuple(0, 0));
    EXPECT_EQ(store.values["Next Sample 0"], "1");
    EXPECT_EQ(store.values["Next Sample 8"], "6");
}

TEST_F(SendCommandTest, MessagesFollowTheFamilyOrder) {
    Add("kick.wav");
    const auto hex = vt::Hex;
    ASSERT_EQ(Send(), SendCommand::Outcome::sent); // S3000 XL
    auto heads = Heads(5);
    ASSERT_GE(heads.size(), 5u);
    EXPECT_EQ(heads.front(), hex("F0 47 00 0B 48"));           // sample header
    EXPECT_EQ(heads[1], hex("F0 7E 00 02 00"));                // SDS packets
    EXPECT_EQ(heads[heads.size() - 2], hex("F0 47 00 07 48")); // program header
    EXPECT_EQ(heads.back(), hex("F0 47 00 09 48"));            // one keygroup

    driver.writes.clear();
    settings.samplerModel = 2; // S950
    ASSERT_EQ(Send(), SendCommand::Outcome::sent);
    heads = Heads(5);
    EXPECT_EQ(heads.front(), hex("F0 7E 01 05 00")); // sample data, numbered after the last send
    EXPECT_EQ(heads[heads.size() - 2], hex("F0 47 00 0A 40"));
    EXPECT_EQ(heads.back(), hex("F0 47 00 09 40"));

    driver.writes.clear();
    settings.samplerModel = 0; // SDS
    const std::int32_t programsBefore = program->nextProgramNumber;
    ASSERT_EQ(Send(), SendCommand::Outcome::sent);
    heads = Heads(5);
    EXPECT_EQ(heads.front(), hex("F0 7E 00 01 06")); // Dump Header
    EXPECT_EQ(heads.back(), hex("F0 7E 00 02 02"));  // third packet, no program after it
    EXPECT_EQ(program->nextProgramNumber, programsBefore);
    EXPECT_EQ(ui.lines.back(), "Sending kick.wav [kick] ...Mono as sample#6");
}

TEST_F(SendCommandTest, FirstSdsSendProposesZeroAndSendsNoProgram) {
    settings.samplerModel = 0;
    Add("kick.wav");
    ASSERT_EQ(Send(), SendCommand::Outcome::sent);
    EXPECT_EQ(ui.asked[0].programs, 0);
    EXPECT_EQ(ui.asked[0].samples, 0);
    EXPECT_EQ(ui.lines.back(), "Sending kick.wav [kick] ...Mono as sample#0");
    EXPECT_EQ(ui.lines.size(), 2u);
    EXPECT_EQ(program->nextProgramNumber, 0);
    EXPECT_EQ(program->nextSampleNumber, 1);
}

TEST_F(SendCommandTest, AMissingFileIsNamedAndNothingIsSent) {
    Add("kick.wav");
    program::SetFieldText(program->samples[0].sample.fileName, "gone.wav");
    program->traceMode = 1;
    EXPECT_EQ(Send(), SendCommand::Outcome::cancelled);
    ASSERT_EQ(messages.messages.size(), 1u);
    EXPECT_EQ(messages.messages[0].text, "gone.wav");
    EXPECT_EQ(ui.summaries.size(), 1u); // the summary is still shown
    EXPECT_TRUE(driver.writes.empty());
    EXPECT_EQ(driver.closeCount, 1);
    EXPECT_EQ(program->header.filesChecked, 0);
    EXPECT_EQ(std::filesystem::file_size(dir / "trace.chk"), 0u);
}

TEST_F(SendCommandTest, CancelOnTheSummaryClosesThePort) {
    Add("kick.wav");
    ui.answerSend = false;
    EXPECT_EQ(Send(), SendCommand::Outcome::cancelled);
    EXPECT_TRUE(driver.writes.empty());
    EXPECT_FALSE(driver.open);
    EXPECT_TRUE(ui.asked.empty());
}

TEST_F(SendCommandTest, TraceHoldsExactlyTheBytesOfTheLastSend) {
    Add("kick.wav");
    program->traceMode = 1;
    ASSERT_EQ(Send(), SendCommand::Outcome::sent);
    driver.writes.clear();
    ASSERT_EQ(Send(), SendCommand::Outcome::sent);
    EXPECT_TRUE(vt::BytesEqual(vt::ReadFile(dir / "trace.chk"), driver.AllBytes()));
}

TEST_F(SendCommandTest, NegativeChannelsGoAsZeroAndTypedNumbersStayWithinSixteenBits) {
    Add("kick.wav");
    settings.exclusiveChannel = -5;
    settings.midiChannel = -1;
    ui.typedPrograms = std::numeric_limits<std::int32_t>::max();
    ASSERT_EQ(Send(), SendCommand::Outcome::sent);
    EXPECT_EQ(driver.writes.front()[2], 0x00);
    EXPECT_EQ(driver.writes[1][2], 0x00);
    EXPECT_EQ(program->nextProgramNumber, 65535 + 1);
}

TEST_F(SendCommandTest, S900NumbersAbove127AreRefusedBeforeSending) {
    settings.samplerModel = 1;
    Add("piano.wav");
    program->nextProgramNumber = 3;
    program->nextSampleNumber = 127; // the right channel would need 128
    EXPECT_EQ(Send(), SendCommand::Outcome::refused);
    EXPECT_TRUE(driver.writes.empty());
    EXPECT_FALSE(driver.open);
    ASSERT_EQ(messages.messages.size(), 1u);

    ui.typedPrograms = 128;
    program->nextSampleNumber = 0;
    EXPECT_EQ(Send(), SendCommand::Outcome::refused);
    EXPECT_TRUE(driver.writes.empty());
}

TEST_F(SendCommandTest, TheS1000FamilyRefusesRatesAboveSixteenBitsBeforeSending) {
    vt::WriteFile(dir / "hi.wav",
                  WavBuilder::Canonical(1, 96000, 16, std::vector<std::int16_t>(9)));
    Add("hi.wav");
    EXPECT_EQ(Send(), SendCommand::Outcome::cancelled);
    EXPECT_TRUE(driver.writes.empty());
    ASSERT_EQ(messages.messages.size(), 1u);
    EXPECT_NE(messages.messages[0].text.find("hi.wav is sampled at 96000 Hz"), std::string::npos);
}

TEST(OffPitch, TheS1000FamilyPlaysOtherRatesAtTheNearerOfItsTwoInPitch) {
    struct Row {
        std::int32_t model;
        std::uint32_t rate;
        std::uint32_t playRate; // 0: played at its pitch
        double cents;
    };
    const Row rows[] = {
        {8, 48000, 44100, -146.71}, // about 1.47 semitones flat
        {3, 32000, 44100, 555.25},  // nearer 22050 Hz in Hz, 44100 Hz in pitch
        {9, 31184, 44100, 599.97},  // just above 22050 x sqrt(2)
        {4, 31183, 22050, -599.98}, // just below
        {5, 11025, 22050, 1200.00}, // an octave sharp
        {3, 44100, 0, 0},           // the family's own rates
        {7, 22050, 0, 0},
        {0, 48000, 0, 0}, // SDS and S900/S950 play the rate they are sent
        {2, 48000, 0, 0},
        {-1, 48000, 0, 0}, // no model chosen
    };
    for (const Row& row : rows) {
        const auto off = OffPitchAt(row.rate, row.model);
        ASSERT_EQ(off.has_value(), row.playRate != 0) << row.model << " " << row.rate;
        if (off) {
            EXPECT_EQ(off->playRate, row.playRate) << row.rate;
            EXPECT_NEAR(off->cents, row.cents, 0.01) << row.rate;
        }
    }
    // The tune offset sent (its low 16 bits, 1/256 semitone) moves what is heard: +16/256
    // semitone, 6.25 cents.
    program::SampleBlock sample{};
    sample.sampleRate = 48000;
    sample.tuneOffset = 0x10010;
    EXPECT_NEAR(OffPitchOf(sample, 8)->cents, -146.71 + 6.25, 0.01);
    EXPECT_EQ(CentsText(-146.71), "146.7 cents flat");
    EXPECT_EQ(CentsText(1200), "1200.0 cents sharp");
    // Add Samples proposes 44100 Hz unless the choice saved already gives a rate the model plays.
    EXPECT_EQ(ProposedRate(program::TargetRate::keep, 8), program::TargetRate::rate44100);
    EXPECT_EQ(ProposedRate(program::TargetRate::s900, 3), program::TargetRate::rate44100);
    EXPECT_EQ(ProposedRate(program::TargetRate::rate22050, 3), program::TargetRate::rate22050);
}

TEST_F(SendCommandTest, ASampleTheModelPlaysOffPitchIsNamedInTheSummaryAndSentAsItIs) {
    vt::WriteFile(dir / "hum48.wav",
                  WavBuilder::Canonical(1, 48000, 16, std::vector<std::int16_t>(100, 5)));
    Add("kick.wav");
    Add("hum48.wav");
    ASSERT_EQ(Send(), SendCommand::Outcome::sent);
    EXPECT_EQ(ui.summaries.back().offPitch,
              (std::vector<std::string>{"hum48.wav [hum48] is sampled at 48000 Hz: the S3000 XL "
                                        "plays it at 44100 Hz, 146.7 cents flat"}));
    // The last sample header still says 48000 Hz (BB80; header bytes 138-139 as nibbles).
    const auto header = std::find_if(driver.writes.rbegin(), driver.writes.rend(),
                                     [](const auto& w) { return w[3] == 0x0B; });
    ASSERT_NE(header, driver.writes.rend());
    EXPECT_TRUE(vt::BytesEqual(std::span(*header).subspan(7 + 2 * 138, 4), vt::Hex("00 08 0B 0B")));
    settings.samplerModel = SamplerModel::s950;
    ASSERT_EQ(Send(), SendCommand::Outcome::sent);
    EXPECT_TRUE(ui.summaries.back().offPitch.empty());
}

TEST_F(SendCommandTest, AnEmptyAkaiProgramStillSendsItsProgram) {
    ASSERT_EQ(Send(), SendCommand::Outcome::sent);
    EXPECT_EQ(ui.summaries[0].MemoryText(), "0.00 Ko");
    EXPECT_EQ(ui.lines, (std::vector<std::string>{"Midi Out device: Test Port B",
                                                  "Sending Bass as program#1"}));
    ASSERT_EQ(driver.writes.size(), 1u); // the program header, no keygroups
    EXPECT_EQ(program->header.programParams[27], 0);
}

TEST_F(SendCommandTest, EveryModelSendsItsSamplesAndProgram) {
    Add("kick.wav");
    Add("piano.wav");
    for (std::int32_t model = 0; model < SamplerModel::count; ++model) {
        driver.writes.clear();
        program->nextProgramNumber = 0;
        program->nextSampleNumber = 0;
        settings.samplerModel = model;
        clock.Reset();
        ASSERT_EQ(Send(), SendCommand::Outcome::sent) << "model " << model;
        // The estimate counts every byte's wire time and every wait of the send.
        EXPECT_NEAR(ui.summaries.back().seconds, clock.Elapsed().count() / 1e6, 1e-6)
            << "model " << model;
        ASSERT_FALSE(driver.writes.empty());
        const auto& last = driver.writes.back();
        const SamplerFamily family = SamplerModel::Family(model);
        if (family == SamplerFamily::sds) {
            EXPECT_EQ(last[3], 0x02) << "a data packet ends an SDS send";
        } else {
            EXPECT_EQ(last[3], 0x09) << "model " << model << " ends with its program";
            EXPECT_EQ(last[4], family == SamplerFamily::s900 ? 0x40 : 0x48);
        }
        EXPECT_TRUE(messages.messages.empty()) << "model " << model;
    }
}

TEST_F(SendCommandTest, ADeviceThatStopsTakingDataEndsTheSendWithOneMessage) {
    Add("kick.wav");        // 1 header + 3 packets
    Add("piano.wav");       // twice 1 header + 3 packets
    driver.failAtWrite = 6; // the left channel's header goes, its first packet does not
    EXPECT_EQ(Send(), SendCommand::Outcome::stopped);

    EXPECT_EQ(driver.writeCalls, 6); // nothing is tried after the failure
    EXPECT_EQ(messages.messages,
              (std::vector<RecordingMessages::Message>{
                  {"The MIDI device \"Test Port B\" stopped taking data after 1 of 3 sample parts; "
                   "the transfer was stopped. (The device refused the message)",
                   "Velomire"}}));
    EXPECT_EQ(ui.closed, 1);
    EXPECT_FALSE(driver.open);
    // Only the part that went out completely used a number.
    EXPECT_EQ(program->nextSampleNumber, 5);
    EXPECT_EQ(program->nextProgramNumber, 1);
}

TEST_F(SendCommandTest, CancelStopsBeforeTheNextPartAndCountsWhatWasSent) {
    Add("kick.wav");
    Add("piano.wav");
    ui.onLine = [&](std::size_t n) {
        if (n == 4) { // while the right channel's line is shown, after the port's
            port.RequestCancel();
        }
    };
    EXPECT_EQ(Send(), SendCommand::Outcome::interrupted);
    EXPECT_EQ(messages.messages.size(), 1u);
    EXPECT_EQ(messages.messages[0].text, "Transfer cancelled: 2 of 3 sample parts sent.");
    // kick's and the left channel's header and 3 packets each; the right channel and the program
    // never go.
    EXPECT_EQ(driver.writes.size(), 8u);
    EXPECT_EQ(program->nextSampleNumber, 6);
    EXPECT_EQ(program->nextProgramNumber, 1);

    // The next send starts afresh.
    ui.onLine = nullptr;
    EXPECT_EQ(Send(), SendCommand::Outcome::sent);
}

TEST_F(SendCommandTest, ASoundReachingPastItsFileIsRefusedBeforeSending) {
    Add("kick.wav");
    Add("piano.wav");
    program->samples[1].sample.soundStart = 2; // 2 + 100 words of a 100-frame file
    program->samples[0].sample.lengthWords = 0xFFFFFFFE;
    EXPECT_EQ(Send(), SendCommand::Outcome::cancelled);
    ASSERT_EQ(messages.messages.size(), 2u);
    EXPECT_EQ(messages.messages[0].text,
              "The sound of sample 1 [kick] lies outside its file kick.wav");
    EXPECT_EQ(messages.messages[1].text,
              "The sound of sample 2 [piano] lies outside its file piano.wav");
    EXPECT_TRUE(driver.writes.empty());
}

// The ALSA driver's way of writing, into a hardware port's kernel buffer.
class PacedKernelDriver : public RecordingMidiDriver {
public:
    explicit PacedKernelDriver(FakeWaitClock& clock) : pacer(clock), sink(clock) {}
    MidiStatus Write(std::span<const std::uint8_t> bytes) override {
        largest = std::max(largest, bytes.size());
        total += bytes.size();
        return pacer.Write(
            bytes, [this](std::span<const std::uint8_t> event) { return sink.Take(event); }, {});
    }
    WirePacer pacer;
    vt::FakeKernelMidiSink sink;
    std::size_t largest = 0;
    std::size_t total = 0;
};

TEST_F(SendCommandTest, AFortyEntryS950SendPacedToTheWireNeverOverrunsAHardwarePort) {
    for (int i = 0; i < program::Program::maxSamples; ++i) {
        Add("piano.wav"); // stereo: 80 sample parts, an 85 + 140 * 80 byte program message
    }
    settings.samplerModel = 2;
    PacedKernelDriver paced(clock);
    MidiOutPort pacedPort(paced, clock, messages);
    ASSERT_EQ(SendCommand(*program, settings, pacedPort, messages, ui).OnSendProgram(),
              SendCommand::Outcome::sent);

    EXPECT_EQ(paced.largest, 11285u);
    EXPECT_EQ(paced.sink.dropped, 0u);
    EXPECT_EQ(paced.sink.received, paced.total);
    // Wire time plus the 2 * 300 ms the S950 data sender waits per part, within 2 %.
    const double ideal = paced.total * 320e-6 + 80 * 0.6;
    const double took = std::chrono::duration<double>(paced.sink.EmptyAt() - clock.start).count();
    EXPECT_NEAR(took, ideal, ideal * 0.02);

    // Handed over at once, as the driver did before, the program message loses its end.
    vt::FakeKernelMidiSink unpaced(clock);
    unpaced.Take(std::vector<std::uint8_t>(11285, 0x40));
    EXPECT_EQ(unpaced.dropped, 11285u - 4096u);
}
