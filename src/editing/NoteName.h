#pragma once

#include <cstdint>
#include <string>

namespace velomire::editing {

// The name of a MIDI note number as the samplers spell it: 24 is "C0", 60 "C3", 127 "G8".
// Numbers below 24, which only a program file from elsewhere can hold, count octaves downward
// ("B-1" for 23, "C-2" for 0) instead of mixing signs into the name.
std::string FormatNoteName(std::int32_t note);

} // namespace velomire::editing
