#include "program/ByteReader.h"
#include "program/ByteWriter.h"
#include "program/KeygroupBlock.h"
#include "program/ProgramHeader.h"
#include "program/SampleBlock.h"

#include <gtest/gtest.h>

#include <numeric>
#include <vector>

using namespace velomire::program;

namespace {

// Every byte of the block set to a different value, so a field read from the wrong offset or with
// the wrong width shows up as a different number.
std::vector<std::uint8_t> CountingBytes(std::size_t size) {
    std::vector<std::uint8_t> bytes(size);
    std::iota(bytes.begin(), bytes.end(), std::uint8_t{1});
    return bytes;
}

// Reads a block from counting bytes of its size, checks that it writes them back, and returns it.
template <typename Block> Block RoundTrip() {
    const auto in = CountingBytes(Block::size);
    ByteReader reader(in);
    Block block;
    block.Read(reader);
    EXPECT_TRUE(reader.Ok());
    EXPECT_EQ(reader.Remaining(), 0u);
    std::vector<std::uint8_t> out;
    ByteWriter writer(out);
    block.Write(writer);
    EXPECT_EQ(out, in) << "block of " << Block::size << " bytes";
    return block;
}

} // namespace

TEST(Records, FieldsAreReadLittleEndianAtTheirOffsetsAndWrittenBack) {
    RoundTrip<ProgramHeader>();
    const auto s = RoundTrip<SampleBlock>();
    // Byte at offset n holds n + 1.
    EXPECT_EQ(s.bits, 0x2A29);                   // offset 40
    EXPECT_EQ(s.sampleRate, 0x302F2E2Du);        // offset 44
    EXPECT_EQ(s.sendMode, 0x4645);               // offset 68
    EXPECT_EQ(s.dataSent, 0x47);                 // offset 70
    EXPECT_EQ(s.samplerSampleNumber[2], 0x4E4D); // offset 76
    EXPECT_EQ(s.rootKey, 0x5251);                // offset 80
    EXPECT_EQ(s.tuneOffset, 0x706F6E6D);         // offset 108
    EXPECT_EQ(s.loopAt[0], 0x84838281u);         // offset 128
    EXPECT_EQ(s.loopLength[0], 0xA4A3A2A1u);     // offset 160
    EXPECT_EQ(s.loopDwell[7], 0xE0DFDEDDu);      // offset 220
    EXPECT_EQ(s.headerRate, 0xE4E3E2E1u);        // offset 224

    const auto k = RoundTrip<KeygroupBlock>();
    EXPECT_EQ(k.keygroupWords[23], 0x3837); // offset 54
    EXPECT_EQ(k.output, 0x3A39);            // offset 56
    EXPECT_EQ(k.velocityTune, 0x44434241);  // offset 64
    EXPECT_EQ(k.velocityWords[3], 0x4C4B);  // offset 74
}

TEST(Records, SixteenBitFieldsAreSignedExceptBitsAndChannels) {
    std::vector<std::uint8_t> bytes(SampleBlock::size, 0xFF);
    ByteReader reader(bytes);
    SampleBlock s;
    s.Read(reader);
    EXPECT_EQ(s.bits, 0xFFFF);
    EXPECT_EQ(s.channels, 0xFFFF);
    EXPECT_EQ(s.rootKey, -1);
    EXPECT_EQ(s.sendMode, -1);
    EXPECT_EQ(s.tuneOffset, -1);
}

TEST(Records, ReadingPastTheEndYieldsZerosAndFails) {
    const std::vector<std::uint8_t> bytes = {1, 2, 3};
    ByteReader reader(bytes);
    EXPECT_EQ(reader.U16(), 0x0201);
    EXPECT_EQ(reader.U16(), 0x0003);
    EXPECT_FALSE(reader.Ok());
    EXPECT_EQ(reader.U32(), 0u);
}

TEST(Records, NewProgramHeaderHasTheDefaultParameterWords) {
    ProgramHeader h;
    h.programNumber = 7;
    h.filesChecked = 1;
    h.reservedText.fill(9);
    h.ResetForNewProgram(0x12345);
    EXPECT_EQ(h.programParams[0], 0x2345); // low 16 bits of the next program number
    EXPECT_EQ(h.programParams[2], 15);
    EXPECT_EQ(h.programParams[4], 24);
    EXPECT_EQ(h.programParams[5], 127);
    EXPECT_EQ(h.programParams[7], 255);
    EXPECT_EQ(h.programParams[21], 30);
    EXPECT_EQ(h.programParams[27], 1);
    EXPECT_EQ(h.programParams[36], 10);
    EXPECT_EQ(h.programParams[42], 0);
    EXPECT_EQ(h.reservedText[0], 0);
    EXPECT_EQ(h.programNumber, 7); // kept
    EXPECT_EQ(h.filesChecked, 1);  // kept
}
