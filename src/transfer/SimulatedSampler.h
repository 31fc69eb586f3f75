#pragma once

#include "transfer/SamplerMemory.h"
#include "transfer/SamplerModel.h"
#include "transfer/SysExDecoder.h"

#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <utility>
#include <vector>

namespace velomire::transfer {

// How the simulated sampler answers. Packets are counted from 0 over the whole run: SDS Data
// Packets (also those carrying S1000-family samples) and S900 data blocks, a resent packet
// keeping its number.
struct SamplerScript {
    SamplerFamily family = SamplerFamily::sds;
    // The model it plays, for what its family's answers differ in; -1: the family's first.
    std::int32_t model = SamplerModel::none;
    std::set<int> nakPackets{};      // answered NAK once each, then as usual
    std::optional<int> waitPacket{}; // answered WAIT, then ACK after waitTime
    std::chrono::milliseconds waitTime{0};
    std::optional<int> cancelPacket{};       // answered CANCEL
    std::chrono::milliseconds replyDelay{0}; // before every answer
    bool oneWay = false;                     // never answers
    std::uint32_t memoryWords = 16u << 20;   // sample memory, in words
    std::optional<int> losePacket{}; // an SDS Data Packet dropped once, as if lost on the cable
    bool nakExpected = false;        // a NAK names the packet expected, not the one that came
    SendFaults sendFaults{};         // while it sends what it holds
};

// The sample memory, in words, of the model the simulated sampler plays, as fully expanded.
std::uint32_t SimulatedMemoryWords(std::int32_t model);

// The receiving side of a sampler of one family, without the MIDI ports: it takes the bytes that
// arrive, in whatever pieces, decodes every message (checking lengths and checksums) and says
// what to answer. SDS Dump Headers and S1000-family sample headers are answered like a Dump
// Header, Data Packets one by one, S900/S950 data block by block in the S900 handshake form; a
// malformed Akai message is answered with an Akai reply that refuses it.
//
// It has the sample memory of its model and keeps in it what it receives: a sample (with data)
// replaces the one of the same number, and a dump that would not fit beside the samples it holds
// is answered with CANCEL and not taken; no message may grow past the largest sample the memory
// holds. Requests (a dump, a catalogue, a delete) are answered from the memory by the family's
// responder. What it received is also handed out once closed (TakeClosedSamples).
class SimulatedSampler {
public:
    explicit SimulatedSampler(SamplerScript script);
    ~SimulatedSampler();
    SimulatedSampler(SimulatedSampler&&) noexcept;
    SimulatedSampler& operator=(SimulatedSampler&&) = delete;

    // The bytes that arrived next; `answered` when the message their last byte completes was
    // already answered with a plain ACK (PlainAckPacket) and must not be answered again.
    std::vector<TimedReply> Feed(std::span<const std::uint8_t> bytes, bool answered = false);
    // Input was lost before the next bytes: the message in progress is not taken.
    void Lost();
    // Nothing has come or gone for `quiet`: what the sampler sends unasked (the next packet of a
    // dump whose wait for an answer ran out).
    std::vector<TimedReply> Silence(std::chrono::milliseconds quiet);

    // What is complete (or will get nothing more) since the last call; the sampler forgets it.
    std::vector<DecodedSample> TakeClosedSamples() { return std::exchange(closedSamples, {}); }
    std::vector<DecodedProgram> TakeClosedPrograms() { return std::exchange(closedPrograms, {}); }
    // Closes what is still open (at the end of a run).
    void CloseAll();
    // What it holds.
    SamplerMemory& Memory() { return *memory; }
    // One line for each message refused since the last call.
    std::vector<std::string> TakeLog();
    // One line for each NAK or CANCEL the reader of a dump sent since the last call ("NAK for
    // packet 3", "CANCEL"), so that a run shows how the reader recovered or stopped.
    std::vector<std::string> TakeHandshakes() { return std::exchange(handshakes, {}); }
    // Packets counted so far.
    int PacketCount() const { return nextPacket; }
    // The words of sample memory not taken.
    std::uint32_t FreeWords() const;
    // Bytes taken over the run.
    std::size_t BytesTaken() const { return offset; }
    // The packet number with which an intact SDS Data Packet would get a plain ACK at once if it
    // arrived now; nothing when any other answer could be due.
    std::optional<int> PlainAckPacket() const;

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
    // Whether `words` for sample `number` fit beside the other samples held.
    bool Reserve(int number, std::uint32_t words);
    // Keeps what the decoder closed in the memory and for TakeClosedSamples.
    void Keep();
    void S900DataHeader(std::vector<TimedReply>& replies);

    SamplerScript script;
    std::size_t messageLimit;
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
    bool quiet = false; // the message being decoded was answered already
    // On the heap, so that the responder's references stay valid when the sampler moves.
    std::unique_ptr<SamplerMemory> memory;
    std::unique_ptr<RequestResponder> responder;
    // The words of each sample arriving, by number, from its header until it closes.
    std::map<int, std::uint32_t> arriving;
    std::vector<DecodedSample> closedSamples;
    std::vector<DecodedProgram> closedPrograms;
    std::vector<std::string> log;
    std::vector<std::string> handshakes;
};

} // namespace velomire::transfer
