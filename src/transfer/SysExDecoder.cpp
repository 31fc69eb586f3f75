#include "transfer/SysExDecoder.h"

#include <algorithm>
#include <utility>

namespace velomire::transfer {

namespace {

using Bytes = std::span<const std::uint8_t>;

constexpr std::uint8_t sysExStart = 0xF0;
constexpr std::uint8_t sysExEnd = 0xF7;
constexpr std::uint8_t universalNonRealTime = 0x7E;
constexpr std::uint8_t akaiId = 0x47;
constexpr std::uint8_t s900ModelByte = 0x40;
constexpr std::uint8_t s1000ModelByte = 0x48;

constexpr std::size_t sdsHeaderBytes = 21;
constexpr std::size_t sdsPacketBytes = 127;
constexpr std::size_t sdsPacketDataBytes = 120;
constexpr std::size_t s900DataHeaderBytes = 19; // F0 up to the last header byte
constexpr std::size_t s900PieceBytes = 122;     // number, 120 data bytes, checksum
constexpr std::uint32_t s900WordsPerPiece = 60;
constexpr std::size_t s900SampleHeaderBytes = 129;
constexpr std::size_t s900ProgramHeaderBlock = 38;
constexpr std::size_t s900KeygroupBlock = 70;
constexpr std::size_t s1000ShortBlock = 150;
constexpr std::size_t s1000LongBlock = 192;

// count 7-bit groups from `at`, least significant first.
std::uint32_t SevenBit(Bytes m, std::size_t at, int count) {
    std::uint32_t value = 0;
    for (int i = count - 1; i >= 0; --i) {
        value = value << 7 | m[at + static_cast<std::size_t>(i)];
    }
    return value;
}

std::uint8_t XorOf(Bytes bytes) {
    std::uint8_t sum = 0;
    for (std::uint8_t b : bytes) {
        sum ^= b;
    }
    return sum;
}

bool AllData(Bytes bytes) {
    return std::all_of(bytes.begin(), bytes.end(), [](std::uint8_t b) { return b < 0x80; });
}

// The bytes of a parameter block, rebuilt from its wire form; little-endian fields inside.
class Block {
public:
    // Two wire bytes per block byte, low nibble first (S1000 family).
    static std::optional<Block> FromNibbles(Bytes wire) {
        Block block;
        for (std::size_t i = 0; i + 1 < wire.size(); i += 2) {
            if (wire[i] > 0x0F || wire[i + 1] > 0x0F) {
                return std::nullopt;
            }
            block.bytes.push_back(static_cast<std::uint8_t>(wire[i] | wire[i + 1] << 4));
        }
        return block;
    }
    // Two wire bytes per block byte: its low 7 bits, then its top bit (S900/S950).
    static std::optional<Block> FromSplitBytes(Bytes wire) {
        Block block;
        for (std::size_t i = 0; i + 1 < wire.size(); i += 2) {
            if (wire[i] > 0x7F || wire[i + 1] > 0x01) {
                return std::nullopt;
            }
            block.bytes.push_back(static_cast<std::uint8_t>(wire[i] | wire[i + 1] << 7));
        }
        return block;
    }

