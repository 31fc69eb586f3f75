#include "transfer/families/s1000/S1000ReadBack.h"
#include "transfer/Librarian.h"
#include "transfer/MidiInPort.h"
#include "transfer/MidiOutPort.h"
#include "transfer/families/SdsWire.h"
#include "transfer/families/s1000/S1000Messages.h"
#include "transfer/families/s1000/S1000Responder.h"

#include "MessagesFixture.h"
#include "support/ScriptedMidiInDriver.h"

#include <gtest/gtest.h>

#include <deque>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace velomire::transfer {
namespace {

using velomire::testing::FakeWaitClock;
using velomire::testing::RecordingMessages;

// The sampler on the other end of the cable: what the librarian writes goes, message by
// message, to the responder, and its answers come back on the input port at the next poll.
struct Loopback {
    struct Out final : MidiDriver {
        explicit Out(Loopback& loop) : loop(loop) {}
        std::vector<std::string> PortNames() override { return {"Sampler in"}; }
        MidiStatus Open(unsigned) override { return {}; }
        MidiStatus Close() override { return {}; }
        MidiStatus Write(std::span<const std::uint8_t> bytes) override {
            for (std::uint8_t b : bytes) {
                loop.message.push_back(b);
                if (b == 0xF7) {
                    loop.Deliver();
                }
            }
            return {};
        }
        Loopback& loop;
    };
    struct In final : MidiInDriver {
        explicit In(Loopback& loop) : loop(loop) {}
        std::vector<std::string> PortNames() override { return {"Sampler out"}; }
        MidiStatus Open(unsigned) override { return {}; }
        MidiStatus Close() override { return {}; }
        MidiStatus Poll(std::vector<MidiInBytes>& out) override {
            for (auto& reply : loop.replies) {
                out.push_back({std::move(reply)});
            }
            loop.replies.clear();
            return {};
        }
        Loopback& loop;
    };

    void Deliver() {
        sent.push_back(std::move(message));
        message.clear();
        const std::vector<std::uint8_t>& m = sent.back();
        const bool dumpRequest = m.size() == 7 && m[1] == 0x7E && m[3] == 0x03;
        if (!stuckPacket.empty() && m.size() == 6) {
            replies.push_back(stuckPacket);
            return;
        }
        if (responder && !(dumpRequest && ignoreDumpRequests)) {
            const auto answers = responder->Answer(m);
            for (const TimedReply& reply : answers.value_or(std::vector<TimedReply>{})) {
                replies.push_back(reply.bytes);
                if (reply.bytes.size() == 127 && reply.bytes[3] == 0x02 &&
                    reply.bytes[4] == stuckAt) {
                    stuckPacket = reply.bytes;
                }
            }
            if (cancelWhenSilent && answers && answers->empty()) {
                replies.push_back({0xF0, 0x7E, 0x00, 0x7D, 0x00, 0xF7});
            }
        }
    }
    // The SDS handshakes the librarian sent with this code (7F ACK, 7E NAK, 7D CANCEL).
    std::size_t Sent(std::uint8_t code) const {
        return static_cast<std::size_t>(std::count_if(sent.begin(), sent.end(), [&](const auto& m) {
            return m.size() == 6 && m[1] == 0x7E && m[3] == code;
        }));
    }

