// Debian's polyphone converts a SoundFont bank to SFZ on its command line; importing that SFZ and
// the bank it came from gives the same instrument: the same zones with the same key and velocity
// ranges, root keys, tunes (within 1 cent), loops and words. polyphone names its samples with
// Windows separators ("samples\FluteD5.wav"), ends loops inclusively and writes the bank's
// pitch correction into each region's tune. Skipped (77) without the bank, polyphone,
// or an SFZ reader in this build.
#include "instrument/devices/InstrumentFiles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <tuple>

namespace velomire::instrument {
namespace {

namespace fs = std::filesystem;

const fs::path bank = "/usr/share/sounds/sf2/TimGM6mb.sf2";
// Multi-sampled presets of the bank, one of them with overriding root keys.
const char* const presets[] = {"Flute TB", "Acoustic Bass", "Banjo", "Piano 1"};

fs::path Converted() {
    return fs::path(testing::TempDir()) / "polyphone-sfz";
}

// The 16-bit mono words of a WAV file polyphone wrote.
std::vector<std::int16_t> WavWords(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    const std::vector<unsigned char> bytes((std::istreambuf_iterator<char>(in)), {});
    for (std::size_t at = 12; at + 8 <= bytes.size();) {
        const std::uint32_t size = bytes[at + 4] | bytes[at + 5] << 8 | bytes[at + 6] << 16 |
                                   static_cast<std::uint32_t>(bytes[at + 7]) << 24;
        if (std::string(bytes.begin() + static_cast<std::ptrdiff_t>(at),
                        bytes.begin() + static_cast<std::ptrdiff_t>(at) + 4) == "data") {
            std::vector<std::int16_t> words;
            for (std::size_t i = at + 8; i + 1 < at + 8 + size && i + 1 < bytes.size(); i += 2)
                words.push_back(static_cast<std::int16_t>(bytes[i] | bytes[i + 1] << 8));
            return words;
        }
        at += 8 + size + (size & 1);
    }
    return {};
}

std::vector<Zone> Sorted(std::vector<Zone> zones) {
    std::sort(zones.begin(), zones.end(), [](const Zone& a, const Zone& b) {
        return std::tie(a.lowKey, a.highKey, a.lowVelocity, a.highVelocity) <
               std::tie(b.lowKey, b.highKey, b.lowVelocity, b.highVelocity);
    });
    return zones;
}

TEST(SfzPolyphone, PolyphonesSfzImportsAsTheBankItCameFrom) {
    int zonesCompared = 0;
    for (const char* preset : presets) {
        SCOPED_TRACE(preset);
        std::string error;
        const auto fromBank = ReadInstrument(bank, {{}, preset}, error);
        ASSERT_TRUE(fromBank) << error;
        const auto fromSfz =
            ReadInstrument(Converted() / "TimGM6mb" / (std::string(preset) + ".sfz"), {}, error);
        ASSERT_TRUE(fromSfz) << error;
        const auto bankZones = Sorted(fromBank->zones);
        const auto sfzZones = Sorted(fromSfz->zones);
        ASSERT_EQ(bankZones.size(), sfzZones.size());
        for (std::size_t i = 0; i < bankZones.size(); ++i) {
            const Zone& a = bankZones[i];
            const Zone& b = sfzZones[i];
            EXPECT_EQ(a.lowKey, b.lowKey) << i;
            EXPECT_EQ(a.highKey, b.highKey) << i;
            EXPECT_EQ(a.lowVelocity, b.lowVelocity) << i;
            EXPECT_EQ(a.highVelocity, b.highVelocity) << i;
            EXPECT_EQ(a.rootKey, b.rootKey) << i;
            // The region's tune (polyphone writes the sample's correction into it); the WAV file's
            // own smpl pitch is not added, as SFZ players do not add it beside pitch_keycenter.
            EXPECT_NEAR(a.tuneCents, b.tuneCents, 1) << i;
            EXPECT_EQ(a.loopMode, b.loopMode) << i;
            // The SFZ's loop points, or its WAV file's smpl loop when the region names none.
            const auto& bLoops = b.loops.empty() ? fromSfz->sounds[b.sound].loops : b.loops;
            EXPECT_EQ(a.loops, bLoops) << i;
            // polyphone's WAV file holds the bank's words.
            EXPECT_EQ(fromBank->sounds[a.sound].words, WavWords(fromSfz->sounds[b.sound].file))
                << i;
            ++zonesCompared;
        }
    }
    std::cout << zonesCompared << " zones compared\n";
}

} // namespace
} // namespace velomire::instrument

int main(int argc, char** argv) {
    namespace fs = std::filesystem;
    using velomire::instrument::Converted;
    if (!fs::exists(velomire::instrument::bank) ||
        std::system("command -v polyphone >/dev/null") != 0) {
        std::cout << "No General MIDI bank or no polyphone: skipped\n";
        return 77;
    }
    fs::remove_all(Converted());
    fs::create_directories(Converted());
    // Headless: the offscreen platform; "-3" converts to SFZ, "-c 000" one file per preset, named
    // after it, in a folder named after the bank.
    const std::string command = "QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR='" +
                                Converted().string() + "' polyphone -3 -i '" +
                                velomire::instrument::bank.string() + "' -d '" +
                                Converted().string() + "' -c 000 >/dev/null 2>&1";
    if (std::system(command.c_str()) != 0) {
        std::cout << "polyphone did not convert the bank\n";
        return 1;
    }
    std::string error;
    if (!velomire::instrument::ListInstruments(Converted() / "TimGM6mb" / "Flute TB.sfz", error) &&
        error.find("not in this build") != std::string::npos) {
        std::cout << "No SFZ reader in this build (" << error << "): skipped\n";
        return 77;
    }
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
