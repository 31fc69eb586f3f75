// A SoundFont bank no one here wrote (Debian's General MIDI bank), imported and compared with what
// libgig's own tools print and extract: sf2dump's zones (key range, sample, fine tune, loop) and
// sample headers (pitch, correction), sf2extract's WAV files word for word. Skipped (77) where the
// bank or the tools are missing.
#include "instrument/devices/InstrumentFiles.h"

#include <gtest/gtest.h>

#include <RIFF.h>
#include <SF.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <regex>
#include <sstream>

namespace velomire::instrument {
namespace {

namespace fs = std::filesystem;

const char* const banks[] = {"/usr/share/sounds/sf2/TimGM6mb.sf2",
                             "/usr/share/sounds/sf2/FluidR3_GM.sf2"};
// The presets compared: multi-sampled ones (an instrument of at least 4 zones) whose one preset
// zone plays one instrument, up to this many.
constexpr int presetsCompared = 8;

fs::path Bank() {
    for (const char* bank : banks)
        if (fs::exists(bank))
            return bank;
    return {};
}

std::string Output(const std::string& command) {
    std::string out;
    if (FILE* pipe = popen(command.c_str(), "r")) {
        char buffer[4096];
        while (const std::size_t n = fread(buffer, 1, sizeof buffer, pipe))
            out.append(buffer, n);
        pclose(pipe);
    }
    return out;
}

struct DumpSample {
    int pitch = 0;
    int correction = 0;
};

struct DumpZone {
    std::string sample;
    int fineTune = 0;
    std::optional<std::pair<int, int>> loop; // as printed: the end exclusive
    int lowKey = 0, highKey = 127;
    int lowVelocity = 0, highVelocity = 127;
};

struct Dump {
    std::map<std::string, DumpSample> samples;
    std::map<std::string, std::vector<DumpZone>> instruments;
    std::map<std::string, std::vector<std::string>> presetInstruments;
};

Dump ParseDump(const std::string& text) {
    Dump dump;
    std::istringstream in(text);
    std::string line, section, owner, lastSample;
    const std::regex sampleHead(
        R"(^\t(.*) \(Depth: \d+, SampleRate: \d+, Pitch: (\d+), Pitch Correction: (\d+))");
    const std::regex instrumentHead(R"(^\t(.*) \(Instrument bag: \d+\))");
    const std::regex presetHead(R"(^\t(.*) \(Preset: \d+, Bank: \d+, Preset bag: \d+\))");
    const std::regex region(
        R"(^\t\t    Sample: (.*), Fine Tune: (-?\d+)(, Loop Start: (\d+), Loop End: (\d+))?)");
    const std::regex ranges(
        R"(^\t\t    Key range=(None|(\d+)-(\d+)), Velocity range=(None|(\d+)-(\d+)))");
    const std::regex presetInstrument(R"(^\t\t    Instrument: (.*))");
    std::smatch m;
    while (std::getline(in, line)) {
        if (line.rfind("Samples (", 0) == 0 || line.rfind("Instruments (", 0) == 0 ||
            line.rfind("Presets (", 0) == 0) {
            section = line.substr(0, line.find(' '));
            continue;
        }
        if (section == "Samples" && std::regex_search(line, m, sampleHead)) {
            dump.samples[m[1]] = {std::stoi(m[2]), static_cast<std::int8_t>(std::stoi(m[3]))};
        } else if (section == "Instruments" && std::regex_search(line, m, instrumentHead)) {
            owner = m[1];
        } else if (section == "Instruments" && std::regex_search(line, m, region)) {
            DumpZone zone;
            zone.sample = m[1];
            zone.fineTune = std::stoi(m[2]);
            if (m[3].matched)
                zone.loop = std::make_pair(std::stoi(m[4]), std::stoi(m[5]));
            dump.instruments[owner].push_back(zone);
        } else if (section == "Instruments" && std::regex_search(line, m, ranges) &&
                   !dump.instruments[owner].empty()) {
            DumpZone& zone = dump.instruments[owner].back();
            if (m[2].matched) {
                zone.lowKey = std::stoi(m[2]);
                zone.highKey = std::stoi(m[3]);
            }
            if (m[5].matched) {
                zone.lowVelocity = std::stoi(m[5]);
                zone.highVelocity = std::stoi(m[6]);
            }
        } else if (section == "Presets" && std::regex_search(line, m, presetHead)) {
            owner = m[1];
        } else if (section == "Presets" && std::regex_search(line, m, presetInstrument)) {
            dump.presetInstruments[owner].push_back(m[1]);
        }
    }
    return dump;
}

// The unity note of each zone of the preset's one instrument as libgig's own regions give it
// (sf2dump prints the sample's pitch but not a zone's overriding root key).
std::vector<int> UnityNotes(const fs::path& bank, const std::string& presetName) {
    RIFF::File riff(bank.string());
    sf2::File file(&riff);
    std::vector<int> notes;
    for (int p = 0; p < file.GetPresetCount(); ++p) {
        sf2::Preset& preset = *file.GetPreset(p);
        if (preset.Name != presetName)
            continue;
        for (int r = 0; r < preset.GetRegionCount(); ++r) {
            sf2::Instrument* own = preset.GetRegion(r)->pInstrument;
            for (int z = 0; own != nullptr && z < own->GetRegionCount(); ++z)
                notes.push_back(own->GetRegion(z)->GetUnityNote());
        }
        break;
    }
    return notes;
}

// The 16-bit mono words of a WAV file sf2extract wrote.
std::vector<std::int16_t> WavWords(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), {});
    for (std::size_t at = 12; at + 8 <= bytes.size();) {
        const std::uint32_t size =
            static_cast<std::uint8_t>(bytes[at + 4]) |
            static_cast<std::uint8_t>(bytes[at + 5]) << 8 |
            static_cast<std::uint8_t>(bytes[at + 6]) << 16 |
            static_cast<std::uint32_t>(static_cast<std::uint8_t>(bytes[at + 7])) << 24;
        if (std::string(&bytes[at], 4) == "data") {
            std::vector<std::int16_t> words(std::min<std::size_t>(size, bytes.size() - at - 8) / 2);
            for (std::size_t i = 0; i < words.size(); ++i)
                words[i] = static_cast<std::int16_t>(
                    static_cast<std::uint8_t>(bytes[at + 8 + 2 * i]) |
                    static_cast<std::uint8_t>(bytes[at + 9 + 2 * i]) << 8);
            return words;
        }
        at += 8 + size + (size & 1);
    }
    return {};
}

