#pragma once

#include "program/Program.h"
#include "program/SampleConverter.h"
#include "transfer/families/Family.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace velomire::transfer {

// How the model plays an entry, or a file of `rate` Hz added as one, when it cannot play its
// rate; nothing when it plays it at its pitch or no model is chosen. The bytes sent for such an
// entry are the same either way: the user is told, and may convert the file.
std::optional<OffPitch> OffPitchOf(const program::SampleBlock& sample, std::int32_t model);
std::optional<OffPitch> OffPitchAt(std::uint32_t rate, std::int32_t model);

// "146.7 cents flat", "555.2 cents sharp".
std::string CentsText(double cents);

// One line per entry the model plays off pitch, in the program's order (a stereo entry once):
// "pad48.wav [pad48] is sampled at 48000 Hz: the S3000 XL plays it at 44100 Hz, 146.7 cents
// flat". The Program Summary, the desktop's send and velomire-cli send, render and image say
// them.
std::vector<std::string> OffPitchWarnings(const program::Program& program, std::int32_t model);

// The rate Add Samples proposes for files the model plays off pitch: the saved choice when it
// converts to a rate the model plays, 44100 Hz otherwise.
program::TargetRate ProposedRate(program::TargetRate saved, std::int32_t model);

} // namespace velomire::transfer
