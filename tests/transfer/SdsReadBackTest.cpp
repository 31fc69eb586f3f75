#include "program/ProgramFile.h"
#include "transfer/SamplerLoad.h"
#include "transfer/SamplerReply.h"
#include "transfer/SimulatedSampler.h"
#include "transfer/families/SdsReceiver.h"
#include "transfer/families/SdsWire.h"
#include "transfer/families/sds/SdsLibrarian.h"

#include "support/FakeWaitClock.h"
#include "support/HexMatch.h"
#include "support/RecordingMessages.h"
#include "support/RecordingMidiDriver.h"
#include "support/SamplerLink.h"
#include "support/ScriptedMidiInDriver.h"
#include "support/SendSupport.h"
#include "support/WavBuilder.h"

#include <gtest/gtest.h>

#include <map>

using namespace velomire::transfer;
using namespace velomire::transfer::families::sds;
namespace vt = velomire::testing;
using Bytes = std::vector<std::uint8_t>;
using std::chrono::milliseconds;

namespace {

class UserProgress : public LibrarianProgress {
public:
    void Progress(std::uint64_t done, std::uint64_t) override {
        last = done;
        ++calls;
    }
    bool Cancelled() override { return cancelAfter >= 0 && calls >= cancelAfter; }
    std::uint64_t last = 0;
    int calls = 0;
    int cancelAfter = -1; // progress calls after which the user cancels
};

DecodedSample Sample(int number, std::size_t words) {
    DecodedSample sample;
    sample.number = number;
    sample.rate = 44100;
    for (std::size_t i = 0; i < words; ++i) {
        sample.frames.push_back(static_cast<std::int16_t>(i * 611 - 20000));
    }
    return sample;
}

Bytes Damaged(Bytes packet) {
    packet[packetBytes - 2] ^= 0x01;
    return packet;
}

Bytes Handshakes(std::initializer_list<std::pair<SamplerReply::Kind, int>> list) {
    Bytes all;
    for (const auto& [kind, packet] : list) {
        const Bytes one = SdsHandshake(kind, 2, packet);
        all.insert(all.end(), one.begin(), one.end());
    }
    return all;
}

// The receiver against a scripted sampler: each batch arrives at one poll, whatever is answered.
class SdsReceiverTest : public ::testing::Test {
protected:
    SdsReceiverTest() {
        out.Open(0);
        in.Open(0);
        script.batches.push_back({}); // taken by the receiver's discard before its request
    }
    void Arrive(const Bytes& message) { script.batches.push_back({message}); }
    LibrarianResult Get(int number) {
        clock.Reset();
        return receiver.Get(number, got, progress);
    }