    std::int64_t U8(std::size_t at) const { return bytes[at]; }
    std::int64_t U16(std::size_t at) const { return bytes[at] | bytes[at + 1] << 8; }
    std::int64_t I16(std::size_t at) const { return static_cast<std::int16_t>(U16(at)); }
    std::int64_t U32(std::size_t at) const {
        return static_cast<std::int64_t>(static_cast<std::uint32_t>(U16(at)) |
                                         static_cast<std::uint32_t>(U16(at + 2)) << 16);
    }
    std::int64_t I32(std::size_t at) const { return static_cast<std::int32_t>(U32(at)); }
    std::string AkaiName(std::size_t at) const {
        std::string name;
        for (std::size_t i = 0; i < 12; ++i) {
            name += AkaiChar(bytes[at + i]);
        }
        return name;
    }
    std::string S900Name(std::size_t at) const {
        std::string name;
        for (std::size_t i = 0; i < 10; ++i) {
            const std::uint8_t c = bytes[at + i];
            name += c >= 0x20 && c < 0x7F ? static_cast<char>(c) : '?';
        }
        return name;
    }
    std::vector<std::int64_t> Run(std::size_t at, std::size_t count) const {
        return {bytes.begin() + static_cast<std::ptrdiff_t>(at),
                bytes.begin() + static_cast<std::ptrdiff_t>(at + count)};
    }

private:
    std::vector<std::uint8_t> bytes;
};

SysExDecoder::Result Refused(SysExDecoder::Kind kind, std::string why) {
    SysExDecoder::Result result;
    result.kind = kind;
    result.error = std::move(why);
    return result;
}

// The sample rate in Hz for a period in ns. Senders round the period up (1e9 / rate + 0.9 ns, as
// the WAV reader does), so several rates give one period; a common one among them is taken, else
// the nearest.
std::uint32_t RateOf(std::uint32_t periodNs) {
    if (periodNs == 0) {
        return 0;
    }
    constexpr std::uint32_t commonRates[] = {8000,  11025, 16000, 22050, 24000,
                                             32000, 44100, 48000, 88200, 96000};
    for (std::uint32_t rate : commonRates) {
        if (static_cast<std::uint32_t>(1000000000.0 / rate + 0.9) == periodNs) {
            return rate;
        }
    }
    return static_cast<std::uint32_t>((1000000000ull + periodNs / 2) / periodNs);
}

// An offset-binary word of `bits` bits as a signed 16-bit frame.
std::int16_t FrameOf(std::uint32_t word, int bits) {
    const std::uint32_t word16 = bits >= 16 ? word >> (bits - 16) : word << (16 - bits);
    return static_cast<std::int16_t>(static_cast<std::int32_t>(word16 & 0xFFFF) - 0x8000);
}

} // namespace

char AkaiChar(std::uint8_t code) {
    if (code <= 9) {
        return static_cast<char>('0' + code);
    }
    if (code == 10) {
        return ' ';
    }
    if (code <= 36) {
        return static_cast<char>('A' + (code - 11));
    }
    static constexpr char tail[] = "#+-.";
    return code <= 40 ? tail[code - 37] : '?';
}

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
        !AllData(m.subspan(1, m.size() - 2))) {
        return Refused(Kind::unknown, "not a whole System Exclusive message");
    }
    if (m[1] == universalNonRealTime) {
        // The S900 handshakes carry neither channel nor packet: F0 7E 7F F7.
        if (m.size() == 4 && m[2] >= 0x7C) {
            Result result;
            result.kind = Kind::handshake;
            return result;
        }
        if (m.size() == 6 && m[3] >= 0x7C) {
            Result result;
            result.kind = Kind::handshake;
            result.channel = m[2];
            result.packet = m[4];
            return result;
        }
        if (m.size() == sdsHeaderBytes && m[3] == 0x01) {
            return DumpHeader(m, offset);
        }
        if (m.size() == sdsPacketBytes && m[3] == 0x02) {
            return DataPacket(m);
        }
        // The S900 sample data has no channel byte: F0 7E 01, the sample number, 0C.
        if (m.size() >= s900DataHeaderBytes + 1 && m[2] == 0x01 && m[5] == 0x0C) {
            return S900Data(m, offset);
        }
        return Refused(Kind::unknown, "unknown sample dump message");
    }
    if (m[1] == akaiId && m.size() >= 7) {
        const std::uint8_t function = m[3];
        if (m[4] == s900ModelByte) {
            if (function == 0x0A) {
                return S900Header(m, offset);
            }
            if (function == 0x09) {
                return S900Program(m, offset);
            }
        }
        if (m[4] == s1000ModelByte) {
            if (function == 0x0B) {
                return S1000Header(m, offset);
            }
            if (function == 0x07) {
                return S1000Program(m, offset);
            }
            if (function == 0x09) {
                return S1000Keygroup(m);
            }
        }
        return Refused(Kind::unknown, "unknown Akai message");
    }
    return Refused(Kind::unknown, "not a sampler message");
}

