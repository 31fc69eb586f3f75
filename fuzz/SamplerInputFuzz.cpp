// The simulated sampler's input path as a JACK endpoint drives it: events of any size, some after
// lost input, each first offered to the in-cycle responder and then polled in batches by the main
// loop. A twin sampler fed the same bytes without the responder must give the same answers:
// the in-cycle ACK may only ever be the answer the sampler itself would give.

#include "transfer/SamplerService.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <vector>

namespace {

using namespace velomire::transfer;
using Bytes = std::vector<std::uint8_t>;

void Check(bool condition) {
    if (!condition) {
        std::abort();
    }
}

class QueueEndpoint final : public MidiEndpoint {
public:
    std::string InputName() const override { return "in"; }
    std::string OutputName() const override { return "out"; }
    MidiStatus Poll(std::vector<MidiInBytes>& out) override {
        out.insert(out.end(), kept.begin(), kept.end());
        kept.clear();
        return {};
    }
    MidiStatus Write(std::span<const std::uint8_t> bytes) override {
        written.emplace_back(bytes.begin(), bytes.end());
        return {};
    }
    bool ServerGone() const override { return false; }

    std::vector<MidiInBytes> kept;
    std::vector<Bytes> written;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 3) {
        return 0;
    }
    SamplerScript script;
    script.family = static_cast<SamplerFamily>(data[0] % 3 + 1);
    script.oneWay = (data[0] & 0x04) != 0;
    if ((data[0] & 0x08) != 0) {
        script.nakPackets = {data[1] % 8, data[1] / 8 % 8};
    }
    if ((data[0] & 0x10) != 0) {
        script.waitPacket = data[1] % 5;
        script.waitTime = std::chrono::milliseconds(5);
    }
    if ((data[0] & 0x20) != 0) {
        script.cancelPacket = data[1] % 11;
    }
    script.memoryWords = std::uint32_t{data[2]} * 97;

    SamplerService service(script);
    SimulatedSampler twin(script);
    QueueEndpoint endpoint;
    std::vector<Bytes> answers;
    std::vector<Bytes> twinAnswers;
    const auto serve = [&] {
        service.Serve(endpoint, WaitClock::TimePoint::max());
        answers.insert(answers.end(), endpoint.written.begin(), endpoint.written.end());
        endpoint.written.clear();
    };
    // Records: a length byte (its top bit: input was lost before; the next: serve after), then
    // that many bytes of one event.
    std::size_t at = 3;
    while (at < size) {
        const std::uint8_t head = data[at++];
        const std::size_t length = std::min<std::size_t>(head & 0x3F, size - at);
        MidiInBytes piece;
        piece.bytes.assign(data + at, data + at + length);
        piece.lostBefore = (head & 0x80) != 0;
        at += length;

        std::array<std::uint8_t, MidiResponder::maxReplyBytes> reply{};
        const std::size_t replied = service.Respond(piece.bytes, piece.lostBefore, reply);
        Check(replied <= reply.size());
        if (replied > 0) {
            answers.emplace_back(reply.begin(), reply.begin() + static_cast<long>(replied));
            piece.answered = true;
        }
        endpoint.kept.push_back(piece);
        if (piece.lostBefore) {
            twin.Lost();
        }
        for (TimedReply& answer : twin.Feed(piece.bytes)) {
            twinAnswers.push_back(std::move(answer.bytes));
        }
        if ((head & 0x40) != 0) {
            serve();
        }
    }
    serve();
    std::sort(answers.begin(), answers.end());
    std::sort(twinAnswers.begin(), twinAnswers.end());
    Check(answers == twinAnswers);
    service.Inspect([&](SimulatedSampler& sampler) {
        Check(sampler.FreeWords() <= script.memoryWords);
        sampler.CloseAll();
        for (const DecodedSample& sample : sampler.TakeClosedSamples()) {
            Check(sample.frames.size() <= sample.lengthWords);
        }
    });
    return 0;
}
