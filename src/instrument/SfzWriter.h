#pragma once

#include "instrument/ImportWriter.h"
#include "program/Program.h"
#include "program/Status.h"

#include <filesystem>
#include <string>
#include <vector>

namespace velomire::instrument {

// One <region> of the exported SFZ: the row it comes from and the WAV file it plays.
struct SfzRegionFile {
    int row = 0;
    std::string fileName; // in the SFZ's folder
};

// The SFZ text of `program`, one <region> per row playing regions[i].fileName: its key and
// velocity range, root key, keygroup tune (as transpose and tune in cents, exact to the 1/256
// semitone), the sound's start and end when they are not the file's, its loop mode and first
// loop (loop_end inclusive), and pan=-100/100 for a row sending one side of a stereo file.
std::string SfzText(const program::Program& program, const std::vector<SfzRegionFile>& regions,
                    const std::string& title);

// Writes `program` (whose WAV files lie in `programDirectory`) into the folder `directory` as
// NAME.sfz (NAME the program's file stem `name`) and one 16-bit WAV file per row's sound, with a
// "smpl" chunk holding the row's root key and all four loops and an "inst" chunk its key range;
// rows of the same file and chunks share one. Never over an existing file: a WAV name taken gets
// "-2", "-3" ...; an existing NAME.sfz refuses the export. `written` gets the files written.
program::Status ExportSfz(const program::Program& program,
                          const std::filesystem::path& programDirectory, const std::string& name,
                          const std::filesystem::path& directory, const NewFileWriter& writeNew,
                          std::vector<std::filesystem::path>& written);

} // namespace velomire::instrument