SysExDecoder::Result SysExDecoder::DumpHeader(Bytes m, std::size_t offset) {
    const int bits = m[6];
    if (bits < 8 || bits > 28) {
        return Refused(Kind::sdsDumpHeader,
                       "Dump Header with " + std::to_string(bits) + " bits per word");
    }
    DecodedSample sample;
    sample.family = SamplerFamily::sds;
    sample.number = static_cast<int>(SevenBit(m, 4, 2));
    const std::uint32_t period = SevenBit(m, 7, 3);
    sample.lengthWords = SevenBit(m, 10, 3);
    sample.rate = RateOf(period);
    sample.offset = offset;
    sample.fields = {{"channel", std::int64_t{m[2]}},
                     {"bits", std::int64_t{bits}},
                     {"samplePeriodNs", std::int64_t{period}},
                     {"lengthWords", std::int64_t{sample.lengthWords}},
                     {"loopStart", std::int64_t{SevenBit(m, 13, 3)}},
                     {"loopEnd", std::int64_t{SevenBit(m, 16, 3)}},
                     {"loopType", std::int64_t{m[19]}}};
    Result result;
    result.kind = Kind::sdsDumpHeader;
    result.channel = m[2];
    result.sample = sample.number;
    OpenNewSample(std::move(sample), bits);
    return result;
}

