#include "transfer/Librarian.h"
#include "transfer/SamplerModel.h"
#include "transfer/families/s900/S900Responder.h"

#include "support/FakeWaitClock.h"
#include "support/HexMatch.h"
#include "support/RecordingMessages.h"
#include "support/ResponderLink.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace velomire::transfer {
namespace {

using velomire::testing::Hex;
using Bytes = std::vector<std::uint8_t>;

class CountingProgress : public LibrarianProgress {
public:
    void Progress(std::uint64_t done, std::uint64_t) override {
        ++calls;
        last = done;
    }
    bool Cancelled() override { return cancelAfter >= 0 && calls > cancelAfter; }
    int calls = 0;
    int cancelAfter = -1; // cancels once Progress has been called more often
    std::uint64_t last = 0;
};

// A librarian for the S900 talking to the S900 responder over an in-process link.
class S900LibrarianTest : public ::testing::Test {
protected:
    S900LibrarianTest() {
        DecodedSample kick;
        kick.family = SamplerFamily::s900;
        kick.rate = 22050;
        for (int i = 0; i < 130; ++i) { // three blocks, the last one of 10 words
            kick.frames.push_back(static_cast<std::int16_t>(i * 503 - 32768));
        }
        kick.fields = {{"sampleName", std::string("KICK")}, {"headerRate", std::int64_t{22050}},
                       {"rootKey", std::int64_t{48}},       {"loopMode", std::string("L")},
                       {"endPoint", std::int64_t{109}},     {"loopLength", std::int64_t{100}}};
        memory.samples[3] = kick;
        DecodedProgram drums;
        drums.fields = {{"programName", std::string("DRUMS")}};
        drums.keygroups = {{{"lowKey", std::int64_t{36}},
                            {"highKey", std::int64_t{48}},
                            {"sampleName", std::string("KICK")}}};
        memory.programs[1] = drums;
    }

    // Starts the sampler with its faults and the librarian on it.
    void Start() {
        librarian.reset();
        in.reset();
        out.reset();
        link.reset();
        responder = MakeS900Responder(memory, faults);
        link = std::make_unique<velomire::testing::ResponderLink>(clock, *responder);
        out = std::make_unique<MidiOutPort>(link->out, clock, messages);
        in = std::make_unique<MidiInPort>(link->in, clock);
        ASSERT_TRUE(out->Open(0));
        ASSERT_TRUE(in->Open(0));
        librarian = MakeLibrarian(SamplerModel::s950, {*out, *in});
        ASSERT_TRUE(librarian);
    }

    // The 12 bits the S900 keeps of each original frame.
    std::vector<std::int16_t> KickWords() const {
        std::vector<std::int16_t> words = memory.samples.at(3).frames;
        for (auto& w : words) {
            w = static_cast<std::int16_t>(w & 0xFFF0);
        }
        return words;
    }

    long Sent(const Bytes& message) const {
        return std::count(link->written.begin(), link->written.end(), message);
    }

    SamplerMemory memory;
    SendFaults faults;
    velomire::testing::FakeWaitClock clock;
    velomire::testing::RecordingMessages messages;
    std::unique_ptr<RequestResponder> responder;
    std::unique_ptr<velomire::testing::ResponderLink> link;
    std::unique_ptr<MidiOutPort> out;
    std::unique_ptr<MidiInPort> in;
    std::unique_ptr<Librarian> librarian;
    CountingProgress progress;
    const Bytes ack = Hex("F0 7E 7F F7");
    const Bytes nak = Hex("F0 7E 7E F7");
    const Bytes abort = Hex("F0 7E 7D F7");
};

TEST_F(S900LibrarianTest, ListsTheCatalogueReadsHeadersAndTakesBackAProgram) {
    Start();
    EXPECT_FALSE(librarian->CanDelete());
    std::vector<SamplerEntry> entries;
    ASSERT_TRUE(librarian->List(entries, progress).Ok());
    EXPECT_EQ(link->written.front(), Hex("F0 47 00 03 40 00 00 F7"));
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].kind, SamplerEntry::Kind::program);
    EXPECT_EQ(entries[0].number, 1);
    EXPECT_EQ(entries[0].name, "DRUMS");
    EXPECT_EQ(entries[1].name, "KICK");

    ASSERT_TRUE(librarian->ReadHeaders(entries, progress).Ok());
    EXPECT_EQ(entries[1].words, 130u);
    EXPECT_EQ(entries[1].rate, 22050u);
    EXPECT_FALSE(entries[0].words);

    DecodedProgram program;
    ASSERT_TRUE(librarian->GetProgram(1, program, progress).Ok());
    ASSERT_EQ(program.keygroups.size(), 1u);
    EXPECT_EQ(FieldNumber(program.keygroups[0], "lowKey"), 36);
    EXPECT_EQ(FieldString(program.keygroups[0], "sampleName"), "KICK      ");

    const LibrarianResult missing = librarian->GetProgram(7, program, progress);
    EXPECT_EQ(missing.outcome, LibrarianResult::Outcome::noAnswer);
    EXPECT_EQ(missing.text, "The sampler did not send program #7 within 2 s.");
}

