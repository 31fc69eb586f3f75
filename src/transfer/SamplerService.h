#pragma once

#include "transfer/MidiEndpoint.h"
#include "transfer/SimulatedSampler.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <map>
#include <optional>
#include <vector>

namespace velomire::transfer {

// The simulated sampler behind a MIDI endpoint.
//
// Threads: the endpoint's own thread (a JACK process callback) calls Respond with every event
// before it goes to Poll. There it only checks whether the event ends an intact SDS Data Packet
// with the number the sampler waits for, and if so answers ACK in that cycle, as a sampler on a
// cable answers as soon as the last byte is in: a fixed 127-byte buffer, a checksum, no
// allocation and no lock. Everything else, decoding included, runs on the main loop (Serve): it
// takes what Poll gives out, feeds the sampler (without answering again what was answered), sends
// the replies that are due, and publishes in one atomic word which packet would get a plain ACK
// next and how many bytes the sampler has taken, so that the endpoint's thread answers only a
// packet that began after everything before it was fed.
class SamplerService final : public MidiResponder {
public:
    explicit SamplerService(SamplerScript script) : sampler(std::move(script)) { Publish(); }

    std::size_t Respond(std::span<const std::uint8_t> event, bool lostBefore,
                        std::span<std::uint8_t, maxReplyBytes> reply) noexcept override;

    // Feeds what the endpoint kept for Poll and writes every reply due by `now`; the first
    // error of the endpoint, if any (the rest is still done).
    MidiStatus Serve(MidiEndpoint& endpoint, WaitClock::TimePoint now);

    // Runs `look` on the sampler (main loop only).
    template <typename Look> void Inspect(Look look) {
        look(sampler);
        Publish();
    }

private:
    // Feeds one piece and keeps its replies until they are due.
    void Feed(const MidiInBytes& piece);
    void Publish();

    SimulatedSampler sampler;
    std::multimap<WaitClock::TimePoint, std::vector<std::uint8_t>> pending;
    // When something last came or went, for the sampler's waits for an answer.
    std::optional<WaitClock::TimePoint> lastTraffic;
    std::vector<MidiInBytes> arrived;

    // Main loop to endpoint's thread: bit 63 set when a packet would get a plain ACK, bits 56 to
    // 62 its number, bits 0 to 55 the bytes the sampler has taken.
    std::atomic<std::uint64_t> plainAck{0};
    // Endpoint's thread only: the message in progress while it may still be a Data Packet, and
    // the bytes seen over the run.
    std::array<std::uint8_t, 127> packet{};
    std::size_t packetBytes = 0;
    bool inPacket = false;
    std::uint64_t packetStart = 0;
    std::uint64_t seen = 0;
};

} // namespace velomire::transfer
