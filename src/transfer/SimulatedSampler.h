#pragma once

#include "transfer/SamplerModel.h"
#include "transfer/SysExDecoder.h"

#include <chrono>
#include <cstdint>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <vector>

namespace velomire::transfer {

// How the simulated sampler answers. Packets are counted from 0 over the whole run: SDS Data
// Packets (also those carrying S1000-family samples) and S900 data blocks, a resent packet
// keeping its number.
struct SamplerScript {
    SamplerFamily family = SamplerFamily::sds;
    std::set<int> nakPackets{};      // answered NAK once each, then as usual
    std::optional<int> waitPacket{}; // answered WAIT, then ACK after waitTime
    std::chrono::milliseconds waitTime{0};
    std::optional<int> cancelPacket{};       // answered CANCEL
    std::chrono::milliseconds replyDelay{0}; // before every answer
    bool oneWay = false;                     // never answers
    std::optional<int> losePacket{}; // an SDS Data Packet dropped once, as if lost on the cable
    bool nakExpected = false;        // a NAK names the packet expected, not the one that came
};

// A reply to send, `delay` after the bytes that caused it arrived.
struct TimedReply {
    std::vector<std::uint8_t> bytes;
    std::chrono::milliseconds delay{0};
};

// The receiving side of a sampler of one family, without the MIDI ports: it takes the bytes that
// arrive, in whatever pieces, decodes every message (checking lengths and checksums) and says
// what to answer. SDS Dump Headers and S1000-family sample headers are answered like a Dump
// Header, Data Packets one by one, S900/S950 data block by block in the S900 handshake form; a
// malformed Akai message is answered with an Akai reply that refuses it.
class SimulatedSampler {
public:
    // The longest message taken whole (an S900 sample is one message).
    static constexpr std::size_t messageLimit = 64u << 20;

    explicit SimulatedSampler(SamplerScript script) : script(std::move(script)) {}

    std::vector<TimedReply> Feed(std::span<const std::uint8_t> bytes);

    const SysExDecoder& Decoder() const { return decoder; }
    // The samples and programs (indices into the decoder's lists) that changed since the last
    // call, and one line for each message refused.
    std::vector<std::size_t> TakeChangedSamples();
    std::vector<std::size_t> TakeChangedPrograms();
    std::vector<std::string> TakeLog();
    // Packets counted so far.
    int PacketCount() const { return nextPacket; }

private:
    void Message(std::vector<TimedReply>& replies);
    // Whether the whole message is the Data Packet the script loses.
    bool Lose();
    void S900Block(std::vector<TimedReply>& replies);
    // The answer to a packet numbered `index` in the run, given that it arrived intact.
    std::vector<std::uint8_t> PacketAnswer(int index, bool intact, bool s900, int channel,
                                           int packet, std::vector<TimedReply>& replies);
    void Reply(std::vector<TimedReply>& replies, std::vector<std::uint8_t> bytes,
               std::chrono::milliseconds extra = {});

    SamplerScript script;
    SysExDecoder decoder;
    std::vector<std::uint8_t> message;
    bool inMessage = false;
    std::size_t offset = 0;       // bytes taken so far over the run
    std::size_t messageStart = 0; // where the message in progress began
    int nextPacket = 0;
    int lastPacketIndex = -1;  // the run's number of the last SDS packet taken
    int lastPacketNumber = -1; // its packet number, to tell a resend
    bool lost = false;         // the packet to lose has been lost
    std::set<int> nakSent;
    bool waitSent = false;
    std::set<std::size_t> changedSamples;
    std::set<std::size_t> changedPrograms;
    std::vector<std::string> log;
};

} // namespace velomire::transfer
