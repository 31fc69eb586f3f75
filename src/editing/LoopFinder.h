#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace velomire::editing {

// A loop the finder proposes: first and last frame, and how badly its seam joins (the mean
// squared difference of the compared frames; 0 joins without a trace).
struct LoopCandidate {
    std::int64_t start = 0;
    std::int64_t end = 0;
    double mismatch = 0;
    bool operator==(const LoopCandidate&) const = default;
};

// Where to look. One edge of the loop stays; the other is searched within `window` frames on
// each side of where it is now, keeping the loop at least `minimumLength` frames long and inside
// lowest..highest (the sound).
struct LoopSearch {
    std::int64_t start = 0;
    std::int64_t end = 0;
    std::int64_t lowest = 0;
    std::int64_t highest = 0;
    bool moveStart = false;     // search the start (the end stays) instead of the end
    std::int64_t window = 4410; // frames on each side of the edge searched
    std::int64_t compare = 128; // frames compared at the seam
    std::int64_t minimumLength = 64;
    std::size_t candidates = 16; // how many proposals at most
};

// The best loops, best first. The seam of a loop start..end is judged by how well the frames
// that lead into the end continue into the start: the `compare` frames before the start against
// the `compare` frames up to the end (where the start has no frame before it, the frames from the
// start against those after the end), so value and slope both have to match wherever the fixed
// edge lies, also away from a zero crossing. Every frame of the searched range is weighed; the
// candidates are those whose mismatch is lower than the frame's before and not above the frame's
// after, one per place the wave comes round again. Empty when no candidate fits.
std::vector<LoopCandidate> FindLoops(std::span<const std::int16_t> frames,
                                     const LoopSearch& search);

// How far the wave jumps where the loop joins, in sample values: the start's frame against the
// frame that would follow the end without the loop (or, at the track's last frame, the end's
// frame against the one before the start). 0 when neither exists.
int JoinJump(std::span<const std::int16_t> frames, std::int64_t start, std::int64_t end);

// A join that jumps by more than this share of full scale (32768) is heard as a click.
inline constexpr double poorJoinShare = 0.05;

// The seam as played: the `half` frames up to the loop's end followed by the `half` frames from
// its start (frames outside the track count as 0).
std::vector<std::int16_t> SeamFrames(std::span<const std::int16_t> frames, std::int64_t start,
                                     std::int64_t end, std::int64_t half);

} // namespace velomire::editing
