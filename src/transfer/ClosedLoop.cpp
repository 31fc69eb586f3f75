#include "transfer/ClosedLoop.h"

#include <algorithm>

namespace velomire::transfer {

ClosedLoop::Answer AnswerOf(const SamplerReply& reply) {
    switch (reply.kind) {
    case SamplerReply::Kind::ack:
        return ClosedLoop::Answer::ack;
    case SamplerReply::Kind::nak:
        return ClosedLoop::Answer::nak;
    case SamplerReply::Kind::cancel:
        return ClosedLoop::Answer::cancel;
    default:
        return ClosedLoop::Answer::refused;
    }
}

std::optional<SamplerReply> ClosedLoop::Next(WaitClock::TimePoint deadline) {
    for (;;) {
        const auto message = in.Receive(deadline);
        if (!message) {
            return std::nullopt;
        }
        auto reply = ParseSamplerReply(message->bytes);
        if (!reply) {
            continue;
        }
        if (reply->kind == SamplerReply::Kind::akaiReply) {
            // A refusal on another exclusive channel answers another device's message.
            if (reply->Refused() && reply->channel == exclusiveChannel) {
                refusal = reply;
                return reply;
            }
            continue;
        }
        if (reply->channel < 0) {
            // The S900 form names no channel: a CANCEL stops the transfer, ACK and NAK are
            // only counted, a WAIT means nothing to a sender that does not wait for blocks.
            if (reply->kind == SamplerReply::Kind::cancel) {
                cancelled = true;
                return reply;
            }
            if (reply->kind == SamplerReply::Kind::nak) {
                ++s900Naks;
            } else if (reply->kind == SamplerReply::Kind::ack) {
                ++s900Acks;
            }
            continue;
        }
        return reply;
    }
}

std::optional<SamplerReply>
ClosedLoop::Await(WaitClock::TimePoint& deadline,
                  const std::function<bool(const SamplerReply&)>& meant) {
    held = false;
    bool holding = false;
    for (;;) {
        auto reply = Next(deadline);
        if (!reply) {
            // Not when the user's Cancel ended the wait.
            held = holding && in.Now() >= deadline;
            return std::nullopt;
        }
        if (reply->kind == SamplerReply::Kind::akaiReply || reply->channel < 0) {
            return reply; // a refusal, or a CANCEL in the S900 form
        }
        if (!meant(*reply)) {
            continue;
        }
        if (reply->kind == SamplerReply::Kind::wait) {
            // The hold is counted from the first WAIT, so that a sampler repeating it cannot
            // hold the sender for ever.
            if (!holding) {
                holding = true;
                deadline = in.Now() + waitLimit;
            }
            continue;
        }
        return reply;
    }
}

ClosedLoop::Answer ClosedLoop::AwaitHeader(std::chrono::milliseconds window,
                                           std::initializer_list<int> channels) {
    auto deadline = in.Now() + window;
    const auto reply = Await(deadline, [&](const SamplerReply& reply) {
        return std::find(channels.begin(), channels.end(), reply.channel) != channels.end();
    });
    if (!reply) {
        return held ? Answer::held : Answer::none;
    }
    return AnswerOf(*reply);
}

ClosedLoop::PacketAnswer ClosedLoop::AwaitPacket(int channel, std::span<const int> numbers,
                                                 WaitClock::TimePoint& deadline) {
    PacketAnswer answer;
    const auto reply = Await(deadline, [&](const SamplerReply& reply) {
        if (reply.channel != channel) {
            return false;
        }
        // A CANCEL stops the transfer whatever packet it names; the others must name one of
        // the packets waiting for an answer.
        const auto named = std::find(numbers.begin(), numbers.end(), reply.packet);
        if (reply.kind != SamplerReply::Kind::cancel && named == numbers.end()) {
            ++otherPackets;
            return false;
        }
        answer.index =
            named == numbers.end() ? 0 : static_cast<std::size_t>(named - numbers.begin());
        return true;
    });
    if (!reply) {
        answer.answer = held ? Answer::held : Answer::none;
    } else {
        answer.answer = AnswerOf(*reply);
    }
    return answer;
}

ClosedLoop::Answer ClosedLoop::Drain() {
    // Only what has arrived by now: a device that keeps sending cannot hold the sender here.
    const WaitClock::TimePoint now = in.Now();
    while (Next(now)) {
        // Next keeps the counts, the refusal and the cancel.
    }
    return cancelled ? Answer::cancel : refusal ? Answer::refused : Answer::none;
}

std::string ClosedLoop::HeldText() const {
    return "The sampler asked to wait and did not answer for " +
           std::to_string(std::chrono::duration_cast<std::chrono::seconds>(waitLimit).count()) +
           " s.";
}

} // namespace velomire::transfer
