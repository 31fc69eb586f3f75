#pragma once

#include "transfer/SamplerModel.h"
#include "transfer/SamplerSettings.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>

namespace velomire::transfer {

// What the Options dialog holds while it is open: the four list choices and the seven fields as
// the user sees them (channels 1-based), with the model defaults on picking a model and the
// check at OK.
class OptionsForm {
public:
    // The six fields of the model in the order they are shown, top to bottom, then the wait
    // limit (seconds), shown with the Midi In device.
    enum Field {
        numberOfPrograms,
        numberOfSamples,
        polyphony,
        audioOutputs,
        midiChannel,
        exclusiveChannel,
        waitLimit,
        fieldCount
    };

    // A field refused at OK: which one, and the message shown before it gets the focus.
    struct Refusal {
        Field field;
        std::string message;
    };

    // Copies the list choices and the wait limit, and the six model fields when a model is
    // chosen; with none chosen (a first use) it picks firstUseModel as the user would.
    explicit OptionsForm(const SamplerSettings& settings);

    // The SDS compatible sampler: the S900/S950 and the S1000 family take SDS samples too.
    static constexpr std::int32_t firstUseModel = SamplerModel::sds;

    static std::string_view Label(Field field);
    // "Audio outputs: please enter an integer between 2 and 8."
    static std::string RangeMessage(const OptionRange& range);

    std::int32_t Model() const { return model; }
    std::int32_t MidiOutDevice() const { return midiOutDevice; }
    std::int32_t MidiInDevice() const { return midiInDevice; }
    std::int32_t WaveOutDevice() const { return waveOutDevice; }
    std::int32_t Value(Field field) const { return values[field]; }
    // The stored value as the field shows it.
    std::string Text(Field field) const { return std::to_string(values[field]); }

    // A model picked in the list: its defaults fill the limits, polyphony and audio outputs; the
    // channels stay, except that a channel still at 0 becomes 1. -1 (no selection) only forgets
    // the model.
    void PickModel(std::int32_t pickedModel);

    // The "Midi In device" list starts with "None (one-way)", so its rows are the devices shifted
    // by one: device -1 is row 0, and no selection or row 0 is device -1.
    static std::int32_t MidiInRow(std::int32_t device) { return device < 0 ? 0 : device + 1; }
    static std::int32_t MidiInDeviceAt(std::int32_t row) { return row <= 0 ? -1 : row - 1; }

    // OK: takes the four list selections (-1 for none; the Midi In list by its row), then reads the
    // seven field texts (indexed by Field) in the checking order: audio outputs, Midi channel,
    // polyphony, programs, samples, exclusive channel, wait limit. Each whole number is stored as
    // read; the first text that is not a whole number or lies outside its range is refused and
    // the rest are not read.
    std::optional<Refusal> Accept(std::int32_t pickedModel, std::int32_t pickedMidiOut,
                                  std::int32_t pickedMidiInRow, std::int32_t pickedWaveOut,
                                  const std::array<std::string, fieldCount>& texts);

    // The settings given to the constructor with the eleven values of the form copied in
    // (channels back to 0-based).
    SamplerSettings Result() const;

private:
    SamplerSettings original;
    std::int32_t model;
    std::int32_t midiOutDevice;
    std::int32_t midiInDevice;
    std::int32_t waveOutDevice;
    std::array<std::int32_t, fieldCount> values{};
};

} // namespace velomire::transfer
