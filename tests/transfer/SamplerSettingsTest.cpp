#include "transfer/SamplerSettings.h"
#include "transfer/PortNames.h"
#include "transfer/SamplerModel.h"

#include "support/MapSettingsStore.h"

#include <gtest/gtest.h>

#include <map>
#include <vector>

using namespace velomire::transfer;

using MapStore = velomire::testing::MapSettingsStore;

TEST(SamplerSettings, AnEmptyProfileGivesNoModelNoDevicesAndZeroLimits) {
    MapStore store;
    const SamplerSettings s = SamplerSettings::Read(store);
    EXPECT_EQ(s.samplerModel, -1);
    EXPECT_EQ(s.midiOutDevice, -1);
    EXPECT_EQ(s.midiInDevice, -1);
    EXPECT_EQ(s.waveOutDevice, -1);
    EXPECT_EQ(s.maxProgram, 0);
    EXPECT_EQ(s.midiChannel, 0);
    EXPECT_EQ(s.exclusiveChannel, 0);
}

TEST(SamplerSettings, ValuesOutsideTheOptionsRangesReadAsUnsetAndAreNamedInOneWarning) {
    MapStore store;
    store.values = {{"Sampler model", "8"},       {"MidiOut device", " -1 "},
                    {"Midi channel", "200"},      {"Max Sample", "lots"},
                    {"WaveOut device", "2x"},     {"Polyphony", "64"},
                    {"Exclusive channel", "+3"},  {"Max Program", "99999999999"},
                    {"Audio outputs", "1"},       {"MidiIn device", "-2"},
                    {"MidiOut device name", "A"}, {"MidiIn device name", std::string(300, 'x')},
                    {"Wait limit", "0"}};
    SettingsReader reader(store);
    const SamplerSettings s = SamplerSettings::Read(reader);
    EXPECT_EQ(s.samplerModel, 8);
    EXPECT_EQ(s.midiOutDevice, -1);
    EXPECT_EQ(s.midiChannel, 0); // 200 would be the channel byte C8
    EXPECT_EQ(s.exclusiveChannel, 3);
    EXPECT_EQ(s.maxSample, 0);
    EXPECT_EQ(s.waveOutDevice, -1);
    EXPECT_EQ(s.polyphony, 64);
    EXPECT_EQ(s.maxProgram, 0);
    EXPECT_EQ(s.audioOutputs, 0);
    EXPECT_EQ(s.midiInDevice, -1);
    EXPECT_EQ(s.midiOutName, "A");
    EXPECT_EQ(s.midiInName, "");
    EXPECT_EQ(s.waitLimit, 60); // out of its range
    EXPECT_EQ(reader.Ignored(),
              (std::vector<std::string>{"Max Program", "Max Sample", "Audio outputs",
                                        "Midi channel", "MidiIn device", "WaveOut device",
                                        "Wait limit", "MidiIn device name"}));
    const std::string warning = reader.Warning();
    EXPECT_EQ(warning.find('\n'), std::string::npos);
    EXPECT_NE(warning.find("\"Midi channel\" = 200"), std::string::npos) << warning;
    EXPECT_NE(warning.find("\"MidiIn device name\" = xxxxxxxxxxxxxxxxxxxxxxxx..."),
              std::string::npos)
        << warning;

    // Each channel's ends, 0-based, are kept; one past them is not.
    for (const auto& [key, last] : {std::pair{"Midi channel", 15}, {"Exclusive channel", 127}}) {
        MapStore edge;
        edge.values = {{key, std::to_string(last)}};
        SettingsReader edgeReader(edge);
        SamplerSettings::Read(edgeReader);
        EXPECT_TRUE(edgeReader.Ignored().empty()) << key;
        edge.values = {{key, std::to_string(last + 1)}};
        SettingsReader pastReader(edge);
        SamplerSettings::Read(pastReader);
        EXPECT_EQ(pastReader.Ignored(), std::vector<std::string>{key});
    }
}

TEST(SamplerSettings, WritesElevenKeysInTheOptionsOrderAndReadsThemBack) {
    MapStore store;
    SamplerSettings s;
    s.samplerModel = 3;
    s.maxProgram = 100;
    s.maxSample = 200;
    s.polyphony = 16;
    s.audioOutputs = 8;
    s.exclusiveChannel = 0;
    s.midiChannel = 15;
    s.midiOutDevice = 2;
    s.midiInDevice = 4;
    s.waveOutDevice = -1;
    s.waitLimit = 90;
    s.midiOutName = "JACK: velomire-sampler:in";
    s.midiInName = "UM-ONE: UM-ONE MIDI 1 (20:0)";
    s.Write(store);
    const std::vector<std::string> order = {
        "Sampler model",     "Max Program",       "Max Sample",   "Polyphony",
        "Audio outputs",     "Exclusive channel", "Midi channel", "MidiOut device",
        "MidiIn device",     "WaveOut device",    "Wait limit",   "MidiOut device name",
        "MidiIn device name"};
    EXPECT_EQ(store.written, order);
    EXPECT_EQ(store.values["Midi channel"], "15");
    EXPECT_EQ(store.values["WaveOut device"], "-1");
    EXPECT_EQ(SamplerSettings::Read(store), s);
}

