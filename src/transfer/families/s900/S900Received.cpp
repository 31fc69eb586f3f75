#include "transfer/families/s900/S900Received.h"

#include "transfer/ReceivedFiles.h"

namespace velomire::transfer {

namespace {

constexpr std::int16_t leftOutput = 8;
constexpr std::int16_t rightOutput = 9;
constexpr std::size_t nameChars = 10;

std::int16_t Word(const DecodedFields& fields, std::string_view name) {
    return static_cast<std::int16_t>(FieldNumber(fields, name).value_or(0));
}

} // namespace

program::SampleChunks S900ReceivedChunks(const DecodedSample& sample) {
    program::SampleChunks chunks;
    if (const auto rootKey = FieldNumber(sample.fields, "rootKey")) {
        chunks.unityNote = static_cast<std::uint32_t>(*rootKey);
    }
    const auto start = FieldNumber(sample.fields, "loopStart");
    const auto length = FieldNumber(sample.fields, "loopLength");
    // 'L' loops, 'A' alternates, 'O' plays once.
    const std::string mode = FieldString(sample.fields, "loopMode").value_or("O");
    if ((mode == "L" || mode == "A") && start && length && *length > 0) {
        chunks.loops.push_back({static_cast<std::uint32_t>(*start),
                                static_cast<std::uint32_t>(*start + *length - 1),
                                mode == "A" ? 1u : 0u});
    }
    return chunks;
}

void S900ReceivedZones(const DecodedProgram& received, const program::KeygroupBlock& defaults,
                       program::ProgramHeader& header, std::vector<ReceivedZone>& zones) {
    header.programParams[0] = Word(received.fields, "midiProgramNumber");
    bool leftOfPair = false; // the zone before is a left half, on output 8
    for (const DecodedFields& keygroup : received.keygroups) {
        // The header words every keygroup repeats: the first keygroup's stand.
        if (zones.empty()) {
            header.programParams[18] = Word(keygroup, "programParams18");
            header.programParams[19] = Word(keygroup, "programParams19");
            header.programParams[20] = Word(keygroup, "programParams20");
        }
        ReceivedZone zone{{}, defaults};
        zone.sampleName = FieldString(keygroup, "sampleName").value_or("");
        program::KeygroupBlock& k = zone.keygroup;
        k.lowKey = Word(keygroup, "lowKey");
        k.highKey = Word(keygroup, "highKey");
        // Outputs 8 and 9 play the two halves of a stereo entry, sent as two keygroups one after
        // the other: one stereo row, sent so again. Any other output is a row's own, 0-7.
        const std::int16_t output = Word(keygroup, "output");
        if (output == rightOutput && !zones.empty() && zones.back().rightSampleName.empty() &&
            leftOfPair && StereoHalves(zones.back().sampleName, zone.sampleName, nameChars)) {
            zones.back().rightSampleName = zone.sampleName;
            leftOfPair = false;
            continue;
        }
        leftOfPair = output == leftOutput;
        k.output = leftOfPair ? defaults.output : static_cast<std::int16_t>(output & 7);
        const auto words5to8 = FieldList(keygroup, "keygroupWords5to8");
        const auto words13to16 = FieldList(keygroup, "keygroupWords13to16");
        for (std::size_t i = 0; i < 4; ++i) {
            k.keygroupWords[5 + i] =
                static_cast<std::int16_t>(i < words5to8.size() ? words5to8[i] : 0);
            k.keygroupWords[13 + i] =
                static_cast<std::int16_t>(i < words13to16.size() ? words13to16[i] : 0);
        }
        zones.push_back(zone);
    }
}

} // namespace velomire::transfer
