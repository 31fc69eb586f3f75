#include "instrument/ReaderTestSupport.h"
#include "instrument/devices/InstrumentFiles.h"
#include "instrument/devices/LibGig.h"

#include <gig.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>

namespace velomire::instrument {
namespace {

using test::Ramp;
using test::ReadFirst;
using testing::Contains;
using testing::HasSubstr;

namespace fs = std::filesystem;

// Collections written by libgig's own DLS writer.
struct Wsmp {
    int unity = 60;
    int fine = 0;
    std::int32_t gain = 0;
    std::optional<DLS::sample_loop_t> loop = {}; // Size, LoopType, LoopStart, LoopLength
};
struct Wave {
    std::string name;
    std::uint16_t channels = 1;
    std::uint16_t bits = 16;
    std::vector<std::uint8_t> bytes; // little-endian frames, interleaved
    std::optional<Wsmp> wsmp = {};   // the wave's own
};
struct Region {
    int low = 0, high = 127, lowVelocity = 0, highVelocity = 0;
    int wave = 0;
    std::optional<Wsmp> wsmp; // none: the region takes its wave's
    bool articulated = false;
    int keyGroup = 0;
};
struct Inst {
    std::string name;
    int bank = 0, program = 0;
    std::vector<Region> regions;
};

// libgig writes a wsmp chunk into every region: those meant to have none get this gain, and lose
// the chunk after saving.
constexpr std::int32_t noWsmp = 0x7A5A1234;

struct ListOf : DLS::Resource { // the chunk list libgig keeps to itself
    static RIFF::List* Of(DLS::Resource& r) { return r.*(&ListOf::pResourceList); }
};

void PutWsmp(RIFF::List* list, const Wsmp& wsmp) {
    RIFF::Chunk* chunk = list->AddSubChunk(CHUNK_ID_WSMP, wsmp.loop ? 36 : 20);
    auto* b = static_cast<std::uint8_t*>(chunk->LoadChunkData());
    const std::uint32_t header[] = {20, std::uint32_t(wsmp.unity) | std::uint32_t(wsmp.fine) << 16,
                                    std::uint32_t(wsmp.gain), 0, wsmp.loop ? 1u : 0u};
    std::memcpy(b, header, 20);
    if (wsmp.loop)
        std::memcpy(b + 20, &*wsmp.loop, 16);
}

std::vector<std::uint8_t> Bytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

fs::path Write(const fs::path& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    return path;
}

fs::path BuildDls(const std::string& name, const std::vector<Inst>& instruments,
                  const std::vector<Wave>& waves) {
    const fs::path path = fs::path(testing::TempDir()) / name;
    {
        DLS::File dls;
        std::vector<DLS::Sample*> samples;
        for (const Wave& wave : waves) {
            DLS::Sample* s = dls.AddSample();
            s->pInfo->Name = wave.name;
            s->Channels = wave.channels;
            s->BitDepth = wave.bits;
            s->FrameSize = s->BlockAlign =
                static_cast<std::uint16_t>(wave.bits / 8 * wave.channels);
            s->Resize(wave.bytes.size() / s->FrameSize);
            std::memcpy(s->LoadSampleData(), wave.bytes.data(), wave.bytes.size());
            if (wave.wsmp)
                PutWsmp(ListOf::Of(*s), *wave.wsmp);
            samples.push_back(s);
        }
        for (const Inst& inst : instruments) {
            DLS::Instrument* i = dls.AddInstrument();
            i->pInfo->Name = inst.name;
            i->MIDIBankCoarse = static_cast<std::uint8_t>(inst.bank);
            i->MIDIProgram = static_cast<std::uint32_t>(inst.program);
            for (const Region& region : inst.regions) {
                DLS::Region* r = i->AddRegion();
                r->SetKeyRange(static_cast<std::uint16_t>(region.low),
                               static_cast<std::uint16_t>(region.high));
                r->VelocityRange = {static_cast<std::uint16_t>(region.lowVelocity),
                                    static_cast<std::uint16_t>(region.highVelocity)};
                r->SetSample(samples[static_cast<std::size_t>(region.wave)]);
                r->KeyGroup = static_cast<std::uint16_t>(region.keyGroup);
                const Wsmp own = region.wsmp.value_or(Wsmp{60, 0, noWsmp, {}});
                r->UnityNote = static_cast<std::uint8_t>(own.unity);
                r->FineTune = static_cast<std::int16_t>(own.fine);
                r->Gain = own.gain;
                if (own.loop) {
                    DLS::sample_loop_t loop = *own.loop;
                    r->AddSampleLoop(&loop);
                }
                if (region.articulated)
                    ListOf::Of(*r)->AddSubList(LIST_TYPE_LART);
            }
        }
        dls.Save(path.string());
    }
    auto bytes = Bytes(path);
    for (std::size_t at = 0; at + 20 <= bytes.size(); ++at)
        if (std::memcmp(&bytes[at], "wsmp", 4) == 0 &&
            std::memcmp(&bytes[at + 16], &noWsmp, 4) == 0)
            std::memcpy(&bytes[at], "junk", 4);
    return Write(path, bytes);
}

std::size_t Find(const std::vector<std::uint8_t>& bytes, const char* id) {
    for (std::size_t at = 0; at + 8 <= bytes.size(); ++at)
        if (std::memcmp(&bytes[at], id, 4) == 0)
            return at;
    ADD_FAILURE() << "no " << id << " chunk";
    return 0;
}

std::vector<std::uint8_t> RampBytes(int frames) {
    const auto words = Ramp(frames);
    std::vector<std::uint8_t> bytes(words.size() * 2);
    std::memcpy(bytes.data(), words.data(), bytes.size()); // the host's order: little-endian
    return bytes;
}

TEST(DlsReader, CarriesRegionsWithTheirOwnOrTheirWavesSettings) {
    Wave low{"low", 1, 16, RampBytes(100), Wsmp{48, -5, 0, DLS::sample_loop_t{16, 0, 30, 40}}};
    Wave other{"other", 1, 16, RampBytes(50), {}};
    Region own{30, 50, 1, 100, 0, Wsmp{50, 7, -6 * 655360, DLS::sample_loop_t{16, 1, 10, 20}}};
    own.articulated = true;
    own.keyGroup = 2;
    const Region inherits{51, 90, 0, 0, 0, {}};                   // takes the wave's wsmp
    const Region second{91, 127, 64, 127, 1, Wsmp{72, 0, 0, {}}}; // the second wave of the pool
    const Instrument read = ReadFirst(
        BuildDls("regions.dls", {{"Piano", 0, 0, {own, inherits, second}}}, {low, other}));

    EXPECT_EQ(read.name, "Piano");
    ASSERT_EQ(read.zones.size(), 3u);
    const Zone& first = read.zones[0];
    EXPECT_EQ(first.lowKey, 30);
    EXPECT_EQ(first.highKey, 50);
    EXPECT_EQ(first.lowVelocity, 1);
    EXPECT_EQ(first.highVelocity, 100);
    EXPECT_EQ(first.rootKey, 50);
    EXPECT_DOUBLE_EQ(first.tuneCents, 7);
    EXPECT_DOUBLE_EQ(first.volumeDb, -6);
    EXPECT_EQ(first.loopMode, LoopMode::sustain); // "loop and release"
    EXPECT_EQ(first.loops, (std::vector<Loop>{{10, 29}}));
    EXPECT_THAT(first.notCarried, Contains(HasSubstr("articulators")));
    EXPECT_THAT(first.notCarried, Contains(HasSubstr("key group")));
    const Zone& middle = read.zones[1];
    EXPECT_EQ(middle.lowVelocity, 1); // a Level 1 region's 0 to 0: every velocity
    EXPECT_EQ(middle.highVelocity, 127);
    EXPECT_EQ(middle.rootKey, 48);
    EXPECT_DOUBLE_EQ(middle.tuneCents, -5);
    EXPECT_EQ(middle.loopMode, LoopMode::forward);
    EXPECT_EQ(middle.loops, (std::vector<Loop>{{30, 69}}));
    EXPECT_TRUE(middle.notCarried.empty());
    EXPECT_EQ(read.zones[2].rootKey, 72);
    EXPECT_EQ(read.zones[2].loopMode, LoopMode::none);
    ASSERT_EQ(read.sounds.size(), 2u);
    EXPECT_EQ(read.sounds[first.sound].words, Ramp(100));
    EXPECT_EQ(first.sound, middle.sound);
    EXPECT_EQ(read.sounds[read.zones[2].sound].name, "other");
    EXPECT_EQ(read.sounds[read.zones[2].sound].frames, 50u);
}

TEST(DlsReader, Reduces8And24BitWavesTo16BitWords) {
    // 24-bit stereo: 1.5 and -0.5 steps round away from zero; full scale stays 32767.
    Wave wide{"wide",
              2,
              24,
              {0x80, 0x01, 0x00, 0x80, 0xFF, 0xFF, 0xFF, 0xFF, 0x7F, 0x00, 0x01, 0x00},
              {}};
    Wave narrow{"narrow", 1, 8, {0x00, 0x80, 0xFF}, {}}; // unsigned
    const Instrument read = ReadFirst(
        BuildDls("bits.dls", {{"Bits", 0, 0, {{0, 63, 0, 0, 0, {}}, {64, 127, 0, 0, 1, {}}}}},
                 {wide, narrow}));

    ASSERT_EQ(read.sounds.size(), 2u);
    EXPECT_EQ(read.sounds[0].channels, 2);
    EXPECT_EQ(read.sounds[0].frames, 2u);
    EXPECT_EQ(read.sounds[0].words, (std::vector<std::int16_t>{2, -1, 32767, 1}));
    EXPECT_EQ(read.sounds[1].words, (std::vector<std::int16_t>{-32768, 0, 32512}));
}

TEST(DlsReader, ListsInstrumentsAndTellsTheFormatByContent) {
    const fs::path path = BuildDls("list.bin", {{"Alpha", 0, 5, {{}}}, {"Beta", 1, 9, {{}}}},
                                   {{"s", 1, 16, RampBytes(10), {}}});
    EXPECT_EQ(DetectInstrumentFormat(path), InstrumentFormat::dls);
    std::string error;
    const auto list = ListInstruments(path, error);
    ASSERT_TRUE(list) << error;
    ASSERT_EQ(list->size(), 2u);
    EXPECT_EQ((*list)[1].name, "Beta");
    EXPECT_EQ((*list)[1].detail, "bank 128 program 9"); // bank select MSB 1
    EXPECT_EQ(ReadInstrument(path, {{}, "beta"}, error)->name, "Beta");
}

// Each velocity zone of a GigaStudio region is a layer of its own, split evenly or at the upper
// limits the file gives, its sample's two channels kept as two joined again; of the other
// dimensions the first zone plays.
TEST(DlsReader, SplitsAGigaStudioRegionIntoItsVelocityLayers) {
    const fs::path path = fs::path(testing::TempDir()) / "layers.gig";
    auto write = [&](int softUpperLimit) {
        gig::File gig;
        auto wave = [&](const char* name, int frames) {
            gig::Sample* s = gig.AddSample();
            s->pInfo->Name = name;
            s->Resize(static_cast<RIFF::file_offset_t>(frames)); // 16-bit mono
            const auto bytes = RampBytes(frames);
            std::memcpy(s->DLS::Sample::LoadSampleData(), bytes.data(), bytes.size());
            return s;
        };
        wave("other", 20);
        gig::Sample* soft = wave("soft", 60);
        gig::Sample* loud = wave("loud", 80);
        gig::Sample* softRight = wave("soft R", 60);
        gig::Sample* loudRight = wave("loud R", 80);
        gig::Region* region = gig.AddInstrument()->AddRegion();
        region->SetKeyRange(36, 84);
        gig::dimension_def_t velocity{gig::dimension_velocity, 1, 2, gig::split_type_normal, 64};
        region->AddDimension(&velocity);
        gig::dimension_def_t release{gig::dimension_releasetrigger, 1, 2, gig::split_type_bit, 0};
        region->AddDimension(&release);
        gig::dimension_def_t channel{gig::dimension_samplechannel, 1, 2, gig::split_type_bit, 0};
        region->AddDimension(&channel);
        // libgig puts the sample channel first: dimension region bits channel, velocity, release
        gig::DimensionRegion** dimensions = region->pDimensionRegions;
        dimensions[0]->pSample = soft;
        dimensions[0]->UnityNote = 50;
        dimensions[0]->FineTune = 12;
        dimensions[0]->SetGain(6 * 655360);
        dimensions[0]->DimensionUpperLimits[1] = static_cast<std::uint8_t>(softUpperLimit);
        dimensions[1]->pSample = softRight;
        dimensions[2]->pSample = loud;
        dimensions[2]->UnityNote = 70;
        dimensions[2]->DimensionUpperLimits[1] = softUpperLimit != 0 ? 127 : 0;
        dimensions[3]->pSample = loudRight;
        gig.Save(path.string());
        auto bytes = Bytes(path); // the region's DLS link names another wave: the 3lnk chunk wins
        std::memset(&bytes[Find(bytes, "wlnk") + 16], 0, 4);
        Write(path, bytes);
    };

    write(0);
    EXPECT_EQ(DetectInstrumentFormat(path), InstrumentFormat::dls);
    Instrument read = ReadFirst(path);
    ASSERT_EQ(read.zones.size(), 2u);
    const Zone& soft = read.zones[0];
    const Zone& loud = read.zones[1];
    EXPECT_EQ(soft.lowKey, 36);
    EXPECT_EQ(soft.highKey, 84);
    EXPECT_EQ(loud.lowKey, 36);
    EXPECT_EQ(std::pair(soft.lowVelocity, soft.highVelocity), std::pair(1, 63));
    EXPECT_EQ(std::pair(loud.lowVelocity, loud.highVelocity), std::pair(64, 127));
    ASSERT_EQ(read.sounds.size(), 4u);
    EXPECT_EQ(read.sounds[soft.sound].name, "soft");
    EXPECT_EQ(read.sounds[soft.sound].words, Ramp(60));
    EXPECT_EQ(read.sounds[loud.sound].name, "loud");
    ASSERT_TRUE(soft.rightSound && loud.rightSound);
    EXPECT_EQ(read.sounds[*soft.rightSound].name, "soft R");
    EXPECT_EQ(read.sounds[*loud.rightSound].name, "loud R");
    EXPECT_EQ(soft.rootKey, 50); // the dimension region's, not the region's
    EXPECT_EQ(loud.rootKey, 70);
    EXPECT_DOUBLE_EQ(soft.tuneCents, 12);
    EXPECT_DOUBLE_EQ(soft.volumeDb, -6); // a GigaStudio gain attenuates
    EXPECT_THAT(soft.notCarried, Contains(HasSubstr("release triggers")));

    write(40);
    read = ReadFirst(path);
    ASSERT_EQ(read.zones.size(), 2u);
    EXPECT_EQ(std::pair(read.zones[0].lowVelocity, read.zones[0].highVelocity), std::pair(1, 40));
    EXPECT_EQ(std::pair(read.zones[1].lowVelocity, read.zones[1].highVelocity), std::pair(41, 127));
}

// Truncated, with chunk sizes corrupted or with an index pointing nowhere, a collection is either
// read or refused with one line naming the file; nothing crashes or asks for absurd memory.
TEST(DlsReader, RefusesBrokenCollectionsWithOneClearError) {
    const fs::path path = BuildDls(
        "good.dls",
        {{"I", 0, 0, {{0, 127, 0, 0, 0, Wsmp{60, 0, 0, DLS::sample_loop_t{16, 0, 1, 2}}}}}},
        {{"s", 1, 16, RampBytes(40), Wsmp{}}});
    const auto good = Bytes(path);
    const fs::path broken = fs::path(testing::TempDir()) / "broken.dls";
    auto refusal = [&](const std::vector<std::uint8_t>& bytes) {
        std::string error;
        if (ReadInstrument(Write(broken, bytes), {}, error))
            return std::string();
        EXPECT_THAT(error, HasSubstr(broken.string()));
        EXPECT_EQ(error.find('\n'), std::string::npos) << error;
        return error;
    };
    int refused = 0;
    for (std::size_t length = 0; length < good.size(); length += 5)
        refused +=
            !refusal({good.begin(), good.begin() + static_cast<std::ptrdiff_t>(length)}).empty();
    for (std::size_t at = 4; at + 4 <= good.size(); at += 2) {
        auto bad = good;
        bad[at] = bad[at + 1] = bad[at + 2] = 0xFF; // a size ~16 MB too long, or any field wrong
        refused += !refusal(bad).empty();
    }
    EXPECT_GT(refused, 0);

    // The body of the first chunk `id`, patched (its size at offset -4).
    auto patched = [&](const char* id, std::ptrdiff_t offset, std::uint32_t value) {
        auto bad = good;
        std::memcpy(
            &bad[static_cast<std::size_t>(static_cast<std::ptrdiff_t>(Find(bad, id)) + 8 + offset)],
            &value, 4);
        return bad;
    };
    EXPECT_THAT(refusal(patched("wlnk", 8, 3)), HasSubstr("names wave 3 of a pool of 1"));
    EXPECT_THAT(refusal(patched("ptbl", 8, 0xFFFFF)), HasSubstr("points between the waves"));
    EXPECT_THAT(refusal(patched("ptbl", 4, 0x40000000)), HasSubstr("more waves than it holds"));
    EXPECT_THAT(refusal(patched("wsmp", 16, 0x10000000)), HasSubstr("more loops than it holds"));
    EXPECT_THAT(refusal(patched("fmt ", 0, 0x00000001)), HasSubstr("no channels"));
    auto unnamed = patched("wlnk", -4, 0xFFFFFF); // too long, and an id that is no text
    std::memcpy(&unnamed[Find(unnamed, "wlnk")], "\n\n\n\n", 4);
    EXPECT_THAT(refusal(unnamed), HasSubstr("(a chunk runs past the end of its list)"));
}

} // namespace
} // namespace velomire::instrument
