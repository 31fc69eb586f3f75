#pragma once

#include "transfer/SysExDecoder.h"

#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace velomire::transfer {

// What a simulated sampler holds: its samples and programs by number, as they arrived (or were
// loaded), within a sample memory of `capacityWords` words.
//
// A family that numbers by position in its lists (the S1000 family) keeps the numbers 0, 1, 2 ...
// without a gap: a sample or program sent to a number in use replaces exactly that one, one sent
// to any number past the end is appended, and the numbers after a deleted one move up. The
// others keep the number each was sent to.
struct SamplerMemory {
    std::map<int, DecodedSample> samples;
    std::map<int, DecodedProgram> programs;
    std::uint32_t capacityWords = 16u << 20;

    // Numbers by position from now on; what is held is renumbered 0, 1, 2 ... in its order.
    void NumberByPosition();
    bool NumberedByPosition() const { return byPosition; }
    // The number a sample (a program) sent to `number` is kept under.
    int SampleSlot(int number) const;
    int ProgramSlot(int number) const;
    // Keeps what arrived under its slot, its number set to that slot.
    void Keep(DecodedSample sample);
    void Keep(DecodedProgram program);
    // Deletes the sample (program) of that number; false when there is none.
    bool EraseSample(int number);
    bool EraseProgram(int number);

    std::uint64_t UsedWords() const {
        std::uint64_t used = 0;
        for (const auto& [number, sample] : samples) {
            used += sample.frames.size();
        }
        return used;
    }

private:
    bool byPosition = false;
};

// Faults the simulated sampler plays while it sends (the new direction).
struct SendFaults {
    std::optional<int> damagePacket{}; // sent once with a bad checksum (packets counted from 0)
    std::optional<int> stallAfter{};   // no answer after this many packets
};

// A reply to send, `delay` after the bytes that caused it arrived.
struct TimedReply {
    std::vector<std::uint8_t> bytes;
    std::chrono::milliseconds delay{0};
};

// The sampler's side of one family's requests: given one whole message that arrived, the
// answers to send (a catalogue, a header, the first packet of a dump, the next one after an
// ACK...), drawn from the memory. A message the family does not read back is not taken.
class RequestResponder {
public:
    virtual ~RequestResponder() = default;
    // Nothing when the message is not one of this family's requests or handshakes of a dump in
    // progress; otherwise the replies (possibly none).
    virtual std::optional<std::vector<TimedReply>>
    Answer(std::span<const std::uint8_t> message) = 0;
    // Nothing has come or gone for `quiet`: what the sampler sends unasked, as one whose wait for
    // an answer ran out goes on without it. Nothing by default.
    virtual std::vector<TimedReply> Silence(std::chrono::milliseconds /*quiet*/) { return {}; }
};

// The responder of the model's family, answering from `memory` with `faults`; null for a family
// that answers no requests. Both outlive it.
std::unique_ptr<RequestResponder> MakeRequestResponder(std::int32_t model, SamplerMemory& memory,
                                                       const SendFaults& faults);

} // namespace velomire::transfer
