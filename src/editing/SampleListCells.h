#pragma once

#include "program/Program.h"

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace velomire::editing {

enum class CellAlignment { left, centre, right };

// One column of the sample list: its title, its width in pixels and how its cells are aligned.
struct SampleListColumn {
    std::string_view title;
    int width;
    CellAlignment alignment;
};

// What the sample list shows: the ten columns and the text of every cell, worked out from one
// row of the program.
class SampleListCells {
public:
    static constexpr int columnCount = 10;
    static constexpr int nameColumn = 0;
    // sampleName is a 20-byte field: 19 characters and the terminating NUL.
    static constexpr std::size_t maxSampleNameBytes = 19;

    static const std::array<SampleListColumn, columnCount>& Columns();

    // The text of one cell when sending to `samplerModel` (SamplerModel numbering); empty for a
    // column outside 0 to 9.
    static std::string Text(const program::SampleEntry& entry, int column,
                            std::int32_t samplerModel);

    // "Mono", "Left", "Right", "Stereo"; empty for any other send mode.
    static std::string ModeText(std::int16_t sendMode);
    // The loop count, shown only for the two looping modes (normal, until release).
    static std::string LoopText(std::int16_t loopMode, std::int16_t loopCount);
    // Mono, left and right: the 1-based output ("6" for index 5). Stereo: the two outputs the
    // keygroup message names, the index and the one after it, wrapping from 8 back to 1: "1-2"
    // for 0, "5-6" for 4, and for an odd index the Sample Editor may leave behind, "6-7" for 5
    // and "8-1" for 7. "All" for any row on a model that plays every entry on all its voices
    // (the S900/S950), which is sent no output.
    static std::string OutText(std::int16_t sendMode, std::int16_t output,
                               std::int32_t samplerModel);

    // A renamed label cut to the 19 bytes sampleName holds, never in the middle of a UTF-8
    // character.
    static std::string CutSampleName(std::string_view text);
};

} // namespace velomire::editing
