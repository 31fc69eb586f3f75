#include "editing/SampleListCells.h"

#include "editing/NoteName.h"
#include "transfer/SamplerModel.h"

namespace velomire::editing {

const std::array<SampleListColumn, SampleListCells::columnCount>& SampleListCells::Columns() {
    static constexpr std::array<SampleListColumn, columnCount> columns = {{
        {"SampleName", 80, CellAlignment::left},
        {"Mode", 50, CellAlignment::centre},
        {"Freq.", 50, CellAlignment::centre},
        {"Bits", 30, CellAlignment::centre},
        {"Size", 60, CellAlignment::right},
        {"Loop", 40, CellAlignment::centre},
        {"LoK", 40, CellAlignment::centre},
        {"Pitch", 40, CellAlignment::centre},
        {"HiK", 40, CellAlignment::centre},
        {"Out", 40, CellAlignment::centre},
    }};
    return columns;
}

std::string SampleListCells::ModeText(std::int16_t sendMode) {
    switch (sendMode) {
    case program::sendMono:
        return "Mono";
    case program::sendLeft:
        return "Left";
    case program::sendRight:
        return "Right";
    case program::sendStereo:
        return "Stereo";
    default:
        return {};
    }
}

std::string SampleListCells::LoopText(std::int16_t loopMode, std::int16_t loopCount) {
    if (loopMode != program::loopNormal && loopMode != program::loopUntilRelease) {
        return {};
    }
    return std::to_string(loopCount);
}

std::string SampleListCells::OutText(std::int16_t sendMode, std::int16_t output,
                                     std::int32_t samplerModel) {
    if (transfer::SamplerModel::PlaysOnAllVoices(samplerModel)) {
        return "All";
    }
    const int first = output + 1;
    if (sendMode != program::sendStereo) {
        return std::to_string(first);
    }
    // The keygroup message sends the index and the index + 1, which wraps to output 1 past 8.
    constexpr int outputs = 8;
    const int second = first >= outputs ? 1 : first + 1;
    return std::to_string(first) + "-" + std::to_string(second);
}

std::string SampleListCells::Text(const program::SampleEntry& entry, int column,
                                  std::int32_t samplerModel) {
    const program::SampleBlock& s = entry.sample;
    const program::KeygroupBlock& k = entry.keygroup;
    switch (column) {
    case 0:
        return program::FieldText(s.sampleName);
    case 1:
        return ModeText(s.sendMode);
    case 2:
        return std::to_string(s.sampleRate);
    case 3:
        return std::to_string(s.bits);
    case 4:
        return std::to_string(s.lengthWords);
    case 5:
        return LoopText(s.loopMode, s.loopCount);
    case 6:
        return FormatNoteName(k.lowKey);
    case 7:
        return FormatNoteName(s.rootKey);
    case 8:
        return FormatNoteName(k.highKey);
    case 9:
        return OutText(s.sendMode, k.output, samplerModel);
    default:
        return {};
    }
}

std::string SampleListCells::CutSampleName(std::string_view text) {
    if (text.size() <= maxSampleNameBytes) {
        return std::string(text);
    }
    std::size_t end = maxSampleNameBytes;
    // Step back over continuation bytes (10xxxxxx) so the cut falls before a character's lead byte.
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) {
        --end;
    }
    return std::string(text.substr(0, end));
}

} // namespace velomire::editing
