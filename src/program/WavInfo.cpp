#include "program/WavInfo.h"

#include "program/ByteReader.h"
#include "program/SafeFile.h"

#include <algorithm>
#include <array>
#include <filesystem>
#include <fstream>
#include <limits>
#include <string_view>

namespace velomire::program {

namespace {

constexpr std::string_view invalid = "Error: Invalid .Wav File !";

// Bytes fetched per refill of the frame buffer. Large enough that a file read is rare next to the
// per-frame work, small enough to stay in the cache.
constexpr std::size_t blockBytes = std::size_t{64} * 1024;

// "RIFF" size "WAVE": the form type sits at bytes 8 to 11, the first chunk at 12.
constexpr std::uint64_t firstChunk = 12;
constexpr std::uint64_t chunkHeaderBytes = 8;
// Format chunk fields used: tag, channels, rate, byte rate, block align, bits.
constexpr std::uint32_t fmtBytes = 16;
// Chunks looked at behind the format and data chunks for the sampler chunks.
constexpr int maxChunksAfter = 16;

bool TagIs(std::span<const std::uint8_t> bytes, std::string_view tag) {
    return bytes.size() >= 4 &&
           std::equal(tag.begin(), tag.end(), bytes.begin(),
                      [](char c, std::uint8_t b) { return static_cast<std::uint8_t>(c) == b; });
}

} // namespace

// One of two variants: a file opened for binary reading, or a byte image held in memory. Both
// answer ReadAt with as many bytes as exist at that offset, so the reader needs no other case.
class WavInfo::Source {
public:
    static std::unique_ptr<Source> FromFile(const std::string& path) {
        // Regular files only: a directory opens for reading on some systems and then claims an
        // absurd size, and a FIFO would wait for a writer forever.
        if (!IsRegularFile(path)) {
            return nullptr;
        }
        auto source = std::unique_ptr<Source>(new Source);
        source->isFile = true;
        source->file.open(path, std::ios::binary);
        if (!source->file.is_open()) {
            return nullptr;
        }
        source->file.seekg(0, std::ios::end);
        const std::streamoff end = source->file.tellg();
        if (!source->file || end < 0) {
            return nullptr;
        }
        source->size = static_cast<std::uint64_t>(end);
        return source;
    }

    static std::unique_ptr<Source> FromBytes(std::vector<std::uint8_t> bytes) {
        auto source = std::unique_ptr<Source>(new Source);
        source->bytes = std::move(bytes);
        source->size = source->bytes.size();
        return source;
    }

    std::uint64_t Size() const { return size; }

    // Fills the front of out with the bytes at offset; returns how many there were.
    std::size_t ReadAt(std::uint64_t offset, std::span<std::uint8_t> out) {
        if (offset >= size) {
            return 0;
        }
        const auto count =
            static_cast<std::size_t>(std::min<std::uint64_t>(out.size(), size - offset));
        if (!isFile) {
            const auto* first = bytes.data() + offset;
            std::copy(first, first + count, out.begin());
            return count;
        }
        file.clear();
        file.seekg(static_cast<std::streamoff>(offset));
        file.read(reinterpret_cast<char*>(out.data()), static_cast<std::streamsize>(count));
        return static_cast<std::size_t>(std::max<std::streamsize>(file.gcount(), 0));
    }

private:
    Source() = default;

