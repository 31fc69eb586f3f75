#include "transfer/SendCommand.h"

#include "program/WavInfo.h"
#include "transfer/SamplerReply.h"
#include "transfer/SamplerService.h"
#include "transfer/SimulatedSampler.h"
#include "transfer/families/SdsWire.h"
#include "transfer/families/s1000/S1000Wire.h"
#include "transfer/families/s900/S900Wire.h"

#include "support/FakeWaitClock.h"
#include "support/RecordingMessages.h"
#include "support/RecordingMidiDriver.h"
#include "support/SendSupport.h"
#include "support/WavBuilder.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <memory>
#include <thread>

using namespace velomire::transfer;
namespace program = velomire::program;
namespace vt = velomire::testing;
using Bytes = std::vector<std::uint8_t>;
using std::chrono::milliseconds;

namespace {

// A sampler behind both cables, in-process: what the sender writes goes to a simulated sampler,
// whose answers come back on the input port once their time has come on the fake clock.
class Loopback : public vt::RecordingMidiDriver, public MidiInDriver {
public:
    Loopback(vt::FakeWaitClock& clock, SamplerScript script) : clock(clock), sampler(script) {}

    std::vector<std::string> PortNames() override { return ports; }
    MidiStatus Open(unsigned index) override { return RecordingMidiDriver::Open(index); }
    MidiStatus Close() override { return RecordingMidiDriver::Close(); }
    MidiStatus Write(std::span<const std::uint8_t> bytes) override {
        const bool dataPacket = bytes.size() == 127 && bytes[3] == 0x02;
        // An Akai sampler that refuses a sample header (counted from 0), unread.
        if (bytes.size() > 5 && bytes[1] == 0x47 && bytes[3] == s1000::sampleHeaderFunction &&
            sampleHeaders++ == refuseSampleHeader) {
            pending.emplace(clock.now, AkaiReply(bytes[2], 1));
            return RecordingMidiDriver::Write(bytes);
        }
        for (auto& reply : sampler.Feed(bytes)) {
            // A sampler whose ACKs name other packets than the one they answer.
            if (dataPacket && reply.bytes.size() == 6 && reply.bytes[3] == 0x7F) {
                reply.bytes[4] = static_cast<std::uint8_t>((reply.bytes[4] + ackShift) & 0x7F);
            }
            pending.emplace(clock.now + reply.delay, std::move(reply.bytes));
        }
        // A sampler that cancels at the first Dump Header.
        if (cancelHeaders && bytes.size() == 21 && bytes[1] == 0x7E && bytes[3] == 0x01) {
            pending.emplace(clock.now, SdsHandshake(SamplerReply::Kind::cancel, bytes[2], 0));
        }
        // An Akai sampler that refuses the keygroups.
        if (refuseKeygroups && bytes.size() > 5 && bytes[1] == 0x47 && bytes[3] == 0x09) {
            pending.emplace(clock.now,
                            AkaiReply(refusalChannel < 0 ? bytes[2] : refusalChannel, 2));
        }
        return RecordingMidiDriver::Write(bytes);
    }
    MidiStatus Poll(std::vector<MidiInBytes>& out) override {
        while (!pending.empty() && pending.begin()->first <= clock.now) {
            out.push_back({pending.begin()->second, pending.begin()->first});
            pending.erase(pending.begin());
        }
        return {};
    }

