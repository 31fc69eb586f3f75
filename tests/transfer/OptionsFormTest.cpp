#include "transfer/OptionsForm.h"

#include <gtest/gtest.h>

using namespace velomire::transfer;
using Field = OptionsForm::Field;
using Texts = std::array<std::string, OptionsForm::fieldCount>;

namespace {

Texts TextsOf(const OptionsForm& form) {
    Texts texts;
    for (int f = 0; f < OptionsForm::fieldCount; ++f) {
        texts[static_cast<std::size_t>(f)] = form.Text(static_cast<Field>(f));
    }
    return texts;
}

// OK with the lists as the form holds them and the fields as shown, one of them retyped.
std::optional<OptionsForm::Refusal> OkWith(OptionsForm& form, Field field, std::string text) {
    Texts texts = TextsOf(form);
    texts[field] = std::move(text);
    return form.Accept(form.Model(), form.MidiOutDevice(),
                       OptionsForm::MidiInRow(form.MidiInDevice()), form.WaveOutDevice(), texts);
}

SamplerSettings S3000Settings() {
    SamplerSettings s;
    s.samplerModel = 5;
    s.maxProgram = 254;
    s.maxSample = 255;
    s.polyphony = 32;
    s.audioOutputs = 8;
    s.midiChannel = 2;
    s.exclusiveChannel = 0;
    s.midiOutDevice = 1;
    s.midiInDevice = 4;
    s.waveOutDevice = 0;
    return s;
}

} // namespace

TEST(OptionsForm, FirstUseShowsTheSdsSamplerWithItsValuesAndPickingAModelKeepsTheChannels) {
    OptionsForm form{SamplerSettings{}};
    EXPECT_EQ(form.Model(), SamplerModel::sds);
    EXPECT_EQ(TextsOf(form), (Texts{"99", "99", "16", "2", "1", "1", "60"}));
    EXPECT_FALSE(form.Accept(form.Model(), -1, 0, -1, TextsOf(form))); // OK as it opens
    EXPECT_EQ(form.Result().samplerModel, SamplerModel::sds);

    form.PickModel(SamplerModel::s1000);
    EXPECT_EQ(TextsOf(form), (Texts{"100", "200", "16", "8", "1", "1", "60"}));

    const auto refusal = OkWith(form, OptionsForm::midiChannel, "0");
    ASSERT_TRUE(refusal);
    EXPECT_EQ(refusal->field, OptionsForm::midiChannel);
    EXPECT_EQ(refusal->message, "Midi channel: please enter an integer between 1 and 16.");

    EXPECT_FALSE(OkWith(form, OptionsForm::midiChannel, "16"));
    const SamplerSettings result = form.Result();
    EXPECT_EQ(result.samplerModel, 3);
    EXPECT_EQ(result.maxProgram, 100);
    EXPECT_EQ(result.maxSample, 200);
    EXPECT_EQ(result.polyphony, 16);
    EXPECT_EQ(result.audioOutputs, 8);
    EXPECT_EQ(result.midiChannel, 15);
    EXPECT_EQ(result.exclusiveChannel, 0);
    EXPECT_EQ(result.midiOutDevice, -1);
    EXPECT_EQ(result.waveOutDevice, -1);

    const auto wait = OkWith(form, OptionsForm::waitLimit, "0");
    ASSERT_TRUE(wait);
    EXPECT_EQ(wait->message, "Wait limit (s): please enter an integer between 1 and 3600.");
    EXPECT_FALSE(OkWith(form, OptionsForm::waitLimit, "90"));
    EXPECT_EQ(form.Result().waitLimit, 90);
}

TEST(OptionsForm, PickingAModelReplacesTheLimitsAndKeepsTheChannels) {
    OptionsForm form{S3000Settings()};
    EXPECT_EQ(TextsOf(form), (Texts{"254", "255", "32", "8", "3", "1", "60"}));
    form.PickModel(4); // Akai S2800
    EXPECT_EQ(TextsOf(form), (Texts{"254", "255", "32", "2", "3", "1", "60"}));

    form.PickModel(-1);
    EXPECT_EQ(form.Model(), -1);
    EXPECT_EQ(TextsOf(form), (Texts{"254", "255", "32", "2", "3", "1", "60"}));
}

TEST(OptionsForm, ChecksInItsOwnOrderAndRefusesOutOfRangeOrNonNumbers) {
    OptionsForm form{S3000Settings()};
    // Several wrong fields: audio outputs is checked first although it is shown fourth.
    Texts texts = TextsOf(form);
    texts[OptionsForm::numberOfPrograms] = "0";
    texts[OptionsForm::polyphony] = "4";
    texts[OptionsForm::audioOutputs] = "1";
    auto refusal = form.Accept(5, 1, 5, 0, texts);
    ASSERT_TRUE(refusal);
    EXPECT_EQ(refusal->field, OptionsForm::audioOutputs);
    EXPECT_EQ(refusal->message, "Audio outputs: please enter an integer between 2 and 8.");

    const struct {
        Field field;
        const char* text;
    } refused[] = {{OptionsForm::polyphony, "4"},        {OptionsForm::polyphony, "65"},
                   {OptionsForm::audioOutputs, "1"},     {OptionsForm::audioOutputs, "9"},
                   {OptionsForm::numberOfPrograms, "0"}, {OptionsForm::numberOfSamples, "256"},
                   {OptionsForm::midiChannel, "17"},     {OptionsForm::exclusiveChannel, "129"},
                   {OptionsForm::polyphony, "16.5"},     {OptionsForm::polyphony, "abc"},
                   {OptionsForm::polyphony, ""},         {OptionsForm::polyphony, "99999999999"}};
    for (const auto& r : refused) {
        OptionsForm fresh{S3000Settings()};
        const auto result = OkWith(fresh, r.field, r.text);
        ASSERT_TRUE(result) << r.text;
        EXPECT_EQ(result->field, r.field) << r.text;
    }
    for (const char* accepted : {"8", "64", " 12 ", "+20"}) {
        OptionsForm fresh{S3000Settings()};
        EXPECT_FALSE(OkWith(fresh, OptionsForm::polyphony, accepted)) << accepted;
    }
}

TEST(OptionsForm, ResultStoresChannelsZeroBasedAndTheMidiInRowLessOne) {
    OptionsForm form{S3000Settings()};
    Texts texts = TextsOf(form);
    texts[OptionsForm::midiChannel] = "16";
    texts[OptionsForm::exclusiveChannel] = "128";
    ASSERT_FALSE(form.Accept(7, -1, 3, 2, texts));
    const SamplerSettings result = form.Result();
    EXPECT_EQ(result.midiChannel, 15);
    EXPECT_EQ(result.exclusiveChannel, 127);
    EXPECT_EQ(result.samplerModel, 7);
    EXPECT_EQ(result.midiOutDevice, -1);
    EXPECT_EQ(result.waveOutDevice, 2);
    EXPECT_EQ(result.midiInDevice, 2);
    // "None (one-way)" and no selection both send one-way.
    for (const std::int32_t row : {0, -1}) {
        OptionsForm oneWay{S3000Settings()};
        ASSERT_FALSE(oneWay.Accept(5, 1, row, 0, TextsOf(oneWay)));
        EXPECT_EQ(oneWay.Result().midiInDevice, -1);
    }
}
