// The audio preview end to end: the Loop Editor's player on the RtAudio output, through a real
// JACK server, recorded by jack_rec, an independent client.

#include "editing/BlockPlayer.h"
#include "editing/FinishedBlockQueue.h"
#include "editing/devices/RtAudioOutput.h"
#include "program/WavInfo.h"
#include "support/JackServer.h"
#include "support/RecordingMessages.h"
#include "support/WavBuilder.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <iostream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

using velomire::editing::AudioError;
using velomire::editing::BlockPlayer;
using velomire::editing::FinishedBlockQueue;
using velomire::editing::RtAudioOutput;
using velomire::testing::ChildProcess;
using velomire::testing::JackServer;
using velomire::testing::OnPath;
using velomire::testing::RecordingMessages;
using velomire::testing::TempDir;

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr const char* serverName = "velomire-audio-test";
constexpr const char* clientName = "velomire-preview-test";
constexpr std::uint32_t serverRate = 44100;

// The standard output of a shell command.
std::string Output(const std::string& command) {
    std::string text;
    if (FILE* pipe = popen(command.c_str(), "r")) {
        char buffer[256];
        while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) {
            text += buffer;
        }
        pclose(pipe);
    }
    return text;
}

std::vector<std::string> JackPorts() {
    std::vector<std::string> ports;
    std::stringstream lines(Output("jack_lsp 2>/dev/null"));
    for (std::string line; std::getline(lines, line);) {
        ports.push_back(line);
    }
    return ports;
}

// The loops under test: every value different (a step of 7919 modulo 60000), so a recorded frame
// tells where in the loop it came from, and a gap or a slip shows at once.
constexpr int loopStart = 3000;

std::int16_t LoopValue(int k) {
    return static_cast<std::int16_t>((static_cast<long>(k) * 7919) % 60000 - 30000);
}

// 20000 frames holding a loop of `loopFrames` frames from loopStart on.
std::vector<std::int16_t> TrackWithLoop(int loopFrames) {
    std::vector<std::int16_t> track(20000, 1234);
    for (int k = 0; k < loopFrames; ++k) {
        track[static_cast<std::size_t>(loopStart + k)] = LoopValue(k);
    }
    return track;
}

class AudioPreviewJackTest : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* tool : {"jackd", "jack_rec", "jack_lsp"}) {
            if (!OnPath(tool)) {
                GTEST_SKIP() << tool << " is not installed (Debian: jackd2, jack-tools)";
            }
        }
        server = std::make_unique<JackServer>(
            serverName, std::vector<std::string>{"-r", std::to_string(serverRate)},
            dir / "jackd.log");
        ASSERT_TRUE(server->WaitUntilUp(10s)) << "jackd did not start";

        output.SetBlockFinished([this](std::uint64_t tag) { finished.Push(tag); });
    }

    void TearDown() override {
        player.Close();
        output.Close();
        server.reset();
    }

    // What the editor's UI thread does with the output's reports.
    void Pump() {
        while (const auto tag = finished.Pop()) {
            player.OnBlockFinished(*tag);
        }
    }

    // Pumps until `done` or the time limit; returns `done()`.
    bool PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds limit) {
        const auto deadline = Clock::now() + limit;
        while (!done() && Clock::now() < deadline) {
            Pump();
            std::this_thread::sleep_for(1ms);
        }
        return done();
    }

    // The index of JACK's "system" playback device in the output's list.
    int SystemDevice() {
        const auto names = output.DeviceNames();
        for (std::size_t i = 0; i < names.size(); ++i) {
            if (names[i] == "Jack: system") {
                return static_cast<int>(i);
            }
        }
        ADD_FAILURE() << "no \"Jack: system\" among " << names.size() << " devices";
        return 0;
    }

    // Plays the loop of `loopFrames` frames at loopStart, "P l a y" pressed `plays` times in a
    // row, records `seconds` s of the stream's own port as 16-bit PCM, then stops and closes the
    // player, checking that the blocks come back.
    void PlayLoopAndRecord(const std::vector<std::int16_t>& track, int loopFrames, int plays,
                           int seconds, std::vector<int>& recorded) {
        player.SetTrack(track, serverRate);
        player.SetDevice(SystemDevice());
        player.SetRegion(loopStart, loopStart + loopFrames - 1);
        player.SetLooping(true);
        for (int play = 0; play < plays; ++play) {
            ASSERT_TRUE(player.OnPlay())
                << (messages.messages.empty() ? "" : messages.messages[0].text);
        }
        EXPECT_EQ(output.StreamRate(), serverRate);

        const std::string port = std::string(clientName) + ":outport 0";
        ASSERT_TRUE(PumpUntil(
            [&] {
                const auto ports = JackPorts();
                return std::find(ports.begin(), ports.end(), port) != ports.end();
            },
            5s))
            << "the stream's port " << port << " is not there";

        const auto recording = dir / "recording.wav";
        ChildProcess recorder(
            {"jack_rec", "-f", recording.string(), "-d", std::to_string(seconds), "-b", "16", port},
            dir / "jack_rec.log");
        ASSERT_TRUE(PumpUntil([&] { return !recorder.Running(); }, 20s)) << "jack_rec did not end";
        EXPECT_TRUE(recorder.ExitedCleanly());
        EXPECT_TRUE(player.CursorRunning());

        player.OnStop();
        EXPECT_TRUE(PumpUntil([&] { return !player.CursorRunning(); }, 2s))
            << "the blocks did not come back after Stop";
        EXPECT_TRUE(player.IsOpen());
        player.Close();
        EXPECT_FALSE(output.IsOpen());
        EXPECT_TRUE(messages.messages.empty());

        RecordingMessages wavMessages;
        velomire::program::WavInfo wav(wavMessages);
        ASSERT_TRUE(wav.Open(recording.string()));
        ASSERT_EQ(wav.Channels(), 1);
        recorded.assign(wav.FrameCount(), 0);
        for (auto& frame : recorded) {
            frame = wav.ReadFrame(0);
        }
        ASSERT_GE(recorded.size(), std::size_t{serverRate} * static_cast<std::size_t>(seconds));
    }

    // Finds the loop's first frame in the recording and checks every frame from there to the
    // recording's end against the loop repeated; `rounds` counts the whole rounds.
    static void ExpectLoopRepeated(const std::vector<int>& recorded, int loopFrames,
                                   std::size_t& rounds) {
        // float = value / 32768 on our side, int16 = float * 32767 rounded in jack_rec's file:
        // at most 1 apart.
        const auto near = [](int recordedValue, int value) {
            return std::abs(recordedValue - value) <= 1;
        };
        std::size_t first = 0;
        bool found = false;
        for (; first + 8 <= recorded.size() && !found; ++first) {
            found = true;
            for (int k = 0; k < 8 && found; ++k) {
                found = near(recorded[first + static_cast<std::size_t>(k)], LoopValue(k));
            }
        }
        ASSERT_TRUE(found) << "the loop's start is nowhere in the recording";
        --first;

        const auto length = static_cast<std::size_t>(loopFrames);
        for (std::size_t at = first; at < recorded.size(); ++at) {
            const auto k = static_cast<int>((at - first) % length);
            ASSERT_TRUE(near(recorded[at], LoopValue(k)))
                << "round " << (at - first) / length << ", loop frame " << k << " (recording frame "
                << at << "): recorded " << recorded[at] << ", expected " << LoopValue(k);
        }
        rounds = (recorded.size() - first) / length;
        std::cout << "recorded " << recorded.size() << " frames; the loop of " << loopFrames
                  << " frames starts at frame " << first << " and repeats " << rounds
                  << " whole times without a gap\n";
    }

    TempDir dir;
    std::unique_ptr<JackServer> server;
    FinishedBlockQueue finished;
    RtAudioOutput output{"jack", clientName};
    RecordingMessages messages;
    BlockPlayer player{output, messages};
};

