#include "editing/WaveformSummary.h"

#include <algorithm>
#include <new>

namespace velomire::editing {

bool WaveformSummary::Build(std::span<const std::int16_t> source) {
    frames = {};
    levels.clear();
    try {
        std::vector<std::vector<Pair>> built;
        std::vector<Pair> level(source.size() / blockFrames);
        for (std::size_t block = 0; block < level.size(); ++block) {
            const auto first = source.begin() + static_cast<std::ptrdiff_t>(block * blockFrames);
            std::int16_t low = *first;
            std::int16_t high = *first;
            for (auto it = first + 1; it != first + blockFrames; ++it) {
                low = std::min(low, *it);
                high = std::max(high, *it);
            }
            // Shifting keeps the order, so the block's extremes shifted are the shifted extremes.
            level[block] = {static_cast<std::int8_t>(Drawn(low)),
                            static_cast<std::int8_t>(Drawn(high))};
        }
        while (level.size() >= 2) {
            std::vector<Pair> upper(level.size() / 2);
            for (std::size_t i = 0; i < upper.size(); ++i) {
                const Pair& left = level[2 * i];
                const Pair& right = level[2 * i + 1];
                upper[i] = {std::min(left.low, right.low), std::max(left.high, right.high)};
            }
            built.push_back(std::move(level));
            level = std::move(upper);
        }
        built.push_back(std::move(level));
        levels = std::move(built);
    } catch (const std::bad_alloc&) {
        levels.clear();
        return false;
    }
    frames = source;
    return true;
}

DrawnRange WaveformSummary::Range(std::int64_t first, std::int64_t last) const {
    const int firstValue = Drawn(frames[static_cast<std::size_t>(first)]);
    DrawnRange range{firstValue, firstValue};
    auto takeFrame = [&](std::size_t frame) {
        const int value = Drawn(frames[frame]);
        range.low = std::min(range.low, value);
        range.high = std::max(range.high, value);
    };
    auto takePair = [&](const Pair& pair) {
        range.low = std::min<int>(range.low, pair.low);
        range.high = std::max<int>(range.high, pair.high);
    };

    // Half-open [lo, hi); the frames before the first whole block and after the last one are
    // read directly.
    auto lo = static_cast<std::size_t>(first);
    auto hi = static_cast<std::size_t>(last) + 1;
    while (lo < hi && lo % blockFrames != 0) {
        takeFrame(lo++);
    }
    while (hi > lo && hi % blockFrames != 0) {
        takeFrame(--hi);
    }
    lo /= blockFrames;
    hi /= blockFrames;
    // Bottom-up over the levels: an odd left end or an odd right end has no partner inside the
    // range at this level and is taken here; the rest is covered by the level above.
    for (std::size_t depth = 0; lo < hi && depth < levels.size(); ++depth) {
        const std::vector<Pair>& level = levels[depth];
        if (lo & 1u) {
            takePair(level[lo++]);
        }
        if (hi & 1u) {
            takePair(level[--hi]);
        }
        lo /= 2;
        hi /= 2;
    }
    return range;
}

std::size_t WaveformSummary::SummaryBytes() const {
    std::size_t bytes = 0;
    for (const auto& level : levels) {
        bytes += level.size() * sizeof(Pair);
    }
    return bytes;
}

} // namespace velomire::editing
