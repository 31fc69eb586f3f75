#include "transfer/SamplerReply.h"

#include "transfer/families/s1000/S1000Wire.h"
#include "transfer/families/s900/S900Wire.h"
#include "transfer/families/sds/SdsWire.h"

#include <algorithm>

namespace velomire::transfer {

std::optional<SamplerReply> ParseSamplerReply(std::span<const std::uint8_t> m) {
    if (m.size() < 4 || m.front() != 0xF0 || m.back() != 0xF7 ||
        !std::all_of(m.begin() + 1, m.end() - 1, [](std::uint8_t b) { return b < 0x80; })) {
        return std::nullopt;
    }
    if (auto reply = s900::ParseHandshake(m)) {
        return reply;
    }
    if (auto reply = sds::ParseHandshake(m)) {
        return reply;
    }
    return s1000::ParseReply(m);
}

} // namespace velomire::transfer
