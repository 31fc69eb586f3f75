#include "transfer/devices/AlsaSeqMidiDriver.h"
#include "transfer/devices/JackMidiDriver.h"
#include "transfer/devices/JackMidiEndpoint.h"
#include "transfer/devices/JackMidiInDriver.h"
#include "transfer/devices/SystemMidiDriver.h"

#include "support/FakeKernelMidiSink.h"
#include "support/FakeWaitClock.h"
#include "support/HexMatch.h"
#include "support/JackServer.h"
#include "support/RecordingMidiDriver.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace velomire::transfer {
namespace {

using std::chrono::milliseconds;
using velomire::testing::BytesEqual;
using velomire::testing::ChildProcess;
using velomire::testing::Hex;
using velomire::testing::JackServer;
using velomire::testing::OnPath;
using velomire::testing::RecordingMidiDriver;
using Bytes = std::vector<std::uint8_t>;

// The S900 sample data as the message builder hands it over: a 19-byte first piece that opens
// the message, 122-byte pieces, and a last piece of 123 bytes that closes it.
std::vector<Bytes> S900Pieces(int middlePieces) {
    std::vector<Bytes> pieces;
    std::uint8_t next = 0;
    auto dataBytes = [&next](std::size_t count) {
        Bytes bytes(count);
        for (auto& b : bytes) {
            b = next;
            next = static_cast<std::uint8_t>((next + 37) & 0x7F);
        }
        return bytes;
    };
    Bytes first = Hex("F0 47 00 01");
    Bytes rest = dataBytes(15);
    first.insert(first.end(), rest.begin(), rest.end());
    pieces.push_back(first);
    for (int i = 0; i < middlePieces; ++i) {
        pieces.push_back(dataBytes(122));
    }
    Bytes last = dataBytes(122);
    last.push_back(0xF7);
    pieces.push_back(last);
    return pieces;
}

Bytes Concatenate(const std::vector<Bytes>& pieces) {
    Bytes all;
    for (const Bytes& piece : pieces) {
        all.insert(all.end(), piece.begin(), piece.end());
    }
    return all;
}

TEST(AlsaSeqMidiDriver, ListsWritableSubscribablePortsOfOtherClientsByNameAndAddress) {
    const std::vector<AlsaSeqPort> ports = {
        {0, 0, "System", "Timer", true, true, true},
        {0, 1, "System", "Announce", false, false, true},
        {14, 0, "Midi Through", "Midi Through Port-0", true, true, true},
        {20, 0, "USB MIDI", "USB MIDI MIDI 1", false, false, true}, // an input only
        {20, 1, "USB MIDI", "USB MIDI MIDI 2", true, true, true},
        {24, 0, "Synth", "Private", true, false, true},
        {25, 0, "Router", "Hidden", true, true, false},
        {128, 0, "Velomire", "Velomire out", true, true, true},
        {129, 0, "Velomire", "Velomire out", true, true, true}, // another Velomire's
    };

    const auto destinations = SelectDestinations(ports, 128);

    ASSERT_EQ(destinations.size(), 2u);
    EXPECT_EQ(destinations[0].name, "Midi Through: Midi Through Port-0 (14:0)");
    EXPECT_EQ(destinations[1].name, "USB MIDI: USB MIDI MIDI 2 (20:1)");
    EXPECT_EQ(destinations[1].client, 20);
    EXPECT_EQ(destinations[1].port, 1);
}

TEST(AlsaSeqMidiDriver, WithoutASequencerListsNothingAndReportsOpenAndWriteAsErrors) {
    if (std::filesystem::exists("/dev/snd/seq")) {
        GTEST_SKIP() << "this machine has an ALSA sequencer; the test needs one without";
    }
    AlsaSeqMidiDriver driver;

    EXPECT_TRUE(driver.PortNames().empty());
    const MidiStatus open = driver.Open(0);
    EXPECT_FALSE(open.ok);
    EXPECT_NE(open.text.find("Cannot open the ALSA sequencer: "), std::string::npos) << open.text;
    EXPECT_FALSE(driver.Write(Hex("F0 7E 00 09 01 F7")).ok);
    EXPECT_TRUE(driver.Close().ok);
}

// The kernel behind a direct SYSEX event: a receiving client whose input is full for a few tries
// (EAGAIN), in front of a hardware port's output buffer that drains at wire speed and silently
// drops what does not fit.
TEST(AlsaSeqOutput, PacesEventsSoAPortNeverOverrunsAndGivesUpOnAStuckReceiverInBoundedTime) {
    velomire::testing::FakeWaitClock clock;
    WirePacer pacer(clock);
    velomire::testing::FakeKernelMidiSink port(clock);
    int busyTries = 3;
    std::size_t largest = 0;
    Bytes delivered;
    const auto offer = [&](std::span<const std::uint8_t> event) {
        if (busyTries > 0) {
            --busyTries;
            return -EAGAIN;
        }
        largest = std::max(largest, event.size());
        delivered.insert(delivered.end(), event.begin(), event.end());
        port.Take(event);
        return 0;
    };
    const Bytes message = Concatenate(S900Pieces(80)); // about 10 KB, over twice the buffer

    ASSERT_TRUE(WriteSeqSysEx(pacer, clock, message, offer, {}, "Sampler: in (129:0)"));
    EXPECT_EQ(delivered, message);
    EXPECT_LE(largest, 256u);
    EXPECT_EQ(port.dropped, 0u);

    busyTries = 1 << 30;
    pacer.Reset();
    clock.Reset();
    const MidiStatus stuck = WriteSeqSysEx(pacer, clock, message, offer, {}, "Sampler: in (129:0)");
    EXPECT_EQ(stuck.text, "The MIDI port Sampler: in (129:0) did not take the data in time.");
    EXPECT_LT(clock.Elapsed(), milliseconds(1100)); // one event's wire time plus 1 s
}

TEST(SystemMidiDriver, ListsEveryBackEndsPortsInTurnAndRoutesEachCallToItsOwner) {
    auto first = std::make_unique<RecordingMidiDriver>();
    auto second = std::make_unique<RecordingMidiDriver>();
    RecordingMidiDriver& alsa = *first;
    RecordingMidiDriver& jack = *second;
    alsa.ports = {"Midi Through: Midi Through Port-0 (14:0)"};
    jack.ports = {"system:midi_playback_1", "a2j:S950"};
    std::vector<MidiBackEnd> backEnds;
    backEnds.push_back({std::move(first), ""});
    backEnds.push_back({std::move(second), "JACK: "});
    SystemMidiDriver driver(std::move(backEnds));

    EXPECT_EQ(driver.PortNames(),
              (std::vector<std::string>{"Midi Through: Midi Through Port-0 (14:0)",
                                        "JACK: system:midi_playback_1", "JACK: a2j:S950"}));

    ASSERT_TRUE(driver.Open(2).ok);
    EXPECT_TRUE(jack.open);
    EXPECT_EQ(jack.openedIndex, 1u);
    EXPECT_FALSE(alsa.open);
    EXPECT_TRUE(driver.Write(Hex("F0 7E 00 09 01 F7")).ok);
    EXPECT_TRUE(driver.Close().ok);
    EXPECT_EQ(jack.writes.size(), 1u);
    EXPECT_FALSE(jack.open);
    EXPECT_TRUE(alsa.writes.empty());

    EXPECT_FALSE(driver.Open(3).ok);
    EXPECT_FALSE(driver.Write(Hex("F0 F7")).ok);
}

template <typename Condition> bool WaitFor(Condition condition, milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(milliseconds(20));
    }
    return true;
}

