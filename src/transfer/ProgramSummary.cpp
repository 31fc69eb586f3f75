#include "transfer/ProgramSummary.h"

#include "transfer/SamplerModel.h"
#include "transfer/families/Family.h"

#include <algorithm>
#include <cmath>

namespace velomire::transfer {

std::string ProgramSummary::MemoryText() const {
    // Single precision, as the figure has always been computed.
    float memory = static_cast<float>(words) / 512.0f;
    const char* unit = "Ko";
    if (memory >= 1000.0f) {
        memory /= 1024.0f;
        unit = "Mo";
    }
    const auto whole = static_cast<std::int64_t>(memory);
    const auto hundredths = static_cast<int>((memory - static_cast<float>(whole)) * 100.0f);
    const std::string decimals = (hundredths < 10 ? "0" : "") + std::to_string(hundredths);
    return std::to_string(whole) + "." + decimals + " " + unit;
}

double TimeLeftSeconds(double estimate, double shareSent, double elapsedSeconds) {
    const double share = std::clamp(shareSent, 0.0, 1.0);
    const double byEstimate = std::max(estimate, 0.0) * (1 - share);
    if (share <= 0 || elapsedSeconds <= 0) {
        return byEstimate;
    }
    const double byPace = elapsedSeconds * (1 - share) / share;
    return std::max((1 - share) * byEstimate + share * byPace, 0.0);
}

std::string ProgramSummary::TimeText() const {
    const auto whole = static_cast<std::int64_t>(std::llround(std::max(seconds, 0.0)));
    return std::to_string(whole / 60) + "min " + std::to_string(whole % 60) + "sec";
}

namespace {

// MIDI carries 3,125 bytes a second.
constexpr double bytesPerSecond = 3125;

} // namespace

double EstimatedSendSeconds(const program::Program& program, std::int32_t model) {
    const auto info = SamplerModel::Find(model);
    const Family* family = FamilyOf(model);
    if (!info || family == nullptr) {
        return 0;
    }
    const int count = std::clamp(program.sampleCount, 0, program::Program::maxSamples);
    double bytes = 0;
    double waits = 0;
    int parts = 0;
    for (int i = 0; i < count; ++i) {
        const program::SampleBlock& sample = program.samples[static_cast<std::size_t>(i)].sample;
        const int entryParts = sample.sendMode == program::sendStereo ? 2 : 1;
        parts += entryParts;
        const WireEstimate part = family->PartOnWire(sample.lengthWords, *info);
        bytes += entryParts * part.bytes;
        waits += entryParts * part.waitSeconds;
    }
    if (family->SendsProgram()) {
        const WireEstimate programOnWire = family->ProgramOnWire(count, parts, *info);
        bytes += programOnWire.bytes;
        waits += programOnWire.waitSeconds;
    }
    return bytes / bytesPerSecond + waits;
}

std::int32_t SpinNumber(std::int32_t value, bool up, std::int32_t limit) {
    if (up) {
        const std::int64_t highest = std::max<std::int64_t>(std::int64_t{limit} - 1, 0);
        return static_cast<std::int32_t>(std::min<std::int64_t>(std::int64_t{value} + 1, highest));
    }
    return static_cast<std::int32_t>(std::max<std::int64_t>(std::int64_t{value} - 1, 0));
}

} // namespace velomire::transfer
