#include "transfer/families/s1000/S1000Received.h"

#include "program/SampleBlock.h"
#include "program/StereoNames.h"
#include "transfer/ReceivedFiles.h"
#include "transfer/families/s1000/S1000Wire.h"

#include <string>

namespace velomire::transfer {

namespace {

std::int64_t Number(const DecodedFields& fields, std::string_view name) {
    return FieldNumber(fields, name).value_or(0);
}

// The name of a velocity zone that plays no sample ("xxxxxxxxxxxx" as sent), as the sampler's
// character set, which has no small letters, gives it back.
constexpr std::string_view emptyZoneName = "XXXXXXXXXXXX";

} // namespace

program::SampleChunks S1000ReceivedChunks(const DecodedSample& sample) {
    program::SampleChunks chunks;
    if (const auto rootKey = FieldNumber(sample.fields, "rootKey")) {
        chunks.unityNote = static_cast<std::uint32_t>(*rootKey);
    }
    // Loop mode 2 plays no loop; the loops' "at" is a loop's last word.
    constexpr std::int64_t noLoop = 2;
    const auto at = FieldList(sample.fields, "loopAt");
    const auto length = FieldList(sample.fields, "loopLength");
    const auto count = static_cast<std::size_t>(Number(sample.fields, "loopCount"));
    const std::int64_t mode = Number(sample.fields, "loopMode");
    if (mode == noLoop) {
        return chunks;
    }
    // In release, until release, play to end: the row plays its loops as the sampler did.
    if (mode >= program::loopNormal && mode <= program::loopToEnd) {
        chunks.loopMode = static_cast<std::int16_t>(mode);
    }
    // A loop's dwell is 0-9999 ms (9999 holds); another value leaves the row's default.
    constexpr std::int64_t longestDwell = 9999;
    const auto dwell = FieldList(sample.fields, "loopDwell");
    for (std::size_t i = 0; i < count && i < at.size() && i < length.size(); ++i) {
        if (length[i] > 0 && length[i] <= at[i] + 1) {
            program::SampleChunks::Loop loop{static_cast<std::uint32_t>(at[i] - length[i] + 1),
                                             static_cast<std::uint32_t>(at[i]), 0};
            if (i < dwell.size() && dwell[i] >= 0 && dwell[i] <= longestDwell) {
                loop.dwell = static_cast<std::uint32_t>(dwell[i]);
            }
            chunks.loops.push_back(loop);
        }
    }
    return chunks;
}

void S1000ReceivedZones(const DecodedProgram& received, const program::KeygroupBlock& defaults,
                        program::ProgramHeader& header, std::vector<ReceivedZone>& zones) {
    const auto params = FieldList(received.fields, "programParams");
    for (std::size_t i = 0; i < params.size() && i < header.programParams.size(); ++i) {
        header.programParams[i] = static_cast<std::int16_t>(params[i]);
    }
    for (const DecodedFields& keygroup : received.keygroups) {
        const std::size_t first = zones.size(); // this keygroup's first zone
        for (int z = 1; z <= 4; ++z) {
            const std::string prefix = "zone" + std::to_string(z);
            const std::string name = FieldString(keygroup, prefix + "SampleName").value_or("");
            if (name.empty() || name == emptyZoneName) {
                continue;
            }
            ReceivedZone zone{name, defaults};
            program::KeygroupBlock& k = zone.keygroup;
            k.lowKey = static_cast<std::int16_t>(Number(keygroup, "lowKey"));
            k.highKey = static_cast<std::int16_t>(Number(keygroup, "highKey"));
            k.keygroupTune = static_cast<std::int32_t>(Number(keygroup, "keygroupTune"));
            const auto words = FieldList(keygroup, "keygroupWords");
            for (std::size_t i = 0; i < words.size() && i < k.keygroupWords.size(); ++i) {
                k.keygroupWords[i] = static_cast<std::int16_t>(words[i]);
            }
            k.output = static_cast<std::int16_t>(Number(keygroup, "output") & 7);
            k.velocityLow = static_cast<std::int16_t>(Number(keygroup, prefix + "VelocityLow"));
            k.velocityHigh = static_cast<std::int16_t>(Number(keygroup, prefix + "VelocityHigh"));
            k.velocityTune = static_cast<std::int32_t>(Number(keygroup, prefix + "VelocityTune"));
            const auto velocity = FieldList(keygroup, prefix + "VelocityWords");
            for (std::size_t i = 0; i < velocity.size() && i < k.velocityWords.size(); ++i) {
                k.velocityWords[i] = static_cast<std::int16_t>(velocity[i]);
            }
            // The halves of a stereo entry are zones 1 and 2 of one keygroup: one stereo row.
            if (z == 2 && zones.size() == first + 1 &&
                program::StereoHalves(zones.back().sampleName, name, s1000::nameChars)) {
                zones.back().rightSampleName = name;
                continue;
            }
            zones.push_back(zone);
        }
    }
}

} // namespace velomire::transfer
