#include "transfer/OffPitch.h"

#include "transfer/SamplerModel.h"

#include <algorithm>
#include <cmath>

namespace velomire::transfer {

std::optional<OffPitch> OffPitchOf(const program::SampleBlock& sample, std::int32_t model) {
    const Family* family = FamilyOf(model);
    return family != nullptr ? family->OffPitchOf(sample) : std::nullopt;
}

std::optional<OffPitch> OffPitchAt(std::uint32_t rate, std::int32_t model) {
    // What InitSampleEntry makes of a file of this rate.
    program::SampleBlock sample{};
    sample.sampleRate = rate;
    sample.headerRate = rate;
    sample.tuneOffset = program::TuneOffsetForRate(rate);
    return OffPitchOf(sample, model);
}

std::string CentsText(double cents) {
    const long long tenths = std::llround(std::fabs(cents) * 10);
    return std::to_string(tenths / 10) + "." + std::to_string(tenths % 10) + " cents " +
           (cents < 0 ? "flat" : "sharp");
}

std::vector<std::string> OffPitchWarnings(const program::Program& program, std::int32_t model) {
    std::vector<std::string> warnings;
    const int count = std::clamp(program.sampleCount, 0, program::Program::maxSamples);
    for (int i = 0; i < count; ++i) {
        const program::SampleBlock& sample = program.samples[static_cast<std::size_t>(i)].sample;
        if (const auto off = OffPitchOf(sample, model)) {
            warnings.push_back(program::FieldText(sample.fileName) + " [" +
                               program::FieldText(sample.sampleName) + "] is sampled at " +
                               std::to_string(sample.sampleRate) + " Hz: the " +
                               std::string(SamplerModel::Find(model)->shortName) + " plays it at " +
                               std::to_string(off->playRate) + " Hz, " + CentsText(off->cents));
        }
    }
    return warnings;
}

program::TargetRate ProposedRate(program::TargetRate saved, std::int32_t model) {
    const bool fixedRate =
        saved == program::TargetRate::rate44100 || saved == program::TargetRate::rate22050;
    return fixedRate && !OffPitchAt(program::RateFor(saved, 0), model)
               ? saved
               : program::TargetRate::rate44100;
}

} // namespace velomire::transfer
