#include "transfer/families/s1000/S1000Decoding.h"

#include "transfer/families/s1000/S1000Family.h"
#include "transfer/families/s1000/S1000Wire.h"

namespace velomire::transfer::s1000 {

using wire::Block;
using wire::Bytes;
using wire::SevenBit;

namespace {

// A header of either block size: its block, or why not.
std::optional<Block> HeaderBlock(Bytes m, std::size_t frame, const char* what, std::string& error) {
    if (m.size() != frame + 2 * shortBlockBytes && m.size() != frame + 2 * longBlockBytes) {
        error = std::string("Akai ") + what + " of " + std::to_string(m.size()) + " bytes";
        return std::nullopt;
    }
    auto block = Block::FromNibbles(m.subspan(frame - 1, m.size() - frame));
    if (!block) {
        error = std::string("Akai ") + what + " with a bad nibble";
    }
    return block;
}

} // namespace

wire::Parsed<DecodedSample> ParseSampleHeader(Bytes m, std::size_t offset) {
    std::string error;
    const auto block = HeaderBlock(m, headerFrameBytes, "sample header", error);
    if (!block) {
        return wire::Parsed<DecodedSample>::Refused(error);
    }
    DecodedSample sample;
    sample.family = SamplerFamily::s1000;
    sample.number = static_cast<int>(SevenBit(m, 5, 2));
    sample.lengthWords = static_cast<std::uint32_t>(block->U32(26));
    sample.rate = static_cast<std::uint32_t>(block->U16(138));
    sample.offset = offset;
    sample.fields = {{"exclusiveChannel", std::int64_t{m[2]}},
                     {"blockBytes", static_cast<std::int64_t>(m.size() - headerFrameBytes) / 2},
                     {"bandwidth", block->U8(1)},
                     {"rootKey", block->U8(2)},
                     {"sampleName", block->AkaiName(3)},
                     {"headerValid", block->U8(15)},
                     {"loopCount", block->U8(16)},
                     {"loopMode", block->U8(19)},
                     {"tuneOffset", block->I16(20)},
                     {"waveAddress", block->U32(22)},
                     {"lengthWords", block->U32(26)},
                     {"startPoint", block->U32(30)},
                     {"endPoint", block->U32(34)}};
    std::vector<std::int64_t> at;
    std::vector<std::int64_t> length;
    std::vector<std::int64_t> dwell;
    for (std::size_t loop = 0; loop < 4; ++loop) {
        at.push_back(block->U32(38 + 12 * loop));
        length.push_back(block->U32(44 + 12 * loop)); // whole words, as the sampler saves it
        dwell.push_back(block->U16(48 + 12 * loop));
    }
    sample.fields.push_back({"loopAt", at});
    sample.fields.push_back({"loopLength", length});
    sample.fields.push_back({"loopDwell", dwell});
    sample.fields.push_back({"headerRate", block->U16(138)});
    sample.fields.push_back({"headerSpare", block->U8(140)});
    return {std::move(sample), {}};
}

wire::Parsed<decoded::ProgramHeader> ParseProgramHeader(Bytes m, std::size_t offset) {
    std::string error;
    const auto block = HeaderBlock(m, headerFrameBytes, "program header", error);
    if (!block) {
        return wire::Parsed<decoded::ProgramHeader>::Refused(error);
    }
    // programParams words 0 to 42 as the block holds them; word 7 is not sent (0 here).
    std::vector<std::int64_t> params = block->Run(15, 7);
    params.push_back(0);
    const std::vector<std::int64_t> words8to27 = block->Run(23, 20);
    params.insert(params.end(), words8to27.begin(), words8to27.end());
    const std::vector<std::int64_t> words28to36 = block->Run(56, 9);
    params.insert(params.end(), words28to36.begin(), words28to36.end());
    params.push_back(block->U16(65));
    const std::vector<std::int64_t> words38to42 = block->Run(67, 5);
    params.insert(params.end(), words38to42.begin(), words38to42.end());

    decoded::ProgramHeader header;
    DecodedProgram& program = header.program;
    program.family = SamplerFamily::s1000;
    program.number = static_cast<int>(SevenBit(m, 5, 2));
    program.offset = offset;
    program.fields = {{"exclusiveChannel", std::int64_t{m[2]}},
                      {"programName", block->AkaiName(3)},
                      {"programParams", params}};
    if (block->Size() == longBlockBytes) {
        program.fields.push_back({"bendDownRange", block->U8(bendDownByte)});
    }
    // Word 27 counts the keygroups that follow.
    header.keygroups = static_cast<std::size_t>(params[27]);
    return {std::move(header), {}};
}

wire::Parsed<decoded::Keygroup> ParseKeygroup(Bytes m) {
    std::string error;
    const auto block = HeaderBlock(m, keygroupFrameBytes, "keygroup message", error);
    if (!block) {
        return wire::Parsed<decoded::Keygroup>::Refused(error);
    }
    DecodedFields keygroup = {{"keygroup", std::int64_t{m[7]}},
                              {"lowKey", block->U8(3)},
                              {"highKey", block->U8(4)},
                              {"keygroupTune", block->I16(5)},
                              {"keygroupWords", block->Run(7, 24)}};
    for (std::size_t zone = 0; zone < 4; ++zone) {
        const std::size_t at = 34 + 24 * zone;
        const std::string z = "zone" + std::to_string(zone + 1);
        keygroup.push_back({z + "SampleName", block->AkaiName(at)});
        keygroup.push_back({z + "VelocityLow", block->U8(at + 12)});
        keygroup.push_back({z + "VelocityHigh", block->U8(at + 13)});
        keygroup.push_back({z + "VelocityTune", block->I16(at + 14)});
        keygroup.push_back({z + "VelocityWords",
                            std::vector<std::int64_t>{block->U8(at + 16), block->U8(at + 17),
                                                      static_cast<std::int8_t>(block->U8(at + 18)),
                                                      block->U8(at + 19)}});
    }
    keygroup.push_back({"output", block->U8(136)});
    keygroup.push_back({"secondOutput", block->U8(137)});
    if (block->Size() == longBlockBytes) {
        keygroup.push_back(
            {"lfo1ToPitch", std::int64_t{static_cast<std::int8_t>(block->U8(lfo1PitchByte))}});
        keygroup.push_back({"muteGroup", block->U8(muteGroupByte)}); // FF: none
    }
    return {decoded::Keygroup{static_cast<int>(SevenBit(m, 5, 2)), std::move(keygroup)}, {}};
}

} // namespace velomire::transfer::s1000

