#include "transfer/SysExBuffer.h"
#include "transfer/WaitClock.h"

#include "support/FakeWaitClock.h"
#include "support/HexMatch.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <ctime>
#include <vector>

namespace velomire::transfer {
namespace {

using std::chrono::microseconds;
using std::chrono::milliseconds;
using velomire::testing::BytesEqual;
using velomire::testing::Hex;

using velomire::testing::FakeWaitClock;

class SysExBufferTest : public ::testing::Test {
protected:
    FakeWaitClock clock;
    SysExBuffer buffer{clock};
};

TEST_F(SysExBufferTest, AppendBytesSkipsOnlyNegativeValues) {
    buffer.AppendBytes(0xF7);
    buffer.AppendBytes(0xF0, 0x47, 0, 0x0B);
    buffer.AppendBytes(0x7E, -1, 0x10);
    EXPECT_TRUE(BytesEqual(buffer.Bytes(), Hex("F7  F0 47 00 0B  7E 10")));
}

TEST_F(SysExBufferTest, SevenBitSendsLeastSignificantGroupFirst) {
    buffer.AppendSevenBit(300, 2);
    buffer.AppendSevenBit(22676, 3);
    buffer.AppendSevenBit(-1, 2);
    EXPECT_TRUE(BytesEqual(buffer.Bytes(), Hex("2C 02  14 31 01  7F 7F")));
}

TEST_F(SysExBufferTest, NibblesSendLowNibbleFirstAndNegativesAsTwosComplement) {
    buffer.AppendNibbles(0xABCD, 4);
    buffer.AppendNibbles(0xFFFF, 4);
    buffer.AppendNibbles(-50, 2);
    EXPECT_TRUE(BytesEqual(buffer.Bytes(), Hex("0D 0C 0B 0A  0F 0F 0F 0F  0E 0C")));
}

// A count of eight covers all thirty-two bits.
TEST_F(SysExBufferTest, SplitBytesSendsTopBitAfterLowSeven) {
    buffer.AppendSplitBytes(0x1234, 4);
    buffer.AppendSplitBytes(0xFF, 2);
    buffer.AppendSplitBytes(44100, 4);
    buffer.AppendSplitBytes(-1, 4);
    buffer.AppendSplitBytes(static_cast<std::int32_t>(0x81028304u), 8);
    EXPECT_TRUE(BytesEqual(buffer.Bytes(), Hex("34 00 12 00  7F 01  44 00 2C 01  7F 01 7F 01  "
                                               "04 00 03 01 02 00 01 01")));
}

TEST_F(SysExBufferTest, CountsBelowOneAppendNothing) {
    for (std::int16_t count : {0, -1, -32768}) {
        buffer.AppendSevenBit(300, count);
        buffer.AppendNibbles(0xABCD, count);
        buffer.AppendSplitBytes(0x1234, count);
    }
    EXPECT_EQ(buffer.Count(), 0u);
}

TEST_F(SysExBufferTest, SampleWordsKeepTheirTopTwelveBitsInTwoBytesOrAllSixteenInThree) {
    for (std::uint16_t word : {0x0000, 0x8000, 0xFFFF, 0x1234}) {
        buffer.AppendSample12(word);
    }
    EXPECT_TRUE(BytesEqual(buffer.Bytes(), Hex("00 00  40 00  7F 7C  09 0C")));
    buffer.Clear();
    for (std::uint16_t word : {0x0000, 0x8000, 0xFFFF, 0x1234}) {
        buffer.AppendSample16(word);
    }
    EXPECT_TRUE(BytesEqual(buffer.Bytes(), Hex("00 00 00  40 00 00  7F 7F 60  09 0D 00")));
}

// Both name forms: Akai character codes in two nibbles, S900 ASCII split in two bytes.
TEST_F(SysExBufferTest, NamesAreCutPaddedAndEndInTheChannelSuffix) {
    struct Case {
        bool akai;
        const char* name;
        int channel;
        const char* bytes;
    };
    const Case cases[] = {
        {true, "Piano 1", 1,
         "0A 01 03 01 0B 00 08 01 09 01 0A 00 01 00 0A 00 0A 00 0A 00 07 02 06 01"},
        // Cut to twelve, upper-cased, unknown characters as dots: "STRINGS.LONG".
        {true, "strings_long_name", 0,
         "0D 01 0E 01 0C 01 03 01 08 01 01 01 0D 01 08 02 06 01 09 01 08 01 01 01"},
        {true, "", 2, "0A 00 0A 00 0A 00 0A 00 0A 00 0A 00 0A 00 0A 00 0A 00 0A 00 07 02 0C 01"},
        // Case kept; ten characters lose their last two to the suffix.
        {false, "Piano 1", 2, "50 00 69 00 61 00 6E 00 6F 00 20 00 31 00 20 00 2D 00 52 00"},
        {false, "Orchestral strings", 1,
         "4F 00 72 00 63 00 68 00 65 00 73 00 74 00 72 00 2D 00 4C 00"},
        // The top bit of a high character goes in the second byte.
        {false, "\xE9\x80", 0, "69 01 00 01 20 00 20 00 20 00 20 00 20 00 20 00 20 00 20 00"},
        {false, "", 0, "20 00 20 00 20 00 20 00 20 00 20 00 20 00 20 00 20 00 20 00"},
    };
    for (const Case& c : cases) {
        buffer.Clear();
        if (c.akai) {
            buffer.AppendAkaiName(c.name, c.channel);
        } else {
            buffer.AppendS900Name(c.name, c.channel);
        }
        EXPECT_TRUE(BytesEqual(buffer.Bytes(), Hex(c.bytes))) << c.name << " / " << c.channel;
    }
}

TEST_F(SysExBufferTest, AkaiCharCodeCoversTheTableAndItsNeighbours) {
    const std::vector<std::pair<char, int>> cases = {
        {'0', 0},  {'9', 9},  {' ', 10}, {'A', 11}, {'Z', 36},  {'a', 11},    {'z', 36},
        {'#', 37}, {'+', 38}, {'-', 39}, {'.', 40}, {'_', 40},  {'/', 40},    {':', 40},
        {'@', 40}, {'[', 40}, {'`', 40}, {'{', 40}, {'\0', 40}, {'\xE9', 40}, {'\xFF', 40}};
    for (const auto& [c, code] : cases) {
        EXPECT_EQ(AkaiCharCode(c), code)
            << "character 0x" << std::hex << static_cast<int>(static_cast<unsigned char>(c));
    }
}

TEST_F(SysExBufferTest, ChecksumXorsFromTheMarkOnlyAndClearResetsTheMark) {
    buffer.AppendBytes(0xF0, 0x7E, 0x00, 0x02);
    buffer.MarkChecksumStart();
    buffer.AppendBytes(0x01, 0x02, 0x04, 0x40);
    buffer.AppendChecksum();
    EXPECT_TRUE(BytesEqual(buffer.Bytes(), Hex("F0 7E 00 02  01 02 04 40  47")));

    buffer.MarkChecksumStart(); // at 9: Clear must take it back to 0
    buffer.Clear();
    EXPECT_EQ(buffer.Count(), 0u);
    buffer.AppendBytes(0x11, 0x33);
    buffer.AppendChecksum();
    EXPECT_TRUE(BytesEqual(buffer.Bytes(), Hex("11 33 22")));
}

TEST_F(SysExBufferTest, GrowsPastInitialCapacityKeepingEveryByteInOrder) {
    std::vector<std::uint8_t> expected;
    for (int i = 0; i < 5000; ++i) {
        expected.push_back(static_cast<std::uint8_t>(i % 0x80));
        buffer.AppendBytes(static_cast<std::int16_t>(i % 0x80));
    }
    EXPECT_GT(buffer.Count(), SysExBuffer::initialCapacity);
    EXPECT_TRUE(BytesEqual(buffer.Bytes(), expected));
}

TEST_F(SysExBufferTest, WaitSleepsInShortSlicesAndCallsIdleBetweenThem) {
    const WaitClock::TimePoint start = clock.now;
    std::vector<WaitClock::TimePoint> idleCalls;
    buffer.SetIdleHook([&] { idleCalls.push_back(clock.now); });

    buffer.WaitMilliseconds(250);

    EXPECT_EQ(clock.now - start, milliseconds(250));
    ASSERT_FALSE(clock.sleeps.empty());
    for (microseconds slice : clock.sleeps) {
        EXPECT_GT(slice, microseconds::zero());
        EXPECT_LE(slice, milliseconds(20));
    }
    ASSERT_FALSE(idleCalls.empty());
    EXPECT_EQ(idleCalls.front(), start);
    for (std::size_t i = 1; i < idleCalls.size(); ++i) {
        EXPECT_LE(idleCalls[i] - idleCalls[i - 1], milliseconds(20)) << "idle call " << i;
    }
    EXPECT_LE(clock.now - idleCalls.back(), milliseconds(20));
}

TEST_F(SysExBufferTest, ZeroAndNegativeWaitsReturnWithoutSleepingOrIdling) {
    int idleCalls = 0;
    buffer.SetIdleHook([&] { ++idleCalls; });
    buffer.WaitMilliseconds(0);
    buffer.WaitMilliseconds(-1);
    buffer.WaitMilliseconds(-2147483647 - 1);
    SleepFor(clock, microseconds(-5), [&] { ++idleCalls; });
    EXPECT_TRUE(clock.sleeps.empty());
    EXPECT_EQ(idleCalls, 0);
    EXPECT_EQ(clock.now, WaitClock::TimePoint{});
}

TEST(SteadyWaitClockTest, WaitSleepsForTheWholeTimeWithoutSpinning) {
#ifdef _WIN32
    GTEST_SKIP() << "std::clock() counts wall time on Windows, not processor time";
#endif
    SteadyWaitClock clock;
    SysExBuffer buffer(clock);
    const auto wallStart = std::chrono::steady_clock::now();
    const std::clock_t cpuStart = std::clock();

    buffer.WaitMilliseconds(200);

    const auto cpuMs = 1000.0 * static_cast<double>(std::clock() - cpuStart) / CLOCKS_PER_SEC;
    EXPECT_GE(std::chrono::steady_clock::now() - wallStart, milliseconds(200));
    // A busy loop would burn about 200 ms of processor time here.
    EXPECT_LT(cpuMs, 20.0);
}

} // namespace
} // namespace velomire::transfer
