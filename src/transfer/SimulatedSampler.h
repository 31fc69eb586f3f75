#pragma once

#include "transfer/SamplerMemory.h"
#include "transfer/SamplerModel.h"
#include "transfer/SamplerReply.h"
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

class Family;

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

// One answer the script gives a data packet: its kind, and the wait beyond the reply delay.
struct ScriptedAnswer {
    SamplerReply::Kind kind = SamplerReply::Kind::ack;
    std::chrono::milliseconds extra{0};
};

// The simulated sampler as a family sees it while a send arrives (Family::Arriving,
// Family::AnswerReceived): the room in its memory, its log and answers, and the run's count of
// data packets with the faults its script puts on them.
class ReceivingSampler {
public:
    virtual ~ReceivingSampler() = default;

    virtual const SamplerScript& Script() const = 0;
    // Whether `words` for sample `number` fit beside the samples held; a refusal is logged.
    virtual bool Reserve(int number, std::uint32_t words) = 0;
    // A header opened sample `number`, whose data follow as numbered packets: whether it fits
    // (Reserve); one that does not is dropped. Either way the packets that follow are new ones,
    // not resends.
    virtual bool KeepOpenSample(int number) = 0;
    // The rest of the message arriving is not taken.
    virtual void StopTaking() = 0;
    // The run's number of the next data packet, which carries no number of its own to resend by.
    virtual int CountPacket() = 0;
    // The run's number of a data packet numbered `number` on the wire: one repeating the number
    // of the last packet taken is its resend and keeps its run number. A packet `taken` is
    // counted.
    virtual int NumberedPacket(int number, bool taken) = 0;
    // The wire number of the last numbered packet taken; -1 when none since a sample opened.
    virtual int LastPacketNumber() const = 0;
    // The answers the script gives the run's packet `index`, in order, given whether it arrived
    // intact; WAIT only where the family `mayWait`.
    virtual std::vector<ScriptedAnswer> PacketAnswers(int index, bool intact, bool mayWait) = 0;
    virtual void Log(std::string line) = 0;
    // Sent after the reply delay and `extra`, unless the sampler answers nothing.
    virtual void Reply(std::vector<std::uint8_t> bytes, std::chrono::milliseconds extra) = 0;
};

// The receiving side of a sampler, without the MIDI ports: it takes the bytes that arrive, in
// whatever pieces, decodes every message (checking lengths and checksums) and says what to answer.
// It takes every family's messages, whichever model it plays, and answers them as their family
// says: SDS Dump Headers and S1000-family sample headers like a Dump Header, Data Packets one by
// one, S900/S950 data block by block in the S900 handshake form; a malformed Akai message is
// answered with an Akai reply that refuses it.
//
// It has the sample memory of its model and keeps in it what it receives: a sample (with data)
// replaces the one of the same number, and a dump that would not fit beside the samples it holds
// is answered with CANCEL and not taken; no message may grow past the largest sample the memory
// holds. Requests (a dump, a catalogue, a delete) are answered from the memory by the family's
// responder. What it received is also handed out once closed (TakeClosedSamples).
class SimulatedSampler final : private ReceivingSampler {
public:
    explicit SimulatedSampler(SamplerScript script);
    ~SimulatedSampler() override;
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
    void Message();
    // Whether the whole message is the Data Packet the script loses.
    bool Lose();
    // Keeps what the decoder closed in the memory and for TakeClosedSamples.
    void Keep();

    const SamplerScript& Script() const override { return script; }
    bool Reserve(int number, std::uint32_t words) override;
    bool KeepOpenSample(int number) override;
    void StopTaking() override { inMessage = false; }
    int CountPacket() override { return nextPacket++; }
    int NumberedPacket(int number, bool taken) override;
    int LastPacketNumber() const override { return lastPacketNumber; }
    std::vector<ScriptedAnswer> PacketAnswers(int index, bool intact, bool mayWait) override;
    void Log(std::string line) override { log.push_back(std::move(line)); }
    void Reply(std::vector<std::uint8_t> bytes, std::chrono::milliseconds extra) override;

    SamplerScript script;
    // Every family whose messages it takes.
    std::vector<const Family*> families;
    std::size_t messageLimit;
    SysExDecoder decoder;
    std::vector<std::uint8_t> message;
    bool inMessage = false;
    std::size_t offset = 0;       // bytes taken so far over the run
    std::size_t messageStart = 0; // where the message in progress began
    std::size_t nextLook = 0;     // the length at which a family looks at it again
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
    std::vector<TimedReply> replies; // to the bytes being fed
};

} // namespace velomire::transfer
