#include "transfer/SysExDecoder.h"

#include "transfer/SamplerReply.h"
#include "transfer/families/Family.h"

#include <algorithm>
#include <type_traits>
#include <utility>
#include <variant>

namespace velomire::transfer {

namespace {

using Bytes = std::span<const std::uint8_t>;

constexpr std::uint8_t sysExStart = 0xF0;
constexpr std::uint8_t sysExEnd = 0xF7;

SysExDecoder::Result Refused(SysExDecoder::Kind kind, std::string why) {
    SysExDecoder::Result result;
    result.kind = kind;
    result.error = std::move(why);
    return result;
}

} // namespace

std::optional<std::int64_t> FieldNumber(const DecodedFields& fields, std::string_view name) {
    for (const DecodedField& field : fields) {
        if (field.name == name && std::holds_alternative<std::int64_t>(field.value)) {
            return std::get<std::int64_t>(field.value);
        }
    }
    return std::nullopt;
}

std::optional<std::string> FieldString(const DecodedFields& fields, std::string_view name) {
    for (const DecodedField& field : fields) {
        if (field.name == name && std::holds_alternative<std::string>(field.value)) {
            return std::get<std::string>(field.value);
        }
    }
    return std::nullopt;
}

SysExDecoder::Result SysExDecoder::Feed(Bytes m, std::size_t offset) {
    if (m.size() < 4 || m.front() != sysExStart || m.back() != sysExEnd ||
        !std::all_of(m.begin() + 1, m.end() - 1, [](std::uint8_t b) { return b < 0x80; })) {
        return Refused(Kind::unknown, "not a whole System Exclusive message");
    }
    // The handshakes, in the SDS form and in the S900 form without channel and packet.
    if (const auto reply = ParseSamplerReply(m);
        reply && reply->kind != SamplerReply::Kind::akaiReply) {
        Result result;
        result.kind = Kind::handshake;
        result.channel = reply->channel;
        result.packet = reply->packet;
        return result;
    }
    // The first family that knows the message reads it; when none does, the first that knows its
    // opening names why.
    std::optional<std::string> unknown;
    for (const Family* family : Family::All()) {
        std::optional<DecodedMessage> message = family->Decode(m, offset, wordBits);
        if (!message) {
            continue;
        }
        if (message->kind == Kind::unknown) {
            if (!unknown) {
                unknown = std::move(message->error);
            }
            continue;
        }
        Result result;
        result.kind = message->kind;
        result.error = std::move(message->error);
        result.channel = message->channel;
        result.packet = message->packet;
        if (!result.Ok()) {
            return result;
        }
        return std::visit(
            [&](auto&& content) {
                using Content = std::decay_t<decltype(content)>;
                if constexpr (std::is_same_v<Content, decoded::DataPacket>) {
                    return Take(std::forward<decltype(content)>(content), std::move(result), m);
                } else {
                    return Take(std::forward<decltype(content)>(content), std::move(result));
                }
            },
            std::move(message->content));
    }
    return Refused(Kind::unknown, unknown ? std::move(*unknown) : "not a sampler message");
}

SysExDecoder::Result SysExDecoder::Take(decoded::PacketSampleHeader header, Result result) {
    result.sample = header.sample.number;
    OpenNewSample(std::move(header.sample), header.bits);
    return result;
}

void SysExDecoder::OpenNewSample(DecodedSample sample, int bits) {
    CloseSample();
    CloseDataSample();
    CloseProgram();
    openSample = std::move(sample);
    wordBits = bits;
    packetsTaken = 0;
    lastPacket = -1;
    lastPacketBytes.clear();
    gap = false;
    lastSeen = -1;
}

void SysExDecoder::CloseSample() {
    if (openSample) {
        closedSamples.push_back(std::move(*openSample));
        openSample.reset();
    }
}

void SysExDecoder::CloseDataSample() {
    if (dataSample) {
        closedSamples.push_back(std::move(*dataSample));
        dataSample.reset();
    }
}

void SysExDecoder::CloseProgram() {
    if (openProgram) {
        closedPrograms.push_back(std::move(*openProgram));
        openProgram.reset();
    }
}

void SysExDecoder::CloseAll() {
    CloseSample();
    CloseDataSample();
    CloseProgram();
}

void SysExDecoder::DropOpenSample() {
    openSample.reset();
    lastPacketBytes.clear();
}

std::optional<int> SysExDecoder::NextPacketNumber() const {
    if (!openSample || gap) {
        return std::nullopt;
    }
    return static_cast<int>(packetsTaken & 0x7F);
}

std::vector<DecodedSample> SysExDecoder::TakeClosedSamples() {
    return std::exchange(closedSamples, {});
}

std::vector<DecodedProgram> SysExDecoder::TakeClosedPrograms() {
    return std::exchange(closedPrograms, {});
}

SysExDecoder::Result SysExDecoder::Take(decoded::DataPacket packet, Result result, Bytes m) {
    const int number = result.packet;
    if (!openSample) {
        if (!lastPacketBytes.empty() &&
            std::equal(m.begin(), m.end(), lastPacketBytes.begin(), lastPacketBytes.end())) {
            return result; // the last packet of a sample already whole, sent again
        }
        result.error = "Data Packet " + std::to_string(number) + " without a sample header";
        return result;
    }
    DecodedSample& sample = *openSample;
    const auto wordsPerPacket = static_cast<std::uint32_t>(packet.frames.size());
    const int following = static_cast<int>(packetsTaken & 0x7F);
    const bool resend = number == lastPacket && packetsTaken > 0;
    if (resend && gap) {
        // The last packet taken comes again while later ones are missing: the same bytes are the
        // sender going back; other bytes are a later round's packet of that number.
        lastSeen = number;
        if (std::equal(m.begin(), m.end(), lastPacketBytes.begin(), lastPacketBytes.end())) {
            return result;
        }
        result.error = "Data Packet " + std::to_string(number) + " of a later round where packet " +
                       std::to_string(following) + " is missing";
        result.afterGap = true;
        return result;
    }
    if (!resend && number != following) {
        result.error = "Data Packet " + std::to_string(number) + " where " +
                       std::to_string(following) + " was expected";
        result.afterGap = gap;
        if (!gap) {
            gap = true;
            sample.missingPacket = packetsTaken;
        }
        lastSeen = number;
        return result;
    }
    if (!resend && gap && number == ((lastSeen + 1) & 0x7F)) {
        // It carries on from the packets after the gap: the same number one round of 128 later.
        result.error = "Data Packet " + std::to_string(number) + " of a later round where packet " +
                       std::to_string(following) + " is missing";
        result.afterGap = true;
        lastSeen = number;
        return result;
    }
    // A length of 0 still comes with one packet.
    const std::uint32_t expected =
        sample.lengthWords == 0 ? 1 : (sample.lengthWords - 1) / wordsPerPacket + 1;
    const std::size_t first =
        static_cast<std::size_t>(resend ? packetsTaken - 1 : packetsTaken) * wordsPerPacket;
    sample.frames.resize(first);
    for (std::uint32_t w = 0; w < wordsPerPacket && first + w < sample.lengthWords; ++w) {
        sample.frames.push_back(packet.frames[w]);
    }
    if (!resend) {
        ++packetsTaken;
    }
    lastPacket = number;
    lastSeen = number;
    gap = false;
    sample.missingPacket.reset();
    sample.hasData = true;
    lastPacketBytes.assign(m.begin(), m.end());
    result.sample = sample.number;
    if (packetsTaken >= expected) {
        CloseSample();
    }
    return result;
}

SysExDecoder::Result SysExDecoder::Take(decoded::SampleData data, Result result) {
    result.sample = data.sample.number;
    CloseSample();
    CloseDataSample();
    CloseProgram();
    dataSample = std::move(data.sample); // its header follows
    return result;
}

SysExDecoder::Result SysExDecoder::Take(decoded::HeaderAfterData header, Result result) {
    const int number = header.sample.number;
    // The header follows the data of the same sample number; alone it makes a sample of its own.
    CloseSample();
    CloseProgram();
    if (dataSample && dataSample->number == number) {
        const DecodedFields& fields = header.sample.fields;
        dataSample->fields.insert(dataSample->fields.end(), fields.begin(), fields.end());
        dataSample->rate = header.sample.rate;
    } else {
        CloseDataSample();
        dataSample = std::move(header.sample);
    }
    CloseDataSample();
    result.sample = number;
    return result;
}

SysExDecoder::Result SysExDecoder::Take(decoded::WholeProgram program, Result result) {
    result.program = program.program.number;
    CloseSample();
    CloseDataSample();
    CloseProgram();
    closedPrograms.push_back(std::move(program.program));
    return result;
}

SysExDecoder::Result SysExDecoder::Take(decoded::ProgramHeader header, Result result) {
    result.program = header.program.number;
    CloseSample();
    CloseDataSample();
    CloseProgram();
    keygroupsAnnounced = header.keygroups;
    openProgram = std::move(header.program);
    return result;
}

SysExDecoder::Result SysExDecoder::Take(decoded::Keygroup keygroup, Result result) {
    const int number = keygroup.program;
    if (!openProgram || openProgram->number != number) {
        return Refused(result.kind,
                       "keygroup of program " + std::to_string(number) + " before its header");
    }
    if (openProgram->keygroups.size() >= maxKeygroups) {
        return Refused(result.kind, "program " + std::to_string(number) + " already has " +
                                        std::to_string(maxKeygroups) + " keygroups");
    }
    openProgram->keygroups.push_back(std::move(keygroup.fields));
    result.program = number;
    if (keygroupsAnnounced > 0 && openProgram->keygroups.size() >= keygroupsAnnounced) {
        CloseProgram();
    }
    return result;
}

std::optional<std::string> SampleProblem(const DecodedSample& sample) {
    if (!sample.hasData) {
        return "a sample header without data";
    }
    if (!sample.Playable()) {
        return "a rate of 0 Hz in its header, which no WAV file can hold";
    }
    if (sample.Complete()) {
        return std::nullopt;
    }
    const std::string words = std::to_string(sample.frames.size()) + " of its " +
                              std::to_string(sample.lengthWords) + " words";
    if (sample.missingPacket) {
        return "damaged at packet " + std::to_string(*sample.missingPacket) + ": " + words;
    }
    return "incomplete: " + words;
}

} // namespace velomire::transfer
