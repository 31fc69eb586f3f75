#pragma once

#include "transfer/SamplerReply.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

// The Akai S1000/S3000 family messages on the wire: every size and byte the builders, the
// decoder, the reply parser and the estimate share. The sample data travel as SDS packets.
namespace velomire::transfer::s1000 {

inline constexpr std::uint8_t akaiId = 0x47;
inline constexpr std::uint8_t modelByte = 0x48;
inline constexpr std::uint8_t programHeaderFunction = 0x07;
inline constexpr std::uint8_t keygroupFunction = 0x09;
inline constexpr std::uint8_t sampleHeaderFunction = 0x0B;
inline constexpr std::uint8_t replyFunction = 0x16; // 12h is DELP, a request

// The parameter blocks: 150 bytes on the S1000/S1100, 192 on the later models.
inline constexpr std::size_t shortBlockBytes = 150;
inline constexpr std::size_t longBlockBytes = 192;
// Bytes the later models read differently from the S1000/S1100, with the values every program
// and keygroup an S3000 XL saves holds (24 programs the sampler saved itself; Akai's S3000
// documents give the ranges). The S1000/S1100 keeps the stored words in bytes 17 and 70.
// Program byte 17, the polyphony: 0-31 for 1 to 32 voices.
inline constexpr std::size_t polyphonyByte = 17;
inline constexpr std::uint8_t laterPolyphony = 31;
// Program byte 70, the level sent to the individual outputs and the effects, 0-99; at 0 an
// entry's chosen output plays nothing.
inline constexpr std::size_t outputLevelByte = 70;
inline constexpr std::uint8_t laterOutputLevel = 50;
// Program byte 73, the pitch-bend down range (0 makes bending down do nothing).
inline constexpr std::size_t bendDownByte = 73;
inline constexpr std::uint8_t laterBendDown = 2;
// Keygroup byte 150, LFO 1 to pitch, -50 to 50: the mod wheel's vibrato.
inline constexpr std::size_t lfo1PitchByte = 150;
inline constexpr std::uint8_t laterLfo1Pitch = 50;
// Keygroup byte 160, the mute group 0-31, or FF for none (0 would put every keygroup in group 0,
// each new note cutting off the others).
inline constexpr std::size_t muteGroupByte = 160;
inline constexpr std::uint8_t noMuteGroup = 0xFF;

// A header is its block as nibbles between 7 bytes of opening (F0 47 cc ff 48 nn nn) and F7; a
// keygroup also carries its index after the program number.
inline constexpr std::size_t headerFrameBytes = 8;
inline constexpr std::size_t keygroupFrameBytes = 9;

// Waits of a one-way send, in ms.
inline constexpr std::int32_t waitAfterSampleHeaderMs = 600;
inline constexpr std::int32_t waitAfterProgramHeaderMs = 1000;
inline constexpr std::int32_t waitAfterKeygroupMs = 200;

// A name's characters, in the family's character set.
inline constexpr std::size_t nameChars = 12;

// The sample rate travels in 16 bits.
inline constexpr std::uint32_t highestRate = 65535;
// The only rates the family plays a sample's words at, in Hz.
inline constexpr std::uint32_t fullRate = 44100;
inline constexpr std::uint32_t halfRate = 22050;

// F0 47 cc 12 48 rr [dd ...] F7, or nothing for any other whole message.
std::optional<SamplerReply> ParseReply(std::span<const std::uint8_t> message);

} // namespace velomire::transfer::s1000

namespace velomire::transfer {

// The reply as the sampler sends it: status 0 takes the last message, any other refuses it.
std::vector<std::uint8_t> AkaiReply(int channel, int status);

} // namespace velomire::transfer
