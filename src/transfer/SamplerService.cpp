#include "transfer/SamplerService.h"

namespace velomire::transfer {

bool SamplerService::Respond(std::span<const std::uint8_t> bytes, WaitClock::TimePoint arrival,
                             std::vector<std::vector<std::uint8_t>>& now) {
    const std::unique_lock lock(mutex, std::try_to_lock);
    if (!lock.owns_lock()) {
        return false;
    }
    for (TimedReply& reply : sampler.Feed(bytes)) {
        if (reply.delay.count() > 0) {
            pending.emplace(arrival + reply.delay, std::move(reply.bytes));
        } else {
            now.push_back(std::move(reply.bytes));
        }
    }
    return true;
}

void SamplerService::Feed(std::span<const std::uint8_t> bytes, WaitClock::TimePoint arrival) {
    for (TimedReply& reply : sampler.Feed(bytes)) {
        pending.emplace(arrival + reply.delay, std::move(reply.bytes));
    }
}

MidiStatus SamplerService::Serve(MidiEndpoint& endpoint, WaitClock::TimePoint now) {
    // Polled with the lock held, so that the endpoint's thread cannot answer a later message
    // before the ones taken here are fed.
    const std::lock_guard lock(mutex);
    arrived.clear();
    MidiStatus result = endpoint.Poll(arrived);
    for (const MidiInBytes& piece : arrived) {
        Feed(piece.bytes, piece.time);
    }
    while (!pending.empty() && pending.begin()->first <= now) {
        if (MidiStatus status = endpoint.Write(pending.begin()->second); !status && result) {
            result = std::move(status);
        }
        pending.erase(pending.begin());
    }
    return result;
}

} // namespace velomire::transfer
