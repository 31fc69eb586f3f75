#include "transfer/families/SdsMessages.h"
#include "transfer/families/s900/S900Messages.h"

#include "transfer/MessagesFixture.h"

namespace velomire::transfer {
namespace {

class SdsMessagesTest : public velomire::testing::MessagesTest {
protected:
    SdsMessages sds{context};
};

TEST_F(SdsMessagesTest, DumpHeaderCarriesLengthLoopAndMidiChannel) {
    const int row = AddSilentEntry("piano.wav", 1, 1000);
    program::SampleBlock& sample = Sample(row);
    sample.samplerSampleNumber[0] = 4;
    sample.loopMode = program::loopNormal;
    settings.exclusiveChannel = 9; // only the Akai messages use it

    sds.SendSdsDumpHeader(row, 0);
    sample.loopMode = program::loopNone;
    sds.SendSdsDumpHeader(row, 0);
    // Without a loop: "loop off" (7F), both points on the last word. A forward loop ending at
    // word 0 made a receiver loop one word, and an S900/S950 taking SDS, which plays up to the
    // loop end, played nothing.
    sample.loopAt[0] = 899;
    sample.loopLength[0] = 100;
    sample.loopMode = program::loopToEnd;
    settings.midiChannel = 3;
    sds.SendSdsDumpHeader(row, 0);
    sample.loopMode = program::loopUntilRelease;
    sds.SendSdsDumpHeader(row, 0);

    ASSERT_EQ(driver.writes.size(), 4u);
    EXPECT_TRUE(BytesEqual(driver.writes[0], Hex("F0 7E 00 01 04 00 10 14 31 01 68 07 00 00 00 "
                                                 "00 67 07 00 00 F7")));
    EXPECT_TRUE(BytesEqual(driver.writes[1], Hex("F0 7E 00 01 04 00 10 14 31 01 68 07 00 67 07 "
                                                 "00 67 07 00 7F F7")));
    EXPECT_TRUE(BytesEqual(driver.writes[2], Hex("F0 7E 03 01 04 00 10 14 31 01 68 07 00 67 07 "
                                                 "00 67 07 00 7F F7")));
    EXPECT_TRUE(BytesEqual(driver.writes[3], Hex("F0 7E 03 01 04 00 10 14 31 01 68 07 00 20 06 "
                                                 "00 03 07 00 00 F7")));
    EXPECT_EQ(Waits(), std::vector<milliseconds>(4, milliseconds(0)));
}

TEST_F(SdsMessagesTest, EveryPacketReadsFortyFramesFromTheSoundStart) {
    // Two frames before the sound start, 40 of silence, then the extremes; the file ends there.
    std::vector<std::int16_t> frames = {1234, 1234};
    frames.resize(42, 0);
    frames.push_back(32767);
    frames.push_back(-32768);
    const int row = AddEntry("piano.wav", 1, frames);
    Sample(row).soundStart = 2;
    Sample(row).lengthWords = 40;

    ASSERT_TRUE(sds.SendSdsSampleData(row, 0));
    ASSERT_EQ(driver.writes.size(), 1u);
    const auto silentPacket = Cat({Hex("F0 7E 00 02 00"), Repeat("40 00 00", 40), Hex("7C F7")});
    EXPECT_TRUE(BytesEqual(driver.writes[0], silentPacket));

    // 41 words: the second packet goes on past the sound's last word, then past the file's end.
    driver.writes.clear();
    driver.times.clear();
    Sample(row).lengthWords = 41;
    ASSERT_TRUE(sds.SendSdsSampleData(row, 0));
    ASSERT_EQ(driver.writes.size(), 2u);
    EXPECT_TRUE(BytesEqual(driver.writes[0], silentPacket));
    EXPECT_TRUE(BytesEqual(driver.writes[1], Cat({Hex("F0 7E 00 02 01 7F 7F 60 00 00 00"),
                                                  Repeat("40 00 00", 38), Hex("1D F7")})));
    EXPECT_EQ(Waits(), (std::vector<milliseconds>{milliseconds(0), milliseconds(700)}));
    EXPECT_EQ(Sample(row).dataSent, 1);
}

TEST_F(SdsMessagesTest, PacketsReadThePartAndCarryTheMidiChannel) {
    const int row = AddEntry("strings.wav", 2, {0, 32767, 0, 32767});
    settings.midiChannel = 3;
    settings.exclusiveChannel = 9;

    for (int part : {0, 1, 2}) {
        ASSERT_TRUE(sds.SendSdsSampleData(row, part));
    }

    ASSERT_EQ(driver.writes.size(), 3u);
    // Mix: (0 + 32767) / 2 = 16383, the word 0xBFFF.
    EXPECT_TRUE(BytesEqual(std::span(driver.writes[0]).first(8), Hex("F0 7E 03 02 00 5F 7F 60")));
    EXPECT_TRUE(BytesEqual(std::span(driver.writes[1]).first(8), Hex("F0 7E 03 02 00 40 00 00")));
    EXPECT_TRUE(BytesEqual(std::span(driver.writes[2]).first(8), Hex("F0 7E 03 02 00 7F 7F 60")));
}

TEST_F(SdsMessagesTest, PacketNumberWrapsAfter127) {
    const int row = AddSilentEntry("long.wav", 1, 2);
    Sample(row).lengthWords = 130 * 40;

    ASSERT_TRUE(sds.SendSdsSampleData(row, 0));

    ASSERT_EQ(driver.writes.size(), 130u);
    EXPECT_EQ(driver.writes[127][4], 0x7F);
    EXPECT_EQ(driver.writes[128][4], 0x00);
    EXPECT_EQ(driver.writes[129][4], 0x01);
}

TEST_F(SdsMessagesTest, AZeroLengthStillSendsOnePacket) {
    const int row = AddSilentEntry("empty.wav", 1, 2);
    Sample(row).lengthWords = 0;

    ASSERT_TRUE(sds.SendSdsSampleData(row, 0));
    EXPECT_EQ(driver.writes.size(), 1u);
}

TEST_F(SdsMessagesTest, DataSendersLeaveAMissingFileUnsent) {
    const int row = AddSilentEntry("gone.wav", 1, 100);
    std::filesystem::remove(directory / "gone.wav");
    S900Messages s900(context);

    EXPECT_FALSE(sds.SendSdsSampleData(row, 0));
    EXPECT_FALSE(s900.SendS900SampleData(row, 0));

    ASSERT_EQ(messages.messages.size(), 2u);
    EXPECT_EQ(messages.messages[0].caption, "gone.wav");
    EXPECT_TRUE(driver.writes.empty());
    EXPECT_EQ(clock.Elapsed(), std::chrono::microseconds(0));
    EXPECT_EQ(Sample(row).dataSent, 0);
    EXPECT_TRUE(progress.sampleBar.empty());
}

TEST_F(SdsMessagesTest, BarsMoveInStepsOfTwoPercent) {
    // The second half of a send: 4000 of 8000 words are already out.
    const int row = AddSilentEntry("half.wav", 1, 2);
    Sample(row).lengthWords = 100 * 40;
    program.transferWords = 8000;
    program.transferWordsSent = 4000;

    ASSERT_TRUE(sds.SendSdsSampleData(row, 0));

    std::vector<int> sampleBar = {0};
    std::vector<int> programBar;
    for (int k = 2; k <= 100; k += 2) {
        sampleBar.push_back(k);
        programBar.push_back(50 + k / 2);
    }
    EXPECT_EQ(progress.sampleBar, sampleBar);
    EXPECT_EQ(progress.programBar, programBar);
    EXPECT_EQ(program.transferWordsSent, 8000u);
}

TEST_F(SdsMessagesTest, ProgressCountsFullPacketsAndNeverDividesByZero) {
    PartProgress threePackets(context, 3, 40);
    for (std::uint32_t k = 1; k <= 3; ++k) {
        threePackets.PacketSent(k);
    }
    EXPECT_EQ(progress.sampleBar, (std::vector<int>{0, 33, 66, 100}));
    EXPECT_EQ(progress.programBar, (std::vector<int>{0, 0, 0}));

    // A 41-word part counts 80 words: the program bar stops at its end, 100.
    progress = {};
    program.transferWords = 41;
    program.transferWordsSent = 0;
    PartProgress lastPacketPartlyFilled(context, 2, 40);
    lastPacketPartlyFilled.PacketSent(1);
    lastPacketPartlyFilled.PacketSent(2);
    EXPECT_EQ(progress.programBar, (std::vector<int>{97, 100}));
    EXPECT_EQ(program.transferWordsSent, 80u);

    context.progress = nullptr;
    PartProgress unseen(context, 1, 40);
    unseen.PacketSent(1);
    EXPECT_EQ(program.transferWordsSent, 120u);
}

} // namespace
} // namespace velomire::transfer
