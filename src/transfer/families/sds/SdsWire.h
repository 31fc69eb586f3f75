#pragma once

#include "transfer/SamplerReply.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

// The MIDI Sample Dump Standard on the wire: every size and byte the builders, the decoder, the
// reply parser and the estimate share.
namespace velomire::transfer::sds {

inline constexpr std::uint8_t universalNonRealTime = 0x7E;
inline constexpr std::uint8_t dumpHeaderId = 0x01;
inline constexpr std::uint8_t dataPacketId = 0x02;

// F0 7E cc 01 ss ss ee pp pp pp ll ll ll aa aa aa bb bb bb tt F7
inline constexpr std::size_t dumpHeaderBytes = 21;
// F0 7E cc 02 kk, 120 data bytes, checksum, F7
inline constexpr std::size_t packetBytes = 127;
inline constexpr std::size_t packetDataBytes = 120;
// 16-bit words go as 3 data bytes each.
inline constexpr std::uint32_t wordsPerPacket = 40;
// Packets of a sample of `words` words: a length of 0 still sends one.
inline constexpr std::uint32_t Packets(std::uint32_t words) {
    return words == 0 ? 1 : (words - 1) / wordsPerPacket + 1;
}
// After the last packet of one-way data, for the sampler to store the sample.
inline constexpr std::int32_t waitAfterDataMs = 700;

// The handshake codes, in byte 3 of the SDS form and byte 2 of the S900 form.
inline constexpr std::uint8_t ackByte = 0x7F;
inline constexpr std::uint8_t nakByte = 0x7E;
inline constexpr std::uint8_t cancelByte = 0x7D;
inline constexpr std::uint8_t waitByte = 0x7C;

std::optional<SamplerReply::Kind> HandshakeKind(std::uint8_t code);
std::uint8_t HandshakeByte(SamplerReply::Kind kind);

// F0 7E cc hh pp F7, or nothing for any other whole message.
std::optional<SamplerReply> ParseHandshake(std::span<const std::uint8_t> message);

} // namespace velomire::transfer::sds

namespace velomire::transfer {

// The handshake as a receiver sends it (the simulated sampler, tests).
std::vector<std::uint8_t> SdsHandshake(SamplerReply::Kind kind, int channel, int packet);

} // namespace velomire::transfer
