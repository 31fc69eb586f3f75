#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

namespace velomire::transfer {

// The sampler the program is sent to: the position in the Options list, -1 when none is chosen.
// The numbers are stored in the settings, so their order never changes.
enum class SamplerFamily { none, sds, s900, s1000 };

struct SamplerModelInfo {
    std::string_view longName;  // as listed in Options
    std::string_view shortName; // as shown while sending
    SamplerFamily family;       // whose messages it takes (transfer/families)
    std::int32_t maxProgram;    // defaults proposed when the model is picked
    std::int32_t maxSample;
    std::int32_t polyphony;
    std::int32_t audioOutputs;
    // The parameter block of an S1000-family header, in bytes: 150 on the S1000/S1100, 192 on
    // the later models; 0 for the other families.
    std::int32_t blockBytes;
    // The sample memory, in words as fully expanded (what the simulated sampler holds).
    std::uint32_t memoryWords;
    // Whether its disk drive reads high-density (1.6 MB) floppies.
    bool readsHdFloppies = true;
};

// 32 MB of 16-bit words, expanded; an SDS sampler gets as much.
inline constexpr std::uint32_t largeSamplerMemory = 16u << 20;

// Every model, in the order of the Options list. A model of an existing family is one more row.
inline constexpr auto samplerModels = std::to_array<SamplerModelInfo>({
    {"SDS compatible sampler", "SDS compatible sampler", SamplerFamily::sds, 99, 99, 16, 2, 0,
     largeSamplerMemory},
    // 750 KB of 12-bit words.
    {"Akai S900", "S900", SamplerFamily::s900, 32, 32, 8, 8, 0, 512000, false},
    // 2.25 MB, expanded.
    {"Akai S950", "S950", SamplerFamily::s900, 99, 99, 8, 8, 0, 1572864},
    {"Akai S1000/S1100", "S1000", SamplerFamily::s1000, 100, 200, 16, 8, 150, largeSamplerMemory},
    {"Akai S2800", "S2800", SamplerFamily::s1000, 254, 255, 32, 2, 192, largeSamplerMemory},
    {"Akai S3000", "S3000", SamplerFamily::s1000, 254, 255, 32, 8, 192, largeSamplerMemory},
    {"Akai S3200", "S3200", SamplerFamily::s1000, 254, 255, 32, 8, 192, largeSamplerMemory},
    {"Akai S2000", "S2000", SamplerFamily::s1000, 254, 255, 32, 2, 192, largeSamplerMemory},
    {"Akai S3000 XL", "S3000 XL", SamplerFamily::s1000, 254, 255, 32, 8, 192, largeSamplerMemory},
    {"Akai S3200 XL", "S3200 XL", SamplerFamily::s1000, 254, 255, 32, 8, 192, largeSamplerMemory},
});

class SamplerModel {
public:
    static constexpr std::int32_t none = -1;
    static constexpr std::int32_t sds = 0;
    static constexpr std::int32_t s900 = 1;
    static constexpr std::int32_t s950 = 2;
    static constexpr std::int32_t s1000 = 3;
    static constexpr auto count = static_cast<std::int32_t>(samplerModels.size());

    static const std::array<SamplerModelInfo, count>& All();
    // The model's row, or nothing for -1 and any number outside the table.
    static std::optional<SamplerModelInfo> Find(std::int32_t model);
    static SamplerFamily Family(std::int32_t model);
    // Whether the model's program plays every entry on all of the sampler's voices, so that no
    // entry's output is sent (its family's rule).
    static bool PlaysOnAllVoices(std::int32_t model);

    // A model given by its number (below `count`), by its long or short name, or by a name
    // musicians use ("SDS", "S1100", "S3000XL"); letter case and spaces do not matter.
    static std::optional<std::int32_t> Parse(std::string_view text);
};

// What the Options dialog checks at OK, in this order; channels are entered 1-based.
struct OptionRange {
    std::string_view label;
    std::int32_t min;
    std::int32_t max;
};

inline constexpr OptionRange audioOutputsRange{"Audio outputs", 2, 8};
inline constexpr OptionRange midiChannelRange{"Midi channel", 1, 16};
inline constexpr OptionRange polyphonyRange{"Polyphony", 8, 64};
inline constexpr OptionRange maxProgramRange{"Number of Programs", 1, 255};
inline constexpr OptionRange maxSampleRange{"Number of Samples", 1, 255};
inline constexpr OptionRange exclusiveChannelRange{"Exclusive channel", 1, 128};
// Seconds a closed-loop send holds after the sampler asked it to wait.
inline constexpr OptionRange waitLimitRange{"Wait limit (s)", 1, 3600};

inline constexpr std::array<OptionRange, 6> optionRanges{audioOutputsRange, midiChannelRange,
                                                         polyphonyRange,    maxProgramRange,
                                                         maxSampleRange,    exclusiveChannelRange};

} // namespace velomire::transfer
