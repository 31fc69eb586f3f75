#include "transfer/families/WireBlock.h"

#include "transfer/DumpText.h"

#include <algorithm>

namespace velomire::transfer::wire {

std::uint32_t SevenBit(Bytes m, std::size_t at, int count) {
    std::uint32_t value = 0;
    for (int i = count - 1; i >= 0; --i) {
        value = value << 7 | m[at + static_cast<std::size_t>(i)];
    }
    return value;
}

std::uint8_t XorOf(Bytes bytes) {
    std::uint8_t sum = 0;
    for (std::uint8_t b : bytes) {
        sum ^= b;
    }
    return sum;
}

bool AllData(Bytes bytes) {
    return std::all_of(bytes.begin(), bytes.end(), [](std::uint8_t b) { return b < 0x80; });
}

std::optional<Block> Block::FromNibbles(Bytes wire) {
    Block block;
    for (std::size_t i = 0; i + 1 < wire.size(); i += 2) {
        if (wire[i] > 0x0F || wire[i + 1] > 0x0F) {
            return std::nullopt;
        }
        block.bytes.push_back(static_cast<std::uint8_t>(wire[i] | wire[i + 1] << 4));
    }
    return block;
}

std::optional<Block> Block::FromSplitBytes(Bytes wire) {
    Block block;
    for (std::size_t i = 0; i + 1 < wire.size(); i += 2) {
        if (wire[i] > 0x7F || wire[i + 1] > 0x01) {
            return std::nullopt;
        }
        block.bytes.push_back(static_cast<std::uint8_t>(wire[i] | wire[i + 1] << 7));
    }
    return block;
}

std::string Block::AkaiName(std::size_t at) const {
    std::string name;
    for (std::size_t i = 0; i < 12; ++i) {
        name += AkaiChar(bytes[at + i]);
    }
    return name;
}

std::string Block::S900Name(std::size_t at) const {
    std::string name;
    for (std::size_t i = 0; i < 10; ++i) {
        const std::uint8_t c = bytes[at + i];
        name += c >= 0x20 && c < 0x7F ? static_cast<char>(c) : '?';
    }
    return name;
}

// The sample rate in Hz for a period in ns. Senders round the period up (1e9 / rate + 0.9 ns, as
// the WAV reader does), so several rates give one period; a common one among them is taken, else
// the nearest.
std::uint32_t RateOf(std::uint32_t periodNs) {
    if (periodNs == 0) {
        return 0;
    }
    constexpr std::uint32_t commonRates[] = {8000,  11025, 16000, 22050, 24000,
                                             32000, 44100, 48000, 88200, 96000};
    for (std::uint32_t rate : commonRates) {
        if (static_cast<std::uint32_t>(1000000000.0 / rate + 0.9) == periodNs) {
            return rate;
        }
    }
    return static_cast<std::uint32_t>((1000000000ull + periodNs / 2) / periodNs);
}

// An offset-binary word of `bits` bits as a signed 16-bit frame.
std::int16_t FrameOf(std::uint32_t word, int bits) {
    const std::uint32_t word16 = bits >= 16 ? word >> (bits - 16) : word << (16 - bits);
    return static_cast<std::int16_t>(static_cast<std::int32_t>(word16 & 0xFFFF) - 0x8000);
}

} // namespace velomire::transfer::wire
