#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace velomire::cli {

// `velomire-cli image`: a program written as a disk image for the sampler's floppy (or into the
// free space of one), the contents of an image listed, its samples extracted as WAV files.
struct ImageOptions {
    std::filesystem::path program; // write: the program file
    std::int32_t model = -1;
    std::string medium;           // "dd", "hd", "scsi"; empty with --add (the image's own)
    std::filesystem::path output; // -o
    bool add = false;
    bool force = false;            // replace an existing output
    std::filesystem::path list;    // --list FILE
    std::filesystem::path extract; // --extract FILE
    std::filesystem::path outDir;  // --out DIR of --extract
};

// One of the three actions, as the options say; the exit status (0, 1 refused or failed naming
// the limit, 2 for options that do not fit together). Messages go to stderr, results to stdout.
int RunImageCommand(const ImageOptions& options);
// The same from the command's arguments (after "image").
int ImageMain(const std::vector<std::string>& args);
// What `velomire-cli image --help` prints.
extern const char* const imageHelp;

// The file name a sample of this name is written under in `directory`: characters a file
// system may refuse or a shell may misread become '_', and a name already there gets "-2",
// "-3"... so nothing is overwritten.
std::filesystem::path FreeWavPath(const std::filesystem::path& directory, const std::string& name);

} // namespace velomire::cli
