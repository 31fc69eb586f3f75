#include "instrument/devices/InstrumentFiles.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace velomire::instrument {
namespace {

namespace fs = std::filesystem;
using testing::Contains;
using testing::HasSubstr;

fs::path Preset(const std::string& folder, const std::string& text) {
    const fs::path dir = fs::path(testing::TempDir()) / "dspreset" / folder;
    fs::create_directories(dir);
    const fs::path path = dir / "Keys.dspreset";
    std::ofstream(path) << text;
    return path;
}

// What <groups> and <group> set, their samples inherit; a sample's own attribute wins; volumes of
// the levels add up in dB and tunings in semitones.
TEST(DecentSamplerReader, SamplesInheritTheirGroupsAttributes) {
    const fs::path path = Preset("inherit", R"(<?xml version="1.0"?>
<DecentSampler minVersion="1.0.0">
  <groups volume="-3dB" globalTuning="0.5" attack="0.01">
    <group loVel="1" hiVel="64" loopEnabled="true" volume="0.5">
      <sample path="samples/c3.wav" rootNote="48" loNote="40" hiNote="52" tuning="-0.25"
              loopStart="100" loopEnd="1999" start="10" end="3000" pan="-30"/>
      <sample path="samples\e3.wav" rootNote="52" loNote="53" hiNote="60" hiVel="70"
              loopEnabled="false" trigger="release"/>
    </group>
  </groups>
  <effects><effect type="reverb"/></effects>
</DecentSampler>)");
    std::string error;
    const auto read = ReadInstrument(path, {}, error);
    ASSERT_TRUE(read) << error;
    ASSERT_EQ(read->zones.size(), 2u);
    const Zone& c3 = read->zones[0];
    EXPECT_EQ(read->sounds[c3.sound].file, path.parent_path() / "samples" / "c3.wav");
    EXPECT_EQ(c3.lowKey, 40);
    EXPECT_EQ(c3.highKey, 52);
    EXPECT_EQ(c3.rootKey, 48);
    EXPECT_EQ(c3.lowVelocity, 1);
    EXPECT_EQ(c3.highVelocity, 64);
    EXPECT_DOUBLE_EQ(c3.tuneCents, 25);
    EXPECT_NEAR(c3.volumeDb, -3 - 6.0206, 0.001);
    EXPECT_DOUBLE_EQ(c3.pan, -30);
    EXPECT_EQ(c3.offset, 10u);
    EXPECT_EQ(c3.end, 3000u);
    EXPECT_EQ(c3.loopMode, LoopMode::forward);
    EXPECT_EQ(c3.loops, (std::vector<Loop>{{100, 1999}}));
    EXPECT_THAT(c3.notCarried, Contains("attack=0.01"));
    const Zone& e3 = read->zones[1];
    EXPECT_EQ(read->sounds[e3.sound].file, path.parent_path() / "samples" / "e3.wav");
    EXPECT_EQ(e3.highVelocity, 70);
    EXPECT_EQ(e3.loopMode, LoopMode::none);
    EXPECT_EQ(e3.trigger, Trigger::release);
    EXPECT_DOUBLE_EQ(e3.tuneCents, 50);
}

// Paths beside the preset or in its parent folder are taken; anything further out is refused,
// as are values outside their range and broken XML, each with one line naming the file.
TEST(DecentSamplerReader, RefusesWhatLeadsOutOrDoesNotFit) {
    std::string error;
    EXPECT_TRUE(ReadInstrument(Preset("parent", R"(<DecentSampler><groups><group>
        <sample path="../shared/a.wav"/></group></groups></DecentSampler>)"),
                               {}, error))
        << error;
    const std::vector<std::pair<std::string, std::string>> refused = {
        {R"(<sample path="../../a.wav"/>)", "outside the preset's folder"},
        {R"(<sample path="/etc/passwd"/>)", "not relative"},
        {R"(<sample path="a.wav" loNote="130"/>)", "lonote"},
        {R"(<sample path="a.wav" loNote="60" hiNote="50"/>)", "above its high one"},
        {R"(<sample path="a.wav" volume="loud"/>)", "not a volume"},
        {R"(<sample path="a.wav">)", "XML is broken"},
    };
    for (const auto& [sample, why] : refused) {
        const fs::path path = Preset("refused", "<DecentSampler><groups><group>" + sample +
                                                    "</group></groups></DecentSampler>");
        EXPECT_FALSE(ReadInstrument(path, {}, error)) << sample;
        EXPECT_THAT(error, HasSubstr(why)) << sample;
        EXPECT_THAT(error, HasSubstr(path.string()));
    }
}

} // namespace
} // namespace velomire::instrument