void SysExDecoder::OpenNewSample(DecodedSample sample, int bits) {
    CloseSample();
    CloseS900Sample();
    CloseProgram();
    openSample = std::move(sample);
    wordBits = bits;
    wordBytes = (bits + 6) / 7;
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

void SysExDecoder::CloseS900Sample() {
    if (s900Sample) {
        closedSamples.push_back(std::move(*s900Sample));
        s900Sample.reset();
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
    CloseS900Sample();
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

SysExDecoder::Result SysExDecoder::DataPacket(Bytes m) {
    const int number = m[4];
    if (XorOf(m.subspan(1, 124)) != m[125]) {
        Result refused = Refused(Kind::sdsDataPacket,
                                 "Data Packet " + std::to_string(number) + " has a bad checksum");
        refused.channel = m[2];
        refused.packet = number;
        return refused;
    }
    Result result;
    result.kind = Kind::sdsDataPacket;
    result.channel = m[2];
    result.packet = number;
    if (!openSample) {
        if (!lastPacketBytes.empty() &&
            std::equal(m.begin(), m.end(), lastPacketBytes.begin(), lastPacketBytes.end())) {
            return result; // the last packet of a sample already whole, sent again
        }
        result.error = "Data Packet " + std::to_string(number) + " without a sample header";
        return result;
    }
    DecodedSample& sample = *openSample;
    const auto wordsPerPacket = static_cast<std::uint32_t>(sdsPacketDataBytes / wordBytes);
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
        const std::uint32_t word = [&] {
            std::uint32_t value = 0;
            for (int b = 0; b < wordBytes; ++b) {
                value = value << 7 | m[5 + w * static_cast<std::uint32_t>(wordBytes) +
                                       static_cast<std::uint32_t>(b)];
            }
            return value;
        }() >> (7 * wordBytes - wordBits);
        sample.frames.push_back(FrameOf(word, wordBits));
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

SysExDecoder::Result SysExDecoder::S900Data(Bytes m, std::size_t offset) {
    const std::uint32_t length = SevenBit(m, 9, 3);
    const std::uint32_t pieces = length == 0 ? 1 : (length - 1) / s900WordsPerPiece + 1;
    if (m.size() != s900DataHeaderBytes + std::size_t{pieces} * s900PieceBytes + 1) {
        return Refused(Kind::s900SampleData, "S900 sample data of " + std::to_string(length) +
                                                 " words is " + std::to_string(m.size()) +
                                                 " bytes long");
    }
    DecodedSample sample;
    sample.family = SamplerFamily::s900;
    sample.number = static_cast<int>(SevenBit(m, 3, 2));
    const std::uint32_t period = SevenBit(m, 6, 3);
    sample.lengthWords = length;
    sample.rate = RateOf(period);
    sample.offset = offset;
    sample.fields = {{"bits", std::int64_t{m[5]}},
                     {"samplePeriodNs", std::int64_t{period}},
                     {"lengthWords", std::int64_t{length}}};
    for (std::uint32_t k = 0; k < pieces; ++k) {
        const Bytes piece =
            m.subspan(s900DataHeaderBytes + std::size_t{k} * s900PieceBytes, s900PieceBytes);
        if (piece[0] != (k & 0x7F)) {
            return Refused(Kind::s900SampleData, "S900 data piece " + std::to_string(k) +
                                                     " is numbered " + std::to_string(piece[0]));
        }
        if (XorOf(piece.subspan(1, 120)) != piece[121]) {
            return Refused(Kind::s900SampleData,
                           "S900 data piece " + std::to_string(k) + " has a bad checksum");
        }
        for (std::uint32_t w = 0; w < s900WordsPerPiece; ++w) {
            if (k * s900WordsPerPiece + w < length) {
                const std::uint32_t word = piece[1 + 2 * w] << 5 | piece[2 + 2 * w] >> 2;
                sample.frames.push_back(FrameOf(word, 12));
            }
        }
    }
    sample.hasData = true;
    Result result;
    result.kind = Kind::s900SampleData;
    result.sample = sample.number;
    CloseSample();
    CloseS900Sample();
    CloseProgram();
    s900Sample = std::move(sample); // its header follows
    return result;
}

SysExDecoder::Result SysExDecoder::S900Header(Bytes m, std::size_t offset) {
    if (m.size() != s900SampleHeaderBytes) {
        return Refused(Kind::s900SampleHeader,
                       "S900 sample header of " + std::to_string(m.size()) + " bytes");
    }
    if (XorOf(m.subspan(7, 120)) != m[127]) {
        return Refused(Kind::s900SampleHeader, "S900 sample header with a bad checksum");
    }
    const auto block = Block::FromSplitBytes(m.subspan(7, 120));
    if (!block) {
        return Refused(Kind::s900SampleHeader, "S900 sample header with a bad byte");
    }
    const int number = m[5];
    DecodedFields fields = {
        {"channel", std::int64_t{m[2]}},
        {"sampleName", block->S900Name(0)},
        {"lengthWords", block->U32(16)},
        {"headerRate", block->U16(20)},
        {"rootKey", block->U16(22) / 16},
        {"loopMode", EscapedDumpText(std::string(1, static_cast<char>(block->U8(26))))},
        {"endPoint", block->U32(28)},
        {"loopStart", block->U32(32)},
        {"loopLength", block->U32(36)}};
    // The header follows the data of the same sample number; alone it makes a sample of its own.
    CloseSample();
    CloseProgram();
    if (!s900Sample || s900Sample->number != number) {
        CloseS900Sample();
        s900Sample.emplace();
        s900Sample->family = SamplerFamily::s900;
        s900Sample->number = number;
        s900Sample->offset = offset;
    }
    s900Sample->fields.insert(s900Sample->fields.end(), fields.begin(), fields.end());
    s900Sample->rate = static_cast<std::uint32_t>(block->U16(20));
    CloseS900Sample();
    Result result;
    result.kind = Kind::s900SampleHeader;
    result.channel = m[2];
    result.sample = number;
    return result;
}

SysExDecoder::Result SysExDecoder::S900Program(Bytes m, std::size_t offset) {
    // 7 bytes of prefix, the blocks, the checksum and F7.
    const std::size_t blockWire = m.size() - 9;
    if (m.size() < 9 + 2 * s900ProgramHeaderBlock ||
        (blockWire - 2 * s900ProgramHeaderBlock) % (2 * s900KeygroupBlock) != 0) {
        return Refused(Kind::s900Program,
                       "S900 program message of " + std::to_string(m.size()) + " bytes");
    }
    if (XorOf(m.subspan(7, blockWire)) != m[m.size() - 2]) {
        return Refused(Kind::s900Program, "S900 program message with a bad checksum");
    }
    const auto block = Block::FromSplitBytes(m.subspan(7, blockWire));
    if (!block) {
        return Refused(Kind::s900Program, "S900 program message with a bad byte");
    }
    DecodedProgram program;
    program.family = SamplerFamily::s900;
    program.number = m[5];
    program.offset = offset;
    program.fields = {{"channel", std::int64_t{m[2]}},
                      {"programName", block->S900Name(0)},
                      {"keygroupCount", block->U8(23)},
                      {"midiProgramNumber", block->U8(26)}};
    const std::size_t count = (blockWire / 2 - s900ProgramHeaderBlock) / s900KeygroupBlock;
    for (std::size_t k = 0; k < count; ++k) {
        const std::size_t at = s900ProgramHeaderBlock + k * s900KeygroupBlock;
        program.keygroups.push_back({{"highKey", block->U8(at)},
                                     {"lowKey", block->U8(at + 1)},
                                     {"keygroupWords5to8", block->Run(at + 3, 4)},
                                     {"programParams20", block->U8(at + 15)},
                                     {"programParams18", block->U8(at + 16)},
                                     {"programParams19", block->U8(at + 17)},
                                     {"output", block->U8(at + 19)},
                                     {"sampleName", block->S900Name(at + 24)},
                                     {"keygroupWords13to16", block->Run(at + 34, 4)}});
    }
    Result result;
    result.kind = Kind::s900Program;
    result.channel = m[2];
    result.program = program.number;
    CloseSample();
    CloseS900Sample();
    CloseProgram();
    closedPrograms.push_back(std::move(program));
    return result;
}

SysExDecoder::Result SysExDecoder::S1000Header(Bytes m, std::size_t offset) {
    if (m.size() != 8 + 2 * s1000ShortBlock && m.size() != 8 + 2 * s1000LongBlock) {
        return Refused(Kind::s1000SampleHeader,
                       "Akai sample header of " + std::to_string(m.size()) + " bytes");
    }
    const auto block = Block::FromNibbles(m.subspan(7, m.size() - 8));
    if (!block) {
        return Refused(Kind::s1000SampleHeader, "Akai sample header with a bad nibble");
    }
    DecodedSample sample;
    sample.family = SamplerFamily::s1000;
    sample.number = static_cast<int>(SevenBit(m, 5, 2));
    sample.lengthWords = static_cast<std::uint32_t>(block->U32(26));
    sample.rate = static_cast<std::uint32_t>(block->U16(138));
    sample.offset = offset;
    sample.fields = {{"exclusiveChannel", std::int64_t{m[2]}},
                     {"blockBytes", static_cast<std::int64_t>(m.size() - 8) / 2},
                     {"bandwidth", block->U8(1)},
                     {"rootKey", block->U8(2)},
                     {"sampleName", block->AkaiName(3)},
                     {"headerValid", block->U8(15)},
                     {"loopCount", block->U8(16)},
                     {"loopMode", block->U8(19)},
                     {"tuneOffset", block->I16(20)},
                     {"waveAddress", block->U32(22)},
                     {"lengthWords", block->U32(26)},
                     {"startPoint", block->U32(30)},
                     {"endPoint", block->U32(34)}};
    std::vector<std::int64_t> at;
    std::vector<std::int64_t> length;
    std::vector<std::int64_t> dwell;
    for (std::size_t loop = 0; loop < 4; ++loop) {
        at.push_back(block->U32(38 + 12 * loop));
        // The sampler counts a loop 64 words shorter than the program stores it.
        length.push_back(block->I32(44 + 12 * loop) + 64);
        dwell.push_back(block->U16(48 + 12 * loop));
    }
    sample.fields.push_back({"loopAt", at});
    sample.fields.push_back({"loopLength", length});
    sample.fields.push_back({"loopDwell", dwell});
    sample.fields.push_back({"headerRate", block->U16(138)});
    sample.fields.push_back({"headerSpare", block->U8(140)});
    Result result;
    result.kind = Kind::s1000SampleHeader;
    result.channel = m[2];
    result.sample = sample.number;
    OpenNewSample(std::move(sample), 16); // its data follows as SDS Data Packets
    return result;
}

SysExDecoder::Result SysExDecoder::S1000Program(Bytes m, std::size_t offset) {
    if (m.size() != 8 + 2 * s1000ShortBlock && m.size() != 8 + 2 * s1000LongBlock) {
        return Refused(Kind::s1000ProgramHeader,
                       "Akai program header of " + std::to_string(m.size()) + " bytes");
    }
    const auto block = Block::FromNibbles(m.subspan(7, m.size() - 8));
    if (!block) {
        return Refused(Kind::s1000ProgramHeader, "Akai program header with a bad nibble");
    }
    // programParams words 0 to 42 as the block holds them; word 7 is not sent (0 here).
    std::vector<std::int64_t> params = block->Run(15, 7);
    params.push_back(0);
    const std::vector<std::int64_t> words8to27 = block->Run(23, 20);
    params.insert(params.end(), words8to27.begin(), words8to27.end());
    const std::vector<std::int64_t> words28to36 = block->Run(56, 9);
    params.insert(params.end(), words28to36.begin(), words28to36.end());
    params.push_back(block->U16(65));
    const std::vector<std::int64_t> words38to42 = block->Run(67, 5);
    params.insert(params.end(), words38to42.begin(), words38to42.end());

    DecodedProgram program;
    program.family = SamplerFamily::s1000;
    program.number = static_cast<int>(SevenBit(m, 5, 2));
    program.offset = offset;
    program.fields = {{"exclusiveChannel", std::int64_t{m[2]}},
                      {"programName", block->AkaiName(3)},
                      {"programParams", params}};
    Result result;
    result.kind = Kind::s1000ProgramHeader;
    result.channel = m[2];
    result.program = program.number;
    CloseSample();
    CloseS900Sample();
    CloseProgram();
    // Word 27 counts the keygroups that follow.
    keygroupsAnnounced = static_cast<std::size_t>(params[27]);
    openProgram = std::move(program);
    return result;
}

SysExDecoder::Result SysExDecoder::S1000Keygroup(Bytes m) {
    if (m.size() != 9 + 2 * s1000ShortBlock && m.size() != 9 + 2 * s1000LongBlock) {
        return Refused(Kind::s1000Keygroup,
                       "Akai keygroup message of " + std::to_string(m.size()) + " bytes");
    }
    const auto block = Block::FromNibbles(m.subspan(8, m.size() - 9));
    if (!block) {
        return Refused(Kind::s1000Keygroup, "Akai keygroup message with a bad nibble");
    }
    const int number = static_cast<int>(SevenBit(m, 5, 2));
    if (!openProgram || openProgram->number != number) {
        return Refused(Kind::s1000Keygroup,
                       "keygroup of program " + std::to_string(number) + " before its header");
    }
    if (openProgram->keygroups.size() >= maxKeygroups) {
        return Refused(Kind::s1000Keygroup, "program " + std::to_string(number) + " already has " +
                                                std::to_string(maxKeygroups) + " keygroups");
    }
    DecodedFields keygroup = {{"keygroup", std::int64_t{m[7]}},
                              {"lowKey", block->U8(3)},
                              {"highKey", block->U8(4)},
                              {"keygroupTune", block->I16(5)},
                              {"keygroupWords", block->Run(7, 24)}};
    for (std::size_t zone = 0; zone < 4; ++zone) {
        const std::size_t at = 34 + 24 * zone;
        const std::string z = "zone" + std::to_string(zone + 1);
        keygroup.push_back({z + "SampleName", block->AkaiName(at)});
        keygroup.push_back({z + "VelocityLow", block->U8(at + 12)});
        keygroup.push_back({z + "VelocityHigh", block->U8(at + 13)});
        keygroup.push_back({z + "VelocityTune", block->I16(at + 14)});
        keygroup.push_back({z + "VelocityWords",
                            std::vector<std::int64_t>{block->U8(at + 16), block->U8(at + 17),
                                                      static_cast<std::int8_t>(block->U8(at + 18)),
                                                      block->U8(at + 19)}});
    }
    keygroup.push_back({"output", block->U8(136)});
    keygroup.push_back({"secondOutput", block->U8(137)});
    openProgram->keygroups.push_back(std::move(keygroup));
    Result result;
    result.kind = Kind::s1000Keygroup;
    result.channel = m[2];
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
        if (sample.hasData) {
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

std::string EscapedDumpText(std::string_view text) {
    static constexpr char hex[] = "0123456789ABCDEF";
    std::string out;
    for (const char c : text) {
        const auto b = static_cast<unsigned char>(c);
        if (b >= 0x20 && b < 0x7F && b != '\\') {
            out += c;
        } else {
            out += "\\x";
            out += hex[b >> 4];
            out += hex[b & 0xF];
        }
    }
    return out;
}

} // namespace velomire::transfer
