#include "transfer/SysExDecoder.h"
#include "transfer/SysExStreamDecoder.h"

#include "program/StereoNames.h"
#include "program/WavInfo.h"
#include "transfer/CaptureMidiDriver.h"
#include "transfer/ReceivedFiles.h"
#include "transfer/SamplerReply.h"
#include "transfer/SendCommand.h"
#include "transfer/families/Family.h"
#include "transfer/families/SdsWire.h"
#include "transfer/families/s1000/S1000Wire.h"
#include "transfer/families/s900/S900Wire.h"

#include "support/RecordingMessages.h"
#include "support/SendSupport.h"
#include "support/WavBuilder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>

using namespace velomire::transfer;
namespace program = velomire::program;
namespace vt = velomire::testing;

namespace {

// A program of a mono entry and a stereo entry with every value the messages carry set apart
// from its default, rendered for one model as `velomire-cli render` does.
class RoundTripTest : public ::testing::Test {
protected:
    void SetUp() override {
        vt::WriteKickAndPad(dir.Path());
        program->SetProgramPath(dir / "Drums.vmp", true);
        Add("kick.wav");
        Add("pad.wav");
        program::SampleEntry& kick = program->samples[0];
        program::SetFieldText(kick.sample.sampleName, "Kick 1");
        kick.sample.rootKey = 48;
        kick.sample.loopMode = program::loopNormal;
        kick.sample.SetLoop(0, {300, 100, 7});
        kick.sample.SetLoop(1, {200, 64, 0});
        kick.sample.tuneOffset = -300;
        kick.keygroup.lowKey = 36;
        kick.keygroup.highKey = 40;
        kick.keygroup.keygroupTune = -12;
        kick.keygroup.output = 3;
        kick.keygroup.keygroupWords[6] = 55;
        program->samples[1].sample.sendMode = program::sendStereo;
        program->header.programParams[3] = 77;
        settings.maxProgram = 254;
        settings.maxSample = 255;
        settings.midiOutDevice = 0;
        settings.midiChannel = 2;
        settings.exclusiveChannel = 5;
    }

    void Add(const std::string& name) { vt::AddSampleFile(*program, messages, name); }

    std::vector<std::uint8_t> Render(std::int32_t model) {
        CaptureMidiDriver capture;
        InstantWaitClock clock;
        MidiOutPort port(capture, clock, messages);
        settings.samplerModel = model;
        program->nextProgramNumber = 0;
        program->nextSampleNumber = 0;
        EXPECT_EQ(SendCommand(*program, settings, port, messages, ui).OnSendProgram(),
                  SendCommand::Outcome::sent);
        return capture.bytes;
    }

    std::vector<std::int16_t> Frames(int entry, int part) {
        return vt::PartFrames(*program, messages, entry, part);
    }

