#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

// What the families' decoders share: reading 7-bit groups, checksums, and the parameter blocks
// the Akai samplers send as pairs of wire bytes.
namespace velomire::transfer::wire {

using Bytes = std::span<const std::uint8_t>;

// What a message parser gives: the value, or why the message was refused.
template <class T> struct Parsed {
    std::optional<T> value{};
    std::string error{};

    static Parsed Refused(std::string why) { return {std::nullopt, std::move(why)}; }
};

// count 7-bit groups from `at`, least significant first.
std::uint32_t SevenBit(Bytes m, std::size_t at, int count);
std::uint8_t XorOf(Bytes bytes);
bool AllData(Bytes bytes);

// The sample rate in Hz for a period in ns.
std::uint32_t RateOf(std::uint32_t periodNs);
// An offset-binary word of `bits` bits as a signed 16-bit frame.
std::int16_t FrameOf(std::uint32_t word, int bits);

// The bytes of a parameter block, rebuilt from its wire form; little-endian fields inside.
class Block {
public:
    // Two wire bytes per block byte, low nibble first (S1000 family).
    static std::optional<Block> FromNibbles(Bytes wire);
    // Two wire bytes per block byte: its low 7 bits, then its top bit (S900/S950).
    static std::optional<Block> FromSplitBytes(Bytes wire);

    std::size_t Size() const { return bytes.size(); }
    std::int64_t U8(std::size_t at) const { return bytes[at]; }
    std::int64_t U16(std::size_t at) const { return bytes[at] | bytes[at + 1] << 8; }
    std::int64_t I16(std::size_t at) const { return static_cast<std::int16_t>(U16(at)); }
    std::int64_t U32(std::size_t at) const {
        return static_cast<std::int64_t>(static_cast<std::uint32_t>(U16(at)) |
                                         static_cast<std::uint32_t>(U16(at + 2)) << 16);
    }
    std::int64_t I32(std::size_t at) const { return static_cast<std::int32_t>(U32(at)); }
    // 12 characters of the Akai character set.
    std::string AkaiName(std::size_t at) const;
    // 10 ASCII characters; anything else shows as '?'.
    std::string S900Name(std::size_t at) const;
    std::vector<std::int64_t> Run(std::size_t at, std::size_t count) const {
        return {bytes.begin() + static_cast<std::ptrdiff_t>(at),
                bytes.begin() + static_cast<std::ptrdiff_t>(at + count)};
    }

private:
    std::vector<std::uint8_t> bytes;
};

} // namespace velomire::transfer::wire
