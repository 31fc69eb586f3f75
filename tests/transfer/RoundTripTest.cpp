#include "program/ProgramFile.h"
#include "transfer/CaptureMidiDriver.h"
#include "transfer/Librarian.h"
#include "transfer/ReceivedFiles.h"
#include "transfer/SendCommand.h"

#include "support/HexMatch.h"
#include "support/RecordingMessages.h"
#include "support/SamplerLink.h"
#include "support/SendSupport.h"
#include "support/WavBuilder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <set>

using namespace velomire::transfer;
namespace program = velomire::program;
namespace vt = velomire::testing;

namespace {

class QuietProgress final : public LibrarianProgress {
public:
    void Progress(std::uint64_t, std::uint64_t) override {}
    bool Cancelled() override { return false; }
};

class DiskFiles final : public FileCreator {
public:
    bool Exists(const std::filesystem::path& path) override {
        return std::filesystem::exists(path);
    }
    Created Create(const std::filesystem::path& path, std::span<const std::uint8_t> bytes,
                   std::string&) override {
        std::ofstream out(path, std::ios::binary);
        out.write(reinterpret_cast<const char*>(bytes.data()),
                  static_cast<std::streamsize>(bytes.size()));
        return out ? Created::done : Created::failed;
    }
};

// The bytes a send of the program puts on the wire, from program 0 and sample 0.
std::vector<std::uint8_t> Render(program::Program& prog, std::int32_t model,
                                 program::UserMessages& messages) {
    CaptureMidiDriver capture;
    InstantWaitClock clock;
    MidiOutPort port(capture, clock, messages);
    SamplerSettings settings;
    settings.samplerModel = model;
    settings.midiOutDevice = 0;
    prog.nextProgramNumber = 0;
    prog.nextSampleNumber = 0;
    vt::AnswerAllUi ui;
    EXPECT_EQ(SendCommand(prog, settings, port, messages, ui).OnSendProgram(),
              SendCommand::Outcome::sent);
    return capture.bytes;
}

// A program sent closed-loop to the simulated sampler of every model in the table, in process,
// and taken back with the model's librarian: the same words (the top 12 bits on the S900/S950),
// the same root keys, loops (word for word, the right channel's too) and key ranges, as far as
// the family stores them; the program taken back as files puts on the wire what the original
// does; and a send that lists the sampler first keeps what it held.
TEST(RoundTrip, EveryModelGivesBackWhatItWasSentAndAProgramThatSendsTheSameBytes) {
    vt::TempDir dir;
    vt::WorkingDirectoryGuard restore;
    vt::RecordingMessages messages;
    vt::WriteKickAndPad(dir.Path());
    // The last packet of a sample carries the file's frames past the sound, which the sampler
    // does not keep: a kick of 332 frames leaves none.
    std::vector<std::int16_t> kick(332);
    for (std::size_t i = 0; i < kick.size(); ++i) {
        kick[i] = static_cast<std::int16_t>(i * 40503u);
    }
    vt::WriteFile(dir / "kick.wav", vt::WavBuilder::Canonical(1, 22050, 16, kick));
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
        settings.midiInDevice = 0;   // and no number limits, as the command line has it
        prog->nextProgramNumber = 1; // and samples from 0
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

        // The key ranges, where the family keeps a program; and the program taken back as files
        // sends the very bytes the original sends (its stereo entry one stereo row again).
        for (const SamplerEntry& entry : entries) {
            if (entry.kind != SamplerEntry::Kind::program) {
                continue;
            }
            DecodedProgram taken;
            ASSERT_TRUE(librarian->GetProgram(entry.number, taken, progress).Ok());
            ASSERT_FALSE(taken.keygroups.empty());
            EXPECT_EQ(FieldNumber(taken.keygroups.front(), "lowKey"), 36);
            EXPECT_EQ(FieldNumber(taken.keygroups.back(), "highKey"), 96);

            const std::filesystem::path folder = dir / ("got-" + std::to_string(model));
            std::filesystem::create_directory(folder);
            DiskFiles disk;
            ReceivedFiles files(folder, disk);
            std::string written;
            std::set<int> samples;
            ASSERT_TRUE(GetProgramFiles(*librarian, entry.number, entries, files, progress,
                                        messages, written, samples)
                            .Ok());
            const std::vector<std::uint8_t> original = Render(*prog, model, messages);
            auto back = std::make_unique<program::Program>();
            ASSERT_TRUE(program::ProgramFile::LoadFile(folder / written, *back));
            back->SetProgramPath(folder / written, false);
            ASSERT_EQ(back->sampleCount, 2);
            EXPECT_TRUE(vt::BytesEqual(Render(*back, model, messages), original));
            std::filesystem::current_path(dir.Path());
        }
        EXPECT_EQ(info.family != SamplerFamily::sds,
                  std::any_of(entries.begin(), entries.end(), [](const SamplerEntry& e) {
                      return e.kind == SamplerEntry::Kind::program;
                  }));

        // A send that lists the sampler first lands on free numbers: the sampler keeps all it
        // held, also after a delete has moved the S1000 family's positions up.
        std::size_t held = link.sampler.Memory().samples.size();
        if (librarian->CanDelete()) {
            ASSERT_TRUE(librarian->Delete(SamplerEntry::Kind::sample, 0).Ok());
            --held;
        }
        out.Close();
        in.Close();
        vt::AnswerAllUi listingUi;
        SendCommand listing(*prog, settings, out, messages, listingUi);
        listing.SetReplyPort(&in);
        listing.SetLibrarianFactory(MakeLibrarian);
        ASSERT_EQ(listing.OnSendProgram(), SendCommand::Outcome::sent);
        EXPECT_EQ(link.sampler.Memory().samples.size(), held + 3);
    }
}

} // namespace
