#pragma once

#include "program/Program.h"

#include <cstdint>
#include <string>
#include <vector>

namespace velomire::transfer {

// The three figures of the "Program Summary" shown before a send.
struct ProgramSummary {
    std::uint32_t sampleCount = 0; // sampler samples: one per entry, two per stereo entry
    std::uint32_t words = 0;       // sample words to send
    double seconds = 0;            // the send's duration (EstimatedSendSeconds)
    std::string outPort{};         // the MIDI Out port the program goes to
    std::string inPort{};          // where the sampler's answers come back; empty: one-way
    // The entries the model plays off pitch, one line each (OffPitchWarnings).
    std::vector<std::string> offPitch{};

    std::string SampleText() const { return std::to_string(sampleCount); }
    // Two bytes per word in units of 1024 bytes, "Ko" below 1000 of them and "Mo" from there,
    // with two decimals cut, not rounded: "86.13 Ko", "2.92 Mo".
    std::string MemoryText() const;
    // The seconds, rounded: "0min 46sec".
    std::string TimeText() const;
};

// How long a send of the program to the model takes: the wire time of every byte it sends at
// 3,125 bytes a second, plus every wait it gives the sampler.
double EstimatedSendSeconds(const program::Program& program, std::int32_t model);

// The seconds a running send still needs, `shareSent` (0 to 1) of its words being sent after
// `elapsedSeconds`: at first what the estimate leaves, and the more has been sent, the more the
// pace so far counts (a closed-loop send skips the fixed waits and ends sooner than estimated, a
// busy driver later). Never below 0.
double TimeLeftSeconds(double estimate, double shareSent, double elapsedSeconds);

// One arrow click on a spin of the "Program and Sample number" dialog: up adds 1 but stays below
// the limit, down takes 1 but stays at 0 or above. A limit of 0 or below keeps the value at 0.
std::int32_t SpinNumber(std::int32_t value, bool up, std::int32_t limit);

} // namespace velomire::transfer
