#include "transfer/families/sds/SdsLibrarian.h"

#include "transfer/families/SdsWire.h"

#include <algorithm>

namespace velomire::transfer::families::sds {

SdsLibrarian::SdsLibrarian(const LibrarianPorts& ports)
    : out(ports.out), channel(ports.channel & 0x7F),
      probeFirst(std::clamp(ports.probeFirst, 0, lastNumber)),
      probeLast(std::clamp(ports.probeLast, 0, lastNumber)),
      probeGap(std::clamp(ports.probeGap, 0, lastNumber + 1)),
      receiver(ports.out, ports.in, ports.channel) {}

LibrarianResult SdsLibrarian::List(std::vector<SamplerEntry>& entries,
                                   LibrarianProgress& progress) {
    entries.clear();
    const auto count = static_cast<std::uint64_t>(std::max(0, probeLast - probeFirst + 1));
    int empty = 0; // numbers in a row without a sample
    for (int number = probeFirst; number <= probeLast && (probeGap == 0 || empty < probeGap);
         ++number) {
        progress.Progress(static_cast<std::uint64_t>(number - probeFirst), count);
        DecodedSample header;
        LibrarianResult result = receiver.ReadHeader(number, probeWindow, header, progress);
        // An empty number; also one whose dump the sampler cancelled or whose header stayed
        // damaged, as long as our own port works.
        if (result.outcome == LibrarianResult::Outcome::noAnswer ||
            (result.outcome == LibrarianResult::Outcome::failed &&
             out.EndedBy() == MidiOutPort::Ending::none)) {
            ++empty;
            continue;
        }
        empty = 0;
        if (!result.Ok()) {
            return result;
        }
        SamplerEntry entry;
        entry.kind = SamplerEntry::Kind::sample;
        entry.number = number;
        entry.words = header.lengthWords;
        entry.rate = header.rate;
        if (auto name = AskName(number, progress)) {
            entry.name = std::move(*name);
        }
        if (progress.Cancelled()) {
            return {LibrarianResult::Outcome::cancelled, "The list is not complete."};
        }
        entries.push_back(std::move(entry));
    }
    progress.Progress(count, count);
    return {};
}

LibrarianResult SdsLibrarian::ReadHeaders(std::vector<SamplerEntry>& entries,
                                          LibrarianProgress& progress) {
    for (SamplerEntry& entry : entries) {
        if (entry.kind != SamplerEntry::Kind::sample || (entry.words && entry.rate)) {
            continue;
        }
        DecodedSample header;
        LibrarianResult result =
            receiver.ReadHeader(entry.number, SdsReceiver::headerWindow, header, progress);
        if (!result.Ok()) {
            return result;
        }
        entry.words = header.lengthWords;
        entry.rate = header.rate;
    }
    return {};
}

LibrarianResult SdsLibrarian::GetSample(int number, DecodedSample& sample,
                                        LibrarianProgress& progress) {
    if (number < 0 || number > lastNumber) {
        return {LibrarianResult::Outcome::failed,
                "Sample numbers go from 0 to " + std::to_string(lastNumber) + "."};
    }
    LibrarianResult result = receiver.Get(number, sample, progress);
    if (!result.Ok()) {
        return result;
    }
    if (auto name = AskName(number, progress)) {
        sample.fields.push_back({"sampleName", std::move(*name)});
    }
    AskLoops(number, sample, progress);
    return result;
}

std::optional<std::string> SdsLibrarian::AskName(int number, LibrarianProgress& progress) {
    if (answersNames == false || !receiver.Write(NameRequest(channel, number))) {
        return std::nullopt;
    }
    const auto deadline = receiver.Now() + extensionWindow;
    bool cancelled = false;
    while (auto message = receiver.Next(deadline, progress, cancelled)) {
        const auto reply = ParseNameTransmission(*message);
        if (reply && reply->channel == channel && reply->number == number) {
            answersNames = true;
            std::string name = reply->name;
            name.erase(name.find_last_not_of(' ') + 1); // as a fixed-width field pads it
            return name;
        }
    }
    if (!cancelled && !answersNames) {
        answersNames = false;
    }
    return std::nullopt;
}

void SdsLibrarian::AskLoops(int number, DecodedSample& sample, LibrarianProgress& progress) {
    if (answersLoops == false || !receiver.Write(LoopPointRequest(channel, number))) {
        return;
    }
    // One message per loop: the wait starts again after each.
    std::vector<std::int64_t> loops;
    auto deadline = receiver.Now() + extensionWindow;
    bool cancelled = false;
    while (auto message = receiver.Next(deadline, progress, cancelled)) {
        const auto reply = ParseLoopPointTransmission(*message);
        if (reply && reply->channel == channel && reply->number == number) {
            loops.insert(loops.end(), {reply->loop, reply->type, reply->start, reply->end});
            deadline = receiver.Now() + extensionWindow;
        }
    }
    if (!loops.empty()) {
        answersLoops = true;
        sample.fields.push_back({"loopPoints", std::move(loops)});
    } else if (!cancelled && !answersLoops) {
        answersLoops = false;
    }
}

LibrarianResult SdsLibrarian::GetProgram(int, DecodedProgram&, LibrarianProgress&) {
    return {LibrarianResult::Outcome::unsupported,
            "A Sample Dump Standard sampler has no programs to read back; get its samples."};
}

LibrarianResult SdsLibrarian::Delete(SamplerEntry::Kind, int) {
    return {LibrarianResult::Outcome::unsupported,
            "The Sample Dump Standard has no way to delete a sample; delete it on the sampler."};
}

std::unique_ptr<Librarian> MakeSdsLibrarian(const LibrarianPorts& ports) {
    return std::make_unique<SdsLibrarian>(ports);
}

} // namespace velomire::transfer::families::sds
