#include "editing/LoopFinder.h"

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <limits>

namespace velomire::editing {
namespace {

constexpr double noMatch = std::numeric_limits<double>::infinity();

// Mean squared difference between the frames leading into `end` and those leading into `start`.
double Mismatch(std::span<const std::int16_t> frames, std::int64_t start, std::int64_t end,
                std::int64_t compare) {
    const auto count = static_cast<std::int64_t>(frames.size());
    const auto at = [&](std::int64_t i) {
        return static_cast<double>(frames[static_cast<std::size_t>(i)]);
    };
    double sum = 0;
    std::int64_t pairs = std::min(compare, start);
    for (std::int64_t k = 1; k <= pairs; ++k) {
        const double d = at(end + 1 - k) - at(start - k);
        sum += d * d;
    }
    if (pairs == 0) {
        // Nothing before the first frame: what follows the end against what follows the start.
        pairs = std::min(compare, count - 1 - end);
        for (std::int64_t k = 0; k < pairs; ++k) {
            const double d = at(end + 1 + k) - at(start + k);
            sum += d * d;
        }
    }
    return pairs > 0 ? sum / static_cast<double>(pairs) : noMatch;
}

// The frames of first..last whose mismatch is a local minimum: below the one before, not above
// the one after (a run of equal values gives its first frame).
void AddLocalMinima(std::vector<LoopCandidate>& found, std::int64_t first, std::int64_t last,
                    const std::function<LoopCandidate(std::int64_t)>& candidate) {
    if (first > last) {
        return;
    }
    LoopCandidate previous{0, 0, noMatch};
    LoopCandidate here = candidate(first);
    for (std::int64_t edge = first; edge <= last; ++edge) {
        const LoopCandidate next = edge < last ? candidate(edge + 1) : LoopCandidate{0, 0, noMatch};
        if (here.mismatch < previous.mismatch && here.mismatch <= next.mismatch) {
            found.push_back(here);
        }
        previous = here;
        here = next;
    }
}

} // namespace

int JoinJump(std::span<const std::int16_t> frames, std::int64_t start, std::int64_t end) {
    const auto count = static_cast<std::int64_t>(frames.size());
    const auto at = [&](std::int64_t i) { return int{frames[static_cast<std::size_t>(i)]}; };
    if (start < 0 || end < 0 || start >= count || end >= count) {
        return 0;
    }
    if (end + 1 < count) {
        return std::abs(at(start) - at(end + 1));
    }
    return start > 0 ? std::abs(at(end) - at(start - 1)) : 0;
}

std::vector<LoopCandidate> FindLoops(std::span<const std::int16_t> frames,
                                     const LoopSearch& search) {
    const auto count = static_cast<std::int64_t>(frames.size());
    const std::int64_t lowest = std::max<std::int64_t>(search.lowest, 0);
    const std::int64_t highest = std::min(search.highest, count - 1);
    const std::int64_t minimum = std::max<std::int64_t>(search.minimumLength, 1);
    if (count < 2 || lowest > highest || search.start < lowest || search.end > highest ||
        search.candidates == 0) {
        return {};
    }

    std::vector<LoopCandidate> found;
    if (search.moveStart) {
        const std::int64_t first = std::max(lowest, search.start - search.window);
        const std::int64_t last = std::min(search.start + search.window, search.end - minimum + 1);
        AddLocalMinima(found, first, last, [&](std::int64_t s) {
            return LoopCandidate{s, search.end, Mismatch(frames, s, search.end, search.compare)};
        });
    } else {
        const std::int64_t first = std::max(search.start + minimum - 1, search.end - search.window);
        const std::int64_t last = std::min(highest, search.end + search.window);
        AddLocalMinima(found, first, last, [&](std::int64_t e) {
            return LoopCandidate{search.start, e,
                                 Mismatch(frames, search.start, e, search.compare)};
        });
    }
    std::erase_if(found, [](const LoopCandidate& c) { return c.mismatch == noMatch; });
    // Best first; between equals, the one nearest the edge's current place.
    const std::int64_t here = search.moveStart ? search.start : search.end;
    const auto distance = [&](const LoopCandidate& c) {
        const std::int64_t edge = search.moveStart ? c.start : c.end;
        return edge > here ? edge - here : here - edge;
    };
    const std::size_t kept = std::min(found.size(), search.candidates);
    std::partial_sort(found.begin(), found.begin() + static_cast<std::ptrdiff_t>(kept), found.end(),
                      [&](const LoopCandidate& a, const LoopCandidate& b) {
                          if (a.mismatch != b.mismatch) {
                              return a.mismatch < b.mismatch;
                          }
                          return distance(a) < distance(b);
                      });
    found.resize(kept);
    return found;
}

std::vector<std::int16_t> SeamFrames(std::span<const std::int16_t> frames, std::int64_t start,
                                     std::int64_t end, std::int64_t half) {
    const auto count = static_cast<std::int64_t>(frames.size());
    const auto at = [&](std::int64_t i) -> std::int16_t {
        return i >= 0 && i < count ? frames[static_cast<std::size_t>(i)] : std::int16_t{0};
    };
    std::vector<std::int16_t> seam;
    seam.reserve(static_cast<std::size_t>(std::max<std::int64_t>(2 * half, 0)));
    for (std::int64_t i = end - half + 1; i <= end; ++i) {
        seam.push_back(at(i));
    }
    for (std::int64_t i = start; i < start + half; ++i) {
        seam.push_back(at(i));
    }
    return seam;
}

} // namespace velomire::editing
