#include "transfer/ClosedLoop.h"

#include <algorithm>

namespace velomire::transfer {

namespace {

ClosedLoop::Answer AnswerOf(SamplerReply::Kind kind) {
    switch (kind) {
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

} // namespace

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
            if (reply->Refused()) {
                refusal = reply;
                return reply;
            }
            continue;
        }
        if (reply->channel < 0) {
            // The S900 form: only counted.
            (reply->kind == SamplerReply::Kind::nak ? s900Naks : s900Acks) += 1;
            continue;
        }
        return reply;
    }
}

ClosedLoop::Answer ClosedLoop::Await(std::chrono::milliseconds window,
                                     const std::function<bool(const SamplerReply&)>& meant) {
    auto deadline = in.Now() + window;
    for (;;) {
        const auto reply = Next(deadline);
        if (!reply) {
            return Answer::none;
        }
        if (reply->kind == SamplerReply::Kind::akaiReply) {
            return Answer::refused;
        }
        if (!meant(*reply)) {
            continue;
        }
        if (reply->kind == SamplerReply::Kind::wait) {
            deadline = WaitClock::TimePoint::max();
            continue;
        }
        return AnswerOf(reply->kind);
    }
}

ClosedLoop::Answer ClosedLoop::AwaitHeader(std::chrono::milliseconds window,
                                           std::initializer_list<int> channels) {
    return Await(window, [&](const SamplerReply& reply) {
        return std::find(channels.begin(), channels.end(), reply.channel) != channels.end();
    });
}

ClosedLoop::Answer ClosedLoop::AwaitPacket(int channel, int packet) {
    return Await(packetWindow, [&](const SamplerReply& reply) {
        // A CANCEL stops the transfer whatever packet it names; the others must name this one.
        return reply.channel == channel &&
               (reply.kind == SamplerReply::Kind::cancel || reply.packet == packet);
    });
}

bool ClosedLoop::Drain() {
    while (Next(in.Now())) {
        // Next keeps the counts and the refusal.
    }
    return refusal.has_value();
}

} // namespace velomire::transfer
