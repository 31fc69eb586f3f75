#include "transfer/families/s900/S900Librarian.h"

#include "transfer/families/s900/S900ReadBack.h"

#include <algorithm>
#include <chrono>
#include <string>

namespace velomire::transfer {

namespace {

using namespace std::chrono_literals;

// How long the sampler may take to answer a request, and to send the next piece of a dump after
// our answer (it waits for it before each block).
constexpr auto replyWait = 2s;
constexpr auto pieceWait = 2s;
// The longest slice of a wait between two looks at the user's Cancel.
constexpr auto cancelSlice = 20ms;
// A damaged block is asked for again at most this many times.
constexpr int nakLimit = 5;
constexpr int highestNumber = 127; // one raw byte in the Akai messages

std::string SampleName(int number) {
    return "sample #" + std::to_string(number);
}

class S900Librarian final : public Librarian {
public:
    explicit S900Librarian(const LibrarianPorts& ports) : ports(ports) {}

    bool CanDelete() const override { return false; }

    LibrarianResult List(std::vector<SamplerEntry>& entries, LibrarianProgress& progress) override {
        std::optional<std::vector<SamplerEntry>> found;
        LibrarianResult result = Ask({S900Request::Kind::catalogue, ports.channel, 0}, progress,
                                     [&found](std::span<const std::uint8_t> m) {
                                         found = ParseS900Catalogue(m);
                                         return found.has_value();
                                     });
        if (!result.Ok()) {
            if (result.outcome == LibrarianResult::Outcome::noAnswer) {
                result.text = "The sampler did not answer the catalogue request within 2 s.";
            }
            return result;
        }
        entries = std::move(*found);
        return result;
    }

    LibrarianResult ReadHeaders(std::vector<SamplerEntry>& entries,
                                LibrarianProgress& progress) override {
        std::string silent;
        std::uint64_t done = 0;
        for (SamplerEntry& entry : entries) {
            progress.Progress(done++, entries.size());
            if (entry.kind != SamplerEntry::Kind::sample) {
                continue;
            }
            DecodedSample header;
            LibrarianResult result = ReadParameters(entry.number, header, progress);
            if (result.outcome == LibrarianResult::Outcome::cancelled) {
                return result;
            }
            if (!result.Ok()) {
                silent += (silent.empty() ? "#" : ", #") + std::to_string(entry.number);
                continue;
            }
            entry.words =
                static_cast<std::uint32_t>(FieldNumber(header.fields, "lengthWords").value_or(0));
            entry.rate = header.rate;
        }
        progress.Progress(done, entries.size());
        LibrarianResult result;
        if (!silent.empty()) {
            result.text = "The sampler did not give the parameters of sample " + silent + ".";
        }
        return result;
    }

    LibrarianResult GetSample(int number, DecodedSample& sample,
                              LibrarianProgress& progress) override {
        if (number < 0 || number > highestNumber) {
            return {LibrarianResult::Outcome::failed,
                    "The S900/S950 numbers its samples 0 to 127, not " + std::to_string(number) +
                        "."};
        }
        DecodedSample header;
        if (LibrarianResult result = ReadParameters(number, header, progress); !result.Ok()) {
            return result;
        }
        std::vector<std::int16_t> frames;
        S900DumpHeader dump;
        if (!ports.in.SetPieces(true)) {
            return {LibrarianResult::Outcome::unsupported,
                    "This MIDI input hands over a System Exclusive message only once it is "
                    "whole; the S900/S950 sends a sample as one message and waits for an answer "
                    "to each of its blocks, so its samples cannot be taken back through it."};
        }
        LibrarianResult result = ReadDump(number, dump, frames, progress);
        ports.in.SetPieces(false);
        if (result.outcome != LibrarianResult::Outcome::done) {
            return result;
        }
        sample = std::move(header);
        sample.lengthWords = dump.lengthWords;
        sample.frames = std::move(frames);
        sample.hasData = true;
        if (sample.rate == 0 && dump.periodNs > 0) {
            sample.rate =
                static_cast<std::uint32_t>((1000000000ull + dump.periodNs / 2) / dump.periodNs);
        }
        sample.fields.insert(
            sample.fields.begin(),
            {{"bits", std::int64_t{dump.bits}}, {"samplePeriodNs", std::int64_t{dump.periodNs}}});
        return result;
    }