namespace velomire::transfer {

std::optional<DecodedMessage> S1000Family::Decode(wire::Bytes m, std::size_t offset, int) const {
    using Kind = SysExDecoder::Kind;
    if (m.size() < 7 || m[1] != s1000::akaiId) {
        return std::nullopt;
    }
    const std::uint8_t function = m[3];
    if (m[4] == s1000::modelByte && function == s1000::sampleHeaderFunction) {
        auto parsed = s1000::ParseSampleHeader(m, offset);
        if (!parsed.value) {
            return DecodedMessage::Refused(Kind::s1000SampleHeader, parsed.error);
        }
        // Its data follow as SDS Data Packets of 16-bit words.
        return DecodedMessage::Taken(Kind::s1000SampleHeader, m[2],
                                     decoded::PacketSampleHeader{std::move(*parsed.value), 16});
    }
    if (m[4] == s1000::modelByte && function == s1000::programHeaderFunction) {
        auto parsed = s1000::ParseProgramHeader(m, offset);
        if (!parsed.value) {
            return DecodedMessage::Refused(Kind::s1000ProgramHeader, parsed.error);
        }
        return DecodedMessage::Taken(Kind::s1000ProgramHeader, m[2], std::move(*parsed.value));
    }
    if (m[4] == s1000::modelByte && function == s1000::keygroupFunction) {
        auto parsed = s1000::ParseKeygroup(m);
        if (!parsed.value) {
            return DecodedMessage::Refused(Kind::s1000Keygroup, parsed.error);
        }
        return DecodedMessage::Taken(Kind::s1000Keygroup, m[2], std::move(*parsed.value));
    }
    return DecodedMessage::Refused(Kind::unknown, "unknown Akai message");
}

std::optional<SamplerReply> S1000Family::ReplyOf(wire::Bytes message) const {
    return s1000::ParseReply(message);
}

} // namespace velomire::transfer
