#pragma once

#include "program/Program.h"
#include "program/SampleChunks.h"
#include "program/UserMessages.h"
#include "transfer/Librarian.h"
#include "transfer/SysExDecoder.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace velomire::transfer {

// Creates files that never replace one already there. The real one writes under a temporary
// name and renames (program::NewFile); the tests keep the files in memory.
class FileCreator {
public:
    enum class Created { done, taken, failed };
    virtual ~FileCreator() = default;
    // Something (a file, a folder, a link) has this name.
    virtual bool Exists(const std::filesystem::path& path) = 0;
    // The whole file or nothing; `error` says why it failed.
    virtual Created Create(const std::filesystem::path& path, std::span<const std::uint8_t> bytes,
                           std::string& error) = 0;
};

// The list of numbers stored under `name`; empty when there is none.
std::vector<std::int64_t> FieldList(const DecodedFields& fields, std::string_view name);

// What a received sample says about how it is played, in the terms of a WAV file's sampler
// chunks (root key and loops, counted in the frames received), read by the sample's family.
program::SampleChunks ReceivedSampleChunks(const DecodedSample& sample);

// The name the sampler gives the sample or program without the spaces that pad it, or nothing
// when its family sends none.
std::optional<std::string> ReceivedName(const DecodedFields& fields);

// One keygroup zone of a received program: the sample it plays (by the sampler's name) and the
// keygroup row it becomes. A stereo row plays two samples, the halves a send made of one stereo
// entry: `sampleName` is then the left half and `rightSampleName` the right one.
struct ReceivedZone {
    std::string sampleName;
    program::KeygroupBlock keygroup;
    std::string rightSampleName{};
};

// What the user must know of a sample taken back beyond its file ("the left half of a stereo
// pair"), as its family says; empty when nothing.
std::string ReceivedSampleNote(const DecodedSample& sample);

// The received program's header words and zones, read by its family, each zone's keygroup
// starting from `defaults`. False for a family that keeps no programs.
bool ReceivedProgramZones(const DecodedProgram& received, const program::KeygroupBlock& defaults,
                          program::ProgramHeader& header, std::vector<ReceivedZone>& zones);

// The samples and programs taken back from a sampler, written into one directory: each sample
// as a 16-bit mono WAV file with a "smpl" chunk (root key, loops) and, when a keygroup plays it,
// an "inst" chunk (its key range); a program as a program file beside its samples, whose rows
// are the keygroups' zones (key ranges, velocities, output) on the WAV files. Files are named
// after the sampler's names, made safe, never over a file already there: "-2", "-3", ... are
// added where a name is taken. Each file is written whole or not at all.
class ReceivedFiles {
public:
    ReceivedFiles(std::filesystem::path directory, FileCreator& creator);

    // Writes the sample; the file's name, or nothing with `error` saying why.
    std::optional<std::string> WriteSample(const DecodedSample& sample, std::string& error);

    // Writes the program's samples and then "NAME.vmp"; `samples` are those its zones name (a
    // zone whose sample is not among them is told in `messages` and left out). The program
    // file's name, or nothing with `error` saying why; the samples written stay.
    std::optional<std::string> WriteProgram(const DecodedProgram& program,
                                            std::span<const DecodedSample> samples,
                                            program::UserMessages& messages, std::string& error);

    // Every file this object wrote, in order.
    const std::vector<std::string>& Written() const { return written; }

private:
    std::optional<std::string> Write(const std::string& stem, const std::string& extension,
                                     std::span<const std::uint8_t> bytes, std::string& error);

    std::filesystem::path directory;
    FileCreator& creator;
    std::vector<std::string> written;
};

// Takes sample `number` back and writes it; `written` names the file, with the sample's note in
// brackets when it has one. Nothing is written unless the whole sample came.
LibrarianResult GetSampleFile(Librarian& librarian, int number, ReceivedFiles& files,
                              LibrarianProgress& progress, std::string& written);

// Takes program `number` back with every sample its zones play (found by name among `entries`,
// the sampler's list), then writes the samples and the program file; `written` names the program
// file and `sampleNumbers` gets the numbers of the samples taken. Nothing is written unless all
// of them came.
LibrarianResult GetProgramFiles(Librarian& librarian, int number,
                                const std::vector<SamplerEntry>& entries, ReceivedFiles& files,
                                LibrarianProgress& progress, program::UserMessages& messages,
                                std::string& written, std::set<int>& sampleNumbers);

} // namespace velomire::transfer
