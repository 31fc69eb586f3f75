#include "transfer/families/s900/S900Decoding.h"

#include "transfer/DumpText.h"
#include "transfer/families/SdsWire.h"
#include "transfer/families/s900/S900Family.h"
#include "transfer/families/s900/S900Wire.h"

namespace velomire::transfer::s900 {

using wire::Block;
using wire::Bytes;
using wire::FrameOf;
using wire::RateOf;
using wire::SevenBit;
using wire::XorOf;

wire::Parsed<DecodedSample> ParseSampleData(Bytes m, std::size_t offset) {
    using Result = wire::Parsed<DecodedSample>;
    const std::uint32_t length = SevenBit(m, 9, 3);
    const std::uint32_t pieces = Pieces(length);
    if (m.size() != dataHeaderBytes + std::size_t{pieces} * pieceBytes + 1) {
        return Result::Refused("S900 sample data of " + std::to_string(length) + " words is " +
                               std::to_string(m.size()) + " bytes long");
    }
    DecodedSample sample;
    sample.family = SamplerFamily::s900;
    sample.number = static_cast<int>(SevenBit(m, 3, 2));
    const std::uint32_t period = SevenBit(m, 6, 3);
    sample.lengthWords = length;
    sample.rate = RateOf(period);
    sample.offset = offset;
    sample.fields = {{"bits", std::int64_t{m[5]}},
                     {"samplePeriodNs", std::int64_t{period}},
                     {"lengthWords", std::int64_t{length}}};
    for (std::uint32_t k = 0; k < pieces; ++k) {
        const Bytes piece = m.subspan(dataHeaderBytes + std::size_t{k} * pieceBytes, pieceBytes);
        if (piece[0] != (k & 0x7F)) {
            return Result::Refused("S900 data piece " + std::to_string(k) + " is numbered " +
                                   std::to_string(piece[0]));
        }
        if (XorOf(piece.subspan(1, 120)) != piece[121]) {
            return Result::Refused("S900 data piece " + std::to_string(k) + " has a bad checksum");
        }
        for (std::uint32_t w = 0; w < wordsPerPiece; ++w) {
            if (k * wordsPerPiece + w < length) {
                const std::uint32_t word = piece[1 + 2 * w] << 5 | piece[2 + 2 * w] >> 2;
                sample.frames.push_back(FrameOf(word, 12));
            }
        }
    }
    sample.hasData = true;
    return {std::move(sample), {}};
}

wire::Parsed<DecodedSample> ParseSampleHeader(Bytes m, std::size_t offset) {
    using Result = wire::Parsed<DecodedSample>;
    if (m.size() != sampleHeaderBytes) {
        return Result::Refused("S900 sample header of " + std::to_string(m.size()) + " bytes");
    }
    if (XorOf(m.subspan(7, 120)) != m[127]) {
        return Result::Refused("S900 sample header with a bad checksum");
    }
    const auto block = Block::FromSplitBytes(m.subspan(7, 120));
    if (!block) {
        return Result::Refused("S900 sample header with a bad byte");
    }
    DecodedSample header;
    header.family = SamplerFamily::s900;
    header.number = m[5];
    header.offset = offset;
    header.rate = static_cast<std::uint32_t>(block->U16(20));
    header.fields = {
        {"channel", std::int64_t{m[2]}},
        {"sampleName", block->S900Name(0)},
        {"lengthWords", block->U32(16)},
        {"headerRate", block->U16(20)},
        {"rootKey", block->U16(22) / 16},
        {"loopMode", EscapedDumpText(std::string(1, static_cast<char>(block->U8(26))))},
        {"endPoint", block->U32(28)},
        {"firstReplayPoint", block->U32(32)},
        {"loopLength", block->U32(36)}};
    return {std::move(header), {}};
}

wire::Parsed<DecodedProgram> ParseProgram(Bytes m, std::size_t offset) {
    using Result = wire::Parsed<DecodedProgram>;
    // 7 bytes of prefix, the blocks, the checksum and F7.
    const std::size_t blockWire = m.size() - programFrameBytes;
    if (m.size() < programFrameBytes + 2 * programHeaderBlock ||
        (blockWire - 2 * programHeaderBlock) % (2 * keygroupBlock) != 0) {
        return Result::Refused("S900 program message of " + std::to_string(m.size()) + " bytes");
    }
    if (XorOf(m.subspan(7, blockWire)) != m[m.size() - 2]) {
        return Result::Refused("S900 program message with a bad checksum");
    }
    const auto block = Block::FromSplitBytes(m.subspan(7, blockWire));
    if (!block) {
        return Result::Refused("S900 program message with a bad byte");
    }
    DecodedProgram program;
    program.family = SamplerFamily::s900;
    program.number = m[5];
    program.offset = offset;
    program.fields = {{"channel", std::int64_t{m[2]}},
                      {"programName", block->S900Name(0)},
                      {"keygroupCount", block->U8(23)},
                      {"midiProgramNumber", block->U8(26)}};
    const std::size_t count = (blockWire / 2 - programHeaderBlock) / keygroupBlock;
    for (std::size_t k = 0; k < count; ++k) {
        const std::size_t at = programHeaderBlock + k * keygroupBlock;
        program.keygroups.push_back({{"highKey", block->U8(at)},
                                     {"lowKey", block->U8(at + 1)},
                                     {"keygroupWords5to8", block->Run(at + 3, 4)},
                                     {"programParams20", block->U8(at + 15)},
                                     {"programParams18", block->U8(at + 16)},
                                     {"programParams19", block->U8(at + 17)},
                                     {"output", block->U8(at + 19)},
                                     {"sampleName", block->S900Name(at + 24)},
                                     {"keygroupWords13to16", block->Run(at + 34, 4)}});
    }
    return {std::move(program), {}};
}

SamplePoints PointsOf(const DecodedFields& fields, std::uint32_t lengthWords) {
    const auto word = [&](std::string_view name, std::uint32_t missing) -> std::uint32_t {
        const auto value = FieldNumber(fields, name);
        if (!value) {
            return missing;
        }
        return *value >= 0 && *value <= std::int64_t{UINT32_MAX}
                   ? static_cast<std::uint32_t>(*value)
                   : 0;
    };
    return {word("endPoint", lengthWords == 0 ? 0 : lengthWords - 1), word("firstReplayPoint", 0),
            word("loopLength", 0)};
}

} // namespace velomire::transfer::s900

