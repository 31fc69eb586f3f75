#include "transfer/NumberMemory.h"

#include "transfer/SamplerModel.h"

namespace velomire::transfer {

std::string NumberMemory::ProgramKey(std::int32_t model) {
    return "Next Program " + std::to_string(model);
}

std::string NumberMemory::SampleKey(std::int32_t model) {
    return "Next Sample " + std::to_string(model);
}

NumberMemory NumberMemory::Read(SettingsReader& reader) {
    NumberMemory memory;
    for (std::int32_t model = 0; model < SamplerModel::count; ++model) {
        const auto programs = reader.Number(ProgramKey(model), 0, highestNumber);
        const auto samples = reader.Number(SampleKey(model), 0, highestNumber);
        if (programs && samples) {
            memory.numbers[static_cast<std::size_t>(model)] = Numbers{*programs, *samples};
        }
    }
    return memory;
}

std::optional<NumberMemory::Numbers> NumberMemory::For(std::int32_t model) const {
    if (model < 0 || model >= SamplerModel::count) {
        return std::nullopt;
    }
    return numbers[static_cast<std::size_t>(model)];
}

void NumberMemory::Remember(std::int32_t model, Numbers remembered, SettingsStore& store) {
    if (model < 0 || model >= SamplerModel::count) {
        return;
    }
    numbers[static_cast<std::size_t>(model)] = remembered;
    store.Write(ProgramKey(model), std::to_string(remembered.programs));
    store.Write(SampleKey(model), std::to_string(remembered.samples));
    store.Sync();
}

} // namespace velomire::transfer
