#include "transfer/devices/WinMmMidiDriver.h"
#include "support/FakeWaitClock.h"
#include "transfer/devices/WinMmMidiInDriver.h"

#include <gtest/gtest.h>

#include <deque>

namespace velomire::transfer {
namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;

// WinMM as the driver sees it: a header handed over is marked done once `busyPolls` reads of the
// flag have passed (never while `stuck`), cannot be unprepared before, and a reset hands it back.
class FakeWinMm final : public WinMmCalls {
public:
    unsigned GetNumDevs() override { return 3; }
    Result GetDevCaps(unsigned id, std::string& name) override {
        name = "Port " + std::to_string(id);
        return id == 1 ? 6 : noError; // MMSYSERR_NODRIVER
    }
    Result Open(unsigned id) override { return Log("open " + std::to_string(id), openResult); }
    Result PrepareHeader(std::span<const std::uint8_t> bytes) override {
        header = bytes;
        prepared = prepareResult == noError;
        return Log("prepare", prepareResult);
    }
    Result LongMsg() override {
        EXPECT_TRUE(prepared) << "a header sent unprepared";
        playing = longMsgResult == noError;
        polls = 0;
        if (playing) {
            sent.emplace_back(header.begin(), header.end());
        }
        return Log("long", longMsgResult);
    }
    bool HeaderDone() override {
        ++polls;
        return !playing || (!stuck && polls > busyPolls);
    }
    Result UnprepareHeader() override {
        if (playing && !HeaderDone()) {
            return stillPlaying;
        }
        prepared = playing = false;
        return Log("unprepare", noError);
    }
    Result Reset() override {
        playing = false;
        return Log("reset", noError);
    }
    Result Close() override { return Log("close", noError); }
    std::string ErrorText(Result code) override { return "text " + std::to_string(code); }

    Result Log(std::string call, Result result) {
        log.push_back(std::move(call));
        return result;
    }

