#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace velomire::testing {

// Builds WAV file images in memory, chunk by chunk, so tests can make canonical files and every
// kind of odd one (extra chunks, other chunk orders, short format chunks, lying sizes).
class WavBuilder {
public:
    // A canonical file: "RIFF", "WAVE", a 16-byte "fmt " chunk and a "data" chunk. Whole 16-bit
    // frames come from the application's own writer; other widths carry 16-bit data under a lying
    // header, and a partial last frame is kept.
    static std::vector<std::uint8_t> Canonical(std::uint16_t channels, std::uint32_t rate,
                                               std::uint16_t bits,
                                               const std::vector<std::int16_t>& samples);

    WavBuilder& Riff(const char* tag = "RIFF", const char* form = "WAVE");
    WavBuilder& Fmt(std::uint16_t channels, std::uint32_t rate, std::uint16_t bits,
                    std::uint32_t chunkSize = 16, std::uint16_t formatTag = 1);
    WavBuilder& Chunk(const char* id, const std::vector<std::uint8_t>& body);
    // A data chunk of 16-bit samples; sizeField overrides the stored size when not ~0.
    WavBuilder& Data(const std::vector<std::int16_t>& samples, std::uint32_t sizeField = ~0u);
    WavBuilder& Raw(const std::vector<std::uint8_t>& bytes);

    // The image, with the RIFF size field filled in.
    std::vector<std::uint8_t> Bytes() const;

private:
    std::vector<std::uint8_t> bytes;
};

void WriteFile(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes);
std::vector<std::uint8_t> ReadFile(const std::filesystem::path& path);

// A fresh, empty directory under the system's temporary directory, removed on destruction.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& Path() const { return path; }
    std::filesystem::path operator/(const std::string& name) const { return path / name; }

private:
    std::filesystem::path path;
};

// Puts the working directory back when it goes; given a directory, enters it meanwhile. Declared
// after the TempDir it enters, it leaves the directory before the directory is removed.
class WorkingDirectoryGuard {
public:
    explicit WorkingDirectoryGuard(const std::filesystem::path& enter = {})
        : previous(std::filesystem::current_path()) {
        if (!enter.empty()) {
            std::filesystem::current_path(enter);
        }
    }
    ~WorkingDirectoryGuard() { std::filesystem::current_path(previous, ignored); }
    WorkingDirectoryGuard(const WorkingDirectoryGuard&) = delete;
    WorkingDirectoryGuard& operator=(const WorkingDirectoryGuard&) = delete;

private:
    std::filesystem::path previous;
    std::error_code ignored;
};

// A 64-frame mono file at 22050 Hz; widths other than 16 bits carry 16-bit data under their header.
void WriteShortWav(const std::filesystem::path& path, std::uint16_t bits = 16);

// kick.wav (mono, 22050 Hz, 333 words) and pad.wav (stereo, 44100 Hz, 250 frames) in `dir`, with
// words that use every bit of a 16-bit word, different on the two channels.
void WriteKickAndPad(const std::filesystem::path& dir);

} // namespace velomire::testing
