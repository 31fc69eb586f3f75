#pragma once

#include "transfer/MidiInPort.h"
#include "transfer/SamplerReply.h"

#include <chrono>
#include <functional>
#include <initializer_list>
#include <span>
#include <string>

namespace velomire::transfer {

// The sender's half of the handshake: waits for the sampler's answer to a header or a Data
// Packet, holds while it asks to wait (at most the wait limit), and keeps the counts a send
// reports at its end. Answers on another channel, or for packets not waiting for one, are passed
// over; an Akai refusal counts only on our exclusive channel, and a CANCEL in the S900 form
// (which names no channel) stops the transfer like any other.
class ClosedLoop {
public:
    // The longest wait for the answer to an SDS Dump Header, and to a Data Packet.
    static constexpr std::chrono::milliseconds headerWindow{2000};
    static constexpr std::chrono::milliseconds packetWindow{20};
    // How often a header or a packet is sent again after a NAK before the send stops.
    static constexpr int maxResends = 3;
    // Packets in a row without any answer after which a sample part goes on without waiting.
    static constexpr int silentPacketsAllowed = 3;
    // How long a WAIT holds the sender when the settings say nothing.
    static constexpr std::chrono::seconds defaultWaitLimit{60};

    // held: the sampler asked to wait and said nothing more within the wait limit.
    enum class Answer { ack, nak, cancel, none, refused, held };

    // An answer about one of the packets waiting for one, `index` counting from the oldest.
    struct PacketAnswer {
        Answer answer = Answer::none;
        std::size_t index = 0;
    };

    // `exclusiveChannel`: the channel byte (0-127) of our Akai messages, whose refusals count.
    ClosedLoop(MidiInPort& in, int exclusiveChannel,
               std::chrono::milliseconds waitLimit = defaultWaitLimit)
        : in(in), exclusiveChannel(exclusiveChannel), waitLimit(waitLimit) {}

    // The first answer within `window` on one of `channels`; a WAIT holds until the next answer,
    // for at most the wait limit (the user's Cancel ends the hold: see MidiInPort).
    Answer AwaitHeader(std::chrono::milliseconds window, std::initializer_list<int> channels);
    // The first answer on `channel` until `deadline` that names one of the packets `numbers`
    // (0-127, oldest first), or a CANCEL. A WAIT moves the deadline to the end of the hold.
    PacketAnswer AwaitPacket(int channel, std::span<const int> numbers,
                             WaitClock::TimePoint& deadline);
    // Takes what has arrived without waiting: S900 handshakes are counted, an Akai refusal is
    // kept. Returns cancel after a CANCEL in the S900 form, refused after a refusal, else none.
    Answer Drain();
    WaitClock::TimePoint Now() { return in.Now(); }

    // "The sampler asked to wait and did not answer for 60 s."
    std::string HeldText() const;

    // Whether the sample part being sent goes with handshake.
    bool partHandshake = false;
    // Answers on our channel for packets not waiting for one, in the part being sent.
    int otherPackets = 0;
    int resentPackets = 0;
    int s900Acks = 0;
    int s900Naks = 0;
    // The last Akai reply that refused something, if any.
    std::optional<SamplerReply> refusal;

private:
    // The first answer until `deadline` that `meant` accepts; a WAIT among those holds until
    // the next one, at most the wait limit.
    std::optional<SamplerReply> Await(WaitClock::TimePoint& deadline,
                                      const std::function<bool(const SamplerReply&)>& meant);
    // A reply that matters here, or nothing once the deadline has passed.
    std::optional<SamplerReply> Next(WaitClock::TimePoint deadline);

    MidiInPort& in;
    int exclusiveChannel;
    std::chrono::milliseconds waitLimit;
    bool held = false; // the last Await ended in a hold that ran out
    bool cancelled = false;
};

// The answer a reply gives: ack, nak or cancel; refused for an Akai refusal.
ClosedLoop::Answer AnswerOf(const SamplerReply& reply);

} // namespace velomire::transfer
