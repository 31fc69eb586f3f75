#pragma once

#include "program/Program.h"
#include "program/UserMessages.h"

#include <string>

namespace velomire::program {

// Adds the WAV file `fileName` (named relative to the program's directory) as the program's next
// row: opens it, checks it, fills the row, closes it and counts it. What the file's "smpl" and
// "inst" chunks say then goes into the row (ApplySampleChunks). Refused with one message each, the
// program unchanged:
// - the program is full: "Error : Maximum number of Samples (40) reached" (caption: the
// application's);
// - the name does not fit a row: "Error: Sample file names are limited to 39 characters !"
//   (caption: the file name);
// - the reader refuses the file (the reader says why).
// Add Samples, Open sample and `velomire-cli new` all add their files through it.
bool AddSample(Program& program, const std::string& fileName, UserMessages& messages);

} // namespace velomire::program
