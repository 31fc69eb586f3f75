#include "transfer/families/s900/S900Responder.h"

#include "transfer/Librarian.h"
#include "transfer/families/s900/S900Decoding.h"
#include "transfer/families/s900/S900ReadBack.h"

namespace velomire::transfer {

namespace {

class S900Responder final : public RequestResponder {
public:
    S900Responder(const SamplerMemory& memory, SendFaults faults)
        : memory(memory), faults(faults) {}

    std::optional<std::vector<TimedReply>> Answer(std::span<const std::uint8_t> message) override {
        if (const std::optional<S900HandshakeKind> handshake = ParseS900Handshake(message)) {
            if (!dump) {
                return std::nullopt;
            }
            return Handshake(*handshake);
        }
        const std::optional<S900Request> request = ParseS900Request(message);
        if (!request) {
            return std::nullopt;
        }
        std::vector<TimedReply> replies;
        switch (request->kind) {
        case S900Request::Kind::catalogue:
            replies.push_back({S900CatalogueMessage(request->channel, Catalogue())});
            break;
        case S900Request::Kind::sampleParameters:
            if (const auto found = memory.samples.find(request->number);
                found != memory.samples.end()) {
                replies.push_back({S900SampleParametersMessage(request->channel, Numbered(found))});
            }
            break;
        case S900Request::Kind::program:
            if (const auto found = memory.programs.find(request->number);
                found != memory.programs.end()) {
                DecodedProgram program = found->second;
                program.number = found->first;
                replies.push_back({S900ProgramMessage(request->channel, program)});
            }
            break;
        case S900Request::Kind::sampleDump:
            // An unknown number gets no answer; a new request ends a dump in progress.
            dump.reset();
            if (const auto found = memory.samples.find(request->number);
                found != memory.samples.end()) {
                dump.emplace(Dump{found->first, found->second.frames});
                replies.push_back({S900DumpHeaderBytes(Header(found->first, found->second))});
            }
            break;
        }
        return replies;
    }

private:
    // The dump in progress: the frames as 12-bit words go out, and where it stands.
    struct Dump {
        int number = 0;
        std::vector<std::int16_t> frames;
        std::optional<std::uint32_t> sent{}; // the last block sent; none while at the header
    };

    std::vector<TimedReply> Handshake(S900HandshakeKind handshake) {
        std::vector<TimedReply> replies;
        if (handshake == S900HandshakeKind::abort) {
            dump.reset();
            replies.push_back({{0xF7}}); // closes the message the receiver's parser is inside
            return replies;
        }
        const std::uint32_t blocks =
            S900BlockCount(static_cast<std::uint32_t>(dump->frames.size()));
        std::uint32_t next = 0;
        if (handshake == S900HandshakeKind::nak) {
            if (!dump->sent) {
                replies.push_back(
                    {S900DumpHeaderBytes(Header(dump->number, memory.samples.at(dump->number)))});
                return replies;
            }
            next = *dump->sent;
        } else if (dump->sent) {
            next = *dump->sent + 1;
        }
        if (next == blocks) {
            dump.reset(); // every block acknowledged
            replies.push_back({{0xF7}});
            return replies;
        }
        const bool resend = dump->sent && next == *dump->sent;
        if (!resend) {
            ++blocksStarted;
        }
        const int runIndex = blocksStarted - 1;
        if (faults.stallAfter && runIndex >= *faults.stallAfter) {
            return replies; // stalled: nothing more
        }
        const bool damaged = !resend && faults.damagePacket == runIndex;
        replies.push_back({S900BlockBytes(dump->frames, next, damaged)});
        dump->sent = next;
        return replies;
    }

    std::vector<SamplerEntry> Catalogue() const {
        std::vector<SamplerEntry> entries;
        for (const auto& [number, program] : memory.programs) {
            entries.push_back({SamplerEntry::Kind::program, number,
                               FieldString(program.fields, "programName").value_or("")});
        }
        for (const auto& [number, sample] : memory.samples) {
            entries.push_back({SamplerEntry::Kind::sample, number,
                               FieldString(sample.fields, "sampleName").value_or("")});
        }
        return entries;
    }

    template <typename Found> static DecodedSample Numbered(Found found) {
        DecodedSample sample = found->second;
        sample.number = found->first;
        return sample;
    }

    static S900DumpHeader Header(int number, const DecodedSample& sample) {
        S900DumpHeader header;
        header.number = number;
        header.lengthWords = static_cast<std::uint32_t>(sample.frames.size());
        const auto period = FieldNumber(sample.fields, "samplePeriodNs");
        header.periodNs = period ? static_cast<std::uint32_t>(*period)
                          : sample.rate > 0
                              ? static_cast<std::uint32_t>(1000000000.0 / sample.rate + 0.9)
                              : 0;
        // The loop the sample header describes, or both points on the end point.
        const s900::SamplePoints points = s900::PointsOf(sample.fields, header.lengthWords);
        const auto loop = s900::LoopOf(points, header.lengthWords);
        header.loopStart = loop ? loop->first : points.endPoint;
        header.loopEnd = points.endPoint;
        return header;
    }

    const SamplerMemory& memory;
    SendFaults faults;
    std::optional<Dump> dump;
    int blocksStarted = 0;
};

} // namespace

std::unique_ptr<RequestResponder> MakeS900Responder(const SamplerMemory& memory,
                                                    SendFaults faults) {
    return std::make_unique<S900Responder>(memory, faults);
}

} // namespace velomire::transfer
