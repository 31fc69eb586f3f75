#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace velomire::editing {

// The name of a MIDI note number as the samplers spell it: 24 is "C0", 60 "C3", 127 "G8".
// Numbers below 24, which only a program file from elsewhere can hold, count octaves downward
// ("B-1" for 23, "C-2" for 0) instead of mixing signs into the name.
std::string FormatNoteName(std::int32_t note);

// A note typed by the user: a name as FormatNoteName writes it, in either case and with a flat
// spelled "b" ("A3", "c#2", "Bb1", "B-1"), or a note number ("60"). Blanks around it are allowed;
// anything else is none. The number is not kept within any range.
std::optional<std::int32_t> ParseNoteName(std::string_view text);

} // namespace velomire::editing
