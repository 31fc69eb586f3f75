#pragma once

#include "transfer/SamplerMemory.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace velomire::transfer::families::sds {

// The sampler's side of one Sample Dump Standard dump at a time, for the simulated sampler: the
// Dump Header, then each Data Packet once the one before is acknowledged. A NAK sends the packet
// it names again, a WAIT holds the dump until the next handshake, a CANCEL ends the dump. As the
// standard has a sender do, a wait for an answer that runs out (headerAnswerWait after the
// header, packetAnswerWait after a packet, longer than the standard's 20 ms so that a loaded
// machine's answers come in time) goes on as if it had been an ACK. Packets are counted from 0 over
// the run, a packet sent again keeping its number, for the faults: `damagePacket` goes once with a
// bad checksum, and after `stallAfter` packets the dump gets nothing more (until the receiver
// cancels it).
//
// The S1000 family sends its sample data this way too.
class SdsDumpSender {
public:
    explicit SdsDumpSender(const SendFaults& faults) : faults(faults) {}

    // Starts the dump of `sample` on `channel` (a dump in progress is dropped): its header.
    std::vector<TimedReply> Start(int channel, DecodedSample sample);
    // The answer to a handshake about the dump in progress; nothing for any other message, or
    // when no dump is in progress.
    std::optional<std::vector<TimedReply>> Answer(std::span<const std::uint8_t> message);
    bool Busy() const { return dump.has_value(); }
    // The next packet when the wait for an answer ran out after `quiet`; nothing otherwise.
    std::vector<TimedReply> Silence(std::chrono::milliseconds quiet);
    static constexpr std::chrono::milliseconds headerAnswerWait{2000};
    static constexpr std::chrono::milliseconds packetAnswerWait{200};
    // Packets sent over the run (a packet sent again counted once).
    int PacketsSent() const { return runPackets; }

private:
    struct Dump {
        int channel = 0;
        DecodedSample sample;
        std::uint32_t packets = 0;
        std::optional<std::uint32_t> sent; // the last packet sent, counted from 0
        int runFirst = 0;                  // the run's count of its packet 0
        bool stalled = false;
        bool held = false; // by a WAIT, until the next handshake
    };
    // The packet after the last one sent, or the end of the dump after its last packet.
    std::vector<TimedReply> Next();
    // Packet `index` of the dump, as the faults have it; nothing once it stalls.
    std::vector<TimedReply> Packet(std::uint32_t index);

    SendFaults faults;
    std::optional<Dump> dump;
    int runPackets = 0;
    bool damaged = false;
    bool stallPlayed = false;
};

} // namespace velomire::transfer::families::sds