    std::unique_ptr<RequestResponder> responder;
    bool ignoreDumpRequests = false;
    bool cancelWhenSilent = false; // a sampler that gives up with CANCEL where it would stall
    int stuckAt = -1; // the Data Packet the sampler sends again for every answer from then on
    std::vector<std::uint8_t> stuckPacket;
    std::vector<std::uint8_t> message;
    std::vector<std::vector<std::uint8_t>> sent;
    std::deque<std::vector<std::uint8_t>> replies;
    Out out{*this};
    In in{*this};
};

class UserProgress final : public LibrarianProgress {
public:
    void Progress(std::uint64_t, std::uint64_t) override { ++reports; }
    bool Cancelled() override { return cancelAfter >= 0 && reports >= cancelAfter; }
    int reports = 0;
    int cancelAfter = -1;
};

DecodedSample MemorySample(const std::string& name, std::vector<std::int16_t> frames) {
    DecodedSample sample;
    sample.family = SamplerFamily::s1000;
    sample.lengthWords = static_cast<std::uint32_t>(frames.size());
    sample.rate = 22050;
    sample.frames = std::move(frames);
    sample.hasData = true;
    sample.fields = {{"sampleName", name},
                     {"rootKey", std::int64_t{48}},
                     {"loopCount", std::int64_t{1}},
                     {"loopAt", std::vector<std::int64_t>{10}},
                     {"loopLength", std::vector<std::int64_t>{100}},
                     {"headerRate", std::int64_t{22050}}};
    return sample;
}

DecodedProgram MemoryProgram(const std::string& name, std::vector<int> splits) {
    DecodedProgram program;
    program.family = SamplerFamily::s1000;
    std::vector<std::int64_t> params(43, 0);
    params[27] = static_cast<std::int64_t>(splits.size());
    program.fields = {{"programName", name}, {"programParams", params}};
    int low = 0;
    for (int high : splits) {
        program.keygroups.push_back(
            {{"lowKey", std::int64_t{low}},
             {"highKey", std::int64_t{high}},
             {"zone1SampleName", "S" + std::to_string(high) + "         "}});
        low = high + 1;
    }
    return program;
}

::testing::AssertionResult SameFields(const DecodedFields& actual, const DecodedFields& expected) {
    for (std::size_t i = 0; i < std::max(actual.size(), expected.size()); ++i) {
        if (i >= actual.size() || i >= expected.size() || actual[i].name != expected[i].name ||
            actual[i].value != expected[i].value) {
            return ::testing::AssertionFailure()
                   << "field " << i << " differs: " << (i < actual.size() ? actual[i].name : "none")
                   << " / " << (i < expected.size() ? expected[i].name : "none");
        }
    }
    return ::testing::AssertionSuccess();
}

// Every 16-bit value once, and more: 70,000 words are 1,750 packets, numbers wrapping at 128.
std::vector<std::int16_t> Ramp(std::size_t count) {
    std::vector<std::int16_t> frames(count);
    for (std::size_t i = 0; i < count; ++i) {
        frames[i] = static_cast<std::int16_t>(static_cast<std::uint16_t>(i * 7 + 0x8000));
    }
    return frames;
}

class S1000LibrarianTest : public ::testing::Test {
protected:
    void SetUp() override {
        memory.programs[0] = MemoryProgram("PIANO       ", {47, 127});
        memory.programs[1] = MemoryProgram("BASS        ", {});
        for (int i = 0; i < 20; ++i) {
            memory.samples[i] = MemorySample("S" + std::to_string(i) + std::string(10, ' '),
                                             std::vector<std::int16_t>(5, 0));
        }
        ASSERT_TRUE(out.Open(0));
        ASSERT_TRUE(in.Open(0).ok);
    }

    // The librarian of an S3000 XL, and the sampler answering from `memory`.
    std::unique_ptr<Librarian> Start(std::int32_t model = 8) {
        loop.responder = MakeS1000Responder(memory, faults, model);
        return MakeLibrarian(model, LibrarianPorts{out, in, 0, 0});
    }