std::string ReadText(const std::filesystem::path& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// jack_midi_dump prints one line per JACK MIDI event: its frame offset, a colon, the bytes in hex.
// It keeps at most 128 bytes of an event, more than any S900 piece (at most 123 bytes).
std::vector<Bytes> ParseMidiDump(const std::string& text) {
    std::vector<Bytes> events;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        const auto colon = line.find(':');
        if (colon == std::string::npos || line.find_first_not_of(" 0123456789") != colon) {
            continue;
        }
        events.push_back(Hex(line.substr(colon + 1)));
    }
    return events;
}

// A private JACK server (dummy driver, so no sound card) with jack_midi_dump listening on
// "midi_dump:input", both ended when the fixture goes, whatever the test did.
class JackServerTest : public ::testing::Test {
protected:
    // Frames per period; 256 or more, since this machine's two cores miss shorter cycles.
    virtual int Period() const { return 1024; }

    void SetUp() override {
        if (!OnPath("jackd") || !OnPath("jack_midi_dump") || !OnPath("jack_lsp")) {
            GTEST_SKIP() << "jackd, jack_midi_dump and jack_lsp are needed (Debian: jackd2)";
        }
        // Our own server name keeps us off any other server on this machine, such as a user's.
        const std::string serverName = "velomire-test";
        directory = std::filesystem::temp_directory_path() / serverName;
        std::filesystem::create_directories(directory);
        server.emplace(serverName,
                       std::vector<std::string>{"-r", "44100", "-p", std::to_string(Period())},
                       directory / "jackd.txt");
        ASSERT_TRUE(server->WaitUntilUp(milliseconds(5000))) << ReadText(directory / "jackd.txt");

        monitor.emplace(std::vector<std::string>{"jack_midi_dump", "midi_dump"},
                        directory / "midi_dump.txt");
        ASSERT_TRUE(monitor->Running());
        ASSERT_TRUE(WaitFor([this] { return DumpPortIndex().has_value(); }, milliseconds(5000)));
    }

