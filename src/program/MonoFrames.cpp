#include "program/MonoFrames.h"

#include <algorithm>
#include <new>

namespace velomire::program {

MonoFrames ReadMonoFrames(WavInfo& wav, std::uint32_t frameCount, std::size_t frameLimit) {
    // A stored frame count beyond the file's would have the editor show frames that are not
    // there; one below it leaves the file's tail out of the editor, as it is out of the sample.
    const std::uint32_t count = std::min(frameCount, wav.FrameCount());
    MonoFrames read;
    if (count == 0) {
        wav.Close();
        return read;
    }
    bool allocated = count <= frameLimit;
    if (allocated) {
        try {
            read.frames.resize(count);
        } catch (const std::bad_alloc&) {
            allocated = false;
        }
    }
    if (!allocated) {
        wav.Close();
        read.status = MonoFrames::Status::tooLong;
        return read;
    }
    for (std::uint32_t i = 0; i < count; ++i) {
        // ReadFrame(0) is the mono mix, (left + right) / 2, which always fits 16 bits.
        const auto value = static_cast<std::int16_t>(wav.ReadFrame(0));
        read.frames[i] = value;
        read.mean += value / static_cast<double>(count);
    }
    wav.Close();
    read.status = MonoFrames::Status::ok;
    return read;
}

} // namespace velomire::program