    vt::FakeWaitClock& clock;
    SimulatedSampler sampler;
    std::multimap<WaitClock::TimePoint, Bytes> pending;
    bool refuseKeygroups = false;
    int refusalChannel = -1; // -1: the channel of the refused message
    bool cancelHeaders = false;
    int ackShift = 0;
    int refuseSampleHeader = -1;
    int sampleHeaders = 0;
};

SamplerScript Silent() {
    SamplerScript script;
    script.oneWay = true;
    return script;
}

class ClosedLoopTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::vector<std::int16_t> kick(100);
        std::vector<std::int16_t> piano(2 * 100);
        for (std::size_t i = 0; i < kick.size(); ++i) {
            kick[i] = static_cast<std::int16_t>(i * 977u);
        }
        for (std::size_t i = 0; i < piano.size(); ++i) {
            piano[i] = static_cast<std::int16_t>(30000 - i * 313u);
        }
        vt::WriteFile(dir / "kick.wav", vt::WavBuilder::Canonical(1, 44100, 16, kick));
        vt::WriteFile(dir / "piano.wav", vt::WavBuilder::Canonical(2, 44100, 16, piano));
        program->SetProgramPath(dir / "Bass.vmp", true);
        for (const char* name : {"kick.wav", "piano.wav"}) {
            vt::AddSampleFile(*program, messages, name);
        }
        program->samples[1].sample.sendMode = program::sendStereo;
        settings.samplerModel = 0;
        settings.midiOutDevice = 0;
        settings.midiInDevice = 0;
        settings.maxProgram = 254;
        settings.maxSample = 255;
    }

    struct Run {
        SendCommand::Outcome outcome;
        Bytes bytes;
        milliseconds elapsed;
        std::vector<std::string> lines;
        std::string report;
        std::vector<std::string> warnings;
    };

    // A closed-loop send to `model` through a sampler answering by `script`.
    Run Send(std::int32_t model, SamplerScript script,
             const std::function<void(Loopback&)>& adjust = {}) {
        vt::FakeWaitClock clock;
        script.family = SamplerModel::Family(model);
        loopback = std::make_unique<Loopback>(clock, script);
        if (adjust) {
            adjust(*loopback);
        }
        MidiOutPort out(*loopback, clock, messages);
        MidiInPort in(*loopback, clock);
        vt::AnswerAllUi ui;
        settings.samplerModel = model;
        program->nextProgramNumber = 0;
        program->nextSampleNumber = 0;
        SendCommand send(*program, settings, out, messages, ui);
        send.SetReplyPort(&in);
        const auto outcome = send.OnSendProgram();
        return {outcome,
                loopback->AllBytes(),
                std::chrono::duration_cast<milliseconds>(clock.Elapsed()),
                ui.lines,
                send.Report(),
                send.Warnings()};
    }
    Run OneWay(std::int32_t model, int missAtWrite = 0) {
        vt::FakeWaitClock clock;
        loopback = std::make_unique<Loopback>(clock, SamplerScript{});
        loopback->missAtWrite = missAtWrite;
        MidiOutPort out(*loopback, clock, messages);
        vt::AnswerAllUi ui;
        settings.samplerModel = model;
        program->nextProgramNumber = 0;
        program->nextSampleNumber = 0;
        SendCommand send(*program, settings, out, messages, ui);
        const auto outcome = send.OnSendProgram();
        return {outcome,
                loopback->AllBytes(),
                std::chrono::duration_cast<milliseconds>(clock.Elapsed()),
                ui.lines,
                send.Report(),
                send.Warnings()};
    }

    std::vector<std::int16_t> Frames(int entry, int part) {
        return vt::PartFrames(*program, messages, entry, part);
    }

    vt::TempDir dir;
    vt::WorkingDirectoryGuard restore; // the program enters its directory
    vt::RecordingMessages messages;
    SamplerSettings settings;
    std::unique_ptr<program::Program> program = std::make_unique<program::Program>();
    std::unique_ptr<Loopback> loopback;
};