    LibrarianResult GetProgram(int number, DecodedProgram& program,
                               LibrarianProgress& progress) override {
        if (number < 0 || number > highestNumber) {
            return {LibrarianResult::Outcome::failed,
                    "The S900/S950 numbers its programs 0 to 127, not " + std::to_string(number) +
                        "."};
        }
        SysExDecoder decoder;
        std::string refused;
        LibrarianResult result = Ask({S900Request::Kind::program, ports.channel, number}, progress,
                                     [&](std::span<const std::uint8_t> m) {
                                         const SysExDecoder::Result r = decoder.Feed(m);
                                         // A damaged one is taken too, to say so.
                                         if (r.kind != SysExDecoder::Kind::s900Program ||
                                             (r.Ok() && r.program != number)) {
                                             return false;
                                         }
                                         refused = r.error;
                                         return true;
                                     });
        if (result.outcome == LibrarianResult::Outcome::noAnswer) {
            result.text =
                "The sampler did not send program #" + std::to_string(number) + " within 2 s.";
        }
        if (!result.Ok()) {
            return result;
        }
        if (!refused.empty()) {
            return {LibrarianResult::Outcome::failed,
                    "Program #" + std::to_string(number) + " came damaged: " + refused + "."};
        }
        std::vector<DecodedProgram> programs = decoder.TakeClosedPrograms();
        program = std::move(programs.back());
        return result;
    }

    LibrarianResult Delete(SamplerEntry::Kind, int) override {
        return {LibrarianResult::Outcome::unsupported,
                "The S900/S950 cannot be told over MIDI to delete a program or sample."};
    }

private:
    // Sends the request and waits for the message `take` accepts, passing over the others.
    template <typename Take>
    LibrarianResult Ask(const S900Request& request, LibrarianProgress& progress, Take take) {
        ports.in.Discard();
        if (LibrarianResult sent = Send(S900RequestMessage(request)); !sent.Ok()) {
            return sent;
        }
        const auto deadline = ports.in.Now() + replyWait;
        for (;;) {
            bool cancelled = false;
            std::optional<MidiInMessage> message = Next(deadline, progress, cancelled);
            if (cancelled) {
                return {LibrarianResult::Outcome::cancelled, {}};
            }
            if (!message) {
                return {LibrarianResult::Outcome::noAnswer, {}};
            }
            if (message->opens && message->closes && take(message->bytes)) {
                return {};
            }
        }
    }

    LibrarianResult ReadParameters(int number, DecodedSample& header, LibrarianProgress& progress) {
        SysExDecoder decoder;
        std::string refused;
        LibrarianResult result = Ask({S900Request::Kind::sampleParameters, ports.channel, number},
                                     progress, [&](std::span<const std::uint8_t> m) {
                                         const SysExDecoder::Result r = decoder.Feed(m);
                                         if (r.kind != SysExDecoder::Kind::s900SampleHeader ||
                                             (r.Ok() && r.sample != number)) {
                                             return false;
                                         }
                                         refused = r.error;
                                         return true;
                                     });
        if (result.outcome == LibrarianResult::Outcome::noAnswer) {
            result.text =
                "The sampler did not send the parameters of " + SampleName(number) + " within 2 s.";
        }
        if (!result.Ok()) {
            return result;
        }
        if (!refused.empty()) {
            return {LibrarianResult::Outcome::failed,
                    "The parameters of " + SampleName(number) + " came damaged: " + refused + "."};
        }
        decoder.CloseAll();
        std::vector<DecodedSample> samples = decoder.TakeClosedSamples();
        header = std::move(samples.back());
        return result;
    }

