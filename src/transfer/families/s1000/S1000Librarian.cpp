#include "transfer/families/s1000/S1000Librarian.h"

#include "transfer/families/SdsReceiver.h"
#include "transfer/families/SdsWire.h"
#include "transfer/families/s1000/S1000ReadBack.h"

#include <algorithm>
#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <tuple>
#include <utility>
#include <variant>

namespace velomire::transfer {

namespace {

using Bytes = std::span<const std::uint8_t>;
using namespace std::chrono_literals;

constexpr auto answerWait = 2000ms; // for each request's answer
constexpr auto packetWait = 2000ms; // for each Data Packet
constexpr auto waitSlice = 20ms;    // between looks at the user's Cancel
constexpr int maxNaks = 5;          // of one packet, before the transfer is cancelled

class NoProgress final : public LibrarianProgress {
public:
    void Progress(std::uint64_t, std::uint64_t) override {}
    bool Cancelled() override { return false; }
};

LibrarianResult Result(LibrarianResult::Outcome outcome, std::string text) {
    return {outcome, std::move(text)};
}

LibrarianResult Damaged(const std::string& what, const std::string& why) {
    return Result(LibrarianResult::Outcome::failed,
                  "The " + what + " was damaged" + (why.empty() ? "." : " (" + why + ")."));
}

bool IsSds(Bytes m, std::uint8_t code) {
    return m.size() >= 6 && m[1] == sds::universalNonRealTime && m[3] == code;
}

class S1000Librarian final : public Librarian {
public:
    explicit S1000Librarian(const LibrarianPorts& ports) : ports(ports) {}

    bool CanDelete() const override { return true; }

    LibrarianResult List(std::vector<SamplerEntry>& entries, LibrarianProgress& progress) override {
        ports.in.Discard();
        std::vector<std::uint8_t> answer;
        LibrarianResult result = Ask(S1000Request(S1000Function::rstat, Channel()),
                                     S1000Function::stat, "status", progress, answer);
        if (!result.Ok()) {
            return result;
        }
        progress.Progress(1, 3);
        std::vector<SamplerEntry> found;
        for (const auto& [request, answerFunction, kind, what] :
             {std::tuple{S1000Function::rplist, S1000Function::plist, SamplerEntry::Kind::program,
                         "program list"},
              std::tuple{S1000Function::rslist, S1000Function::slist, SamplerEntry::Kind::sample,
                         "sample list"}}) {
            result = Ask(S1000Request(request, Channel()), answerFunction, what, progress, answer);
            if (!result.Ok()) {
                return result;
            }
            const auto names = ParseS1000NameList(ParseS1000Message(answer)->body);
            if (!names) {
                return Damaged(what, {});
            }
            for (std::size_t i = 0; i < names->size(); ++i) {
                found.push_back({kind, static_cast<int>(i), (*names)[i]});
            }
            progress.Progress(kind == SamplerEntry::Kind::program ? 2 : 3, 3);
        }
        entries = std::move(found);
        return {};
    }

    LibrarianResult ReadHeaders(std::vector<SamplerEntry>& entries,
                                LibrarianProgress& progress) override {
        ports.in.Discard();
        std::uint64_t done = 0;
        for (SamplerEntry& entry : entries) {
            progress.Progress(done++, entries.size());
            if (entry.kind != SamplerEntry::Kind::sample) {
                continue;
            }
            DecodedSample header;
            LibrarianResult result = ReadSampleHeader(entry.number, header, progress);
            if (!result.Ok()) {
                return result;
            }
            entry.words = header.lengthWords;
            entry.rate = header.rate;
        }
        progress.Progress(done, entries.size());
        return {};
    }

    ListNumbering Numbering() const override {
        return {"position",
                "Numbers are places in the sampler's lists, counted from 0. A program keeps the "
                "number a send gave it (\"sent as\" program#1); samples are matched by name."};
    }

    // The program number each program header holds: a send writes its number there, and the
    // sampler keeps it (it is the program's MIDI program number) whatever the program's place.
    LibrarianResult ReadSentNumbers(std::vector<SamplerEntry>& entries,
                                    LibrarianProgress& progress) override {
        ports.in.Discard();
        std::uint64_t done = 0;
        for (SamplerEntry& entry : entries) {
            progress.Progress(done++, entries.size());
            if (entry.kind != SamplerEntry::Kind::program) {
                continue;
            }
            const std::string what = "program " + std::to_string(entry.number);
            std::vector<std::uint8_t> answer;
            LibrarianResult result =
                Ask(S1000Request(S1000Function::rpdata, Channel(), entry.number),
                    S1000Function::pdata, what, progress, answer, entry.number);
            if (!result.Ok()) {
                return result;
            }
            SysExDecoder decoder;
            if (const auto fed = decoder.Feed(answer); !fed.Ok()) {
                return Damaged("header of " + what, fed.error);
            }
            decoder.CloseAll();
            const std::vector<DecodedProgram> programs = decoder.TakeClosedPrograms();
            const std::vector<std::int64_t>* params = nullptr;
            for (const DecodedProgram& program : programs) {
                for (const DecodedField& field : program.fields) {
                    if (field.name == "programParams") {
                        params = std::get_if<std::vector<std::int64_t>>(&field.value);
                    }
                }
            }
            // One byte of the header: 0-255 or the header is not what it claims.
            if (params == nullptr || params->empty() || params->front() < 0 ||
                params->front() > 255) {
                return Damaged("header of " + what, {});
            }
            entry.sentAs = static_cast<int>(params->front());
        }
        progress.Progress(done, entries.size());
        return {};
    }