    Result openResult = noError, prepareResult = noError, longMsgResult = noError;
    int busyPolls = 0, polls = 0;
    bool stuck = false, prepared = false, playing = false;
    std::vector<std::string> log;
    std::vector<Bytes> sent;
    std::span<const std::uint8_t> header;
};

struct WinMmDriverTest : ::testing::Test {
    FakeWinMm* winmm = new FakeWinMm;
    testing::FakeWaitClock* clock = new testing::FakeWaitClock;
    WinMmMidiDriver driver{std::unique_ptr<WinMmCalls>(winmm), std::unique_ptr<WaitClock>(clock)};
};

TEST_F(WinMmDriverTest, SendsEachBufferAsOnePreparedLongMessageAndReturnsOnceItIsDone) {
    // A device whose capabilities cannot be read keeps its place: the index is the device id.
    EXPECT_EQ(driver.PortNames(), (std::vector<std::string>{"Port 0", "MIDI output 2", "Port 2"}));
    ASSERT_TRUE(driver.Open(2));
    winmm->busyPolls = 3;
    const Bytes whole{0xF0, 0x47, 0x00, 0x0C, 0x48, 0xF7};
    const Bytes piece{0x12, 0x34, 0x56}; // from the middle of one System Exclusive message
    ASSERT_TRUE(driver.Write(whole));
    ASSERT_TRUE(driver.Write(piece));
    EXPECT_TRUE(driver.Close());

    EXPECT_EQ(winmm->sent, (std::vector<Bytes>{whole, piece}));
    EXPECT_EQ(winmm->log, (std::vector<std::string>{"open 2", "prepare", "long", "unprepare",
                                                    "prepare", "long", "unprepare", "close"}));
    // A sleep through the wire time, then one short sleep per busy read of the done flag.
    ASSERT_EQ(clock->sleeps.size(), 2u * (1 + 3));
    EXPECT_EQ(clock->sleeps[0], 6 * 320us);
    EXPECT_EQ(clock->sleeps[1], WinMmMidiDriver::pollSlice);
}

TEST_F(WinMmDriverTest, ADeviceThatStaysBusyIsResetAfterTheBoundAndTheNextMessageGoesOut) {
    ASSERT_TRUE(driver.Open(0));
    winmm->stuck = true;
    const Bytes message(100, 0x11);
    EXPECT_FALSE(driver.Write(message));
    // Bounded, and asleep between any two reads of the flag.
    EXPECT_EQ(clock->Elapsed(), 100 * 320us + WinMmMidiDriver::doneTimeout);
    EXPECT_LE(winmm->polls, static_cast<int>(clock->sleeps.size()) + 1);
    EXPECT_EQ(winmm->log,
              (std::vector<std::string>{"open 0", "prepare", "long", "reset", "unprepare"}));
    winmm->stuck = false;
    EXPECT_TRUE(driver.Write(message));
    EXPECT_EQ(winmm->sent.size(), 2u);
}

TEST_F(WinMmDriverTest, ReportsTheSystemTextOfAFailingCallAndLeavesNoHeaderPrepared) {
    winmm->openResult = 4; // MMSYSERR_ALLOCATED: another program holds the device
    EXPECT_EQ(driver.Open(0).text, "text 4");
    EXPECT_FALSE(driver.Write(Bytes{0xF0, 0xF7}));

    winmm->openResult = WinMmCalls::noError;
    ASSERT_TRUE(driver.Open(0));
    winmm->prepareResult = 11; // MMSYSERR_INVALPARAM
    EXPECT_EQ(driver.Write(Bytes{0xF0, 0xF7}).text, "midiOutPrepareHeader: text 11");
    winmm->prepareResult = WinMmCalls::noError;
    winmm->longMsgResult = 67; // MIDIERR_NOTREADY
    EXPECT_EQ(driver.Write(Bytes{0xF0, 0xF7}).text, "midiOutLongMsg: text 67");
    EXPECT_FALSE(winmm->prepared);
    winmm->longMsgResult = WinMmCalls::noError;
    EXPECT_TRUE(driver.Write(Bytes{0xF0, 0xF7}));
    EXPECT_EQ(winmm->sent.size(), 1u);
}

// WinMM input as the driver sees it: the device fills the lent buffers in the order they were
// lent, a long message running on into the next, and drops what finds no buffer.
class FakeWinMmIn final : public WinMmInCalls {
public:
    unsigned GetNumDevs() override { return 2; }
    Result GetDevCaps(unsigned id, std::string& name) override {
        name = "In " + std::to_string(id);
        return id == 1 ? 6 : noError; // MMSYSERR_NODRIVER
    }
    Result Open(unsigned id) override { return Log("open " + std::to_string(id), noError); }
    Result AddBuffer(std::size_t index, std::span<std::uint8_t> bytes) override {
        if (addResult != noError) {
            return Log("add", addResult);
        }
        lent.push_back({index, bytes});
        return noError;
    }
    std::vector<Filled> TakeFilled() override { return std::exchange(filled, {}); }
    Result Start() override { return Log("start", noError); }
    Result Close() override {
        lent.clear();
        return Log("close", noError);
    }
    std::string ErrorText(Result code) override { return "text " + std::to_string(code); }

    void Arrive(const Bytes& bytes, WaitClock::TimePoint time) {
        std::size_t done = 0;
        while (done < bytes.size() && !lent.empty()) {
            const auto [index, buffer] = lent.front();
            lent.pop_front();
            const std::size_t count = std::min(buffer.size(), bytes.size() - done);
            std::copy_n(bytes.begin() + static_cast<std::ptrdiff_t>(done), count, buffer.begin());
            filled.push_back({index, count, time});
            done += count;
        }
    }
    Result Log(std::string call, Result result) {
        log.push_back(std::move(call));
        return result;
    }

    Result addResult = noError;
    std::deque<std::pair<std::size_t, std::span<std::uint8_t>>> lent;
    std::vector<Filled> filled;
    std::vector<std::string> log;
};

struct WinMmInDriverTest : ::testing::Test {
    Bytes Taken(MidiStatus& status) {
        std::vector<MidiInBytes> pieces;
        status = driver.Poll(pieces);
        Bytes all;
        for (const MidiInBytes& piece : pieces) {
            all.insert(all.end(), piece.bytes.begin(), piece.bytes.end());
        }
        return all;
    }

