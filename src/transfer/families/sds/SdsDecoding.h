#pragma once

#include "transfer/SysExDecoder.h"
#include "transfer/families/WireBlock.h"

#include <cstdint>

// Reading the Sample Dump Standard messages back: what one message says, without the state of
// the dump it belongs to (SysExDecoder keeps that).
namespace velomire::transfer::families::sds {

// A whole Dump Header (its size and id already checked).
wire::Parsed<decoded::PacketSampleHeader> ParseDumpHeader(wire::Bytes m, std::size_t offset);

// Word `w` of a Data Packet of `bits`-bit words as a signed 16-bit frame.
std::int16_t PacketFrame(wire::Bytes m, std::uint32_t w, int bits);
// The words a packet of `bits`-bit words carries.
std::uint32_t WordsPerPacket(int bits);

} // namespace velomire::transfer::families::sds
