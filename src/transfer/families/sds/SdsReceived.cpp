#include "transfer/families/sds/SdsReceived.h"

#include "transfer/families/sds/SdsWire.h"

namespace velomire::transfer {

program::SampleChunks SdsReceivedChunks(const DecodedSample& sample) {
    program::SampleChunks chunks;
    const auto start = FieldNumber(sample.fields, "loopStart");
    const auto end = FieldNumber(sample.fields, "loopEnd");
    const auto type = FieldNumber(sample.fields, "loopType");
    // Loop type 7F is "loop off"; a forward loop ending at word 0 is how some senders (Velomire
    // among them, before) mark a sample without a loop. A loop past the words is left out.
    if (start && end && type && *type != sds::loopOff && *end > 0 && *start <= *end &&
        static_cast<std::uint64_t>(*end) < sample.frames.size()) {
        chunks.loops.push_back({static_cast<std::uint32_t>(*start),
                                static_cast<std::uint32_t>(*end), *type == 1 ? 1u : 0u});
    }
    return chunks;
}

} // namespace velomire::transfer
