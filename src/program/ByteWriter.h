#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace velomire::program {

// Appends little-endian values to a byte vector.
class ByteWriter {
public:
    explicit ByteWriter(std::vector<std::uint8_t>& out) : out(out) {}

    void U8(std::uint8_t value) { out.push_back(value); }
    void U16(std::uint16_t value);
    void I16(std::int16_t value) { U16(static_cast<std::uint16_t>(value)); }
    void U32(std::uint32_t value);
    void I32(std::int32_t value) { U32(static_cast<std::uint32_t>(value)); }

    template <typename T, std::size_t N> void Bytes(const std::array<T, N>& in) {
        static_assert(sizeof(T) == 1);
        for (auto b : in) {
            U8(static_cast<std::uint8_t>(b));
        }
    }

    void Zeros(std::size_t count) { out.insert(out.end(), count, 0); }

private:
    std::vector<std::uint8_t>& out;
};

} // namespace velomire::program
