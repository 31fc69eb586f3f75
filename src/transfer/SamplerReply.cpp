#include "transfer/SamplerReply.h"

#include "transfer/families/Family.h"

#include <algorithm>

namespace velomire::transfer {

std::optional<SamplerReply> ParseSamplerReply(std::span<const std::uint8_t> m) {
    if (m.size() < 4 || m.front() != 0xF0 || m.back() != 0xF7 ||
        !std::all_of(m.begin() + 1, m.end() - 1, [](std::uint8_t b) { return b < 0x80; })) {
        return std::nullopt;
    }
    for (const Family* family : Family::All()) {
        if (auto reply = family->ReplyOf(m)) {
            return reply;
        }
    }
    return std::nullopt;
}

} // namespace velomire::transfer
