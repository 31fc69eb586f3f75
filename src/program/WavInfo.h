#pragma once

#include "program/SampleChunks.h"
#include "program/UserMessages.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace velomire::program {

// Reads a 16-bit PCM WAV file: checks its header and then serves the frames of its data chunk
// one at a time. Refusals are reported through UserMessages with the path as caption.
//
// Part selector of ReadFrame: 0 = the sample as one channel (mono, or (left + right) / 2 truncated
// toward zero), 1 = left, 2 = right, 3 = the mix again; any other part gives 0. Past the end of the
// data chunk every frame is silence (0).
class WavInfo {
public:
    explicit WavInfo(UserMessages& messages);
    ~WavInfo();
    WavInfo(const WavInfo&) = delete;
    WavInfo& operator=(const WavInfo&) = delete;

    // Opens and checks the file; on success it stays open, positioned at the first frame.
    bool Open(const std::string& path);
    // Opens `file` but names it `name` (messages, Name()): a program's row names its file
    // relative to the program's directory.
    bool Open(const std::filesystem::path& file, const std::string& name);
    // The same checks on a file image held in memory; path only names it (messages, Name()).
    bool OpenBytes(const std::string& path, std::vector<std::uint8_t> bytes);
    void Close();
    bool IsOpen() const;

    // The first 12 characters of the path handed to Open, cut at the first '.' among them.
    std::string Name() const;

    // Header values of the last Open. They stay readable after a refused Open as far as the
    // header could be read (the Select Samples information line shows them).
    std::uint16_t Channels() const { return channels; }
    std::uint32_t Rate() const { return rate; }
    std::uint16_t Bits() const { return bits; }
    std::uint32_t DataBytes() const { return dataBytes; }
    std::uint64_t DataOffset() const { return dataOffset; }
    // The "smpl" and "inst" chunks of an accepted file (empty when it has none).
    const SampleChunks& Chunks() const { return chunks; }

    std::uint32_t PeriodNs() const;   // trunc(1e9 / rate + 0.9)
    std::uint32_t FrameCount() const; // dataBytes * 8 / (channels * bits)
    std::uint32_t S900Shift() const;  // rate * 27 / 44100
    double Seconds() const;           // dataBytes * 8 / (rate * bits * channels)

    // Positions the reader at the given frame of the data chunk (absolute).
    void Seek(std::uint32_t frame);
    std::int32_t ReadFrame(int part);

private:
    // Where the file bytes come from: an open file or a byte image in memory.
    class Source;

    // Starts a new Open: closes the previous file, takes the name and forgets old header values.
    void Begin(const std::string& path);
    // Checks the content of the freshly opened source; on refusal reports it and closes.
    bool Accept(const std::string& path);
    // Walks the RIFF chunk list and takes channels, rate, bits and the data chunk from it.
    bool Check();
    // Reads the first `keep` bytes of a "smpl" or "inst" chunk body into chunks.
    void ReadSamplerChunk(std::uint64_t body, std::uint32_t keep, bool smpl);
    // Loads the block of the data chunk starting at dataPosition into the buffer.
    bool FillBuffer();

    UserMessages& messages;
    std::unique_ptr<Source> source;
    std::string name;

    std::uint16_t channels = 0;
    std::uint32_t rate = 0;
    std::uint16_t bits = 0;
    std::uint32_t dataBytes = 0;
    std::uint64_t dataOffset = 0;
    SampleChunks chunks;

    // Byte offset into the data chunk of the next frame to read, and a read-ahead buffer holding
    // the data chunk bytes from bufferStart on (bufferStart is also a data chunk offset).
    std::uint64_t dataPosition = 0;
    std::uint64_t bufferStart = 0;
    std::vector<std::uint8_t> buffer;
};

} // namespace velomire::program
