#include "instrument/SfzWriter.h"

#include "instrument/ProgramMapping.h"
#include "program/SafeFileName.h"
#include "program/SampleChunks.h"
#include "program/WavInfo.h"
#include "program/WavWriter.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <set>
#include <sstream>
#include <system_error>

namespace velomire::instrument {
namespace {

namespace fs = std::filesystem;

constexpr std::size_t editedLoops = 4;

// 1/256 semitone as cents: whole cents when they give the same units back (so a tune of whole
// cents comes back as it was), else exactly (a multiple of 100/256 has at most six decimals).
std::string CentsOf(std::int32_t units) {
    const long whole = std::lround(units * 100.0 / 256);
    if (TuneUnits(static_cast<double>(whole)) == units) {
        return std::to_string(whole);
    }
    const std::int64_t micro = std::int64_t{units} * 100 * 1000000 / 256; // exact
    std::string text = std::to_string(std::llabs(micro) / 1000000);
    if (const std::int64_t fraction = std::llabs(micro) % 1000000; fraction != 0) {
        std::string digits = std::to_string(fraction);
        digits.insert(0, 6 - digits.size(), '0');
        while (digits.back() == '0') {
            digits.pop_back();
        }
        text += "." + digits;
    }
    return (micro < 0 ? "-" : "") + text;
}

// The loops of a row, in frames of its file, end inclusive.
std::vector<program::SampleChunks::Loop> RowLoops(const program::SampleBlock& s) {
    std::vector<program::SampleChunks::Loop> loops;
    const auto count = static_cast<std::size_t>(std::clamp<int>(s.loopCount, 0, editedLoops));
    for (std::size_t n = 0; n < count; ++n) {
        const program::LoopSpec loop = s.Loop(n);
        if (loop.length == 0 || loop.length > std::uint64_t{loop.at} + 1) {
            continue;
        }
        loops.push_back({s.soundStart + loop.at - loop.length + 1, s.soundStart + loop.at, 0});
    }
    return loops;
}

} // namespace

std::string SfzText(const program::Program& program, const std::vector<SfzRegionFile>& regions,
                    const std::string& title) {
    std::ostringstream out;
    out << "// " << title << ", written by Velomire\n";
    for (const SfzRegionFile& region : regions) {
        const program::SampleEntry& entry = program.samples[static_cast<std::size_t>(region.row)];
        const program::SampleBlock& s = entry.sample;
        const program::KeygroupBlock& k = entry.keygroup;
        out << "\n<region> sample=" << region.fileName << "\n";
        out << "lokey=" << k.lowKey << " hikey=" << k.highKey << " pitch_keycenter=" << s.rootKey
            << "\n";
        out << "lovel=" << k.velocityLow << " hivel=" << k.velocityHigh << "\n";
        // The nearest whole semitones as transpose, the rest (within a half) as tune, as SFZ
        // files usually split them.
        const std::int32_t semitones =
            static_cast<std::int32_t>(std::lround(static_cast<double>(k.keygroupTune) / 256));
        const std::int32_t rest = k.keygroupTune - semitones * 256;
        if (semitones != 0) {
            out << "transpose=" << semitones << "\n";
        }
        if (rest != 0) {
            out << "tune=" << CentsOf(rest) << "\n";
        }
        if (s.soundStart != 0) {
            out << "offset=" << s.soundStart << "\n";
        }
        if (s.frameCount > 0 && s.soundEnd != s.frameCount - 1) {
            out << "end=" << s.soundEnd << "\n";
        }
        switch (s.loopMode) {
        case program::loopNormal:
            out << "loop_mode=loop_continuous\n";
            break;
        case program::loopUntilRelease:
            out << "loop_mode=loop_sustain\n";
            break;
        case program::loopToEnd:
            out << "loop_mode=one_shot\n";
            break;
        default:
            out << "loop_mode=no_loop\n";
            break;
        }
        if (const auto loops = RowLoops(s); !loops.empty()) {
            out << "loop_start=" << loops[0].start << " loop_end=" << loops[0].end << "\n";
        }
        if (s.sendMode == program::sendLeft) {
            out << "pan=-100\n";
        } else if (s.sendMode == program::sendRight) {
            out << "pan=100\n";
        }
    }
    return out.str();
}

program::Status ExportSfz(const program::Program& program, const fs::path& programDirectory,
                          const std::string& name, const fs::path& directory,
                          const NewFileWriter& writeNew, std::vector<fs::path>& written) {
    std::error_code ec;
    if (!fs::is_directory(directory, ec)) {
        return program::Status::Error(directory.string() + ": no such folder");
    }
    const std::string stem = program::SafeFileStem(name, "program");
    const fs::path sfzPath = directory / (stem + ".sfz");
    if (fs::exists(fs::symlink_status(sfzPath, ec))) {
        return program::Status::Error(sfzPath.filename().string() +
                                      ": exists already; nothing was written");
    }
    const auto undo = [&written] {
        std::error_code ignored;
        for (const auto& file : written) {
            fs::remove(file, ignored);
        }
        written.clear();
    };

    struct Made {
        std::string source;
        program::SampleChunks chunks;
        std::string fileName;
    };
    std::vector<Made> made;
    std::set<std::string> taken;
    std::vector<SfzRegionFile> regions;
    const int count = std::clamp(program.sampleCount, 0, program::Program::maxSamples);
    for (int row = 0; row < count; ++row) {
        const program::SampleEntry& entry = program.samples[static_cast<std::size_t>(row)];
        const std::string source = program::FieldText(entry.sample.fileName);
        program::SampleChunks chunks;
        chunks.unityNote =
            static_cast<std::uint32_t>(std::clamp<int>(entry.sample.rootKey, 0, 127));
        chunks.loops = RowLoops(entry.sample);
        chunks.lowKey = static_cast<std::uint8_t>(std::clamp<int>(entry.keygroup.lowKey, 0, 127));
        chunks.highKey = static_cast<std::uint8_t>(std::clamp<int>(entry.keygroup.highKey, 0, 127));
        const auto same = std::find_if(made.begin(), made.end(), [&](const Made& m) {
            return m.source == source && m.chunks.loops == chunks.loops;
        });
        if (same != made.end()) {
            regions.push_back({row, same->fileName});
            continue;
        }

        program::LastMessage messages;
        program::WavInfo wav(messages);
        if (!wav.Open((programDirectory / source).string())) {
            undo();
            return program::Status::Error(source + ": " + messages.last);
        }
        const std::uint16_t channels = wav.Channels() >= 2 ? 2 : 1;
        std::vector<std::int16_t> words;
        words.reserve(std::size_t{wav.FrameCount()} * channels);
        for (std::uint32_t f = 0; f < wav.FrameCount(); ++f) {
            for (std::uint16_t c = 0; c < channels; ++c) {
                wav.Seek(f);
                words.push_back(
                    static_cast<std::int16_t>(wav.ReadFrame(channels == 1 ? 0 : c + 1)));
            }
        }
        const std::uint32_t rate = wav.Rate();
        wav.Close();

        const std::string base =
            program::SafeFileStem(fs::path(source).stem().string(), "sample", 31);
        const std::string fileName = program::FreeFileName(directory, base, ".wav", taken);
        if (fileName.empty()) {
            undo();
            return program::Status::Error(source + ": no free file name in " + directory.string());
        }
        const auto image = program::WavWriter::Image(channels, rate, words, chunks);
        if (const program::Status status = writeNew(directory / fileName, image); !status) {
            undo();
            return program::Status::Error(fileName + ": " + status.text, status.detail);
        }
        written.push_back(directory / fileName);
        made.push_back({source, chunks, fileName});
        regions.push_back({row, fileName});
    }

    const std::string text = SfzText(program, regions, program.ProgramName());
    const std::vector<std::uint8_t> bytes(text.begin(), text.end());
    if (const program::Status status = writeNew(sfzPath, bytes); !status) {
        undo();
        return program::Status::Error(sfzPath.filename().string() + ": " + status.text,
                                      status.detail);
    }
    written.push_back(sfzPath);
    return {};
}

} // namespace velomire::instrument