    vt::TempDir dir;
    vt::WorkingDirectoryGuard restore; // the program enters its directory
    vt::RecordingMessages messages;
    vt::AnswerAllUi ui;
    SamplerSettings settings;
    std::unique_ptr<program::Program> program = std::make_unique<program::Program>();
};

// The estimate counts what the builders put on the wire, byte for byte, for every model.
TEST_F(RoundTripTest, EveryFamilyEstimatesTheBytesItsSendPutsOut) {
    for (std::int32_t model = 0; model < SamplerModel::count; ++model) {
        SCOPED_TRACE("model " + std::to_string(model));
        const SamplerModelInfo info = *SamplerModel::Find(model);
        const Family& family = *FamilyOf(model);
        double bytes = 0;
        int parts = 0;
        for (int i = 0; i < program->sampleCount; ++i) {
            const program::SampleBlock& sample = program->samples[i].sample;
            const auto count = static_cast<int>(velomire::program::PartsOf(sample.sendMode).size());
            parts += count;
            bytes += count * family.PartOnWire(sample.lengthWords, info).bytes;
        }
        if (family.SendsProgram()) {
            bytes += family.ProgramOnWire(program->sampleCount, parts, info).bytes;
        }
        EXPECT_EQ(bytes, static_cast<double>(Render(model).size()));
    }
}

TEST_F(RoundTripTest, EveryModelGivesBackItsFramesAndStoredFields) {
    for (std::int32_t model = 0; model < SamplerModel::count; ++model) {
        SCOPED_TRACE("model " + std::to_string(model));
        const DecodeResult decoded = DecodeSysExStream(Render(model));
        ASSERT_TRUE(decoded.errors.empty())
            << decoded.errors[0].offset << ": " << decoded.errors[0].text;
        const SamplerFamily family = SamplerModel::Family(model);
        ASSERT_EQ(decoded.samples.size(), 3u);

        const std::pair<int, int> parts[] = {{0, 0}, {1, 1}, {1, 2}};
        for (std::size_t i = 0; i < 3; ++i) {
            const auto [entry, part] = parts[i];
            const DecodedSample& got = decoded.samples[i];
            const program::SampleBlock& sent = program->samples[entry].sample;
            EXPECT_EQ(got.family, family);
            EXPECT_EQ(got.number, sent.samplerSampleNumber[part]);
            std::vector<std::int16_t> expected = Frames(entry, part);
            if (family == SamplerFamily::s900) {
                for (auto& frame : expected) {
                    frame = static_cast<std::int16_t>(frame & ~0xF); // 12 bits on the wire
                }
            }
            EXPECT_EQ(got.frames, expected) << "part " << i;
            EXPECT_EQ(got.rate, sent.sampleRate);
            EXPECT_EQ(FieldNumber(got.fields, "lengthWords"), sent.lengthWords);
        }

        const DecodedFields& kick = decoded.samples[0].fields;
        const program::SampleBlock& sent = program->samples[0].sample;
        const std::uint32_t loopStart = sent.loopAt[0] - sent.loopLength[0] + 1;
        if (family == SamplerFamily::sds) {
            EXPECT_EQ(FieldNumber(kick, "channel"), 2);
            EXPECT_EQ(FieldNumber(kick, "samplePeriodNs"), sent.samplePeriodNs);
            EXPECT_EQ(FieldNumber(kick, "loopStart"), loopStart);
            EXPECT_EQ(FieldNumber(kick, "loopEnd"), sent.loopAt[0]);
            EXPECT_EQ(FieldNumber(kick, "loopType"), 0);
            // The pad does not loop: "loop off" on its last word.
            const DecodedFields& pad = decoded.samples[1].fields;
            EXPECT_EQ(FieldNumber(pad, "loopType"), 0x7F);
            EXPECT_EQ(FieldNumber(pad, "loopEnd"), decoded.samples[1].lengthWords - 1);
            EXPECT_TRUE(decoded.programs.empty());
            continue;
        }
        ASSERT_EQ(decoded.programs.size(), 1u);
        const DecodedProgram& prog = decoded.programs[0];
        EXPECT_EQ(prog.number, program->header.programNumber);
        if (family == SamplerFamily::s900) {
            EXPECT_EQ(FieldString(kick, "sampleName"), "Kick 1    ");
            EXPECT_EQ(FieldNumber(kick, "rootKey"), 48);
            EXPECT_EQ(FieldString(kick, "loopMode"), "L");
            EXPECT_EQ(FieldNumber(kick, "endPoint"), 300); // the loop's last word
            EXPECT_EQ(FieldNumber(kick, "firstReplayPoint"), 0);
            EXPECT_EQ(FieldNumber(kick, "loopLength"), 100);
            EXPECT_EQ(FieldNumber(decoded.samples[2].fields, "firstReplayPoint"),
                      program->samples[1].sample.s900RightLoopShift);
            EXPECT_EQ(FieldString(decoded.samples[2].fields, "sampleName"), "pad     -R");
            EXPECT_EQ(FieldString(prog.fields, "programName"), "Drums     ");
            ASSERT_EQ(prog.keygroups.size(), 3u);
            EXPECT_EQ(FieldNumber(prog.keygroups[0], "lowKey"), 36);
            EXPECT_EQ(FieldNumber(prog.keygroups[0], "output"), 255); // all voices
            EXPECT_EQ(FieldNumber(prog.keygroups[2], "output"), 9);
            continue;
        }
        EXPECT_EQ(FieldNumber(kick, "exclusiveChannel"), 5);
        EXPECT_EQ(FieldNumber(kick, "blockBytes"), SamplerModel::Find(model)->blockBytes);
        EXPECT_EQ(FieldString(kick, "sampleName"), "KICK 1      ");
        EXPECT_EQ(FieldNumber(kick, "rootKey"), 48);
        EXPECT_EQ(FieldNumber(kick, "tuneOffset"), -300);
        EXPECT_EQ(FieldNumber(kick, "endPoint"), sent.endPoint);
        const auto list = [](const DecodedFields& fields, std::string_view name) {
            for (const auto& field : fields) {
                if (field.name == name) {
                    return std::get<std::vector<std::int64_t>>(field.value);
                }
            }
            return std::vector<std::int64_t>{};
        };
        EXPECT_EQ(list(kick, "loopAt")[0], 300);
        EXPECT_EQ(list(kick, "loopLength")[1], 64);
        EXPECT_EQ(list(kick, "loopDwell")[0], 7);
        EXPECT_EQ(list(prog.fields, "programParams")[3], 77);
        EXPECT_EQ(list(prog.fields, "programParams")[27], 2);
        ASSERT_EQ(prog.keygroups.size(), 2u);
        EXPECT_EQ(FieldNumber(prog.keygroups[0], "highKey"), 40);
        EXPECT_EQ(FieldNumber(prog.keygroups[0], "keygroupTune"), -12);
        EXPECT_EQ(list(prog.keygroups[0], "keygroupWords")[6], 55);
        EXPECT_EQ(FieldString(prog.keygroups[1], "zone2SampleName"), "PAD       -R");
        EXPECT_EQ(list(prog.keygroups[1], "zone1VelocityWords")[2], -50);
        // Only the 192-byte blocks of the later models hold the last three; they also take their
        // own polyphony (word 2) and level to the individual outputs (word 41).
        const bool later = SamplerModel::Find(model)->blockBytes == 192;
        EXPECT_EQ(list(prog.fields, "programParams")[2], later ? 31 : 15);
        EXPECT_EQ(list(prog.fields, "programParams")[41], later ? 50 : 0);
        EXPECT_EQ(FieldNumber(prog.fields, "bendDownRange"),
                  later ? std::optional(2) : std::nullopt);
        EXPECT_EQ(FieldNumber(prog.keygroups[1], "lfo1ToPitch"),
                  later ? std::optional(50) : std::nullopt);
        EXPECT_EQ(FieldNumber(prog.keygroups[1], "muteGroup"),
                  later ? std::optional(0xFF) : std::nullopt);
    }
}

TEST_F(RoundTripTest, EveryMalformedMessageIsNamedByItsOffsetAndTheRestIsStillDecoded) {
    const std::vector<std::uint8_t> clean = Render(SamplerModel::sds);
    const std::size_t secondHeader = 21 + 9 * 127; // 333 words are 9 packets
    // Damage a data byte of the second packet and the bits of the second Dump Header: both are
    // named, and the third sample still comes whole.
    std::vector<std::uint8_t> damaged = clean;
    damaged[21 + 127 + 40] ^= 0x01;
    damaged[secondHeader + 6] = 0x7F;
    DecodeResult decoded = DecodeSysExStream(damaged);
    // The packet, the next one (out of order after it), the header, and the first sample at its
    // header's offset, damaged at its packet 1: the packets after that are not named one by one.
    ASSERT_EQ(decoded.errors.size(), 4u);
    EXPECT_EQ(decoded.errors[0].offset, 21u + 127u);
    EXPECT_NE(decoded.errors[0].text.find("checksum"), std::string::npos);
    EXPECT_EQ(decoded.errors[1].offset, 21u + 2 * 127u);
    EXPECT_EQ(decoded.errors[2].offset, secondHeader);
    EXPECT_EQ(decoded.errors[3].offset, 0u);
    EXPECT_NE(decoded.errors[3].text.find("damaged at packet 1"), std::string::npos);
    ASSERT_FALSE(decoded.samples.empty());
    EXPECT_EQ(decoded.samples.back().frames, Frames(1, 2));

    // A dump cut inside its last packet: the cut message is named, and its sample.
    decoded = DecodeSysExStream(std::span(clean).first(clean.size() - 5));
    ASSERT_EQ(decoded.errors.size(), 2u);
    EXPECT_EQ(decoded.errors[0].offset, clean.size() - 127);
    EXPECT_TRUE(decoded.errors[1].sample);

    // A dump cut between packets: the sample that stops short is named by its header.
    decoded = DecodeSysExStream(std::span(clean).first(secondHeader + 21 + 127));
    ASSERT_EQ(decoded.errors.size(), 1u);
    EXPECT_EQ(decoded.errors[0].offset, secondHeader);
    EXPECT_NE(decoded.errors[0].text.find("incomplete"), std::string::npos);
    EXPECT_EQ(decoded.samples.size(), 2u);

    // A sample period of 0 (0 Hz, which no WAV file holds): the sample is named and not given,
    // the others are.
    std::vector<std::uint8_t> still = clean;
    std::fill_n(still.begin() + 7, 3, 0);
    decoded = DecodeSysExStream(still);
    ASSERT_EQ(decoded.errors.size(), 1u);
    EXPECT_EQ(decoded.errors[0].text, "sample 0: a rate of 0 Hz in its header, which no WAV file "
                                      "can hold");
    EXPECT_EQ(decoded.samples.size(), 2u);

    // A header without data is named and gives no sample; an S900 header's text byte of 80h or
    // more is escaped.
    const std::vector<std::uint8_t> s900 = Render(SamplerModel::s900);
    std::vector<std::uint8_t> headers(clean.begin(), clean.begin() + 21);
    const auto s900Header = std::find_if(s900.begin(), s900.end() - 5, [&](const auto& b) {
        const auto* m = &b;
        return m[0] == 0xF0 && m[1] == 0x47 && m[3] == 0x0A && m[4] == 0x40;
    });
    ASSERT_NE(s900Header, s900.end());
    std::vector<std::uint8_t> s900Bytes(s900Header, s900Header + 129);
    s900Bytes[7 + 2 * 26] = 0x00; // loop mode 80h: its low 7 bits, then its top bit
    s900Bytes[7 + 2 * 26 + 1] = 0x01;
    std::uint8_t sum = 0;
    for (std::size_t i = 7; i < 127; ++i) {
        sum ^= s900Bytes[i];
    }
    s900Bytes[127] = sum;
    headers.insert(headers.end(), s900Bytes.begin(), s900Bytes.end());
    decoded = DecodeSysExStream(headers);
    EXPECT_TRUE(decoded.samples.empty());
    ASSERT_EQ(decoded.errors.size(), 2u);
    EXPECT_NE(decoded.errors[0].text.find("without data"), std::string::npos);
    SysExDecoder decoder;
    ASSERT_TRUE(decoder.Feed(s900Bytes).Ok());
    const auto closed = decoder.TakeClosedSamples();
    ASSERT_EQ(closed.size(), 1u);
    EXPECT_EQ(FieldString(closed[0].fields, "loopMode"), "\\x80");
}

TEST_F(RoundTripTest, APacketAfterAGapIsNeverTakenAsAnotherRoundsPacket) {
    // 200 packets of 40 words: packet 32 is lost, and the packet numbered 32 of the next round of
    // 128 follows on from the ones after the gap.
    std::vector<std::int16_t> frames(200 * 40);
    for (std::size_t i = 0; i < frames.size(); ++i) {
        frames[i] = static_cast<std::int16_t>(i * 7);
    }
    vt::WriteFile(dir / "long.wav", vt::WavBuilder::Canonical(1, 22050, 16, frames));
    program = std::make_unique<program::Program>();
    program->SetProgramPath(dir / "Long.vmp", true);
    Add("long.wav");
    const std::vector<std::uint8_t> bytes = Render(SamplerModel::sds);
    const auto packetAt = [](std::size_t k) { return 21 + k * 127; };
    std::vector<std::uint8_t> oneWay(bytes.begin(), bytes.begin() + packetAt(32));
    oneWay.insert(oneWay.end(), bytes.begin() + packetAt(33), bytes.end());
    DecodeResult decoded = DecodeSysExStream(oneWay);
    ASSERT_EQ(decoded.samples.size(), 1u);
    EXPECT_EQ(decoded.samples[0].frames.size(), 32u * 40u);
    EXPECT_EQ(decoded.samples[0].missingPacket, 32u);
    // One line for the gap and one for the sample, not one per packet after it.
    ASSERT_EQ(decoded.errors.size(), 2u);
    EXPECT_EQ(decoded.errors[0].text, "Data Packet 33 where 32 was expected");

    // Closed loop: the sender goes back to the missing packet, which fills the gap.
    std::vector<std::uint8_t> resent(bytes.begin(), bytes.begin() + packetAt(32));
    resent.insert(resent.end(), bytes.begin() + packetAt(33), bytes.begin() + packetAt(34));
    resent.insert(resent.end(), bytes.begin() + packetAt(32), bytes.end());
    decoded = DecodeSysExStream(resent);
    ASSERT_EQ(decoded.samples.size(), 1u);
    EXPECT_EQ(decoded.samples[0].frames, Frames(0, 0));
    EXPECT_EQ(decoded.errors.size(), 1u);
}
TEST_F(RoundTripTest, AResentPacketReplacesTheOneBefore) {
    std::vector<std::uint8_t> bytes = Render(SamplerModel::sds);
    // As in a closed-loop trace: packet 0 sent again after a NAK, and a CANCEL the sender sent,
    // which carries no data.
    const std::vector<std::uint8_t> packet0(bytes.begin() + 21, bytes.begin() + 21 + 127);
    bytes.insert(bytes.begin() + 21 + 127, packet0.begin(), packet0.end());
    const auto cancel = SdsHandshake(SamplerReply::Kind::cancel, 2, 9);
    bytes.insert(bytes.end(), cancel.begin(), cancel.end());
    const DecodeResult decoded = DecodeSysExStream(bytes);
    ASSERT_TRUE(decoded.errors.empty()) << decoded.errors[0].text;
    EXPECT_EQ(decoded.samples[0].frames, Frames(0, 0));
}

// Replies and disk files real samplers wrote (their README says where each came from).
const std::filesystem::path dumps = VELOMIRE_DUMPS_DIR;

std::vector<std::uint8_t> ReadDump(const char* name) {
    std::ifstream in(dumps / name, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// A disk file's 192-byte blocks (a program, then its keygroups) as the messages that carry them
// to program 7.
std::vector<std::uint8_t> AsMessages(const std::vector<std::uint8_t>& file) {
    std::vector<std::uint8_t> out;
    for (std::size_t at = 0; at + 192 <= file.size(); at += 192) {
        out.insert(out.end(), {0xF0, 0x47, 0x00, std::uint8_t(at == 0 ? 0x07 : 0x09), 0x48, 7, 0});
        if (at > 0) {
            out.push_back(static_cast<std::uint8_t>(at / 192 - 1)); // keygroup number
        }
        for (std::size_t i = at; i < at + 192; ++i) {
            out.insert(out.end(), {std::uint8_t(file[i] & 0x0F), std::uint8_t(file[i] >> 4)});
        }
        out.push_back(0xF7);
    }
    return out;
}

TEST(RealSamplerData, DecoderAndSimulatedSamplerReadItAsTheSamplerWroteIt) {
    if (!std::filesystem::exists(dumps / "s3000xl-sdata-sample09.syx")) {
        GTEST_SKIP() << "no real sampler data in " << dumps;
    }
    // An S3000 XL sample header alone (its words did not come with it), and an S2000 program.
    const DecodeResult header = DecodeSysExStream(ReadDump("s3000xl-sdata-sample09.syx"));
    ASSERT_EQ(header.errors.size(), 1u);
    EXPECT_NE(header.errors[0].text.find("sample 9"), std::string::npos) << header.errors[0].text;
    // Its loop as the sampler plays it: at word 2720, 849 words long as stored (the waveform at
    // 2720 repeats 849 words earlier, not 64 words further).
    SysExDecoder decoder;
    ASSERT_TRUE(decoder.Feed(ReadDump("s3000xl-sdata-sample09.syx")).Ok());
    EXPECT_EQ(FieldList(decoder.OpenSample()->fields, "loopLength").front(), 849);
    const auto loops = ReceivedSampleChunks(*decoder.OpenSample()).loops;
    ASSERT_EQ(loops.size(), 1u);
    EXPECT_EQ(loops[0].start, 1872u);
    EXPECT_EQ(loops[0].end, 2720u);
    const DecodeResult program = DecodeSysExStream(ReadDump("s2000-pdata-prog20-a.syx"));
    ASSERT_EQ(program.programs.size(), 1u);
    EXPECT_EQ(FieldString(program.programs[0].fields, "programName"), "GIBSON BASS2");
    EXPECT_EQ(FieldNumber(program.programs[0].fields, "bendDownRange"), 2);

    // Programs the samplers saved to disk, with 1, 8 and 2 keygroups, sent as messages. Those of
    // the S3000 XL hold what Velomire sends the later models: polyphony 31 (word 2), level to the
    // individual outputs 50 (word 41) and LFO 1 to pitch 50; the library program has its own.
    for (const auto& [name, xl] : {std::pair{"s3000xl-program-kg01-default.a3p.bin", true},
                                   std::pair{"s3000xl-program-brk10-good.a3p.bin", true},
                                   std::pair{"s3000-program-mix-ana-pad.p.bin", false}}) {
        SCOPED_TRACE(name);
        const DecodeResult saved = DecodeSysExStream(AsMessages(ReadDump(name)));
        EXPECT_TRUE(saved.errors.empty());
        ASSERT_EQ(saved.programs.size(), 1u);
        EXPECT_EQ(FieldNumber(saved.programs[0].fields, "bendDownRange"), 2);
        const auto params = FieldList(saved.programs[0].fields, "programParams");
        EXPECT_EQ(params.at(2), 31);
        EXPECT_EQ(params.at(41), xl ? 50 : 0);
        EXPECT_FALSE(saved.programs[0].keygroups.empty());
        for (const DecodedFields& keygroup : saved.programs[0].keygroups) {
            EXPECT_EQ(FieldNumber(keygroup, "lfo1ToPitch"), xl ? 50 : 20);
            EXPECT_EQ(FieldNumber(keygroup, "muteGroup"), 0xFF); // none
        }
    }
}

TEST(SamplerReply, ReadsTheThreeReplyForms) {
    const auto nak = ParseSamplerReply(SdsHandshake(SamplerReply::Kind::nak, 3, 17));
    ASSERT_TRUE(nak);
    EXPECT_EQ(nak->kind, SamplerReply::Kind::nak);
    EXPECT_EQ(nak->channel, 3);
    EXPECT_EQ(nak->packet, 17);
    const auto wait = ParseSamplerReply(std::vector<std::uint8_t>{0xF0, 0x7E, 0, 0x7C, 0, 0xF7});
    ASSERT_TRUE(wait);
    EXPECT_EQ(wait->kind, SamplerReply::Kind::wait);

    const auto s900 = ParseSamplerReply(S900Handshake(SamplerReply::Kind::nak));
    ASSERT_TRUE(s900);
    EXPECT_EQ(s900->kind, SamplerReply::Kind::nak);
    EXPECT_EQ(s900->channel, -1);

    const auto refused = ParseSamplerReply(
        std::vector<std::uint8_t>{0xF0, 0x47, 0x01, 0x16, 0x48, 0x01, 0x05, 0xF7});
    ASSERT_TRUE(refused);
    EXPECT_TRUE(refused->Refused());
    EXPECT_EQ(refused->detail, std::vector<std::uint8_t>{0x05});
    EXPECT_FALSE(ParseSamplerReply(AkaiReply(1, 0))->Refused());

    // Anything else is no reply: another handshake code, a status byte inside, no F7, a request
    // to delete program 1 (function 12h).
    for (const std::vector<std::uint8_t>& other :
         {std::vector<std::uint8_t>{0xF0, 0x7E, 0, 0x7B, 0, 0xF7},
          std::vector<std::uint8_t>{0xF0, 0x47, 0x01, 0x12, 0x48, 0x01, 0x00, 0xF7},
          std::vector<std::uint8_t>{0xF0, 0x7E, 0x90, 0x7F, 0, 0xF7},
          std::vector<std::uint8_t>{0xF0, 0x7E, 0, 0x7F, 0}}) {
        EXPECT_FALSE(ParseSamplerReply(other));
    }
}

} // namespace
