#pragma once

#include "program/Program.h"
#include "transfer/families/s1000/S1000Wire.h"

#include <cstdint>
#include <vector>

namespace velomire::transfer {

// The parameter blocks of the Akai S1000/S3000 family, byte for byte: what its sample header,
// program header and keygroup messages carry before the bytes are split into nibbles, and what
// its disks hold at the start of a sample or program file. 150 bytes for the S1000/S1100, 192 for
// the later models (the last 42 zero but for the few the later models read, S1000Wire.h).
namespace s1000 {

// The block size of the model, as the model table gives it (S1000/S1100 short, every later model
// long).
std::size_t BlockBytes(std::int32_t model);

// The header of one part of a row's sample (part 0 mono, 1 left, 2 right: the name ends in "-L"
// or "-R").
std::vector<std::uint8_t> SampleHeaderBlock(const program::SampleBlock& sample, int part,
                                            std::int32_t model);
// The program header, announcing one keygroup per row.
std::vector<std::uint8_t> ProgramHeaderBlock(const program::Program& program, std::int32_t model);
// The keygroup of row `row`: a stereo row plays its two parts in velocity zones 1 and 2, panned
// left and right.
std::vector<std::uint8_t> KeygroupBlock(const program::Program& program, int row,
                                        std::int32_t model);

// The 12 Akai character codes of a name as the blocks hold it: cut to 12 characters, padded with
// spaces, the last two replaced by "-L" or "-R" for part 1 or 2.
std::vector<std::uint8_t> AkaiNameCodes(std::string_view name, int part);

} // namespace s1000
} // namespace velomire::transfer
