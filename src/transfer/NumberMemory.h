#pragma once

#include "transfer/SettingsReader.h"
#include "transfer/SettingsStore.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>

namespace velomire::transfer {

// The numbers the next program and sample sent to each sampler model will get, kept in the
// settings ("Next Program 8", "Next Sample 8" for model 8) so that a send after a restart does not
// propose numbers the sampler already holds and overwrite them.
class NumberMemory {
public:
    struct Numbers {
        std::int32_t programs = 0;
        std::int32_t samples = 0;
    };
    // The headers carry the numbers in 16 bits.
    static constexpr std::int32_t highestNumber = 65535;

    // Both keys of a model must be there and in range; one alone counts as neither.
    static NumberMemory Read(SettingsReader& reader);

    // What the last send to the model left, or nothing before the first.
    std::optional<Numbers> For(std::int32_t model) const;
    // Keeps the numbers and writes them to the store at once.
    void Remember(std::int32_t model, Numbers numbers, SettingsStore& store);

private:
    static std::string ProgramKey(std::int32_t model);
    static std::string SampleKey(std::int32_t model);

    std::array<std::optional<Numbers>, 10> numbers{};
};

} // namespace velomire::transfer
