#include "transfer/SamplerContents.h"

#include <gtest/gtest.h>

using namespace velomire::transfer;
namespace program = velomire::program;
using Kind = SamplerEntry::Kind;

TEST(SamplerContents, TheOpenProgramIsKnownByTheNamesASendGaveIt) {
    program::Program open;
    program::SetFieldText(open.header.programName, "My Strings");
    program::SetFieldText(open.samples[0].sample.sampleName, "violin_long_a");
    open.samples[0].sample.sendMode = program::sendStereo;
    open.sampleCount = 1;
    // Akai: 12 characters, the halves as -L and -R in the last two, its character set.
    const ProgramNamesInSampler akai(open, SamplerFamily::s1000);
    EXPECT_TRUE(akai.Matches({Kind::program, 0, "MY STRINGS  "}));
    EXPECT_TRUE(akai.Matches({Kind::sample, 3, "VIOLIN.LON-R"}));
    EXPECT_FALSE(akai.Matches({Kind::sample, 3, "VIOLIN.LONG "}));
    EXPECT_FALSE(akai.Matches({Kind::sample, 3, "MY STRINGS"})); // a program's name, not a sample's
    // S900: 10 ASCII characters.
    const ProgramNamesInSampler s900(open, SamplerFamily::s900);
    EXPECT_TRUE(s900.Matches({Kind::sample, 1, "violin_l-L"}));
    EXPECT_FALSE(s900.Matches({Kind::sample, 1, ""}));
}

TEST(SamplerContents, AProgramTakenBackNeedsEachSampleItsKeygroupsNameOnce) {
    DecodedProgram taken;
    taken.keygroups = {{{"zone1SampleName", std::string("KICK        ")},
                        {"zone2SampleName", std::string("            ")}},
                       {{"zone1SampleName", std::string("SNARE       ")},
                        {"zone2SampleName", std::string("KICK        ")}}};
    const std::vector<SamplerEntry> held = {
        {Kind::program, 1, "KICK"}, {Kind::sample, 7, "SNARE"}, {Kind::sample, 2, "KICK"}};
    EXPECT_EQ(SamplesOfProgram(taken, held), (std::vector<int>{2, 7}));
}
