#pragma once

#include "instrument/Instrument.h"
#include "instrument/ProgramMapping.h"
#include "program/Program.h"
#include "program/SampleConverter.h"
#include "program/Status.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <span>
#include <string>
#include <vector>

namespace velomire::instrument {

// Creates `file` holding `bytes`; refused (never replaced) when something of that name exists.
// The command line and the desktop pass one that writes through a temporary file (NewFile).
using NewFileWriter = std::function<program::Status(const std::filesystem::path& file,
                                                    std::span<const std::uint8_t> bytes)>;

// "N: name (detail)": an instrument of a file as the command line's --list and the desktop's
// Import instrument list it.
std::string EntryLine(const InstrumentEntry& entry);

// Why an import cannot write its program as `programFile` (named `shown` in the reason): not a
// ".vmp" name, its folder missing, or something of that name there already. Empty when it can.
std::string ProgramFileProblem(const std::filesystem::path& programFile, const std::string& shown);

// Fills in what the mapping needs of every sound the instrument names as a file: its channels,
// rate and frames (through the WAV reader, or the converter for other formats) and the loops and
// unity note of its WAV "smpl" chunk. A sound already holding its words is left as it is. False,
// with one line naming the sound, when one cannot be read.
bool ProbeSounds(Instrument& instrument, program::SampleConverter& converter, std::string& error);

// The words of one sound as 16-bit frames of its channels (at most two), read from its file or
// taken from its words.
struct SoundWords {
    std::vector<std::int16_t> words;
    std::uint16_t channels = 1;
    std::uint32_t rate = 0;
};

// Writes the program `mapping` makes of `instrument` as `programFile` (a .vmp name that must not
// exist yet), with each planned sound as a new 16-bit WAV file beside it: converted through
// `converter` where the plan says so, its first row's root key, loops and key range in "smpl" and
// "inst" chunks, named after the sound (SafeFileStem), with "-2", "-3" ... when the name is
// taken. Nothing is written over an existing file nor outside the program's folder (temporary
// files of a conversion live there and go); on failure the files this call wrote are removed.
// `program` gets the program as written. `progress`, when given, gets the share of the sounds
// done (0 to 1, conversions included) and returns false to stop: the import then ends as
// "stopped", with the files it wrote removed.
using ImportProgress = std::function<bool(double done)>;
program::Status WriteImportedProgram(const Instrument& instrument, const ProgramMapping& mapping,
                                     const std::filesystem::path& programFile,
                                     program::SampleConverter& converter,
                                     const NewFileWriter& writeNew, program::Program& program,
                                     const ImportProgress& progress = {});

} // namespace velomire::instrument
