#include "transfer/families/s1000/S1000Messages.h"

#include "transfer/MessagesFixture.h"

namespace velomire::transfer {
namespace {

class S1000MessagesTest : public velomire::testing::MessagesTest {
protected:
    void SetUp() override {
        MessagesTest::SetUp();
        settings.samplerModel = 3;
        program::SetFieldText(program.header.programName, "strings_long_name");
        program.header.ResetForNewProgram(1);
        program.header.programNumber = 1;
    }

    // Loop at 999 (wire 07 0E 03 00 ...) with the given length and dwell fields.
    static Bytes LoopAt999(std::string_view length, std::string_view dwell) {
        return Cat({Hex("07 0E 03 00 00 00 00 00"), Zeros(4), Hex(length), Hex(dwell)});
    }

    // A velocity zone with the name, pan and the words the keygroup tests set.
    static Bytes Zone(const Bytes& name, std::string_view pan) {
        return Cat(
            {name, Hex("0A 00 0F 07 00 00 00 00 01 00 02 00"), Hex(pan), Hex("04 00"), Zeros(8)});
    }

    S1000Messages s1000{context};
};

TEST_F(S1000MessagesTest, SampleHeaderIsByteExact) {
    const int row = AddSilentEntry("piano.wav", 1, 1000);
    program::SampleBlock& sample = Sample(row);
    sample.samplerSampleNumber[0] = 4;
    sample.loopCount = 1;
    sample.loopMode = program::loopNormal;
    sample.tuneOffset = -2;
    sample.waveAddress = 0x12345;
    sample.startPoint = 5;
    sample.loopLength[1] = 10; // below what the Loop Editor allows: still as stored
    sample.headerSpare = 3;
    settings.midiChannel = 9; // only the data packets use it

    s1000.SendS1000SampleHeader(row, 0);

    ASSERT_EQ(driver.writes.size(), 1u);
    const auto loopFiller = Cat({Hex("00 04 00 00 00 00 00 00"), Zeros(16)}); // at 64
    // Each loop's length goes as stored: samples an S3000 XL saved hold the plain length (the
    // waveform at "loop at" repeats that many words earlier; a sawtooth's loop is one cycle).
    EXPECT_TRUE(BytesEqual(driver.writes[0],
                           Cat({Hex("F0 47 00 0B 48 04 00 03 00 01 00 0C 03"),
                                Hex("0A 01 03 01 0B 00 08 01 09 01"),
                                Repeat("0A 00", 7),                   // PIANO
                                Hex("00 08 01 00 00 00 00 00 00 00"), // valid, loops, mode
                                Hex("0E 0F 0F 0F"),                   // tune -2
                                Hex("05 04 03 02 01 00 00 00"),       // wave address
                                Hex("08 0E 03 00 00 00 00 00"),       // length 1000
                                Hex("05 00 00 00 00 00 00 00"),       // start point
                                Hex("07 0E 03 00 00 00 00 00"),       // end point 999
                                LoopAt999("08 0E 03 00 00 00 00 00", "0F 00 07 02"), // 1000, hold
                                LoopAt999("0A 00 00 00 00 00 00 00", "00 00 00 00"), // 10
                                LoopAt999("08 0E 03 00 00 00 00 00", "00 00 00 00"),
                                LoopAt999("08 0E 03 00 00 00 00 00", "00 00 00 00"),
                                loopFiller,
                                loopFiller,
                                loopFiller,
                                loopFiller,
                                Zeros(4),
                                Hex("0F 0F 0F 0F"),
                                Hex("04 04 0C 0A"), // 44100 Hz
                                Hex("03 00"),
                                Zeros(18),
                                Hex("F7")})));
    EXPECT_EQ(Waits(), std::vector<milliseconds>{milliseconds(600)});
}

TEST_F(S1000MessagesTest, LaterModelsSendLongerBlocksWithZeroLoopFiller) {
    settings.samplerModel = 5;
    settings.exclusiveChannel = 5;
    const int row = AddSilentEntry("strings.wav", 2, 1000);
    Sample(row).samplerSampleNumber[2] = 130;

    s1000.SendS1000SampleHeader(row, 2);
    s1000.SendS1000Program();

    ASSERT_EQ(driver.writes.size(), 3u);
    const std::span<const std::uint8_t> header = driver.writes[0];
    ASSERT_EQ(header.size(), 392u);
    EXPECT_TRUE(BytesEqual(header.first(13), Hex("F0 47 05 0B 48 02 01 03 00 01 00 0C 03")));
    EXPECT_TRUE(BytesEqual(header.subspan(13, 24),
                           Hex("0D 01 0E 01 0C 01 03 01 08 01 01 01 0D 01 0A 00 0A 00 0A 00 "
                               "07 02 0C 01"))); // STRINGS   -R
    EXPECT_TRUE(BytesEqual(header.subspan(7 + 2 * 86, 2 * 48), Zeros(2 * 48)));
    EXPECT_TRUE(BytesEqual(header.subspan(7 + 2 * 134, 8), Hex("00 00 00 00 0F 0F 0F 0F")));
    EXPECT_TRUE(BytesEqual(header.subspan(7 + 2 * 150, 84), Zeros(84)));
    // The bytes the later models read otherwise than the S1000 (whose bytes the program header
    // test holds), as all 24 programs an S3000 XL saved itself hold them: polyphony 31 (byte 17,
    // 32 voices, where the stored 15 gives 16), level to the individual outputs and effects 50
    // (byte 70, where 0 silences them), bend-down range 2 (byte 73); in the keygroup LFO 1 to
    // pitch 50 (byte 150, the mod wheel's vibrato) and no mute group, FF (byte 160). The rest 0.
    const std::span<const std::uint8_t> programHeader = driver.writes[1];
    ASSERT_EQ(programHeader.size(), 392u);
    EXPECT_TRUE(BytesEqual(programHeader.subspan(7 + 2 * 17, 2), Hex("0F 01")));
    EXPECT_TRUE(BytesEqual(programHeader.subspan(7 + 2 * 70, 2 * 122),
                           Cat({Hex("02 03"), Zeros(4), Hex("02 00"), Zeros(2 * 118)})));
    const std::span<const std::uint8_t> keygroup = driver.writes[2];
    ASSERT_EQ(keygroup.size(), 393u);
    EXPECT_EQ(keygroup[2], 0x05);
    EXPECT_TRUE(BytesEqual(keygroup.subspan(8 + 2 * 150, 2 * 42 + 1),
                           Cat({Hex("02 03"), Zeros(18), Hex("0F 0F"), Zeros(62), Hex("F7")})));
}

TEST_F(S1000MessagesTest, TheEndPointNeverPointsPastTheWordsSent) {
    // As earlier Loop Editors stored a sound of 1001 frames: 1000 words, end point 1001.
    const int row = AddSilentEntry("piano.wav", 1, 1001);
    Sample(row).endPoint = 1001;
    s1000.SendS1000SampleHeader(row, 0);
    Sample(row).lengthWords = 0;
    s1000.SendS1000SampleHeader(row, 0);
    ASSERT_EQ(driver.writes.size(), 2u);
    EXPECT_TRUE(BytesEqual(std::span(driver.writes[0]).subspan(7 + 2 * 34, 8),
                           Hex("07 0E 03 00 00 00 00 00"))); // 999
    EXPECT_TRUE(BytesEqual(std::span(driver.writes[1]).subspan(7 + 2 * 34, 8), Zeros(8)));
}

TEST_F(S1000MessagesTest, ProgramHeaderIsByteExact) {
    program.header.programParams[27] = 2;
    program.header.programParams[37] = 0x0234;
    program.header.programParams[38] = 5;

    s1000.SendS1000Program();

    ASSERT_EQ(driver.writes.size(), 1u); // no entries: no keygroups
    EXPECT_TRUE(BytesEqual(
        driver.writes[0],
        Cat({Hex("F0 47 00 07 48 01 00 01 00 00 00 00 00"),
             // strings_long_name: cut to 12 characters, "_" sent as "."
             Hex("0D 01 0E 01 0C 01 03 01 08 01 01 01 0D 01 08 02 06 01 09 01 08 01 01 01"),
             Hex("01 00"), // word 0
             // words 1-6: the S1000/S1100 takes the stored word 2 (15) in byte 17, where the
             // later models' polyphony lies
             Hex("00 00 0F 00 01 00 08 01 0F 07 00 00"),
             Zeros(2), // word 7 is not sent
             Hex("03 06 00 00 03 06 04 01 00 00 00 00 02 03 00 00 00 00 00 00 02 03 00 00 00 00 "
                 "0E 01 00 00 00 00 02 00 00 00 00 00"),                   // words 8-26
             Hex("02 00"), Zeros(26),                                      // keygroup count
             Hex("00 00 00 00 01 00 01 00 00 00 00 00 0A 00 0A 00 0A 00"), // words 28-36
             Hex("04 03 02 00"),                                           // word 37, 16 bits
             Hex("05 00"), Zeros(8), Zeros(156), Hex("F7")})));
    EXPECT_EQ(Waits(), std::vector<milliseconds>{milliseconds(1000)});
}

TEST_F(S1000MessagesTest, StereoKeygroupHoldsBothPartsPannedApart) {
    const int row = AddSilentEntry("piano.wav", 2, 1000);
    program::KeygroupBlock& keygroup = Keygroup(row);
    keygroup.keygroupTune = -2;
    keygroup.output = 6;
    keygroup.velocityLow = 10;
    keygroup.velocityWords = {1, 2, 3, 4};

    s1000.SendS1000Program();

    ASSERT_EQ(driver.writes.size(), 2u);
    const auto piano = Hex("0A 01 03 01 0B 00 08 01 09 01 0A 00 0A 00 0A 00 0A 00 0A 00");
    const auto unused = Repeat("02 02", 12); // xxxxxxxxxxxx
    EXPECT_TRUE(BytesEqual(
        driver.writes[1],
        Cat({Hex("F0 47 00 09 48 01 00 00 02 00 00 00 00 00 08 01 0F 07"), Hex("0E 0F 0F 0F"),
             Hex("03 06 00 00 00 00 00 00 00 00 00 00 03 06 03 06 0B 02 00 00 00 00 00 00 00 00 "
                 "00 00 03 06 03 06 03 06 00 00 00 00 00 00 00 00 00 00 00 00 01 00"),
             Zeros(6), Zone(Cat({piano, Hex("07 02 06 01")}), "0E 0C"),
             Zone(Cat({piano, Hex("07 02 0C 01")}), "02 03"), Zone(unused, "06 09"),
             Zone(unused, "0A 0F"), Zeros(12), Hex("06 00 07 00"), Zeros(24), Hex("F7")})));
}

TEST_F(S1000MessagesTest, KeygroupsFollowInProgramOrderWithTheirWaits) {
    AddSilentEntry("piano.wav", 1, 100);
    const int left = AddSilentEntry("left.wav", 2, 100);
    Sample(left).sendMode = program::sendLeft;
    Keygroup(left).output = 7;
    Keygroup(left).velocityWords[2] = -3;

    s1000.SendS1000Program();

    ASSERT_EQ(driver.writes.size(), 3u);
    EXPECT_EQ(driver.writes[0].size(), 308u);
    EXPECT_EQ(driver.writes[1].size(), 309u);
    EXPECT_EQ(driver.writes[1][7], 0x00);
    const std::span<const std::uint8_t> second = driver.writes[2];
    ASSERT_EQ(second.size(), 309u);
    EXPECT_EQ(second[7], 0x01);
    // Zone 1 is "left" with "-L" and the stored pan; the other zones play nothing.
    const std::size_t zone1 = 8 + 2 * 34;
    EXPECT_TRUE(BytesEqual(second.subspan(zone1, 24),
                           Hex("06 01 0F 00 00 01 0E 01 0A 00 0A 00 0A 00 0A 00 0A 00 0A 00 "
                               "07 02 06 01")));
    EXPECT_TRUE(BytesEqual(second.subspan(zone1 + 2 * 18, 2), Hex("0D 0F")));
    EXPECT_TRUE(BytesEqual(second.subspan(zone1 + 2 * 24, 24), Repeat("02 02", 12)));
    EXPECT_TRUE(BytesEqual(second.subspan(8 + 2 * 136, 4), Hex("07 00 00 00"))); // 7, then 0
    EXPECT_EQ(Waits(), (std::vector<milliseconds>{milliseconds(1000), milliseconds(200),
                                                  milliseconds(200)}));
}

} // namespace
} // namespace velomire::transfer
