#pragma once

// Shared set-up of the message builder tests: a port over a recording driver with a fake
// clock, a program whose entries are made from real WAV files in a temporary working directory,
// and recorders for the messages and the progress bars.

#include "program/Program.h"
#include "program/WavInfo.h"
#include "transfer/MidiOutPort.h"
#include "transfer/SamplerSettings.h"
#include "transfer/TransferContext.h"

#include "support/FakeWaitClock.h"
#include "support/HexMatch.h"
#include "support/RecordingMessages.h"
#include "support/RecordingMidiDriver.h"
#include "support/WavBuilder.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <initializer_list>
#include <span>
#include <string>
#include <vector>

namespace velomire::testing {

using Bytes = std::vector<std::uint8_t>;

// Keeps the time of every write as well, so a test can tell the waits a builder adds from the
// wire time the port spends on each buffer.
class TimedMidiDriver : public RecordingMidiDriver {
public:
    explicit TimedMidiDriver(FakeWaitClock& clock) : clock(clock) {}
    transfer::MidiStatus Write(std::span<const std::uint8_t> bytes) override {
        times.push_back(clock.now);
        return RecordingMidiDriver::Write(bytes);
    }
    FakeWaitClock& clock;
    std::vector<transfer::WaitClock::TimePoint> times;
};

class RecordingProgress : public transfer::SendProgress {
public:
    void SetSampleBar(int percent) override { sampleBar.push_back(percent); }
    void SetProgramBar(int percent) override { programBar.push_back(percent); }
    std::vector<int> sampleBar;
    std::vector<int> programBar;
};

// The concatenation of byte runs: golden messages are written field by field.
inline Bytes Cat(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes& part : parts) {
        all.insert(all.end(), part.begin(), part.end());
    }
    return all;
}

inline Bytes Repeat(std::string_view hex, std::size_t times) {
    Bytes all;
    const Bytes once = Hex(hex);
    for (std::size_t i = 0; i < times; ++i) {
        all.insert(all.end(), once.begin(), once.end());
    }
    return all;
}

inline Bytes Zeros(std::size_t count) {
    return Bytes(count, 0);
}

class MessagesTest : public ::testing::Test {
protected:
    void SetUp() override {
        previousDirectory = std::filesystem::current_path();
        // Entries name their files relative to the working directory, as the senders open them.
        std::filesystem::current_path(directory.Path());
        ASSERT_TRUE(port.Open(0));
    }

    void TearDown() override { std::filesystem::current_path(previousDirectory); }

    // Writes a 16-bit WAV file and adds an entry for it with the defaults of a new entry.
    int AddEntry(const std::string& fileName, std::uint16_t channels,
                 const std::vector<std::int16_t>& samples, std::uint32_t rate = 44100) {
        WriteFile(directory / fileName, WavBuilder::Canonical(channels, rate, 16, samples));
        program::WavInfo wav(messages);
        EXPECT_TRUE(wav.Open(fileName));
        const int row = program.sampleCount;
        program.InitSampleEntry(row, fileName, wav);
        wav.Close();
        ++program.sampleCount;
        return row;
    }

    int AddSilentEntry(const std::string& fileName, std::uint16_t channels, std::size_t frames) {
        return AddEntry(fileName, channels, std::vector<std::int16_t>(frames * channels, 0));
    }

    program::SampleBlock& Sample(int row) {
        return program.samples[static_cast<std::size_t>(row)].sample;
    }
    program::KeygroupBlock& Keygroup(int row) {
        return program.samples[static_cast<std::size_t>(row)].keygroup;
    }

    // The time between the end of each buffer's wire time and the next write (or the end of the
    // test's sends), in whole ms: the waits the builders added.
    std::vector<std::chrono::milliseconds> Waits() const {
        std::vector<std::chrono::milliseconds> waits;
        for (std::size_t i = 0; i < driver.times.size(); ++i) {
            const auto next = i + 1 < driver.times.size() ? driver.times[i + 1] : clock.now;
            const auto wire = transfer::MidiOutPort::wireTimePerByte *
                              static_cast<std::int64_t>(driver.writes[i].size());
            waits.push_back(
                std::chrono::round<std::chrono::milliseconds>(next - driver.times[i] - wire));
        }
        return waits;
    }

    TempDir directory;
    std::filesystem::path previousDirectory;
    FakeWaitClock clock;
    TimedMidiDriver driver{clock};
    RecordingMessages messages;
    transfer::MidiOutPort port{driver, clock, messages};
    program::Program program;
    transfer::SamplerSettings settings;
    RecordingProgress progress;
    transfer::TransferContext context{port, program, settings, messages, &progress};
};

} // namespace velomire::testing

// What every message test names without its namespace.
namespace velomire::transfer {
using std::chrono::milliseconds;
using velomire::testing::Bytes;
using velomire::testing::BytesEqual;
using velomire::testing::Cat;
using velomire::testing::Hex;
using velomire::testing::Repeat;
using velomire::testing::Zeros;
} // namespace velomire::transfer