    LibrarianResult GetSample(int number, DecodedSample& sample,
                              LibrarianProgress& progress) override {
        ports.in.Discard();
        SysExDecoder decoder;
        DecodedSample header;
        LibrarianResult result = ReadSampleHeader(number, header, progress, &decoder);
        if (!result.Ok()) {
            return result;
        }
        std::vector<std::int16_t> frames;
        if (header.lengthWords > 0) {
            result = ReceiveData(number, header.lengthWords, decoder, frames, progress);
            if (!result.Ok()) {
                return result;
            }
        }
        sample = std::move(header);
        sample.frames = std::move(frames);
        sample.hasData = true;
        return {};
    }

    LibrarianResult GetProgram(int number, DecodedProgram& program,
                               LibrarianProgress& progress) override {
        ports.in.Discard();
        const std::string what = "program " + std::to_string(number);
        std::vector<std::uint8_t> answer;
        LibrarianResult result = Ask(S1000Request(S1000Function::rpdata, Channel(), number),
                                     S1000Function::pdata, what, progress, answer, number);
        if (!result.Ok()) {
            return result;
        }
        SysExDecoder decoder;
        const auto count = S1000KeygroupCount(ParseS1000Message(answer)->body);
        if (const auto fed = decoder.Feed(answer); !fed.Ok() || !count) {
            return Damaged("header of " + what, fed.error);
        }
        const int keygroups = std::min(*count, static_cast<int>(SysExDecoder::maxKeygroups));
        for (int k = 0; k < keygroups; ++k) {
            progress.Progress(static_cast<std::uint64_t>(k), static_cast<std::uint64_t>(keygroups));
            const std::string keygroup = "keygroup " + std::to_string(k + 1) + " of " + what;
            result = Ask(S1000KeygroupRequest(Channel(), number, k), S1000Function::kdata, keygroup,
                         progress, answer, number);
            if (!result.Ok()) {
                return result;
            }
            if (const auto fed = decoder.Feed(answer); !fed.Ok()) {
                return Damaged(keygroup, fed.error);
            }
        }
        progress.Progress(static_cast<std::uint64_t>(keygroups),
                          static_cast<std::uint64_t>(keygroups));
        decoder.CloseAll();
        std::vector<DecodedProgram> programs = decoder.TakeClosedPrograms();
        if (programs.empty()) {
            return Damaged(what, {});
        }
        program = std::move(programs.front());
        return {};
    }

    LibrarianResult Delete(SamplerEntry::Kind kind, int number) override {
        ports.in.Discard();
        NoProgress none;
        const bool program = kind == SamplerEntry::Kind::program;
        const std::string what = (program ? "program " : "sample ") + std::to_string(number);
        std::vector<std::uint8_t> answer;
        LibrarianResult result = Ask(
            S1000Request(program ? S1000Function::delp : S1000Function::dels, Channel(), number),
            S1000Function::reply, "delete " + what, none, answer);
        if (result.Ok() && ParseS1000Message(answer)->body.front() != 0) {
            return Result(LibrarianResult::Outcome::failed,
                          "The sampler refused to delete " + what + ".");
        }
        return result;
    }

private:
    enum class Wait { got, timeout, cancelled, stopped };

    int Channel() const { return ports.exclusiveChannel & 0x7F; }

    bool Send(const std::vector<std::uint8_t>& bytes) {
        for (std::uint8_t b : bytes) {
            ports.out.AppendBytes(b);
        }
        return ports.out.Send();
    }

