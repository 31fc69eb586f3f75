#pragma once

#include "transfer/MidiEndpoint.h"
#include "transfer/SimulatedSampler.h"

#include <map>
#include <mutex>
#include <vector>

namespace velomire::transfer {

// The simulated sampler behind a MIDI endpoint. The endpoint's own thread answers a message in
// the cycle in which it is completed (Respond), as a sampler on a cable answers as soon as the
// last byte is in; the main loop (Serve) takes what that thread left to it, sends the replies
// that are due later, and looks at what was received (Inspect). The two share one lock, which
// the endpoint's thread only tries: while the main loop holds it, input goes the slow way,
// still in order.
//
// The simulator is a partner for tests and rehearsals, not an instrument: its decoding may
// allocate on the endpoint's thread.
class SamplerService final : public MidiResponder {
public:
    explicit SamplerService(SamplerScript script) : sampler(std::move(script)) {}

    bool Respond(std::span<const std::uint8_t> bytes, WaitClock::TimePoint arrival,
                 std::vector<std::vector<std::uint8_t>>& now) override;

    // Feeds what the endpoint kept for Poll and writes every reply due by `now`; the first
    // error of the endpoint, if any (the rest is still done).
    MidiStatus Serve(MidiEndpoint& endpoint, WaitClock::TimePoint now);

    // Runs `look` on the sampler while nothing feeds it.
    template <typename Look> void Inspect(Look look) {
        const std::lock_guard lock(mutex);
        look(sampler);
    }

private:
    // With the lock held: feeds one piece and keeps its replies until they are due.
    void Feed(std::span<const std::uint8_t> bytes, WaitClock::TimePoint arrival);

    std::mutex mutex;
    SimulatedSampler sampler;
    std::multimap<WaitClock::TimePoint, std::vector<std::uint8_t>> pending;
    std::vector<MidiInBytes> arrived;
};

} // namespace velomire::transfer
