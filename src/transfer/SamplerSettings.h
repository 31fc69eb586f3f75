#pragma once

#include "transfer/SettingsReader.h"
#include "transfer/SettingsStore.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace velomire::transfer {

// The transfer settings: target model, the sampler's limits, the two channels (0-based), the
// chosen devices (0-based indices, -1 for none) and how long a WAIT may hold a closed-loop send.
// The MIDI ports are also kept by name: a list position names another port as soon as a port
// comes or goes before it.
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
    std::string midiOutName{};   // the port at midiOutDevice when it was chosen; empty if unknown
    std::string midiInName{};

    bool operator==(const SamplerSettings&) const = default;

    // The highest list position a device setting may hold.
    static constexpr std::int32_t highestDevice = 1023;
    // The longest port name kept.
    static constexpr std::size_t longestPortName = 255;

    // Reads the eleven keys and the two port names, each checked against the range the Options
    // dialog allows (channels 0-based, devices -1 to highestDevice): a missing, non-numeric or
    // out-of-range value gives the field's default, and the reader notes the refused key.
    static SamplerSettings Read(SettingsReader& reader);
    static SamplerSettings Read(SettingsStore& store);
    // Writes the eleven keys the Options dialog stores, in its order, then the two port names.
    void Write(SettingsStore& store) const;
};

// A whole decimal number with an optional sign and surrounding blanks, or nothing.
std::optional<std::int32_t> ParseDecimal(std::string_view text);

} // namespace velomire::transfer
