#include "editing/SampleEditorModel.h"

#include "editing/NoteName.h"
#include "program/Program.h"

#include <algorithm>

namespace velomire::editing {

namespace {

// In int, so that a stored 32767 or -32768 cannot wrap before it is clamped.
int Stepped(std::int16_t value, Spin step) {
    return step == Spin::up ? value + 1 : value - 1;
}

} // namespace

SampleEditorModel::SampleEditorModel(program::SampleBlock& sample, program::KeygroupBlock& keygroup,
                                     std::int32_t samplerModel)
    : sample(sample), keygroup(keygroup),
      allVoices(transfer::SamplerModel::PlaysOnAllVoices(samplerModel)) {}

std::string SampleEditorModel::Caption() const {
    return "Parameters  -  " + program::FieldText(sample.fileName);
}

std::string SampleEditorModel::LowText() const {
    return FormatNoteName(keygroup.lowKey);
}

std::string SampleEditorModel::HighText() const {
    return FormatNoteName(keygroup.highKey);
}

std::string SampleEditorModel::PitchText() const {
    return FormatNoteName(sample.rootKey);
}

void SampleEditorModel::LowSpin(Spin step) {
    TypeLowKey(Stepped(keygroup.lowKey, step));
}

void SampleEditorModel::HighSpin(Spin step) {
    TypeHighKey(Stepped(keygroup.highKey, step));
}

void SampleEditorModel::PitchSpin(Spin step) {
    TypePitch(Stepped(sample.rootKey, step));
}

void SampleEditorModel::TypeLowKey(int note) {
    // Clamped first to the lowest key and then to the high key, so that a stored high key below
    // 24 still wins over the low bound.
    const int low = std::max(note, lowestKey);
    keygroup.lowKey = static_cast<std::int16_t>(std::min<int>(low, keygroup.highKey));
}

void SampleEditorModel::TypeHighKey(int note) {
    const int high = std::max<int>(note, keygroup.lowKey);
    keygroup.highKey = static_cast<std::int16_t>(std::min(high, highestKey));
}

void SampleEditorModel::TypePitch(int note) {
    sample.rootKey = static_cast<std::int16_t>(std::clamp(note, lowestKey, highestKey));
}

void SampleEditorModel::PickLowKey(int note) {
    if (note <= keygroup.highKey) {
        keygroup.lowKey = static_cast<std::int16_t>(note);
    }
    if (keygroup.lowKey == keygroup.highKey) {
        sample.rootKey = keygroup.lowKey;
    }
}

void SampleEditorModel::PickHighKey(int note) {
    if (note >= keygroup.lowKey) {
        keygroup.highKey = static_cast<std::int16_t>(note);
    }
    if (keygroup.lowKey == keygroup.highKey) {
        sample.rootKey = keygroup.highKey;
    }
}

std::vector<std::string> SampleEditorModel::SendModeTexts() const {
    std::vector<std::string> texts = {"Mono sound"};
    if (sample.channels == 2) {
        texts.insert(texts.end(), {"Left Channel", "Right Channel", "Stereo sound"});
    }
    return texts;
}

std::optional<int> SampleEditorModel::SendModeSelection() const {
    const auto count = static_cast<int>(SendModeTexts().size());
    if (sample.sendMode < 0 || sample.sendMode >= count) {
        return std::nullopt;
    }
    return sample.sendMode;
}

bool SampleEditorModel::PickSendMode(int index) {
    if (index < 0 || index >= static_cast<int>(SendModeTexts().size())) {
        return false;
    }
    sample.sendMode = static_cast<std::int16_t>(index);
    return true;
}

std::vector<std::string> SampleEditorModel::OutputTexts() const {
    std::vector<std::string> texts;
    if (allVoices) {
        texts.emplace_back("All voices");
    } else if (Stereo()) {
        for (int first = 1; first < outputCount; first += 2) {
            texts.push_back("Ch " + std::to_string(first) + "-" + std::to_string(first + 1));
        }
    } else {
        for (int output = 1; output <= outputCount; ++output) {
            texts.push_back("Ch " + std::to_string(output));
        }
    }
    return texts;
}

std::optional<int> SampleEditorModel::OutputSelection() const {
    // A stereo output is the even first output of its pair; an odd one left from a mono setting
    // shows the pair it lies in until an output is picked.
    if (allVoices) {
        return 0;
    }
    const int index = Stereo() ? keygroup.output / 2 : keygroup.output;
    if (keygroup.output < 0 || index >= static_cast<int>(OutputTexts().size())) {
        return std::nullopt;
    }
    return index;
}

bool SampleEditorModel::PickOutput(int index) {
    if (index < 0 || index >= static_cast<int>(OutputTexts().size())) {
        return false;
    }
    if (allVoices) {
        return true; // nothing to store: the output is not sent
    }
    keygroup.output = static_cast<std::int16_t>(Stereo() ? 2 * index : index);
    return true;
}

} // namespace velomire::editing
