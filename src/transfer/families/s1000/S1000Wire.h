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
// A header is its block as nibbles between 7 bytes of opening (F0 47 cc ff 48 nn nn) and F7; a
// keygroup also carries its index after the program number.
inline constexpr std::size_t headerFrameBytes = 8;
inline constexpr std::size_t keygroupFrameBytes = 9;

// Waits of a one-way send, in ms.
inline constexpr std::int32_t waitAfterSampleHeaderMs = 600;
inline constexpr std::int32_t waitAfterProgramHeaderMs = 1000;
inline constexpr std::int32_t waitAfterKeygroupMs = 200;

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