TEST_F(S900LibrarianTest, TakesBackTheTopTwelveBitsAnsweringEveryBlockBeforeTheNext) {
    Start();
    link->alter = [](Bytes& bytes) { // another device's message just before the dump
        if (bytes.size() == 19) {
            bytes.insert(bytes.begin(), {0xF0, 0x43, 0x10, 0xF7});
        }
    };
    DecodedSample sample;
    const LibrarianResult result = librarian->GetSample(3, sample, progress);
    ASSERT_TRUE(result.Ok()) << result.text;
    EXPECT_EQ(sample.frames, KickWords());
    EXPECT_EQ(sample.lengthWords, 130u);
    EXPECT_EQ(sample.rate, 22050u);
    EXPECT_EQ(FieldString(sample.fields, "sampleName"), "KICK      ");
    EXPECT_EQ(FieldNumber(sample.fields, "rootKey"), 48);
    EXPECT_EQ(FieldNumber(sample.fields, "endPoint"), 109);
    EXPECT_EQ(FieldNumber(sample.fields, "firstReplayPoint"), 0);
    EXPECT_EQ(Sent(Hex("F0 7E 00 03 00 F7")), 1);
    EXPECT_EQ(Sent(Hex("F0 7E 03 03 00 F7")), 0);
    EXPECT_EQ(Sent(ack), 4); // the header and three blocks
    EXPECT_EQ(progress.last, 130u);
    EXPECT_FALSE(in->Pieces());
}

TEST_F(S900LibrarianTest, ASamplerDeafToTheDocumentedDumpRequestIsAskedOnceInTheOtherForm) {
    Start();
    link->unanswered = [](std::span<const std::uint8_t> m) {
        return m.size() == 6 && m[1] == 0x7E && m[2] == 0x00;
    };
    DecodedSample sample;
    const LibrarianResult result = librarian->GetSample(3, sample, progress);
    ASSERT_TRUE(result.Ok()) << result.text;
    EXPECT_EQ(sample.frames, KickWords());
    const auto request = std::find_if(link->written.begin(), link->written.end(),
                                      [](const Bytes& m) { return m.size() == 6; });
    ASSERT_NE(request, link->written.end());
    EXPECT_EQ(*request, Hex("F0 7E 00 03 00 F7"));
    EXPECT_EQ(Sent(Hex("F0 7E 03 03 00 F7")), 1);
}

TEST_F(S900LibrarianTest, NaksADamagedBlockTakesItsResendAndGivesUpAfterFiveNaks) {
    faults.damagePacket = 1;
    Start();
    DecodedSample sample;
    ASSERT_TRUE(librarian->GetSample(3, sample, progress).Ok());
    EXPECT_EQ(sample.frames, KickWords());
    EXPECT_EQ(Sent(nak), 1);

    link->alter = [](Bytes& bytes) { // block 2 breaks on the cable every time
        if (bytes.size() == 122 && bytes[0] == 2) {
            bytes[5] ^= 0x01;
        }
    };
    const LibrarianResult result = librarian->GetSample(3, sample, progress);
    EXPECT_EQ(result.outcome, LibrarianResult::Outcome::failed);
    EXPECT_EQ(result.text, "sample #3 came damaged: block 2 has a bad checksum, 5 times.");
    EXPECT_EQ(Sent(nak), 6);
    EXPECT_EQ(link->written.back(), abort);
}

TEST_F(S900LibrarianTest,
       CancelAbortsTheDumpAStalledSamplerIsGivenUpOnAfterTwoSecondsAGoneInputAtOnce) {
    Start();
    DecodedSample sample;
    progress.cancelAfter = 0;
    EXPECT_EQ(librarian->GetSample(3, sample, progress).outcome,
              LibrarianResult::Outcome::cancelled);
    EXPECT_EQ(link->written.back(), abort);
    EXPECT_EQ(Sent(ack), 2);

    faults.stallAfter = 1;
    Start();
    progress.cancelAfter = -1;
    clock.Reset();
    const LibrarianResult result = librarian->GetSample(3, sample, progress);
    EXPECT_EQ(result.outcome, LibrarianResult::Outcome::noAnswer);
    EXPECT_EQ(result.text, "The sampler stopped sending sample #3 after 1 of 3 blocks.");
    EXPECT_EQ(link->written.back(), abort);
    EXPECT_LT(clock.Elapsed(), std::chrono::milliseconds(2100));

    // An input whose device has gone is not waited on.
    faults = {};
    Start();
    link->unplugged = true;
    clock.Reset();
    EXPECT_FALSE(librarian->GetSample(3, sample, progress).Ok());
    EXPECT_LT(clock.Elapsed(), std::chrono::milliseconds(100));
}

TEST_F(S900LibrarianTest, AnInputThatHandsOverWholeMessagesOnlyIsRefusedBeforeTheDump) {
    Start();
    link->wholeOnly = true;
    DecodedSample sample;
    EXPECT_EQ(librarian->GetSample(3, sample, progress).outcome,
              LibrarianResult::Outcome::unsupported);
    EXPECT_EQ(Sent(Hex("F0 7E 00 03 00 F7")), 0);
}

TEST_F(S900LibrarianTest, AcceptsALastBlockAFewBytesShort) {
    // The last block of only its 10 words and their checksum, or just short of its filler's end.
    for (const std::size_t kept : {std::size_t{21}, std::size_t{119}}) {
        Start();
        link->alter = [kept](Bytes& bytes) {
            if (bytes.size() == 122 && bytes[0] == 2) {
                bytes.resize(kept);
                if (kept == 21) {
                    bytes.push_back(0);
                    for (std::size_t i = 1; i < kept; ++i) {
                        bytes.back() ^= bytes[i];
                    }
                }
                bytes.push_back(0xF7);
            }
        };
        DecodedSample sample;
        const LibrarianResult result = librarian->GetSample(3, sample, progress);
        EXPECT_TRUE(result.Ok()) << kept << ": " << result.text;
        EXPECT_EQ(sample.frames, KickWords()) << kept;
    }
}

} // namespace
} // namespace velomire::transfer