TEST_F(ClosedLoopTest, ASilentSamplerGetsTheOneWayBytesAndOnlyTheListeningWindowsAreAdded) {
    for (const std::int32_t model : {0, 8}) {
        SCOPED_TRACE("model " + std::to_string(model));
        const Run oneWay = OneWay(model);
        const Run silent = Send(model, Silent());
        ASSERT_EQ(silent.outcome, SendCommand::Outcome::sent);
        EXPECT_EQ(silent.bytes, oneWay.bytes);
        // SDS listens 2 s after each of the 3 Dump Headers; the S1000 family listens during the
        // 600 ms it waited anyway.
        EXPECT_EQ(silent.elapsed - oneWay.elapsed,
                  model == 0 ? milliseconds(3 * 2000) : milliseconds(0));
        EXPECT_EQ(silent.lines[3], "  ...one-way");
    }
    EXPECT_TRUE(messages.messages.empty());
}

TEST_F(ClosedLoopTest, AnsweredPartsSkipTheFixedWaitsAndNakedPacketsAreSentAgain) {
    const Run oneWay = OneWay(8);
    SamplerScript script;
    script.nakPackets = {1, 4};
    const Run run = Send(8, script);
    ASSERT_EQ(run.outcome, SendCommand::Outcome::sent);
    EXPECT_EQ(run.lines[3], "  ...with handshake");
    EXPECT_EQ(run.lines.back(), "Packets sent again: 2");
    // Each of the 3 parts saves its 600 ms header wait and its 700 ms wait after the data.
    EXPECT_LT(run.elapsed, oneWay.elapsed - milliseconds(3 * 1300) + milliseconds(100));

    const auto got = loopback->sampler.TakeClosedSamples();
    ASSERT_EQ(got.size(), 3u);
    EXPECT_EQ(got[0].frames, Frames(0, 0));
    EXPECT_EQ(got[1].frames, Frames(1, 1));
    EXPECT_EQ(got[2].frames, Frames(1, 2));
    EXPECT_TRUE(messages.messages.empty());
}

TEST_F(ClosedLoopTest, WaitHoldsTheSenderAndCancelStopsIt) {
    const Run clean = Send(0, SamplerScript{});
    SamplerScript wait;
    wait.waitPacket = 1;
    wait.waitTime = milliseconds(1500);
    const Run held = Send(0, wait);
    ASSERT_EQ(held.outcome, SendCommand::Outcome::sent);
    // The ACK comes 1.5 s after the packet began, while the packet itself took its wire time.
    EXPECT_GE(held.elapsed - clean.elapsed,
              milliseconds(1500) - 127 * MidiOutPort::wireTimePerByte);
    EXPECT_EQ(held.bytes, clean.bytes);

    SamplerScript cancel;
    cancel.cancelPacket = 4; // the second packet of the second part
    const Run cancelled = Send(0, cancel);
    EXPECT_EQ(cancelled.outcome, SendCommand::Outcome::stopped);
    ASSERT_EQ(messages.messages.size(), 1u);
    EXPECT_EQ(messages.messages[0].text, "The sampler cancelled the transfer.");
    // Header, 3 packets; header, 2 packets; nothing after the cancelled packet.
    EXPECT_EQ(cancelled.bytes.size(), 2 * 21 + 5 * 127u);
    EXPECT_FALSE(loopback->open);

    // Cancelled at the Dump Header: not one packet follows.
    vt::FakeWaitClock clock;
    loopback = std::make_unique<Loopback>(clock, Silent());
    loopback->cancelHeaders = true;
    MidiOutPort out(*loopback, clock, messages);
    MidiInPort in(*loopback, clock);
    vt::AnswerAllUi ui;
    SendCommand send(*program, settings, out, messages, ui);
    send.SetReplyPort(&in);
    EXPECT_EQ(send.OnSendProgram(), SendCommand::Outcome::stopped);
    EXPECT_EQ(loopback->AllBytes().size(), 21u);

    // The user cancels while the sampler holds the sender with WAIT: the hold ends, the numbers
    // stay, and the sampler is told with CANCEL for the packet it holds.
    SamplerScript hold;
    hold.waitPacket = 1;
    hold.waitTime = std::chrono::hours(1);
    vt::FakeWaitClock holdClock;
    hold.family = SamplerFamily::sds;
    loopback = std::make_unique<Loopback>(holdClock, hold);
    MidiOutPort holdOut(*loopback, holdClock, messages);
    MidiInPort holdIn(*loopback, holdClock);
    holdIn.SetIdleHook([&] {
        if (holdClock.Elapsed() > std::chrono::seconds(5)) {
            holdOut.RequestCancel();
        }
    });
    program->nextSampleNumber = 0;
    SendCommand holding(*program, settings, holdOut, messages, ui);
    holding.SetReplyPort(&holdIn);
    EXPECT_EQ(holding.OnSendProgram(), SendCommand::Outcome::interrupted);
    EXPECT_LT(holdClock.Elapsed(), std::chrono::seconds(6));
    EXPECT_EQ(program->nextSampleNumber, 0);
    const Bytes all = loopback->AllBytes();
    ASSERT_EQ(all.size(), 21 + 2 * 127u + 6);
    EXPECT_EQ(Bytes(all.end() - 6, all.end()), (Bytes{0xF0, 0x7E, 0x00, 0x7D, 0x01, 0xF7}));
    EXPECT_EQ(messages.messages.back().text, "Transfer cancelled: 0 of 3 sample parts sent.");
}

