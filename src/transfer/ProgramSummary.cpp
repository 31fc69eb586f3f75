#include "transfer/ProgramSummary.h"

#include <algorithm>

namespace velomire::transfer {

std::string ProgramSummary::MemoryText() const {
    // Single precision, as the figure has always been computed.
    float memory = static_cast<float>(words) / 512.0f;
    const char* unit = "Ko";
    if (memory >= 1000.0f) {
        memory /= 1024.0f;
        unit = "Mo";
    }
    const auto whole = static_cast<std::int64_t>(memory);
    const auto hundredths = static_cast<int>((memory - static_cast<float>(whole)) * 100.0f);
    const std::string decimals = (hundredths < 10 ? "0" : "") + std::to_string(hundredths);
    return std::to_string(whole) + "." + decimals + " " + unit;
}

std::string ProgramSummary::TimeText() const {
    const auto seconds = static_cast<std::int64_t>(sampleCount) +
                         static_cast<std::int64_t>(words * 0.0009765625 * 1.04617186);
    return std::to_string(seconds / 60) + "min " + std::to_string(seconds % 60) + "sec";
}

std::int32_t SpinNumber(std::int32_t value, bool up, std::int32_t limit) {
    if (up) {
        const std::int64_t highest = std::max<std::int64_t>(std::int64_t{limit} - 1, 0);
        return static_cast<std::int32_t>(std::min<std::int64_t>(std::int64_t{value} + 1, highest));
    }
    return static_cast<std::int32_t>(std::max<std::int64_t>(std::int64_t{value} - 1, 0));
}

} // namespace velomire::transfer
