#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace velomire::program {

struct SampleEntry;

// What a WAV file's sampler chunks say about its sound: the "smpl" chunk's MIDI unity note and
// loops, the "inst" chunk's key range. Every value is as the file holds it; ApplySampleChunks
// decides what the program can use.
struct SampleChunks {
    // One "smpl" loop: first and last frame, both inclusive; type 0 forward, 1 alternating,
    // 2 backward. dwell: how long the loop plays in ms (9999 = hold), where the source says so
    // (a sampler's sample header does; a WAV file does not, and the row's default stays).
    struct Loop {
        std::uint32_t start = 0;
        std::uint32_t end = 0;
        std::uint32_t type = 0;
        std::optional<std::uint32_t> dwell{};
        bool operator==(const Loop&) const = default;
    };

    std::optional<std::uint32_t> unityNote;
    std::vector<Loop> loops;
    std::optional<std::uint8_t> lowKey;
    std::optional<std::uint8_t> highKey;
    // How the loops play (a LoopMode), where the source says so: a sampler's sample header does, a
    // WAV file does not (its loops then play as loopNormal).
    std::optional<std::int16_t> loopMode;

    bool Empty() const { return !unityNote && loops.empty() && !lowKey; }
};

// Bytes of a "smpl" chunk body the reader keeps: the 36-byte head and the first loops. Loops past
// these are never used, so a chunk claiming millions of them costs nothing.
inline constexpr std::uint32_t smplHeadBytes = 36;
inline constexpr std::uint32_t smplLoopBytes = 24;
inline constexpr std::uint32_t smplKeptLoops = 16;
inline constexpr std::uint32_t smplKeptBytes = smplHeadBytes + smplKeptLoops * smplLoopBytes;
inline constexpr std::uint32_t instBytes = 7;

// Parses a "smpl" chunk body into chunks (unity note and loops). A body too short for its head
// gives nothing; a loop count larger than the body holds gives the loops that are really there.
void ParseSmplChunk(std::span<const std::uint8_t> body, SampleChunks& chunks);
// Parses an "inst" chunk body (unshifted note, fine tune, gain, low note, high note, low and high
// velocity) into the key range; a body shorter than 7 bytes gives nothing.
void ParseInstChunk(std::span<const std::uint8_t> body, SampleChunks& chunks);

// The "smpl" chunk body for chunks' unity note (60 when it has none) and loops, in a file of
// `rate` Hz; and the "inst" chunk body for its key range (velocities 1-127). The reader above
// reads back what these write.
std::vector<std::uint8_t> SmplChunkBody(const SampleChunks& chunks, std::uint32_t rate);
std::vector<std::uint8_t> InstChunkBody(const SampleChunks& chunks);

// Puts what the chunks say into a row fresh from InitSampleEntry (soundStart 0, sound to the last
// frame): a unity note from 24 to 127 becomes the pitch; the first four loops that lie inside the
// sound become loops 1-4 (with their dwell where the chunks have one) with the chunks' loop mode,
// else Normal Looping, and their count; a key range becomes the low and high keys, cut to 24-127
// (a range that is empty there, or upside down, is ignored). Anything else keeps the row's
// defaults.
void ApplySampleChunks(const SampleChunks& chunks, SampleEntry& entry);

} // namespace velomire::program
