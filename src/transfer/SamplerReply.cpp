#include "transfer/SamplerReply.h"

#include <algorithm>

namespace velomire::transfer {

namespace {

constexpr std::uint8_t ackByte = 0x7F;
constexpr std::uint8_t nakByte = 0x7E;
constexpr std::uint8_t cancelByte = 0x7D;
constexpr std::uint8_t waitByte = 0x7C;
constexpr std::uint8_t akaiReplyFunction = 0x16; // 12h is DELP, a request
constexpr std::uint8_t s1000ModelByte = 0x48;

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

} // namespace

std::optional<SamplerReply> ParseSamplerReply(std::span<const std::uint8_t> m) {
    if (m.size() < 4 || m.front() != 0xF0 || m.back() != 0xF7 ||
        !std::all_of(m.begin() + 1, m.end() - 1, [](std::uint8_t b) { return b < 0x80; })) {
        return std::nullopt;
    }
    SamplerReply reply;
    if (m[1] == 0x7E && m.size() == 4) {
        const auto kind = HandshakeKind(m[2]);
        if (!kind) {
            return std::nullopt;
        }
        reply.kind = *kind;
        return reply;
    }
    if (m[1] == 0x7E && m.size() == 6) {
        const auto kind = HandshakeKind(m[3]);
        if (!kind) {
            return std::nullopt;
        }
        reply.kind = *kind;
        reply.channel = m[2];
        reply.packet = m[4];
        return reply;
    }
    if (m[1] == 0x47 && m.size() >= 7 && m[3] == akaiReplyFunction && m[4] == s1000ModelByte) {
        reply.kind = SamplerReply::Kind::akaiReply;
        reply.channel = m[2];
        reply.status = m[5];
        reply.detail.assign(m.begin() + 6, m.end() - 1);
        return reply;
    }
    return std::nullopt;
}

std::vector<std::uint8_t> SdsHandshake(SamplerReply::Kind kind, int channel, int packet) {
    return {0xF0,
            0x7E,
            static_cast<std::uint8_t>(channel & 0x7F),
            HandshakeByte(kind),
            static_cast<std::uint8_t>(packet & 0x7F),
            0xF7};
}

std::vector<std::uint8_t> S900Handshake(SamplerReply::Kind kind) {
    return {0xF0, 0x7E, HandshakeByte(kind), 0xF7};
}

std::vector<std::uint8_t> AkaiReply(int channel, int status) {
    return {0xF0,
            0x47,
            static_cast<std::uint8_t>(channel & 0x7F),
            akaiReplyFunction,
            s1000ModelByte,
            static_cast<std::uint8_t>(status & 0x7F),
            0xF7};
}

} // namespace velomire::transfer