    void TearDown() override {
        monitor.reset();
        server.reset();
        std::error_code ignored;
        std::filesystem::remove_all(directory, ignored);
    }

    std::optional<unsigned> DumpPortIndex() {
        const std::vector<std::string> names = driver.PortNames();
        const auto found = std::find(names.begin(), names.end(), "midi_dump:input");
        if (found == names.end()) {
            return std::nullopt;
        }
        return static_cast<unsigned>(found - names.begin());
    }

    std::filesystem::path directory;
    std::optional<JackServer> server;
    std::optional<ChildProcess> monitor;
    JackMidiDriver driver;
};

// Waits as the port does after each buffer, so the test traffic has the real wire's pace.
void WaitWireTime(std::size_t bytes) {
    std::this_thread::sleep_for(std::chrono::microseconds(320) * static_cast<int>(bytes));
}

class JackPeriodTest : public JackServerTest, public ::testing::WithParamInterface<int> {
protected:
    int Period() const override { return GetParam(); }
};

TEST_P(JackPeriodTest, MessagesLargerThanACyclesBufferArriveWholeAndInOrder) {
    // The S900 sample data in pieces, the largest S950 program message (40 stereo entries), an
    // S3000 XL keygroup message, and a short message.
    std::vector<Bytes> buffers = S900Pieces(1);
    Bytes program(11285, 0x33);
    program.front() = 0xF0;
    program.back() = 0xF7;
    buffers.push_back(program);
    Bytes keygroup(393, 0x0A);
    keygroup.front() = 0xF0;
    keygroup.back() = 0xF7;
    buffers.push_back(keygroup);
    buffers.push_back(Hex("F0 7E 00 09 01 F7"));

    ASSERT_TRUE(driver.Open(*DumpPortIndex()).ok);
    MidiStatus status;
    for (const Bytes& buffer : buffers) {
        if (status = driver.Write(buffer); !status) {
            break;
        }
        WaitWireTime(buffer.size());
    }
    if (status) {
        status = driver.Close();
    }
    driver.Close();

    const Bytes expected = Concatenate(buffers);
    const std::filesystem::path dumpFile = directory / "midi_dump.txt";
    WaitFor(
        [&] { return Concatenate(ParseMidiDump(ReadText(dumpFile))).size() >= expected.size(); },
        milliseconds(2000));
    monitor->Stop(SIGINT);
    // On a loaded machine a client (ours or the receiver) can miss cycles, losing their events:
    // that is the machine, not the driver, but the driver must have told it.
    const std::string log = ReadText(directory / "jackd.txt");
    const bool whole = Concatenate(ParseMidiDump(ReadText(dumpFile))) == expected;
    if (!whole && driver.MissedCycles() > 0) {
        GTEST_SKIP() << "a client missed " << driver.MissedCycles() << " cycles; " << status.text;
    }
    ASSERT_TRUE(status.ok) << status.text;
    EXPECT_TRUE(BytesEqual(Concatenate(ParseMidiDump(ReadText(dumpFile))), expected)) << log;
}