TEST_F(ClosedLoopTest, APacketLostOnTheWayIsSentAgainFromTheOldestOneNotAcknowledged) {
    // Lost in the middle of a part, the sampler NAKs the packet that came instead or the one it
    // expected; lost at the end of a part, nothing follows and the sender sends it again.
    for (const int lost : {4, 2}) {
        for (const bool nakExpected : {false, true}) {
            const std::int32_t model = nakExpected ? 8 : 0;
            SCOPED_TRACE("packet " + std::to_string(lost) + ", model " + std::to_string(model));
            SamplerScript script;
            script.losePacket = lost;
            script.nakExpected = nakExpected;
            const Run run = Send(model, script);
            ASSERT_EQ(run.outcome, SendCommand::Outcome::sent) << messages.messages[0].text;
            EXPECT_EQ(run.lines.back(),
                      lost == 4 ? "Packets sent again: 2" : "Packets sent again: 1");
            const auto got = loopback->sampler.TakeClosedSamples();
            ASSERT_EQ(got.size(), 3u);
            // The part with the loss: the piano's left channel, or the kick.
            EXPECT_EQ(got[lost == 4 ? 1 : 0].frames, lost == 4 ? Frames(1, 1) : Frames(0, 0));
        }
    }
    EXPECT_TRUE(messages.messages.empty());
}

TEST_F(ClosedLoopTest,
       AnswersFromOtherDevicesOrForOtherPacketsAndAnS900CancelAreTakenForWhatTheyAre) {
    // A refusal on another exclusive channel answers another device.
    settings.exclusiveChannel = 0;
    const Run other = Send(8, SamplerScript{}, [](Loopback& l) {
        l.refuseKeygroups = true;
        l.refusalChannel = 5;
    });
    EXPECT_EQ(other.outcome, SendCommand::Outcome::sent);

    // ACKs naming the next packet: each part goes one-way, and says why.
    const Run shifted = Send(0, SamplerScript{}, [](Loopback& l) { l.ackShift = 1; });
    EXPECT_EQ(shifted.outcome, SendCommand::Outcome::sent);
    EXPECT_EQ(shifted.lines[3], "  ...one-way (the sampler answered for other packets)");
    EXPECT_TRUE(messages.messages.empty());

    // The S900 form of CANCEL, after the first block, stops the data and sends no header.
    SamplerScript cancel;
    cancel.cancelPacket = 0;
    const Run cancelled = Send(2, cancel);
    EXPECT_EQ(cancelled.outcome, SendCommand::Outcome::stopped);
    ASSERT_EQ(messages.messages.size(), 1u);
    EXPECT_EQ(messages.messages[0].text, "The sampler cancelled the transfer.");
    EXPECT_EQ(cancelled.bytes.size(), 19 + 122u);
}

