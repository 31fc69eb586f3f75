#include "transfer/devices/WinMmMidiDriver.h"
#include "support/FakeWaitClock.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace velomire::transfer {
namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;

// WinMM as the driver sees it: a header is prepared, handed over, marked done by the device once
// `busyPolls` reads of the flag have passed (never, while `stuck`), and cannot be unprepared
// before that; a reset hands it back done.
class FakeWinMm final : public WinMmCalls {
public:
    unsigned GetNumDevs() override { return static_cast<unsigned>(devices.size()); }
    Result GetDevCaps(unsigned id, std::string& name) override {
        if (devices[id].empty()) {
            return 6; // MMSYSERR_NODRIVER
        }
        name = devices[id];
        return noError;
    }
    Result Open(unsigned id) override {
        log.push_back("open " + std::to_string(id));
        return id < devices.size() ? openResult : badDeviceId;
    }
    Result PrepareHeader(std::span<const std::uint8_t> bytes) override {
        EXPECT_FALSE(prepared) << "a header prepared twice";
        log.push_back("prepare");
        if (prepareResult == noError) {
            prepared = true;
            playing = false;
            header = bytes;
        }
        return prepareResult;
    }
    Result LongMsg() override {
        EXPECT_TRUE(prepared) << "a header sent unprepared";
        log.push_back("long");
        if (longMsgResult == noError) {
            playing = true;
            polls = 0;
            sent.emplace_back(header.begin(), header.end());
        }
        return longMsgResult;
    }
    bool HeaderDone() override {
        ++polls;
        return !playing || (!stuck && polls > busyPolls);
    }
    Result UnprepareHeader() override {
        if (playing && !HeaderDone()) {
            return stillPlaying;
        }
        log.push_back("unprepare");
        prepared = playing = false;
        return noError;
    }
    Result Reset() override {
        log.push_back("reset");
        playing = false;
        return noError;
    }
    Result Close() override {
        log.push_back("close");
        return noError;
    }
    std::string ErrorText(Result code) override { return "system text " + std::to_string(code); }

    std::vector<std::string> devices{"Port A", "", "Port C"};
    Result openResult = noError;
    Result prepareResult = noError;
    Result longMsgResult = noError;
    int busyPolls = 0;
    bool stuck = false;

    std::vector<std::string> log;
    std::vector<Bytes> sent;
    bool prepared = false;
    bool playing = false;
    int polls = 0;
    std::span<const std::uint8_t> header;
};

struct WinMmDriverTest : ::testing::Test {
    WinMmDriverTest() {
        auto fakeCalls = std::make_unique<FakeWinMm>();
        auto fakeClock = std::make_unique<testing::FakeWaitClock>();
        winmm = fakeCalls.get();
        clock = fakeClock.get();
        driver = std::make_unique<WinMmMidiDriver>(std::move(fakeCalls), std::move(fakeClock));
    }
    FakeWinMm* winmm;
    testing::FakeWaitClock* clock;
    std::unique_ptr<WinMmMidiDriver> driver;
};

TEST_F(WinMmDriverTest, NamesEveryDeviceIdByItsCapabilitiesKeepingIdsForUnreadableOnes) {
    EXPECT_EQ(driver->PortNames(), (std::vector<std::string>{"Port A", "MIDI output 2", "Port C"}));
}

TEST_F(WinMmDriverTest, SendsEachBufferAsOnePreparedLongMessageAndReturnsOnceItIsDone) {
    ASSERT_TRUE(driver->Open(2));
    winmm->busyPolls = 3;
    const Bytes whole{0xF0, 0x47, 0x00, 0x0C, 0x48, 0xF7};
    const Bytes piece{0x12, 0x34, 0x56}; // the middle of one long System Exclusive message
    ASSERT_TRUE(driver->Write(whole));
    ASSERT_TRUE(driver->Write(piece));
    EXPECT_TRUE(driver->Close());

    EXPECT_EQ(winmm->sent, (std::vector<Bytes>{whole, piece}));
    EXPECT_EQ(winmm->log, (std::vector<std::string>{"open 2", "prepare", "long", "unprepare",
                                                    "prepare", "long", "unprepare", "close"}));
    // A sleep through the wire time, then one short sleep per busy read of the done flag.
    ASSERT_EQ(clock->sleeps.size(), 2u * (1 + 3));
    EXPECT_EQ(clock->sleeps[0], 6 * 320us);
    EXPECT_EQ(clock->sleeps[1], WinMmMidiDriver::pollSlice);
}

TEST_F(WinMmDriverTest, ADeviceThatStaysBusyIsResetAfterTheBoundAndTheNextMessageGoesOut) {
    ASSERT_TRUE(driver->Open(0));
    winmm->stuck = true;
    const Bytes message(100, 0x11);
    const MidiStatus status = driver->Write(message);
    EXPECT_FALSE(status);
    EXPECT_NE(status.text.find("did not take the message"), std::string::npos) << status.text;
    // Bounded, and sleeping all along: never more reads of the flag than sleeps.
    EXPECT_EQ(clock->Elapsed(), 100 * 320us + WinMmMidiDriver::doneTimeout);
    EXPECT_LE(winmm->polls, static_cast<int>(clock->sleeps.size()) + 2);
    EXPECT_EQ(winmm->log.back(), "unprepare");
    EXPECT_EQ(winmm->log[winmm->log.size() - 2], "reset");

    winmm->stuck = false;
    EXPECT_TRUE(driver->Write(message));
    EXPECT_EQ(winmm->sent.size(), 2u);
}

TEST_F(WinMmDriverTest, ReportsTheSystemTextOfAFailingCallAndLeavesNoHeaderPrepared) {
    winmm->openResult = 4; // MMSYSERR_ALLOCATED: another program holds the device
    EXPECT_EQ(driver->Open(0).text, "system text 4");
    EXPECT_EQ(driver->Open(7).text, "system text 2");
    EXPECT_FALSE(driver->Write(Bytes{0xF0, 0xF7}));

    winmm->openResult = WinMmCalls::noError;
    ASSERT_TRUE(driver->Open(0));
    winmm->prepareResult = 11; // MMSYSERR_INVALPARAM
    EXPECT_EQ(driver->Write(Bytes{0xF0, 0xF7}).text, "midiOutPrepareHeader: system text 11");
    winmm->prepareResult = WinMmCalls::noError;
    winmm->longMsgResult = 67; // MIDIERR_NOTREADY
    EXPECT_EQ(driver->Write(Bytes{0xF0, 0xF7}).text, "midiOutLongMsg: system text 67");
    EXPECT_FALSE(winmm->prepared);
    winmm->longMsgResult = WinMmCalls::noError;
    EXPECT_TRUE(driver->Write(Bytes{0xF0, 0xF7}));
    EXPECT_EQ(winmm->sent.size(), 1u);
}

#ifdef _WIN32
// The real winmm.dll, on a system with no MIDI output device (such as Wine on a build machine).
TEST(WinMmMidiDriver, OpeningAMissingDeviceFailsWithTheSystemsMessage) {
    WinMmMidiDriver driver(MakeSystemWinMmCalls(), std::make_unique<SteadyWaitClock>());
    const auto names = driver.PortNames();
    const MidiStatus status = driver.Open(static_cast<unsigned>(names.size()));
    EXPECT_FALSE(status);
    EXPECT_FALSE(status.text.empty());
    EXPECT_EQ(status.text.find("MIDI error"), std::string::npos) << status.text;
    EXPECT_FALSE(driver.Write(Bytes{0xF0, 0xF7}));
    EXPECT_TRUE(driver.Close());
}
#endif

} // namespace
} // namespace velomire::transfer