    // The dump, block by block: each one checked and answered before the sampler sends the next.
    LibrarianResult ReadDump(int number, S900DumpHeader& header, std::vector<std::int16_t>& frames,
                             LibrarianProgress& progress) {
        const std::string name = SampleName(number);
        ports.in.Discard();
        if (LibrarianResult sent =
                Send(S900RequestMessage({S900Request::Kind::sampleDump, ports.channel, number}));
            !sent.Ok()) {
            return sent;
        }
        std::vector<std::uint8_t> pending; // bytes of the dump not yet taken
        bool inDump = false;               // the pieces are those of our dump
        bool closed = false;               // the dump's F7 has come
        bool haveHeader = false;
        std::uint32_t blocks = 0;
        std::uint32_t block = 0;
        int naks = 0;
        bool askedAgain = false; // in the request's other form
        auto deadline = ports.in.Now() + replyWait;
        const auto fail = [this](LibrarianResult::Outcome outcome, std::string text) {
            Send(S900HandshakeMessage(S900HandshakeKind::abort));
            return LibrarianResult{outcome, std::move(text)};
        };
        for (;;) {
            // Take what has come: the header, then whole blocks.
            if (inDump && !haveHeader && pending.size() >= s900DumpHeaderBytes) {
                const std::optional<S900DumpHeader> parsed = ParseS900DumpHeader(pending);
                if (!parsed || parsed->number != number) {
                    return fail(LibrarianResult::Outcome::failed,
                                "The sampler sent another sample than " + name + ".");
                }
                header = *parsed;
                haveHeader = true;
                blocks = S900BlockCount(header.lengthWords);
                frames.reserve(header.lengthWords);
                pending.erase(pending.begin(), pending.begin() + s900DumpHeaderBytes);
                if (LibrarianResult sent = Send(S900HandshakeMessage(S900HandshakeKind::ack));
                    !sent.Ok()) {
                    return sent;
                }
                deadline = ports.in.Now() + pieceWait;
            }
            while (haveHeader && block < blocks &&
                   (pending.size() >= s900BlockBytes || (closed && !pending.empty()))) {
                const std::size_t size = std::min(pending.size(), s900BlockBytes);
                const std::uint32_t wanted = header.lengthWords - block * s900WordsPerBlock;
                const std::size_t before = frames.size();
                const std::string problem =
                    ReadS900Block(std::span(pending).first(size), block, header.bits,
                                  header.lengthWords == 0 ? 0 : wanted, frames);
                pending.erase(pending.begin(), pending.begin() + static_cast<std::ptrdiff_t>(size));
                if (!problem.empty()) {
                    frames.resize(before);
                    if (closed) {
                        std::string text = name;
                        text += " came damaged at its end: " + problem + ".";
                        return {LibrarianResult::Outcome::failed, text};
                    }
                    if (++naks > nakLimit) {
                        std::string text = name;
                        text += " came damaged: " + problem + ", ";
                        text += std::to_string(nakLimit) + " times.";
                        return fail(LibrarianResult::Outcome::failed, text);
                    }
                    if (LibrarianResult sent = Send(S900HandshakeMessage(S900HandshakeKind::nak));
                        !sent.Ok()) {
                        return sent;
                    }
                } else {
                    naks = 0;
                    ++block;
                    progress.Progress(frames.size(), header.lengthWords);
                    if (!closed) {
                        if (LibrarianResult sent =
                                Send(S900HandshakeMessage(S900HandshakeKind::ack));
                            !sent.Ok()) {
                            return sent;
                        }
                    }
                }
                deadline = ports.in.Now() + pieceWait;
            }
            if (haveHeader && block == blocks && (closed || pending.empty())) {
                if (closed || !WaitForEnd(progress)) {
                    break;
                }
                closed = true;
                continue;
            }
            if (closed) {
                return {LibrarianResult::Outcome::failed, name + " stopped short after " +
                                                              std::to_string(block) + " of " +
                                                              std::to_string(blocks) + " blocks."};
            }
            bool cancelled = false;
            std::optional<MidiInMessage> piece = Next(deadline, progress, cancelled);
            if (cancelled) {
                return fail(LibrarianResult::Outcome::cancelled, {});
            }
            if (!piece && !inDump && !askedAgain) {
                askedAgain = true;
                S900Request request{S900Request::Kind::sampleDump, ports.channel, number};
                request.otherDumpForm = true;
                if (LibrarianResult sent = Send(S900RequestMessage(request)); !sent.Ok()) {
                    return sent;
                }
                deadline = ports.in.Now() + replyWait;
                continue;
            }
            if (!piece) {
                return fail(LibrarianResult::Outcome::noAnswer,
                            haveHeader ? "The sampler stopped sending " + name + " after " +
                                             std::to_string(block) + " of " +
                                             std::to_string(blocks) + " blocks."
                                       : "The sampler did not send " + name + " within 2 s.");
            }
            if (!inDump && (!piece->opens || piece->cut)) {
                continue; // the rest of a message that began before the request
            }
            if (inDump && (piece->cut || piece->opens)) {
                return fail(LibrarianResult::Outcome::failed,
                            "The dump of " + name + " was cut short after " +
                                std::to_string(block) + " blocks.");
            }
            inDump = true;
            std::vector<std::uint8_t>& bytes = piece->bytes;
            pending.insert(pending.end(), bytes.begin(), bytes.end() - (piece->closes ? 1 : 0));
            const bool other =
                !haveHeader &&
                ((pending.size() >= 3 && (pending[1] != 0x7E || pending[2] != 0x01)) ||
                 (piece->closes && pending.size() < s900DumpHeaderBytes));
            if (other) {
                // Another message: passed over, its later pieces do not open one.
                inDump = false;
                pending.clear();
                continue;
            }
            closed = piece->closes;
        }
        if (frames.size() < header.lengthWords) {
            // The hardware's last block may be a few bytes short: what did not come is silence.
            const std::size_t missing = header.lengthWords - frames.size();
            frames.resize(header.lengthWords, 0);
            return {LibrarianResult::Outcome::done, "The last " + std::to_string(missing) +
                                                        " words of " + name +
                                                        " did not come and are silence."};
        }
        return {};
    }