    bool isFile = false;
    std::ifstream file;
    std::vector<std::uint8_t> bytes;
    std::uint64_t size = 0;
};

WavInfo::WavInfo(UserMessages& messages) : messages(messages) {}

WavInfo::~WavInfo() = default;

bool WavInfo::Open(const std::string& path) {
    Begin(path);
    source = Source::FromFile(path);
    if (!source) {
        messages.Show(cantOpenFile, path);
        return false;
    }
    return Accept(path);
}

bool WavInfo::Open(const std::filesystem::path& file, const std::string& name) {
    Begin(name);
    source = Source::FromFile(file.string());
    if (!source) {
        messages.Show(cantOpenFile, name);
        return false;
    }
    return Accept(name);
}

bool WavInfo::OpenBytes(const std::string& path, std::vector<std::uint8_t> bytes) {
    Begin(path);
    source = Source::FromBytes(std::move(bytes));
    return Accept(path);
}

void WavInfo::Close() {
    source.reset();
    buffer.clear();
    bufferStart = 0;
    dataPosition = 0;
}

bool WavInfo::IsOpen() const {
    return source != nullptr;
}

std::string WavInfo::Name() const {
    return name;
}

void WavInfo::Begin(const std::string& path) {
    Close();
    name = path.substr(0, 12);
    name = name.substr(0, name.find('.'));
    channels = 0;
    rate = 0;
    bits = 0;
    dataBytes = 0;
    dataOffset = 0;
    chunks = {};
}

bool WavInfo::Accept(const std::string& path) {
    if (!Check()) {
        Close();
        messages.Show(invalid, path);
        return false;
    }
    return true;
}

bool WavInfo::Check() {
    const std::uint64_t fileSize = source->Size();
    std::array<std::uint8_t, 12> riff{};
    if (source->ReadAt(0, riff) < riff.size() || !TagIs(std::span(riff).subspan(8), "WAVE")) {
        return false;
    }

    // Chunks may come in any order and other chunks (LIST, fact, bext, JUNK) may sit anywhere.
    // Once both the format and the data chunk are known, a few more chunks are looked at for the
    // sampler chunks ("smpl" usually follows the data); nothing found there can refuse the file.
    bool fmtFound = false;
    bool fmtComplete = false;
    bool dataFound = false;
    bool smplFound = false;
    bool instFound = false;
    int chunksAfter = 0;
    std::uint64_t position = firstChunk;
    while (position + chunkHeaderBytes <= fileSize) {
        if (fmtFound && dataFound && ((smplFound && instFound) || ++chunksAfter > maxChunksAfter)) {
            break;
        }
        std::array<std::uint8_t, chunkHeaderBytes> header{};
        if (source->ReadAt(position, header) < header.size()) {
            if (fmtFound && dataFound) {
                break;
            }
            return false;
        }
        ByteReader headerReader{std::span(header).subspan(4)};
        const std::uint32_t chunkBytes = headerReader.U32();
        const std::uint64_t body = position + chunkHeaderBytes;

        if (!fmtFound && TagIs(header, "fmt ")) {
            fmtFound = true;
            std::array<std::uint8_t, fmtBytes> fmt{};
            const std::size_t wanted = std::min(chunkBytes, fmtBytes);
            const std::size_t got = source->ReadAt(body, std::span(fmt).first(wanted));
            fmtComplete = chunkBytes >= fmtBytes && got == fmtBytes;
            // Keep each field that lies inside the chunk, so a refused file still shows them.
            ByteReader reader{std::span(fmt).first(got)};
            reader.Skip(2); // format tag: not checked, 16-bit integer samples are assumed
            const std::uint16_t fmtChannels = reader.U16();
            if (reader.Ok()) {
                channels = fmtChannels;
            }
            const std::uint32_t fmtRate = reader.U32();
            if (reader.Ok()) {
                rate = fmtRate;
            }
            reader.Skip(6); // byte rate and block align follow from the other fields
            const std::uint16_t fmtBits = reader.U16();
            if (reader.Ok()) {
                bits = fmtBits;
            }
        } else if (!dataFound && TagIs(header, "data")) {
            dataFound = true;
            dataOffset = body;
            // A size beyond the end of the file (an unfinished recording) ends at the end.
            dataBytes =
                static_cast<std::uint32_t>(std::min<std::uint64_t>(chunkBytes, fileSize - body));
        } else if (!smplFound && TagIs(header, "smpl")) {
            smplFound = true;
            ReadSamplerChunk(body, std::min(chunkBytes, smplKeptBytes), true);
        } else if (!instFound && TagIs(header, "inst")) {
            instFound = true;
            ReadSamplerChunk(body, std::min(chunkBytes, instBytes), false);
        }
        // Chunk bodies of odd size are followed by one pad byte.
        position = body + chunkBytes + (chunkBytes & 1u);
    }

    const bool ok =
        fmtComplete && dataFound && bits == 16 && (channels == 1 || channels == 2) && rate != 0;
    if (!ok) {
        chunks = {};
    }
    return ok;
}

void WavInfo::ReadSamplerChunk(std::uint64_t body, std::uint32_t keep, bool smpl) {
    std::vector<std::uint8_t> bytes(keep);
    bytes.resize(source->ReadAt(body, bytes));
    if (smpl) {
        ParseSmplChunk(bytes, chunks);
    } else {
        ParseInstChunk(bytes, chunks);
    }
}

std::uint32_t WavInfo::PeriodNs() const {
    if (rate == 0) {
        return 0;
    }
    return static_cast<std::uint32_t>(1000000000.0 / rate + 0.9);
}

std::uint32_t WavInfo::FrameCount() const {
    const std::uint64_t bitsPerFrame = std::uint64_t{channels} * bits;
    if (bitsPerFrame == 0) {
        return 0;
    }
    const std::uint64_t frames = std::uint64_t{dataBytes} * 8 / bitsPerFrame;
    return static_cast<std::uint32_t>(
        std::min<std::uint64_t>(frames, std::numeric_limits<std::uint32_t>::max()));
}

std::uint32_t WavInfo::S900Shift() const {
    return static_cast<std::uint32_t>(std::uint64_t{rate} * 27 / 44100);
}

double WavInfo::Seconds() const {
    const double bitsPerSecond = static_cast<double>(rate) * bits * channels;
    if (bitsPerSecond == 0) {
        return 0;
    }
    return static_cast<double>(dataBytes) * 8 / bitsPerSecond;
}

void WavInfo::Seek(std::uint32_t frame) {
    // 2 bytes per sample; at most 2 * 65535 * 4294967295, well inside 64 bits.
    dataPosition = std::uint64_t{channels} * frame * 2;
}

bool WavInfo::FillBuffer() {
    const std::uint64_t left = dataBytes - dataPosition;
    buffer.resize(static_cast<std::size_t>(std::min<std::uint64_t>(blockBytes, left)));
    bufferStart = dataPosition;
    buffer.resize(source->ReadAt(dataOffset + dataPosition, buffer));
    return buffer.size() >= std::size_t{channels} * 2;
}

std::int32_t WavInfo::ReadFrame(int part) {
    if (!source) {
        return 0;
    }
    const std::uint64_t frameBytes = std::uint64_t{channels} * 2;
    // A partial frame at the end of the data counts as the end.
    if (dataPosition + frameBytes > dataBytes) {
        return 0;
    }
    if (dataPosition < bufferStart || dataPosition + frameBytes > bufferStart + buffer.size()) {
        if (!FillBuffer()) {
            return 0;
        }
    }
    const std::uint8_t* bytes = buffer.data() + (dataPosition - bufferStart);
    dataPosition += frameBytes;

    const std::int32_t left = static_cast<std::int16_t>(bytes[0] | bytes[1] << 8);
    const std::int32_t right =
        channels == 2 ? static_cast<std::int16_t>(bytes[2] | bytes[3] << 8) : 0;
    switch (part) {
    case 0:
        return channels == 2 ? (left + right) / 2 : left;
    case 1:
        return left;
    case 2:
        return right;
    case 3:
        return (left + right) / 2;
    default:
        return 0;
    }
}

} // namespace velomire::program
