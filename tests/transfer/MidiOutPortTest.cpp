#include "transfer/MidiOutPort.h"

#include "support/FakeWaitClock.h"
#include "support/HexMatch.h"
#include "support/RecordingMessages.h"
#include "support/RecordingMidiDriver.h"
#include "support/WavBuilder.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace velomire::transfer {
namespace {

using std::chrono::microseconds;
using std::chrono::milliseconds;
using velomire::testing::BytesEqual;
using velomire::testing::FakeWaitClock;
using velomire::testing::Hex;
using velomire::testing::ReadFile;
using velomire::testing::RecordingMessages;
using velomire::testing::RecordingMidiDriver;
using velomire::testing::TempDir;
using Message = RecordingMessages::Message;

// A driver that takes `writeTime` of fake time to hand each buffer over.
class SlowDriver : public RecordingMidiDriver {
public:
    explicit SlowDriver(FakeWaitClock& clock) : clock(clock) {}
    MidiStatus Write(std::span<const std::uint8_t> bytes) override {
        clock.now += writeTime;
        return RecordingMidiDriver::Write(bytes);
    }
    FakeWaitClock& clock;
    microseconds writeTime{0};
};

// Sets an environment variable for one test and puts the old value back afterwards.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value) : name(name) {
        if (const char* old = std::getenv(name)) {
            previous = old;
        }
        Set(value);
    }
    ~ScopedEnv() { Set(previous ? previous->c_str() : nullptr); }

private:
    void Set(const char* value) {
#ifdef _WIN32
        _putenv_s(name, value ? value : "");
#else
        value ? setenv(name, value, 1) : unsetenv(name);
#endif
    }
    const char* name;
    std::optional<std::string> previous;
};

class MidiOutPortTest : public ::testing::Test {
protected:
    MidiOutPortTest() { port.SetTracePath(TracePath()); }

    std::filesystem::path TracePath() const { return dir / "mididump.chk"; }

    bool SendHex(const char* hex) {
        for (std::uint8_t b : Hex(hex)) {
            port.AppendBytes(b);
        }
        return port.Send();
    }

    TempDir dir;
    FakeWaitClock clock;
    SlowDriver driver{clock};
    RecordingMessages messages;
    MidiOutPort port{driver, clock, messages};
};

TEST_F(MidiOutPortTest, TraceHoldsTheSentBuffersBackToBack) {
    ASSERT_TRUE(port.Open(1));
    port.OpenTrace();
    EXPECT_TRUE(SendHex("F0 47 00 0C 48 F7"));
    EXPECT_TRUE(SendHex("F0 7E 00 02 01 00 7F 7F 7F"));
    EXPECT_TRUE(SendHex("00 40 20 F7"));
    EXPECT_TRUE(port.Close());

    const auto all = Hex("F0 47 00 0C 48 F7  F0 7E 00 02 01 00 7F 7F 7F  00 40 20 F7");
    EXPECT_TRUE(BytesEqual(ReadFile(TracePath()), all));
    EXPECT_TRUE(BytesEqual(driver.AllBytes(), all));
    EXPECT_EQ(driver.writes.size(), 3u);
    EXPECT_EQ(driver.openedIndex, 1u);
    EXPECT_TRUE(messages.messages.empty());
}

TEST_F(MidiOutPortTest, WithoutOpenTraceNoDumpIsCreatedAndTracingEndsWithTheCommand) {
    ASSERT_TRUE(port.Open(0));
    SendHex("F0 01 F7");
    port.Close();
    EXPECT_FALSE(std::filesystem::exists(TracePath()));

    // A traced command followed by an untraced one leaves the first command's dump untouched.
    port.Open(0);
    port.OpenTrace();
    SendHex("F0 02 F7");
    port.Close();
    EXPECT_FALSE(port.IsTracing());
    port.Open(0);
    SendHex("F0 03 F7");
    port.Close();
    EXPECT_TRUE(BytesEqual(ReadFile(TracePath()), Hex("F0 02 F7")));
}

TEST_F(MidiOutPortTest, SendOnAClosedPortOnlyTracesAndEmptiesTheBuffer) {
    port.OpenTrace();
    EXPECT_TRUE(SendHex("F0 11 22 F7"));
    EXPECT_EQ(port.Count(), 0u);
    EXPECT_EQ(driver.writeCalls, 0);
    EXPECT_EQ(clock.Elapsed(), microseconds{0});
    EXPECT_TRUE(BytesEqual(ReadFile(TracePath()), Hex("F0 11 22 F7")));
}

