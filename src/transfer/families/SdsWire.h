#pragma once

#include "transfer/SamplerReply.h"
#include "transfer/SysExDecoder.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

// The MIDI Sample Dump Standard on the wire, both ways: every size and byte the builders, the
// decoder, the reply parser, the estimate, the librarian and the simulated sampler share.
namespace velomire::transfer::families::sds {

inline constexpr std::uint8_t universalNonRealTime = 0x7E;
inline constexpr std::uint8_t dumpHeaderId = 0x01;
inline constexpr std::uint8_t dataPacketId = 0x02;

// F0 7E cc 01 ss ss ee pp pp pp ll ll ll aa aa aa bb bb bb tt F7
inline constexpr std::size_t headerBytes = 21;
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

// The messages of the reading direction of the Sample Dump Standard and its extensions, as the
// requester and as the sampler send them. Every value is masked to the bits its field has.
// Loop type of a header or loop point message: a forward loop, or no loop.
inline constexpr int loopForward = 0x00;
inline constexpr int loopOff = 0x7F;

// F0 7E cc 03 ss ss F7
std::vector<std::uint8_t> DumpRequest(int channel, int number);
// F0 7E cc 05 04 ss ss F7
std::vector<std::uint8_t> NameRequest(int channel, int number);
// F0 7E cc 05 02 ss ss 7F 7F F7: every loop of the sample.
std::vector<std::uint8_t> LoopPointRequest(int channel, int number);

// A Dump Header for the sample as 16-bit words: its period from the header it came with (or its
// rate), its length, and its sustain loop.
std::vector<std::uint8_t> DumpHeader(int channel, const DecodedSample& sample);
// Data Packet `index` (counted from 0) of the sample's words; past the end it carries silence.
std::vector<std::uint8_t> DataPacket(int channel, const DecodedSample& sample, std::uint32_t index);
// The Data Packets a sample of `words` words takes (one at least).
std::uint32_t PacketCount(std::uint32_t words);
// F0 7E cc 05 03 ss ss tt ll <name> F7, without a language tag (tt 0); at most 127 bytes of name.
std::vector<std::uint8_t> NameTransmission(int channel, int number, std::string_view name);
// F0 7E cc 05 01 ss ss bb bb tt <start> <end> F7 with 3-byte word addresses.
std::vector<std::uint8_t> LoopPointTransmission(int channel, int number, int loop, int type,
                                                std::uint32_t start, std::uint32_t end);

struct Request {
    enum class Kind { dump, name, loops };
    Kind kind = Kind::dump;
    int channel = 0;
    int number = 0;
};
// The request in one whole message, or nothing for any other message.
std::optional<Request> ParseRequest(std::span<const std::uint8_t> message);

struct NameReply {
    int channel = 0;
    int number = 0;
    std::string name; // as sent; escape it before showing it
};
std::optional<NameReply> ParseNameTransmission(std::span<const std::uint8_t> message);

struct LoopReply {
    int channel = 0;
    int number = 0;
    int loop = 0;
    int type = loopOff;
    std::uint32_t start = 0;
    std::uint32_t end = 0;
};
std::optional<LoopReply> ParseLoopPointTransmission(std::span<const std::uint8_t> message);

// Whether the message is a Data Packet (its length and command), and whether its checksum holds.
bool IsDataPacket(std::span<const std::uint8_t> message);
bool PacketIntact(std::span<const std::uint8_t> message);
bool IsDumpHeader(std::span<const std::uint8_t> message);

} // namespace velomire::transfer::families::sds

namespace velomire::transfer {

// The family's wire rules, as the rest of transfer names them.
namespace sds = families::sds;

// The handshake as a receiver sends it (the simulated sampler, tests).
std::vector<std::uint8_t> SdsHandshake(SamplerReply::Kind kind, int channel, int packet);

} // namespace velomire::transfer