TEST_F(ClosedLoopTest, AWaitHoldsTheSenderForTheWaitLimitAtMost) {
    SamplerScript script;
    script.waitPacket = 1;
    script.waitTime = std::chrono::hours(1);
    settings.waitLimit = 5;
    const Run run = Send(0, script);
    EXPECT_EQ(run.outcome, SendCommand::Outcome::stopped);
    EXPECT_LT(run.elapsed, std::chrono::seconds(2 + 5 + 1));
    ASSERT_EQ(messages.messages.size(), 1u);
    EXPECT_EQ(messages.messages[0].text, "The sampler asked to wait and did not answer for 5 s.");
}

TEST_F(ClosedLoopTest, AnAkaiRefusalStopsTheSendAndNamesWhatWasRefused) {
    const Run clean = Send(8, SamplerScript{});
    ASSERT_EQ(clean.outcome, SendCommand::Outcome::sent);
    vt::FakeWaitClock clock;
    loopback = std::make_unique<Loopback>(clock, SamplerScript{SamplerFamily::s1000});
    loopback->refuseKeygroups = true;
    MidiOutPort out(*loopback, clock, messages);
    MidiInPort in(*loopback, clock);
    vt::AnswerAllUi ui;
    program->nextProgramNumber = 1;
    SendCommand send(*program, settings, out, messages, ui);
    send.SetReplyPort(&in);
    EXPECT_EQ(send.OnSendProgram(), SendCommand::Outcome::stopped);
    ASSERT_EQ(messages.messages.size(), 1u);
    EXPECT_EQ(messages.messages[0].text, "The sampler refused keygroup 0 of program#1.");

    // A refused header after a part whose packets were not all acknowledged names that part too:
    // the sampler may hold it incomplete, and the refusal alone does not say so.
    messages.messages.clear();
    const Run after = Send(8, SamplerScript{}, [](Loopback& l) {
        l.ackShift = 1;
        l.refuseSampleHeader = 1;
    });
    EXPECT_EQ(after.outcome, SendCommand::Outcome::stopped);
    ASSERT_EQ(messages.messages.size(), 1u);
    EXPECT_EQ(messages.messages[0].text,
              "The sampler refused the header of sample#5 (piano, left channel). The sampler did "
              "not acknowledge all of sample#4 (kick, mono), sent before: it may hold that sample "
              "incomplete. Send the program again.");
}

TEST_F(ClosedLoopTest, S900BlockNaksEndTheSendWithAWarningInItsReport) {
    SamplerScript script;
    script.nakPackets = {0, 1};
    const Run run = Send(2, script);
    EXPECT_EQ(run.outcome, SendCommand::Outcome::sentWithWarning);
    EXPECT_EQ(run.bytes, OneWay(2).bytes);
    EXPECT_EQ(run.report.substr(run.report.find(" (")),
              " (2 damaged blocks in sample #4: send it again)");
    EXPECT_TRUE(run.warnings.empty());
    EXPECT_TRUE(messages.messages.empty()); // one ending, not a message besides it
}

