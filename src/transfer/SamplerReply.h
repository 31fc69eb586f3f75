#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace velomire::transfer {

// One message a sampler sends back during a transfer.
//
// Sample Dump Standard handshakes, 6 bytes: F0 7E cc hh pp F7, with cc the channel, pp the packet
// number (or 0 after a Dump Header) and hh 7F ACK, 7E NAK, 7C WAIT, 7D CANCEL.
// S900/S950 handshakes, 4 bytes, with neither channel nor packet: F0 7E hh F7 (same hh).
// Akai S1000-family reply (function 16h): F0 47 cc 16 48 rr [dd ...] F7, where rr 00 means the
// last message was taken and any other value that it was refused; the bytes dd that may follow
// are the sampler's error detail and are kept as they came.
struct SamplerReply {
    enum class Kind { ack, nak, wait, cancel, akaiReply };

    Kind kind = Kind::ack;
    int channel = -1; // the channel byte; -1 for the S900 form
    int packet = -1;  // the packet number of an SDS handshake; -1 otherwise
    int status = 0;   // rr of an Akai reply
    std::vector<std::uint8_t> detail;

    bool Refused() const { return kind == Kind::akaiReply && status != 0; }
};

// The reply in one whole message (F0 to F7), in any family's form, or nothing for any other
// message. Each family reads and builds its own form (Family::ReplyOf, its folder's wire rules).
std::optional<SamplerReply> ParseSamplerReply(std::span<const std::uint8_t> message);

} // namespace velomire::transfer
