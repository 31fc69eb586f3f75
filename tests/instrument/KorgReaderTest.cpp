#include "instrument/devices/KorgReader.h"
#include "instrument/devices/InstrumentFiles.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace velomire::instrument {
namespace {

using testing::Contains;
using testing::ElementsAre;
using testing::HasSubstr;

namespace fs = std::filesystem;

// Korg files written byte by byte (libgig has no writer for them): big-endian chunks.
struct Bytes {
    std::vector<std::uint8_t> b;
    Bytes& U8(int v) {
        b.push_back(static_cast<std::uint8_t>(v));
        return *this;
    }
    Bytes& U32(std::uint32_t v) {
        for (int shift = 24; shift >= 0; shift -= 8)
            U8(static_cast<int>(v >> shift & 0xFF));
        return *this;
    }
    Bytes& Text(const std::string& text, std::size_t size) {
        for (std::size_t i = 0; i < size; ++i)
            U8(i < text.size() ? text[i] : 0);
        return *this;
    }
    Bytes& Chunk(const std::string& id, const Bytes& body, std::optional<std::uint32_t> size = {}) {
        Text(id, 4).U32(size.value_or(static_cast<std::uint32_t>(body.b.size())));
        b.insert(b.end(), body.b.begin(), body.b.end());
        if (body.b.size() % 2 != 0)
            U8(0);
        return *this;
    }
};

struct Region {
    int original = 60, top = 127, tune = 0, level = 0;
    std::string file;
};

Bytes Kmp(const std::string& name, const std::vector<Region>& regions,
          std::optional<int> count = {}) {
    Bytes msp1, rlp1;
    msp1.Text(name, 16).U8(count.value_or(static_cast<int>(regions.size()))).U8(0);
    for (const Region& r : regions)
        rlp1.U8(r.original).U8(r.top).U8(r.tune).U8(r.level).U8(64).U8(0).Text(r.file, 12);
    return Bytes().Chunk("MSP1", msp1).Chunk("RLP1", rlp1);
}

struct Ksf {
    int bits = 16;
    std::vector<int> points; // as the file holds them (8-bit: one byte each)
    std::uint32_t loopStart = 0, loopEnd = 0;
    int attributes = 0;
    std::optional<std::uint32_t> pointCount = {};
};

Bytes KsfBytes(const Ksf& k) {
    Bytes smp1, smd1;
    smp1.Text("SAMPLE", 16).U8(0).U8(0).U8(0).U8(0).U32(0).U32(k.loopStart).U32(k.loopEnd);
    smd1.U32(44100).U8(k.attributes).U8(0).U8(1).U8(k.bits);
    smd1.U32(k.pointCount.value_or(static_cast<std::uint32_t>(k.points.size())));
    for (const int p : k.points) {
        if (k.bits == 16)
            smd1.U8(p >> 8 & 0xFF);
        smd1.U8(p & 0xFF);
    }
    return Bytes().Chunk("SMP1", smp1).Chunk("SMD1", smd1);
}

fs::path Write(const fs::path& path, const Bytes& bytes) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.b.data()),
               static_cast<std::streamsize>(bytes.b.size()));
    return path;
}

fs::path Folder(const std::string& name) {
    const fs::path folder = fs::path(testing::TempDir()) / ("korg-" + name);
    fs::remove_all(folder);
    fs::create_directories(folder);
    return folder;
}

