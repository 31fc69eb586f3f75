#include "editing/devices/WaveOutAudioOutput.h"
#include "support/FakeWaitClock.h"

#include <gtest/gtest.h>

#include <functional>
#include <set>

namespace velomire::editing {
namespace {

using namespace std::chrono_literals;
using Frames = std::vector<std::int16_t>;

// waveOut as the output sees it: a written header stays with the device until Finish (or a reset,
// which hands every header back at once, as WinMM does) reports it done on "the system's thread".
class FakeWaveOut final : public WaveOutCalls {
public:
    unsigned GetNumDevs() override { return 3; }
    Result GetDevCaps(unsigned id, std::string& name) override {
        name = "Speakers " + std::to_string(id);
        return id == 1 ? noDriver : noError;
    }
    Result Open(int id, std::uint32_t rate, Done report, void* reportContext) override {
        openedId = id;
        openedRate = rate;
        done = report;
        context = reportContext;
        return openResult;
    }
    Result Write(std::size_t place, std::span<const std::int16_t> frames) override {
        EXPECT_EQ(inDevice.count(place), 0U) << "a place written while the device holds it";
        if (writeResult == noError) {
            inDevice.insert(place);
            written.emplace_back(place, Frames(frames.begin(), frames.end()));
        }
        return writeResult;
    }
    Result Reset() override {
        log.push_back("reset");
        position = 0;
        while (!inDevice.empty()) {
            Finish(*inDevice.begin());
        }
        return noError;
    }
    Result Position(std::uint64_t& samples) override {
        samples = position;
        return noError;
    }
    Result Close() override {
        EXPECT_TRUE(inDevice.empty()) << "closed while the device holds headers";
        log.push_back("close");
        return noError;
    }
    std::string ErrorText(Result code) override { return "text " + std::to_string(code); }

    void Finish(std::size_t place) {
        inDevice.erase(place);
        done(context, place);
    }

    Result openResult = noError;
    Result writeResult = noError;
    int openedId = 0;
    std::uint32_t openedRate = 0;
    Done done = nullptr;
    void* context = nullptr;
    std::set<std::size_t> inDevice;
    std::vector<std::pair<std::size_t, Frames>> written;
    std::vector<std::string> log;
    std::uint64_t position = 0;
};

// A clock that runs `onSleep` at each sleep, so a test can let the device finish mid-wait.
class SteppingClock final : public testing::FakeWaitClock {
public:
    void SleepUntil(TimePoint when) override {
        FakeWaitClock::SleepUntil(when);
        if (onSleep) {
            onSleep();
        }
    }
    std::function<void()> onSleep;
};

struct WaveOutFixture : ::testing::Test {
    WaveOutFixture() {
        auto fakeCalls = std::make_unique<FakeWaveOut>();
        auto fakeClock = std::make_unique<SteppingClock>();
        calls = fakeCalls.get();
        clock = fakeClock.get();
        output = std::make_unique<WaveOutAudioOutput>(std::move(fakeCalls), std::move(fakeClock));
        output->SetBlockFinished([this](std::uint64_t tag) { finished.push_back(tag); });
    }