    // After the last block, the F7 that ends the dump; true when it came.
    bool WaitForEnd(LibrarianProgress& progress) {
        const auto deadline = ports.in.Now() + pieceWait;
        for (;;) {
            bool cancelled = false;
            std::optional<MidiInMessage> piece = Next(deadline, progress, cancelled);
            if (!piece) {
                return false; // every word is here; the closing byte does not matter
            }
            if (piece->closes || piece->cut) {
                return true;
            }
        }
    }

    // The next message (or piece), waiting at most until `deadline` and looking at the user's
    // Cancel at least every 20 ms.
    std::optional<MidiInMessage> Next(WaitClock::TimePoint deadline, LibrarianProgress& progress,
                                      bool& cancelled) {
        for (;;) {
            if (progress.Cancelled()) {
                cancelled = true;
                return std::nullopt;
            }
            const auto now = ports.in.Now();
            if (now >= deadline) {
                return std::nullopt;
            }
            if (std::optional<MidiInMessage> message =
                    ports.in.Receive(std::min<WaitClock::TimePoint>(deadline, now + cancelSlice))) {
                return message;
            }
            if (ports.in.Ended()) {
                return std::nullopt;
            }
        }
    }

    LibrarianResult Send(const std::vector<std::uint8_t>& bytes) {
        for (std::uint8_t b : bytes) {
            ports.out.AppendBytes(b);
        }
        if (!ports.out.Send()) {
            return {LibrarianResult::Outcome::failed, ports.out.FailureText().empty()
                                                          ? "The MIDI output stopped."
                                                          : ports.out.FailureText()};
        }
        return {};
    }

    LibrarianPorts ports;
};

} // namespace

std::unique_ptr<Librarian> MakeS900Librarian(const LibrarianPorts& ports) {
    return std::make_unique<S900Librarian>(ports);
}

} // namespace velomire::transfer