TEST(KorgReader, RegionsChainTheirKeysAndPlayTheirSamplesWords) {
    const fs::path folder = Folder("regions");
    Write(folder / "lo.ksf", KsfBytes({16, {0x1234, -2, -32768}}));
    Write(folder / "HI.KSF", KsfBytes({8, {0x7F, 0x80, 0x01}}));
    const fs::path kmp = Write(folder / "piano.dat", Kmp("PIANO", {{48, 47, -12, 0, "LO.KSF"},
                                                                   {0x80 | 55, 59, 7, 0, "LO.KSF"},
                                                                   {72, 127, 0, 10, "HI.KSF"}}));
    EXPECT_EQ(DetectInstrumentFormat(kmp), InstrumentFormat::korg);
    std::string error;
    const auto entries = ListInstruments(kmp, error);
    ASSERT_TRUE(entries) << error;
    ASSERT_EQ(entries->size(), 1u);
    EXPECT_EQ(entries->front().name, "PIANO");

    const auto read = ReadInstrument(kmp, {}, error);
    ASSERT_TRUE(read) << error;
    ASSERT_EQ(read->sounds.size(), 2u); // LO.KSF read once for its two regions
    EXPECT_THAT(read->sounds[0].words, ElementsAre(0x1234, -2, -32768));
    EXPECT_THAT(read->sounds[1].words, ElementsAre(0x7F00, -32768, 0x0100));
    EXPECT_EQ(read->sounds[0].rate, 44100u);
    ASSERT_EQ(read->zones.size(), 3u);
    const Zone &low = read->zones[0], &mid = read->zones[1], &high = read->zones[2];
    EXPECT_EQ(std::tuple(low.lowKey, low.highKey, low.rootKey, low.tuneCents, low.sound),
              std::tuple(0, 47, 48, -12.0, std::size_t{0}));
    EXPECT_EQ(std::tuple(mid.lowKey, mid.highKey, mid.rootKey, mid.tuneCents, mid.sound),
              std::tuple(48, 59, 55, 7.0, std::size_t{0}));
    EXPECT_EQ(std::tuple(high.lowKey, high.highKey, high.rootKey, high.sound),
              std::tuple(60, 127, 72, std::size_t{1}));
    EXPECT_THAT(mid.notCarried, Contains(HasSubstr("no transposition")));
    EXPECT_THAT(high.notCarried, Contains("level"));
    EXPECT_TRUE(low.notCarried.empty());
}

TEST(KorgReader, LoopEndIsThePointAfterTheLoop) {
    const fs::path folder = Folder("loops");
    const std::vector<int> ten(10, 0);
    Write(folder / "A.KSF", KsfBytes({16, ten, 2, 6}));
    Write(folder / "B.KSF", KsfBytes({16, ten, 0, 0}));  // no loop
    Write(folder / "C.KSF", KsfBytes({16, ten, 9, 10})); // start at the last point: none
    Write(folder / "D.KSF", KsfBytes({16, ten, 2, 11})); // past the end
    Write(folder / "E.KSF", KsfBytes({16, ten, 0, 10})); // the whole sample
    const fs::path kmp = Write(folder / "LOOPS.KMP", Kmp("LOOPS", {{60, 20, 0, 0, "A.KSF"},
                                                                   {60, 40, 0, 0, "B.KSF"},
                                                                   {60, 60, 0, 0, "C.KSF"},
                                                                   {60, 80, 0, 0, "D.KSF"},
                                                                   {60, 127, 0, 0, "E.KSF"}}));
    std::string error;
    const auto read = ReadKorgInstrument(kmp, 0, error);
    ASSERT_TRUE(read) << error;
    ASSERT_EQ(read->zones.size(), 5u);
    EXPECT_THAT(read->zones[0].loops, ElementsAre(Loop{2, 5}));
    EXPECT_EQ(read->zones[0].loopMode, LoopMode::forward);
    for (const int none : {1, 2, 3}) {
        EXPECT_TRUE(read->zones[none].loops.empty()) << none;
        EXPECT_EQ(read->zones[none].loopMode, LoopMode::none) << none;
    }
    EXPECT_THAT(read->zones[3].notCarried, Contains(HasSubstr("loop outside")));
    EXPECT_THAT(read->zones[4].loops, ElementsAre(Loop{0, 9}));
}

