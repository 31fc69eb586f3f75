#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

// SoundFont 2 banks built in memory for the reader's tests: just the chunks the format
// requires, each list ending with its terminal record.
namespace velomire::test {

struct Sf2Gen {
    std::uint16_t oper = 0;
    std::uint16_t amount = 0;
};

inline std::uint16_t Sf2Range(int low, int high) {
    return static_cast<std::uint16_t>(low | high << 8);
}

struct Sf2Zone {
    std::vector<Sf2Gen> gens;        // the instrument or sample generator last, as banks have it
    std::vector<std::uint16_t> mods; // destinations of the zone's modulators
};

struct Sf2Preset {
    std::string name;
    std::uint16_t preset = 0;
    std::uint16_t bank = 0;
    std::vector<Sf2Zone> zones;
};

struct Sf2Instrument {
    std::string name;
    std::vector<Sf2Zone> zones;
};

struct Sf2Sample {
    Sf2Sample(std::string name, std::vector<std::int16_t> words)
        : name(std::move(name)), words(std::move(words)) {}
    std::string name;
    std::vector<std::int16_t> words;
    std::vector<std::uint8_t> low; // the 24-bit bank's low bytes (empty: none)
    std::uint32_t loopStart = 0;   // frames from the sample's first, as the header stores them
    std::uint32_t loopEnd = 0;     // exclusive
    std::uint32_t rate = 44100;
    std::uint8_t pitch = 60;
    std::int8_t correction = 0;
    std::uint16_t link = 0;
    std::uint16_t type = 1; // mono
};

std::vector<std::uint8_t> BuildSf2(const std::vector<Sf2Preset>& presets,
                                   const std::vector<Sf2Instrument>& instruments,
                                   const std::vector<Sf2Sample>& samples);

} // namespace velomire::test
