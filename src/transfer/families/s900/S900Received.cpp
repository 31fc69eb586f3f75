#include "transfer/families/s900/S900Received.h"

#include "program/StereoNames.h"

#include "transfer/ReceivedFiles.h"
#include "transfer/families/s900/S900Decoding.h"
#include "transfer/families/s900/S900Wire.h"

namespace velomire::transfer {

namespace {

std::int16_t Word(const DecodedFields& fields, std::string_view name) {
    return static_cast<std::int16_t>(FieldNumber(fields, name).value_or(0));
}

} // namespace

program::SampleChunks S900ReceivedChunks(const DecodedSample& sample) {
    program::SampleChunks chunks;
    if (const auto rootKey = FieldNumber(sample.fields, "rootKey")) {
        chunks.unityNote = static_cast<std::uint32_t>(*rootKey);
    }
    // 'L' loops, 'A' alternates, 'O' plays once. The sampler loops back from the end point by
    // the loop length; a loop that does not lie inside the words is left out.
    const std::string mode = FieldString(sample.fields, "loopMode").value_or("O");
    const auto words = static_cast<std::uint32_t>(sample.frames.size());
    const auto loop = s900::LoopOf(s900::PointsOf(sample.fields, words), words);
    if ((mode == "L" || mode == "A") && loop) {
        chunks.loops.push_back({loop->first, loop->last, mode == "A" ? 1u : 0u});
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
        // the other: one stereo row, sent so again. 255 is all voices; any other output is a
        // row's own, 0-7.
        const std::int16_t output = Word(keygroup, "output");
        if (output == s900::stereoRightOutput && !zones.empty() &&
            zones.back().rightSampleName.empty() && leftOfPair &&
            program::StereoHalves(zones.back().sampleName, zone.sampleName, s900::nameChars)) {
            zones.back().rightSampleName = zone.sampleName;
            leftOfPair = false;
            continue;
        }
        leftOfPair = output == s900::stereoLeftOutput;
        k.output = leftOfPair || output == s900::allVoices ? defaults.output
                                                           : static_cast<std::int16_t>(output & 7);
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
