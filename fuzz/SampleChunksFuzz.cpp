// Feeds arbitrary "smpl" and "inst" chunk bodies to their parsers and puts the result into a row
// of arbitrary length: whatever the chunks claim, the row must keep a pitch and keys from 24 to
// 127 and at most four loops that lie inside its sound.

#include "program/Program.h"
#include "program/SampleChunks.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

using namespace velomire::program;

namespace {

void Check(bool condition) {
    if (!condition) {
        std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 5) {
        return 0;
    }
    // The first four bytes are the row's frame count, the next one where the inst body starts.
    const std::uint32_t frames =
        data[0] | data[1] << 8 | data[2] << 16 | std::uint32_t{data[3]} << 24;
    const std::span<const std::uint8_t> rest(data + 5, size - 5);
    const std::size_t split = rest.empty() ? 0 : data[4] % (rest.size() + 1);

    SampleChunks chunks;
    ParseInstChunk(rest.first(split), chunks);
    ParseSmplChunk(rest.subspan(split), chunks);

    SampleEntry entry{};
    entry.sample.frameCount = frames;
    entry.sample.soundEnd = frames - 1;
    entry.sample.rootKey = 60;
    entry.sample.loopMode = loopNone;
    entry.keygroup.lowKey = 24;
    entry.keygroup.highKey = 127;
    ApplySampleChunks(chunks, entry);

    const SampleBlock& s = entry.sample;
    Check(s.rootKey >= 24 && s.rootKey <= 127);
    Check(entry.keygroup.lowKey >= 24 && entry.keygroup.lowKey <= entry.keygroup.highKey &&
          entry.keygroup.highKey <= 127);
    Check(s.loopCount >= 0 && s.loopCount <= 4);
    Check((s.loopCount > 0) == (s.loopMode == loopNormal));
    for (int i = 0; i < s.loopCount; ++i) {
        const LoopSpec loop = s.Loop(static_cast<std::size_t>(i));
        Check(frames > 0 && loop.at < frames && loop.length >= 1 && loop.length <= loop.at + 1);
    }
    return 0;
}
