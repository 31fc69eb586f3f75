#include "program/SampleConverter.h"

#include "program/Program.h"
#include "program/SafeFileName.h"
#include "program/WavInfo.h"

#include <algorithm>
#include <cmath>
#include <system_error>

namespace velomire::program {
namespace {

class SilentMessages : public UserMessages {
public:
    void Show(std::string_view, std::string_view) override {}
};

// How many "-16-N" names are tried before giving up.
constexpr int maxNameTries = 999;

// 44100 as "44,100".
std::string Grouped(std::uint64_t value) {
    std::string digits = std::to_string(value);
    for (auto at = static_cast<std::ptrdiff_t>(digits.size()) - 3; at > 0; at -= 3) {
        digits.insert(static_cast<std::size_t>(at), ",");
    }
    return digits;
}

const std::string tooLongName = "Error: Sample file names are limited to 39 characters !";

} // namespace

std::int16_t Quantizer16::Next(double value) {
    double scaled = value * 32768.0;
    if (dither) {
        // Two uniform values in [0, 1) from a 32-bit xorshift; their difference is triangular.
        const auto uniform = [this] {
            noise ^= noise << 13;
            noise ^= noise >> 17;
            noise ^= noise << 5;
            return noise / 4294967296.0;
        };
        scaled += uniform() - uniform();
    }
    const double rounded = std::round(scaled);
    if (rounded > 32767.0 || rounded < -32768.0 || std::isnan(rounded)) {
        // Full scale (1.0 = 32768) is held as 32767, less than a step away: the peak of a
        // full-scale 24-bit or float file, or dither at the top, is not clipping. Only a value
        // beyond full scale is.
        if (!(std::abs(value) <= 1.0)) {
            ++clipped;
        }
        return rounded < 0 ? std::int16_t{-32768} : std::int16_t{32767};
    }
    return static_cast<std::int16_t>(rounded);
}

std::uint32_t RateFor(TargetRate choice, std::uint32_t sourceRate) {
    switch (choice) {
    case TargetRate::keep:
        return sourceRate;
    case TargetRate::rate44100:
        return 44100;
    case TargetRate::rate22050:
        return 22050;
    case TargetRate::s900:
        return std::clamp(sourceRate, s900LowestRate, s900HighestRate);
    }
    return sourceRate;
}

std::optional<std::string> ConversionRefusal(const SoundFormat& source,
                                             const ConvertOptions& options) {
    const std::string range =
        " (" + Grouped(lowestSamplerRate) + " to " + Grouped(highestSamplerRate) + " Hz)";
    if (source.rate < lowestSamplerRate || source.rate > highestSamplerRate) {
        return "its rate of " + Grouped(source.rate) + " Hz is outside what a sampler plays" +
               range;
    }
    const std::uint32_t rate = RateFor(options.rate, source.rate);
    // The length of the result, rounded up (in floating point: a lying header's frame count
    // times the rate would overflow).
    const double frames =
        std::ceil(static_cast<double>(source.frames) * rate / static_cast<double>(source.rate));
    if (frames > static_cast<double>(maxConvertedFrames)) {
        const std::string length = frames < 1e18 ? Grouped(static_cast<std::uint64_t>(frames))
                                                 : std::string("billions of");
        return "it would be " + length + " frames long, more than a sampler holds (" +
               Grouped(maxConvertedFrames) + ")";
    }
    return std::nullopt;
}

std::string ConvertedFileName(const std::filesystem::path& directory,
                              const std::filesystem::path& source) {
    const std::string stem = SafeFileStem(source.stem().string(), "sample");
    std::error_code ec;
    for (int n = 0; n <= maxNameTries; ++n) {
        std::string name = n == 0   ? stem + ".wav"
                           : n == 1 ? stem + "-16.wav"
                                    : stem + "-16-" + std::to_string(n) + ".wav";
        // A link counts as taken, a dangling one too: the converted file never goes through it.
        if (std::filesystem::symlink_status(directory / name, ec).type() ==
            std::filesystem::file_type::not_found) {
            return name;
        }
    }
    return {};
}

bool ReaderAccepts(const std::filesystem::path& file) {
    SilentMessages silent;
    WavInfo wav(silent);
    return wav.Open(file.string());
}

std::vector<std::filesystem::path>
FilesToConvert(const std::vector<std::filesystem::path>& files, SampleConverter& converter,
               const std::function<bool(std::uint32_t rate)>& offRate) {
    std::vector<std::filesystem::path> result;
    for (const auto& file : files) {
        // Only regular files are probed: a FIFO would hold the probe forever.
        std::error_code ec;
        if (!std::filesystem::is_regular_file(file, ec)) {
            continue;
        }
        const bool accepted = ReaderAccepts(file);
        if (accepted && !offRate) {
            continue;
        }
        const auto format = converter.Probe(file);
        if (format && (!accepted || offRate(format->rate))) {
            result.push_back(file);
        }
    }
    return result;
}

ConvertedFiles ConvertFiles(const std::vector<std::filesystem::path>& files,
                            const std::filesystem::path& directory, const ConvertOptions& options,
                            SampleConverter& converter, UserMessages& messages,
                            const std::function<bool(double)>& progress) {
    ConvertedFiles result;
    auto& names = result.names;
    std::string clipping;
    bool cancelled = false;
    for (std::size_t i = 0; i < files.size(); ++i) {
        const std::string caption = files[i].filename().string();
        if (cancelled) {
            names.emplace_back();
            continue;
        }
        // A name the program would refuse is refused before anything is written (a name too long
        // for the system is refused here too, instead of failing as a system error).
        if (files[i].stem().string().size() + 4 > Program::fileNameChars) {
            messages.Show(tooLongName, caption);
            names.emplace_back();
            continue;
        }
        const std::string name = ConvertedFileName(directory, files[i]);
        if (name.empty()) {
            messages.Show("Error: no free name for the converted file !", caption);
            names.emplace_back();
            continue;
        }
        if (name.size() > Program::fileNameChars) {
            messages.Show(tooLongName, caption);
            names.emplace_back();
            continue;
        }
        const auto share = [&](double done) {
            if (progress && !progress((static_cast<double>(i) + done) / files.size())) {
                cancelled = true;
            }
            return !cancelled;
        };
        const ConvertOutcome outcome =
            converter.Convert(files[i], directory / name, options, share);
        if (!outcome.ok) {
            if (!cancelled) {
                messages.Show("Error: can't convert the file: " + outcome.error, caption);
            }
            names.emplace_back();
            continue;
        }
        if (outcome.clipped > 0) {
            clipping += "\n" + name + ": " + std::to_string(outcome.clipped) + " samples clipped";
            result.clipped += outcome.clipped;
        }
        names.emplace_back(name);
    }
    if (!clipping.empty()) {
        messages.Show("Converted with clipping:" + clipping, "Velomire");
    }
    return result;
}

} // namespace velomire::program
