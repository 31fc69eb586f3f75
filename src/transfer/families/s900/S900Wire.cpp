#include "transfer/families/s900/S900Wire.h"

#include "transfer/families/SdsWire.h"

namespace velomire::transfer::s900 {

bool IsSampleData(std::span<const std::uint8_t> m) {
    return m.size() >= 6 && m[1] == sds::universalNonRealTime && m[2] == dataId && m[5] == dataBits;
}

std::optional<LoopWords> LoopOf(const SamplePoints& points, std::uint32_t lengthWords) {
    const std::uint32_t end = points.endPoint;
    if (points.loopLength == 0 || end >= lengthWords || points.loopLength > end + 1) {
        return std::nullopt;
    }
    return LoopWords{end - points.loopLength + 1, end};
}

std::optional<SamplerReply> ParseHandshake(std::span<const std::uint8_t> m) {
    if (m.size() != 4 || m[1] != sds::universalNonRealTime) {
        return std::nullopt;
    }
    const auto kind = sds::HandshakeKind(m[2]);
    if (!kind) {
        return std::nullopt;
    }
    SamplerReply reply;
    reply.kind = *kind;
    return reply;
}

} // namespace velomire::transfer::s900

namespace velomire::transfer {

std::vector<std::uint8_t> S900Handshake(SamplerReply::Kind kind) {
    return {0xF0, sds::universalNonRealTime, sds::HandshakeByte(kind), 0xF7};
}

} // namespace velomire::transfer
