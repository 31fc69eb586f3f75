#include "transfer/families/s1000/S1000Wire.h"

namespace velomire::transfer::s1000 {

std::optional<SamplerReply> ParseReply(std::span<const std::uint8_t> m) {
    if (m.size() < 7 || m[1] != akaiId || m[3] != replyFunction || m[4] != modelByte) {
        return std::nullopt;
    }
    SamplerReply reply;
    reply.kind = SamplerReply::Kind::akaiReply;
    reply.channel = m[2];
    reply.status = m[5];
    reply.detail.assign(m.begin() + 6, m.end() - 1);
    return reply;
}

} // namespace velomire::transfer::s1000

namespace velomire::transfer {

std::vector<std::uint8_t> AkaiReply(int channel, int status) {
    return {0xF0,
            s1000::akaiId,
            static_cast<std::uint8_t>(channel & 0x7F),
            s1000::replyFunction,
            s1000::modelByte,
            static_cast<std::uint8_t>(status & 0x7F),
            0xF7};
}

} // namespace velomire::transfer