TEST_F(AudioPreviewJackTest, LoopLongerThanABlockPlaysOverAndOverWithoutAGapUntilStop) {
    // 10000 frames: each block of 8192 goes on with the loop where the one before stopped, so
    // the rounds straddle the blocks. "P l a y" is pressed three times at once: each restart
    // drops the blocks the device holds, the last time before the audio thread has let go of the
    // ones dropped the time before.
    constexpr int loopFrames = 10000;
    const auto track = TrackWithLoop(loopFrames);
    std::vector<int> recorded;
    ASSERT_NO_FATAL_FAILURE(PlayLoopAndRecord(track, loopFrames, 3, 2, recorded));

    std::size_t rounds = 0;
    ASSERT_NO_FATAL_FAILURE(ExpectLoopRepeated(recorded, loopFrames, rounds));
    // Two seconds are about 8.8 rounds.
    EXPECT_GE(rounds, 5u);
}

TEST_F(AudioPreviewJackTest, HundredFrameLoopRepeatsExactlyWithoutAGap) {
    // 100 frames (2.3 ms) is far shorter than a device period: only blocks carrying round after
    // round keep the device from running dry between refills.
    constexpr int loopFrames = 100;
    const auto track = TrackWithLoop(loopFrames);
    std::vector<int> recorded;
    ASSERT_NO_FATAL_FAILURE(PlayLoopAndRecord(track, loopFrames, 1, 1, recorded));

    std::size_t rounds = 0;
    ASSERT_NO_FATAL_FAILURE(ExpectLoopRepeated(recorded, loopFrames, rounds));
    // One second is 441 rounds; the recording may start a little late.
    EXPECT_GE(rounds, 400u);
}

TEST_F(AudioPreviewJackTest, SampleAtHalfTheServerRatePlaysToItsEnd) {
    const std::vector<std::int16_t> track(8192 + 2205, 500);
    player.SetTrack(track, serverRate / 2);
    player.SetDevice(SystemDevice());
    ASSERT_TRUE(player.OnPlay()) << (messages.messages.empty() ? "" : messages.messages[0].text);
    EXPECT_EQ(output.StreamRate(), serverRate);
    EXPECT_TRUE(PumpUntil([&] { return !player.CursorRunning(); }, 10s));
    EXPECT_EQ(output.SamplesPlayed(), track.size());
}

TEST_F(AudioPreviewJackTest, DeviceOutsideTheListAndAZeroRateAreRefused) {
    const int count = static_cast<int>(output.DeviceNames().size());
    EXPECT_EQ(output.Open(count, serverRate).code, AudioError::BadDeviceId);
    EXPECT_EQ(output.Open(SystemDevice(), 0).code, AudioError::BadFormat);
    EXPECT_FALSE(output.IsOpen());
}

TEST(RtAudioOutputWithoutServer, HasNoDevicesAndNoDefaultDevice) {
    // The test server's name, while no test runs one (the "jack" lock).
    setenv("JACK_DEFAULT_SERVER", serverName, 1);
    RtAudioOutput output("jack");
    EXPECT_TRUE(output.DeviceNames().empty());
    EXPECT_EQ(output.Open(0, 44100).code, AudioError::BadDeviceId);
    EXPECT_EQ(output.Open(-1, 44100).code, AudioError::NoDriver);
}

} // namespace
