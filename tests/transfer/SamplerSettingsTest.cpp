#include "transfer/SamplerSettings.h"
#include "transfer/SamplerModel.h"

#include <gtest/gtest.h>

#include <map>
#include <vector>

using namespace velomire::transfer;

namespace {

// Keeps the keys in a map and remembers the order in which they were written.
class MapStore : public SettingsStore {
public:
    std::optional<std::string> Read(std::string_view key) override {
        const auto it = values.find(std::string(key));
        return it == values.end() ? std::nullopt : std::optional(it->second);
    }
    void Write(std::string_view key, const std::string& value) override {
        values[std::string(key)] = value;
        written.emplace_back(key);
    }
    void Sync() override {}

    std::map<std::string, std::string> values;
    std::vector<std::string> written;
};

} // namespace

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

TEST(SamplerSettings, NonNumericValuesFallBackToTheDefault) {
    MapStore store;
    store.values = {
        {"Sampler model", "8"},      {"MidiOut device", " -1 "},     {"Midi channel", "15"},
        {"Max Sample", "lots"},      {"WaveOut device", "2x"},       {"Polyphony", ""},
        {"Exclusive channel", "+3"}, {"Max Program", "99999999999"}, {"Wait limit", "0"}};
    const SamplerSettings s = SamplerSettings::Read(store);
    EXPECT_EQ(s.samplerModel, 8);
    EXPECT_EQ(s.midiOutDevice, -1);
    EXPECT_EQ(s.midiChannel, 15);
    EXPECT_EQ(s.exclusiveChannel, 3);
    EXPECT_EQ(s.maxSample, 0);
    EXPECT_EQ(s.waveOutDevice, -1);
    EXPECT_EQ(s.polyphony, 0);
    EXPECT_EQ(s.maxProgram, 0);
    EXPECT_EQ(s.waitLimit, 60); // out of its range
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
    s.Write(store);
    const std::vector<std::string> order = {"Sampler model",  "Max Program",    "Max Sample",
                                            "Polyphony",      "Audio outputs",  "Exclusive channel",
                                            "Midi channel",   "MidiOut device", "MidiIn device",
                                            "WaveOut device", "Wait limit"};
    EXPECT_EQ(store.written, order);
    EXPECT_EQ(store.values["Midi channel"], "15");
    EXPECT_EQ(store.values["WaveOut device"], "-1");
    EXPECT_EQ(SamplerSettings::Read(store), s);
}

TEST(SamplerModel, FamiliesAndDefaultsFollowTheModelNumbers) {
    EXPECT_EQ(SamplerModel::Family(0), SamplerFamily::sds);
    EXPECT_EQ(SamplerModel::Family(2), SamplerFamily::s900);
    EXPECT_EQ(SamplerModel::Family(9), SamplerFamily::s1000);
    EXPECT_EQ(SamplerModel::Family(-1), SamplerFamily::none);
    EXPECT_EQ(SamplerModel::Family(10), SamplerFamily::none);
    EXPECT_FALSE(SamplerModel::IsAkai(0));
    EXPECT_TRUE(SamplerModel::IsAkai(1));

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
}
