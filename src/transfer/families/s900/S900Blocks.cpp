#include "transfer/families/s900/S900Blocks.h"

#include "program/ByteWriter.h"
#include "program/StereoNames.h"
#include "transfer/families/s900/S900Wire.h"

#include <algorithm>
#include <span>
#include <string>
#include <string_view>

namespace velomire::transfer::s900 {

namespace {

// Written into every keygroup as the name of its creator.
constexpr std::string_view keygroupMarker = "Velomire98";

// The 10 characters of a name; a part of 1 or 2 ends it in "-L" or "-R".
void Name(program::ByteWriter& block, std::string_view name, int part) {
    for (const char c : program::PartName(name, part, nameChars)) {
        block.U8(static_cast<std::uint8_t>(c));
    }
}

// The part a row that is not stereo sends: its send mode, or the mono mix for a mode that names
// no part.
int SinglePart(std::int16_t sendMode) {
    return sendMode == program::sendLeft || sendMode == program::sendRight ? sendMode : 0;
}

// The points of a part's sample header, counted from soundStart (see SamplePoints). The sampler
// loops back from the end point, so a looping sample ends at its loop's last word (loop 0 at) and
// one that does not loop at its end point; neither ever lies past the last word sent, also in a
// program saved before the sound was trimmed. The loop length goes as stored, cut only where it
// would reach before the first word. The right channel of a stereo row starts playing at the
// S900's channel offset (27 words at 44100 Hz), where that offset has always been sent.
SamplePoints PointsOf(const program::SampleBlock& sample, int part, bool looping) {
    const std::uint32_t lastWord = sample.lengthWords == 0 ? 0 : sample.lengthWords - 1;
    SamplePoints points;
    points.endPoint = std::min(looping ? sample.loopAt[0] : sample.endPoint, lastWord);
    points.loopLength = std::min(sample.loopLength[0], points.endPoint + 1);
    if (sample.sendMode == program::sendStereo && part == 2) {
        points.firstReplayPoint = std::min(sample.s900RightLoopShift, points.endPoint);
    }
    return points;
}

// One keygroup, 70 bytes.
void Keygroup(program::ByteWriter& block, const program::ProgramHeader& header,
              const program::SampleEntry& entry, int part, std::int32_t output) {
    const program::KeygroupBlock& keygroup = entry.keygroup;
    block.U8(keygroup.highKey);
    block.U8(keygroup.lowKey);
    block.U8(128);
    for (std::size_t word = 5; word <= 8; ++word) {
        block.U8(keygroup.keygroupWords[word]);
    }
    block.U8(10);
    block.U8(50);
    block.Zeros(2);
    block.U8(30);
    block.Zeros(2);
    block.U8(99);
    block.U8(header.programParams[20]);
    block.U8(header.programParams[18]);
    block.U8(header.programParams[19]);
    block.U8(4);
    block.U8(output);
    block.Zeros(2);
    block.U8(50);
    block.Zeros(1);
    Name(block, program::FieldText(entry.sample.sampleName), part);
    for (std::size_t word = 13; word <= 16; ++word) {
        block.U8(keygroup.keygroupWords[word]);
    }
    block.U8(64);
    block.Zeros(5);
    block.U8(99);
    block.Zeros(1);
    Name(block, keygroupMarker, 0);
    block.Zeros(10);
    block.U8(99);
    block.Zeros(3);
}

// The message carrying `block`, with the low 8 bits of the channel and the number.
std::vector<std::uint8_t> Message(std::uint8_t function, std::int32_t channel, std::int32_t number,
                                  std::span<const std::uint8_t> block) {
    std::vector<std::uint8_t> message = {
        0xF0,     akaiId,    static_cast<std::uint8_t>(channel & 0xFF),
        function, modelByte, static_cast<std::uint8_t>(number & 0xFF),
        0x00};
    message.reserve(message.size() + 2 * block.size() + 2);
    std::uint8_t sum = 0;
    for (const std::uint8_t byte : block) {
        const auto low = static_cast<std::uint8_t>(byte & 0x7F);
        const auto top = static_cast<std::uint8_t>(byte >> 7);
        message.push_back(low);
        message.push_back(top);
        sum = static_cast<std::uint8_t>(sum ^ low ^ top);
    }
    message.push_back(sum);
    message.push_back(0xF7);
    return message;
}

} // namespace

std::vector<std::uint8_t> SampleHeaderBlock(const program::SampleBlock& sample, int part) {
    const bool looping =
        sample.loopMode == program::loopNormal || sample.loopMode == program::loopUntilRelease;
    const SamplePoints points = PointsOf(sample, part, looping);
    std::vector<std::uint8_t> bytes;
    program::ByteWriter block(bytes);
    Name(block, program::FieldText(sample.sampleName), part);
    block.Zeros(6);
    block.U32(sample.lengthWords);
    block.U16(static_cast<std::uint16_t>(sample.headerRate));
    block.U16(static_cast<std::uint16_t>(sample.rootKey * 16));
    block.Zeros(2);
    block.U8(looping ? 'L' : 'O');
    block.Zeros(1);
    block.U32(points.endPoint);
    block.U32(points.firstReplayPoint);
    block.U32(points.loopLength);
    block.Zeros(3);
    block.U8('N');
    block.Zeros(16);
    return bytes;
}

std::vector<std::uint8_t> ProgramBlock(const program::Program& program) {
    const program::ProgramHeader& header = program.header;
    std::vector<std::uint8_t> bytes;
    program::ByteWriter block(bytes);
    Name(block, program.ProgramName(), 0);
    block.Zeros(12);
    block.U8(255);
    block.U8(static_cast<std::uint8_t>(program.transferSampleCount));
    block.Zeros(2);
    block.U8(header.programParams[0]);
    block.U8(255);
    block.Zeros(10);

    const int count = std::clamp(program.sampleCount, 0, program::Program::maxSamples);
    for (int i = 0; i < count; ++i) {
        const program::SampleEntry& entry = program.samples[static_cast<std::size_t>(i)];
        if (entry.sample.sendMode == program::sendStereo) {
            Keygroup(block, header, entry, 1, stereoLeftOutput);
            Keygroup(block, header, entry, 2, stereoRightOutput);
        } else {
            Keygroup(block, header, entry, SinglePart(entry.sample.sendMode), allVoices);
        }
    }
    return bytes;
}

std::vector<std::uint8_t> SampleHeaderMessage(const program::SampleBlock& sample, int part,
                                              std::int32_t channel) {
    return Message(sampleHeaderFunction, channel,
                   sample.samplerSampleNumber[static_cast<std::size_t>(part)],
                   SampleHeaderBlock(sample, part));
}

std::vector<std::uint8_t> ProgramMessage(const program::Program& program, std::int32_t channel) {
    return Message(programFunction, channel, program.header.programNumber, ProgramBlock(program));
}

} // namespace velomire::transfer::s900
