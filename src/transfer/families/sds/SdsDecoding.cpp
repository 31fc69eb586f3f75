#include "transfer/families/sds/SdsDecoding.h"

#include "transfer/families/SdsWire.h"
#include "transfer/families/sds/SdsFamily.h"

namespace velomire::transfer::families::sds {

using wire::RateOf;
using wire::SevenBit;

namespace {

int WordBytes(int bits) {
    return (bits + 6) / 7;
}

} // namespace

wire::Parsed<decoded::PacketSampleHeader> ParseDumpHeader(wire::Bytes m, std::size_t offset) {
    const int bits = m[6];
    if (bits < 8 || bits > 28) {
        return wire::Parsed<decoded::PacketSampleHeader>::Refused(
            "Dump Header with " + std::to_string(bits) + " bits per word");
    }
    decoded::PacketSampleHeader header;
    header.bits = bits;
    DecodedSample& sample = header.sample;
    sample.family = SamplerFamily::sds;
    sample.number = static_cast<int>(SevenBit(m, 4, 2));
    const std::uint32_t period = SevenBit(m, 7, 3);
    sample.lengthWords = SevenBit(m, 10, 3);
    sample.rate = RateOf(period);
    sample.offset = offset;
    sample.fields = {{"channel", std::int64_t{m[2]}},
                     {"bits", std::int64_t{bits}},
                     {"samplePeriodNs", std::int64_t{period}},
                     {"lengthWords", std::int64_t{sample.lengthWords}},
                     {"loopStart", std::int64_t{SevenBit(m, 13, 3)}},
                     {"loopEnd", std::int64_t{SevenBit(m, 16, 3)}},
                     {"loopType", std::int64_t{m[19]}}};
    return {std::move(header), {}};
}

std::uint32_t WordsPerPacket(int bits) {
    return static_cast<std::uint32_t>(packetDataBytes / static_cast<std::size_t>(WordBytes(bits)));
}

std::int16_t PacketFrame(wire::Bytes m, std::uint32_t w, int bits) {
    const int wordBytes = WordBytes(bits);
    std::uint32_t value = 0;
    for (int b = 0; b < wordBytes; ++b) {
        value = value << 7 |
                m[5 + w * static_cast<std::uint32_t>(wordBytes) + static_cast<std::uint32_t>(b)];
    }
    return wire::FrameOf(value >> (7 * wordBytes - bits), bits);
}

} // namespace velomire::transfer::families::sds

namespace velomire::transfer {

std::optional<DecodedMessage> SdsFamily::Decode(wire::Bytes m, std::size_t offset,
                                                int packetBits) const {
    using Kind = SysExDecoder::Kind;
    if (m.size() < 4 || m[1] != sds::universalNonRealTime) {
        return std::nullopt;
    }
    if (m.size() == sds::headerBytes && m[3] == sds::dumpHeaderId) {
        auto parsed = sds::ParseDumpHeader(m, offset);
        if (!parsed.value) {
            return DecodedMessage::Refused(Kind::sdsDumpHeader, parsed.error);
        }
        return DecodedMessage::Taken(Kind::sdsDumpHeader, m[2], std::move(*parsed.value));
    }
    if (m.size() == sds::packetBytes && m[3] == sds::dataPacketId) {
        DecodedMessage message;
        message.kind = Kind::sdsDataPacket;
        message.channel = m[2];
        message.packet = m[4];
        if (!sds::PacketIntact(m)) {
            message.error = "Data Packet " + std::to_string(message.packet) + " has a bad checksum";
            return message;
        }
        decoded::DataPacket packet;
        const std::uint32_t words = sds::WordsPerPacket(packetBits);
        packet.frames.reserve(words);
        for (std::uint32_t w = 0; w < words; ++w) {
            packet.frames.push_back(sds::PacketFrame(m, w, packetBits));
        }
        message.content = std::move(packet);
        return message;
    }
    return DecodedMessage::Refused(Kind::unknown, "unknown sample dump message");
}

std::optional<SamplerReply> SdsFamily::ReplyOf(wire::Bytes message) const {
    return sds::ParseHandshake(message);
}

} // namespace velomire::transfer
