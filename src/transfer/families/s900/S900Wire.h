#pragma once

#include "transfer/SamplerReply.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

// The Akai S900/S950 messages on the wire: every size and byte the builders, the decoder, the
// reply parser, the simulated sampler and the estimate share.
namespace velomire::transfer::s900 {

inline constexpr std::uint8_t akaiId = 0x47;
// A name's characters.
inline constexpr std::size_t nameChars = 10;
inline constexpr std::uint8_t modelByte = 0x40;
inline constexpr std::uint8_t programFunction = 0x09;
inline constexpr std::uint8_t sampleHeaderFunction = 0x0A;

// The sample data, one long message without a channel byte: F0 7E 01 ss ss 0C pp pp pp ll ll ll
// and 7 more header bytes, then pieces of 60 words in 122 bytes (number, 120 data bytes,
// checksum), then F7.
inline constexpr std::uint8_t dataId = 0x01;
inline constexpr std::uint8_t dataBits = 0x0C;
inline constexpr std::size_t dataHeaderBytes = 19; // F0 up to the last header byte
inline constexpr std::size_t pieceBytes = 122;
inline constexpr std::uint32_t wordsPerPiece = 60;
// The sample header: 7 bytes of opening, 60 header bytes as 120 wire bytes, checksum, F7.
inline constexpr std::size_t sampleHeaderBytes = 129;
// The program: 38 header bytes and 70 per keygroup, each as two wire bytes, between 7 bytes of
// opening and the checksum and F7.
inline constexpr std::size_t programHeaderBlock = 38;
inline constexpr std::size_t keygroupBlock = 70;
inline constexpr std::size_t programFrameBytes = 9;

// The keygroup's output (keygroup byte 19) that lets the sampler play it on any of its voices,
// the sampler's own default: 1,608 of 1,899 keygroups on real disks hold it, as does a captured
// S950 default program. An output 0-7 ties the keygroup to that one voice, so that every note
// cuts the one before. The two keygroups of a stereo pair go to 8 and 9, the left half's first.
inline constexpr std::uint8_t allVoices = 255;
inline constexpr std::uint8_t stereoLeftOutput = 8;
inline constexpr std::uint8_t stereoRightOutput = 9;

// Waits of a one-way send, in ms: after the data's header, and after the data.
inline constexpr std::int32_t waitAfterHeaderPieceMs = 300;
inline constexpr std::int32_t waitAfterDataMs = 300;

// The sample and program numbers travel as single data bytes.
inline constexpr std::int32_t highestNumber = 127;

// The points of a sample header (header bytes 28-39). Akai's S900 document names bytes 28-31 "End
// point" and 32-35 "First replay point"; a study of 202 real S950 disk images found that the
// sampler plays from the first replay point to the end point and, when the sample loops, loops
// backwards from the end point by the loop length (bytes 36-39), with the first replay point 0 in
// 250 of 324 looped samples. All three count words from the sample's first word.
struct SamplePoints {
    std::uint32_t endPoint = 0;
    std::uint32_t firstReplayPoint = 0;
    std::uint32_t loopLength = 0;
};

// The first and last word of a loop.
struct LoopWords {
    std::uint32_t first = 0;
    std::uint32_t last = 0;
};

// The loop the points describe in a sample of `lengthWords` words; nothing when the loop length
// is 0 or the loop does not lie inside the words.
std::optional<LoopWords> LoopOf(const SamplePoints& points, std::uint32_t lengthWords);

// Pieces of a sample of `words` words: a length of 0 still sends one.
inline constexpr std::uint32_t Pieces(std::uint32_t words) {
    return words == 0 ? 1 : (words - 1) / wordsPerPiece + 1;
}

// Whether the bytes begin the sample data message (its first 6 bytes are enough).
bool IsSampleData(std::span<const std::uint8_t> message);

// F0 7E hh F7, or nothing for any other whole message.
std::optional<SamplerReply> ParseHandshake(std::span<const std::uint8_t> message);

} // namespace velomire::transfer::s900

namespace velomire::transfer {

// The handshake as a receiver sends it: neither channel nor packet.
std::vector<std::uint8_t> S900Handshake(SamplerReply::Kind kind);

} // namespace velomire::transfer
