#include "transfer/SamplerSettings.h"

#include "transfer/SamplerModel.h"

#include <charconv>
#include <string>

namespace velomire::transfer {
namespace {

std::int32_t ReadKey(SettingsStore& store, std::string_view key, std::int32_t fallback) {
    const auto text = store.Read(key);
    if (!text) {
        return fallback;
    }
    return ParseDecimal(*text).value_or(fallback);
}

} // namespace

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

SamplerSettings SamplerSettings::Read(SettingsStore& store) {
    SamplerSettings s;
    s.samplerModel = ReadKey(store, "Sampler model", -1);
    s.maxProgram = ReadKey(store, "Max Program", 0);
    s.maxSample = ReadKey(store, "Max Sample", 0);
    s.audioOutputs = ReadKey(store, "Audio outputs", 0);
    s.polyphony = ReadKey(store, "Polyphony", 0);
    s.midiChannel = ReadKey(store, "Midi channel", 0);
    s.exclusiveChannel = ReadKey(store, "Exclusive channel", 0);
    s.midiOutDevice = ReadKey(store, "MidiOut device", -1);
    s.midiInDevice = ReadKey(store, "MidiIn device", -1);
    s.waveOutDevice = ReadKey(store, "WaveOut device", -1);
    const std::int32_t waitLimit = ReadKey(store, "Wait limit", s.waitLimit);
    if (waitLimit >= waitLimitRange.min && waitLimit <= waitLimitRange.max) {
        s.waitLimit = waitLimit;
    }
    return s;
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
}

} // namespace velomire::transfer
