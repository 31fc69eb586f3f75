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

std::optional<std::int32_t> ParseNoteName(std::string_view text) {
    while (!text.empty() && text.front() == ' ') {
        text.remove_prefix(1);
    }
    while (!text.empty() && text.back() == ' ') {
        text.remove_suffix(1);
    }
    // A signed whole number of at most four digits, the whole rest of the text.
    const auto number = [](std::string_view digits) -> std::optional<std::int32_t> {
        bool negative = false;
        if (!digits.empty() && digits.front() == '-') {
            negative = true;
            digits.remove_prefix(1);
        }
        if (digits.empty() || digits.size() > 4) {
            return std::nullopt;
        }
        std::int32_t value = 0;
        for (const char c : digits) {
            if (c < '0' || c > '9') {
                return std::nullopt;
            }
            value = value * 10 + (c - '0');
        }
        return negative ? -value : value;
    };
    if (text.empty()) {
        return std::nullopt;
    }
    if (const auto plain = number(text)) {
        return plain;
    }
    static constexpr std::array<int, 7> semitones = {9, 11, 0, 2, 4, 5, 7}; // A..G
    const char letter = static_cast<char>(text.front() | 0x20);
    if (letter < 'a' || letter > 'g') {
        return std::nullopt;
    }
    int semitone = semitones[static_cast<std::size_t>(letter - 'a')];
    text.remove_prefix(1);
    if (!text.empty() && text.front() == '#') {
        ++semitone;
        text.remove_prefix(1);
    } else if (!text.empty() && text.front() == 'b') {
        --semitone;
        text.remove_prefix(1);
    }
    const auto octave = number(text);
    if (!octave) {
        return std::nullopt;
    }
    return 24 + 12 * *octave + semitone;
}

} // namespace velomire::editing