TEST(Sf2RealBank, EveryZoneAndSampleIsWhatLibgigsToolsShow) {
    const fs::path bank = Bank();
    const Dump dump = ParseDump(Output("sf2dump '" + bank.string() + "' 2>/dev/null"));
    ASSERT_FALSE(dump.samples.empty());
    const fs::path extracted = fs::path(testing::TempDir()) / "sf2extract";
    fs::remove_all(extracted);
    fs::create_directories(extracted);
    Output("sf2extract '" + bank.string() + "' '" + extracted.string() + "' >/dev/null 2>&1");
    std::map<std::string, fs::path> wavOf; // sample name -> file sf2extract wrote
    for (const auto& entry : fs::directory_iterator(extracted)) {
        const std::string name = entry.path().stem().string();
        wavOf[name.substr(name.find('_') + 1)] = entry.path();
    }

    int zonesCompared = 0, samplesCompared = 0, presetCount = 0;
    for (const auto& [presetName, instruments] : dump.presetInstruments) {
        if (instruments.size() != 1 || dump.instruments.at(instruments[0]).size() < 4 ||
            presetCount == presetsCompared)
            continue;
        ++presetCount;
        const std::vector<DumpZone>& zones = dump.instruments.at(instruments[0]);
        std::string error;
        const auto read = ReadInstrument(bank, {{}, presetName}, error);
        ASSERT_TRUE(read) << error;
        ASSERT_EQ(read->zones.size(), zones.size()) << presetName;
        const std::vector<int> unityNotes = UnityNotes(bank, presetName);
        ASSERT_EQ(unityNotes.size(), zones.size()) << presetName;
        for (std::size_t i = 0; i < zones.size(); ++i) {
            SCOPED_TRACE(presetName + " zone " + std::to_string(i));
            const Zone& zone = read->zones[i];
            const DumpZone& expected = zones[i];
            const Sound& sound = read->sounds[zone.sound];
            const DumpSample& header = dump.samples.at(expected.sample);
            EXPECT_EQ(sound.name, expected.sample);
            EXPECT_EQ(zone.lowKey, expected.lowKey);
            EXPECT_EQ(zone.highKey, expected.highKey);
            EXPECT_EQ(zone.lowVelocity, std::max(1, expected.lowVelocity));
            EXPECT_EQ(zone.highVelocity, expected.highVelocity);
            EXPECT_EQ(zone.rootKey, unityNotes[i]);
            EXPECT_EQ(sound.rootKey, header.pitch);
            EXPECT_DOUBLE_EQ(zone.tuneCents, expected.fineTune + header.correction);
            if (expected.loop) {
                ASSERT_EQ(zone.loops.size(), 1u);
                EXPECT_EQ(zone.loops[0].start, static_cast<std::uint32_t>(expected.loop->first));
                EXPECT_EQ(zone.loops[0].end, static_cast<std::uint32_t>(expected.loop->second - 1));
            }
            ++zonesCompared;
        }
        for (const Sound& sound : read->sounds) {
            ASSERT_TRUE(wavOf.count(sound.name)) << sound.name;
            EXPECT_EQ(sound.words, WavWords(wavOf[sound.name])) << sound.name;
            ++samplesCompared;
        }
    }
    EXPECT_GT(zonesCompared, 0);
    std::cout << bank.string() << ": " << presetCount << " presets, " << zonesCompared
              << " zones and " << samplesCompared << " samples compared\n";
}

} // namespace
} // namespace velomire::instrument

int main(int argc, char** argv) {
    if (velomire::instrument::Bank().empty() ||
        std::system("command -v sf2dump >/dev/null && command -v sf2extract >/dev/null") != 0) {
        std::cout << "No General MIDI SoundFont bank or no gigtools: skipped\n";
        return 77;
    }
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
