#include "transfer/SamplerService.h"

namespace velomire::transfer {

namespace {

constexpr std::uint64_t ackValid = std::uint64_t{1} << 63;
constexpr int ackNumberShift = 56;
constexpr std::uint64_t takenMask = (std::uint64_t{1} << ackNumberShift) - 1;

} // namespace

std::size_t SamplerService::Respond(std::span<const std::uint8_t> event, bool lostBefore,
                                    std::span<std::uint8_t, maxReplyBytes> reply) noexcept {
    if (lostBefore) {
        inPacket = false;
    }
    std::size_t length = 0;
    for (std::size_t i = 0; i < event.size(); ++i) {
        const std::uint8_t b = event[i];
        const std::uint64_t at = seen++;
        if (b >= 0xF8) {
            continue;
        }
        if (b == 0xF0) {
            inPacket = true;
            packetStart = at;
            packetBytes = 0;
        } else if (!inPacket || (b >= 0x80 && b != 0xF7) || packetBytes == packet.size()) {
            inPacket = false;
            continue;
        }
        packet[packetBytes++] = b;
        if (b != 0xF7) {
            continue;
        }
        inPacket = false;
        if (i + 1 != event.size() || packetBytes != packet.size() || packet[1] != 0x7E ||
            packet[3] != 0x02) {
            continue;
        }
        std::uint8_t sum = 0;
        for (std::size_t k = 1; k < 125; ++k) {
            sum ^= packet[k];
        }
        const std::uint64_t ack = plainAck.load(std::memory_order_acquire);
        // Fed up to at least the packet's F0: the published answer is the one it gets.
        if (sum == packet[125] && (ack & ackValid) != 0 && (ack & takenMask) >= packetStart &&
            static_cast<int>((ack >> ackNumberShift) & 0x7F) == packet[4]) {
            const std::uint8_t bytes[] = {0xF0, 0x7E, packet[2], 0x7F, packet[4], 0xF7};
            std::copy(std::begin(bytes), std::end(bytes), reply.begin());
            length = sizeof bytes;
        }
    }
    return length;
}

void SamplerService::Publish() {
    const auto number = sampler.PlainAckPacket();
    const std::uint64_t taken = sampler.BytesTaken() & takenMask;
    plainAck.store(number ? ackValid | std::uint64_t(*number) << ackNumberShift | taken : taken,
                   std::memory_order_release);
}

void SamplerService::Feed(const MidiInBytes& piece) {
    if (piece.lostBefore) {
        sampler.Lost();
    }
    for (TimedReply& reply : sampler.Feed(piece.bytes, piece.answered)) {
        pending.emplace(piece.time + reply.delay, std::move(reply.bytes));
    }
}

MidiStatus SamplerService::Serve(MidiEndpoint& endpoint, WaitClock::TimePoint now) {
    arrived.clear();
    MidiStatus result = endpoint.Poll(arrived);
    for (const MidiInBytes& piece : arrived) {
        Feed(piece);
        lastTraffic = now;
    }
    if (pending.empty() && lastTraffic) {
        const auto quiet =
            std::chrono::duration_cast<std::chrono::milliseconds>(now - *lastTraffic);
        for (TimedReply& reply : sampler.Silence(quiet)) {
            pending.emplace(now + reply.delay, std::move(reply.bytes));
        }
    }
    Publish();
    while (!pending.empty() && pending.begin()->first <= now) {
        if (MidiStatus status = endpoint.Write(pending.begin()->second); !status && result) {
            result = std::move(status);
        }
        pending.erase(pending.begin());
        lastTraffic = now;
    }
    return result;
}

} // namespace velomire::transfer
