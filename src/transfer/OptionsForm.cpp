#include "transfer/OptionsForm.h"

#include <algorithm>

namespace velomire::transfer {
namespace {

struct CheckedField {
    OptionsForm::Field field;
    const OptionRange& range;
};

// The order of the checks at OK, which is not the order on screen.
constexpr std::array<CheckedField, OptionsForm::fieldCount> checkOrder{{
    {OptionsForm::audioOutputs, audioOutputsRange},
    {OptionsForm::midiChannel, midiChannelRange},
    {OptionsForm::polyphony, polyphonyRange},
    {OptionsForm::numberOfPrograms, maxProgramRange},
    {OptionsForm::numberOfSamples, maxSampleRange},
    {OptionsForm::exclusiveChannel, exclusiveChannelRange},
    {OptionsForm::waitLimit, waitLimitRange},
}};

} // namespace

OptionsForm::OptionsForm(const SamplerSettings& settings)
    : original(settings), model(settings.samplerModel), midiOutDevice(settings.midiOutDevice),
      midiInDevice(settings.midiInDevice), waveOutDevice(settings.waveOutDevice) {
    if (settings.samplerModel >= 0) {
        values[numberOfPrograms] = settings.maxProgram;
        values[numberOfSamples] = settings.maxSample;
        values[polyphony] = settings.polyphony;
        values[audioOutputs] = settings.audioOutputs;
        values[midiChannel] = settings.midiChannel + 1;
        values[exclusiveChannel] = settings.exclusiveChannel + 1;
    }
    values[waitLimit] = settings.waitLimit;
    // A first use proposes the model every sampler of the list takes samples from, with its
    // values, so that the dialog shows a working choice and OK keeps it.
    if (settings.samplerModel < 0) {
        PickModel(firstUseModel);
    }
}

std::string_view OptionsForm::Label(Field field) {
    switch (field) {
    case numberOfPrograms:
        return maxProgramRange.label;
    case numberOfSamples:
        return maxSampleRange.label;
    case polyphony:
        return polyphonyRange.label;
    case audioOutputs:
        return audioOutputsRange.label;
    case midiChannel:
        return midiChannelRange.label;
    case exclusiveChannel:
        return exclusiveChannelRange.label;
    case waitLimit:
        return waitLimitRange.label;
    case fieldCount:
        break;
    }
    return {};
}

std::string OptionsForm::RangeMessage(const OptionRange& range) {
    return std::string(range.label) + ": please enter an integer between " +
           std::to_string(range.min) + " and " + std::to_string(range.max) + ".";
}

void OptionsForm::PickModel(std::int32_t pickedModel) {
    model = pickedModel;
    const auto info = SamplerModel::Find(pickedModel);
    if (!info) {
        return;
    }
    values[numberOfPrograms] = info->maxProgram;
    values[numberOfSamples] = info->maxSample;
    values[polyphony] = info->polyphony;
    values[audioOutputs] = info->audioOutputs;
    // Channels never set (a first use) become the first channel, so the first OK goes through.
    for (const Field channel : {midiChannel, exclusiveChannel}) {
        values[channel] = std::max(values[channel], 1);
    }
}

std::optional<OptionsForm::Refusal>
OptionsForm::Accept(std::int32_t pickedModel, std::int32_t pickedMidiOut,
                    std::int32_t pickedMidiInRow, std::int32_t pickedWaveOut,
                    const std::array<std::string, fieldCount>& texts) {
    model = pickedModel;
    midiOutDevice = pickedMidiOut;
    midiInDevice = MidiInDeviceAt(pickedMidiInRow);
    waveOutDevice = pickedWaveOut;
    for (const CheckedField& checked : checkOrder) {
        const auto value = ParseDecimal(texts[checked.field]);
        if (value) {
            values[checked.field] = *value;
        }
        if (!value || *value < checked.range.min || *value > checked.range.max) {
            return Refusal{checked.field, RangeMessage(checked.range)};
        }
    }
    return std::nullopt;
}

SamplerSettings OptionsForm::Result() const {
    SamplerSettings result = original;
    result.midiOutDevice = midiOutDevice;
    result.midiInDevice = midiInDevice;
    result.maxSample = values[numberOfSamples];
    result.waveOutDevice = waveOutDevice;
    result.maxProgram = values[numberOfPrograms];
    result.midiChannel = values[midiChannel] - 1;
    result.audioOutputs = values[audioOutputs];
    result.exclusiveChannel = values[exclusiveChannel] - 1;
    result.samplerModel = model;
    result.polyphony = values[polyphony];
    result.waitLimit = values[waitLimit];
    return result;
}

} // namespace velomire::transfer
