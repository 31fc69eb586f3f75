#pragma once

#include "transfer/SamplerModel.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace velomire::instrument {

// An instrument as another sampler's file describes it, before it is fitted onto a model: zones
// that map key and velocity ranges onto sounds. Every reader (SFZ, SoundFont 2, Decent Sampler,
// the Akai disk programs) fills one of these; the mapping onto a model and the writers take it.

// One loop of a sound, in frames of the sound: `start` is the first frame played again, `end` the
// last frame before the jump back (inclusive, as SFZ's loop_end and a WAV smpl chunk's end; a
// SoundFont's exclusive end is one more).
struct Loop {
    std::uint32_t start = 0;
    std::uint32_t end = 0;
    bool operator==(const Loop&) const = default;
};

// oneShot: the whole sound plays to its end whatever the key does (SFZ's one_shot).
enum class LoopMode { none, forward, sustain, oneShot };

// The sound of one or more zones. Either a file any converter reads (`file`, absolute), or words
// the reader took out of its container (`words`, interleaved 16-bit frames of `channels`
// channels, already reduced from wider data as Add Samples reduces it).
struct Sound {
    std::string name; // as the source names it
    std::filesystem::path file;
    std::vector<std::int16_t> words;
    std::uint16_t channels = 1;
    std::uint32_t rate = 0; // Hz; for a file, 0 until read
    std::uint64_t frames = 0;
    // Loops the sound itself carries (a WAV smpl chunk, a SoundFont sample header); a zone's own
    // loop, when it has one, replaces them.
    std::vector<Loop> loops;
    std::optional<int> rootKey; // the sound's own unity note, when it has one
    double tuneCents = 0;       // the sound's own correction
    // The family whose disk held these words: a program for that family sends them at their rate
    // as the disk's program does, where a file of that rate might be converted.
    std::optional<transfer::SamplerFamily> diskFamily;
};

// Which events play a zone; only `attack` zones reach a sampler.
enum class Trigger { attack, release, first, legato };

struct Zone {
    std::size_t sound = 0; // index into Instrument::sounds
    // A stereo zone's second sound (a SoundFont's linked right sample, a Decent Sampler pair);
    // left and right then play together.
    std::optional<std::size_t> rightSound;
    int lowKey = 0;
    int highKey = 127;
    int lowVelocity = 1;
    int highVelocity = 127;
    int rootKey = 60; // the note at which the sound plays at its recorded pitch
    // The root key is the sound's own (Sound::rootKey, SFZ's pitch_keycenter=sample), known once
    // the sound was probed; rootKey holds until then.
    bool rootKeyFromSound = false;
    double tuneCents = 0; // added to the sound's pitch at the root key, any size
    double volumeDb = 0;
    double pan = 0; // -100 (left) to 100 (right)
    // The sampler output the source sends the zone to (an Akai keygroup's 0-7), when it names one.
    std::optional<int> output;
    std::uint64_t offset = 0;         // first frame played
    std::optional<std::uint64_t> end; // last frame played (inclusive)
    LoopMode loopMode = LoopMode::none;
    // The source gave no loop mode: the sound loops forward when it has a loop (SFZ without
    // loop_mode), else plays once.
    bool loopModeFromSound = false;
    std::vector<Loop> loops; // the zone's own loops, in frames of the sound
    Trigger trigger = Trigger::attack;
    // Round robins: the zone plays as position `sequencePosition` (1-based) of `sequenceLength`,
    // or when the random value lies in [randomLow, randomHigh).
    int sequenceLength = 1;
    int sequencePosition = 1;
    double randomLow = 0;
    double randomHigh = 1;
    // What the source gave this zone that no program row holds (opcodes, modulators, filters),
    // by name as the source spells it; the report lists them.
    std::vector<std::string> notCarried;
};

struct Instrument {
    std::string name;
    std::vector<Sound> sounds;
    std::vector<Zone> zones;
    // What the reader noticed about the file as a whole (unknown headers, skipped parts).
    std::vector<std::string> notes;
};

// One instrument (SFZ: the file; SoundFont: a preset; Decent Sampler: the preset; Akai image: a
// program) a file holds, as `--list` shows it.
struct InstrumentEntry {
    std::string name;
    int number = 0;     // what --instrument N takes: 0, 1, 2 ... in the file's order
    std::string detail; // e.g. "bank 0 preset 1", "partition A volume PIANOS"
};

} // namespace velomire::instrument
