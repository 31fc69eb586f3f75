#pragma once

#include <cstdint>

namespace velomire::editing {

// A colour as the editors' pictures name it: red, green and blue, 0 to 255 each.
struct Rgb {
    std::uint8_t red = 0;
    std::uint8_t green = 0;
    std::uint8_t blue = 0;
    bool operator==(const Rgb&) const = default;
};

} // namespace velomire::editing
