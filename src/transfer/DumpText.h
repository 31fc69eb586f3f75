#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace velomire::transfer {

// A text from a dump as it may be shown or stored: printable ASCII kept, every other byte as
// \xHH.
std::string EscapedDumpText(std::string_view text);

// The character of one Akai character code ('?' for a code outside the table).
char AkaiChar(std::uint8_t code);

} // namespace velomire::transfer
