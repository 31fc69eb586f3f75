#include "transfer/families/s900/S900Messages.h"

#include "transfer/MessagesFixture.h"

namespace velomire::transfer {
namespace {

class S900MessagesTest : public velomire::testing::MessagesTest {
protected:
    // The XOR of everything between the 7-byte prefix and the checksum itself.
    static bool ChecksumHolds(const std::vector<std::uint8_t>& message) {
        std::uint8_t sum = 0;
        for (std::size_t i = 7; i + 2 < message.size(); ++i) {
            sum ^= message[i];
        }
        return sum == message[message.size() - 2];
    }

    S900Messages s900{context};
};

TEST_F(S900MessagesTest, SampleDataIsOneMessageInPiecesOfSixtyWords) {
    const int row = AddSilentEntry("piano.wav", 1, 1000);
    Sample(row).samplerSampleNumber[0] = 4;

    ASSERT_TRUE(s900.SendS900SampleData(row, 0));

    // 1000 words: a header piece and 17 data pieces, F7 only at the very end.
    ASSERT_EQ(driver.writes.size(), 18u);
    EXPECT_TRUE(BytesEqual(driver.writes[0],
                           Hex("F0 7E 01 04 00 0C 14 31 01 68 07 00 00 00 00 00 00 00 00")));
    for (std::size_t i = 1; i < 17; ++i) {
        EXPECT_EQ(driver.writes[i].size(), 122u);
        EXPECT_EQ(driver.writes[i][0], i - 1);
    }
    EXPECT_EQ(driver.writes[17].size(), 123u);
    EXPECT_EQ(driver.writes[17].back(), 0xF7);

    std::vector<milliseconds> waits(18, milliseconds(0));
    waits.front() = milliseconds(300);
    waits.back() = milliseconds(300);
    EXPECT_EQ(Waits(), waits);
    EXPECT_EQ(Sample(row).dataSent, 1);
    EXPECT_EQ(program.transferWordsSent, 17u * 60);
}

TEST_F(S900MessagesTest, PiecesPastTheLengthAreFilledWithZeroWords) {
    // Two frames before the sound start, then the word 0x1234 (sent as 09 0C) throughout.
    std::vector<std::int16_t> frames = {0, 0};
    frames.resize(64, 0x1234 - 0x8000);
    const int row = AddEntry("piano.wav", 1, frames);
    Sample(row).soundStart = 2;
    Sample(row).lengthWords = 60;

    ASSERT_TRUE(s900.SendS900SampleData(row, 0));
    ASSERT_EQ(driver.writes.size(), 2u);
    const auto fullPiece = Cat({Hex("00"), Repeat("09 0C", 60), Hex("00")});
    EXPECT_TRUE(BytesEqual(driver.writes[1], Cat({fullPiece, Hex("F7")})));

    // 61 words: the second piece holds one word and 59 filler words; its checksum leaves out
    // the piece number.
    driver.writes.clear();
    Sample(row).lengthWords = 61;
    ASSERT_TRUE(s900.SendS900SampleData(row, 0));
    ASSERT_EQ(driver.writes.size(), 3u);
    EXPECT_TRUE(BytesEqual(driver.writes[1], fullPiece));
    EXPECT_TRUE(
        BytesEqual(driver.writes[2], Cat({Hex("01 09 0C"), Repeat("00 00", 59), Hex("05 F7")})));
}

TEST_F(S900MessagesTest, PieceNumberWrapsAfter127) {
    const int row = AddSilentEntry("long.wav", 1, 2);
    Sample(row).lengthWords = 129 * 60 + 1;

    ASSERT_TRUE(s900.SendS900SampleData(row, 0));

    ASSERT_EQ(driver.writes.size(), 131u); // header piece and 130 data pieces
    EXPECT_EQ(driver.writes[128][0], 0x7F);
    EXPECT_EQ(driver.writes[129][0], 0x00);
    EXPECT_EQ(driver.writes[130][0], 0x01);
}

TEST_F(S900MessagesTest, SampleHeaderIsByteExact) {
    const int row = AddSilentEntry("piano.wav", 1, 1000);
    program::SampleBlock& sample = Sample(row);
    sample.samplerSampleNumber[0] = 4;
    sample.loopMode = program::loopNormal;
    sample.loopAt[0] = 899;
    sample.loopLength[0] = 100;
    settings.midiChannel = 2;
    settings.exclusiveChannel = 9;

    s900.SendS900SampleHeader(row, 0);

    ASSERT_EQ(driver.writes.size(), 1u);
    EXPECT_TRUE(BytesEqual(
        driver.writes[0],
        Cat({Hex("F0 47 02 0A 40 04 00"),
             Hex("70 00 69 00 61 00 6E 00 6F 00 20 00 20 00 20 00 20 00 20 00"), Zeros(12),
             Hex("68 01 03 00 00 00 00 00"), // length 1000
             Hex("44 00 2C 01"),             // 44100 Hz
             Hex("40 01 03 00"),             // root key 60 x 16
             Zeros(4), Hex("4C 00"), Zeros(2),
             Hex("03 01 03 00 00 00 00 00"), // end point: the loop's last word, 899
             Zeros(8),                       // first replay point: the first word
             Hex("64 00 00 00 00 00 00 00"), // loop length 100
             Zeros(6), Hex("4E 00"), Zeros(32), Hex("7F F7")})));
    EXPECT_EQ(Waits(), std::vector<milliseconds>{milliseconds(0)});
}

// Akai's S900 document names header bytes 28-31 "End point" and 32-35 "First replay point", and a
// study of 202 real S950 disk images found the sampler loops backwards from the end point by the
// loop length, with the first replay point 0 in 250 of 324 looped samples. So a looping part ends
// at its loop's last word, one that does not loop at its end point, neither past its last word
// (1000 words here), and only the right part of a stereo entry starts at the channel offset.
TEST_F(S900MessagesTest, HeaderEndsAtTheLoopsLastWordAndStartsAtTheFirstWord) {
    const int stereo = AddSilentEntry("strings.wav", 2, 1000);
    Sample(stereo).loopMode = program::loopUntilRelease;
    Sample(stereo).SetLoop(0, {899, 100, 0});
    const int right = AddSilentEntry("right.wav", 2, 1000);
    Sample(right).sendMode = program::sendRight;
    Sample(right).loopMode = program::loopToEnd;
    Sample(right).endPoint = 700;
    Sample(right).SetLoop(0, {899, 100, 0});
    // Saved before the sound was trimmed to 1000 words: points past the words.
    const int trimmed = AddSilentEntry("trimmed.wav", 1, 1000);
    Sample(trimmed).loopMode = program::loopNormal;
    Sample(trimmed).SetLoop(0, {1499, 1500, 0});
    const int ended = AddSilentEntry("ended.wav", 1, 1000);
    Sample(ended).endPoint = 4000;

    struct Case {
        int row, part;
        const char *name, *flag;
        std::uint32_t endPoint, firstReplayPoint, loopLength;
    };
    const Case cases[] = {{stereo, 1, "strings -L", "L", 899, 0, 100},
                          {stereo, 2, "strings -R", "L", 899, 27, 100}, // 27 words at 44100 Hz
                          {right, 2, "right   -R", "O", 700, 0, 100},
                          {trimmed, 0, "trimmed   ", "L", 999, 0, 1000},
                          {ended, 0, "ended     ", "O", 999, 0, 1000}};
    for (const Case& c : cases) {
        driver.writes.clear();
        s900.SendS900SampleHeader(c.row, c.part);
        ASSERT_EQ(driver.writes.size(), 1u);
        const std::vector<std::uint8_t>& m = driver.writes[0];
        SCOPED_TRACE(c.name);
        std::string name;
        for (std::size_t i = 0; i < 10; ++i) {
            name += static_cast<char>(m[7 + 2 * i]);
        }
        EXPECT_EQ(name, c.name);
        EXPECT_EQ(m[59], c.flag[0]);
        const auto u32 = [&](std::size_t headerByte) {
            std::uint32_t value = 0;
            for (std::size_t i = 0; i < 4; ++i) {
                const std::size_t at = 7 + 2 * (headerByte + i);
                value |= std::uint32_t(m[at] | m[at + 1] << 7) << (8 * i);
            }
            return value;
        };
        EXPECT_EQ(u32(28), c.endPoint);
        EXPECT_EQ(u32(32), c.firstReplayPoint);
        EXPECT_EQ(u32(36), c.loopLength);
        EXPECT_TRUE(ChecksumHolds(m));
    }
}

TEST_F(S900MessagesTest, ProgramWithOneKeygroupIsByteExact) {
    program::SetFieldText(program.header.programName, "Piano");
    program.header.ResetForNewProgram(1);
    program.header.programNumber = 1;
    program.header.programParams[19] = 7;
    program.header.programParams[20] = 9;
    const int row = AddSilentEntry("kick.wav", 1, 100);
    Keygroup(row).output = 3; // not sent: the keygroup plays on all voices
    Keygroup(row).keygroupWords[5] = 11;
    Keygroup(row).keygroupWords[13] = 13;
    program.transferSampleCount = 1;

    s900.SendS900Program();

    ASSERT_EQ(driver.writes.size(), 1u);
    const auto header = Cat({Hex("50 00 69 00 61 00 6E 00 6F 00 20 00 20 00 20 00 20 00 20 00"),
                             Zeros(24), Hex("7F 01 01 00 00 00 00 00 01 00 7F 01"), Zeros(20)});
    const auto keygroup =
        Cat({Hex("7F 00 18 00 00 01 0B 00 63 00 63 00 2B 00 0A 00 32 00 00 00 00 00 1E 00 00 00 "
                 "00 00 63 00 09 00 32 00 07 00 04 00 7F 01 00 00 00 00 32 00 00 00"),
             Hex("6B 00 69 00 63 00 6B 00"), Repeat("20 00", 6),
             Hex("0D 00 63 00 63 00 63 00 40 00"), Zeros(10), Hex("63 00 00 00"),
             Hex("56 00 65 00 6C 00 6F 00 6D 00 69 00 72 00 65 00 39 00 38 00"), Zeros(20),
             Hex("63 00"), Zeros(6)});
    EXPECT_TRUE(BytesEqual(driver.writes[0],
                           Cat({Hex("F0 47 00 09 40 01 00"), header, keygroup, Hex("08 F7")})));
}

// Every other entry plays on all voices (255), the sampler's own default: 1,608 of 1,899 keygroups
// on real disks and a captured S950 default program hold it. An output 0-7 ties the keygroup to
// one voice, so that each note cut the one before.
TEST_F(S900MessagesTest, StereoEntriesGiveTwoKeygroupsOnOutputsEightAndNine) {
    AddSilentEntry("strings.wav", 2, 100);
    const int left = AddSilentEntry("left.wav", 2, 100);
    Sample(left).sendMode = program::sendLeft;
    Keygroup(left).output = 5;
    program.transferSampleCount = 3;

    s900.SendS900Program();

    ASSERT_EQ(driver.writes.size(), 1u);
    const std::span<const std::uint8_t> message = driver.writes[0];
    ASSERT_EQ(message.size(), 85u + 140 * 3);
    EXPECT_TRUE(BytesEqual(message.subspan(53, 2), Hex("03 00"))); // keygroup count
    const auto outputOf = [&](std::size_t k) { return message.subspan(83 + 140 * k + 38, 2); };
    const auto nameOf = [&](std::size_t k) { return message.subspan(83 + 140 * k + 48, 20); };
    EXPECT_TRUE(BytesEqual(outputOf(0), Hex("08 00")));
    EXPECT_TRUE(BytesEqual(outputOf(1), Hex("09 00")));
    EXPECT_TRUE(BytesEqual(outputOf(2), Hex("7F 01"))); // all voices, not output 5
    EXPECT_TRUE(
        BytesEqual(nameOf(0), Hex("73 00 74 00 72 00 69 00 6E 00 67 00 73 00 20 00 2D 00 4C 00")));
    EXPECT_TRUE(
        BytesEqual(nameOf(1), Hex("73 00 74 00 72 00 69 00 6E 00 67 00 73 00 20 00 2D 00 52 00")));
    EXPECT_TRUE(
        BytesEqual(nameOf(2), Hex("6C 00 65 00 66 00 74 00 20 00 20 00 20 00 20 00 2D 00 4C 00")));
}

TEST_F(S900MessagesTest, ProgramGrowsPastTheInitialBufferWithoutOverrun) {
    AddSilentEntry("strings.wav", 2, 100);
    for (int row = 1; row < 14; ++row) {
        program.samples[static_cast<std::size_t>(row)] = program.samples[0];
    }
    program.sampleCount = 14;
    program.transferSampleCount = 28;
    s900.SendS900Program();

    for (int row = 14; row < 20; ++row) {
        program.samples[static_cast<std::size_t>(row)] = program.samples[0];
    }
    program.sampleCount = 20;
    program.transferSampleCount = 40;
    s900.SendS900Program();

    ASSERT_EQ(driver.writes.size(), 2u);
    EXPECT_EQ(driver.writes[0].size(), 4005u);
    EXPECT_EQ(driver.writes[1].size(), 85u + 140 * 40);
    EXPECT_EQ(driver.writes[1].back(), 0xF7);
    EXPECT_TRUE(ChecksumHolds(driver.writes[1]));
}

} // namespace
} // namespace velomire::transfer
