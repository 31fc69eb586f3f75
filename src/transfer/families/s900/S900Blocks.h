#pragma once

#include "program/Program.h"

#include <cstdint>
#include <vector>

// The Akai S900/S950 header and program, byte for byte: the 8-bit bytes its sample header and
// program messages carry before each is split into its low 7 bits and its top bit, which are also
// what a sample or program file on its floppies begins with; and the messages built from them.
namespace velomire::transfer::s900 {

// The sample header of one part of a row's sample (part 0 mono, 1 left, 2 right: the name ends in
// "-L" or "-R"), 60 bytes.
std::vector<std::uint8_t> SampleHeaderBlock(const program::SampleBlock& sample, int part);
// The program: its 38-byte header, announcing `transferSampleCount` keygroups and holding the
// MIDI program number (programParams[0]), then a 70-byte keygroup per sample part. A stereo row
// plays its parts on outputs 8 and 9, any other row on all voices (the row's output is not sent).
std::vector<std::uint8_t> ProgramBlock(const program::Program& program);

// The messages a send puts out: F0 47, the MIDI channel, the function, 40, the sample or program
// number, 00; then every byte of the block as its low 7 bits and its top bit, the XOR of those,
// and F7.
std::vector<std::uint8_t> SampleHeaderMessage(const program::SampleBlock& sample, int part,
                                              std::int32_t channel);
std::vector<std::uint8_t> ProgramMessage(const program::Program& program, std::int32_t channel);

} // namespace velomire::transfer::s900
