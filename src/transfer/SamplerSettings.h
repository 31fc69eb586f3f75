#pragma once

#include "transfer/SettingsStore.h"

#include <cstdint>
#include <optional>
#include <string_view>

namespace velomire::transfer {

// The transfer settings: target model, the sampler's limits, the two channels (0-based), the
// chosen devices (0-based indices, -1 for none) and how long a WAIT may hold a closed-loop send.
struct SamplerSettings {
    std::int32_t samplerModel = -1;
    std::int32_t maxSample = 0;
    std::int32_t maxProgram = 0;
    std::int32_t audioOutputs = 0;
    std::int32_t polyphony = 0;
    std::int32_t exclusiveChannel = 0;
    std::int32_t midiChannel = 0;
    std::int32_t midiOutDevice = -1;
    std::int32_t midiInDevice = -1; // where the sampler answers; -1 sends one-way
    std::int32_t waveOutDevice = -1;
    std::int32_t waitLimit = 60; // seconds, within waitLimitRange

    bool operator==(const SamplerSettings&) const = default;

    // Reads the eleven keys; a missing or non-numeric value gives the field's default, and so
    // does a wait limit outside its range.
    static SamplerSettings Read(SettingsStore& store);
    // Writes the eleven keys the Options dialog stores, in its order.
    void Write(SettingsStore& store) const;
};

// A whole decimal number with an optional sign and surrounding blanks, or nothing.
std::optional<std::int32_t> ParseDecimal(std::string_view text);

} // namespace velomire::transfer
