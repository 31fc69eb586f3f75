#include "transfer/MidiInPort.h"
#include "transfer/devices/AlsaSeqMidiInDriver.h"

#include "support/FakeWaitClock.h"
#include "support/HexMatch.h"
#include "support/ScriptedMidiInDriver.h"

#include <gtest/gtest.h>

#include <deque>

namespace velomire::transfer {
namespace {

using velomire::testing::FakeWaitClock;
using velomire::testing::Hex;
using Bytes = std::vector<std::uint8_t>;

class MidiInPortTest : public ::testing::Test {
protected:
    FakeWaitClock clock;
    velomire::testing::ScriptedMidiInDriver driver{&clock};
};

TEST_F(MidiInPortTest, DeliversWholeMessagesInOrderFromAnyPieces) {
    MidiInPort port(driver, clock, 16);
    ASSERT_TRUE(port.Open(0));
    // An ACK split over two polls with a clock byte inside, a note between messages, a message
    // cut off by a status byte, one longer than the limit, then a NAK and a WAIT in one piece.
    driver.batches = {{Hex("F0 7E 00"), Hex("F8")},
                      {Hex("7F 05 F7 90 3C 40 F0 7E 01 7F 90"), Hex("F0"), Bytes(20, 0x11)},
                      {Hex("F7 F0 7E 00 7E 06 F7 F0 7E 00 7C 07 F7")}};
    const auto first = port.Receive(std::chrono::milliseconds(50));
    ASSERT_TRUE(first);
    EXPECT_EQ(first->bytes, Hex("F0 7E 00 7F 05 F7"));
    EXPECT_EQ(first->time, clock.start); // timed by the piece that held its F0
    const auto second = port.Receive(std::chrono::milliseconds(50));
    ASSERT_TRUE(second);
    EXPECT_EQ(second->bytes, Hex("F0 7E 00 7E 06 F7"));
    EXPECT_EQ(port.Receive(clock.now)->bytes, Hex("F0 7E 00 7C 07 F7"));
    EXPECT_EQ(port.Lost(), 2u);
}

TEST_F(MidiInPortTest, PiecesModeHandsOutALongMessageAsItArrivesKeepingNoneOfIt) {
    MidiInPort port(driver, clock, 16); // the limit holds per piece, not per message
    ASSERT_TRUE(port.Open(0));
    port.SetPieces(true);
    driver.batches = {{Hex("F0 7E 01 00 00 0C")},
                      {Bytes(12, 0x11), Hex("F8"), Bytes(12, 0x22)},
                      {Hex("33 F7 F0 7E 7F F7 F0 7E 01 05")},
                      {Hex("44 90")}};
    const auto next = [&port] { return port.Receive(std::chrono::milliseconds(5)); };
    auto piece = next();
    ASSERT_TRUE(piece);
    EXPECT_EQ(piece->bytes, Hex("F0 7E 01 00 00 0C"));
    EXPECT_TRUE(piece->opens);
    EXPECT_FALSE(piece->closes);
    piece = next(); // each of the driver's pieces as it came, the clock byte left out
    EXPECT_EQ(piece->bytes, Bytes(12, 0x11));
    EXPECT_FALSE(piece->opens || piece->closes);
    EXPECT_EQ(next()->bytes, Bytes(12, 0x22));
    piece = next();
    EXPECT_EQ(piece->bytes, Hex("33 F7"));
    EXPECT_TRUE(piece->closes);
    piece = next(); // a short message is one piece, as in whole mode
    EXPECT_EQ(piece->bytes, Hex("F0 7E 7F F7"));
    EXPECT_TRUE(piece->opens && piece->closes);
    EXPECT_EQ(next()->bytes, Hex("F0 7E 01 05"));
    piece = next(); // a status byte cut the message short: what came of it is void
    EXPECT_TRUE(piece->cut);
    EXPECT_EQ(port.Lost(), 1u);

    port.SetPieces(false);
    driver.batches = {{Hex("F0 7E 7F"), Hex("F7")}};
    EXPECT_EQ(next()->bytes, Hex("F0 7E 7F F7"));
}

TEST_F(MidiInPortTest, WaitsInShortSlicesUntilTheDeadlineAndCountsOverruns) {
    MidiInPort port(driver, clock);
    int idle = 0;
    port.SetIdleHook([&idle] { ++idle; });
    EXPECT_FALSE(port.Receive(std::chrono::milliseconds(20))) << "not open";
    ASSERT_TRUE(port.Open(0));
    EXPECT_FALSE(port.Receive(std::chrono::milliseconds(20)));
    EXPECT_EQ(clock.Elapsed(), std::chrono::milliseconds(20));
    EXPECT_EQ(clock.sleeps.size(), 20u);
    EXPECT_EQ(idle, 20);

    driver.overrunAt = driver.polls + 1;
    driver.batches = {{Hex("F0 7E 00 7F 00 F7")}};
    EXPECT_TRUE(port.Receive(std::chrono::milliseconds(20)));
    EXPECT_EQ(port.Lost(), 1u);
    EXPECT_EQ(port.LastError(), "overrun");
}

// A device that never stops talking: each poll brings `perPoll` messages and takes 0.1 ms.
class FloodDriver : public velomire::testing::ScriptedMidiInDriver {
public:
    explicit FloodDriver(FakeWaitClock& fake) : fake(fake) {}
    MidiStatus Poll(std::vector<MidiInBytes>& out) override {
        if (++polls <= limit) {
            for (int i = 0; i < perPoll; ++i) {
                out.push_back({ack, fake.now});
            }
            fake.now += std::chrono::microseconds(100);
        }
        return {};
    }

