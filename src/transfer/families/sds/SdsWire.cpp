#include "transfer/families/sds/SdsWire.h"

namespace velomire::transfer::sds {

std::optional<SamplerReply::Kind> HandshakeKind(std::uint8_t code) {
    switch (code) {
    case ackByte:
        return SamplerReply::Kind::ack;
    case nakByte:
        return SamplerReply::Kind::nak;
    case cancelByte:
        return SamplerReply::Kind::cancel;
    case waitByte:
        return SamplerReply::Kind::wait;
    default:
        return std::nullopt;
    }
}

std::uint8_t HandshakeByte(SamplerReply::Kind kind) {
    switch (kind) {
    case SamplerReply::Kind::nak:
        return nakByte;
    case SamplerReply::Kind::cancel:
        return cancelByte;
    case SamplerReply::Kind::wait:
        return waitByte;
    default:
        return ackByte;
    }
}

std::optional<SamplerReply> ParseHandshake(std::span<const std::uint8_t> m) {
    if (m.size() != 6 || m[1] != universalNonRealTime) {
        return std::nullopt;
    }
    const auto kind = HandshakeKind(m[3]);
    if (!kind) {
        return std::nullopt;
    }
    SamplerReply reply;
    reply.kind = *kind;
    reply.channel = m[2];
    reply.packet = m[4];
    return reply;
}

} // namespace velomire::transfer::sds

namespace velomire::transfer {

std::vector<std::uint8_t> SdsHandshake(SamplerReply::Kind kind, int channel, int packet) {
    return {0xF0,
            sds::universalNonRealTime,
            static_cast<std::uint8_t>(channel & 0x7F),
            sds::HandshakeByte(kind),
            static_cast<std::uint8_t>(packet & 0x7F),
            0xF7};
}

} // namespace velomire::transfer
