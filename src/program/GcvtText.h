#pragma once

#include <string>

namespace velomire::program {

// A number as the C runtime's _gcvt writes it with `digits` significant digits: fixed notation
// when the decimal exponent lies from -4 to digits - 1, exponent notation otherwise; trailing
// zeros of the fraction are dropped but the decimal point always stays ("2.", "2.5"), and the
// exponent has a sign and at least three digits ("1.23e+003"). The exponent is the one of the
// rounded value, so 999.6 with 3 digits gives "1.e+003".
std::string GcvtText(double value, int digits);

} // namespace velomire::program
