#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace velomire::editing {

// The drawn value of a frame: shifted right by 8 bits with its sign, -128..127 pixels.
inline int Drawn(std::int16_t value) {
    return value >> 8;
}

// The lowest and highest drawn value (frame value >> 8, -128..127) of a stretch of frames.
struct DrawnRange {
    int low = 0;
    int high = 0;
    bool operator==(const DrawnRange&) const = default;
};

// A min/max pyramid over the drawn values of a mono track, built once when the track is loaded,
// so that the lowest and highest value of any stretch of frames costs a few dozen reads instead
// of a walk over every frame. Level 0 holds one pair per block of 16 frames, every further level
// one pair per two pairs of the level below; the frames outside whole blocks are read directly.
//
// The summary reads the frames it was built on and does not own them: they must outlive it and
// stay unchanged.
class WaveformSummary {
public:
    static constexpr std::size_t blockFrames = 16;

    // Builds the pyramid. Returns false, leaving the summary empty, when the memory for it cannot
    // be had.
    bool Build(std::span<const std::int16_t> frames);

    std::span<const std::int16_t> Frames() const { return frames; }
    std::int64_t FrameCount() const { return static_cast<std::int64_t>(frames.size()); }

    // The lowest and highest of (frame value >> 8) over frames first..last (inclusive);
    // 0 <= first <= last < FrameCount().
    DrawnRange Range(std::int64_t first, std::int64_t last) const;

    // Bytes held by the pyramid, not counting the frames.
    std::size_t SummaryBytes() const;

private:
    struct Pair {
        std::int8_t low;
        std::int8_t high;
    };

    std::span<const std::int16_t> frames;
    std::vector<std::vector<Pair>> levels;
};

} // namespace velomire::editing
