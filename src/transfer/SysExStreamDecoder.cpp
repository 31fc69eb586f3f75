#include "transfer/SysExStreamDecoder.h"

#include <algorithm>
#include <utility>

namespace velomire::transfer {

namespace {

using Bytes = std::span<const std::uint8_t>;

constexpr std::uint8_t sysExStart = 0xF0;
constexpr std::uint8_t sysExEnd = 0xF7;

} // namespace

void SysExStreamDecoder::Feed(Bytes bytes) {
    for (std::uint8_t b : bytes) {
        const std::size_t at = offset++;
        if (b >= 0xF8) {
            continue; // real-time bytes may come anywhere
        }
        if (b == sysExStart) {
            if (inMessage) {
                errors.push_back({messageStart, "a System Exclusive message without its F7"});
            }
            message.assign(1, b);
            inMessage = true;
            skipping = false;
            messageStart = at;
            continue;
        }
        if (!inMessage) {
            if (!skipping) {
                errors.push_back({at, "a byte outside any System Exclusive message"});
                skipping = true;
            }
            continue;
        }
        if (b >= 0x80 && b != sysExEnd) {
            errors.push_back({messageStart, "a System Exclusive message that does not end in F7"});
            inMessage = false;
            skipping = true;
            continue;
        }
        if (message.size() >= limit) {
            errors.push_back({messageStart, "a System Exclusive message longer than " +
                                                std::to_string(limit) + " bytes"});
            inMessage = false;
            skipping = true;
            continue;
        }
        message.push_back(b);
        if (b == sysExEnd) {
            inMessage = false;
            Message();
        }
    }
}

void SysExStreamDecoder::Message() {
    const SysExDecoder::Result result = decoder.Feed(message, messageStart);
    // Packets after a gap already reported say nothing new: the sample names the gap.
    if (!result.Ok() && !result.afterGap) {
        errors.push_back({messageStart, result.error});
    }
    Closed(decoder.TakeClosedSamples());
    if (message.capacity() > 4096) {
        message = {}; // an S900 sample's message is not kept past its decoding
    }
}

void SysExStreamDecoder::Closed(std::vector<DecodedSample> closed) {
    for (DecodedSample& sample : closed) {
        if (const auto problem = SampleProblem(sample)) {
            errors.push_back(
                {sample.offset, "sample " + std::to_string(sample.number) + ": " + *problem, true});
        }
        if (sample.hasData && sample.Playable()) {
            samples.push_back(std::move(sample));
        }
    }
}

void SysExStreamDecoder::Finish() {
    if (inMessage) {
        errors.push_back({messageStart, "a System Exclusive message that does not end in F7"});
        inMessage = false;
    }
    message = {};
    decoder.CloseAll();
    Closed(decoder.TakeClosedSamples());
}

std::vector<DecodedSample> SysExStreamDecoder::TakeSamples() {
    return std::exchange(samples, {});
}

std::vector<DecodedProgram> SysExStreamDecoder::TakePrograms() {
    return decoder.TakeClosedPrograms();
}

std::vector<DecodeError> SysExStreamDecoder::TakeErrors() {
    return std::exchange(errors, {});
}

DecodeResult DecodeSysExStream(Bytes bytes) {
    SysExStreamDecoder stream(std::max<std::size_t>(bytes.size(), 1));
    stream.Feed(bytes);
    stream.Finish();
    return {stream.TakeSamples(), stream.TakePrograms(), stream.TakeErrors()};
}

} // namespace velomire::transfer
