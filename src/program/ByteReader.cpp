#include "program/ByteReader.h"

namespace velomire::program {

std::uint8_t ByteReader::U8() {
    if (position >= data.size()) {
        ok = false;
        return 0;
    }
    return data[position++];
}

std::uint16_t ByteReader::U16() {
    const std::uint16_t lo = U8();
    const std::uint16_t hi = U8();
    return static_cast<std::uint16_t>(lo | (hi << 8));
}

std::uint32_t ByteReader::U32() {
    const std::uint32_t lo = U16();
    const std::uint32_t hi = U16();
    return lo | (hi << 16);
}

void ByteReader::Skip(std::size_t count) {
    if (count > Remaining()) {
        position = data.size();
        ok = false;
        return;
    }
    position += count;
}

} // namespace velomire::program