TEST_F(MidiOutPortTest, FailedOpenIsReportedOnceAndSendsNothing) {
    driver.failOpen = true;
    EXPECT_FALSE(port.Open(0));
    EXPECT_FALSE(port.IsOpen());
    EXPECT_EQ(messages.messages, (std::vector<Message>{{"The device is busy", "midiOutOpen"}}));
    EXPECT_TRUE(SendHex("F0 01 F7"));
    EXPECT_EQ(driver.writeCalls, 0);
    EXPECT_FALSE(std::filesystem::exists(TracePath()));

    // A negative id never reaches the driver but is reported the same way.
    driver.failOpen = false;
    messages.messages.clear();
    EXPECT_FALSE(port.Open(-1));
    EXPECT_EQ(driver.openCount, 0);
    ASSERT_EQ(messages.messages.size(), 1u);
    EXPECT_EQ(messages.messages[0].caption, "midiOutOpen");
}

TEST_F(MidiOutPortTest, ARefusedBufferEndsTheOpeningUntilTheNextOpen) {
    ASSERT_TRUE(port.Open(0));
    port.OpenTrace();
    driver.failWritesLeft = 1;
    driver.failClose = true;
    EXPECT_FALSE(SendHex("F0 AA BB F7"));
    EXPECT_EQ(port.Count(), 0u);
    EXPECT_EQ(port.EndedBy(), MidiOutPort::Ending::failed);
    EXPECT_EQ(port.FailureText(), "The device refused the message");

    // Nothing more is tried, no wait is waited out, and the caller reports: not the port, not
    // even for the close that follows.
    EXPECT_FALSE(SendHex("F0 01 F7"));
    port.WaitMilliseconds(1000);
    EXPECT_EQ(driver.writeCalls, 1);
    EXPECT_EQ(clock.Elapsed(), microseconds{0});
    port.Close();
    EXPECT_TRUE(messages.messages.empty());
    EXPECT_TRUE(BytesEqual(ReadFile(TracePath()), Hex("F0 AA BB F7")));

    ASSERT_TRUE(port.Open(0));
    EXPECT_TRUE(SendHex("F0 01 F7"));
    EXPECT_EQ(port.EndedBy(), MidiOutPort::Ending::none);
}

TEST_F(MidiOutPortTest, CancelClosesAMessageLeftOpenByItsPiecesAndSendsNothingMore) {
    ASSERT_TRUE(port.Open(0));
    port.OpenTrace();
    EXPECT_TRUE(SendHex("F0 7E 00 09 01 F7"));
    port.RequestCancel();
    EXPECT_FALSE(SendHex("F0 7E 00 09 02 F7"));
    EXPECT_EQ(port.EndedBy(), MidiOutPort::Ending::cancelled);
    EXPECT_EQ(driver.writes.size(), 1u); // between whole messages nothing needs closing

    // The pieces of one long message: the receiver gets an F7 instead of the next piece.
    ASSERT_TRUE(port.Open(0));
    port.OpenTrace();
    EXPECT_TRUE(SendHex("F0 7E 01 00 00 0C"));
    EXPECT_TRUE(SendHex("00 40 00 40 00"));
    port.RequestCancel();
    EXPECT_FALSE(SendHex("01 40 00 40 00"));
    EXPECT_FALSE(SendHex("02 40 00 40 00 F7"));
    port.Close();
    EXPECT_TRUE(BytesEqual(driver.AllBytes(),
                           Hex("F0 7E 00 09 01 F7  F0 7E 01 00 00 0C  00 40 00 40 00  F7")));
    EXPECT_TRUE(BytesEqual(ReadFile(TracePath()), Hex("F0 7E 01 00 00 0C  00 40 00 40 00  F7")));
}

TEST_F(MidiOutPortTest, CloseFailureIsReportedAndThePortCountsAsClosed) {
    ASSERT_TRUE(port.Open(0));
    port.OpenTrace();
    driver.failClose = true;
    EXPECT_FALSE(port.Close());
    EXPECT_EQ(messages.messages,
              (std::vector<Message>{{"The device cannot be closed", "midiOutClose"}}));
    EXPECT_FALSE(port.IsOpen());
    EXPECT_FALSE(port.IsTracing());

    // Nothing more reaches the driver or the dump, and closing again does nothing.
    EXPECT_TRUE(SendHex("F0 01 F7"));
    EXPECT_EQ(driver.writeCalls, 0);
    EXPECT_TRUE(port.Close());
    EXPECT_EQ(driver.closeCount, 1);
    EXPECT_EQ(ReadFile(TracePath()).size(), 0u);
}