TEST(KorgReader, RegionsWithoutAReadableSampleAreLeftOutWithANote) {
    const fs::path folder = Folder("leftout");
    Write(folder / "OK.KSF", KsfBytes({16, {1, 2}}));
    Write(folder / "PACKED.KSF", KsfBytes({16, {1, 2}, 0, 0, 0x10}));
    const fs::path kmp = Write(folder / "SET.KMP", Kmp("SET", {{60, 10, 0, 0, "SKIPPEDSAMPL"},
                                                               {60, 20, 0, 0, "INTERNAL0042"},
                                                               {60, 30, 0, 0, "PACKED.KSF"},
                                                               {60, 40, 0, 0, "GONE.KSF"},
                                                               {60, 127, 0, 0, "OK.KSF"}}));
    std::string error;
    const auto read = ReadKorgInstrument(kmp, 0, error);
    ASSERT_TRUE(read) << error;
    ASSERT_EQ(read->zones.size(), 1u);
    EXPECT_EQ(read->zones[0].lowKey, 41); // the chain goes on through the regions left out
    ASSERT_EQ(read->notes.size(), 4u);
    EXPECT_THAT(read->notes[0], HasSubstr("skipped"));
    EXPECT_THAT(read->notes[1], HasSubstr("internal sample 0042"));
    EXPECT_THAT(read->notes[2], HasSubstr("PACKED.KSF is compressed"));
    EXPECT_THAT(read->notes[3], HasSubstr("GONE.KSF is not in the multisample's folder"));
}

// A multisample or sample whose structure does not hold, or that names a file elsewhere: one
// line naming the multisample and why.
TEST(KorgReader, BrokenFilesAndNamesOutsideTheFolderAreRefused) {
    const fs::path folder = Folder("broken");
    Write(folder.parent_path() / "X.KSF", KsfBytes({16, {1, 2}}));
    Write(folder / "GOOD.KSF", KsfBytes({16, {1, 2}}));
    Bytes cut = KsfBytes({16, {1, 2}});
    cut.b.resize(cut.b.size() - 2);
    Write(folder / "CUT.KSF", cut);
    Write(folder / "SHORT.KSF", KsfBytes({16, {1, 2}, 0, 0, 0, 100}));
    Bytes region;
    region.U8(60).U8(127).U8(0).U8(0).U8(64).U8(0).Text("GOOD.KSF", 12);
    const struct {
        std::string name;
        Bytes bytes;
        std::string why;
    } cases[] = {
        {"up", Kmp("X", {{60, 127, 0, 0, "../X.KSF"}}), "not a file of its folder"},
        {"absolute", Kmp("X", {{60, 127, 0, 0, "/TMP/A.KSF"}}), "not a file of its folder"},
        {"backslash", Kmp("X", {{60, 127, 0, 0, "..\\OUT.KSF"}}), "not a file of its folder"},
        {"unprintable", Kmp("X", {{60, 127, 0, 0, "A\n/B.KSF"}}), "\"A?/B.KSF\""},
        {"count", Kmp("X", {{60, 127, 0, 0, "GOOD.KSF"}}, 2), "names 2 regions"},
        {"past end",
         Bytes().Chunk("MSP1", Bytes().Text("X", 16).U8(1).U8(0)).Chunk("RLP1", region, 400),
         "RLP1 chunk runs past the end"},
        {"no regions", Bytes().Chunk("MSP1", Bytes().Text("X", 16).U8(1).U8(0)), "no RLP1"},
        {"list", Bytes().Chunk("MSP1", Bytes().Text("X", 16).U8(0).U8(0)).Chunk("LIST", Bytes()),
         "chunk list"},
        {"sample cut", Kmp("X", {{60, 127, 0, 0, "CUT.KSF"}}), "CUT.KSF: its SMD1 chunk runs past"},
        {"sample short", Kmp("X", {{60, 127, 0, 0, "SHORT.KSF"}}), "names 100 sample points"},
    };
    for (const auto& c : cases) {
        const fs::path kmp = Write(folder / (c.name + ".kmp"), c.bytes);
        std::string error;
        EXPECT_FALSE(ReadKorgInstrument(kmp, 0, error)) << c.name;
        EXPECT_THAT(error, HasSubstr(kmp.string() + ": not a Korg multisample")) << c.name;
        EXPECT_THAT(error, HasSubstr(c.why)) << c.name;
        EXPECT_EQ(error.find('\n'), std::string::npos) << c.name;
    }
}

} // namespace
} // namespace velomire::instrument
