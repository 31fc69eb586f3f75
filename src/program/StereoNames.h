#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace velomire::program {

// A stereo entry reaches a sampler as two samples named after it: the left half (part 1, as
// sendLeft) ending in "-L", the right half (part 2, as sendRight) in "-R". Every family names
// its halves so; only the width of its name field differs.

// The parts a send mode sends: {0}, {1}, {2} or {1, 2} for stereo.
std::vector<int> PartsOf(std::int16_t sendMode);

// The suffix of part 1 or 2; empty for any other part (a mono entry is part 0).
std::string_view HalfSuffix(int part);

// `name` as part `part` carries it in a field of `width` characters: cut to the field and padded
// with spaces, its last two characters then replaced by the part's suffix. With `width` 0 the
// field is as long as the name and the suffix follows it.
std::string PartName(std::string_view name, int part, std::size_t width);

// The part a name says it is: 1 when it ends in "-L", 2 in "-R", 0 otherwise; a name of two
// characters or fewer is no half.
int PartOfName(std::string_view name);

// Whether two names are the halves of one stereo entry as a send names them in a field of
// `width` characters (0: any length): the same name, then "-L" and "-R" (PartName).
bool StereoHalves(std::string_view left, std::string_view right, std::size_t width);

// The name of the entry whose half is `half`: without its last two characters (its suffix) and
// the spaces before them.
std::string EntryNameOfHalf(std::string_view half);

} // namespace velomire::program
