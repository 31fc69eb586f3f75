#pragma once

#include "program/WavInfo.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace velomire::program {

// The frames of a sample's WAV file as one mono track, as an editor holds them in memory.
struct MonoFrames {
    // noFrames: nothing to read; tooLong: more frames than the caller may hold, or no memory for
    // them.
    enum class Status { ok, noFrames, tooLong };
    Status status = Status::noFrames;
    std::vector<std::int16_t> frames{};
    double mean = 0.0; // the frames' mean value
};

// Reads the first `frameCount` frames (at most the file's) of the file `wav` has open, as
// ReadFrame(0) gives them: the mono channel, or the mix of the two. More than `frameLimit` frames
// are refused as tooLong. The file is closed in every case.
MonoFrames ReadMonoFrames(WavInfo& wav, std::uint32_t frameCount, std::size_t frameLimit);

} // namespace velomire::program