    SamplerMemory memory;
    SendFaults faults;
    Loopback loop;
    FakeWaitClock clock;
    RecordingMessages messages;
    MidiOutPort out{loop.out, clock, messages};
    MidiInPort in{loop.in, clock};
    UserProgress progress;
};

TEST_F(S1000LibrarianTest, ListsTheCatalogueByPositionReadsHeadersAndDeletes) {
    memory.samples[17].frames = Ramp(300);
    memory.samples[17].lengthWords = 300;
    const auto librarian = Start();
    ASSERT_TRUE(librarian->CanDelete());

    std::vector<SamplerEntry> entries;
    ASSERT_TRUE(librarian->List(entries, progress).Ok());
    ASSERT_EQ(entries.size(), 22u);
    EXPECT_EQ(entries[1].kind, SamplerEntry::Kind::program);
    EXPECT_EQ(entries[1].number, 1);
    EXPECT_EQ(entries[1].name, "BASS");
    EXPECT_EQ(entries[19].kind, SamplerEntry::Kind::sample);
    EXPECT_EQ(entries[19].number, 17);
    EXPECT_EQ(entries[19].name, "S17");

    // A program's place in the list is not the number a send gave it; its header keeps that.
    std::get<std::vector<std::int64_t>>(memory.programs[1].fields[1].value)[0] = 9;
    EXPECT_EQ(librarian->Numbering().key, "position");
    ASSERT_TRUE(librarian->ReadSentNumbers(entries, progress).Ok());
    EXPECT_EQ(entries[0].SentAsText(), "program#0");
    EXPECT_EQ(entries[1].SentAsText(), "program#9");
    EXPECT_FALSE(entries[19].sentAs);

    ASSERT_TRUE(librarian->ReadHeaders(entries, progress).Ok());
    EXPECT_FALSE(entries[0].words);
    EXPECT_EQ(entries[19].words, 300u);
    EXPECT_EQ(entries[19].rate, 22050u);

    // Deleted, answered by REPLY; the later samples move up one place.
    ASSERT_TRUE(librarian->Delete(SamplerEntry::Kind::sample, 3).Ok());
    ASSERT_TRUE(librarian->Delete(SamplerEntry::Kind::program, 0).Ok());
    ASSERT_TRUE(librarian->List(entries, progress).Ok());
    ASSERT_EQ(entries.size(), 20u);
    EXPECT_EQ(entries[0].name, "BASS");
    EXPECT_EQ(entries[4].name, "S4");
    const LibrarianResult refused = librarian->Delete(SamplerEntry::Kind::program, 1);
    EXPECT_EQ(refused.outcome, LibrarianResult::Outcome::failed);
    EXPECT_EQ(refused.text, "The sampler refused to delete program 1.");

    loop.responder.reset(); // a sampler that is not there
    const LibrarianResult silent = librarian->List(entries, progress);
    EXPECT_EQ(silent.outcome, LibrarianResult::Outcome::noAnswer);
    EXPECT_EQ(silent.text, "The sampler did not answer the status request within 2 s "
                           "(exclusive channel 1).");
}

TEST_F(S1000LibrarianTest, TakesBackSampleWordsBitExactAndProgramKeygroups) {
    memory.samples[17] = MemorySample("RAMP        ", Ramp(70000));
    const auto librarian = Start();

    // Number 17 travels as 11 00; in nibbles (01 01) it would ask for sample 129.
    DecodedSample sample;
    ASSERT_TRUE(librarian->GetSample(17, sample, progress).Ok());
    EXPECT_EQ(sample.number, 17);
    EXPECT_EQ(FieldString(sample.fields, "sampleName"), "RAMP        ");
    EXPECT_EQ(sample.lengthWords, 70000u);
    ASSERT_EQ(sample.frames.size(), 70000u);
    const auto differ = std::mismatch(sample.frames.begin(), sample.frames.end(),
                                      memory.samples[17].frames.begin());
    EXPECT_EQ(differ.first - sample.frames.begin(), 70000);
    EXPECT_EQ(loop.Sent(0x7E), 0u); // no NAK
    EXPECT_TRUE(
        BytesEqual(S1000Request(S1000Function::rsdata, 0, 17), Hex("F0 47 00 0A 48 11 00 F7")));
    EXPECT_TRUE(
        BytesEqual(S1000Request(S1000Function::delp, 5, 200), Hex("F0 47 05 12 48 48 01 F7")));

    DecodedProgram program;
    ASSERT_TRUE(librarian->GetProgram(0, program, progress).Ok());
    EXPECT_EQ(FieldString(program.fields, "programName"), "PIANO       ");
    ASSERT_EQ(program.keygroups.size(), 2u);
    EXPECT_EQ(FieldNumber(program.keygroups[1], "lowKey"), 48);
    EXPECT_EQ(FieldNumber(program.keygroups[1], "highKey"), 127);
    EXPECT_EQ(FieldString(program.keygroups[1], "zone1SampleName"), "S127        ");
}

TEST_F(S1000LibrarianTest, DataComesByRspackWhenTheDumpRequestIsNotAnsweredAndSurvivesFaults) {
    memory.samples[1] = MemorySample("RAMP        ", Ramp(1000)); // 25 packets
    faults.damagePacket = 3;
    loop.ignoreDumpRequests = true;
    const auto librarian = Start();

    DecodedSample sample;
    ASSERT_TRUE(librarian->GetSample(1, sample, progress).Ok());
    EXPECT_TRUE(sample.frames == memory.samples[1].frames);
    EXPECT_EQ(loop.Sent(0x7E), 1u); // the damaged packet, NAKed once and sent again

    // A sampler that stops sending is told to cancel, and so is one the user cancels.
    faults.stallAfter = 15;
    loop.responder = MakeS1000Responder(memory, faults, 8);
    const LibrarianResult stalled = librarian->GetSample(1, sample, progress);
    EXPECT_EQ(stalled.text, "The sampler stopped sending sample 1 at packet 15.");
    EXPECT_EQ(loop.Sent(0x7D), 1u);
    // A sampler that gives up says so, and is believed at once.
    loop.responder = MakeS1000Responder(memory, faults, 8);
    loop.cancelWhenSilent = true;
    const auto before = clock.Now();
    EXPECT_EQ(librarian->GetSample(1, sample, progress).text,
              "The sampler cancelled the dump of sample 1.");
    EXPECT_LT(clock.Now() - before, std::chrono::milliseconds(500));
    loop.cancelWhenSilent = false;
    faults = {};
    // A sampler that keeps sending the packet it last took is acknowledged a bounded number of
    // times.
    loop.responder = MakeS1000Responder(memory, faults, 8);
    loop.stuckAt = 4;
    EXPECT_EQ(librarian->GetSample(1, sample, progress).text,
              "The sampler sent packet 4 of sample 1 again 6 times although it was acknowledged; "
              "the transfer was cancelled.");
    loop.stuckAt = -1;
    loop.stuckPacket.clear();
    loop.responder = MakeS1000Responder(memory, faults, 8);
    progress.cancelAfter = progress.reports + 5;
    EXPECT_EQ(librarian->GetSample(1, sample, progress).outcome,
              LibrarianResult::Outcome::cancelled);
    EXPECT_EQ(loop.Sent(0x7D), 3u);
}

// The real replies of an S3000 XL (sample 9's header) and an S2000 (program 20's header).
const std::filesystem::path dumps = VELOMIRE_DUMPS_DIR;

std::vector<std::uint8_t> ReadDump(const char* name) {
    std::ifstream in(dumps / name, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(S1000Responder, AnswersTheRealSamplersHeadersFieldForField) {
    const auto sdata = ReadDump("s3000xl-sdata-sample09.syx");
    const auto pdata = ReadDump("s2000-pdata-prog20-a.syx");
    if (sdata.empty() || pdata.empty()) {
        GTEST_SKIP() << "no real replies in " << dumps;
    }
    EXPECT_EQ(S1000Number(ParseS1000Message(pdata)->body), 20); // 14 00: a 7-bit pair
    SamplerMemory memory;
    SysExDecoder decoder;
    ASSERT_TRUE(decoder.Feed(sdata).Ok());
    memory.samples[0] = *decoder.OpenSample();
    ASSERT_TRUE(decoder.Feed(pdata).Ok());
    decoder.CloseAll();
    memory.programs[0] = decoder.TakeClosedPrograms().front();
    const auto responder = MakeS1000Responder(memory, {}, 8);

    // Only the sample's number (its position) and the bytes nobody reads may differ.
    const auto header = responder->Answer(S1000Request(S1000Function::rsdata, 0, 0));
    ASSERT_TRUE(header && header->size() == 1);
    ASSERT_EQ(header->front().bytes.size(), sdata.size());
    SysExDecoder again;
    ASSERT_TRUE(again.Feed(header->front().bytes).Ok());
    EXPECT_TRUE(SameFields(again.OpenSample()->fields, memory.samples[0].fields));
    const auto program = responder->Answer(S1000Request(S1000Function::rpdata, 0, 0));
    ASSERT_TRUE(program && program->size() == 1);
    ASSERT_EQ(program->front().bytes.size(), pdata.size());
    ASSERT_TRUE(again.Feed(program->front().bytes).Ok());
    again.CloseAll();
    EXPECT_TRUE(SameFields(again.TakeClosedPrograms().front().fields, memory.programs[0].fields));
}

// The sampler answers with the very bytes our send gave it, whatever the model's block size.
class S1000AnswersTest : public velomire::testing::MessagesTest {};

TEST_F(S1000AnswersTest, HeadersComeBackAsTheSendPutThemOut) {
    for (const std::int32_t model : {3, 8}) {
        settings.samplerModel = model;
        driver.writes.clear();
        program.sampleCount = 0;
        const int row = AddSilentEntry("piano.wav", 1, 1000);
        Sample(row).loopCount = 1;
        Sample(row).loopLength[0] = 300;
        Sample(row).tuneOffset = -3;
        Keygroup(row).lowKey = 36;
        program.header.programNumber = 0;
        program.header.programParams[27] = 1;
        S1000Messages(context).SendS1000SampleHeader(row, 0);
        S1000Messages(context).SendS1000Program();
        ASSERT_EQ(driver.writes.size(), 3u);

        SamplerMemory memory;
        SysExDecoder decoder;
        ASSERT_TRUE(decoder.Feed(driver.writes[0]).Ok());
        memory.samples[0] = *decoder.OpenSample();
        ASSERT_TRUE(decoder.Feed(driver.writes[1]).Ok());
        ASSERT_TRUE(decoder.Feed(driver.writes[2]).Ok());
        memory.programs[0] = decoder.TakeClosedPrograms().front();
        const auto responder = MakeS1000Responder(memory, {}, model);
        const std::vector<std::vector<std::uint8_t>> requests = {
            S1000Request(S1000Function::rsdata, 0, 0), S1000Request(S1000Function::rpdata, 0, 0),
            S1000KeygroupRequest(0, 0, 0)};
        for (std::size_t i = 0; i < requests.size(); ++i) {
            const auto answer = responder->Answer(requests[i]);
            ASSERT_TRUE(answer && answer->size() == 1);
            EXPECT_TRUE(BytesEqual(answer->front().bytes, driver.writes[i])) << "model " << model;
        }
        // Asked for the words by Dump Request, it names the same loop: words 700 to 999.
        const auto dump = responder->Answer(sds::DumpRequest(0, 0));
        ASSERT_TRUE(dump && dump->size() == 1);
        ASSERT_TRUE(decoder.Feed(dump->front().bytes).Ok());
        EXPECT_EQ(FieldNumber(decoder.OpenSample()->fields, "loopStart"), 700);
        EXPECT_EQ(FieldNumber(decoder.OpenSample()->fields, "loopEnd"), 999);
    }
}

} // namespace
} // namespace velomire::transfer
