#pragma once

#include "transfer/SysExDecoder.h"

#include <nlohmann/json.hpp>

#include <cstdint>
#include <filesystem>
#include <optional>
#include <set>
#include <span>
#include <string>

namespace velomire::cli {

nlohmann::ordered_json DecodedSampleToJson(const transfer::DecodedSample& sample);
nlohmann::ordered_json DecodedProgramToJson(const transfer::DecodedProgram& program);

// Writes what a dump carries into a directory: "sample-NNN.wav" (16-bit, mono) and
// "sample-NNN.json" for a sample, "program-NNN.json" for a program, NNN being its number on the
// sampler. A second sample or program of the same number gets a name of its own
// ("sample-004-2", then "-3", ...), so nothing received is lost. Every file is created new under
// a temporary name and then renamed: a link in the directory is never written through, and a
// file that was there before is replaced only with `replace` (--force).
class DecodedFiles {
public:
    DecodedFiles(std::filesystem::path directory, bool replace);

    // The name, without extension, for the next sample or program of this number.
    std::string NewSampleName(int number);
    std::string NewProgramName(int number);

    // Writes the files of `name` (from New...Name); the same name written again replaces this
    // run's own files. An empty text when written, else one line saying why not.
    std::string WriteSample(const std::string& name, const transfer::DecodedSample& sample);
    std::string WriteProgram(const std::string& name, const transfer::DecodedProgram& program);

    // The first file in `directory` named as this writer names its files (an earlier run's
    // output, which only --force replaces), or nothing.
    static std::optional<std::string> EarlierOutput(const std::filesystem::path& directory);

private:
    std::string NewName(const std::string& kind, int number, bool withWav);
    std::string Write(const std::string& fileName, std::span<const std::uint8_t> bytes);

    std::filesystem::path directory;
    bool replace;
    std::set<std::string> given;   // names handed out by this run
    std::set<std::string> written; // files this run wrote
};

} // namespace velomire::cli
