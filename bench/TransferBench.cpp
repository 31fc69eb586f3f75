// The cost of a transfer. Render: words per second that the message builders turn into bytes
// for each family on a 40-entry program, waits skipped. Paced: one real-time send through a driver
// that takes bytes at once, against the ideal (every byte's wire time plus every specified wait),
// and the CPU time it burns meanwhile, and against the Program Summary's estimate. Paced ALSA
// write: the largest S900 program message through the ALSA driver's pacing into a sink that drains
// like a hardware port's kernel buffer. Render memory: the peak resident size while a long program
// is rendered to a stream.

#include "BenchSupport.h"
#include "program/Program.h"
#include "program/WavInfo.h"
#include "transfer/CaptureMidiDriver.h"
#include "transfer/MidiOutPort.h"
#include "transfer/SendCommand.h"
#include "transfer/WirePacer.h"

#include "support/FakeKernelMidiSink.h"

#include <benchmark/benchmark.h>

#include <sys/resource.h>

#include <chrono>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <memory>
#include <ostream>
#include <streambuf>
#include <string>
#include <vector>

namespace {

using namespace velomire;

using bench::SilentMessages;

class AnsweringUi : public transfer::SendUi {
public:
    bool ConfirmSummary(const transfer::ProgramSummary& summary) override {
        estimate = summary.seconds;
        return true;
    }
    bool AskNumbers(transfer::SendNumbers&) override { return true; }
    void OpenSending(const std::string&) override {}
    void AddLine(const std::string&) override {}
    void CloseSending() override {}
    void SetSampleBar(int) override {}
    void SetProgramBar(int) override {}
    double estimate = 0; // the summary's estimated transfer time, s
};

// Takes every byte at once, as a driver with an empty queue does.
class NullMidiDriver : public transfer::MidiDriver {
public:
    std::vector<std::string> PortNames() override { return {"Null"}; }
    transfer::MidiStatus Open(unsigned) override { return {}; }
    transfer::MidiStatus Write(std::span<const std::uint8_t> data) override {
        bytes += data.size();
        return {};
    }
    transfer::MidiStatus Close() override { return {}; }
    std::size_t bytes = 0;
};

void WriteWav(const std::filesystem::path& path, std::uint16_t channels, std::uint32_t frames) {
    bench::WriteWav(path, channels, 44100, frames,
                    [channels](std::uint32_t frame, std::uint16_t c) {
                        return static_cast<std::int16_t>(
                            std::lround(8000 * std::sin((frame * channels + c) * 0.05)));
                    });
}

// A program of `entries` rows over one mono and one stereo file in a fresh directory, which
// becomes the working directory.
std::unique_ptr<program::Program> MakeProgram(int entries, std::uint32_t frames) {
    const auto dir = std::filesystem::temp_directory_path() / "velomire-transfer-bench";
    std::filesystem::create_directories(dir);
    WriteWav(dir / "mono.wav", 1, frames);
    WriteWav(dir / "stereo.wav", 2, frames);
    auto program = std::make_unique<program::Program>();
    program->SetProgramPath(dir / "bench.vmp", true);
    SilentMessages messages;
    program::WavInfo wav(messages);
    for (int i = 0; i < entries; ++i) {
        const std::string name = i % 2 == 0 ? "mono.wav" : "stereo.wav";
        wav.Open(name);
        program->InitSampleEntry(program->sampleCount, name, wav);
        wav.Close();
        ++program->sampleCount;
    }
    return program;
}

transfer::SamplerSettings SettingsFor(int model) {
    transfer::SamplerSettings settings;
    settings.samplerModel = model;
    settings.midiOutDevice = 0;
    settings.maxProgram = 254;
    settings.maxSample = 255;
    return settings;
}

// Renders the program for one model, waits skipped; returns the words sent.
void BM_Render(benchmark::State& state) {
    const int model = static_cast<int>(state.range(0));
    auto program = MakeProgram(40, 20000);
    std::uint64_t words = 0;
    std::size_t bytes = 0;
    for (auto _ : state) {
        transfer::CaptureMidiDriver driver;
        transfer::InstantWaitClock clock;
        SilentMessages messages;
        AnsweringUi ui;
        transfer::MidiOutPort port(driver, clock, messages);
        auto settings = SettingsFor(model);
        program->nextProgramNumber = 0;
        program->nextSampleNumber = 0;
        transfer::SendCommand(*program, settings, port, messages, ui).OnSendProgram();
        words += program->transferWords;
        bytes = driver.bytes.size();
        benchmark::DoNotOptimize(driver.bytes.data());
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(words));
    state.counters["bytes"] = static_cast<double>(bytes);
}
BENCHMARK(BM_Render)->Arg(0)->Arg(2)->Arg(8)->Unit(benchmark::kMillisecond);

double CpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval& t) { return t.tv_sec + t.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// One paced send in real time; its ideal is what the same send costs on a clock that only adds
// up the requested time (wire time of every byte and every wait).
void BM_PacedSend(benchmark::State& state) {
    const int model = static_cast<int>(state.range(0));
    auto program = MakeProgram(2, 3000);

    double ideal = 0;
    {
        transfer::CaptureMidiDriver driver;
        transfer::InstantWaitClock clock;
        SilentMessages messages;
        AnsweringUi ui;
        transfer::MidiOutPort port(driver, clock, messages);
        auto settings = SettingsFor(model);
        const auto start = clock.Now();
        transfer::SendCommand(*program, settings, port, messages, ui).OnSendProgram();
        ideal = std::chrono::duration<double>(clock.Now() - start).count();
    }

    double wall = 0;
    double cpu = 0;
    double estimate = 0;
    for (auto _ : state) {
        NullMidiDriver driver;
        transfer::SteadyWaitClock clock;
        SilentMessages messages;
        AnsweringUi ui;
        transfer::MidiOutPort port(driver, clock, messages);
        auto settings = SettingsFor(model);
        program->nextProgramNumber = 0;
        program->nextSampleNumber = 0;
        const double cpuStart = CpuSeconds();
        const auto start = std::chrono::steady_clock::now();
        transfer::SendCommand(*program, settings, port, messages, ui).OnSendProgram();
        wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        cpu = CpuSeconds() - cpuStart;
        estimate = ui.estimate;
    }
    state.counters["ideal_s"] = ideal;
    state.counters["wall_s"] = wall;
    state.counters["wall_over_ideal_%"] = (wall / ideal - 1) * 100;
    state.counters["cpu_of_wall_%"] = cpu / wall * 100;
    // The Program Summary's estimate against the send as it really took.
    state.counters["estimate_s"] = estimate;
    state.counters["estimate_over_wall_%"] = (estimate / wall - 1) * 100;
}
BENCHMARK(BM_PacedSend)
    ->Arg(0)
    ->Arg(1)
    ->Arg(2)
    ->Arg(3)
    ->Arg(8)
    ->Iterations(1)
    ->Unit(benchmark::kSecond);

// The 11,285-byte program message of 40 stereo S950 entries, written as the ALSA driver writes
// it and then waited out as the port does (its wire time from the start): wall time over wire
// time, the CPU share of the wait, and the bytes the kernel would have dropped (0).
void BM_PacedAlsaWrite(benchmark::State& state) {
    const std::vector<std::uint8_t> message(11285, 0x40);
    const auto wire = transfer::midiWireTimePerByte * static_cast<std::int64_t>(message.size());
    double wall = 0;
    double cpu = 0;
    std::size_t dropped = 0;
    for (auto _ : state) {
        transfer::SteadyWaitClock clock;
        velomire::testing::FakeKernelMidiSink sink(clock);
        transfer::WirePacer pacer(clock);
        const double cpuStart = CpuSeconds();
        const auto start = clock.Now();
        pacer.Write(message,
                    [&sink](std::span<const std::uint8_t> event) { return sink.Take(event); }, {});
        transfer::SleepFor(
            clock,
            std::chrono::duration_cast<std::chrono::microseconds>(start + wire - clock.Now()), {});
        wall = std::chrono::duration<double>(clock.Now() - start).count();
        cpu = CpuSeconds() - cpuStart;
        dropped = sink.dropped;
    }
    state.counters["wall_over_wire_%"] =
        (wall / std::chrono::duration<double>(wire).count() - 1) * 100;
    state.counters["cpu_of_wall_%"] = cpu / wall * 100;
    state.counters["dropped_bytes"] = static_cast<double>(dropped);
}
BENCHMARK(BM_PacedAlsaWrite)->Iterations(3)->Unit(benchmark::kSecond);

// Counts what is written to it and keeps nothing.
class CountingBuffer : public std::streambuf {
public:
    std::size_t bytes = 0;

protected:
    std::streamsize xsputn(const char*, std::streamsize count) override {
        bytes += static_cast<std::size_t>(count);
        return count;
    }
    int_type overflow(int_type c) override {
        ++bytes;
        return traits_type::not_eof(c);
    }
};

// render of a program of `entries` stereo entries of 10 minutes each (S950: 12-bit words) to a
// stream: the peak resident size stays flat whatever the program's length.
void BM_RenderMemory(benchmark::State& state) {
    const int entries = static_cast<int>(state.range(0));
    const auto dir = std::filesystem::temp_directory_path() / "velomire-render-memory-bench";
    std::filesystem::create_directories(dir);
    const std::uint32_t frames = 10 * 60 * 44100;
    if (!std::filesystem::exists(dir / "long.wav")) {
        WriteWav(dir / "long.wav", 2, frames);
    }
    auto program = std::make_unique<program::Program>();
    program->SetProgramPath(dir / "long.vmp", true);
    SilentMessages messages;
    program::WavInfo wav(messages);
    for (int i = 0; i < entries; ++i) {
        wav.Open("long.wav");
        program->InitSampleEntry(program->sampleCount, "long.wav", wav);
        wav.Close();
        ++program->sampleCount;
    }
    std::size_t bytes = 0;
    for (auto _ : state) {
        CountingBuffer counter;
        std::ostream out(&counter);
        transfer::StreamMidiDriver driver(out);
        transfer::InstantWaitClock clock;
        AnsweringUi ui;
        transfer::MidiOutPort port(driver, clock, messages);
        auto settings = SettingsFor(2);
        settings.maxSample = 255;
        program->nextProgramNumber = 0;
        program->nextSampleNumber = 0;
        transfer::SendCommand(*program, settings, port, messages, ui).OnSendProgram();
        bytes = counter.bytes;
    }
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    state.counters["rendered_MB"] = static_cast<double>(bytes) / 1e6;
    state.counters["peak_rss_MB"] = static_cast<double>(usage.ru_maxrss) / 1024;
}
BENCHMARK(BM_RenderMemory)->Arg(1)->Arg(40)->Iterations(1)->Unit(benchmark::kSecond);

} // namespace
