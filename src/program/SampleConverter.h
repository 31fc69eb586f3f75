#pragma once

#include "program/UserMessages.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace velomire::program {

// The rate a converted file gets: the source's own, 44100 or 22050 Hz (the S1000 family's tune
// offset only corrects whole ratios of 44100 Hz), or the nearest rate the S900/S950 takes.
enum class TargetRate { keep, rate44100, rate22050, s900 };

// The S900/S950's sampling rates, in Hz: any rate between these two.
inline constexpr std::uint32_t s900LowestRate = 7500;
inline constexpr std::uint32_t s900HighestRate = 40000;

std::uint32_t RateFor(TargetRate choice, std::uint32_t sourceRate);

// The rates a sampler plays, in Hz: a file of another rate is not converted.
inline constexpr std::uint32_t lowestSamplerRate = 1000;
inline constexpr std::uint32_t highestSamplerRate = 200000;
// The most frames a converted file may have: the largest memory of the samplers these programs
// go to (32 MB, 16,777,216 16-bit words), far below what a WAV file holds.
inline constexpr std::uint64_t maxConvertedFrames = 16777216;

struct ConvertOptions {
    TargetRate rate = TargetRate::keep;
    bool dither = false; // TPDF dither of values a 16-bit file cannot hold exactly
};

// Turns sample values of -1 to 1 (1 = 32768) into 16-bit values: rounded to the nearest value,
// halves away from zero, so every value a 16-bit file can hold comes back exactly; with dither,
// triangular noise of +-1 step is added first. Values beyond the 16-bit range are clipped; those
// beyond full scale (-1 to 1) are counted (full scale itself is held as 32767, within a step).
class Quantizer16 {
public:
    explicit Quantizer16(bool dither) : dither(dither) {}
    std::int16_t Next(double value);
    std::uint64_t Clipped() const { return clipped; }

private:
    bool dither;
    std::uint64_t clipped = 0;
    std::uint32_t noise = 0x12345678; // the dither's random state (deterministic)
};

// A sound file as a converter reads it.
struct SoundFormat {
    std::uint16_t channels = 0;
    std::uint32_t rate = 0;
    std::uint16_t bits = 0; // of its samples: 8, 16, 24, 32 or 64 (0 when compressed)
    std::uint64_t frames = 0;
};

// Why a file of this format is not converted with these options (a rate no sampler plays, a
// result longer than any sampler holds), or nothing. Checked before anything is written.
std::optional<std::string> ConversionRefusal(const SoundFormat& source,
                                             const ConvertOptions& options);

struct ConvertOutcome {
    bool ok = false;
    std::string error;         // why the file was not converted
    std::string fileName;      // the converted file, in the directory asked for
    std::uint64_t clipped = 0; // samples that did not fit 16 bits
    std::uint32_t rate = 0;    // of the converted file
};

// Turns a sound file of another format into a 16-bit PCM WAV file, carrying its loops and key
// data over. Never writes over a file and never changes the source; a conversion that fails
// or is cancelled leaves no file behind.
class SampleConverter {
public:
    virtual ~SampleConverter() = default;

    // The file's format, or nothing when the converter cannot read it.
    virtual std::optional<SoundFormat> Probe(const std::filesystem::path& source) = 0;

    // Writes the converted file as `target`, which must not exist yet. progress gets the share
    // done (0 to 1) and returns false to cancel.
    virtual ConvertOutcome Convert(const std::filesystem::path& source,
                                   const std::filesystem::path& target,
                                   const ConvertOptions& options,
                                   const std::function<bool(double)>& progress) = 0;
};

// The name of the converted file of `source` in `directory`: its base name made safe on every
// system (SafeFileStem) with ".wav"; when
// that name is taken (by any file, the source itself included), "-16" is appended, then "-16-2",
// "-16-3" and so on.
std::string ConvertedFileName(const std::filesystem::path& directory,
                              const std::filesystem::path& source);

// True when the WAV reader takes the file as it is (no message is shown).
bool ReaderAccepts(const std::filesystem::path& file);

// The files of `files` that need converting: ones the reader refuses and the converter reads,
// and ones it takes at a rate `offRate` says the sampler plays off pitch.
std::vector<std::filesystem::path>
FilesToConvert(const std::vector<std::filesystem::path>& files, SampleConverter& converter,
               const std::function<bool(std::uint32_t rate)>& offRate = {});

struct ConvertedFiles {
    // Per file, the converted file's name, or nothing when it was not converted.
    std::vector<std::optional<std::string>> names;
    std::uint64_t clipped = 0; // samples clipped, over every file
};

// Converts each of `files` into `directory` (see ConvertedFileName). A file whose converted name
// would not fit a program's row is refused before it is converted; a file that is not converted
// is shown with its name as caption. One message afterwards tells how many samples were clipped
// in which files. progress gets the share of the whole batch done and returns false to cancel
// the rest.
ConvertedFiles ConvertFiles(const std::vector<std::filesystem::path>& files,
                            const std::filesystem::path& directory, const ConvertOptions& options,
                            SampleConverter& converter, UserMessages& messages,
                            const std::function<bool(double)>& progress = {});

} // namespace velomire::program