// An xrun loses what the cycle carried. Only the handshake can tell that it was not ours.
TEST_F(ClosedLoopTest, MissedCyclesWarnUnlessTheSamplerAcknowledgedWhatWentOutMeanwhile) {
    const Run oneWay = OneWay(0, 5);
    EXPECT_EQ(oneWay.outcome, SendCommand::Outcome::sentWithWarning);
    EXPECT_EQ(oneWay.report.substr(oneWay.report.find(" (")), " (JACK missed 1 cycle)");
    EXPECT_EQ(oneWay.warnings,
              std::vector<std::string>{"Warning: JACK missed 1 cycle during the transfer; the "
                                       "sampler may have received damaged data. Send again, or "
                                       "use a Midi In device to confirm."});

    const auto missAt = [](int write) { return [write](Loopback& l) { l.missAtWrite = write; }; };
    const Run confirmed = Send(0, SamplerScript{}, missAt(5));
    EXPECT_EQ(confirmed.outcome, SendCommand::Outcome::sent);
    EXPECT_TRUE(confirmed.warnings.empty());
    // A sampler that answers nothing confirms nothing.
    EXPECT_EQ(Send(0, Silent(), missAt(5)).outcome, SendCommand::Outcome::sentWithWarning);
    // The S1000 family acknowledges its samples but not the program's messages.
    Send(8, SamplerScript{});
    const int writes = loopback->writeCalls; // the last is the last keygroup
    EXPECT_EQ(Send(8, SamplerScript{}, missAt(writes - 1)).warnings.size(), 1u);
    EXPECT_EQ(Send(8, SamplerScript{}, missAt(3)).outcome, SendCommand::Outcome::sent);
    EXPECT_TRUE(messages.messages.empty());
}

// An SDS Dump Header for `words` 16-bit words, and a Data Packet whose data bytes are all `fill`.
Bytes DumpHeader(int number, std::uint32_t words) {
    return {0xF0,
            0x7E,
            0x00,
            0x01,
            static_cast<std::uint8_t>(number & 0x7F),
            static_cast<std::uint8_t>(number >> 7),
            0x10,
            0x13,
            0x31,
            0x01,
            static_cast<std::uint8_t>(words & 0x7F),
            static_cast<std::uint8_t>(words >> 7 & 0x7F),
            static_cast<std::uint8_t>(words >> 14 & 0x7F),
            0,
            0,
            0,
            0,
            0,
            0,
            0x7F,
            0xF7};
}
Bytes DataPacket(int number, std::uint8_t fill) {
    Bytes packet(127, fill);
    packet[0] = 0xF0;
    packet[1] = 0x7E;
    packet[2] = 0x00;
    packet[3] = 0x02;
    packet[4] = static_cast<std::uint8_t>(number);
    std::uint8_t sum = 0;
    for (std::size_t i = 1; i < 125; ++i) {
        sum ^= packet[i];
    }
    packet[125] = sum;
    packet[126] = 0xF7;
    return packet;
}
Bytes Answers(const std::vector<TimedReply>& replies) {
    Bytes all;
    for (const TimedReply& reply : replies) {
        all.insert(all.end(), reply.bytes.begin(), reply.bytes.end());
    }
    return all;
}

TEST(SimulatedSampler, HasTheMemoryOfItsModelCancelsWhatDoesNotFitAndHandsOutWhatItReceivedOnce) {
    EXPECT_EQ(SimulatedMemoryWords(SamplerModel::s900), 512000u);
    SamplerScript script;
    script.memoryWords = 100;
    SimulatedSampler sampler(script);
    const auto ack = [](int packet) { return SdsHandshake(SamplerReply::Kind::ack, 0, packet); };
    EXPECT_EQ(Answers(sampler.Feed(DumpHeader(4, 80))), ack(0));
    EXPECT_EQ(Answers(sampler.Feed(DataPacket(0, 0x11))), ack(0));
    EXPECT_EQ(Answers(sampler.Feed(DataPacket(1, 0x22))), ack(1));
    EXPECT_EQ(sampler.FreeWords(), 20u);
    // Whole, it is handed out once (and kept in the memory).
    const auto whole = sampler.TakeClosedSamples();
    ASSERT_EQ(whole.size(), 1u);
    EXPECT_EQ(whole[0].frames.size(), 80u);
    EXPECT_TRUE(sampler.TakeClosedSamples().empty());

    // 21 words more do not fit beside it; a new sample #4 replaces it and fits.
    EXPECT_EQ(Answers(sampler.Feed(DumpHeader(5, 21))),
              SdsHandshake(SamplerReply::Kind::cancel, 0, 0));
    EXPECT_EQ(Answers(sampler.Feed(DataPacket(0, 0x11))),
              SdsHandshake(SamplerReply::Kind::nak, 0, 0));
    EXPECT_EQ(Answers(sampler.Feed(DumpHeader(4, 100))), ack(0));
    EXPECT_EQ(sampler.FreeWords(), 0u);
    // An S900 sample of more words than are free is cancelled after its 19 header bytes, and
    // the rest of its message is not kept.
    const Bytes s900{0xF0, 0x7E, 0x01, 0x07, 0x00, 0x0C, 0x13, 0x31, 0x01, 0x10,
                     0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00};
    EXPECT_EQ(Answers(sampler.Feed(s900)), S900Handshake(SamplerReply::Kind::cancel));
    EXPECT_TRUE(sampler.Feed(Bytes(122, 0x00)).empty());
    const auto log = sampler.TakeLog();
    ASSERT_GE(log.size(), 2u);
    EXPECT_EQ(log[0], "sample #5 of 21 words does not fit in the 20 words free: cancelled");
}