    FakeWaveOut* calls = nullptr;
    SteppingClock* clock = nullptr;
    std::unique_ptr<WaveOutAudioOutput> output;
    std::vector<std::uint64_t> finished;
};

TEST_F(WaveOutFixture, OpensTheMapperForTheDefaultDeviceAndTheIdForAListedOne) {
    ASSERT_TRUE(output->Open(AudioOutput::defaultDevice, 22050));
    EXPECT_EQ(calls->openedId, WaveOutCalls::mapper);
    EXPECT_EQ(calls->openedRate, 22050U);
    ASSERT_TRUE(output->Open(2, 44100));
    EXPECT_EQ(calls->openedId, 2);
    EXPECT_TRUE(output->IsOpen());

    EXPECT_EQ(output->DeviceNames(),
              (std::vector<std::string>{"Speakers 0", "Wave output 2", "Speakers 2"}));
}

TEST_F(WaveOutFixture, TurnsEachSystemErrorIntoItsCode) {
    const std::pair<WaveOutCalls::Result, AudioError> table[] = {
        {WaveOutCalls::badDeviceId, AudioError::BadDeviceId},
        {WaveOutCalls::allocated, AudioError::Allocated},
        {WaveOutCalls::noDriver, AudioError::NoDriver},
        {WaveOutCalls::noMemory, AudioError::NoMemory},
        {WaveOutCalls::badFormat, AudioError::BadFormat},
        {WaveOutCalls::synchronous, AudioError::Sync},
        {1, AudioError::Other},
    };
    for (const auto& [result, code] : table) {
        calls->openResult = result;
        const AudioStatus status = output->Open(0, 44100);
        EXPECT_EQ(status.code, code) << "MMRESULT " << result;
        EXPECT_EQ(status.text, "text " + std::to_string(result));
        EXPECT_FALSE(output->IsOpen());
    }
    calls->openResult = WaveOutCalls::noError;
    EXPECT_EQ(output->Open(0, 0).code, AudioError::BadFormat);
    EXPECT_EQ(output->Open(0, 768001).code, AudioError::BadFormat);
    EXPECT_EQ(output->Open(-2, 44100).code, AudioError::BadDeviceId);
}

TEST_F(WaveOutFixture, WritesACopyOfEachBlockAndReportsItsTagWhenPlayed) {
    ASSERT_TRUE(output->Open(0, 44100));
    Frames block{1, 2, 3};
    ASSERT_TRUE(output->Queue(10, block));
    block = {4, 5};
    ASSERT_TRUE(output->Queue(11, block));
    block = {9, 9, 9};
    ASSERT_EQ(calls->written.size(), 2U);
    EXPECT_EQ(calls->written[0].second, (Frames{1, 2, 3}));
    EXPECT_EQ(calls->written[1].second, (Frames{4, 5}));
    EXPECT_NE(calls->written[0].first, calls->written[1].first);

    calls->Finish(calls->written[1].first);
    calls->Finish(calls->written[0].first);
    EXPECT_EQ(finished, (std::vector<std::uint64_t>{11, 10}));

    calls->position = 70;
    EXPECT_EQ(output->SamplesPlayed(), 70U);
    EXPECT_FALSE(output->Queue(12, {}));
    EXPECT_FALSE(output->Queue(12, Frames(AudioOutput::maxBlockFrames + 1)));
}

TEST_F(WaveOutFixture, AFifthBlockWaitsForAPlaceTheDeviceGivesBack) {
    ASSERT_TRUE(output->Open(0, 44100));
    const Frames block{7};
    for (std::uint64_t tag = 0; tag < 4; ++tag) {
        ASSERT_TRUE(output->Queue(tag, block));
    }
    clock->onSleep = [this] {
        if (clock->Elapsed() >= 3ms && calls->inDevice.size() == 4) {
            calls->Finish(calls->written[2].first);
        }
    };
    ASSERT_TRUE(output->Queue(4, block));
    EXPECT_EQ(clock->Elapsed(), 3ms);
    EXPECT_EQ(calls->written.back().first, calls->written[2].first);

    clock->onSleep = nullptr;
    clock->Reset();
    const AudioStatus status = output->Queue(5, block);
    EXPECT_EQ(status.code, AudioError::Other);
    EXPECT_EQ(clock->Elapsed(), WaveOutAudioOutput::placeWait);
}

TEST_F(WaveOutFixture, ResetReportsTheDroppedBlocksButCloseDoesNot) {
    ASSERT_TRUE(output->Open(0, 44100));
    const Frames block{7};
    ASSERT_TRUE(output->Queue(1, block));
    ASSERT_TRUE(output->Queue(2, block));
    calls->position = 5;
    output->Reset();
    EXPECT_EQ(finished.size(), 2U);
    EXPECT_EQ(output->SamplesPlayed(), 0U);

    ASSERT_TRUE(output->Queue(3, block));
    output->Close();
    EXPECT_EQ(finished.size(), 2U);
    EXPECT_EQ(calls->log, (std::vector<std::string>{"reset", "reset", "close"}));
    EXPECT_FALSE(output->IsOpen());
    EXPECT_FALSE(output->Queue(4, block));

    // Reopened, every place is free again and reports go out again.
    ASSERT_TRUE(output->Open(0, 44100));
    for (std::uint64_t tag = 5; tag < 9; ++tag) {
        ASSERT_TRUE(output->Queue(tag, block));
    }
    calls->Finish(*calls->inDevice.begin());
    EXPECT_EQ(finished.back(), 5U);
}

TEST_F(WaveOutFixture, AFailedWriteGivesThePlaceBack) {
    ASSERT_TRUE(output->Open(0, 44100));
    calls->writeResult = WaveOutCalls::noMemory;
    for (int attempt = 0; attempt < 5; ++attempt) {
        EXPECT_EQ(output->Queue(1, Frames{1}).code, AudioError::NoMemory);
    }
    calls->writeResult = WaveOutCalls::noError;
    EXPECT_TRUE(output->Queue(2, Frames{1}));
    EXPECT_EQ(clock->Elapsed(), 0ms);
}

} // namespace
} // namespace velomire::editing
