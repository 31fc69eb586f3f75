#include "transfer/families/sds/SdsReceived.h"

namespace velomire::transfer {

program::SampleChunks SdsReceivedChunks(const DecodedSample& sample) {
    program::SampleChunks chunks;
    const auto start = FieldNumber(sample.fields, "loopStart");
    const auto end = FieldNumber(sample.fields, "loopEnd");
    const auto type = FieldNumber(sample.fields, "loopType");
    // Loop type 7F is "loop off"; a loop end of 0 is how a sample without a loop is sent.
    constexpr std::int64_t loopOff = 0x7F;
    if (start && end && type && *type != loopOff && *end > 0 && *start <= *end) {
        chunks.loops.push_back({static_cast<std::uint32_t>(*start),
                                static_cast<std::uint32_t>(*end), *type == 1 ? 1u : 0u});
    }
    return chunks;
}

} // namespace velomire::transfer