    // The next message `wanted` takes, waiting at most `limit`; the user's Cancel is looked at
    // every slice.
    Wait Await(const std::function<bool(Bytes)>& wanted, std::chrono::milliseconds limit,
               LibrarianProgress& progress, std::vector<std::uint8_t>& got) {
        const auto deadline = ports.in.Now() + limit;
        for (;;) {
            if (progress.Cancelled()) {
                return Wait::cancelled;
            }
            const auto now = ports.in.Now();
            if (now >= deadline) {
                return Wait::timeout;
            }
            const auto slice = std::min<WaitClock::TimePoint>(deadline, now + waitSlice);
            auto message = ports.in.Receive(slice);
            if (message) {
                if (wanted(message->bytes)) {
                    got = std::move(message->bytes);
                    return Wait::got;
                }
            } else if (ports.in.Now() < slice) {
                // The port gave up before the slice ended: closed, gone, or stopped.
                return progress.Cancelled() ? Wait::cancelled : Wait::stopped;
            }
        }
    }

    LibrarianResult Ended(Wait wait, const std::string& what) {
        switch (wait) {
        case Wait::cancelled:
            return Result(LibrarianResult::Outcome::cancelled, "Cancelled.");
        case Wait::stopped:
            return Result(LibrarianResult::Outcome::failed,
                          "The MIDI input stopped while waiting for the " + what + ".");
        case Wait::timeout:
            return Result(LibrarianResult::Outcome::noAnswer,
                          "The sampler did not answer the " + what + " request within 2 s " +
                              "(exclusive channel " + std::to_string(Channel() + 1) + ").");
        case Wait::got:
            break;
        }
        return {};
    }

    LibrarianResult SendFailed() {
        if (ports.out.EndedBy() == MidiOutPort::Ending::cancelled) {
            return Result(LibrarianResult::Outcome::cancelled, "Cancelled.");
        }
        return Result(LibrarianResult::Outcome::failed,
                      "The MIDI output stopped: " + ports.out.FailureText());
    }

    // Sends the request and waits for the message of `answerFunction` on our channel (about
    // the program or sample `number` the request names, when it names one); a REPLY that refuses
    // the request ends it.
    LibrarianResult Ask(const std::vector<std::uint8_t>& request, S1000Function answerFunction,
                        const std::string& what, LibrarianProgress& progress,
                        std::vector<std::uint8_t>& answer, std::optional<int> number = {}) {
        if (!Send(request)) {
            return SendFailed();
        }
        const Wait wait = Await(
            [&](Bytes m) {
                const auto parsed = ParseS1000Message(m);
                if (!parsed || parsed->channel != Channel()) {
                    return false;
                }
                if (parsed->function == S1000Function::reply) {
                    return !parsed->body.empty();
                }
                return parsed->function == answerFunction &&
                       (!number || S1000Number(parsed->body) == number);
            },
            answerWait, progress, answer);
        if (wait != Wait::got) {
            return Ended(wait, what);
        }
        const auto parsed = ParseS1000Message(answer);
        if (parsed->function != answerFunction) {
            return Result(LibrarianResult::Outcome::failed,
                          "The sampler refused the " + what + " request.");
        }
        return {};
    }

    LibrarianResult ReadSampleHeader(int number, DecodedSample& header, LibrarianProgress& progress,
                                     SysExDecoder* keep = nullptr) {
        const std::string what = "header of sample " + std::to_string(number);
        std::vector<std::uint8_t> answer;
        LibrarianResult result = Ask(S1000Request(S1000Function::rsdata, Channel(), number),
                                     S1000Function::sdata, what, progress, answer, number);
        if (!result.Ok()) {
            return result;
        }
        SysExDecoder own;
        SysExDecoder& decoder = keep != nullptr ? *keep : own;
        const SysExDecoder::Result fed = decoder.Feed(answer);
        if (!fed.Ok() || decoder.OpenSample() == nullptr) {
            return Damaged(what, fed.error);
        }
        header = *decoder.OpenSample();
        return {};
    }

    // The sample's words: by Dump Request (the SDS receiver's) while the sampler answers it,
    // else by RSPACK into the sample the decoder opened with the header.
    LibrarianResult ReceiveData(int number, std::uint32_t words, SysExDecoder& decoder,
                                std::vector<std::int16_t>& frames, LibrarianProgress& progress) {
        if (dumpRequestAnswered) {
            sds::SdsReceiver receiver(ports.out, ports.in, ports.channel);
            DecodedSample dumped;
            LibrarianResult result = receiver.Get(number, dumped, progress);
            if (result.outcome != LibrarianResult::Outcome::noAnswer) {
                frames = std::move(dumped.frames);
                return result;
            }
            dumpRequestAnswered = false; // from now on straight to RSPACK
        }
        if (!Send(S1000PacketRequest(Channel(), number, 0, words))) {
            return SendFailed();
        }
        return ReceivePackets(number, decoder, frames, progress);
    }

