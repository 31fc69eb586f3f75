#include "transfer/families/SdsDumpSender.h"

#include "transfer/SamplerReply.h"
#include "transfer/families/SdsWire.h"

namespace velomire::transfer::families::sds {

std::vector<TimedReply> SdsDumpSender::Start(int channel, DecodedSample sample) {
    Dump next;
    next.channel = channel & 0x7F;
    next.packets = PacketCount(static_cast<std::uint32_t>(sample.frames.size()));
    next.runFirst = runPackets;
    next.sample = std::move(sample);
    dump = std::move(next);
    return {{DumpHeader(dump->channel, dump->sample)}};
}

std::vector<TimedReply> SdsDumpSender::Packet(std::uint32_t index) {
    const int run = dump->runFirst + static_cast<int>(index);
    if (!dump->sent || index > *dump->sent) {
        dump->sent = index;
        runPackets = std::max(runPackets, run + 1);
    }
    if (faults.stallAfter && run >= *faults.stallAfter && !stallPlayed) {
        stallPlayed = true;
        dump->stalled = true;
    }
    if (dump->stalled) {
        return {};
    }
    std::vector<std::uint8_t> bytes = DataPacket(dump->channel, dump->sample, index);
    if (faults.damagePacket == run && !damaged) {
        damaged = true;
        bytes[packetBytes - 2] ^= 0x01;
    }
    return {{std::move(bytes)}};
}

std::optional<std::vector<TimedReply>>
SdsDumpSender::Answer(std::span<const std::uint8_t> message) {
    const auto reply = ParseSamplerReply(message);
    if (!dump || !reply || reply->channel != dump->channel ||
        reply->kind == SamplerReply::Kind::akaiReply) {
        return std::nullopt;
    }
    const auto named = static_cast<std::uint32_t>(reply->packet);
    dump->held = reply->kind == SamplerReply::Kind::wait;
    switch (reply->kind) {
    case SamplerReply::Kind::cancel:
        dump.reset();
        return std::vector<TimedReply>{};
    case SamplerReply::Kind::wait:
        return std::vector<TimedReply>{};
    case SamplerReply::Kind::nak:
        if (!dump->sent) {
            return std::vector<TimedReply>{{DumpHeader(dump->channel, dump->sample)}};
        }
        if ((*dump->sent & 0x7F) == named) {
            return Packet(*dump->sent);
        }
        return std::vector<TimedReply>{};
    case SamplerReply::Kind::ack:
    default:
        break;
    }
    // The ACK of the header (packet 0 before any packet went) or of the last packet sent.
    if (!dump->sent) {
        return Packet(0);
    }
    if ((*dump->sent & 0x7F) != named) {
        return std::vector<TimedReply>{}; // a late answer about an earlier packet
    }
    return Next();
}

std::vector<TimedReply> SdsDumpSender::Next() {
    if (*dump->sent + 1 == dump->packets) {
        dump.reset();
        return {};
    }
    return Packet(*dump->sent + 1);
}

std::vector<TimedReply> SdsDumpSender::Silence(std::chrono::milliseconds quiet) {
    if (!dump || dump->held || dump->stalled ||
        quiet < (dump->sent ? packetAnswerWait : headerAnswerWait)) {
        return {};
    }
    return dump->sent ? Next() : Packet(0);
}

} // namespace velomire::transfer::families::sds
