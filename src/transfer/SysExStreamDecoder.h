#pragma once

#include "transfer/SysExDecoder.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace velomire::transfer {

struct DecodeError {
    std::size_t offset = 0;
    std::string text;
    bool sample = false; // about a sample (its header's offset), not one malformed message
};

// Decodes a stream (a render output or a trace dump) that comes in pieces of any size: it splits
// the messages, feeds them to a SysExDecoder and hands out what is closed, so that its memory
// stays within a few times the largest message and sample however long the stream. A malformed
// message is named by its offset and the decoding goes on after it; so is a sample whose data
// stops short or is damaged, and a sample header that came without data.
class SysExStreamDecoder {
public:
    // The longest message taken (an S900 sample is one message: 16 Mi words).
    static constexpr std::size_t defaultLimit = 40u << 20;

    explicit SysExStreamDecoder(std::size_t messageLimit = defaultLimit) : limit(messageLimit) {}

    void Feed(std::span<const std::uint8_t> bytes);
    // The end of the stream: a message cut short is reported, everything open is closed.
    void Finish();

    std::vector<DecodedSample> TakeSamples();
    std::vector<DecodedProgram> TakePrograms();
    std::vector<DecodeError> TakeErrors();

private:
    void Message();
    void Closed(std::vector<DecodedSample> samples);

    SysExDecoder decoder;
    std::size_t limit;
    std::vector<std::uint8_t> message;
    bool inMessage = false;
    bool skipping = false; // inside bytes outside any message, already reported
    std::size_t offset = 0;
    std::size_t messageStart = 0;
    std::vector<DecodedSample> samples;
    std::vector<DecodeError> errors;
};

struct DecodeResult {
    std::vector<DecodedSample> samples;
    std::vector<DecodedProgram> programs;
    std::vector<DecodeError> errors; // in the order of the stream
};

// Decodes a whole stream in memory.
DecodeResult DecodeSysExStream(std::span<const std::uint8_t> bytes);

} // namespace velomire::transfer
