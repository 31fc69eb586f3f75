// Feeds arbitrary bytes to the sampler-message decoder, as a whole stream and message by message:
// it must refuse or decode without touching memory it does not own, and what it keeps must agree
// with what the messages announced.

#include "transfer/SysExDecoder.h"

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
    const std::span<const std::uint8_t> bytes(data, size);
    const auto decoded = velomire::transfer::DecodeSysExStream(bytes);
    for (const auto& error : decoded.errors) {
        Check(error.offset < size);
    }
    for (const auto& sample : decoded.samples) {
        // Frames stop at the announced length; a sample that stops short is named.
        Check(sample.frames.size() <= sample.lengthWords);
        Check(sample.hasData);
        Check(sample.Complete() || !decoded.errors.empty());
        Check(sample.offset < size);
    }

    // The same bytes cut at every F7, as a MIDI input delivers them, one Feed per message.
    velomire::transfer::SysExDecoder decoder;
    std::size_t start = 0;
    for (std::size_t i = 0; i < size; ++i) {
        if (data[i] == 0xF7) {
            const auto result = decoder.Feed(bytes.subspan(start, i + 1 - start), start);
            Check(!result.afterGap || !result.Ok());
            if (const auto* open = decoder.OpenSample()) {
                Check(open->frames.size() <= open->lengthWords);
            }
            start = i + 1;
        }
    }
    return 0;
}