    LibrarianResult ReceivePackets(int number, SysExDecoder& decoder,
                                   std::vector<std::int16_t>& frames, LibrarianProgress& progress) {
        const std::string sample = "sample " + std::to_string(number);
        int naks = 0;
        int resends = 0;                  // of the packet taken last, after our ACK of it
        int repeats = 0;                  // of our last answer, on silence
        std::vector<std::uint8_t> answer; // to the last packet
        int channel = ports.channel & 0x7F;
        for (;;) {
            const int expected = decoder.NextPacketNumber().value_or(0);
            std::vector<std::uint8_t> packet;
            // Silence after an answer may be the answer, or the next packet, lost on the way.
            const bool repeat = !answer.empty() && repeats < sds::SdsReceiver::maxAnswerRepeats;
            const Wait wait = Await(
                [&](Bytes m) {
                    return IsSds(m, sds::dataPacketId) || IsSds(m, sds::cancelByte) ||
                           (ParseS1000Message(m) &&
                            ParseS1000Message(m)->function == S1000Function::reply);
                },
                answer.empty() ? packetWait : sds::SdsReceiver::answerRepeatWindow, progress,
                packet);
            if (wait == Wait::timeout && repeat) {
                // As the SDS receiver: our ACK again, and a NAK of the packet expected.
                ++repeats;
                std::vector<std::uint8_t> again =
                    SdsHandshake(SamplerReply::Kind::ack, channel, (expected + 127) & 0x7F);
                const auto nak = SdsHandshake(SamplerReply::Kind::nak, channel, expected);
                again.insert(again.end(), nak.begin(), nak.end());
                if (!Send(again)) {
                    return SendFailed();
                }
                continue;
            }
            repeats = 0;
            if (wait != Wait::got) {
                Send(SdsHandshake(SamplerReply::Kind::cancel, channel, expected));
                if (wait == Wait::timeout) {
                    return Result(LibrarianResult::Outcome::failed,
                                  "The sampler stopped sending " + sample + " at packet " +
                                      std::to_string(expected) + ".");
                }
                return Ended(wait, "data of " + sample);
            }
            if (packet[1] != sds::universalNonRealTime) {
                return Result(LibrarianResult::Outcome::failed,
                              "The sampler refused to send the data of " + sample + ".");
            }
            if (packet[3] == sds::cancelByte) {
                return Result(LibrarianResult::Outcome::failed,
                              "The sampler cancelled the dump of " + sample + ".");
            }
            channel = packet[2];
            const SysExDecoder::Result fed = decoder.Feed(packet);
            if (!fed.Ok()) {
                // A damaged packet, or one that does not follow: asked for again.
                if (++naks > maxNaks) {
                    Send(SdsHandshake(SamplerReply::Kind::cancel, channel, expected));
                    return Result(LibrarianResult::Outcome::failed,
                                  "Packet " + std::to_string(expected) + " of " + sample +
                                      " arrived damaged " + std::to_string(maxNaks) +
                                      " times; the transfer was cancelled.");
                }
                answer = SdsHandshake(SamplerReply::Kind::nak, channel, expected);
                if (!Send(answer)) {
                    return SendFailed();
                }
                continue;
            }
            naks = 0;
            // The decoder takes the last packet again as it is: the sampler missed our ACK.
            resends = fed.packet == expected ? 0 : resends + 1;
            if (resends > sds::SdsReceiver::maxResends) {
                Send(SdsHandshake(SamplerReply::Kind::cancel, channel, expected));
                return Result(LibrarianResult::Outcome::failed,
                              "The sampler sent packet " + std::to_string(fed.packet) + " of " +
                                  sample + " again " + std::to_string(resends) +
                                  " times although it was acknowledged; the transfer was "
                                  "cancelled.");
            }
            std::vector<DecodedSample> closed = decoder.TakeClosedSamples();
            if (!closed.empty()) {
                Send(SdsHandshake(SamplerReply::Kind::ack, channel, fed.packet));
                frames = std::move(closed.front().frames);
                return {};
            }
            const DecodedSample* open = decoder.OpenSample();
            progress.Progress(open->frames.size(), open->lengthWords);
            // The ACK and, in the same write, a WAIT for the next packet: a sampler that would
            // go on after 20 ms without an answer waits for ours instead.
            answer = SdsHandshake(SamplerReply::Kind::ack, channel, fed.packet);
            const std::vector<std::uint8_t> hold =
                SdsHandshake(SamplerReply::Kind::wait, channel, fed.packet + 1);
            answer.insert(answer.end(), hold.begin(), hold.end());
            if (!Send(answer)) {
                return SendFailed();
            }
        }
    }

    LibrarianPorts ports;
    bool dumpRequestAnswered = true;
};

} // namespace

std::unique_ptr<Librarian> MakeS1000Librarian(const LibrarianPorts& ports) {
    return std::make_unique<S1000Librarian>(ports);
}

} // namespace velomire::transfer
