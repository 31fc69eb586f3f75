#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace velomire::transfer {

class ReceivingSampler;

// The S900/S950 sample data as the simulated sampler takes it while it arrives, one long message:
// its header reserves the sample's room (CANCEL, and the rest not taken, when it does not fit),
// and each block of 122 bytes is answered as it completes, in the S900 handshake form, NAK when
// its checksum is wrong. The script never makes it WAIT. Returns the length at which the message
// is to be shown again (Family::Arriving).
std::size_t S900Arriving(std::span<const std::uint8_t> message, ReceivingSampler& sampler);

// The bytes of a sample data message of `words` words, counting a block for every 60 words and
// one more: the longest message the sampler takes with that much memory.
std::size_t S900DataMessageBytes(std::uint32_t words);

} // namespace velomire::transfer
