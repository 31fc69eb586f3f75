#pragma once

#include "transfer/SamplerModel.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
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
    bool hasData = false;   // some data arrived (a header alone has none)
    // The first packet of the sample (counted from 0) that never came while later ones did: the
    // sample is damaged there.
    std::optional<std::uint32_t> missingPacket;
    // Every announced word has arrived (a sample header alone, without data, counts as complete).
    bool Complete() const { return frames.size() >= lengthWords; }
    // A rate a sound file can hold (an SDS sample period of 0, an S1000 header's rate of 0 have
    // none).
    bool Playable() const { return rate != 0; }
};

struct DecodedProgram {
    SamplerFamily family = SamplerFamily::none;
    int number = 0;
    DecodedFields fields;
    std::vector<DecodedFields> keygroups; // in the order received
    std::size_t offset = 0;
};

// What one message says, as its family reads it (Family::Decode): one of these, by what the
// decoder does with it.
namespace decoded {

// A sample header whose words follow as Data Packets of `bits`-bit words.
struct PacketSampleHeader {
    DecodedSample sample; // without frames
    int bits = 16;
};
// One Data Packet's words, as many as a packet carries at the word size of the open sample.
struct DataPacket {
    std::vector<std::int16_t> frames;
};
// A whole sample's words in one message; its header follows.
struct SampleData {
    DecodedSample sample;
};
// The header of the sample whose data came just before (a sample of its own when none did).
struct HeaderAfterData {
    DecodedSample sample; // without frames
};
// A program with all its keygroups.
struct WholeProgram {
    DecodedProgram program;
};
// A program header; its keygroups follow one message each.
struct ProgramHeader {
    DecodedProgram program;    // without keygroups
    std::size_t keygroups = 0; // as the header counts them (0: not counted)
};
// One keygroup of the program opened by its header.
struct Keygroup {
    int program = 0;
    DecodedFields fields;
};

using Content = std::variant<PacketSampleHeader, DataPacket, SampleData, HeaderAfterData,
                             WholeProgram, ProgramHeader, Keygroup>;

} // namespace decoded

// Reads the System Exclusive messages of the three sampler families one by one and rebuilds what
// they carry: SDS Dump Headers and Data Packets, S900/S950 sample data, sample headers and
// programs, S1000-family sample headers, program headers and keygroups. Every length, checksum
// and data byte is checked. The S1000-family and SDS samples receive the Data Packets that follow
// their header; a packet repeated with the same number replaces the one before (a resend).
//
// A packet whose number does not follow is refused and leaves a gap: only the missing packet
// fills it (a closed-loop sender going back), never a packet that continues the numbers that came
// after the gap, which is a later round of 128 numbers.
//
// Memory stays bounded by what is still open: at most one sample taking Data Packets, one S900
// sample waiting for its header and one program taking keygroups. What can no longer change is
// closed and handed out by TakeClosedSamples and TakeClosedPrograms, after which the decoder
// keeps nothing of it; the work per message does not grow with what came before.
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
        // A Data Packet refused because it continues the numbers after a gap already reported.
        bool afterGap = false;
        // The number of the sample or program the message added to.
        std::optional<int> sample;
        std::optional<int> program;

        bool Ok() const { return error.empty(); }
    };

    // The most keygroups a program takes.
    static constexpr std::size_t maxKeygroups = 99;

    // One whole message from F0 to F7; `offset` is where it began in its stream. A message that is
    // refused changes nothing, except that a Data Packet out of order leaves a gap.
    Result Feed(std::span<const std::uint8_t> message, std::size_t offset = 0);

    // What was closed since the last call, in the order it was closed; the decoder forgets it.
    std::vector<DecodedSample> TakeClosedSamples();
    std::vector<DecodedProgram> TakeClosedPrograms();
    // Closes everything still open (at the end of a stream).
    void CloseAll();
    // The sample the next Data Packets go to, if one is open.
    const DecodedSample* OpenSample() const { return openSample ? &*openSample : nullptr; }
    // Drops the open sample unclosed (a sampler that cancelled it); its packets are refused.
    void DropOpenSample();
    // The number of the next Data Packet that would be taken as the one that follows, when no
    // gap is open; nothing when no sample takes packets.
    std::optional<int> NextPacketNumber() const;

private:
    Result Take(decoded::PacketSampleHeader header, Result result);
    Result Take(decoded::DataPacket packet, Result result, std::span<const std::uint8_t> m);
    Result Take(decoded::SampleData data, Result result);
    Result Take(decoded::HeaderAfterData header, Result result);
    Result Take(decoded::WholeProgram program, Result result);
    Result Take(decoded::ProgramHeader header, Result result);
    Result Take(decoded::Keygroup keygroup, Result result);

    void CloseSample();
    void CloseDataSample();
    void CloseProgram();
    void OpenNewSample(DecodedSample sample, int bits);

    std::vector<DecodedSample> closedSamples;
    std::vector<DecodedProgram> closedPrograms;
    std::optional<DecodedSample> openSample;   // taking Data Packets
    std::optional<DecodedSample> dataSample;   // a sample's data waiting for its header
    std::optional<DecodedProgram> openProgram; // taking keygroups
    // Bits per word of the open sample, and the packets it has taken.
    int wordBits = 16;
    std::uint32_t packetsTaken = 0;
    int lastPacket = -1;
    // The last packet taken, kept after its sample closed so that its resend (the sender missed
    // the ACK) is known for what it is.
    std::vector<std::uint8_t> lastPacketBytes;
    // A packet did not follow: the numbers since then, the last one seen.
    bool gap = false;
    int lastSeen = -1;
    std::size_t keygroupsAnnounced = 0; // by the open program's header
};

// One message as its family reads it. A refused message has its reason in `error`; one that opens
// like the family's messages but is none of them is of kind unknown.
struct DecodedMessage {
    SysExDecoder::Kind kind = SysExDecoder::Kind::unknown;
    std::string error;
    int channel = -1; // the channel byte, when the message has one
    int packet = -1;  // the packet number of a Data Packet
    decoded::Content content;

    static DecodedMessage Refused(SysExDecoder::Kind kind, std::string why) {
        DecodedMessage message;
        message.kind = kind;
        message.error = std::move(why);
        return message;
    }
    // A message a family's parser took: its kind, its channel byte (-1: none) and what it carries.
    static DecodedMessage Taken(SysExDecoder::Kind kind, int channel, decoded::Content content) {
        DecodedMessage message;
        message.kind = kind;
        message.channel = channel;
        message.content = std::move(content);
        return message;
    }
};

// What is wrong with a closed sample, or nothing: a header without data, a rate of 0 Hz, data that
// stops short, or a sample damaged at a missing packet.
std::optional<std::string> SampleProblem(const DecodedSample& sample);

} // namespace velomire::transfer
