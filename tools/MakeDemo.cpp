// Writes the bundled demo: three short WAV files synthesised here (a decaying tone, a stereo pad
// and a drum loop) and the program "demo.vmp" naming them, with key ranges and loops set.
// Usage: velomire-make-demo DIRECTORY

#include "program/Program.h"
#include "program/ProgramFile.h"
#include "program/WavInfo.h"
#include "program/WavWriter.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <iostream>
#include <memory>
#include <numbers>
#include <random>
#include <vector>

namespace {

using velomire::program::Program;

class PrintMessages : public velomire::program::UserMessages {
public:
    void Show(std::string_view text, std::string_view caption) override {
        std::cerr << caption << ": " << text << '\n';
    }
};

// Interleaved samples in the range -1..1, scaled to +-32000.
void WriteWav(const std::filesystem::path& path, std::uint16_t channels, std::uint32_t rate,
              const std::vector<double>& samples) {
    std::vector<std::int16_t> values;
    values.reserve(samples.size());
    for (double s : samples) {
        values.push_back(static_cast<std::int16_t>(std::lround(std::clamp(s, -1.0, 1.0) * 32000)));
    }
    velomire::program::WavWriter::Write(path, channels, rate, values);
}

constexpr double twoPi = 2 * std::numbers::pi;

// A plucked tone at C3 (261.63 Hz): a few harmonics under an exponential decay.
std::vector<double> Tone(std::uint32_t rate, double seconds) {
    std::vector<double> out(static_cast<std::size_t>(rate * seconds));
    for (std::size_t i = 0; i < out.size(); ++i) {
        const double t = static_cast<double>(i) / rate;
        double v = 0;
        for (int h = 1; h <= 5; ++h) {
            v += std::sin(twoPi * 261.63 * h * t) * std::exp(-t * (2.0 + h)) / h;
        }
        out[i] = 0.6 * v * std::min(1.0, t * 400);
    }
    return out;
}

// Two slightly detuned saw waves at C4, one per channel, with a slow attack.
std::vector<double> Pad(std::uint32_t rate, double seconds) {
    const auto frames = static_cast<std::size_t>(rate * seconds);
    std::vector<double> out(frames * 2);
    for (std::size_t i = 0; i < frames; ++i) {
        const double t = static_cast<double>(i) / rate;
        const double attack = std::min(1.0, t * 8);
        const auto saw = [t](double f) { return 2 * (t * f - std::floor(t * f + 0.5)); };
        out[2 * i] = 0.35 * attack * (saw(523.25) + 0.5 * std::sin(twoPi * 261.63 * t));
        out[2 * i + 1] = 0.35 * attack * (saw(524.8) + 0.5 * std::sin(twoPi * 262.2 * t));
    }
    return out;
}

// One bar at 120 beats per minute: kick on 1 and 3, snare on 2 and 4, eighth-note hats.
std::vector<double> DrumLoop(std::uint32_t rate) {
    const double beat = 0.5;
    std::vector<double> out(static_cast<std::size_t>(rate * beat * 4));
    std::mt19937 random(1998);
    std::uniform_real_distribution<double> noise(-1.0, 1.0);
    const auto add = [&](double start, double length, auto voice) {
        const auto first = static_cast<std::size_t>(start * rate);
        for (std::size_t i = 0; i < static_cast<std::size_t>(length * rate); ++i) {
            if (first + i < out.size()) {
                out[first + i] += voice(static_cast<double>(i) / rate);
            }
        }
    };
    for (int step = 0; step < 8; ++step) {
        const double at = step * beat / 2;
        add(at, 0.05, [&](double t) { return 0.2 * noise(random) * std::exp(-t * 80); });
        if (step % 4 == 0) {
            add(at, 0.35, [](double t) {
                return 0.9 * std::sin(twoPi * (50 * t + 60 * (1 - std::exp(-t * 30)) / 30)) *
                       std::exp(-t * 9);
            });
        }
        if (step % 4 == 2) {
            add(at, 0.2, [&](double t) {
                return (0.5 * noise(random) + 0.3 * std::sin(twoPi * 190 * t)) * std::exp(-t * 22);
            });
        }
    }
    return out;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: velomire-make-demo DIRECTORY\n";
        return 2;
    }
    const std::filesystem::path dir = std::filesystem::absolute(argv[1]);
    std::filesystem::create_directories(dir);
    WriteWav(dir / "tone.wav", 1, 44100, Tone(44100, 1.0));
    WriteWav(dir / "pad.wav", 2, 44100, Pad(44100, 0.8));
    WriteWav(dir / "drumloop.wav", 1, 22050, DrumLoop(22050));

    PrintMessages messages;
    auto program = std::make_unique<Program>();
    program->SetProgramPath(dir / "demo.vmp", true);
    velomire::program::WavInfo wav(messages);
    for (const char* name : {"tone.wav", "pad.wav", "drumloop.wav"}) {
        if (!wav.Open(name)) {
            return 1;
        }
        program->InitSampleEntry(program->sampleCount, name, wav);
        wav.Close();
        ++program->sampleCount;
    }

    // The tone plays the lower keys, the pad the upper ones with a sustain loop over its last
    // half, and the drum loop sits on its own key, looping the whole bar.
    auto& tone = program->samples[0];
    tone.keygroup.highKey = 59;
    auto& pad = program->samples[1];
    pad.keygroup.lowKey = 60;
    pad.keygroup.highKey = 95;
    pad.sample.rootKey = 72;
    pad.sample.loopCount = 1;
    pad.sample.loopMode = velomire::program::loopUntilRelease;
    pad.sample.loopLength[0] = pad.sample.lengthWords / 2;
    auto& drums = program->samples[2];
    drums.keygroup.lowKey = 96;
    drums.keygroup.highKey = 96;
    drums.sample.rootKey = 96;
    drums.sample.loopCount = 1;
    drums.sample.loopMode = velomire::program::loopNormal;
    drums.keygroup.output = 2;

    const auto saved = velomire::program::ProgramFile::SaveFile(dir / "demo.vmp", *program);
    if (!saved) {
        std::cerr << saved.Text() << '\n';
        return 1;
    }
    std::cout << "demo written to " << dir.string() << '\n';
    return 0;
}
