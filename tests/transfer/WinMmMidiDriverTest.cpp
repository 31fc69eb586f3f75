#include "transfer/devices/WinMmMidiDriver.h"
#include "support/FakeWaitClock.h"

#include <gtest/gtest.h>

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

#ifdef _WIN32
// The real winmm.dll, on a system with no MIDI output device (such as Wine on a build machine).
TEST(WinMmMidiDriver, OpeningAMissingDeviceFailsWithTheSystemsMessage) {
    WinMmMidiDriver driver(MakeSystemWinMmCalls(), std::make_unique<SteadyWaitClock>());
    const MidiStatus status = driver.Open(static_cast<unsigned>(driver.PortNames().size()));
    EXPECT_FALSE(status);
    EXPECT_FALSE(status.text.empty());
    EXPECT_EQ(status.text.find("MIDI error"), std::string::npos) << status.text;
    EXPECT_TRUE(driver.Close());
}
#endif

} // namespace
} // namespace velomire::transfer
