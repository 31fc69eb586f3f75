#include "transfer/families/SdsWire.h"

#include <algorithm>
#include <cmath>

namespace velomire::transfer::families::sds {

std::optional<SamplerReply::Kind> HandshakeKind(std::uint8_t code) {
    switch (code) {
    case ackByte:
        return SamplerReply::Kind::ack;
    case nakByte:
        return SamplerReply::Kind::nak;
    case cancelByte:
        return SamplerReply::Kind::cancel;
    case waitByte:
        return SamplerReply::Kind::wait;
    default:
        return std::nullopt;
    }
}

std::uint8_t HandshakeByte(SamplerReply::Kind kind) {
    switch (kind) {
    case SamplerReply::Kind::nak:
        return nakByte;
    case SamplerReply::Kind::cancel:
        return cancelByte;
    case SamplerReply::Kind::wait:
        return waitByte;
    default:
        return ackByte;
    }
}

std::optional<SamplerReply> ParseHandshake(std::span<const std::uint8_t> m) {
    if (m.size() != 6 || m[1] != universalNonRealTime) {
        return std::nullopt;
    }
    const auto kind = HandshakeKind(m[3]);
    if (!kind) {
        return std::nullopt;
    }
    SamplerReply reply;
    reply.kind = *kind;
    reply.channel = m[2];
    reply.packet = m[4];
    return reply;
}

namespace {

constexpr std::uint8_t sysExStart = 0xF0;
constexpr std::uint8_t sysExEnd = 0xF7;
constexpr std::uint8_t nonRealTime = 0x7E;
constexpr std::uint8_t extensions = 0x05;

std::uint8_t Data(int value) {
    return static_cast<std::uint8_t>(value & 0x7F);
}

void SevenBit(std::vector<std::uint8_t>& out, std::uint32_t value, int count) {
    for (int i = 0; i < count; ++i) {
        out.push_back(static_cast<std::uint8_t>((value >> (7 * i)) & 0x7F));
    }
}

std::uint32_t ReadSevenBit(std::span<const std::uint8_t> m, std::size_t at, int count) {
    std::uint32_t value = 0;
    for (int i = count - 1; i >= 0; --i) {
        value = value << 7 | m[at + static_cast<std::size_t>(i)];
    }
    return value;
}

bool Whole(std::span<const std::uint8_t> m) {
    return m.size() >= 4 && m.front() == sysExStart && m.back() == sysExEnd &&
           std::all_of(m.begin() + 1, m.end() - 1, [](std::uint8_t b) { return b < 0x80; });
}

std::uint32_t FieldOr(const DecodedSample& sample, std::string_view name, std::uint32_t fallback) {
    const auto value = FieldNumber(sample.fields, name);
    return value && *value >= 0 && *value <= 0x1FFFFF ? static_cast<std::uint32_t>(*value)
                                                      : fallback;
}

} // namespace

std::vector<std::uint8_t> DumpRequest(int channel, int number) {
    std::vector<std::uint8_t> m = {sysExStart, nonRealTime, Data(channel), 0x03};
    SevenBit(m, static_cast<std::uint32_t>(number), 2);
    m.push_back(sysExEnd);
    return m;
}

std::vector<std::uint8_t> NameRequest(int channel, int number) {
    std::vector<std::uint8_t> m = {sysExStart, nonRealTime, Data(channel), extensions, 0x04};
    SevenBit(m, static_cast<std::uint32_t>(number), 2);
    m.push_back(sysExEnd);
    return m;
}

std::vector<std::uint8_t> LoopPointRequest(int channel, int number) {
    std::vector<std::uint8_t> m = {sysExStart, nonRealTime, Data(channel), extensions, 0x02};
    SevenBit(m, static_cast<std::uint32_t>(number), 2);
    m.insert(m.end(), {0x7F, 0x7F, sysExEnd});
    return m;
}

std::vector<std::uint8_t> DumpHeader(int channel, const DecodedSample& sample) {
    const auto words = static_cast<std::uint32_t>(
        std::min<std::size_t>(sample.frames.size(), std::size_t{0x1FFFFF}));
    const std::uint32_t rated =
        sample.rate == 0
            ? 0
            : static_cast<std::uint32_t>(std::lround(1e9 / static_cast<double>(sample.rate)));
    const std::uint32_t period = FieldOr(sample, "samplePeriodNs", rated);
    const std::uint32_t loopStart = FieldOr(sample, "loopStart", 0);
    const std::uint32_t loopEnd = FieldOr(sample, "loopEnd", 0);
    const auto loopType = static_cast<int>(FieldOr(sample, "loopType", loopOff));
    std::vector<std::uint8_t> m = {sysExStart, nonRealTime, Data(channel), 0x01};
    SevenBit(m, static_cast<std::uint32_t>(sample.number), 2);
    m.push_back(16);
    SevenBit(m, period, 3);
    SevenBit(m, words, 3);
    SevenBit(m, loopStart, 3);
    SevenBit(m, loopEnd, 3);
    m.push_back(Data(loopType));
    m.push_back(sysExEnd);
    return m;
}

std::uint32_t PacketCount(std::uint32_t words) {
    return words == 0 ? 1 : (words - 1) / wordsPerPacket + 1;
}

std::vector<std::uint8_t> DataPacket(int channel, const DecodedSample& sample,
                                     std::uint32_t index) {
    std::vector<std::uint8_t> m = {sysExStart, nonRealTime, Data(channel), 0x02,
                                   Data(static_cast<int>(index))};
    m.reserve(packetBytes);
    const std::size_t first = std::size_t{index} * wordsPerPacket;
    for (std::size_t w = first; w < first + wordsPerPacket; ++w) {
        const std::int16_t frame = w < sample.frames.size() ? sample.frames[w] : std::int16_t{0};
        // Offset binary, left-justified in 3 bytes of 7 bits.
        const auto word = static_cast<std::uint16_t>(frame + 0x8000);
        m.push_back(static_cast<std::uint8_t>(word >> 9));
        m.push_back(static_cast<std::uint8_t>((word >> 2) & 0x7Fu));
        m.push_back(static_cast<std::uint8_t>((word & 0x03u) << 5));
    }
    std::uint8_t sum = 0;
    for (std::size_t i = 1; i < m.size(); ++i) {
        sum ^= m[i];
    }
    m.push_back(sum & 0x7F);
    m.push_back(sysExEnd);
    return m;
}

std::vector<std::uint8_t> NameTransmission(int channel, int number, std::string_view name) {
    std::vector<std::uint8_t> m = {sysExStart, nonRealTime, Data(channel), extensions, 0x03};
    SevenBit(m, static_cast<std::uint32_t>(number), 2);
    const std::size_t length = std::min<std::size_t>(name.size(), 127);
    m.push_back(0); // no language tag
    m.push_back(static_cast<std::uint8_t>(length));
    for (std::size_t i = 0; i < length; ++i) {
        m.push_back(Data(static_cast<unsigned char>(name[i])));
    }
    m.push_back(sysExEnd);
    return m;
}

std::vector<std::uint8_t> LoopPointTransmission(int channel, int number, int loop, int type,
                                                std::uint32_t start, std::uint32_t end) {
    std::vector<std::uint8_t> m = {sysExStart, nonRealTime, Data(channel), extensions, 0x01};
    SevenBit(m, static_cast<std::uint32_t>(number), 2);
    SevenBit(m, static_cast<std::uint32_t>(loop), 2);
    m.push_back(Data(type));
    SevenBit(m, start, 3);
    SevenBit(m, end, 3);
    m.push_back(sysExEnd);
    return m;
}

std::optional<Request> ParseRequest(std::span<const std::uint8_t> m) {
    if (!Whole(m) || m[1] != nonRealTime) {
        return std::nullopt;
    }
    Request request;
    request.channel = m[2];
    if (m.size() == 7 && m[3] == 0x03) {
        request.kind = Request::Kind::dump;
        request.number = static_cast<int>(ReadSevenBit(m, 4, 2));
        return request;
    }
    if (m.size() == 8 && m[3] == extensions && m[4] == 0x04) {
        request.kind = Request::Kind::name;
        request.number = static_cast<int>(ReadSevenBit(m, 5, 2));
        return request;
    }
    if (m.size() == 10 && m[3] == extensions && m[4] == 0x02) {
        request.kind = Request::Kind::loops;
        request.number = static_cast<int>(ReadSevenBit(m, 5, 2));
        return request;
    }
    return std::nullopt;
}

std::optional<NameReply> ParseNameTransmission(std::span<const std::uint8_t> m) {
    // F0 7E cc 05 03 ss ss tt <tag> ll <name> F7
    if (!Whole(m) || m.size() < 10 || m[1] != nonRealTime || m[3] != extensions || m[4] != 0x03) {
        return std::nullopt;
    }
    const std::size_t tag = m[7];
    const std::size_t lengthAt = 8 + tag;
    if (lengthAt >= m.size() - 1 || lengthAt + 1 + m[lengthAt] != m.size() - 1) {
        return std::nullopt;
    }
    NameReply reply;
    reply.channel = m[2];
    reply.number = static_cast<int>(ReadSevenBit(m, 5, 2));
    reply.name.assign(m.begin() + static_cast<std::ptrdiff_t>(lengthAt + 1), m.end() - 1);
    return reply;
}

std::optional<LoopReply> ParseLoopPointTransmission(std::span<const std::uint8_t> m) {
    if (!Whole(m) || m.size() != 17 || m[1] != nonRealTime || m[3] != extensions || m[4] != 0x01) {
        return std::nullopt;
    }
    LoopReply reply;
    reply.channel = m[2];
    reply.number = static_cast<int>(ReadSevenBit(m, 5, 2));
    reply.loop = static_cast<int>(ReadSevenBit(m, 7, 2));
    reply.type = m[9];
    reply.start = ReadSevenBit(m, 10, 3);
    reply.end = ReadSevenBit(m, 13, 3);
    return reply;
}

bool IsDataPacket(std::span<const std::uint8_t> m) {
    return m.size() == packetBytes && m.front() == sysExStart && m[1] == nonRealTime &&
           m[3] == 0x02 && m.back() == sysExEnd;
}

bool PacketIntact(std::span<const std::uint8_t> m) {
    if (!IsDataPacket(m) || !Whole(m)) {
        return false;
    }
    std::uint8_t sum = 0;
    for (std::size_t i = 1; i < packetBytes - 2; ++i) {
        sum ^= m[i];
    }
    return (sum & 0x7F) == m[packetBytes - 2];
}

bool IsDumpHeader(std::span<const std::uint8_t> m) {
    return m.size() == headerBytes && Whole(m) && m[1] == nonRealTime && m[3] == 0x01;
}

} // namespace velomire::transfer::families::sds

namespace velomire::transfer {

std::vector<std::uint8_t> SdsHandshake(SamplerReply::Kind kind, int channel, int packet) {
    return {0xF0,
            families::sds::universalNonRealTime,
            static_cast<std::uint8_t>(channel & 0x7F),
            families::sds::HandshakeByte(kind),
            static_cast<std::uint8_t>(packet & 0x7F),
            0xF7};
}

} // namespace velomire::transfer
