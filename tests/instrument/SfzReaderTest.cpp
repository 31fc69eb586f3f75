#include "instrument/SfzReader.h"

#include <gtest/gtest.h>

#include <chrono>
#include <map>
#include <string>

namespace velomire::instrument {
namespace {

namespace fs = std::filesystem;

const fs::path sfzFile = "/library/Programs/piano.sfz";

// A rooted path as the reader makes it absolute: on Windows it gains the current drive.
fs::path Placed(const fs::path& rooted) {
    return fs::absolute(rooted).lexically_normal();
}

// Include files held in memory, by rooted path.
struct Files {
    std::map<fs::path, std::string> texts;
    SfzFileReader Reader() const {
        return [this](const fs::path& file, std::string& text, std::string& error) {
            for (const auto& [path, content] : texts) {
                if (Placed(path) == file) {
                    text = content;
                    return true;
                }
            }
            error = "no such file";
            return false;
        };
    }
};

std::optional<Instrument> Parse(const std::string& text, std::string& error,
                                const Files& files = {}, const SfzLimits& limits = {}) {
    return ParseSfz(text, sfzFile, files.Reader(), error, limits);
}

Instrument ParseOk(const std::string& text, const Files& files = {}) {
    std::string error;
    auto instrument = Parse(text, error, files);
    EXPECT_TRUE(instrument) << error;
    return instrument.value_or(Instrument{});
}

TEST(SfzNote, ReadsNamesWithC4AsSixtyAndNumbers) {
    EXPECT_EQ(SfzNote("c4"), 60);
    EXPECT_EQ(SfzNote("C4"), 60);
    EXPECT_EQ(SfzNote("c#4"), 61);
    EXPECT_EQ(SfzNote("db4"), 61);
    EXPECT_EQ(SfzNote("a0"), 21);
    EXPECT_EQ(SfzNote("c-1"), 0);
    EXPECT_EQ(SfzNote("g9"), 127);
    EXPECT_EQ(SfzNote("60"), 60);
    EXPECT_EQ(SfzNote(" 0 "), 0);
    EXPECT_FALSE(SfzNote("g#9"));
    EXPECT_FALSE(SfzNote("128"));
    EXPECT_FALSE(SfzNote("-1"));
    EXPECT_FALSE(SfzNote("h4"));
    EXPECT_FALSE(SfzNote("c"));
    EXPECT_FALSE(SfzNote("c4x"));
}

TEST(SfzReader, RegionsInheritFromGroupMasterAndGlobalTheMostSpecificWinning) {
    const Instrument instrument = ParseOk(R"(
<global> lovel=10 tune=5 pan=20
<master> hivel=100 tune=7
<group> lokey=c2 hikey=c3
<region> sample=a.wav tune=9
<region> sample=b.wav
<group> lokey=40
<region> sample=a.wav
<master>
<region> sample=c.wav
<global>
<region> sample=c.wav
)");
    ASSERT_EQ(instrument.zones.size(), 5u);
    const auto& z = instrument.zones;
    EXPECT_EQ(z[0].tuneCents, 9);
    EXPECT_EQ(z[0].lowVelocity, 10);
    EXPECT_EQ(z[0].highVelocity, 100);
    EXPECT_EQ(z[0].lowKey, 36);
    EXPECT_EQ(z[0].highKey, 48);
    EXPECT_EQ(z[0].pan, 20);
    EXPECT_EQ(z[1].tuneCents, 7);
    // A new group forgets the old group's opcodes, keeps master's and global's.
    EXPECT_EQ(z[2].lowKey, 40);
    EXPECT_EQ(z[2].highKey, 127);
    EXPECT_EQ(z[2].highVelocity, 100);
    // A new master forgets master and group, keeps global.
    EXPECT_EQ(z[3].tuneCents, 5);
    EXPECT_EQ(z[3].highVelocity, 127);
    EXPECT_EQ(z[3].lowVelocity, 10);
    // A new global forgets everything.
    EXPECT_EQ(z[4].lowVelocity, 1);
    EXPECT_EQ(z[4].tuneCents, 0);
    // Regions of one file share its sound.
    EXPECT_EQ(instrument.sounds.size(), 3u);
    EXPECT_EQ(z[0].sound, z[2].sound);
    EXPECT_EQ(instrument.sounds[z[0].sound].file, Placed("/library/Programs/a.wav"));
}

TEST(SfzReader, OpcodesAndHeadersInAnyCaseAndKeyShorthand) {
    const Instrument instrument =
        ParseOk("<Group> KEY=d4 <REGION> Sample=a.wav\n"
                "<region> sample=a.wav key=50 lokey=48 pitch_keycenter=sample\n"
                "<group> lokey=30 <region> sample=a.wav key=62\n");
    ASSERT_EQ(instrument.zones.size(), 3u);
    const auto& z = instrument.zones;
    EXPECT_EQ(z[0].lowKey, 62);
    EXPECT_EQ(z[0].highKey, 62);
    EXPECT_EQ(z[0].rootKey, 62);
    // An opcode beside key= at the same level wins; the sound's own root key is asked for.
    EXPECT_EQ(z[1].lowKey, 48);
    EXPECT_EQ(z[1].highKey, 50);
    EXPECT_TRUE(z[1].rootKeyFromSound);
    // key= in the region wins over lokey= of the group.
    EXPECT_EQ(z[2].lowKey, 62);
}

TEST(SfzReader, CarriedOpcodesGoToTheirFieldsOthersAreNamedOncePerZone) {
    const Instrument instrument = ParseOk(R"(
<global> ampeg_release=1.5 // a comment
<region> sample=piano c4.wav lokey=59 hikey=61 pitch_keycenter=60 lovel=1 hivel=90
tune=-12 transpose=2 offset=100 end=4999 loop_mode=loop_sustain loop_start=1000 loop_end=1999
volume=-6 pan=-30 trigger=release seq_length=3 seq_position=2 lorand=0.25 hirand=0.5
cutoff=500 fil_type=lpf_2p AMPEG_release=2 /* block
comment */ amp_veltrack=80
)");
    ASSERT_EQ(instrument.zones.size(), 1u);
    const Zone& z = instrument.zones[0];
    EXPECT_EQ(instrument.sounds[z.sound].file, Placed("/library/Programs/piano c4.wav"));
    EXPECT_EQ(z.tuneCents, 188);
    EXPECT_EQ(z.offset, 100u);
    EXPECT_EQ(z.end, 4999u);
    EXPECT_EQ(z.loopMode, LoopMode::sustain);
    EXPECT_FALSE(z.loopModeFromSound);
    ASSERT_EQ(z.loops.size(), 1u);
    EXPECT_EQ(z.loops[0], (Loop{1000, 1999})); // loop_end is inclusive, as Loop::end
    EXPECT_EQ(z.volumeDb, -6);
    EXPECT_EQ(z.pan, -30);
    EXPECT_EQ(z.trigger, Trigger::release);
    EXPECT_EQ(z.sequenceLength, 3);
    EXPECT_EQ(z.sequencePosition, 2);
    EXPECT_EQ(z.randomLow, 0.25);
    EXPECT_EQ(z.randomHigh, 0.5);
    EXPECT_EQ(z.notCarried,
              (std::vector<std::string>{"ampeg_release", "cutoff", "fil_type", "amp_veltrack"}));
}

TEST(SfzReader, ValuesOutOfRangeAreIgnoredAndNoted) {
    const Instrument instrument = ParseOk("<region> sample=a.wav lokey=x9 hivel=300 tune=abc\n"
                                          "<region> sample=a.wav tune=nan pan=NaN volume=inf\n");
    ASSERT_EQ(instrument.zones.size(), 2u);
    EXPECT_EQ(instrument.zones[0].lowKey, 0);
    EXPECT_EQ(instrument.zones[0].highVelocity, 127);
    // Not a number is no number in range either.
    EXPECT_EQ(instrument.zones[1].tuneCents, 0);
    EXPECT_EQ(instrument.zones[1].pan, 0);
    EXPECT_EQ(instrument.zones[1].volumeDb, 0);
    EXPECT_EQ(instrument.notes.size(), 6u);
}

TEST(SfzReader, DefinesAndIncludesWithDefaultPathAndTheParentFolder) {
    Files files;
    files.texts["/library/Programs/common/keys.sfzh"] =
        "#define $LOW 36\n<region> sample=$NAME.wav lokey=$LOW\n";
    const Instrument instrument =
        ParseOk("<control> default_path=..\\Samples\\\n#define $NAME kick\n"
                "#include \"common/keys.sfzh\"\n<region> sample=snare.wav lokey=$LOW\n",
                files);
    ASSERT_EQ(instrument.zones.size(), 2u);
    EXPECT_EQ(instrument.zones[0].lowKey, 36);
    EXPECT_EQ(instrument.zones[1].lowKey, 36); // a define lasts past its include file
    EXPECT_EQ(instrument.sounds[0].file, Placed("/library/Samples/kick.wav"));
    EXPECT_EQ(instrument.sounds[1].file, Placed("/library/Samples/snare.wav"));
}

TEST(SfzReader, RefusesPathsThatAreAbsoluteOrLeaveTheFoldersNamingTheRegion) {
    std::string error;
    EXPECT_FALSE(Parse("<region> sample=a.wav\n<region> sample=/etc/passwd\n", error));
    EXPECT_EQ(error, "piano.sfz:2: region 2 (piano.sfz:2): sample /etc/passwd is absolute");
    EXPECT_FALSE(Parse("<region> sample=C:\\x.wav\n", error));
    EXPECT_NE(error.find("is absolute"), std::string::npos);
    EXPECT_FALSE(Parse("<region> sample=../../etc/x.wav\n", error));
    EXPECT_NE(error.find("region 1"), std::string::npos);
    EXPECT_NE(error.find("outside the instrument's folder and its parent folder"),
              std::string::npos);
    EXPECT_FALSE(Parse("<control> default_path=../../\n<region> sample=x.wav\n", error));
    EXPECT_FALSE(Parse("#include \"../../x.sfz\"\n", error));
    EXPECT_NE(error.find("outside"), std::string::npos);
}

TEST(SfzReader, RefusesIncludeCyclesAndDepth) {
    Files files;
    files.texts["/library/Programs/a.sfzh"] = "#include \"b.sfzh\"\n";
    files.texts["/library/Programs/b.sfzh"] = "<region> sample=x.wav\n#include \"a.sfzh\"\n";
    std::string error;
    EXPECT_FALSE(Parse("#include \"a.sfzh\"\n", error, files));
    EXPECT_EQ(error, "b.sfzh:2: #include \"a.sfzh\" includes itself again");
    EXPECT_FALSE(Parse("#include \"piano.sfz\"\n", error, files));
    EXPECT_NE(error.find("includes itself"), std::string::npos);
    EXPECT_FALSE(Parse("#include \"missing.sfzh\"\n", error, files));
    EXPECT_NE(error.find("cannot be read"), std::string::npos);

    // A chain deeper than the limit.
    for (int i = 0; i < 30; ++i) {
        files.texts["/library/Programs/d" + std::to_string(i) + ".sfzh"] =
            "#include \"d" + std::to_string(i + 1) + ".sfzh\"\n";
    }
    EXPECT_FALSE(Parse("#include \"d0.sfzh\"\n", error, files));
    EXPECT_NE(error.find("nested more than 16 deep"), std::string::npos);
}

TEST(SfzReader, RepeatedIncludesAreBoundedInTotal) {
    // Each level includes the next four times: 4^12 inclusions if nothing stopped them.
    Files files;
    for (int i = 0; i < 12; ++i) {
        const std::string next = "#include \"e" + std::to_string(i + 1) + ".sfzh\"\n";
        files.texts["/library/Programs/e" + std::to_string(i) + ".sfzh"] =
            next + next + next + next;
    }
    files.texts["/library/Programs/e12.sfzh"] = "<region> sample=x.wav\n";
    std::string error;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(Parse("#include \"e0.sfzh\"\n", error, files));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
    EXPECT_NE(error.find("#include lines"), std::string::npos) << error;
}

TEST(SfzReader, HostileSizesEndWithOneError) {
    std::string error;
    SfzLimits limits;
    limits.regions = 1000;
    std::string many;
    for (int i = 0; i < 1001; ++i) {
        many += "<region> sample=a.wav\n";
    }
    EXPECT_FALSE(Parse(many, error, {}, limits));
    EXPECT_EQ(error, "piano.sfz:1001: more than 1000 regions; no sampler program holds so many");

    limits = {};
    limits.lineBytes = 1000;
    EXPECT_FALSE(Parse("<region> sample=" + std::string(2000, 'a') + "\n", error, {}, limits));
    EXPECT_NE(error.find("a line longer than 1000 bytes"), std::string::npos);
    // A define that multiplies a line past the limit.
    EXPECT_FALSE(Parse("#define $X " + std::string(900, 'x') + "\n<region> sample=$X$X.wav\n",
                       error, {}, limits));
    EXPECT_NE(error.find("once its #define names are replaced"), std::string::npos);
}

TEST(SfzReader, AMillionRegionsAreRefusedInBoundedTime) {
    // Within every size limit: ten includes of a hundred thousand regions each.
    Files files;
    std::string& part = files.texts["/library/Programs/part.sfzh"];
    for (int i = 0; i < 100000; ++i) {
        part += "<region> sample=a.wav\n";
    }
    std::string many;
    for (int i = 0; i < 10; ++i) {
        many += "#include \"part.sfzh\"\n";
    }
    std::string error;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(Parse(many, error, files));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(30));
    EXPECT_NE(error.find("more than 131072 regions"), std::string::npos) << error;
}

TEST(SfzReader, GeneratedSoundsAndRegionsWithoutSampleAreLeftOutAndNoted) {
    const Instrument instrument = ParseOk(
        "<region> sample=*sine\n<region> lokey=3\n<effect> bus=main\n<region> sample=a.wav");
    EXPECT_EQ(instrument.zones.size(), 1u);
    EXPECT_EQ(instrument.notes.size(), 3u);
}

} // namespace
} // namespace velomire::instrument
