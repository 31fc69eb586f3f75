#include "transfer/SamplerSettings.h"

#include "transfer/SamplerModel.h"

#include <charconv>
#include <string>

namespace velomire::transfer {

std::optional<std::int32_t> ParseDecimal(std::string_view text) {
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    while (!text.empty() && blank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && blank(text.back())) {
        text.remove_suffix(1);
    }
    if (!text.empty() && text.front() == '+') {
        text.remove_prefix(1);
    }
    std::int32_t value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || ec != std::errc() || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return value;
}

SamplerSettings SamplerSettings::Read(SettingsReader& reader) {
    SamplerSettings s;
    s.samplerModel = reader.Number("Sampler model", -1, SamplerModel::count - 1, -1);
    s.maxProgram = reader.Number("Max Program", maxProgramRange.min, maxProgramRange.max, 0);
    s.maxSample = reader.Number("Max Sample", maxSampleRange.min, maxSampleRange.max, 0);
    s.audioOutputs =
        reader.Number("Audio outputs", audioOutputsRange.min, audioOutputsRange.max, 0);
    s.polyphony = reader.Number("Polyphony", polyphonyRange.min, polyphonyRange.max, 0);
    // Stored 0-based, shown 1-based.
    s.midiChannel =
        reader.Number("Midi channel", midiChannelRange.min - 1, midiChannelRange.max - 1, 0);
    s.exclusiveChannel = reader.Number("Exclusive channel", exclusiveChannelRange.min - 1,
                                       exclusiveChannelRange.max - 1, 0);
    s.midiOutDevice = reader.Number("MidiOut device", -1, highestDevice, -1);
    s.midiInDevice = reader.Number("MidiIn device", -1, highestDevice, -1);
    s.waveOutDevice = reader.Number("WaveOut device", -1, highestDevice, -1);
    s.waitLimit = reader.Number("Wait limit", waitLimitRange.min, waitLimitRange.max, s.waitLimit);
    s.midiOutName = reader.Text("MidiOut device name", longestPortName);
    s.midiInName = reader.Text("MidiIn device name", longestPortName);
    return s;
}

SamplerSettings SamplerSettings::Read(SettingsStore& store) {
    SettingsReader reader(store);
    return Read(reader);
}

void SamplerSettings::Write(SettingsStore& store) const {
    store.Write("Sampler model", std::to_string(samplerModel));
    store.Write("Max Program", std::to_string(maxProgram));
    store.Write("Max Sample", std::to_string(maxSample));
    store.Write("Polyphony", std::to_string(polyphony));
    store.Write("Audio outputs", std::to_string(audioOutputs));
    store.Write("Exclusive channel", std::to_string(exclusiveChannel));
    store.Write("Midi channel", std::to_string(midiChannel));
    store.Write("MidiOut device", std::to_string(midiOutDevice));
    store.Write("MidiIn device", std::to_string(midiInDevice));
    store.Write("WaveOut device", std::to_string(waveOutDevice));
    store.Write("Wait limit", std::to_string(waitLimit));
    store.Write("MidiOut device name", midiOutName);
    store.Write("MidiIn device name", midiInName);
}

} // namespace velomire::transfer
