#pragma once

#include "program/Program.h"

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace velomire::program {

// The note a sample file's name stands for, in the program's octave convention (C3 = 60, C0 = 24,
// as FormatNoteName prints): a note name with an optional sharp ('#') or flat ('b') and an octave
// from -2 to 8 ("Pad_C3", "bass f#1", "Str-Bb2", "PadEb4"), else a MIDI number of exactly three
// digits ("piano 060"). The directory and extension are ignored; the last note name wins over any
// number. A name without one, or whose note lies outside 24 to 127 ("C-1" is note 12), gives none.
// A dash between letter and digit is a minus sign, so tracker-style "C-3" is octave -3 (none).
std::optional<int> NoteFromFileName(std::string_view fileName);

// "Map keys from names" on the rows of `entries` listed in `rows` (all rows when `rows` is
// empty): each row whose file name gives a note gets it as its pitch; those rows are then sorted
// by pitch among the places they held (ties keep their order; the other rows stay where they
// are), and each key range meets its neighbours half-way: between pitches a < b the lower range
// ends at (a + b) / 2 and the next starts one key above; the lowest starts at 24 and the highest
// ends at 127; rows of the same pitch share one range. Returns the file names of the rows
// without a note, which keep their values.
std::vector<std::string> MapKeysFromNames(std::span<SampleEntry> entries, std::vector<int> rows);

// The one message listing the files whose names give no note.
std::string UnmappedNamesText(const std::vector<std::string>& fileNames);

} // namespace velomire::program
