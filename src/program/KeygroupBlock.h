#pragma once

#include "program/ByteReader.h"
#include "program/ByteWriter.h"

#include <array>
#include <cstddef>
#include <cstdint>

namespace velomire::program {

// The keygroup of one program row, stored byte for byte (76 bytes) in the program file. The
// keygroup and velocity-zone words are sent in storage order by the keygroup messages.
struct KeygroupBlock {
    static constexpr std::size_t size = 76;
    static constexpr std::size_t wordCount = 24;
    static constexpr std::size_t velocityWordCount = 4;

    std::int16_t lowKey = 0;       // note number
    std::int16_t highKey = 0;      // note number
    std::int32_t keygroupTune = 0; // low 16 bits sent
    std::array<std::int16_t, wordCount> keygroupWords{};
    std::int16_t output = 0; // sampler output 0-7; for stereo the even first output of the pair
    std::int16_t velocityLow = 0;
    std::int16_t velocityHigh = 0;
    std::array<std::uint8_t, 2> padding{};
    std::int32_t velocityTune = 0; // low 16 bits sent
    std::array<std::int16_t, velocityWordCount> velocityWords{};

    void Read(ByteReader& in);
    void Write(ByteWriter& out) const;
    bool operator==(const KeygroupBlock&) const = default;
};

static_assert(offsetof(KeygroupBlock, highKey) == 2);
static_assert(offsetof(KeygroupBlock, keygroupTune) == 4);
static_assert(offsetof(KeygroupBlock, keygroupWords) == 8);
static_assert(offsetof(KeygroupBlock, output) == 56);
static_assert(offsetof(KeygroupBlock, velocityLow) == 58);
static_assert(offsetof(KeygroupBlock, velocityHigh) == 60);
static_assert(offsetof(KeygroupBlock, padding) == 62);
static_assert(offsetof(KeygroupBlock, velocityTune) == 64);
static_assert(offsetof(KeygroupBlock, velocityWords) == 68);
static_assert(sizeof(KeygroupBlock) == KeygroupBlock::size);

} // namespace velomire::program