TEST(SimulatedSampler, NaksAPacketAfterAGapTakesTheMissingOneAndDropsAMessageCutByLostInput) {
    SimulatedSampler sampler(SamplerScript{});
    const auto reply = [](SamplerReply::Kind kind, int packet) {
        return SdsHandshake(kind, 0, packet);
    };
    sampler.Feed(DumpHeader(1, 120));
    EXPECT_EQ(Answers(sampler.Feed(DataPacket(0, 0x10))), reply(SamplerReply::Kind::ack, 0));
    // Packet 1 was lost on the way: 2 is NAKed, then 1 and 2 sent again are taken.
    EXPECT_EQ(Answers(sampler.Feed(DataPacket(2, 0x30))), reply(SamplerReply::Kind::nak, 2));
    EXPECT_EQ(Answers(sampler.Feed(DataPacket(1, 0x20))), reply(SamplerReply::Kind::ack, 1));
    // Lost input cuts the packet in progress: its end is not taken with what came before.
    const Bytes packet = DataPacket(2, 0x30);
    EXPECT_TRUE(sampler.Feed(Bytes(packet.begin(), packet.begin() + 50)).empty());
    sampler.Lost();
    EXPECT_TRUE(sampler.Feed(Bytes(packet.begin() + 50, packet.end())).empty());
    EXPECT_EQ(Answers(sampler.Feed(packet)), reply(SamplerReply::Kind::ack, 2));
    const auto samples = sampler.TakeClosedSamples();
    ASSERT_EQ(samples.size(), 1u);
    EXPECT_TRUE(samples[0].Complete());
    const auto log = sampler.TakeLog();
    ASSERT_EQ(log.size(), 2u);
    EXPECT_NE(log[1].find("cut off: MIDI input was lost"), std::string::npos);
}

// What an endpoint kept for Poll, and what was written to it.
class QueueEndpoint : public MidiEndpoint {
public:
    std::string InputName() const override { return "in"; }
    std::string OutputName() const override { return "out"; }
    MidiStatus Poll(std::vector<MidiInBytes>& out) override {
        out.insert(out.end(), kept.begin(), kept.end());
        kept.clear();
        return {};
    }
    MidiStatus Write(std::span<const std::uint8_t> bytes) override {
        written.emplace_back(bytes.begin(), bytes.end());
        return {};
    }
    bool ServerGone() const override { return false; }

    std::vector<MidiInBytes> kept;
    std::vector<Bytes> written;
};

