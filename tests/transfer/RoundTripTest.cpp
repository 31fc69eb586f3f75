#include "transfer/Librarian.h"
#include "transfer/ReceivedFiles.h"
#include "transfer/SendCommand.h"

#include "support/RecordingMessages.h"
#include "support/SamplerLink.h"
#include "support/SendSupport.h"
#include "support/WavBuilder.h"

#include <gtest/gtest.h>

#include <memory>

using namespace velomire::transfer;
namespace program = velomire::program;
namespace vt = velomire::testing;

namespace {

class QuietProgress final : public LibrarianProgress {
public:
    void Progress(std::uint64_t, std::uint64_t) override {}
    bool Cancelled() override { return false; }
};

// A program sent closed-loop to the simulated sampler of every model in the table, in process,
// and taken back with the model's librarian: the same words (the top 12 bits on the S900/S950),
// the same root keys, loops (word for word, the right channel's too) and key ranges, as far as
// the family stores them.
TEST(RoundTrip, EveryModelGivesBackTheWordsRootKeysLoopsAndKeyRangesItWasSent) {
    vt::TempDir dir;
    vt::WorkingDirectoryGuard restore;
    vt::RecordingMessages messages;
    vt::WriteKickAndPad(dir.Path());
    auto prog = std::make_unique<program::Program>();
    prog->SetProgramPath(dir / "Drums.vmp", true);
    vt::AddSampleFile(*prog, messages, "kick.wav");
    vt::AddSampleFile(*prog, messages, "pad.wav");
    prog->samples[0].sample.rootKey = 48;
    prog->samples[0].keygroup.lowKey = 36;
    prog->samples[0].keygroup.highKey = 40;
    prog->samples[0].sample.loopMode = program::loopNormal;
    prog->samples[0].sample.loopCount = 1;
    prog->samples[0].sample.loopAt[0] = 300; // words 201 to 300
    prog->samples[0].sample.loopLength[0] = 100;
    prog->samples[1].sample.sendMode = program::sendStereo;
    prog->samples[1].sample.loopMode = program::loopUntilRelease;
    prog->samples[1].sample.loopCount = 1;
    prog->samples[1].sample.SetLoop(0, {239, 120, 0}); // words 120 to 239 of 250, both channels
    prog->samples[1].sample.rootKey = 65;
    prog->samples[1].keygroup.lowKey = 41;
    prog->samples[1].keygroup.highKey = 96;

    for (std::int32_t model = 0; model < SamplerModel::count; ++model) {
        const SamplerModelInfo info = *SamplerModel::Find(model);
        SCOPED_TRACE(std::string(info.shortName));
        vt::FakeWaitClock clock;
        SamplerScript script;
        script.family = info.family;
        script.model = model;
        vt::SamplerLink link(clock, script);
        MidiOutPort out(link, clock, messages);
        MidiInPort in(link, clock);
        SamplerSettings settings;
        settings.samplerModel = model;
        settings.midiOutDevice = 0;
        settings.midiInDevice = 0;
        settings.maxProgram = 254;
        settings.maxSample = 255;
        prog->nextProgramNumber = 0;
        prog->nextSampleNumber = 0;
        vt::AnswerAllUi ui;
        SendCommand send(*prog, settings, out, messages, ui);
        send.SetReplyPort(&in);
        ASSERT_EQ(send.OnSendProgram(), SendCommand::Outcome::sent);

        ASSERT_TRUE(out.Open(0));
        ASSERT_TRUE(in.Open(0));
        const auto librarian = MakeLibrarian(model, LibrarianPorts{out, in, 0, 0});
        ASSERT_TRUE(librarian);
        QuietProgress progress;
        std::vector<SamplerEntry> entries;
        ASSERT_TRUE(librarian->List(entries, progress).Ok());

        // Each part sent comes back once, found by its words.
        const std::pair<int, int> parts[] = {{0, 0}, {1, 1}, {1, 2}};
        std::vector<DecodedSample> got;
        for (const SamplerEntry& entry : entries) {
            if (entry.kind == SamplerEntry::Kind::sample) {
                DecodedSample sample;
                ASSERT_TRUE(librarian->GetSample(entry.number, sample, progress).Ok())
                    << "sample " << entry.number;
                got.push_back(std::move(sample));
            }
        }
        ASSERT_EQ(got.size(), 3u);
        for (const auto& [row, part] : parts) {
            std::vector<std::int16_t> sent = vt::PartFrames(*prog, messages, row, part);
            if (info.family == SamplerFamily::s900) {
                for (auto& frame : sent) {
                    frame = static_cast<std::int16_t>(frame & ~0xF); // 12 bits on the wire
                }
            }
            const auto found = std::find_if(
                got.begin(), got.end(), [&](const DecodedSample& s) { return s.frames == sent; });
            ASSERT_NE(found, got.end()) << "row " << row << " part " << part;
            if (const auto root = FieldNumber(found->fields, "rootKey")) {
                EXPECT_EQ(*root, prog->samples[row].sample.rootKey);
            }
            const auto loops = ReceivedSampleChunks(*found).loops;
            ASSERT_EQ(loops.size(), 1u);
            EXPECT_EQ(loops.front().start, row == 0 ? 201u : 120u);
            EXPECT_EQ(loops.front().end, row == 0 ? 300u : 239u);
        }

        // The key ranges, where the family keeps a program.
        for (const SamplerEntry& entry : entries) {
            if (entry.kind != SamplerEntry::Kind::program) {
                continue;
            }
            DecodedProgram taken;
            ASSERT_TRUE(librarian->GetProgram(entry.number, taken, progress).Ok());
            ASSERT_FALSE(taken.keygroups.empty());
            EXPECT_EQ(FieldNumber(taken.keygroups.front(), "lowKey"), 36);
            EXPECT_EQ(FieldNumber(taken.keygroups.back(), "highKey"), 96);
        }
        EXPECT_EQ(info.family != SamplerFamily::sds,
                  std::any_of(entries.begin(), entries.end(), [](const SamplerEntry& e) {
                      return e.kind == SamplerEntry::Kind::program;
                  }));
    }
}

} // namespace