TEST_F(JackServerTest, AReceiverThatMissesCyclesWhileBytesAreOnTheirWayIsTold) {
    const Bytes piece(122, 0x40);
    const auto sendWithStalls = [&](int stalls) {
        EXPECT_TRUE(driver.Open(*DumpPortIndex()).ok);
        // About 1.5 s of bytes at the wire's pace; the receiver stops for 50 ms (two cycles of
        // 1024 frames) now and then, as one on a loaded machine does.
        for (int i = 0; i < 40; ++i) {
            EXPECT_TRUE(driver.Write(piece).ok);
            if (i % 10 == 5 && i / 10 < stalls) {
                monitor->Signal(SIGSTOP);
                std::this_thread::sleep_for(milliseconds(50));
                monitor->Signal(SIGCONT);
            }
            WaitWireTime(piece.size());
        }
        EXPECT_TRUE(driver.Close().ok);
        return driver.MissedCycles();
    };
    EXPECT_GT(sendWithStalls(3), 0u) << ReadText(directory / "jackd.txt");
    // Told after Close, and counted again from 0 by the next opening.
    ASSERT_TRUE(driver.Open(*DumpPortIndex()).ok);
    EXPECT_EQ(driver.MissedCycles(), 0u);
    driver.Close();
}

INSTANTIATE_TEST_SUITE_P(Periods, JackPeriodTest, ::testing::Values(256, 1024));

// Writes S900 pieces at the wire's pace until one fails (at most 8 s); how long after `from`.
std::optional<milliseconds> WriteUntilFailure(MidiDriver& driver,
                                              std::chrono::steady_clock::time_point from,
                                              MidiStatus& failure) {
    const Bytes piece(122, 0x40);
    while (std::chrono::steady_clock::now() - from < std::chrono::seconds(8)) {
        failure = driver.Write(piece);
        if (!failure) {
            return std::chrono::duration_cast<milliseconds>(std::chrono::steady_clock::now() -
                                                            from);
        }
        WaitWireTime(piece.size());
    }
    return std::nullopt;
}

TEST_F(JackServerTest, AFrozenServerFailsAWriteWithinSecondsAndCloseDoesNotWaitForIt) {
    ASSERT_TRUE(driver.Open(*DumpPortIndex()).ok);
    ASSERT_TRUE(driver.Write(Hex("F0 7E 00 09 01 F7")).ok);
    server->process.Signal(SIGSTOP);
    const auto stopped = std::chrono::steady_clock::now();
    MidiStatus failure;
    const auto after = WriteUntilFailure(driver, stopped, failure);
    ASSERT_TRUE(after.has_value());
    EXPECT_LT(*after, milliseconds(3000));
    EXPECT_EQ(failure.text, "The JACK server has stopped processing.");

    const auto closing = std::chrono::steady_clock::now();
    driver.Close();
    EXPECT_LT(std::chrono::steady_clock::now() - closing, milliseconds(100));
}

TEST_F(JackServerTest, AFrozenServerHoldsNeitherTheListNorAnOpeningBeyondTwoSeconds) {
    const unsigned dump = *DumpPortIndex();
    server->process.Signal(SIGSTOP);
    const auto frozen = std::chrono::steady_clock::now();
    EXPECT_EQ(driver.Open(dump).text, "The JACK server does not answer.");
    JackMidiInDriver input;
    EXPECT_TRUE(input.PortNames().empty());
    EXPECT_LT(std::chrono::steady_clock::now() - frozen, milliseconds(4500));
    server->process.Signal(SIGCONT);
}

