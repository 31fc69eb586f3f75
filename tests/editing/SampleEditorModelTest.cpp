#include "editing/SampleEditorModel.h"

#include "program/Program.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace velomire::editing {
namespace {

using Texts = std::vector<std::string>;

class SampleEditorModelTest : public ::testing::Test {
protected:
    SampleEditorModelTest() {
        sample.channels = 2;
        sample.sendMode = program::sendStereo;
        sample.rootKey = 60;
        keygroup.lowKey = 24;
        keygroup.highKey = 127;
    }

    void Keys(int low, int high, int pitch) {
        keygroup.lowKey = static_cast<std::int16_t>(low);
        keygroup.highKey = static_cast<std::int16_t>(high);
        sample.rootKey = static_cast<std::int16_t>(pitch);
    }

    program::SampleBlock sample;
    program::KeygroupBlock keygroup;
    SampleEditorModel model{sample, keygroup};
};

TEST_F(SampleEditorModelTest, SpinsStopAtTheKeyboardEndsAndAtTheOtherKey) {
    model.LowSpin(Spin::down);
    EXPECT_EQ(model.LowKey(), 24);
    model.HighSpin(Spin::up);
    EXPECT_EQ(model.HighKey(), 127);

    Keys(60, 60, 40);
    model.LowSpin(Spin::up);
    model.HighSpin(Spin::down);
    EXPECT_EQ(model.LowKey(), 60);
    EXPECT_EQ(model.HighKey(), 60);
    EXPECT_EQ(model.Pitch(), 40); // the spins never move the pitch

    Keys(60, 70, 127);
    model.PitchSpin(Spin::up);
    EXPECT_EQ(model.Pitch(), 127);
    model.LowSpin(Spin::up);
    EXPECT_EQ(model.LowText(), "C#3");
}

TEST_F(SampleEditorModelTest, ClicksNeverPassTheOtherKeyAndMeetingKeysTakeThePitch) {
    Keys(50, 72, 60);
    model.PickLowKey(62);
    EXPECT_EQ(model.LowText(), "D3");
    model.PickLowKey(80);  // above the high key
    model.PickHighKey(40); // below the low key
    EXPECT_EQ(model.LowKey(), 62);
    EXPECT_EQ(model.HighKey(), 72);
    EXPECT_EQ(model.Pitch(), 60);

    model.PickHighKey(62);
    EXPECT_EQ(model.HighKey(), 62);
    EXPECT_EQ(model.Pitch(), 62);
    EXPECT_EQ(model.PitchText(), "D3");
}

TEST_F(SampleEditorModelTest, KeysFromElsewhereStayUntilTheUserChangesThem) {
    Keys(10, 200, 0);
    EXPECT_EQ(model.LowKey(), 10);
    model.PickLowKey(30);
    EXPECT_EQ(model.LowKey(), 30);
    EXPECT_EQ(model.HighKey(), 200); // untouched until changed

    model.HighSpin(Spin::down);
    EXPECT_EQ(model.HighKey(), 127);
    model.PitchSpin(Spin::up);
    EXPECT_EQ(model.Pitch(), 24);

    Keys(-32768, 32767, 32767);
    model.LowSpin(Spin::down);
    model.PitchSpin(Spin::up);
    EXPECT_EQ(model.LowKey(), 24);
    EXPECT_EQ(model.Pitch(), 127);
}

TEST_F(SampleEditorModelTest, MonoFilesOfferOnlyMonoAndForeignModesSelectNothing) {
    EXPECT_EQ(model.SendModeTexts(),
              (Texts{"Mono sound", "Left Channel", "Right Channel", "Stereo sound"}));
    EXPECT_EQ(model.SendModeSelection(), 3);

    sample.channels = 1;
    EXPECT_EQ(model.SendModeTexts(), Texts{"Mono sound"});
    EXPECT_EQ(model.SendModeSelection(), std::nullopt);
    EXPECT_FALSE(model.PickSendMode(3));
    EXPECT_EQ(sample.sendMode, program::sendStereo);
    EXPECT_TRUE(model.PickSendMode(0));
    EXPECT_EQ(sample.sendMode, program::sendMono);
}

TEST_F(SampleEditorModelTest, StereoShowsTheOutputsPairAndStoresItsEvenOutput) {
    sample.sendMode = program::sendMono;
    keygroup.output = 5;
    EXPECT_EQ(model.OutputTexts().size(), 8u);
    EXPECT_EQ(model.OutputTexts()[5], "Ch 6");
    EXPECT_EQ(model.OutputSelection(), 5);

    ASSERT_TRUE(model.PickSendMode(3));
    EXPECT_EQ(model.OutputTexts(), (Texts{"Ch 1-2", "Ch 3-4", "Ch 5-6", "Ch 7-8"}));
    EXPECT_EQ(model.OutputSelection(), 2);
    EXPECT_EQ(keygroup.output, 5); // until an output is picked
    EXPECT_TRUE(model.PickOutput(2));
    EXPECT_EQ(keygroup.output, 4);
    EXPECT_FALSE(model.PickOutput(4));

    keygroup.output = 9;
    EXPECT_EQ(model.OutputSelection(), std::nullopt);
}

// The S900 and S950 play every entry on all their voices and are sent no output: the list says
// so for every send mode, and the stored output stays for a model that sends it.
TEST_F(SampleEditorModelTest, OnTheS900AndS950EveryEntryPlaysOnAllVoices) {
    for (const std::int32_t samplerModel : {1, 2}) {
        SampleEditorModel s900(sample, keygroup, samplerModel);
        keygroup.output = 5;
        for (const std::int16_t mode : {program::sendMono, program::sendStereo}) {
            sample.sendMode = mode;
            EXPECT_FALSE(s900.OutputSent());
            EXPECT_EQ(s900.OutputTexts(), Texts{"All voices"});
            EXPECT_EQ(s900.OutputSelection(), 0);
            EXPECT_TRUE(s900.PickOutput(0));
            EXPECT_FALSE(s900.PickOutput(1));
            EXPECT_EQ(keygroup.output, 5);
        }
    }
    EXPECT_TRUE(model.OutputSent());
}

} // namespace
} // namespace velomire::editing
