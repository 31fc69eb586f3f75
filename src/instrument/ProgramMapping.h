#pragma once

#include "instrument/Instrument.h"
#include "program/SampleBlock.h"
#include "program/SampleConverter.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace velomire::instrument {

// What an instrument becomes on one sampler model, before anything is written: the sounds as
// the program's WAV files, the program's rows, and what was carried, folded and dropped. The
// desktop shows it, `velomire-cli import --report` prints it, and WriteImportedProgram writes it.

// How one sound (with its right channel, for a zone made of two mono sounds) becomes a 16-bit
// WAV file of the program.
struct SoundPlan {
    std::size_t sound = 0;
    std::optional<std::size_t> rightSound;
    std::uint16_t channels = 1;   // of the written file: 1, or 2 for a stereo sound or pair
    std::uint32_t sourceRate = 0; // Hz
    std::uint32_t rate = 0;       // Hz of the written file; another than sourceRate: converted
    program::TargetRate convertTo = program::TargetRate::keep;
    std::uint64_t frames = 0; // of the written file
    // The sample's tune offset (1/256 semitone): the S1000 family plays a rate other than 44100
    // or 22050 Hz at the nearer of the two, and this brings the pitch back within a cent; else
    // the value Add Samples gives (TuneOffsetForRate).
    std::int32_t tuneOffset = 0;
};

// One row of the program.
struct ImportRow {
    std::size_t plan = 0;           // index into ProgramMapping::sounds
    std::vector<std::size_t> zones; // the instrument's zones it plays (several once merged)
    int lowKey = 24;
    int highKey = 127;
    int lowVelocity = 0;
    int highVelocity = 127;
    int rootKey = 60;
    std::int32_t keygroupTune = 0; // 1/256 semitone
    std::uint32_t soundStart = 0;  // frames of the written file
    std::uint32_t soundEnd = 0;    // inclusive
    program::LoopMode loopMode = program::loopNone;
    std::vector<Loop> loops; // at most 4, frames of the written file, end inclusive
    program::SendMode sendMode = program::sendMono;
    // The sampler output the source names (0-7; a stereo row's first, even output), or nothing
    // for the program's default.
    std::optional<int> output;
};

struct ImportReport {
    std::vector<std::string> carried; // one line per row (and, for SDS, the key map)
    std::vector<std::string> folded;  // rows merged or cut to fit, each change
    std::vector<std::string> dropped; // zones left out and what no row holds
    bool Changed() const { return !folded.empty() || !dropped.empty(); }
    std::vector<std::string> Lines() const; // "carried: ...", "folded: ...", "dropped: ..."
};

struct ProgramMapping {
    std::int32_t model = -1;
    std::vector<SoundPlan> sounds;
    std::vector<ImportRow> rows;
    ImportReport report;
};

// The rows `instrument` becomes on `model` (a SamplerModel number; -1: no model chosen, only the
// program's 40 rows bound it). Every sound must have been probed (rate, frames, channels).
// - Zones that no sampler plays are dropped and named: release and legato triggers, round-robin
//   positions after the first, random ranges that leave out 0.
// - Key ranges are cut to 24-127; a root key outside that moves into it with the tune making up
//   the difference. Loops and sound ends outside the sound are dropped or cut.
// - S1000 family: each zone is a row with its own velocity range. Past the 40 rows, the model's
//   sample count or its memory, the program is folded in this order until it fits: neighbouring
//   key zones of the same sound, velocities, root and tune are merged; the velocity layer
//   farthest from velocity 100 of a key zone is dropped and its neighbour takes its velocities;
//   the key zone farthest from middle C (60) is dropped. Rates other than 44100 or 22050 Hz up to
//   65535 Hz are kept with the tune correcting them; higher rates are converted to 44100 Hz.
// - S900/S950: at most two velocity layers per key zone (the two nearest velocity 100), then the
//   same folding; rates outside 7500-40000 Hz are converted to the nearest the model takes (not
//   those of words read from an S900/S950 floppy, sent as its program sends them); the sampler
//   holds 12 bits of each word, and no tune.
// - SDS: one row per sound; the report gives each its sample number and the keys it plays, for
//   the key map set on the sampler.
ProgramMapping MapInstrument(const Instrument& instrument, std::int32_t model);

// 1/256 semitone of `cents`, rounded (so within 0.2 cent).
std::int32_t TuneUnits(double cents);

} // namespace velomire::instrument
