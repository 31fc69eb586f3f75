#pragma once

#include "transfer/MidiDriver.h"
#include "transfer/MidiInDriver.h"
#include "transfer/SamplerMemory.h"
#include "transfer/WaitClock.h"

#include <deque>
#include <functional>
#include <string>
#include <vector>

namespace velomire::testing {

// A librarian's two ports wired to a family's responder in process: each buffer the output port
// writes (a whole request or handshake) goes to the responder, and its replies come back on the
// input port once their delay has passed on the clock. `alter` may change a reply on its way, as
// the cable or the hardware would.
class ResponderLink {
public:
    ResponderLink(transfer::WaitClock& clock, transfer::RequestResponder& responder)
        : out(*this), in(*this), clock(clock), responder(responder) {}

    class Out : public transfer::MidiDriver {
    public:
        explicit Out(ResponderLink& link) : link(link) {}
        std::vector<std::string> PortNames() override { return {"Sampler in"}; }
        transfer::MidiStatus Open(unsigned) override { return {}; }
        transfer::MidiStatus Write(std::span<const std::uint8_t> bytes) override {
            link.written.emplace_back(bytes.begin(), bytes.end());
            if (link.unanswered && link.unanswered(bytes)) {
                return {};
            }
            if (const auto replies = link.responder.Answer(bytes)) {
                for (const transfer::TimedReply& reply : *replies) {
                    link.pending.push_back({link.clock.Now() + reply.delay, reply.bytes});
                }
            }
            return {};
        }
        transfer::MidiStatus Close() override { return {}; }

    private:
        ResponderLink& link;
    };

    class In : public transfer::MidiInDriver {
    public:
        explicit In(ResponderLink& link) : link(link) {}
        std::vector<std::string> PortNames() override { return {"Sampler out"}; }
        transfer::MidiStatus Open(unsigned) override { return {}; }
        transfer::MidiStatus Poll(std::vector<transfer::MidiInBytes>& arrived) override {
            while (!link.unplugged && !link.pending.empty() &&
                   link.pending.front().due <= link.clock.Now()) {
                std::vector<std::uint8_t> bytes = std::move(link.pending.front().bytes);
                link.pending.pop_front();
                if (link.alter) {
                    link.alter(bytes);
                }
                arrived.push_back({std::move(bytes), link.clock.Now()});
            }
            return {};
        }
        transfer::MidiStatus Close() override { return {}; }
        bool SetPieces(bool on) override { return !on || !link.wholeOnly; }
        bool Gone() const override { return link.unplugged; }

    private:
        ResponderLink& link;
    };

    Out out;
    In in;
    std::function<void(std::vector<std::uint8_t>&)> alter;
    std::function<bool(std::span<const std::uint8_t>)> unanswered; // requests the sampler ignores
    bool wholeOnly = false;                         // an input that hands over whole messages only
    bool unplugged = false;                         // the input's device has gone
    std::vector<std::vector<std::uint8_t>> written; // every buffer the librarian sent

private:
    struct Reply {
        transfer::WaitClock::TimePoint due;
        std::vector<std::uint8_t> bytes;
    };
    transfer::WaitClock& clock;
    transfer::RequestResponder& responder;
    std::deque<Reply> pending;
};

} // namespace velomire::testing
