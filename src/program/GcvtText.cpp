#include "program/GcvtText.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace velomire::program {
namespace {

// Enough for 17 significant digits, the point, the sign and a three-digit exponent.
constexpr int textBytes = 48;
constexpr int maxDigits = 17;

std::string WithoutTrailingZeros(std::string fraction) {
    const auto last = fraction.find_last_not_of('0');
    fraction.erase(last == std::string::npos ? 0 : last + 1);
    return fraction;
}

} // namespace

std::string GcvtText(double value, int digits) {
    digits = std::clamp(digits, 1, maxDigits);
    if (!std::isfinite(value)) {
        return std::isnan(value) ? "nan" : (value < 0 ? "-inf" : "inf");
    }

    // The rounded significant digits and the exponent of the rounded value, from "d.ddde+XX".
    char text[textBytes];
    std::snprintf(text, sizeof text, "%.*e", digits - 1, value);
    std::string scientific = text;
    const bool negative = scientific.front() == '-';
    if (negative) {
        scientific.erase(0, 1);
    }
    const auto e = scientific.find('e');
    const int exponent = std::atoi(scientific.c_str() + e + 1);
    std::string significant = scientific.substr(0, e);
    significant.erase(std::remove(significant.begin(), significant.end(), '.'), significant.end());

    std::string result = negative ? "-" : "";
    if (exponent < -4 || exponent >= digits) {
        const int magnitude = std::abs(exponent);
        char exponentText[16];
        std::snprintf(exponentText, sizeof exponentText, "e%c%03d", exponent < 0 ? '-' : '+',
                      magnitude);
        result += significant.substr(0, 1) + "." + WithoutTrailingZeros(significant.substr(1)) +
                  exponentText;
    } else if (exponent >= 0) {
        const auto whole = static_cast<std::size_t>(exponent) + 1;
        result +=
            significant.substr(0, whole) + "." + WithoutTrailingZeros(significant.substr(whole));
    } else {
        const auto leadingZeros = static_cast<std::size_t>(-exponent - 1);
        result += "0." + WithoutTrailingZeros(std::string(leadingZeros, '0') + significant);
    }
    return result;
}

} // namespace velomire::program