TEST(SamplerService, AcksInTheCycleOnlyAPacketThatBeganAfterAllBeforeItWasFed) {
    // An SDS Dump Header (16 bits, 22,675 ns a word, 130 words), then its first Data Packet.
    const Bytes header{0xF0, 0x7E, 0x00, 0x01, 0x00, 0x00, 0x10, 0x13, 0x31, 0x01, 0x02,
                       0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x7F, 0xF7};
    Bytes packet(127, 0x00);
    packet[0] = 0xF0;
    packet[1] = 0x7E;
    packet[3] = 0x02;
    packet[5] = 0x55;
    packet[125] = 0x7E ^ 0x02 ^ 0x55;
    packet[126] = 0xF7;
    const WaitClock::TimePoint arrival{};
    std::array<std::uint8_t, MidiResponder::maxReplyBytes> reply{};
    SamplerService service(SamplerScript{});
    QueueEndpoint endpoint;
    const auto respond = [&](const Bytes& event) {
        const std::size_t length = service.Respond(event, false, reply);
        endpoint.kept.push_back({event, arrival, false, length > 0});
        return Bytes(reply.begin(), reply.begin() + static_cast<long>(length));
    };

    // The header goes the slow way; so does a packet whose header the main loop has not fed.
    EXPECT_TRUE(respond(header).empty());
    EXPECT_TRUE(respond(packet).empty());
    ASSERT_TRUE(service.Serve(endpoint, arrival).ok);
    EXPECT_EQ(endpoint.written, (std::vector<Bytes>{SdsHandshake(SamplerReply::Kind::ack, 0, 0),
                                                    SdsHandshake(SamplerReply::Kind::ack, 0, 0)}));

    // Packet 1, in two events, the first fed meanwhile: the ACK leaves with the event that ends
    // it, and only there.
    endpoint.written.clear();
    packet[4] = 1;
    packet[125] ^= 1;
    EXPECT_TRUE(respond(Bytes(packet.begin(), packet.begin() + 60)).empty());
    ASSERT_TRUE(service.Serve(endpoint, arrival).ok);
    EXPECT_EQ(respond(Bytes(packet.begin() + 60, packet.end())),
              SdsHandshake(SamplerReply::Kind::ack, 0, 1));
    ASSERT_TRUE(service.Serve(endpoint, arrival).ok);
    EXPECT_TRUE(endpoint.written.empty());

    // A damaged packet and one cut by lost input go the slow way (the sampler NAKs the first), and
    // so does one that the script answers otherwise.
    packet[4] = 2; // with packet 1's checksum
    EXPECT_TRUE(respond(packet).empty());
    ASSERT_TRUE(service.Serve(endpoint, arrival).ok);
    EXPECT_EQ(endpoint.written, std::vector<Bytes>{SdsHandshake(SamplerReply::Kind::nak, 0, 2)});
    packet[125] ^= 1 ^ 2;
    EXPECT_EQ(service.Respond(Bytes(packet.begin(), packet.begin() + 1), false, reply), 0u);
    EXPECT_EQ(service.Respond(Bytes(packet.begin() + 1, packet.end()), true, reply), 0u);
    SamplerScript naks;
    naks.nakPackets = {0};
    SamplerService naking(naks);
    QueueEndpoint other;
    other.kept.push_back({header, arrival});
    ASSERT_TRUE(naking.Serve(other, arrival).ok);
    packet[4] = 0;
    packet[125] = 0x7E ^ 0x02 ^ 0x55;
    EXPECT_EQ(naking.Respond(packet, false, reply), 0u);

    // A reply the script delays is sent when due.
    SamplerScript script;
    script.replyDelay = milliseconds(30);
    SamplerService slow(script);
    QueueEndpoint slowEndpoint;
    slowEndpoint.kept.push_back({header, arrival});
    ASSERT_TRUE(slow.Serve(slowEndpoint, arrival + milliseconds(29)).ok);
    EXPECT_TRUE(slowEndpoint.written.empty());
    ASSERT_TRUE(slow.Serve(slowEndpoint, arrival + milliseconds(30)).ok);
    EXPECT_EQ(slowEndpoint.written,
              std::vector<Bytes>{SdsHandshake(SamplerReply::Kind::ack, 0, 0)});
}

} // namespace