namespace velomire::transfer {

std::optional<DecodedMessage> S900Family::Decode(wire::Bytes m, std::size_t offset, int) const {
    using Kind = SysExDecoder::Kind;
    if (m.size() < 4) {
        return std::nullopt;
    }
    if (m[1] == sds::universalNonRealTime) {
        // The sample data has no channel byte: F0 7E 01, the sample number, 0C.
        if (m.size() >= s900::dataHeaderBytes + 1 && s900::IsSampleData(m)) {
            auto parsed = s900::ParseSampleData(m, offset);
            if (!parsed.value) {
                return DecodedMessage::Refused(Kind::s900SampleData, parsed.error);
            }
            return DecodedMessage::Taken(Kind::s900SampleData, -1,
                                         decoded::SampleData{std::move(*parsed.value)});
        }
        return DecodedMessage::Refused(Kind::unknown, "unknown sample dump message");
    }
    if (m[1] != s900::akaiId || m.size() < 7) {
        return std::nullopt;
    }
    const std::uint8_t function = m[3];
    if (m[4] == s900::modelByte && function == s900::sampleHeaderFunction) {
        auto parsed = s900::ParseSampleHeader(m, offset);
        if (!parsed.value) {
            return DecodedMessage::Refused(Kind::s900SampleHeader, parsed.error);
        }
        return DecodedMessage::Taken(Kind::s900SampleHeader, m[2],
                                     decoded::HeaderAfterData{std::move(*parsed.value)});
    }
    if (m[4] == s900::modelByte && function == s900::programFunction) {
        auto parsed = s900::ParseProgram(m, offset);
        if (!parsed.value) {
            return DecodedMessage::Refused(Kind::s900Program, parsed.error);
        }
        return DecodedMessage::Taken(Kind::s900Program, m[2],
                                     decoded::WholeProgram{std::move(*parsed.value)});
    }
    return DecodedMessage::Refused(Kind::unknown, "unknown Akai message");
}

std::optional<SamplerReply> S900Family::ReplyOf(wire::Bytes message) const {
    return s900::ParseHandshake(message);
}

} // namespace velomire::transfer