TEST_F(JackServerTest, AReceiverThatIsKilledFailsAWriteWithinSeconds) {
    ASSERT_TRUE(driver.Open(*DumpPortIndex()).ok);
    monitor->Stop(SIGKILL);
    MidiStatus failure;
    const auto after = WriteUntilFailure(driver, std::chrono::steady_clock::now(), failure);
    ASSERT_TRUE(after.has_value());
    EXPECT_LT(*after, milliseconds(3000));
    EXPECT_EQ(failure.text, "The JACK MIDI port midi_dump:input has gone.");
}

// Answers an event whose first data byte is odd with F0 7D <that byte> F7, and nothing else.
class OddResponder : public MidiResponder {
public:
    std::size_t Respond(std::span<const std::uint8_t> event, bool,
                        std::span<std::uint8_t, maxReplyBytes> reply) noexcept override {
        if (event.size() < 2 || event[1] % 2 == 0) {
            return 0;
        }
        const std::uint8_t bytes[] = {0xF0, 0x7D, event[1], 0xF7};
        std::copy(std::begin(bytes), std::end(bytes), reply.begin());
        return sizeof bytes;
    }
};

TEST_F(JackServerTest, AResponderAnswersInTheCycleAndEveryEventStillGoesToPollMarked) {
    OddResponder responder; // outlives the endpoint, whose thread calls it
    std::string error;
    auto endpoint = JackMidiEndpoint::Open("velomire-responder", true, true, error);
    ASSERT_TRUE(endpoint) << error;
    endpoint->SetResponder(&responder);
    JackMidiInDriver replies;
    const std::vector<std::string> outputs = replies.PortNames();
    const auto from = std::find(outputs.begin(), outputs.end(), endpoint->OutputName());
    ASSERT_NE(from, outputs.end());
    ASSERT_TRUE(replies.Open(static_cast<unsigned>(from - outputs.begin())).ok);
    const std::vector<std::string> inputs = driver.PortNames();
    // Our own MIDI In, open now, is nowhere to send a program.
    EXPECT_EQ(std::count(inputs.begin(), inputs.end(), "Velomire-in:in"), 0);
    const auto to = std::find(inputs.begin(), inputs.end(), endpoint->InputName());
    ASSERT_NE(to, inputs.end());
    // Close returns once JACK has handed the bytes on, so each message has been through the
    // endpoint's cycle when `send` returns.
    const auto send = [&](const Bytes& message) {
        return driver.Open(static_cast<unsigned>(to - inputs.begin())).ok &&
               driver.Write(message).ok && driver.Close().ok;
    };

    ASSERT_TRUE(send(Hex("F0 02 F7"))); // not answered
    ASSERT_TRUE(send(Hex("F0 03 F7"))); // answered in the cycle
    Bytes answered;
    WaitFor(
        [&] {
            std::vector<MidiInBytes> pieces;
            replies.Poll(pieces);
            for (const MidiInBytes& piece : pieces) {
                answered.insert(answered.end(), piece.bytes.begin(), piece.bytes.end());
            }
            return !answered.empty();
        },
        milliseconds(2000));
    EXPECT_TRUE(BytesEqual(answered, Hex("F0 7D 03 F7")));
    std::vector<MidiInBytes> kept;
    ASSERT_TRUE(endpoint->Poll(kept).ok);
    Bytes keptBytes;
    std::vector<bool> marks;
    for (const MidiInBytes& piece : kept) {
        keptBytes.insert(keptBytes.end(), piece.bytes.begin(), piece.bytes.end());
        marks.push_back(piece.answered);
    }
    EXPECT_TRUE(BytesEqual(keptBytes, Hex("F0 02 F7 F0 03 F7")));
    EXPECT_EQ(marks.back(), true);
    EXPECT_EQ(marks.front(), false);
}

} // namespace
} // namespace velomire::transfer
