#include "transfer/DumpText.h"

namespace velomire::transfer {

char AkaiChar(std::uint8_t code) {
    if (code <= 9) {
        return static_cast<char>('0' + code);
    }
    if (code == 10) {
        return ' ';
    }
    if (code <= 36) {
        return static_cast<char>('A' + (code - 11));
    }
    static constexpr char tail[] = "#+-.";
    return code <= 40 ? tail[code - 37] : '?';
}

std::string EscapedDumpText(std::string_view text) {
    static constexpr char hex[] = "0123456789ABCDEF";
    std::string out;
    for (const char c : text) {
        const auto b = static_cast<unsigned char>(c);
        if (b >= 0x20 && b < 0x7F && b != '\\') {
            out += c;
        } else {
            out += "\\x";
            out += hex[b >> 4];
            out += hex[b & 0xF];
        }
    }
    return out;
}

} // namespace velomire::transfer
