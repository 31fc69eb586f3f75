#pragma once

#include "program/ByteReader.h"
#include "program/ByteWriter.h"

#include <array>
#include <cstddef>
#include <cstdint>

namespace velomire::program {

// The program-level block, stored byte for byte (132 bytes) in the program file. All 16-bit
// fields are signed.
struct ProgramHeader {
    static constexpr std::size_t size = 132;
    static constexpr std::size_t paramCount = 43;
    static constexpr int keygroupCountParam = 27; // programParams word holding the keygroup count

    std::array<std::uint8_t, 20> reservedText{};
    std::uint8_t reserved = 0;
    std::uint8_t filesChecked = 0; // 1 when the last send found every sample file
    std::int16_t programNumber = 0;
    std::array<std::uint8_t, 2> padding{};
    std::array<char, 20> programName{}; // not terminated when it fills the field
    std::array<std::int16_t, paramCount> programParams{};

    void Read(ByteReader& in);
    void Write(ByteWriter& out) const;
    bool operator==(const ProgramHeader&) const = default;

    // Resets the block to a new program's values: reserved bytes 0 and the default parameter
    // words, word 0 being the program number given. programNumber, filesChecked, the padding and
    // the name are left as they are.
    void ResetForNewProgram(std::int32_t nextProgramNumber);
};

static_assert(offsetof(ProgramHeader, reserved) == 20);
static_assert(offsetof(ProgramHeader, filesChecked) == 21);
static_assert(offsetof(ProgramHeader, programNumber) == 22);
static_assert(offsetof(ProgramHeader, padding) == 24);
static_assert(offsetof(ProgramHeader, programName) == 26);
static_assert(offsetof(ProgramHeader, programParams) == 46);
static_assert(sizeof(ProgramHeader) == ProgramHeader::size);

} // namespace velomire::program
