#include "instrument/ReaderTestSupport.h"
#include "instrument/Sf2Builder.h"
#include "instrument/devices/InstrumentFiles.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace velomire::instrument {
namespace {

using test::BuildSf2;
using test::Ramp;
using test::ReadFirst;
using test::Sf2Gen;
using test::Sf2Range;
using testing::Contains;
using testing::HasSubstr;

namespace fs = std::filesystem;

// Generator numbers of the SoundFont 2 format.
enum : std::uint16_t {
    startOffset = 0,
    endOffset = 1,
    endLoopOffset = 3,
    pan = 17,
    attackVolEnv = 34,
    instrument = 41,
    keyRange = 43,
    velRange = 44,
    attenuation = 48,
    coarseTune = 51,
    fineTune = 52,
    sampleId = 53,
    sampleModes = 54,
    overridingRootKey = 58,
    initialFilterFc = 8,
};

std::uint16_t Amount(int value) {
    return static_cast<std::uint16_t>(static_cast<std::int16_t>(value));
}

fs::path Write(const std::string& name, const std::vector<std::uint8_t>& bytes) {
    const fs::path path = fs::path(testing::TempDir()) / name;
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    return path;
}

TEST(Sf2Reader, CombinesPresetAndInstrumentZonesAsAPlayerDoes) {
    test::Sf2Sample low{"low", Ramp(100)};
    low.pitch = 48;
    low.correction = -5;
    test::Sf2Sample high{"high", Ramp(80)};
    high.pitch = 72;
    // The preset's global zone limits the keys; its own zone adds tune, attenuation and pan.
    test::Sf2Preset preset{
        "Piano",
        3,
        8,
        {{{{keyRange, Sf2Range(40, 80)}}, {}},
         {{{fineTune, Amount(3)}, {attenuation, 60}, {pan, Amount(250)}, {instrument, 0}}, {}}}};
    test::Sf2Instrument piano{
        "Piano",
        {{{{coarseTune, Amount(1)}}, {}}, // the instrument's global zone
         {{{keyRange, Sf2Range(30, 50)},
           {velRange, Sf2Range(0, 100)},
           {fineTune, Amount(-10)},
           {sampleId, 0}},
          {}},
         {{{keyRange, Sf2Range(51, 90)},
           {coarseTune, Amount(-2)},
           {overridingRootKey, 70},
           {sampleId, 1}},
          {}},
         {{{keyRange, Sf2Range(100, 110)}, {sampleId, 1}}, {}}}}; // beyond the preset's keys
    const Instrument read =
        ReadFirst(Write("combine.sf2", BuildSf2({preset}, {piano}, {low, high})));

    EXPECT_EQ(read.name, "Piano");
    ASSERT_EQ(read.zones.size(), 2u);
    const Zone& first = read.zones[0];
    EXPECT_EQ(first.lowKey, 40);
    EXPECT_EQ(first.highKey, 50);
    EXPECT_EQ(first.lowVelocity, 1);
    EXPECT_EQ(first.highVelocity, 100);
    EXPECT_EQ(first.rootKey, 48);
    // 100 (instrument global coarse) - 10 + 3 (preset) - 5 (sample's correction)
    EXPECT_DOUBLE_EQ(first.tuneCents, 88);
    EXPECT_DOUBLE_EQ(first.volumeDb, -6);
    EXPECT_DOUBLE_EQ(first.pan, 50);
    const Zone& second = read.zones[1];
    EXPECT_EQ(second.lowKey, 51);
    EXPECT_EQ(second.highKey, 80);
    EXPECT_EQ(second.rootKey, 70); // the overriding root key, not the sample's 72
    EXPECT_DOUBLE_EQ(second.tuneCents, -200 + 3);
    ASSERT_EQ(read.sounds.size(), 2u);
    EXPECT_EQ(read.sounds[0].words, Ramp(100));
    EXPECT_EQ(read.sounds[1].frames, 80u);
    EXPECT_EQ(read.sounds[0].tuneCents, 0); // counted once, in the zone
}

TEST(Sf2Reader, LoopEndIsExclusiveInTheBankAndInclusiveInTheInstrument) {
    test::Sf2Sample looped{"looped", Ramp(100)};
    looped.loopStart = 10;
    looped.loopEnd = 20; // the first frame after the loop
    test::Sf2Preset preset{"Loops", 0, 0, {{{{instrument, 0}}, {}}}};
    test::Sf2Instrument loops{"Loops",
                              {{{{keyRange, Sf2Range(0, 10)}, {sampleModes, 1}, {sampleId, 0}}, {}},
                               {{{keyRange, Sf2Range(11, 20)},
                                 {sampleModes, 3},
                                 {endLoopOffset, Amount(-2)},
                                 {startOffset, 5},
                                 {endOffset, Amount(-3)},
                                 {sampleId, 0}},
                                {}},
                               {{{keyRange, Sf2Range(21, 30)}, {sampleId, 0}}, {}}}};
    const Instrument read = ReadFirst(Write("loops.sf2", BuildSf2({preset}, {loops}, {looped})));

    ASSERT_EQ(read.zones.size(), 3u);
    ASSERT_EQ(read.sounds.size(), 1u);
    EXPECT_EQ(read.sounds[0].loops, (std::vector<Loop>{{10, 19}}));
    EXPECT_EQ(read.zones[0].loopMode, LoopMode::forward);
    EXPECT_EQ(read.zones[0].loops, (std::vector<Loop>{{10, 19}}));
    EXPECT_FALSE(read.zones[0].end);
    EXPECT_EQ(read.zones[1].loopMode, LoopMode::sustain);
    EXPECT_EQ(read.zones[1].loops, (std::vector<Loop>{{10, 17}}));
    EXPECT_EQ(read.zones[1].offset, 5u);
    EXPECT_EQ(read.zones[1].end, 96u); // 100 frames, the end 3 earlier, inclusive
    EXPECT_EQ(read.zones[2].loopMode, LoopMode::none);
}

TEST(Sf2Reader, TakesBothHalvesOfAStereoPairIntoOneZone) {
    test::Sf2Sample left{"pad L", Ramp(50)};
    left.type = 4;
    left.link = 1;
    test::Sf2Sample right{"pad R", Ramp(50)};
    right.type = 2;
    right.link = 0;
    test::Sf2Preset preset{"Pad", 0, 0, {{{{instrument, 0}}, {}}}};
    test::Sf2Instrument pad{
        "Pad",
        {{{{pan, Amount(-500)}, {sampleId, 0}}, {}}, {{{pan, Amount(500)}, {sampleId, 1}}, {}}}};
    const Instrument read =
        ReadFirst(Write("stereo.sf2", BuildSf2({preset}, {pad}, {left, right})));

    ASSERT_EQ(read.zones.size(), 1u);
    EXPECT_EQ(read.sounds[read.zones[0].sound].name, "pad L");
    ASSERT_TRUE(read.zones[0].rightSound);
    EXPECT_EQ(read.sounds[*read.zones[0].rightSound].name, "pad R");
    EXPECT_DOUBLE_EQ(read.zones[0].pan, 0);
}

TEST(Sf2Reader, Rounds24BitSamplesTo16BitsAsAddSamplesDoes) {
    test::Sf2Sample wide{"wide", {256, 256, -1, 32767}};
    wide.low = {0x80, 0x7F, 0x80, 0xFF}; // half a step up, just under, half of -1, at the top
    test::Sf2Preset preset{"Wide", 0, 0, {{{{instrument, 0}}, {}}}};
    test::Sf2Instrument own{"Wide", {{{{sampleId, 0}}, {}}}};
    const Instrument read = ReadFirst(Write("wide.sf2", BuildSf2({preset}, {own}, {wide})));

    ASSERT_EQ(read.sounds.size(), 1u);
    // Halves away from zero: 256.5 -> 257, -0.5 -> -1; the top stays 32767.
    EXPECT_EQ(read.sounds[0].words, (std::vector<std::int16_t>{257, 256, -1, 32767}));
}

TEST(Sf2Reader, NamesWhatNoProgramRowHolds) {
    test::Sf2Preset preset{"Named", 0, 0, {{{{instrument, 0}}, {initialFilterFc}}}};
    test::Sf2Instrument own{"Named", {{{{attackVolEnv, Amount(-1200)}, {sampleId, 0}}, {}}}};
    const Instrument read =
        ReadFirst(Write("named.sf2", BuildSf2({preset}, {own}, {{"s", Ramp(10)}})));

    ASSERT_EQ(read.zones.size(), 1u);
    EXPECT_THAT(read.zones[0].notCarried, Contains("attackVolEnv"));
    EXPECT_THAT(read.zones[0].notCarried, Contains("modulator to initialFilterFc"));
}

TEST(Sf2Reader, ListsPresetsAndPicksOneByNumberOrName) {
    test::Sf2Instrument own{"I", {{{{sampleId, 0}}, {}}}};
    const fs::path path = Write("list.sf2", BuildSf2({{"Alpha", 5, 0, {{{{instrument, 0}}, {}}}},
                                                      {"Beta", 1, 128, {{{{instrument, 0}}, {}}}}},
                                                     {own}, {{"s", Ramp(10)}}));
    std::string error;
    const auto list = ListInstruments(path, error);
    ASSERT_TRUE(list) << error;
    ASSERT_EQ(list->size(), 2u);
    EXPECT_EQ((*list)[1].name, "Beta");
    EXPECT_EQ((*list)[1].number, 1);
    EXPECT_EQ((*list)[1].detail, "bank 128 preset 1");
    EXPECT_EQ(ReadInstrument(path, {1, {}}, error)->name, "Beta");
    EXPECT_EQ(ReadInstrument(path, {{}, "alpha"}, error)->name, "Alpha");
    EXPECT_FALSE(ReadInstrument(path, {7, {}}, error));
    EXPECT_THAT(error, HasSubstr("no instrument 7"));
}

// Truncated at every length and with every chunk size corrupted, a bank is either read or
// refused with one line naming the file; nothing crashes or asks for absurd memory.
TEST(Sf2Reader, RefusesBrokenBanksWithOneClearError) {
    test::Sf2Instrument own{"I", {{{{sampleId, 0}}, {}}}};
    const auto good = BuildSf2({{"P", 0, 0, {{{{instrument, 0}}, {}}}}}, {own}, {{"s", Ramp(40)}});
    int refused = 0;
    auto check = [&](const std::vector<std::uint8_t>& bytes) {
        const fs::path path = Write("broken.sf2", bytes);
        std::string error;
        if (!ReadInstrument(path, {}, error)) {
            ++refused;
            EXPECT_THAT(error, HasSubstr(path.string()));
            EXPECT_EQ(error.find('\n'), std::string::npos) << error;
        }
    };
    for (std::size_t length = 0; length < good.size(); length += 7)
        check(std::vector<std::uint8_t>(good.begin(),
                                        good.begin() + static_cast<std::ptrdiff_t>(length)));
    for (std::size_t at = 4; at + 4 <= good.size(); at += 2) {
        if (std::string(good.begin() + static_cast<std::ptrdiff_t>(at) - 4,
                        good.begin() + static_cast<std::ptrdiff_t>(at)) == "LIST" ||
            good[at - 4] == 's' || good[at - 4] == 'p' || good[at - 4] == 'i') {
            auto bad = good;
            bad[at] = bad[at + 1] = bad[at + 2] = 0xFF; // a chunk claiming ~16 MB more
            check(bad);
        }
    }
    EXPECT_GT(refused, 0);

    // A chunk whose id is no text is not named by it: the error stays one line.
    auto unnamed = good;
    const auto ifil =
        std::search(unnamed.begin(), unnamed.end(), std::begin("ifil"), std::begin("ifil") + 4);
    ASSERT_NE(ifil, unnamed.end());
    std::fill_n(ifil, 4, '\n');
    std::fill_n(ifil + 4, 3, 0xFF);
    check(unnamed);
}

} // namespace
} // namespace velomire::instrument
