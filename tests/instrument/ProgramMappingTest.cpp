#include "instrument/ProgramMapping.h"

#include "transfer/OffPitch.h"
#include "transfer/SamplerModel.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

namespace velomire::instrument {
namespace {

using transfer::SamplerModel;

constexpr std::int32_t s3000 = 5;
constexpr std::int32_t s950 = SamplerModel::s950;

Sound MonoSound(std::string name, std::uint32_t rate = 44100, std::uint64_t frames = 1000) {
    Sound sound;
    sound.name = std::move(name);
    sound.file = "/x/" + sound.name + ".wav";
    sound.rate = rate;
    sound.frames = frames;
    return sound;
}

Zone KeyZone(std::size_t sound, int low, int high, int lowVelocity = 1, int highVelocity = 127) {
    Zone zone;
    zone.sound = sound;
    zone.lowKey = low;
    zone.highKey = high;
    zone.rootKey = low;
    zone.lowVelocity = lowVelocity;
    zone.highVelocity = highVelocity;
    return zone;
}

bool Mentions(const std::vector<std::string>& lines, const std::string& text) {
    return std::any_of(lines.begin(), lines.end(),
                       [&text](const std::string& line) { return line.find(text) != line.npos; });
}

TEST(ProgramMapping, EachVelocityLayerIsARowWithItsOwnRange) {
    Instrument instrument;
    instrument.sounds = {MonoSound("soft"), MonoSound("loud")};
    instrument.zones = {KeyZone(0, 36, 47, 1, 63), KeyZone(1, 36, 47, 64, 127)};
    const ProgramMapping mapping = MapInstrument(instrument, s3000);
    ASSERT_EQ(mapping.rows.size(), 2u);
    EXPECT_EQ(mapping.rows[0].lowVelocity, 1);
    EXPECT_EQ(mapping.rows[0].highVelocity, 63);
    EXPECT_EQ(mapping.rows[1].lowVelocity, 64);
    EXPECT_EQ(mapping.rows[1].lowKey, 36);
    EXPECT_FALSE(mapping.report.Changed());
}

TEST(ProgramMapping, LoopsTuneAndRootKeysCarryOver) {
    Instrument instrument;
    instrument.sounds = {MonoSound("a", 44100, 10000)};
    instrument.sounds[0].loops = {{100, 199}, {300, 399}};
    Zone zone = KeyZone(0, 20, 30);
    zone.rootKey = 12; // below the program's keys: moved, the tune keeps the pitch
    zone.tuneCents = 10;
    zone.offset = 50;
    zone.end = 8999;
    zone.loopModeFromSound = true;
    instrument.zones = {zone};
    const ProgramMapping mapping = MapInstrument(instrument, s3000);
    ASSERT_EQ(mapping.rows.size(), 1u);
    const ImportRow& row = mapping.rows[0];
    EXPECT_EQ(row.lowKey, 24);
    EXPECT_EQ(row.highKey, 30);
    EXPECT_EQ(row.rootKey, 24);
    EXPECT_EQ(row.keygroupTune, TuneUnits(1210));
    EXPECT_EQ(row.soundStart, 50u);
    EXPECT_EQ(row.soundEnd, 8999u);
    EXPECT_EQ(row.loops, (std::vector<Loop>{{100, 199}, {300, 399}}));
    EXPECT_EQ(row.loopMode, program::loopNormal);
    EXPECT_TRUE(Mentions(mapping.report.folded, "keys 20-30 cut to 24-30"));
}

TEST(ProgramMapping, RoundRobinsReleaseTriggersAndOpcodesAreNamedAsNotCarried) {
    Instrument instrument;
    instrument.sounds = {MonoSound("a"), MonoSound("b"), MonoSound("c")};
    Zone first = KeyZone(0, 60, 60);
    first.sequenceLength = 2;
    Zone second = first;
    second.sound = 1;
    second.sequencePosition = 2;
    Zone release = KeyZone(2, 60, 60);
    release.trigger = Trigger::release;
    first.notCarried = {"ampeg_release"};
    instrument.zones = {first, second, release};
    const ProgramMapping mapping = MapInstrument(instrument, s3000);
    ASSERT_EQ(mapping.rows.size(), 1u);
    EXPECT_EQ(mapping.rows[0].zones, std::vector<std::size_t>{0});
    EXPECT_TRUE(mapping.report.Changed());
    const auto& dropped = mapping.report.dropped;
    EXPECT_TRUE(Mentions(dropped, "zone 2: round robin after position 1, not carried"));
    EXPECT_TRUE(Mentions(dropped, "zone 3: release trigger, not carried"));
    EXPECT_TRUE(Mentions(dropped, "ampeg_release not carried: zone 1"));
}

// Sixty key zones of one sound: neighbours with the same settings merge, each merge listed.
TEST(ProgramMapping, PastFortyRowsNeighbouringZonesOfOneSoundMerge) {
    Instrument instrument;
    instrument.sounds = {MonoSound("a")};
    for (int key = 30; key < 90; ++key) {
        Zone zone = KeyZone(0, key, key);
        zone.rootKey = 60;
        instrument.zones.push_back(zone);
    }
    const ProgramMapping mapping = MapInstrument(instrument, s3000);
    ASSERT_EQ(mapping.rows.size(), 1u);
    EXPECT_EQ(mapping.rows[0].lowKey, 30);
    EXPECT_EQ(mapping.rows[0].highKey, 89);
    EXPECT_EQ(mapping.report.folded.size(), 59u);
    // Under forty rows nothing is merged.
    instrument.zones.resize(40);
    EXPECT_EQ(MapInstrument(instrument, s3000).rows.size(), 40u);
}

// Ten key zones of eight velocity layers each: layers farthest from velocity 100 go first and
// their neighbour takes their velocities; the layer holding 100 stays.
TEST(ProgramMapping, PastFortyRowsTheLayersFarthestFromVelocity100AreDropped) {
    Instrument instrument;
    for (int k = 0; k < 10; ++k) {
        for (int layer = 0; layer < 8; ++layer) {
            instrument.sounds.push_back(
                MonoSound("s" + std::to_string(k) + "_" + std::to_string(layer)));
            instrument.zones.push_back(KeyZone(instrument.sounds.size() - 1, 40 + 2 * k, 41 + 2 * k,
                                               1 + 16 * layer, 16 + 16 * layer));
        }
    }
    const ProgramMapping mapping = MapInstrument(instrument, s3000);
    ASSERT_EQ(mapping.rows.size(), 40u);
    EXPECT_EQ(mapping.report.folded.size(), 40u);
    for (int k = 0; k < 10; ++k) {
        std::vector<const ImportRow*> layers;
        for (const ImportRow& row : mapping.rows) {
            if (row.lowKey == 40 + 2 * k) {
                layers.push_back(&row);
            }
        }
        ASSERT_EQ(layers.size(), 4u) << "key zone " << k;
        // The layers kept cover every velocity (the last layer's 128 is cut to 127) and include
        // the one holding 100 (97-112).
        int covered = 0;
        bool holds100 = false;
        for (const ImportRow* row : layers) {
            covered += row->highVelocity - row->lowVelocity + 1;
            holds100 = holds100 || (row->lowVelocity == 97 && row->highVelocity == 112);
        }
        EXPECT_EQ(covered, 127);
        EXPECT_TRUE(holds100);
    }
    EXPECT_TRUE(Mentions(mapping.report.folded,
                         "keys 40-41: velocity layer 1-16 of zone 1 (s0_0) "
                         "dropped; zone 2 (s0_1) now plays velocities 1-32"));
}

TEST(ProgramMapping, TheS950TakesTwoLayersPerKeyZoneAndItsMemory) {
    Instrument instrument;
    for (int layer = 0; layer < 4; ++layer) {
        instrument.sounds.push_back(MonoSound("v" + std::to_string(layer), 32000));
        instrument.zones.push_back(
            KeyZone(instrument.sounds.size() - 1, 36, 47, 1 + 32 * layer, 32 + 32 * layer));
    }
    const ProgramMapping mapping = MapInstrument(instrument, s950);
    // 1-32 goes first (33-64 takes it), then 1-64 (65-96 takes it).
    ASSERT_EQ(mapping.rows.size(), 2u);
    EXPECT_EQ(mapping.rows[0].lowVelocity, 1);
    EXPECT_EQ(mapping.rows[0].highVelocity, 96);
    EXPECT_EQ(mapping.rows[1].lowVelocity, 97);
    EXPECT_EQ(mapping.rows[1].highVelocity, 127);

    // Two sounds of a million words each do not fit 1,572,864 words: the zone farther from
    // middle C goes.
    Instrument big;
    big.sounds = {MonoSound("low", 32000, 1000000), MonoSound("mid", 32000, 1000000)};
    big.zones = {KeyZone(0, 24, 35), KeyZone(1, 55, 65)};
    const ProgramMapping fitted = MapInstrument(big, s950);
    ASSERT_EQ(fitted.rows.size(), 1u);
    EXPECT_EQ(fitted.rows[0].lowKey, 55);
    EXPECT_TRUE(Mentions(fitted.report.folded, "keys 24-35 of zone 1 (low) dropped: the S950"));
}

TEST(ProgramMapping, RatesTheModelDoesNotPlayAreConvertedOrTunedWithinACent) {
    Instrument instrument;
    instrument.sounds = {MonoSound("a", 48000), MonoSound("b", 96000), MonoSound("c", 32000),
                         MonoSound("d", 22050)};
    for (std::size_t s = 0; s < 4; ++s) {
        instrument.zones.push_back(KeyZone(s, 40 + static_cast<int>(s), 40 + static_cast<int>(s)));
    }
    const ProgramMapping s1000 = MapInstrument(instrument, s3000);
    ASSERT_EQ(s1000.sounds.size(), 4u);
    EXPECT_EQ(s1000.sounds[1].convertTo, program::TargetRate::rate44100);
    EXPECT_EQ(s1000.sounds[1].rate, 44100u);
    EXPECT_EQ(s1000.sounds[1].frames, 459u);
    for (const std::size_t s : {0u, 2u, 3u}) {
        const SoundPlan& plan = s1000.sounds[s];
        EXPECT_EQ(plan.convertTo, program::TargetRate::keep);
        program::SampleBlock sample;
        sample.sampleRate = plan.rate;
        sample.headerRate = plan.rate;
        sample.tuneOffset = plan.tuneOffset;
        const auto off = transfer::OffPitchOf(sample, s3000);
        EXPECT_LT(off ? std::abs(off->cents) : 0.0, 1.0) << plan.rate;
    }
    const ProgramMapping s900 = MapInstrument(instrument, s950);
    EXPECT_EQ(s900.sounds[0].convertTo, program::TargetRate::s900);
    EXPECT_EQ(s900.sounds[2].convertTo, program::TargetRate::keep);

    // Words off an S900/S950 floppy go back to that family at their rate, as its program sent
    // them; to the S1000 family as any sound.
    instrument.sounds[0].diskFamily = transfer::SamplerFamily::s900;
    const ProgramMapping again = MapInstrument(instrument, s950);
    EXPECT_EQ(again.sounds[0].convertTo, program::TargetRate::keep);
    EXPECT_EQ(again.sounds[0].rate, 48000u);
    EXPECT_EQ(MapInstrument(instrument, s3000).sounds[0].tuneOffset, s1000.sounds[0].tuneOffset);
}

TEST(ProgramMapping, SdsGetsOneSamplePerSoundAndTheKeyMapToSet) {
    Instrument instrument;
    instrument.sounds = {MonoSound("kick"), MonoSound("snare")};
    instrument.sounds[1].channels = 2;
    instrument.zones = {KeyZone(0, 36, 36), KeyZone(0, 37, 37), KeyZone(1, 38, 38)};
    const ProgramMapping mapping = MapInstrument(instrument, SamplerModel::sds);
    ASSERT_EQ(mapping.rows.size(), 2u);
    EXPECT_TRUE(Mentions(mapping.report.carried,
                         "sample 0: zones 1, 2 (kick), root key 36; map keys 36-37 onto it"));
    EXPECT_TRUE(Mentions(mapping.report.carried, "sample 1 and 2: zone 3 (snare)"));
}

TEST(ProgramMapping, AHundredThousandZonesFoldInBoundedTime) {
    Instrument instrument;
    for (int i = 0; i < 1000; ++i) {
        instrument.sounds.push_back(MonoSound("s" + std::to_string(i)));
    }
    for (int i = 0; i < 100000; ++i) {
        const int velocity = 1 + i % 127;
        instrument.zones.push_back(KeyZone(static_cast<std::size_t>(i % 1000), 24 + i % 100,
                                           24 + i % 100, velocity, velocity));
    }
    const ProgramMapping mapping = MapInstrument(instrument, s3000);
    EXPECT_EQ(mapping.rows.size(), 40u);
}

} // namespace
} // namespace velomire::instrument
