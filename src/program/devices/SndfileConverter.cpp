#include "program/devices/SndfileConverter.h"

#include "program/SampleChunks.h"
#include "program/devices/NewFile.h"

#include <sndfile.h>
#include <soxr.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <system_error>
#include <vector>

namespace velomire::program {
namespace {

namespace fs = std::filesystem;

// Frames handled per block: small enough to report progress often, large enough to be quick.
constexpr std::size_t blockFrames = 16384;

struct SndfileCloser {
    void operator()(SNDFILE* file) const { sf_close(file); }
};
using SndfilePtr = std::unique_ptr<SNDFILE, SndfileCloser>;

struct SoxrDeleter {
    void operator()(soxr* resampler) const { soxr_delete(resampler); }
};
using SoxrPtr = std::unique_ptr<soxr, SoxrDeleter>;

std::uint16_t BitsOf(int format) {
    switch (format & SF_FORMAT_SUBMASK) {
    case SF_FORMAT_PCM_S8:
    case SF_FORMAT_PCM_U8:
        return 8;
    case SF_FORMAT_PCM_16:
        return 16;
    case SF_FORMAT_PCM_24:
        return 24;
    case SF_FORMAT_PCM_32:
    case SF_FORMAT_FLOAT:
        return 32;
    case SF_FORMAT_DOUBLE:
        return 64;
    default:
        return 0;
    }
}

SndfilePtr OpenForReading(const fs::path& source, SF_INFO& info) {
    info = SF_INFO{};
#ifdef _WIN32
    // The wide name: a name outside the system's code page opens too.
    return SndfilePtr(sf_wchar_open(source.c_str(), SFM_READ, &info));
#else
    return SndfilePtr(sf_open(source.string().c_str(), SFM_READ, &info));
#endif
}

// True when every value is a number: a float file may hold NaN or infinities, which no 16-bit
// value stands for.
bool AllFinite(const double* values, std::size_t count) {
    return std::all_of(values, values + count, [](double value) { return std::isfinite(value); });
}

const std::string notNumbers = "it holds values that are not numbers (NaN or infinity)";

// The first 7 bytes of the source's "inst" chunk (WAV only), or nothing.
std::vector<std::uint8_t> InstChunk(SNDFILE* file) {
    SF_CHUNK_INFO wanted{};
    std::copy_n("inst", 4, wanted.id);
    wanted.id_size = 4;
    SF_CHUNK_ITERATOR* iterator = sf_get_chunk_iterator(file, &wanted);
    SF_CHUNK_INFO found{};
    if (!iterator || sf_get_chunk_size(iterator, &found) != SF_ERR_NO_ERROR ||
        found.datalen < instBytes) {
        return {};
    }
    std::vector<std::uint8_t> body(found.datalen);
    found.data = body.data();
    if (sf_get_chunk_data(iterator, &found) != SF_ERR_NO_ERROR) {
        return {};
    }
    body.resize(instBytes);
    return body;
}

ConvertOutcome Failure(std::string error) {
    ConvertOutcome outcome;
    outcome.error = std::move(error);
    return outcome;
}

} // namespace

std::optional<SoundFormat> SndfileConverter::Probe(const fs::path& source) {
    SF_INFO info;
    const SndfilePtr file = OpenForReading(source, info);
    if (!file) {
        return std::nullopt;
    }
    return SoundFormat{static_cast<std::uint16_t>(info.channels),
                       static_cast<std::uint32_t>(info.samplerate), BitsOf(info.format),
                       static_cast<std::uint64_t>(info.frames)};
}

ConvertOutcome SndfileConverter::Convert(const fs::path& source, const fs::path& target,
                                         const ConvertOptions& options,
                                         const std::function<bool(double)>& progress) {
    SF_INFO info;
    const SndfilePtr in = OpenForReading(source, info);
    if (!in) {
        return Failure(sf_strerror(nullptr));
    }
    if (info.channels < 1 || info.channels > 2) {
        return Failure("it has " + std::to_string(info.channels) +
                       " channels; a sample has one or two");
    }
    if (info.samplerate <= 0) {
        return Failure("it has no sample rate");
    }
    const SoundFormat format{static_cast<std::uint16_t>(info.channels),
                             static_cast<std::uint32_t>(info.samplerate), BitsOf(info.format),
                             static_cast<std::uint64_t>(std::max<sf_count_t>(info.frames, 0))};
    if (const auto refusal = ConversionRefusal(format, options)) {
        return Failure(*refusal);
    }
    std::error_code ec;
    if (fs::exists(fs::symlink_status(target, ec))) {
        return Failure(target.filename().string() + " exists already");
    }
    // Values come as -1 to 1 with every integer format divided by its full scale, so a 16-bit
    // value held in any wider format arrives as an exact multiple of 1/32768.
    sf_command(in.get(), SFC_SET_NORM_DOUBLE, nullptr, SF_TRUE);

    const auto channels = static_cast<std::size_t>(info.channels);
    const auto sourceRate = static_cast<std::uint32_t>(info.samplerate);
    const std::uint32_t rate = RateFor(options.rate, sourceRate);
    const double ratio = static_cast<double>(rate) / sourceRate;

    SoxrPtr resampler;
    if (rate != sourceRate) {
        const soxr_io_spec_t io = soxr_io_spec(SOXR_FLOAT64_I, SOXR_FLOAT64_I);
        const soxr_quality_spec_t quality = soxr_quality_spec(SOXR_VHQ, 0);
        soxr_error_t error = nullptr;
        resampler.reset(soxr_create(sourceRate, rate, static_cast<unsigned>(channels), &error, &io,
                                    &quality, nullptr));
        if (!resampler || error) {
            return Failure(std::string("resampling: ") + soxr_strerror(error));
        }
    }

    // Without dither, rounding gives every exact 16-bit value back as it is. With dither, a file
    // whose values are all exact 16-bit values (a 16-bit source in a wider format) is not
    // dithered either: it is read once to find out.
    bool dither = options.dither;
    if (dither && !resampler) {
        std::vector<double> block(blockFrames * channels);
        bool exact = true;
        sf_count_t got = 0;
        while (exact && (got = sf_readf_double(in.get(), block.data(), blockFrames)) > 0) {
            if (!AllFinite(block.data(), static_cast<std::size_t>(got) * channels)) {
                return Failure(notNumbers);
            }
            for (std::size_t i = 0; i < static_cast<std::size_t>(got) * channels; ++i) {
                const double scaled = block[i] * 32768.0;
                if (scaled != std::round(scaled)) {
                    exact = false;
                    break;
                }
            }
        }
        dither = !exact;
        if (sf_seek(in.get(), 0, SEEK_SET) != 0) {
            return Failure("the file cannot be read a second time");
        }
    }

    SF_INFO outInfo{};
    outInfo.samplerate = static_cast<int>(rate);
    outInfo.channels = info.channels;
    outInfo.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    // Written under a temporary name created new (never through a link planted there), and
    // removed on every way out but success.
    NewFile partial(target);
    if (!partial.Open()) {
        return Failure(target.filename().string() + ": " + partial.Error());
    }
    SndfilePtr out(sf_open_fd(partial.Descriptor(), SFM_WRITE, &outInfo, SF_FALSE));
    if (!out) {
        return Failure(sf_strerror(nullptr));
    }
    SF_INSTRUMENT instrument{};
    const bool hasInstrument =
        sf_command(in.get(), SFC_GET_INSTRUMENT, &instrument, sizeof instrument) == SF_TRUE;
    if (hasInstrument) {
        for (auto& loop : instrument.loops) {
            loop.start = static_cast<std::uint32_t>(std::llround(loop.start * ratio));
            loop.end = static_cast<std::uint32_t>(std::llround(loop.end * ratio));
        }
        sf_command(out.get(), SFC_SET_INSTRUMENT, &instrument, sizeof instrument);
    }
    // libsndfile writes the loops and the unity note ("smpl") but not the key range: the
    // "inst" chunk is copied from a WAV source, or made from an AIFF source's instrument.
    std::vector<std::uint8_t> inst = InstChunk(in.get());
    if (inst.empty() && hasInstrument && instrument.key_hi != 0) {
        inst = {static_cast<std::uint8_t>(instrument.basenote),
                static_cast<std::uint8_t>(instrument.detune),
                0,
                static_cast<std::uint8_t>(instrument.key_lo),
                static_cast<std::uint8_t>(instrument.key_hi),
                static_cast<std::uint8_t>(instrument.velocity_lo),
                static_cast<std::uint8_t>(instrument.velocity_hi)};
    }
    SF_CHUNK_INFO instInfo{};
    if (!inst.empty()) {
        std::copy_n("inst", 4, instInfo.id);
        instInfo.id_size = 4;
        instInfo.datalen = static_cast<unsigned>(inst.size());
        instInfo.data = inst.data();
        sf_set_chunk(out.get(), &instInfo);
    }

    Quantizer16 quantizer(dither);
    std::vector<double> block(blockFrames * channels);
    std::vector<double> resampled;
    std::vector<std::int16_t> samples;
    std::uint64_t framesWritten = 0;
    const auto write = [&](const double* values, std::size_t frames) {
        // A file whose header understated its length stops at the bound all the same.
        framesWritten += frames;
        if (framesWritten > maxConvertedFrames) {
            return false;
        }
        samples.resize(frames * channels);
        for (std::size_t i = 0; i < samples.size(); ++i) {
            samples[i] = quantizer.Next(values[i]);
        }
        return sf_writef_short(out.get(), samples.data(), static_cast<sf_count_t>(frames)) ==
               static_cast<sf_count_t>(frames);
    };
    // Runs the resampler on `frames` frames of block (none: the end of the input) and writes
    // what it gives.
    const auto resample = [&](const double* values, std::size_t frames) {
        const bool last = values == nullptr;
        resampled.resize((static_cast<std::size_t>(frames * ratio) + 64) * channels);
        std::size_t used = 0;
        do {
            std::size_t inDone = 0;
            std::size_t outDone = 0;
            if (soxr_process(resampler.get(), last ? nullptr : values + used * channels,
                             frames - used, &inDone, resampled.data(), resampled.size() / channels,
                             &outDone)) {
                return false;
            }
            used += inDone;
            if (outDone > 0 && !write(resampled.data(), outDone)) {
                return false;
            }
            if (last && outDone == 0) {
                return true;
            }
        } while (last || used < frames);
        return true;
    };

    std::uint64_t framesRead = 0;
    sf_count_t got = 0;
    while ((got = sf_readf_double(in.get(), block.data(), blockFrames)) > 0) {
        const auto frames = static_cast<std::size_t>(got);
        if (!AllFinite(block.data(), frames * channels)) {
            return Failure(notNumbers);
        }
        const bool ok = resampler ? resample(block.data(), frames) : write(block.data(), frames);
        if (!ok && framesWritten > maxConvertedFrames) {
            return Failure("it is longer than a sampler holds (" +
                           std::to_string(maxConvertedFrames) + " frames)");
        }
        if (!ok) {
            return Failure(std::string("writing failed: ") + sf_strerror(out.get()));
        }
        framesRead += frames;
        if (progress && info.frames > 0 &&
            !progress(static_cast<double>(framesRead) / static_cast<double>(info.frames))) {
            return Failure("cancelled");
        }
    }
    if (sf_error(in.get()) != SF_ERR_NO_ERROR) {
        return Failure(std::string("reading failed: ") + sf_strerror(in.get()));
    }
    if (resampler && !resample(nullptr, 0)) {
        return Failure(std::string("writing failed: ") + sf_strerror(out.get()));
    }
    sf_write_sync(out.get());
    if (sf_error(out.get()) != SF_ERR_NO_ERROR) {
        return Failure(std::string("writing failed: ") + sf_strerror(out.get()));
    }
    out.reset();

    switch (partial.Finish(false)) {
    case NewFile::Named::done:
        break;
    case NewFile::Named::taken:
        return Failure(target.filename().string() + " exists already");
    case NewFile::Named::failed:
        return Failure(target.filename().string() + ": " + partial.Error());
    }

    ConvertOutcome outcome;
    outcome.ok = true;
    outcome.fileName = target.filename().string();
    outcome.clipped = quantizer.Clipped();
    outcome.rate = rate;
    return outcome;
}

} // namespace velomire::program
