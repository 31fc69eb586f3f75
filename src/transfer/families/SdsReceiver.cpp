#include "transfer/families/SdsReceiver.h"

#include "transfer/SamplerReply.h"
#include "transfer/families/SdsWire.h"

#include <algorithm>
#include <string>

namespace velomire::transfer::families::sds {

namespace {

std::string SampleText(int number) {
    return "sample #" + std::to_string(number);
}

std::vector<std::uint8_t> Answer(SamplerReply::Kind kind, int channel, int packet) {
    return SdsHandshake(kind, channel, packet);
}

// "5 s", "0.25 s"
std::string SecondsText(std::chrono::milliseconds window) {
    const auto ms = window.count();
    std::string text = std::to_string(ms / 1000);
    if (ms % 1000 != 0) {
        std::string fraction = std::to_string(1000 + ms % 1000).substr(1);
        fraction.erase(fraction.find_last_not_of('0') + 1);
        text += "." + fraction;
    }
    return text + " s";
}

} // namespace

SdsReceiver::SdsReceiver(MidiOutPort& out, MidiInPort& in, int channel)
    : out(out), in(in), channel(channel & 0x7F) {}

bool SdsReceiver::Write(std::span<const std::uint8_t> bytes) {
    for (const std::uint8_t b : bytes) {
        out.AppendBytes(b);
    }
    return out.Send();
}

std::optional<std::vector<std::uint8_t>>
SdsReceiver::Next(WaitClock::TimePoint deadline, LibrarianProgress& progress, bool& cancelled) {
    for (;;) {
        if (progress.Cancelled() || out.Stopping()) {
            cancelled = true;
            return std::nullopt;
        }
        const auto now = in.Now();
        const auto slice = std::min<WaitClock::TimePoint>(deadline, now + cancelSlice);
        if (auto message = in.Receive(slice)) {
            return std::move(message->bytes);
        }
        if (in.Now() >= deadline || in.Ended()) {
            return std::nullopt;
        }
    }
}

bool SdsReceiver::SamplerCancelled(std::span<const std::uint8_t> message) const {
    const auto reply = ParseSamplerReply(message);
    return reply && reply->kind == SamplerReply::Kind::cancel &&
           (reply->channel == channel || reply->channel < 0);
}

LibrarianResult SdsReceiver::Cancel(int packet, LibrarianResult result) {
    if (out.EndedBy() == MidiOutPort::Ending::failed) {
        return {LibrarianResult::Outcome::failed, out.FailureText()};
    }
    const auto bytes = Answer(SamplerReply::Kind::cancel, channel, packet);
    if (out.Stopping()) {
        // A cancel requested on the port itself: the port sends it as its last message.
        out.SetCancelMessage(bytes);
        out.EndIfCancelled();
    } else {
        Write(bytes);
    }
    return result;
}

LibrarianResult SdsReceiver::PortEnded(int number) {
    if (out.EndedBy() == MidiOutPort::Ending::cancelled) {
        return {LibrarianResult::Outcome::cancelled, SampleText(number) + " was not taken."};
    }
    return {LibrarianResult::Outcome::failed, out.FailureText()};
}

LibrarianResult SdsReceiver::InputEnded(int number) const {
    const std::string why =
        in.LastError().empty() ? std::string("the MIDI input port has gone") : in.LastError();
    return {LibrarianResult::Outcome::failed, SampleText(number) + " was not taken: " + why};
}

LibrarianResult SdsReceiver::AwaitHeader(std::span<const std::uint8_t> request, int number,
                                         std::chrono::milliseconds window, SysExDecoder& decoder,
                                         LibrarianProgress& progress) {
    in.Discard(); // answers to earlier requests are not this one's
    if (!Write(request)) {
        return PortEnded(number);
    }
    const auto deadline = in.Now() + window;
    int naks = 0;
    for (;;) {
        bool cancelled = false;
        const auto message = Next(deadline, progress, cancelled);
        if (cancelled) {
            return Cancel(
                0, {LibrarianResult::Outcome::cancelled, SampleText(number) + " was not taken."});
        }
        if (!message && in.Ended()) {
            return Cancel(0, InputEnded(number));
        }
        if (!message) {
            return {LibrarianResult::Outcome::noAnswer,
                    "The sampler did not answer the request for " + SampleText(number) +
                        " within " + SecondsText(window) + "."};
        }
        if (SamplerCancelled(*message)) {
            return {LibrarianResult::Outcome::failed,
                    "The sampler cancelled the dump of " + SampleText(number) + "."};
        }
        if (!IsDumpHeader(*message) || (*message)[2] != channel ||
            ((*message)[4] | (*message)[5] << 7) != number) {
            continue;
        }
        if (decoder.Feed(*message).Ok()) {
            return {};
        }
        if (naks == maxNaks) {
            return Cancel(0, {LibrarianResult::Outcome::failed,
                              "The header of " + SampleText(number) +
                                  " did not arrive intact; the transfer was cancelled."});
        }
        ++naks;
        if (!Write(Answer(SamplerReply::Kind::nak, channel, 0))) {
            return PortEnded(number);
        }
    }
}

LibrarianResult SdsReceiver::TakePackets(int number, SysExDecoder& decoder,
                                         LibrarianProgress& progress) {
    const DecodedSample* open = decoder.OpenSample();
    const std::uint64_t total = open != nullptr ? open->lengthWords : 0;
    std::vector<std::uint8_t> answer = Answer(SamplerReply::Kind::ack, channel, 0);
    std::uint32_t taken = 0; // packets, counted from 0 over the sample
    int naks = 0;
    int resends = 0; // of the packet taken last (or the header), after our answer to it
    int repeats = 0; // of our last answer, on silence
    // The ACK of the header is not sent again: it would read as the ACK of packet 0. A sampler
    // that missed it sends the header again, or goes on after its own wait.
    const auto window = [&taken] { return taken > 0 ? answerRepeatWindow : packetWindow; };
    if (!Write(answer)) {
        return PortEnded(number);
    }
    auto deadline = in.Now() + window();
    while (decoder.OpenSample() != nullptr) {
        const int expected = static_cast<int>(taken & 0x7F);
        bool cancelled = false;
        const auto message = Next(deadline, progress, cancelled);
        if (cancelled) {
            return Cancel(expected, {LibrarianResult::Outcome::cancelled,
                                     SampleText(number) + " was not taken."});
        }
        if (!message && in.Ended()) {
            return Cancel(expected, InputEnded(number));
        }
        if (!message && taken > 0 && repeats < maxAnswerRepeats) {
            // Our answer was lost on the way (the sampler still waits for the ACK), or the packet
            // after it was (the sampler, held by our WAIT, sends it again on the NAK).
            ++repeats;
            std::vector<std::uint8_t> again =
                Answer(SamplerReply::Kind::ack, channel, static_cast<int>((taken - 1) & 0x7F));
            const auto nak = Answer(SamplerReply::Kind::nak, channel, expected);
            again.insert(again.end(), nak.begin(), nak.end());
            if (!Write(again)) {
                return PortEnded(number);
            }
            deadline = in.Now() + window();
            continue;
        }
        if (!message) {
            return Cancel(expected,
                          {LibrarianResult::Outcome::failed,
                           "The sampler stopped sending " + SampleText(number) + " at packet " +
                               std::to_string(taken) + " (nothing for " +
                               SecondsText(packetWindow) + "); the transfer was cancelled."});
        }
        if (SamplerCancelled(*message)) {
            return {LibrarianResult::Outcome::failed,
                    "The sampler cancelled the dump of " + SampleText(number) + "."};
        }
        const bool headerAgain = taken == 0 && IsDumpHeader(*message) && (*message)[2] == channel;
        if (!headerAgain && (!IsDataPacket(*message) || (*message)[2] != channel)) {
            continue; // not part of this dump
        }
        repeats = 0;
        const bool packetAgain = !headerAgain && taken > 0 && PacketIntact(*message) &&
                                 (*message)[4] == static_cast<int>((taken - 1) & 0x7F);
        if ((headerAgain || packetAgain) && ++resends > maxResends) {
            return Cancel(expected, {LibrarianResult::Outcome::failed,
                                     "The sampler sent " +
                                         (headerAgain ? std::string("the header")
                                                      : "packet " + std::to_string(taken - 1)) +
                                         " of " + SampleText(number) + " again " +
                                         std::to_string(maxResends + 1) +
                                         " times although it was acknowledged; the transfer "
                                         "was cancelled."});
        }
        if (headerAgain) {
            // The header again: our ACK did not reach the sampler.
            answer = Answer(SamplerReply::Kind::ack, channel, 0);
        } else if (PacketIntact(*message) && (*message)[4] == expected &&
                   decoder.Feed(*message).Ok()) {
            ++taken;
            naks = 0;
            resends = 0;
            const DecodedSample* still = decoder.OpenSample();
            progress.Progress(still != nullptr ? still->frames.size() : total, total);
            answer = Answer(SamplerReply::Kind::ack, channel, expected);
            if (still != nullptr) {
                // In the same write: the sampler holds for the next answer however long it takes.
                const auto wait =
                    Answer(SamplerReply::Kind::wait, channel, static_cast<int>(taken & 0x7F));
                answer.insert(answer.end(), wait.begin(), wait.end());
            }
        } else if (packetAgain) {
            // The packet taken last, again: our ACK did not reach the sampler.
            answer = Answer(SamplerReply::Kind::ack, channel, (*message)[4]);
            const auto wait = Answer(SamplerReply::Kind::wait, channel, expected);
            answer.insert(answer.end(), wait.begin(), wait.end());
        } else if (naks == maxNaks) {
            return Cancel(expected,
                          {LibrarianResult::Outcome::failed,
                           "Packet " + std::to_string(taken) + " of " + SampleText(number) +
                               " did not arrive intact after " + std::to_string(maxNaks) +
                               " requests to send it again; the transfer was cancelled."});
        } else {
            ++naks;
            answer = Answer(SamplerReply::Kind::nak, channel, expected);
        }
        if (!Write(answer)) {
            return PortEnded(number);
        }
        deadline = in.Now() + window();
    }
    return {};
}

LibrarianResult SdsReceiver::Receive(std::span<const std::uint8_t> request, int number,
                                     DecodedSample& sample, LibrarianProgress& progress) {
    SysExDecoder decoder;
    if (LibrarianResult header = AwaitHeader(request, number, headerWindow, decoder, progress);
        !header.Ok()) {
        return header;
    }
    if (LibrarianResult packets = TakePackets(number, decoder, progress); !packets.Ok()) {
        return packets;
    }
    auto closed = decoder.TakeClosedSamples();
    if (closed.empty()) {
        return {LibrarianResult::Outcome::failed, SampleText(number) + " did not arrive whole."};
    }
    sample = std::move(closed.front());
    return {};
}

LibrarianResult SdsReceiver::Get(int number, DecodedSample& sample, LibrarianProgress& progress) {
    return Receive(DumpRequest(channel, number), number, sample, progress);
}

LibrarianResult SdsReceiver::ReadHeader(int number, std::chrono::milliseconds window,
                                        DecodedSample& header, LibrarianProgress& progress) {
    SysExDecoder decoder;
    if (LibrarianResult result =
            AwaitHeader(DumpRequest(channel, number), number, window, decoder, progress);
        !result.Ok()) {
        return result;
    }
    header = *decoder.OpenSample();
    // The header is all we wanted: the sampler sends no data.
    return Cancel(0, {});
}

} // namespace velomire::transfer::families::sds
