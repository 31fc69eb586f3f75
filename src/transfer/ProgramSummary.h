#pragma once

#include <cstdint>
#include <string>

namespace velomire::transfer {

// The three figures of the "Program Summary" shown before a send.
struct ProgramSummary {
    std::uint32_t sampleCount = 0; // sampler samples: one per entry, two per stereo entry
    std::uint32_t words = 0;       // sample words to send

    std::string SampleText() const { return std::to_string(sampleCount); }
    // Two bytes per word in units of 1024 bytes, "Ko" below 1000 of them and "Mo" from there,
    // with two decimals cut, not rounded: "86.13 Ko", "2.92 Mo".
    std::string MemoryText() const;
    // One second per sample plus 1.04617186 s per 1024 words: "0min 46sec".
    std::string TimeText() const;
};

// One arrow click on a spin of the "Program and Sample number" dialog: up adds 1 but stays below
// the limit, down takes 1 but stays at 0 or above. A limit of 0 or below keeps the value at 0.
std::int32_t SpinNumber(std::int32_t value, bool up, std::int32_t limit);

} // namespace velomire::transfer
