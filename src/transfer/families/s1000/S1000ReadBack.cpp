#include "transfer/families/s1000/S1000ReadBack.h"

#include "transfer/DumpText.h"
#include "transfer/SysExBuffer.h"
#include "transfer/families/s1000/S1000Wire.h"

#include <algorithm>
#include <array>
#include <utility>

namespace velomire::transfer {

namespace {

using Bytes = std::span<const std::uint8_t>;

using s1000::akaiId;
using s1000::modelByte;
constexpr std::size_t nameBytes = s1000::nameChars; // one character code each
constexpr std::size_t shortBlock = s1000::shortBlockBytes;
constexpr std::size_t longBlock = s1000::longBlockBytes;

// Sample header block offsets.
constexpr std::size_t loopsAt = 38;
constexpr std::size_t loopBytes = 12;
constexpr std::size_t loopsStored = 4; // loops 4 to 7 are never kept
constexpr std::size_t noPairAt = 136;
constexpr std::size_t rateAt = 138;
static_assert(loopsAt + 8 * loopBytes + 2 == noPairAt);

// Program header block: the keygroup count, word 27 of the parameters.
constexpr std::size_t keygroupCountAt = 42;

// Keygroup block offsets: four velocity zones of 24 bytes from byte 34, the outputs at 136.
constexpr std::size_t zonesAt = 34;
constexpr std::size_t zoneBytes = 24;
constexpr std::size_t outputAt = 136;
static_assert(zonesAt + 4 * zoneBytes + 6 == outputAt);
static_assert(s1000::muteGroupByte < longBlock);

std::vector<std::uint8_t> Start(S1000Function function, int channel) {
    return {0xF0, akaiId, static_cast<std::uint8_t>(channel & 0x7F),
            static_cast<std::uint8_t>(function), modelByte};
}

void SevenBit(std::vector<std::uint8_t>& out, std::uint32_t value, int count) {
    for (int i = 0; i < count; ++i) {
        out.push_back(static_cast<std::uint8_t>(value >> (7 * i) & 0x7F));
    }
}

std::uint32_t ReadSevenBit(Bytes bytes, std::size_t at, int count) {
    std::uint32_t value = 0;
    for (int i = count - 1; i >= 0; --i) {
        value = value << 7 | bytes[at + static_cast<std::size_t>(i)];
    }
    return value;
}

// A header block written field by field, little-endian, then put on the wire as nibbles.
class BlockWriter {
public:
    explicit BlockWriter(std::size_t size) : bytes(size, 0) {}

    void U8(std::size_t at, std::int64_t value) {
        bytes.at(at) = static_cast<std::uint8_t>(value & 0xFF);
    }
    void U16(std::size_t at, std::int64_t value) {
        U8(at, value);
        U8(at + 1, value >> 8);
    }
    void U32(std::size_t at, std::int64_t value) {
        U16(at, value);
        U16(at + 2, value >> 16);
    }
    void Name(std::size_t at, const std::string& name) {
        for (std::size_t i = 0; i < nameBytes; ++i) {
            U8(at + i, AkaiCharCode(i < name.size() ? name[i] : ' '));
        }
    }
    void Run(std::size_t at, const std::vector<std::int64_t>& values, std::size_t from,
             std::size_t count) {
        for (std::size_t i = 0; i < count && from + i < values.size(); ++i) {
            U8(at + i, values[from + i]);
        }
    }
    std::size_t Size() const { return bytes.size(); }