TEST(PortNames, ASavedPortIsFoundByItsNameAndNeverReplacedByAnother) {
    const std::vector<std::string> today = {"JACK: drum-machine:in", "JACK: velomire-sampler:in",
                                            "UM-ONE: UM-ONE MIDI 1 (24:0)"};
    EXPECT_EQ(FindSavedPort(today, "JACK: velomire-sampler:in", 0), 1); // moved one down
    EXPECT_EQ(FindSavedPort(today, "JACK: velomire-sampler:in", 1), 1);
    // The sequencer numbered the interface anew when it was plugged in again.
    EXPECT_EQ(FindSavedPort(today, "UM-ONE: UM-ONE MIDI 1 (20:0)", 2), 2);
    EXPECT_EQ(FindSavedPort(today, "JACK: other:in", 0), std::nullopt);
    EXPECT_EQ(FindSavedPort(today, "UM-ONE: UM-ONE MIDI 2 (20:1)", 2), std::nullopt);
    // Two ports of one name: the saved position tells them apart.
    EXPECT_EQ(FindSavedPort({"USB MIDI", "USB MIDI"}, "USB MIDI", 1), 1);
    // Settings from before names were kept: the position, when there is one.
    EXPECT_EQ(FindSavedPort(today, "", 2), 2);
    EXPECT_EQ(FindSavedPort(today, "", 3), std::nullopt);

    EXPECT_TRUE(IsOwnJackPort("Velomire-in:in"));
    EXPECT_TRUE(IsOwnJackPort("Velomire:out"));
    EXPECT_TRUE(IsOwnJackPort("Velomire-in-01:in"));
    EXPECT_FALSE(IsOwnJackPort("velomire-sampler:in"));
    EXPECT_FALSE(IsOwnJackPort("Velomire-sampler:in"));
    EXPECT_FALSE(IsOwnJackPort("Velomire2:in"));
}

TEST(SamplerModel, FamiliesAndDefaultsFollowTheModelNumbers) {
    EXPECT_EQ(SamplerModel::Family(0), SamplerFamily::sds);
    EXPECT_EQ(SamplerModel::Family(2), SamplerFamily::s900);
    EXPECT_EQ(SamplerModel::Family(9), SamplerFamily::s1000);
    EXPECT_EQ(SamplerModel::Family(-1), SamplerFamily::none);
    EXPECT_EQ(SamplerModel::Family(SamplerModel::count), SamplerFamily::none);

    const auto s1000 = *SamplerModel::Find(3);
    EXPECT_EQ(s1000.shortName, "S1000");
    EXPECT_EQ(std::tie(s1000.maxProgram, s1000.maxSample, s1000.polyphony, s1000.audioOutputs),
              std::make_tuple(100, 200, 16, 8));
    EXPECT_EQ(SamplerModel::Find(4)->audioOutputs, 2); // S2800
    EXPECT_EQ(SamplerModel::Find(7)->audioOutputs, 2); // S2000
}

TEST(SamplerModel, ParsesNumbersAndNamesInAnyCase) {
    EXPECT_EQ(SamplerModel::Parse("8"), 8);
    EXPECT_EQ(SamplerModel::Parse("akai s3000 xl"), 8);
    EXPECT_EQ(SamplerModel::Parse("S950"), 2);
    EXPECT_EQ(SamplerModel::Parse("sds compatible sampler"), 0);
    EXPECT_EQ(SamplerModel::Parse("10"), std::nullopt);
    EXPECT_EQ(SamplerModel::Parse("-1"), std::nullopt);
    EXPECT_EQ(SamplerModel::Parse("S9000"), std::nullopt);
    EXPECT_EQ(SamplerModel::Parse("akai"), std::nullopt);
    // The short names musicians use, letter case and spaces ignored.
    for (const auto& [name, model] : std::vector<std::pair<const char*, int>>{
             {"SDS", 0}, {"S1100", 3}, {"S3000XL", 8}, {"s3200 xl", 9}, {"Akai S1100 ", 3}}) {
        EXPECT_EQ(SamplerModel::Parse(name), model) << name;
    }
}
