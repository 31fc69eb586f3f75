#pragma once

#include "transfer/Librarian.h"

#include <chrono>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace velomire::transfer::families::sds {

// The requesting side of a Sample Dump Standard dump: asks for a sample and takes its Dump Header
// and Data Packets with the handshake. Every good packet is answered, in one write, with an ACK
// and a WAIT for the next one, so that a sampler that gives up on an answer after 20 ms never
// falls back to sending without handshake while we are busy. A damaged packet, or one with
// another number than the one expected, is answered with a NAK naming the expected packet, at
// most `maxNaks` times for one packet; then the dump is cancelled. The packet taken last (or the
// header) coming again means that our answer was lost: it is answered again, at most `maxResends`
// times, then the dump is cancelled (a sampler that keeps sending one packet is never done).
// Silence after the answer to a packet may mean the same, or a packet lost: the ACK of the packet
// taken last and a NAK of the one expected are sent after each `answerRepeatWindow` of silence,
// `maxAnswerRepeats` times, before the dump is given up (the packet window). The waits are bounded
// (the header window, then the packet window) and end early when the user cancels, which sends
// CANCEL. Messages on other channels, and anything else that arrives meanwhile, are passed over.
//
// The S1000 family dumps its sample data this way too, after a request of its own.
class SdsReceiver {
public:
    static constexpr std::chrono::milliseconds headerWindow{5000};
    static constexpr std::chrono::milliseconds packetWindow{2000};
    static constexpr int maxNaks = 5;
    static constexpr int maxResends = 5;
    static constexpr int maxAnswerRepeats = 3;
    static constexpr std::chrono::milliseconds answerRepeatWindow =
        packetWindow / (maxAnswerRepeats + 1);
    // How often the waits look at the user's Cancel.
    static constexpr std::chrono::milliseconds cancelSlice{20};

    // `channel`: the channel byte (0-127) the sampler answers on and our answers carry.
    SdsReceiver(MidiOutPort& out, MidiInPort& in, int channel);

    // Sends the Dump Request for sample `number` and takes the dump into `sample`. No answer
    // within the header window gives noAnswer (a sampler does not answer for a number it does
    // not have).
    LibrarianResult Get(int number, DecodedSample& sample, LibrarianProgress& progress);
    // The same after `request`, any message that makes the sampler dump sample `number`.
    LibrarianResult Receive(std::span<const std::uint8_t> request, int number,
                            DecodedSample& sample, LibrarianProgress& progress);
    // Only the Dump Header of sample `number`, waiting at most `window` for it; the dump is then
    // cancelled. `header` gets the header's fields, its length and its rate.
    LibrarianResult ReadHeader(int number, std::chrono::milliseconds window, DecodedSample& header,
                               LibrarianProgress& progress);

    // The next message until `deadline`; nothing when none came, the input port ended, or the
    // user cancelled (then `cancelled` is set).
    std::optional<std::vector<std::uint8_t>> Next(WaitClock::TimePoint deadline,
                                                  LibrarianProgress& progress, bool& cancelled);
    WaitClock::TimePoint Now() { return in.Now(); }
    // Writes `bytes` as one buffer; false when the port has ended.
    bool Write(std::span<const std::uint8_t> bytes);

private:
    // Sends the request and waits for the sample's header; a damaged one is NAKed.
    LibrarianResult AwaitHeader(std::span<const std::uint8_t> request, int number,
                                std::chrono::milliseconds window, SysExDecoder& decoder,
                                LibrarianProgress& progress);
    LibrarianResult TakePackets(int number, SysExDecoder& decoder, LibrarianProgress& progress);
    // Tells the sampler to stop the dump at `packet`, and gives `result`.
    LibrarianResult Cancel(int packet, LibrarianResult result);
    LibrarianResult PortEnded(int number);
    // The input port can give nothing more (closed, or its device or server gone).
    LibrarianResult InputEnded(int number) const;
    // Whether the message is the sampler's CANCEL on our channel.
    bool SamplerCancelled(std::span<const std::uint8_t> message) const;

    MidiOutPort& out;
    MidiInPort& in;
    int channel;
};

} // namespace velomire::transfer::families::sds
