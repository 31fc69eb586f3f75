// Feeds arbitrary bytes to the reply parser: whatever a sampler or a broken cable sends, it reads a
// reply or nothing, and a reply it reads is one it would write the same way.

#include "transfer/SamplerReply.h"
#include "transfer/families/SdsWire.h"
#include "transfer/families/s1000/S1000Wire.h"
#include "transfer/families/s900/S900Wire.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

namespace {

void Check(bool condition) {
    if (!condition) {
        std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using velomire::transfer::SamplerReply;
    const std::span<const std::uint8_t> bytes(data, size);
    const auto reply = velomire::transfer::ParseSamplerReply(bytes);
    if (!reply) {
        return 0;
    }
    if (reply->kind == SamplerReply::Kind::akaiReply) {
        Check(size == 7 + reply->detail.size());
    } else if (reply->channel < 0) {
        Check(velomire::transfer::S900Handshake(reply->kind).size() == size);
    } else {
        const auto again =
            velomire::transfer::SdsHandshake(reply->kind, reply->channel, reply->packet);
        Check(again.size() == size && std::equal(again.begin(), again.end(), data));
    }
    return 0;
}
