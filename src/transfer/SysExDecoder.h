#pragma once

#include "transfer/SamplerModel.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace velomire::transfer {

// One value a message carried, under the name the program's records give it: a number, a text
// (names, decoded from the sampler's character set) or a list of numbers.
struct DecodedField {
    std::string name;
    std::variant<std::int64_t, std::string, std::vector<std::int64_t>> value;
};
using DecodedFields = std::vector<DecodedField>;

// The number stored under `name`, if there is one.
std::optional<std::int64_t> FieldNumber(const DecodedFields& fields, std::string_view name);
std::optional<std::string> FieldString(const DecodedFields& fields, std::string_view name);

// A sample as a sampler would have stored it: its header fields and its frames, back in signed
// 16-bit form (12-bit S900 words take the top 12 bits).
struct DecodedSample {
    SamplerFamily family = SamplerFamily::none;
    int number = 0;
    std::uint32_t lengthWords = 0; // as the header announced
    std::uint32_t rate = 0;        // Hz: the header's rate, else from the sample period
    std::vector<std::int16_t> frames;
    DecodedFields fields;
    std::size_t offset = 0; // of the message that opened it
    // Every announced word has arrived. An S1000-family sample header alone (a sampler's answer
    // to a header request) announces words it does not carry: incomplete.
    bool Complete() const { return frames.size() >= lengthWords; }
};

struct DecodedProgram {
    SamplerFamily family = SamplerFamily::none;
    int number = 0;
    DecodedFields fields;
    std::vector<DecodedFields> keygroups; // in the order received
    std::size_t offset = 0;
};

// Reads the System Exclusive messages of the three sampler families one by one and rebuilds what
// they carry: SDS Dump Headers and Data Packets, S900/S950 sample data, sample headers and
// programs, S1000-family sample headers, program headers and keygroups. Every length, checksum
// and data byte is checked. The S1000-family and SDS samples receive the Data Packets that follow
// their header; a packet repeated with the same number replaces the one before (a resend).
class SysExDecoder {
public:
    enum class Kind {
        unknown,
        sdsDumpHeader,
        sdsDataPacket,
        handshake, // ACK, NAK, WAIT, CANCEL (SDS form with channel and packet, or S900 form)
        s900SampleData,
        s900SampleHeader,
        s900Program,
        s1000SampleHeader,
        s1000ProgramHeader,
        s1000Keygroup,
    };

    struct Result {
        Kind kind = Kind::unknown;
        std::string error; // empty when the message was well formed and taken
        int channel = -1;  // the channel byte, when the message has one
        int packet = -1;   // the packet number of an SDS Data Packet
        // The sample or program the message added to (an index into Samples() or Programs()).
        std::optional<std::size_t> sample;
        std::optional<std::size_t> program;

        bool Ok() const { return error.empty(); }
    };

    // One whole message from F0 to F7; `offset` is where it began in its stream. A message that is
    // refused changes nothing.
    Result Feed(std::span<const std::uint8_t> message, std::size_t offset = 0);

    const std::vector<DecodedSample>& Samples() const { return samples; }
    const std::vector<DecodedProgram>& Programs() const { return programs; }
    // The sample the next Data Packets go to, if one is open.
    std::optional<std::size_t> OpenSample() const { return openSample; }

private:
    Result DumpHeader(std::span<const std::uint8_t> m, std::size_t offset);
    Result DataPacket(std::span<const std::uint8_t> m);
    Result S900Data(std::span<const std::uint8_t> m, std::size_t offset);
    Result S900Header(std::span<const std::uint8_t> m, std::size_t offset);
    Result S900Program(std::span<const std::uint8_t> m, std::size_t offset);
    Result S1000Header(std::span<const std::uint8_t> m, std::size_t offset);
    Result S1000Program(std::span<const std::uint8_t> m, std::size_t offset);
    Result S1000Keygroup(std::span<const std::uint8_t> m);

    std::vector<DecodedSample> samples;
    std::vector<DecodedProgram> programs;
    std::optional<std::size_t> openSample;
    // Bytes per word and bits of the open SDS sample, and the packets it has taken.
    int wordBytes = 3;
    int wordBits = 16;
    std::uint32_t packetsTaken = 0;
    int lastPacket = -1;
};

struct DecodeError {
    std::size_t offset = 0;
    std::string text;
    // Every message was well formed, but a sample's data stops short (`offset` is its header).
    bool incomplete = false;
};

struct DecodeResult {
    std::vector<DecodedSample> samples;
    std::vector<DecodedProgram> programs;
    std::optional<DecodeError> error; // the first malformed message; decoding stops there
};

// Decodes a whole stream (a render output or a trace dump): what came before the first malformed
// message, and where that message began. When every message is well formed, the first sample
// whose data stops short is named as incomplete.
DecodeResult DecodeSysExStream(std::span<const std::uint8_t> bytes);

// The character of one Akai character code ('?' for a code outside the table).
char AkaiChar(std::uint8_t code);

} // namespace velomire::transfer