TEST_F(MidiOutPortTest, SendWaitsOutTheWireTimeInShortSlicesCallingTheIdleHook) {
    int idleCalls = 0;
    port.SetIdleHook([&] { ++idleCalls; });
    ASSERT_TRUE(port.Open(0));
    for (int i = 0; i < 100; ++i) {
        port.AppendBytes(0x7F);
    }
    EXPECT_TRUE(port.Send());
    EXPECT_EQ(clock.Elapsed(), milliseconds{32}); // 100 bytes of 320 us
    ASSERT_FALSE(clock.sleeps.empty());
    for (microseconds sleep : clock.sleeps) {
        EXPECT_LE(sleep, milliseconds{20});
    }
    EXPECT_GE(idleCalls, 2);

    // The wire time counts from the start of the write, so a slow driver shortens the wait
    // and one slower than the wire is not waited for at all.
    clock.Reset();
    driver.writeTime = milliseconds{10};
    EXPECT_TRUE(SendHex("F0 00 00 00 00 00 00 00 00 F7"));
    EXPECT_EQ(clock.Elapsed(), milliseconds{10});
    clock.Reset();
    for (int i = 0; i < 100; ++i) {
        port.AppendBytes(0x7F);
    }
    EXPECT_TRUE(port.Send());
    EXPECT_EQ(clock.Elapsed(), milliseconds{32});

    // An empty buffer goes nowhere and takes no time.
    clock.Reset();
    const int writesBefore = driver.writeCalls;
    EXPECT_TRUE(port.Send());
    EXPECT_EQ(driver.writeCalls, writesBefore);
    EXPECT_EQ(clock.Elapsed(), microseconds{0});
}

TEST_F(MidiOutPortTest, UnwritableTracePathDoesNotStopTheTransfer) {
    port.SetTracePath(dir / "missing" / "mididump.chk");
    ASSERT_TRUE(port.Open(0));
    port.OpenTrace();
    EXPECT_TRUE(SendHex("F0 01 F7"));
    EXPECT_TRUE(SendHex("F0 02 F7"));
    EXPECT_TRUE(port.Close());
    EXPECT_TRUE(BytesEqual(driver.AllBytes(), Hex("F0 01 F7 F0 02 F7")));
    EXPECT_TRUE(messages.messages.empty());
}

TEST_F(MidiOutPortTest, DestructionReleasesAnOpenPortQuietly) {
    {
        MidiOutPort other{driver, clock, messages};
        other.SetTracePath(TracePath());
        ASSERT_TRUE(other.Open(0));
        other.OpenTrace();
    }
    EXPECT_FALSE(driver.open);
    EXPECT_EQ(driver.closeCount, 1);
    EXPECT_TRUE(messages.messages.empty());
}

TEST(DefaultTracePath, EnvironmentOverridesTheHomeDirectory) {
    TempDir dir;
    ScopedEnv home("HOME", dir.Path().string().c_str());
    {
        ScopedEnv trace("VELOMIRE_TRACE_FILE", (dir / "other.chk").string().c_str());
        EXPECT_EQ(DefaultTracePath(), dir / "other.chk");
        RecordingMidiDriver driver;
        FakeWaitClock clock;
        RecordingMessages messages;
        EXPECT_EQ(MidiOutPort(driver, clock, messages).TracePath(), dir / "other.chk");
    }
    ScopedEnv empty("VELOMIRE_TRACE_FILE", "");
#ifdef _WIN32
    EXPECT_EQ(DefaultTracePath(), "c:\\mididump.chk");
#else
    EXPECT_EQ(DefaultTracePath(), dir / "mididump.chk");
#endif
}

#ifdef _WIN32
// A Windows file name is UTF-16: the dump goes to the file named, whatever its characters.
TEST_F(MidiOutPortTest, TracesToAWindowsPathWithCharactersOutsideTheCodePage) {
    const std::filesystem::path dump = dir.Path() / std::filesystem::path(L"dump-\u00e9\u4e2d.chk");
    port.SetTracePath(dump);
    ASSERT_TRUE(port.Open(0));
    port.OpenTrace();
    SendHex("F0 7E F7");
    port.Close();
    EXPECT_EQ(std::filesystem::file_size(dump), 3u);
}
#endif

} // namespace
} // namespace velomire::transfer
