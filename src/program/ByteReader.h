#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace velomire::program {

// Reads little-endian values from a byte span. Reading past the end never touches memory outside
// the span: it yields zeros and marks the reader as failed, so a caller can parse a whole record
// and check Ok() once at the end.
class ByteReader {
public:
    explicit ByteReader(std::span<const std::uint8_t> data) : data(data) {}

    std::uint8_t U8();
    std::uint16_t U16();
    std::int16_t I16() { return static_cast<std::int16_t>(U16()); }
    std::uint32_t U32();
    std::int32_t I32() { return static_cast<std::int32_t>(U32()); }

    template <typename T, std::size_t N> void Bytes(std::array<T, N>& out) {
        static_assert(sizeof(T) == 1);
        for (auto& b : out) {
            b = static_cast<T>(U8());
        }
    }

    void Skip(std::size_t count);
    bool Ok() const { return ok; }
    std::size_t Position() const { return position; }
    std::size_t Remaining() const { return data.size() - position; }

private:
    std::span<const std::uint8_t> data;
    std::size_t position = 0;
    bool ok = true;
};

} // namespace velomire::program