    void AppendTo(std::vector<std::uint8_t>& out) const {
        for (std::uint8_t b : bytes) {
            out.push_back(b & 0x0F);
            out.push_back(b >> 4);
        }
        out.push_back(0xF7);
    }

private:
    std::vector<std::uint8_t> bytes;
};

std::int64_t Number(const DecodedFields& fields, std::string_view name,
                    std::int64_t otherwise = 0) {
    return FieldNumber(fields, name).value_or(otherwise);
}

std::vector<std::int64_t> List(const DecodedFields& fields, std::string_view name) {
    for (const DecodedField& field : fields) {
        if (field.name == name && std::holds_alternative<std::vector<std::int64_t>>(field.value)) {
            return std::get<std::vector<std::int64_t>>(field.value);
        }
    }
    return {};
}

std::size_t BlockSize(std::size_t blockBytes) {
    return blockBytes == shortBlock ? shortBlock : longBlock;
}

} // namespace

std::optional<S1000Message> ParseS1000Message(Bytes m) {
    if (m.size() < 6 || m.front() != 0xF0 || m.back() != 0xF7 || m[1] != akaiId ||
        m[4] != modelByte) {
        return std::nullopt;
    }
    const Bytes inner = m.subspan(1, m.size() - 2);
    if (std::any_of(inner.begin(), inner.end(), [](std::uint8_t b) { return b >= 0x80; })) {
        return std::nullopt;
    }
    return S1000Message{m[2], static_cast<S1000Function>(m[3]), m.subspan(5, m.size() - 6)};
}

std::optional<int> S1000Number(Bytes body) {
    if (body.size() < 2) {
        return std::nullopt;
    }
    return static_cast<int>(ReadSevenBit(body, 0, 2));
}

std::vector<std::uint8_t> S1000Request(S1000Function function, int channel) {
    std::vector<std::uint8_t> out = Start(function, channel);
    out.push_back(0xF7);
    return out;
}

std::vector<std::uint8_t> S1000Request(S1000Function function, int channel, int number) {
    std::vector<std::uint8_t> out = Start(function, channel);
    SevenBit(out, static_cast<std::uint32_t>(number), 2);
    out.push_back(0xF7);
    return out;
}

std::vector<std::uint8_t> S1000KeygroupRequest(int channel, int program, int keygroup) {
    std::vector<std::uint8_t> out = Start(S1000Function::rkdata, channel);
    SevenBit(out, static_cast<std::uint32_t>(program), 2);
    out.push_back(static_cast<std::uint8_t>(keygroup & 0x7F));
    out.push_back(0xF7);
    return out;
}

std::vector<std::uint8_t> S1000PacketRequest(int channel, int sample, std::uint32_t offset,
                                             std::uint32_t words) {
    std::vector<std::uint8_t> out = Start(S1000Function::rspack, channel);
    SevenBit(out, static_cast<std::uint32_t>(sample), 2);
    SevenBit(out, offset, 4);
    SevenBit(out, words, 4);
    out.push_back(1); // interval: every word
    out.push_back(0); // resolution: all 16 bits
    out.push_back(0xF7);
    return out;
}

std::optional<S1000PacketRange> ParseS1000PacketRequest(Bytes body) {
    if (body.size() < 10) {
        return std::nullopt;
    }
    return S1000PacketRange{static_cast<int>(ReadSevenBit(body, 0, 2)), ReadSevenBit(body, 2, 4),
                            ReadSevenBit(body, 6, 4)};
}

std::vector<std::uint8_t> S1000Reply(int channel, int status) {
    std::vector<std::uint8_t> out = Start(S1000Function::reply, channel);
    out.push_back(static_cast<std::uint8_t>(status & 0x7F));
    out.push_back(0xF7);
    return out;
}

std::vector<std::uint8_t> S1000StatusMessage(int channel, const S1000Status& status) {
    std::vector<std::uint8_t> out = Start(S1000Function::stat, channel);
    out.push_back(static_cast<std::uint8_t>(status.versionMinor & 0x7F));
    out.push_back(static_cast<std::uint8_t>(status.versionMajor & 0x7F));
    SevenBit(out, static_cast<std::uint32_t>(status.maxBlocks), 2);
    SevenBit(out, static_cast<std::uint32_t>(status.freeBlocks), 2);
    SevenBit(out, status.maxWords, 4);
    SevenBit(out, status.freeWords, 4);
    out.push_back(static_cast<std::uint8_t>(status.exclusiveChannel & 0x7F));
    out.push_back(0xF7);
    return out;
}

std::optional<S1000Status> ParseS1000Status(Bytes body) {
    constexpr std::size_t size = 2 + 2 + 2 + 4 + 4 + 1;
    if (body.size() < size) {
        return std::nullopt;
    }
    S1000Status status;
    status.versionMinor = body[0];
    status.versionMajor = body[1];
    status.maxBlocks = static_cast<int>(ReadSevenBit(body, 2, 2));
    status.freeBlocks = static_cast<int>(ReadSevenBit(body, 4, 2));
    status.maxWords = ReadSevenBit(body, 6, 4);
    status.freeWords = ReadSevenBit(body, 10, 4);
    status.exclusiveChannel = body[14];
    return status;
}

std::vector<std::uint8_t> S1000NameList(S1000Function function, int channel,
                                        const std::vector<std::string>& names) {
    std::vector<std::uint8_t> out = Start(function, channel);
    SevenBit(out, static_cast<std::uint32_t>(names.size()), 2);
    for (const std::string& name : names) {
        for (std::size_t i = 0; i < nameBytes; ++i) {
            out.push_back(AkaiCharCode(i < name.size() ? name[i] : ' '));
        }
    }
    out.push_back(0xF7);
    return out;
}

std::optional<std::vector<std::string>> ParseS1000NameList(Bytes body) {
    const auto count = S1000Number(body);
    if (!count || body.size() != 2 + static_cast<std::size_t>(*count) * nameBytes) {
        return std::nullopt;
    }
    std::vector<std::string> names;
    for (std::size_t at = 2; at < body.size(); at += nameBytes) {
        std::string name;
        for (std::size_t i = 0; i < nameBytes; ++i) {
            name += AkaiChar(body[at + i]);
        }
        name.erase(name.find_last_not_of(' ') + 1); // the sampler pads names with blanks
        names.push_back(std::move(name));
    }
    return names;
}

std::optional<int> S1000KeygroupCount(Bytes body) {
    // Two number bytes, then the block in nibbles; the count is block byte 42.
    constexpr std::size_t at = 2 + 2 * keygroupCountAt;
    if (body.size() < 2 + 2 * shortBlock || body[at] > 0x0F || body[at + 1] > 0x0F) {
        return std::nullopt;
    }
    return body[at] | body[at + 1] << 4;
}

std::vector<std::uint8_t> S1000SampleHeaderMessage(int channel, int number,
                                                   const DecodedSample& sample,
                                                   std::size_t blockBytes) {
    const DecodedFields& f = sample.fields;
    BlockWriter block(BlockSize(blockBytes));
    block.U8(0, 3); // block identifier
    block.U8(1, Number(f, "bandwidth"));
    block.U8(2, Number(f, "rootKey", 60));
    block.Name(3, FieldString(f, "sampleName").value_or(""));
    block.U8(15, Number(f, "headerValid"));
    block.U8(16, Number(f, "loopCount"));
    block.U8(19, Number(f, "loopMode"));
    block.U16(20, Number(f, "tuneOffset"));
    block.U32(22, Number(f, "waveAddress"));
    block.U32(26, sample.lengthWords);
    block.U32(30, Number(f, "startPoint"));
    block.U32(34, Number(f, "endPoint"));
    const std::vector<std::int64_t> at = List(f, "loopAt");
    const std::vector<std::int64_t> length = List(f, "loopLength");
    const std::vector<std::int64_t> dwell = List(f, "loopDwell");
    for (std::size_t loop = 0; loop < loopsStored; ++loop) {
        const std::size_t base = loopsAt + loop * loopBytes;
        block.U32(base, loop < at.size() ? at[loop] : 0);
        block.U32(base + 6, loop < length.size() ? length[loop] : 0);
        block.U16(base + 10, loop < dwell.size() ? dwell[loop] : 0);
    }
    if (block.Size() == shortBlock) {
        for (std::size_t loop = loopsStored; loop < 8; ++loop) {
            block.U32(loopsAt + loop * loopBytes, 64);
        }
    }
    block.U16(noPairAt, 0xFFFF);
    block.U16(rateAt, Number(f, "headerRate", sample.rate));
    block.U8(rateAt + 2, Number(f, "headerSpare"));

    std::vector<std::uint8_t> out = Start(S1000Function::sdata, channel);
    SevenBit(out, static_cast<std::uint32_t>(number), 2);
    block.AppendTo(out);
    return out;
}

std::vector<std::uint8_t> S1000ProgramHeaderMessage(int channel, int number,
                                                    const DecodedProgram& program,
                                                    std::size_t blockBytes) {
    const DecodedFields& f = program.fields;
    BlockWriter block(BlockSize(blockBytes));
    block.U8(0, 1); // block identifier
    block.Name(3, FieldString(f, "programName").value_or(""));
    // Words 0 to 42 of the program's parameters where the decoder found them; word 7 is not
    // sent, 43 to 55 are not used.
    std::vector<std::int64_t> params = List(f, "programParams");
    params.resize(43, 0);
    block.Run(15, params, 0, 7);
    block.Run(23, params, 8, 20);
    block.Run(56, params, 28, 9);
    block.U16(65, params[37]);
    block.Run(67, params, 38, 5);
    if (block.Size() == longBlock) {
        block.U8(s1000::bendDownByte, Number(f, "bendDownRange", s1000::laterBendDown));
    }
    std::vector<std::uint8_t> out = Start(S1000Function::pdata, channel);
    SevenBit(out, static_cast<std::uint32_t>(number), 2);
    block.AppendTo(out);
    return out;
}

std::vector<std::uint8_t> S1000KeygroupMessage(int channel, int program, int keygroup,
                                               const DecodedFields& f, std::size_t blockBytes) {
    BlockWriter block(BlockSize(blockBytes));
    block.U8(0, 2); // block identifier
    block.U8(3, Number(f, "lowKey"));
    block.U8(4, Number(f, "highKey", 127));
    block.U16(5, Number(f, "keygroupTune"));
    block.Run(7, List(f, "keygroupWords"), 0, 24);
    for (std::size_t zone = 0; zone < 4; ++zone) {
        const std::size_t at = zonesAt + zone * zoneBytes;
        const std::string z = "zone" + std::to_string(zone + 1);
        block.Name(at, FieldString(f, z + "SampleName").value_or(""));
        block.U8(at + 12, Number(f, z + "VelocityLow"));
        block.U8(at + 13, Number(f, z + "VelocityHigh", 127));
        block.U16(at + 14, Number(f, z + "VelocityTune"));
        block.Run(at + 16, List(f, z + "VelocityWords"), 0, 4);
    }
    block.U8(outputAt, Number(f, "output"));
    block.U8(outputAt + 1, Number(f, "secondOutput"));
    if (block.Size() == longBlock) {
        block.U8(s1000::lfo1PitchByte, Number(f, "lfo1ToPitch", s1000::laterLfo1Pitch));
        block.U8(s1000::muteGroupByte, Number(f, "muteGroup", s1000::noMuteGroup));
    }
    std::vector<std::uint8_t> out = Start(S1000Function::kdata, channel);
    SevenBit(out, static_cast<std::uint32_t>(program), 2);
    out.push_back(static_cast<std::uint8_t>(keygroup & 0x7F));
    block.AppendTo(out);
    return out;
}

} // namespace velomire::transfer
