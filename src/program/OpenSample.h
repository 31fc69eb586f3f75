#pragma once

#include "program/Program.h"
#include "program/UserMessages.h"

#include <filesystem>
#include <optional>
#include <string>

namespace velomire::program {

// The name row 0 gets for the WAV file the user chose: its name without extension followed by
// ".wav". On a file system that tells letter cases apart that name may not be the chosen file
// (Bass.WAV is not Bass.wav); the file's own name is kept then, so the row can be read and sent.
std::string SampleFileName(const std::filesystem::path& wavPath);

// "Open sample" once the file is chosen: starts a new program named after the WAV file (without
// extension) in the file's directory, which becomes the working directory, and fills row 0 from
// the file. A file the reader refuses (the reader has said why) and a name the row cannot hold
// (more than 39 characters) are refused before anything changes: nothing, and the program is as
// it was. Returns the document title.
std::optional<std::string> OpenSample(Program& program, const std::filesystem::path& wavPath,
                                      UserMessages& messages);

} // namespace velomire::program
