#pragma once

#include "transfer/MidiInPort.h"
#include "transfer/SamplerReply.h"

#include <chrono>
#include <functional>
#include <initializer_list>
#include <string>

namespace velomire::transfer {

// The sender's half of the handshake: waits for the sampler's answer to a header or a Data
// Packet, holds while it asks to wait, and keeps the counts a send reports at its end. Answers
// on another channel, or for another packet, are passed over.
class ClosedLoop {
public:
    // The longest wait for the answer to an SDS Dump Header, and to a Data Packet.
    static constexpr std::chrono::milliseconds headerWindow{2000};
    static constexpr std::chrono::milliseconds packetWindow{20};
    // How often a header or a packet is sent again after a NAK before the send stops.
    static constexpr int maxResends = 3;
    // Packets in a row without any answer after which a sample part goes on without waiting.
    static constexpr int silentPacketsAllowed = 3;

    enum class Answer { ack, nak, cancel, none, refused };

    explicit ClosedLoop(MidiInPort& in) : in(in) {}

    // The first answer within `window` on one of `channels`; a WAIT holds until the next answer,
    // for as long as the sampler takes (the user's Cancel ends the hold: see MidiInPort).
    Answer AwaitHeader(std::chrono::milliseconds window, std::initializer_list<int> channels);
    // The answer to packet `packet` (0-127) on `channel` within the packet window.
    Answer AwaitPacket(int channel, int packet);
    // Takes what has arrived without waiting: S900 handshakes are counted, an Akai reply that
    // refuses is kept. True when such a refusal has come.
    bool Drain();

    // Whether the sample part being sent goes with handshake.
    bool partHandshake = false;
    int resentPackets = 0;
    // Data Packets that went on without any answer (a sampler that fell silent): nothing says
    // they arrived whole.
    int unansweredPackets = 0;
    int s900Acks = 0;
    int s900Naks = 0;
    // The last Akai reply that refused something, if any.
    std::optional<SamplerReply> refusal;

private:
    // The first answer within `window` that `meant` accepts; a WAIT among those holds until the
    // next one.
    Answer Await(std::chrono::milliseconds window,
                 const std::function<bool(const SamplerReply&)>& meant);
    // A reply that matters here, or nothing once the deadline has passed.
    std::optional<SamplerReply> Next(WaitClock::TimePoint deadline);

    MidiInPort& in;
};

} // namespace velomire::transfer