    vt::FakeWaitClock clock;
    vt::RecordingMessages messages;
    vt::RecordingMidiDriver driver;
    vt::ScriptedMidiInDriver script{&clock};
    MidiOutPort out{driver, clock, messages};
    MidiInPort in{script, clock};
    SdsReceiver receiver{out, in, 2};
    UserProgress progress;
    DecodedSample got;
    using K = SamplerReply::Kind;
};

TEST_F(SdsReceiverTest, AcksEachPacketWithAWaitForTheNextInTheSameWriteAndPassesOverOthers) {
    const DecodedSample sample = Sample(3, 100); // 3 packets
    Arrive(DumpHeader(1, sample));               // another channel's
    Arrive(DumpHeader(2, sample));
    Arrive(DataPacket(2, sample, 0));
    Arrive(DataPacket(2, sample, 0)); // our ACK was lost: answered again
    Arrive(DataPacket(2, sample, 1));
    Arrive(DataPacket(2, sample, 2));

    ASSERT_TRUE(Get(3).Ok());
    EXPECT_EQ(got.frames, sample.frames);
    EXPECT_EQ(progress.last, 100u);
    ASSERT_EQ(driver.writes.size(), 6u);
    EXPECT_TRUE(vt::BytesEqual(driver.writes[0], vt::Hex("F0 7E 02 03 03 00 F7")));
    EXPECT_EQ(driver.writes[1], Handshakes({{K::ack, 0}}));
    EXPECT_EQ(driver.writes[2], Handshakes({{K::ack, 0}, {K::wait, 1}}));
    EXPECT_EQ(driver.writes[3], Handshakes({{K::ack, 0}, {K::wait, 1}}));
    EXPECT_EQ(driver.writes[4], Handshakes({{K::ack, 1}, {K::wait, 2}}));
    EXPECT_EQ(driver.writes[5], Handshakes({{K::ack, 2}})); // the last: nothing to wait for
}

TEST_F(SdsReceiverTest, NaksDamagedOrUnexpectedPacketsAndCancelsNamingThePacketAfterFiveNaks) {
    const DecodedSample sample = Sample(9, 80);
    Arrive(DumpHeader(2, sample));
    Arrive(Damaged(DataPacket(2, sample, 0)));
    Arrive(DataPacket(2, sample, 1)); // unexpected: packet 0 is still missing
    Arrive(DataPacket(2, sample, 0));
    for (int i = 0; i < 6; ++i) {
        Arrive(Damaged(DataPacket(2, sample, 1)));
    }

    const LibrarianResult result = Get(9);
    EXPECT_EQ(result.outcome, LibrarianResult::Outcome::failed);
    EXPECT_EQ(result.text, "Packet 1 of sample #9 did not arrive intact after 5 requests to send "
                           "it again; the transfer was cancelled.");
    ASSERT_EQ(driver.writes.size(), 11u);
    EXPECT_EQ(driver.writes[2], Handshakes({{K::nak, 0}}));
    EXPECT_EQ(driver.writes[3], Handshakes({{K::nak, 0}}));
    EXPECT_EQ(driver.writes[4], Handshakes({{K::ack, 0}, {K::wait, 1}}));
    for (std::size_t i = 5; i < 10; ++i) {
        EXPECT_EQ(driver.writes[i], Handshakes({{K::nak, 1}}));
    }
    EXPECT_EQ(driver.writes[10], Handshakes({{K::cancel, 1}}));
}

TEST_F(SdsReceiverTest,
       WaitsFiveSecondsForTheHeaderAndTwoForEachPacketThenCancelsButNotForAGonePort) {
    // An unknown number: no answer at all, nothing sent but the request.
    LibrarianResult result = Get(7);
    EXPECT_EQ(result.outcome, LibrarianResult::Outcome::noAnswer);
    EXPECT_EQ(result.text, "The sampler did not answer the request for sample #7 within 5 s.");
    EXPECT_GE(clock.Elapsed(), milliseconds(5000));
    EXPECT_LT(clock.Elapsed(), milliseconds(5100));
    EXPECT_EQ(driver.writes.size(), 1u);

    // A sampler that stops after packet 0.
    const DecodedSample sample = Sample(7, 100);
    script.batches.push_back({});
    Arrive(DumpHeader(2, sample));
    Arrive(DataPacket(2, sample, 0));
    driver.writes.clear();
    result = Get(7);
    EXPECT_EQ(result.outcome, LibrarianResult::Outcome::failed);
    EXPECT_EQ(result.text, "The sampler stopped sending sample #7 at packet 1 (nothing for 2 s); "
                           "the transfer was cancelled.");
    EXPECT_GE(clock.Elapsed(), milliseconds(2000));
    EXPECT_LT(clock.Elapsed(), milliseconds(2100));
    EXPECT_EQ(driver.writes.back(), Handshakes({{K::cancel, 1}}));
    // On each 0.5 s of silence its ACK went again, with a NAK of the packet expected, in case
    // either was lost on the way.
    EXPECT_EQ(std::count(driver.writes.begin(), driver.writes.end(),
                         Handshakes({{K::ack, 0}, {K::nak, 1}})),
              SdsReceiver::maxAnswerRepeats);

    // An interface unplugged after packet 0 ends the wait at once.
    script.batches.push_back({});
    Arrive(DumpHeader(2, sample));
    Arrive(DataPacket(2, sample, 0));
    script.unplugged = true;
    result = Get(7);
    EXPECT_EQ(result.text, "sample #7 was not taken: The MIDI device has gone.");
    EXPECT_LT(clock.Elapsed(), milliseconds(100));
    EXPECT_EQ(driver.writes.back(), Handshakes({{K::cancel, 1}}));
}

TEST_F(SdsReceiverTest, APacketSentAgainAndAgainAfterItsAckEndsTheTransferAsNaksDo) {
    const DecodedSample sample = Sample(6, 100);
    Arrive(DumpHeader(2, sample));
    for (int i = 0; i < 7; ++i) {
        Arrive(DataPacket(2, sample, 0));
    }

    const LibrarianResult result = Get(6);
    EXPECT_EQ(result.text, "The sampler sent packet 0 of sample #6 again 6 times although it "
                           "was acknowledged; the transfer was cancelled.");
    EXPECT_EQ(driver.writes.back(), Handshakes({{K::cancel, 1}}));
}

TEST_F(SdsReceiverTest, TheUsersCancelEndsTheWaitAndSendsCancelForThePacketExpected) {
    const DecodedSample sample = Sample(4, 200);
    Arrive(DumpHeader(2, sample));
    Arrive(DataPacket(2, sample, 0));
    Arrive(DataPacket(2, sample, 1));
    progress.cancelAfter = 2;

    const LibrarianResult result = Get(4);
    EXPECT_EQ(result.outcome, LibrarianResult::Outcome::cancelled);
    EXPECT_EQ(driver.writes.back(), Handshakes({{K::cancel, 2}}));
    EXPECT_LT(clock.Elapsed(), milliseconds(100));
}

using Loopback = vt::SamplerLink;

TEST(SdsLibrarian, ListsAndGetsBackWhatTheSimulatedSamplerReceivedThroughADamagedPacket) {
    vt::FakeWaitClock clock;
    vt::RecordingMessages messages;
    SamplerScript script;
    script.sendFaults.damagePacket = 1;
    script.sendFaults.stallAfter = 3; // packets are counted over the run
    Loopback loopback(clock, script);
    // Two samples arrive as a one-way send would put them.
    const DecodedSample first = Sample(2, 90);
    const DecodedSample second = Sample(5, 41);
    for (const DecodedSample* sample : {&first, &second}) {
        loopback.sampler.Feed(DumpHeader(0, *sample));
        for (std::uint32_t p = 0; p < PacketCount(sample->frames.size()); ++p) {
            loopback.sampler.Feed(DataPacket(0, *sample, p));
        }
    }
    loopback.sampler.Memory().samples.at(5).fields.push_back({"sampleName", "Strings"});

    MidiOutPort out(loopback, clock, messages);
    MidiInPort in(loopback, clock);
    out.Open(0);
    in.Open(0);
    auto librarian = MakeLibrarian(SamplerModel::sds, {out, in, 0, 0, 0, 7});
    ASSERT_NE(librarian, nullptr);
    UserProgress progress;
    std::vector<SamplerEntry> entries;
    ASSERT_TRUE(librarian->List(entries, progress).Ok());
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].number, 2);
    EXPECT_EQ(entries[1].name, "Strings");
    EXPECT_EQ(entries[1].words, 41u);
    EXPECT_EQ(entries[1].rate, 44100u);
    // Six empty numbers cost one short wait each.
    EXPECT_LT(clock.Elapsed(), 6 * SdsLibrarian::probeWindow + milliseconds(500));

    DecodedSample got;
    ASSERT_TRUE(librarian->GetSample(5, got, progress).Ok());
    EXPECT_EQ(got.frames, second.frames);
    EXPECT_EQ(FieldString(got.fields, "sampleName"), "Strings");
    const Bytes nak = SdsHandshake(SamplerReply::Kind::nak, 0, 1);
    EXPECT_EQ(std::count(loopback.writes.begin(), loopback.writes.end(), nak), 1);

    // The sampler stalls after its third packet, once: the receiver gives up, the next get works.
    const LibrarianResult stalled = librarian->GetSample(2, got, progress);
    EXPECT_EQ(stalled.outcome, LibrarianResult::Outcome::failed);
    EXPECT_NE(stalled.text.find("at packet 1 "), std::string::npos) << stalled.text;
    ASSERT_TRUE(librarian->GetSample(2, got, progress).Ok());
    EXPECT_EQ(got.frames, first.frames);
}

