#pragma once

#include "program/KeygroupBlock.h"
#include "program/ProgramHeader.h"
#include "program/SampleBlock.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace velomire::program {

class WavInfo;

// One row of the program: its sound and its keygroup, stored one after the other.
struct SampleEntry {
    SampleBlock sample;
    KeygroupBlock keygroup;
    bool operator==(const SampleEntry&) const = default;
};

// The text of a fixed character field: up to its first NUL, never past the field, even when a
// file from elsewhere left it unterminated.
template <std::size_t N> std::string FieldText(const std::array<char, N>& field) {
    const auto end = std::find(field.begin(), field.end(), '\0');
    return std::string(field.begin(), end);
}

// Copies at most maxChars characters of text into the field and fills the rest with NULs.
template <std::size_t N>
void SetFieldText(std::array<char, N>& field, std::string_view text, std::size_t maxChars = N - 1) {
    field.fill('\0');
    const std::size_t count = std::min({text.size(), maxChars, N});
    std::copy_n(text.begin(), count, field.begin());
}

// The program being edited: its stored header and sample table, plus what the application keeps
// for it while it runs (directory, counters of the next send, the editors' working copy).
class Program {
public:
    static constexpr int maxSamples = 40;
    // The keys a row maps and is rooted on: 24 to 127.
    static constexpr int lowestKey = 24;
    static constexpr int highestKey = 127;
    static constexpr std::size_t programNameChars = 20;
    static constexpr std::size_t sampleNameChars = 12;
    static constexpr std::size_t fileNameChars = 39;

    ProgramHeader header;
    std::array<SampleEntry, maxSamples> samples{};
    std::int32_t sampleCount = 0;

    SampleEntry editEntry{};                // working copy of the row an editor is open on
    std::filesystem::path programDirectory; // where the rows' sound files lie
    bool programCreated = false;
    int traceMode = 0;

    // The sampler's numbers for the next send: programs and samples already in the sampler.
    std::int32_t nextProgramNumber = 0;
    std::int32_t nextSampleNumber = 0;
    // Working values of one send, in words and sampler samples.
    std::uint32_t transferWords = 0;
    std::uint32_t transferWordsSent = 0;
    std::uint32_t transferSampleCount = 0;

    // Names the program after the file of `path` (first 20 characters of its name without
    // extension), makes the file's directory the program directory and marks the program as
    // created. A new program also gets an empty table and a fresh
    // header. Returns the document title: the file's name without extension.
    std::string SetProgramPath(const std::filesystem::path& path, bool isNew);

    // Fills row `row` (which must be sampleCount) with the defaults for the file just opened by
    // `wav`. The caller closes the file and increments sampleCount.
    void InitSampleEntry(int row, std::string_view fileName, const WavInfo& wav);

    // Moves every following row down by one and decrements sampleCount.
    void RemoveSampleEntry(int row);
    // Removes the given rows (in any order; repeated rows and rows past sampleCount are ignored);
    // the rows after them close up.
    void RemoveSampleEntries(std::vector<int> rows);
    // Moves each given row one place up (step -1) or down (+1) past its neighbour, keeping the
    // rows' order. Nothing moves when one of them already stands at that end of the table.
    // Returns the rows' new indices, or nothing when nothing moved.
    std::vector<int> MoveSampleEntries(std::vector<int> rows, int step);
    // Moves the given rows, keeping their order, so that they stand together just before the row
    // that is now at `before` (sampleCount: at the end). Returns their new indices, or nothing
    // when nothing moved.
    std::vector<int> MoveSampleEntriesTo(std::vector<int> rows, int before);

    // Where a row's sound file lies: the program's directory joined with the name the row holds
    // (the name alone while the program has no directory yet).
    std::filesystem::path SampleFilePath(std::string_view fileName) const {
        return programDirectory / std::filesystem::path(fileName);
    }

    std::string ProgramName() const { return FieldText(header.programName); }
};

// trunc(10000 * ln(rate / 44100) / ln 9.5475), and the lowest 32-bit value for rates below
// 44100 Hz (whose low 16 bits, the ones sent, are 0).
std::int32_t TuneOffsetForRate(std::uint32_t rate);

} // namespace velomire::program