    FakeWaitClock& fake;
    const Bytes ack = Hex("F0 7E 05 7F 00 F7"); // for another channel
    int perPoll = 1;
    int polls = 0;
    int limit = 100000;
};

TEST(MidiInPortFlood, DeadlinesHoldTheIdleHookRunsAndTheQueueIsBounded) {
    FakeWaitClock clock;
    FloodDriver flood(clock);
    MidiInPort port(flood, clock);
    ASSERT_TRUE(port.Open(0));
    int idle = 0;
    port.SetIdleHook([&idle] { ++idle; });
    // Taking message after message as a sender passing over foreign answers does: the wait
    // still ends at its deadline, and the idle hook (where a Ctrl+C becomes a cancel) runs.
    const auto deadline = clock.now + std::chrono::milliseconds(20);
    while (port.Receive(deadline)) {
    }
    EXPECT_LE(clock.now, deadline + std::chrono::milliseconds(1));
    EXPECT_GE(idle, 10);

    // 5000 at once: the excess is dropped and counted.
    port.Discard();
    flood.perPoll = 5000;
    flood.limit = flood.polls + 1;
    std::size_t taken = 0;
    while (port.Receive(clock.now)) {
        ++taken;
    }
    EXPECT_EQ(taken, MidiInPort::queueLimit);
    EXPECT_EQ(port.Lost(), 5000 - MidiInPort::queueLimit);
}

// The kernel's sequencer input: a queue of events, an ENOSPC once its buffer overran (the
// dropped events are gone, the ones after still come), then EAGAIN when empty.
TEST(AlsaSeqMidiInDriver, DrainsEverythingAndReportsAnOverrunAfterIt) {
    std::deque<AlsaSeqInput> kernel = {{AlsaSeqInput::Kind::sysEx, Hex("F0 7E 00 7F")},
                                       {AlsaSeqInput::Kind::other, {}},
                                       {AlsaSeqInput::Kind::overrun, {}},
                                       {AlsaSeqInput::Kind::sysEx, Hex("00 F7")}};
    std::vector<MidiInBytes> out;
    const MidiStatus status = DrainSeqInput(
        [&kernel] {
            if (kernel.empty()) {
                return AlsaSeqInput{};
            }
            AlsaSeqInput next = kernel.front();
            kernel.pop_front();
            return next;
        },
        {}, out);
    EXPECT_FALSE(status);
    ASSERT_EQ(out.size(), 2u);
    EXPECT_EQ(out[1].bytes, Hex("00 F7"));
}

TEST(AlsaSeqMidiInDriver, ListsReadablePortsOpenToSubscription) {
    std::vector<AlsaSeqPort> ports(4);
    ports[0] = {0, 1, "System", "Announce", false, false, true, true, true};
    ports[1] = {20, 0, "UM-ONE", "UM-ONE MIDI 1", true, true, true, true, true};
    ports[2] = {128, 0, "Velomire", "Velomire in", true, true, true, true, true};
    ports[3] = {24, 0, "Synth", "Synth In", true, true, true, false, false};
    const auto sources = SelectSources(ports, 128);
    ASSERT_EQ(sources.size(), 1u);
    EXPECT_EQ(sources[0].name, "UM-ONE: UM-ONE MIDI 1 (20:0)");
}

} // namespace
} // namespace velomire::transfer
