#include "transfer/families/s1000/S1000Blocks.h"

#include "program/StereoNames.h"

#include "transfer/SamplerModel.h"
#include "transfer/SysExBuffer.h"

#include <algorithm>
#include <array>
#include <initializer_list>
#include <string>
#include <string_view>

namespace velomire::transfer::s1000 {

namespace {

// A byte the later models take with a value of its own, whatever the program stores.
struct LaterByte {
    std::size_t at;
    std::uint8_t value;
};

// The name of a velocity zone that plays no sample.
constexpr std::string_view emptyZoneName = "xxxxxxxxxxxx";

// A block being built: little-endian fields, each keeping only the low bits of its value.
class FieldBlock {
public:
    explicit FieldBlock(std::int32_t model) : model(model) { bytes.reserve(longBlockBytes); }

    void U8(std::int32_t value) { bytes.push_back(static_cast<std::uint8_t>(value & 0xFF)); }
    void U16(std::int32_t value) {
        U8(value);
        U8(value >> 8);
    }
    void U32(std::int32_t value) {
        U16(value);
        U16(value >> 16);
    }
    void Zeros(std::size_t count) { bytes.insert(bytes.end(), count, 0); }
    void Name(std::string_view name, int part) {
        const std::vector<std::uint8_t> codes = AkaiNameCodes(name, part);
        bytes.insert(bytes.end(), codes.begin(), codes.end());
    }
    // The block; on the later models with their 42 bytes more, zero, and the bytes `later`
    // names set to their values.
    std::vector<std::uint8_t> Finish(std::initializer_list<LaterByte> later = {}) {
        if (BlockBytes(model) == longBlockBytes) {
            Zeros(longBlockBytes - shortBlockBytes);
            for (const LaterByte& byte : later) {
                bytes[byte.at] = byte.value;
            }
        }
        return std::move(bytes);
    }

private:
    std::int32_t model;
    std::vector<std::uint8_t> bytes;
};

int SinglePart(std::int16_t sendMode) {
    return sendMode == program::sendLeft || sendMode == program::sendRight ? sendMode : 0;
}

// One velocity zone of a keygroup block, 24 bytes.
void Zone(FieldBlock& block, const program::KeygroupBlock& keygroup, std::string_view name,
          int part, std::int32_t pan) {
    block.Name(name, part);
    block.U8(keygroup.velocityLow);
    block.U8(keygroup.velocityHigh);
    block.U16(keygroup.velocityTune);
    block.U8(keygroup.velocityWords[0]);
    block.U8(keygroup.velocityWords[1]);
    block.U8(pan);
    block.U8(keygroup.velocityWords[3]);
    block.Zeros(2);
    block.U16(0);
}

} // namespace

std::size_t BlockBytes(std::int32_t model) {
    const auto info = SamplerModel::Find(model);
    return info && info->blockBytes == static_cast<std::int32_t>(shortBlockBytes) ? shortBlockBytes
                                                                                  : longBlockBytes;
}

std::vector<std::uint8_t> AkaiNameCodes(std::string_view name, int part) {
    const std::string field = program::PartName(name, part, s1000::nameChars);
    std::vector<std::uint8_t> codes;
    codes.reserve(field.size());
    for (char c : field) {
        codes.push_back(AkaiCharCode(c));
    }
    return codes;
}

std::vector<std::uint8_t> SampleHeaderBlock(const program::SampleBlock& sample, int part,
                                            std::int32_t model) {
    FieldBlock block(model);
    block.U8(3); // block identifier
    block.U8(sample.bandwidth);
    block.U8(sample.rootKey);
    block.Name(program::FieldText(sample.sampleName), part);
    block.U8(sample.headerValid);
    block.U8(sample.loopCount);
    block.Zeros(2);
    block.U8(sample.loopMode);
    block.U16(sample.tuneOffset);
    block.U32(static_cast<std::int32_t>(sample.waveAddress));
    block.U32(static_cast<std::int32_t>(sample.lengthWords));
    block.U32(static_cast<std::int32_t>(sample.startPoint));
    // The end point is the index of the last word; programs saved by earlier versions hold one or
    // two words more, which would point the sampler past its data.
    const std::uint32_t lastWord = sample.lengthWords == 0 ? 0 : sample.lengthWords - 1;
    block.U32(static_cast<std::int32_t>(std::min(sample.endPoint, lastWord)));
    // Loops 0 to 3, each length in whole words as stored (its fraction, bytes 4-5, 0). Samples
    // an S3000 XL saved hold the plain length: the waveform at "loop at" repeats "length" words
    // earlier, and a sawtooth's loop is exactly one cycle long.
    for (std::size_t loop = 0; loop < 4; ++loop) {
        block.U32(static_cast<std::int32_t>(sample.loopAt[loop]));
        block.U16(0);
        block.U32(static_cast<std::int32_t>(sample.loopLength[loop]));
        block.U16(static_cast<std::int32_t>(sample.loopDwell[loop]));
    }
    // Loops 4 to 7 are never taken from the entry.
    for (int loop = 4; loop < 8; ++loop) {
        if (BlockBytes(model) == shortBlockBytes) {
            block.U32(64);
            block.Zeros(8);
        } else {
            block.Zeros(12);
        }
    }
    block.Zeros(2);
    block.U16(0xFFFF);
    block.U16(static_cast<std::int32_t>(sample.headerRate));
    block.U8(sample.headerSpare);
    block.Zeros(9);
    return block.Finish();
}

std::vector<std::uint8_t> ProgramHeaderBlock(const program::Program& program, std::int32_t model) {
    const auto& params = program.header.programParams;
    FieldBlock block(model);
    block.U8(1); // block identifier
    block.Zeros(2);
    block.Name(program.ProgramName(), 0);
    for (std::size_t word = 0; word <= 6; ++word) {
        block.U8(params[word]);
    }
    block.Zeros(1); // word 7 is not sent
    for (std::size_t word = 8; word <= 26; ++word) {
        block.U8(params[word]);
    }
    block.U8(params[program::ProgramHeader::keygroupCountParam]);
    block.Zeros(13);
    for (std::size_t word = 28; word <= 36; ++word) {
        block.U8(params[word]);
    }
    block.U16(params[37]);
    for (std::size_t word = 38; word <= 42; ++word) {
        block.U8(params[word]);
    }
    block.Zeros(78);
    return block.Finish({{polyphonyByte, laterPolyphony},
                         {outputLevelByte, laterOutputLevel},
                         {bendDownByte, laterBendDown}});
}

std::vector<std::uint8_t> KeygroupBlock(const program::Program& program, int row,
                                        std::int32_t model) {
    const program::SampleEntry& entry = program.samples.at(static_cast<std::size_t>(row));
    const program::KeygroupBlock& keygroup = entry.keygroup;
    const std::string name = program::FieldText(entry.sample.sampleName);
    const bool stereo = entry.sample.sendMode == program::sendStereo;

    FieldBlock block(model);
    block.U8(2); // block identifier
    block.Zeros(2);
    block.U8(keygroup.lowKey);
    block.U8(keygroup.highKey);
    block.U16(keygroup.keygroupTune);
    for (std::int16_t word : keygroup.keygroupWords) {
        block.U8(word);
    }
    block.Zeros(3);
    for (int zone = 0; zone < 4; ++zone) {
        const std::int32_t pan = stereo ? 100 * zone - 50 : keygroup.velocityWords[2];
        if (stereo && zone < 2) {
            Zone(block, keygroup, name, zone + 1, pan);
        } else if (!stereo && zone == 0) {
            Zone(block, keygroup, name, SinglePart(entry.sample.sendMode), pan);
        } else {
            Zone(block, keygroup, emptyZoneName, 0, pan);
        }
    }
    block.Zeros(6);
    block.U8(keygroup.output);
    block.U8(keygroup.output + 1 > 7 ? 0 : keygroup.output + 1);
    block.Zeros(12);
    return block.Finish({{lfo1PitchByte, laterLfo1Pitch}, {muteGroupByte, noMuteGroup}});
}

} // namespace velomire::transfer::s1000