// One answer of the reader lost on the cable: the sampler, which goes on when its wait runs out
// (after packet 0, which no WAIT holds), or the reader, which answers again on silence (where the
// WAIT sent with the ACK before holds the sampler), carries the dump on.
TEST(SdsLibrarian, AGetSurvivesAnAnswerLostOnTheWay) {
    const struct {
        int lostWrite; // 0 the request, 1 the ACK of the header, 2 the ACK of packet 0 ...
        int answersAgain;
    } cases[] = {{2, 0}, {4, 1}};
    for (const auto& c : cases) {
        SCOPED_TRACE("write " + std::to_string(c.lostWrite));
        vt::FakeWaitClock clock;
        vt::RecordingMessages messages;
        Loopback loopback(clock, SamplerScript{});
        const DecodedSample sample = Sample(2, 400); // 10 packets
        loopback.sampler.Feed(DumpHeader(0, sample));
        for (std::uint32_t p = 0; p < PacketCount(sample.frames.size()); ++p) {
            loopback.sampler.Feed(DataPacket(0, sample, p));
        }
        loopback.lose = c.lostWrite;
        MidiOutPort out(loopback, clock, messages);
        MidiInPort in(loopback, clock);
        out.Open(0);
        in.Open(0);
        SdsReceiver receiver(out, in, 0);
        UserProgress progress;
        DecodedSample got;
        ASSERT_TRUE(receiver.Get(2, got, progress).Ok());
        EXPECT_EQ(got.frames, sample.frames);
        Bytes again = SdsHandshake(SamplerReply::Kind::ack, 0, c.lostWrite - 2);
        const Bytes nak = SdsHandshake(SamplerReply::Kind::nak, 0, c.lostWrite - 1);
        again.insert(again.end(), nak.begin(), nak.end());
        EXPECT_EQ(std::count(loopback.writes.begin(), loopback.writes.end(), again),
                  c.answersAgain);
    }
}

} // namespace

