#include "editing/NoteName.h"

#include <array>

namespace velomire::editing {

std::string FormatNoteName(std::int32_t note) {
    static constexpr std::array<const char*, 12> names = {"C",  "C#", "D",  "D#", "E",  "F",
                                                          "F#", "G",  "G#", "A",  "A#", "B"};
    // Floor division, so the semitone stays 0..11 below note 24 as well; 64-bit so that no
    // stored value can overflow.
    const std::int64_t d = static_cast<std::int64_t>(note) - 24;
    std::int64_t octave = d / 12;
    std::int64_t semitone = d % 12;
    if (semitone < 0) {
        semitone += 12;
        --octave;
    }
    return names[static_cast<std::size_t>(semitone)] + std::to_string(octave);
}

} // namespace velomire::editing
