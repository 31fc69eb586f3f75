#include "transfer/families/s900/S900ReadBack.h"

#include "transfer/SysExBuffer.h"
#include "transfer/families/WireBlock.h"
#include "transfer/families/s900/S900Wire.h"

#include <algorithm>
#include <array>

namespace velomire::transfer {

namespace {

using Bytes = std::span<const std::uint8_t>;

constexpr std::uint8_t sysExStart = 0xF0;
constexpr std::uint8_t sysExEnd = 0xF7;
constexpr std::uint8_t universalNonRealTime = 0x7E;
constexpr std::uint8_t akaiId = 0x47;
constexpr std::uint8_t s900Id = 0x40;
// Akai operations.
constexpr std::uint8_t programRequest = 0x02;          // RPRGM
constexpr std::uint8_t catalogueRequest = 0x03;        // RCAT
constexpr std::uint8_t sampleParametersRequest = 0x04; // RSPRM
constexpr std::uint8_t programReply = 0x09;            // PRGM
constexpr std::uint8_t sampleParametersReply = 0x0A;   // SPRM
constexpr std::uint8_t catalogueReply = 0x0B;          // CAT
// Sample dump codes after F0 7E.
constexpr std::uint8_t sampleDump = 0x01;
constexpr std::uint8_t sampleDumpRequest = 0x00;
constexpr std::uint8_t sampleDumpRequestOther = 0x03;
// Written into every keygroup as the name of its creator, as the program sender does.
constexpr std::string_view keygroupMarker = "Velomire98";

std::uint8_t Data(int value) {
    return static_cast<std::uint8_t>(value & 0x7F);
}

using wire::SevenBit;
using wire::XorOf;

std::vector<std::uint8_t> Taken(SysExBuffer& buffer) {
    std::vector<std::uint8_t> bytes(buffer.Bytes().begin(), buffer.Bytes().end());
    buffer.Clear();
    return bytes;
}

std::int64_t Number(const DecodedFields& fields, std::string_view name, std::int64_t fallback) {
    return FieldNumber(fields, name).value_or(fallback);
}

// One header byte as its two wire bytes (low 7 bits, then the top bit).
void Byte(SysExBuffer& buffer, std::int64_t value) {
    buffer.AppendSplitBytes(static_cast<std::int32_t>(value), 2);
}

void Zeros(SysExBuffer& buffer, int headerBytes) {
    buffer.AppendSplitBytes(0, static_cast<std::int16_t>(2 * headerBytes));
}

// Four bytes of a list field, 0 where the list is short.
void ByteRun(SysExBuffer& buffer, const DecodedFields& fields, std::string_view name,
             const std::array<std::int64_t, 4>& fallback) {
    std::vector<std::int64_t> run(fallback.begin(), fallback.end());
    for (const DecodedField& field : fields) {
        if (field.name == name) {
            if (const auto* list = std::get_if<std::vector<std::int64_t>>(&field.value)) {
                run = *list;
            }
        }
    }
    run.resize(4, 0);
    for (std::int64_t value : run) {
        Byte(buffer, value);
    }
}

void Opening(SysExBuffer& buffer, int channel, std::uint8_t operation, int number) {
    buffer.AppendBytes(sysExStart, akaiId, Data(channel), operation);
    buffer.AppendBytes(s900Id, Data(number), 0x00);
}

} // namespace

std::vector<std::uint8_t> S900HandshakeMessage(S900HandshakeKind handshake) {
    return S900Handshake(handshake == S900HandshakeKind::ack   ? SamplerReply::Kind::ack
                         : handshake == S900HandshakeKind::nak ? SamplerReply::Kind::nak
                                                               : SamplerReply::Kind::cancel);
}

std::optional<S900HandshakeKind> ParseS900Handshake(Bytes m) {
    const auto reply = s900::ParseHandshake(m);
    if (!reply || m.front() != sysExStart || m.back() != sysExEnd) {
        return std::nullopt;
    }
    switch (reply->kind) {
    case SamplerReply::Kind::ack:
        return S900HandshakeKind::ack;
    case SamplerReply::Kind::nak:
        return S900HandshakeKind::nak;
    case SamplerReply::Kind::cancel:
        return S900HandshakeKind::abort;
    default:
        return std::nullopt;
    }
}

std::vector<std::uint8_t> S900RequestMessage(const S900Request& request) {
    if (request.kind == S900Request::Kind::sampleDump) {
        return {sysExStart,
                universalNonRealTime,
                request.otherDumpForm ? sampleDumpRequestOther : sampleDumpRequest,
                Data(request.number),
                Data(request.number >> 7),
                sysExEnd};
    }
    const std::uint8_t operation = request.kind == S900Request::Kind::catalogue ? catalogueRequest
                                   : request.kind == S900Request::Kind::program
                                       ? programRequest
                                       : sampleParametersRequest;
    const int number = request.kind == S900Request::Kind::catalogue ? 0 : request.number;
    return {sysExStart, akaiId,  Data(request.channel), operation, s900Id, Data(number),
            0x00,       sysExEnd};
}

std::optional<S900Request> ParseS900Request(Bytes m) {
    S900Request request;
    if (m.size() == 6 && m[0] == sysExStart && m[1] == universalNonRealTime &&
        (m[2] == sampleDumpRequest || m[2] == sampleDumpRequestOther) && m[5] == sysExEnd) {
        request.kind = S900Request::Kind::sampleDump;
        request.otherDumpForm = m[2] == sampleDumpRequestOther;
        request.number = static_cast<int>(SevenBit(m, 3, 2));
        return request;
    }
    if (m.size() != 8 || m[0] != sysExStart || m[1] != akaiId || m[4] != s900Id ||
        m[7] != sysExEnd) {
        return std::nullopt;
    }
    switch (m[3]) {
    case catalogueRequest:
        request.kind = S900Request::Kind::catalogue;
        break;
    case sampleParametersRequest:
        request.kind = S900Request::Kind::sampleParameters;
        break;
    case programRequest:
        request.kind = S900Request::Kind::program;
        break;
    default:
        return std::nullopt;
    }
    request.channel = m[2];
    request.number = m[5];
    return request;
}

std::vector<std::uint8_t> S900CatalogueMessage(int channel,
                                               const std::vector<SamplerEntry>& entries) {
    std::vector<std::uint8_t> m = {sysExStart, akaiId, Data(channel), catalogueReply,
                                   s900Id,     0x00,   0x00};
    for (const SamplerEntry& entry : entries) {
        m.push_back(entry.kind == SamplerEntry::Kind::program ? 'P' : 'S');
        m.push_back(Data(entry.number));
        for (std::size_t i = 0; i < 10; ++i) {
            const char c = i < entry.name.size() ? entry.name[i] : ' ';
            m.push_back(c >= 0x20 && c < 0x7F ? static_cast<std::uint8_t>(c) : '?');
        }
    }
    m.push_back(sysExEnd);
    return m;
}

std::optional<std::vector<SamplerEntry>> ParseS900Catalogue(Bytes m) {
    if (m.size() < 6 || m[0] != sysExStart || m[1] != akaiId || m[3] != catalogueReply ||
        m[4] != s900Id || m.back() != sysExEnd) {
        return std::nullopt;
    }
    // The entries follow 40 directly or after two 00 bytes: the two lengths never both fit.
    std::size_t at = 5;
    if ((m.size() - at - 1) % s900CatalogueEntryBytes != 0) {
        at = 7;
        if (m.size() < at + 1 || (m.size() - at - 1) % s900CatalogueEntryBytes != 0 || m[5] != 0 ||
            m[6] != 0) {
            return std::nullopt;
        }
    }
    std::vector<SamplerEntry> entries;
    for (; at + s900CatalogueEntryBytes < m.size(); at += s900CatalogueEntryBytes) {
        SamplerEntry entry;
        if (m[at] == 'P') {
            entry.kind = SamplerEntry::Kind::program;
        } else if (m[at] == 'S') {
            entry.kind = SamplerEntry::Kind::sample;
        } else {
            return std::nullopt;
        }
        entry.number = m[at + 1];
        for (std::size_t i = 0; i < 10; ++i) {
            const std::uint8_t c = m[at + 2 + i];
            entry.name += c >= 0x20 && c < 0x7F ? static_cast<char>(c) : '?';
        }
        entry.name.erase(entry.name.find_last_not_of(' ') + 1);
        entries.push_back(std::move(entry));
    }
    return entries;
}

std::vector<std::uint8_t> S900SampleParametersMessage(int channel, const DecodedSample& sample) {
    InstantWaitClock clock;
    SysExBuffer buffer(clock);
    const DecodedFields& f = sample.fields;
    const auto length = Number(f, "lengthWords", static_cast<std::int64_t>(sample.frames.size()));
    const std::string loopMode = FieldString(f, "loopMode").value_or("O");
    Opening(buffer, channel, sampleParametersReply, sample.number);
    buffer.MarkChecksumStart();
    buffer.AppendS900Name(
        FieldString(f, "sampleName").value_or("SAMPLE " + std::to_string(sample.number)), 0);
    Zeros(buffer, 6);
    buffer.AppendSplitBytes(static_cast<std::int32_t>(length), 8);
    buffer.AppendSplitBytes(static_cast<std::int32_t>(Number(f, "headerRate", sample.rate)), 4);
    buffer.AppendSplitBytes(static_cast<std::int32_t>(Number(f, "rootKey", 60) * 16), 4);
    Zeros(buffer, 2);
    Byte(buffer, loopMode == "L" ? 'L' : 'O');
    Zeros(buffer, 1);
    buffer.AppendSplitBytes(static_cast<std::int32_t>(Number(f, "endPoint", length - 1)), 8);
    buffer.AppendSplitBytes(static_cast<std::int32_t>(Number(f, "firstReplayPoint", 0)), 8);
    buffer.AppendSplitBytes(static_cast<std::int32_t>(Number(f, "loopLength", length)), 8);
    Zeros(buffer, 3);
    Byte(buffer, 'N');
    Zeros(buffer, 16);
    buffer.AppendChecksum();
    buffer.AppendBytes(sysExEnd);
    return Taken(buffer);
}

std::vector<std::uint8_t> S900ProgramMessage(int channel, const DecodedProgram& program) {
    InstantWaitClock clock;
    SysExBuffer buffer(clock);
    const DecodedFields& f = program.fields;
    Opening(buffer, channel, programReply, program.number);
    buffer.MarkChecksumStart();
    buffer.AppendS900Name(
        FieldString(f, "programName").value_or("PROGRAM " + std::to_string(program.number)), 0);
    Zeros(buffer, 12);
    Byte(buffer, 255);
    Byte(buffer, static_cast<std::int64_t>(program.keygroups.size()));
    Zeros(buffer, 2);
    Byte(buffer, Number(f, "midiProgramNumber", program.number));
    Byte(buffer, 255);
    Zeros(buffer, 10);
    for (const DecodedFields& k : program.keygroups) {
        Byte(buffer, Number(k, "highKey", 127));
        Byte(buffer, Number(k, "lowKey", 0));
        Byte(buffer, 128);
        ByteRun(buffer, k, "keygroupWords5to8", {0, 99, 99, 43});
        Byte(buffer, 10);
        Byte(buffer, 50);
        Zeros(buffer, 2);
        Byte(buffer, 30);
        Zeros(buffer, 2);
        Byte(buffer, 99);
        Byte(buffer, Number(k, "programParams20", 0));
        Byte(buffer, Number(k, "programParams18", 50));
        Byte(buffer, Number(k, "programParams19", 0));
        Byte(buffer, 4);
        Byte(buffer, Number(k, "output", 0));
        Zeros(buffer, 2);
        Byte(buffer, 50);
        Zeros(buffer, 1);
        buffer.AppendS900Name(FieldString(k, "sampleName").value_or(""), 0);
        ByteRun(buffer, k, "keygroupWords13to16", {0, 99, 99, 99});
        Byte(buffer, 64);
        Zeros(buffer, 5);
        Byte(buffer, 99);
        Zeros(buffer, 1);
        buffer.AppendS900Name(keygroupMarker, 0);
        Zeros(buffer, 10);
        Byte(buffer, 99);
        Zeros(buffer, 3);
    }
    buffer.AppendChecksum();
    buffer.AppendBytes(sysExEnd);
    return Taken(buffer);
}

std::vector<std::uint8_t> S900DumpHeaderBytes(const S900DumpHeader& header) {
    InstantWaitClock clock;
    SysExBuffer buffer(clock);
    buffer.AppendBytes(sysExStart, universalNonRealTime, sampleDump);
    buffer.AppendSevenBit(header.number, 2);
    buffer.AppendBytes(Data(header.bits));
    buffer.AppendSevenBit(static_cast<std::int32_t>(header.periodNs), 3);
    buffer.AppendSevenBit(static_cast<std::int32_t>(header.lengthWords), 3);
    buffer.AppendSevenBit(static_cast<std::int32_t>(header.loopStart), 3);
    buffer.AppendSevenBit(static_cast<std::int32_t>(header.loopEnd), 3);
    buffer.AppendBytes(Data(header.loopMode));
    return Taken(buffer);
}

std::optional<S900DumpHeader> ParseS900DumpHeader(Bytes m) {
    if (m.size() < s900DumpHeaderBytes || m[0] != sysExStart || m[1] != universalNonRealTime ||
        m[2] != sampleDump) {
        return std::nullopt;
    }
    S900DumpHeader header;
    header.number = static_cast<int>(SevenBit(m, 3, 2));
    header.bits = m[5];
    header.periodNs = SevenBit(m, 6, 3);
    header.lengthWords = SevenBit(m, 9, 3);
    header.loopStart = SevenBit(m, 12, 3);
    header.loopEnd = SevenBit(m, 15, 3);
    header.loopMode = m[18];
    // Two data bytes hold at most 14 bits; the documentation names 8 to 16.
    if (header.bits < 8 || header.bits > 14) {
        return std::nullopt;
    }
    return header;
}

std::uint32_t S900BlockCount(std::uint32_t lengthWords) {
    return lengthWords == 0 ? 1 : (lengthWords - 1) / s900WordsPerBlock + 1;
}

std::vector<std::uint8_t> S900BlockBytes(std::span<const std::int16_t> frames, std::uint32_t index,
                                         bool damaged) {
    InstantWaitClock clock;
    SysExBuffer buffer(clock);
    buffer.AppendBytes(Data(static_cast<int>(index)));
    buffer.MarkChecksumStart();
    const std::size_t first = std::size_t{index} * s900WordsPerBlock;
    for (std::size_t i = first; i < first + s900WordsPerBlock; ++i) {
        if (i < frames.size()) {
            buffer.AppendSample12(static_cast<std::uint16_t>(frames[i] + 0x8000));
        } else {
            buffer.AppendSample12(0); // filler after the length, as the sender sends it
        }
    }
    buffer.AppendChecksum();
    std::vector<std::uint8_t> bytes = Taken(buffer);
    if (damaged) {
        bytes.back() ^= 0x01;
    }
    return bytes;
}

std::string ReadS900Block(Bytes bytes, std::uint32_t index, int bits, std::uint32_t wanted,
                          std::vector<std::int16_t>& frames) {
    const std::string name = "block " + std::to_string(index);
    if (bytes.empty()) {
        return name + " is empty";
    }
    if (bytes[0] != Data(static_cast<int>(index))) {
        return name + " is numbered " + std::to_string(bytes[0]);
    }
    Bytes data = bytes.subspan(1);
    if (bytes.size() == s900BlockBytes) {
        data = data.first(std::size_t{2} * s900WordsPerBlock);
        if (XorOf(data) != bytes.back()) {
            return name + " has a bad checksum";
        }
    } else if (data.size() == std::size_t{2} * std::min(wanted, s900WordsPerBlock) + 1) {
        // A short last block that still ends in a checksum over the words it carries.
        if (XorOf(data.first(data.size() - 1)) != data.back()) {
            return name + " has a bad checksum";
        }
    }
    // 14 bits a word, the word's bits at the top.
    const std::uint32_t words = std::min<std::uint32_t>(
        {wanted, s900WordsPerBlock, static_cast<std::uint32_t>(data.size() / 2)});
    for (std::size_t w = 0; w < words; ++w) {
        const std::uint32_t word =
            static_cast<std::uint32_t>(data[2 * w] << 7 | data[2 * w + 1]) >> (14 - bits);
        const std::uint32_t word16 = word << (16 - bits);
        frames.push_back(static_cast<std::int16_t>(static_cast<std::int32_t>(word16) - 0x8000));
    }
    return {};
}

} // namespace velomire::transfer