TEST(SamplerLoad, FillsTheSamplerWithTheProgramsAndTheWavFilesNoProgramPlays) {
    vt::TempDir dir;
    vt::WorkingDirectoryGuard restore;
    vt::RecordingMessages messages;
    const std::vector<std::int16_t> played(100, 1234);
    const std::vector<std::int16_t> loose(50, -4321);
    vt::WriteFile(dir / "a.wav", vt::WavBuilder::Canonical(1, 22050, 16, played));
    vt::WriteFile(dir / "b.wav", vt::WavBuilder::Canonical(1, 22050, 16, loose));
    {
        auto program = std::make_unique<velomire::program::Program>();
        program->SetProgramPath(dir / "piano.vmp", true);
        vt::AddSampleFile(*program, messages, "a.wav");
        ASSERT_TRUE(velomire::program::ProgramFile::SaveFile(dir / "piano.vmp", *program));
    }
    for (const std::int32_t model : {SamplerModel::sds, std::int32_t{8}}) {
        SCOPED_TRACE("model " + std::to_string(model));
        SamplerScript script;
        script.family = SamplerModel::Family(model);
        script.model = model;
        SimulatedSampler sampler(script);
        const SamplerLoadResult result = LoadSampler(sampler, model, dir.Path(), messages);
        EXPECT_EQ(result.programs, 1);
        EXPECT_EQ(result.samples, 2);
        EXPECT_TRUE(result.refused.empty());
        const SamplerMemory& memory = sampler.Memory();
        ASSERT_EQ(memory.samples.size(), 2u);
        EXPECT_EQ(memory.samples.begin()->second.frames, played);
        EXPECT_EQ(memory.samples.rbegin()->second.frames, loose);
        // Only the program file's program stays.
        EXPECT_EQ(memory.programs.size(), model == SamplerModel::sds ? 0u : 1u);
        if (model == SamplerModel::sds) {
            EXPECT_EQ(FieldString(memory.samples.rbegin()->second.fields, "sampleName"), "b");
        }
    }
    EXPECT_TRUE(messages.messages.empty());

    // A sampler of 120 words has no room for b.wav, nor for 100 million frames (a sparse file,
    // refused before anything of it is rendered): it counts the one sample it holds and names
    // each refused file once.
    Bytes big = vt::WavBuilder::Canonical(1, 22050, 16, loose);
    constexpr std::uint32_t bigBytes = 200'000'000;
    for (int i = 0; i < 4; ++i) {
        big[40 + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(bigBytes >> (8 * i));
        big[4 + static_cast<std::size_t>(i)] =
            static_cast<std::uint8_t>((bigBytes + 36) >> (8 * i));
    }
    big.resize(44);
    vt::WriteFile(dir / "c.wav", big);
    std::filesystem::resize_file(dir / "c.wav", 44 + bigBytes);
    SamplerScript script;
    script.memoryWords = 120;
    SimulatedSampler sampler(script);
    const SamplerLoadResult result = LoadSampler(sampler, SamplerModel::sds, dir.Path(), messages);
    EXPECT_EQ(result.programs, 1);
    EXPECT_EQ(result.samples, 1);
    EXPECT_EQ(result.refused,
              (std::vector<std::string>{
                  "b.wav: it takes 50 words of sample memory, more than the 20 words free; not "
                  "sent",
                  "c.wav: it takes 100000000 words of sample memory, more than the 20 words "
                  "free; not sent"}));
    EXPECT_TRUE(sampler.TakeLog().empty());
}