    FakeWinMmIn* winmm = new FakeWinMmIn;
    WinMmMidiInDriver driver{std::unique_ptr<WinMmInCalls>(winmm)};
    MidiStatus status;
};

TEST_F(WinMmInDriverTest, HandsOverWhatTheDeviceFilledInOrderAndLendsEachBufferAgain) {
    EXPECT_EQ(driver.PortNames(), (std::vector<std::string>{"In 0", "MIDI input 2"}));
    ASSERT_TRUE(driver.Open(1));
    EXPECT_EQ(winmm->log, (std::vector<std::string>{"open 1", "start"}));
    ASSERT_EQ(winmm->lent.size(), WinMmMidiInDriver::bufferCount);

    const Bytes ack{0xF0, 0x7E, 0x00, 0x7F, 0x05, 0xF7};
    Bytes dump(3 * WinMmMidiInDriver::bufferBytes + 7, 0x21);
    dump.front() = 0xF0;
    dump.back() = 0xF7;
    const WaitClock::TimePoint at{std::chrono::seconds(3)};
    winmm->Arrive(ack, at);
    winmm->Arrive(dump, at);
    std::vector<MidiInBytes> pieces;
    ASSERT_TRUE(driver.Poll(pieces));
    ASSERT_EQ(pieces.size(), 5u);
    EXPECT_EQ(pieces[0].bytes, ack);
    EXPECT_EQ(pieces[0].time, at);
    Bytes joined;
    for (std::size_t i = 1; i < pieces.size(); ++i) {
        joined.insert(joined.end(), pieces[i].bytes.begin(), pieces[i].bytes.end());
    }
    EXPECT_EQ(joined, dump);
    EXPECT_EQ(winmm->lent.size(), WinMmMidiInDriver::bufferCount);

    // More than every buffer holds, with nobody taking: the rest is lost, and said so.
    winmm->Arrive(Bytes(WinMmMidiInDriver::bufferCount * WinMmMidiInDriver::bufferBytes + 1, 1),
                  at);
    EXPECT_EQ(Taken(status).size(),
              WinMmMidiInDriver::bufferCount * WinMmMidiInDriver::bufferBytes);
    EXPECT_EQ(status.text, "MIDI input was lost: the device had no buffer left.");
    winmm->Arrive(ack, at);
    EXPECT_EQ(Taken(status), ack);
    EXPECT_TRUE(status);

    winmm->addResult = 11; // MMSYSERR_INVALPARAM
    winmm->Arrive(ack, at);
    Taken(status);
    EXPECT_EQ(status.text, "midiInAddBuffer: text 11");
    EXPECT_EQ(winmm->log.back(), "close");
    EXPECT_EQ(driver.Poll(pieces).text, "The MIDI input port is not open.");
}

TEST_F(WinMmInDriverTest, PiecesModeLendsOneByteBuffersSoAMessageComesOverAsItArrives) {
    ASSERT_TRUE(driver.Open(1));
    ASSERT_TRUE(driver.SetPieces(true));
    EXPECT_EQ(winmm->log,
              (std::vector<std::string>{"open 1", "start", "close", "open 1", "start"}));
    ASSERT_EQ(winmm->lent.size(), WinMmMidiInDriver::pieceBufferCount);
    const Bytes header{0xF0, 0x7E, 0x01, 0x03, 0x00, 0x0C};
    winmm->Arrive(header, {}); // the dump's opening, whose F7 comes much later
    EXPECT_EQ(Taken(status), header);
    EXPECT_EQ(winmm->lent.size(), WinMmMidiInDriver::pieceBufferCount);
    winmm->Arrive(Bytes(WinMmMidiInDriver::pieceBufferCount + 1, 1), {});
    EXPECT_EQ(Taken(status).size(), WinMmMidiInDriver::pieceBufferCount);
    EXPECT_FALSE(status) << "an overrun is still told";
}

#ifdef _WIN32
// The real winmm.dll, on a system with no MIDI device (such as Wine on a build machine).
TEST(WinMmMidiDriver, OpeningAMissingDeviceFailsWithTheSystemsMessageOutAndIn) {
    WinMmMidiDriver driver(MakeSystemWinMmCalls(), std::make_unique<SteadyWaitClock>());
    const MidiStatus status = driver.Open(static_cast<unsigned>(driver.PortNames().size()));
    EXPECT_FALSE(status);
    EXPECT_FALSE(status.text.empty());
    EXPECT_EQ(status.text.find("MIDI error"), std::string::npos) << status.text;
    EXPECT_TRUE(driver.Close());

    WinMmMidiInDriver input(MakeSystemWinMmInCalls());
    const MidiStatus inStatus = input.Open(static_cast<unsigned>(input.PortNames().size()));
    EXPECT_FALSE(inStatus);
    EXPECT_EQ(inStatus.text.find("MIDI error"), std::string::npos) << inStatus.text;
    EXPECT_TRUE(input.Close());
}
#endif

} // namespace
} // namespace velomire::transfer
