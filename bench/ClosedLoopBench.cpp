// Closed-loop sends through a running JACK server (start one with 256-frame periods, e.g.
// `jackd -d dummy -r 44100 -p 256`) to the simulated sampler of this program, answering at once: a
// 2 s mono sample to the SDS target and to the S3000 XL. Wall time against the wire time of the
// bytes sent (goal: at most 1.10), and against the one-way ideal (wire time plus every specified
// wait) to show what the handshake saves. Skipped without a JACK server.

#include "BenchSupport.h"
#include "program/Program.h"
#include "program/WavInfo.h"
#include "transfer/CaptureMidiDriver.h"
#include "transfer/MidiInPort.h"
#include "transfer/MidiOutPort.h"
#include "transfer/SamplerService.h"
#include "transfer/SendCommand.h"
#include "transfer/devices/JackMidiDriver.h"
#include "transfer/devices/JackMidiEndpoint.h"
#include "transfer/devices/JackMidiInDriver.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <filesystem>
#include <thread>

namespace {

using namespace velomire;

class AnsweringUi : public transfer::SendUi {
public:
    bool ConfirmSummary(const transfer::ProgramSummary&) override { return true; }
    bool AskNumbers(transfer::SendNumbers&) override { return true; }
    void OpenSending(const std::string&) override {}
    void AddLine(const std::string& line) override {
        handshakes += line == "  ...with handshake" ? 1 : 0;
    }
    int handshakes = 0;
    void CloseSending() override {}
    void SetSampleBar(int) override {}
    void SetProgramBar(int) override {}
};

// Counts what goes to the real driver.
class CountingDriver : public transfer::MidiDriver {
public:
    explicit CountingDriver(transfer::MidiDriver& inner) : inner(inner) {}
    std::vector<std::string> PortNames() override { return inner.PortNames(); }
    transfer::MidiStatus Open(unsigned index) override { return inner.Open(index); }
    transfer::MidiStatus Write(std::span<const std::uint8_t> data) override {
        bytes += data.size();
        return inner.Write(data);
    }
    transfer::MidiStatus Close() override { return inner.Close(); }
    transfer::MidiDriver& inner;
    std::size_t bytes = 0;
};

// The simulated sampler on its own JACK ports, answering in the JACK cycle a message is
// completed in; this thread takes what that cannot.
class SamplerThread {
public:
    SamplerThread(transfer::SamplerFamily family, std::string& error)
        : service(transfer::SamplerScript{family}),
          endpoint(transfer::JackMidiEndpoint::Open("velomire-bench-sampler", true, true, error)) {
        if (endpoint) {
            endpoint->SetResponder(&service);
            thread = std::thread([this] { Run(); });
        }
    }
    ~SamplerThread() {
        stop = true;
        if (thread.joinable()) {
            thread.join();
        }
    }
    bool Ok() const { return endpoint != nullptr; }
    std::string In() const { return endpoint->InputName(); }
    std::string Out() const { return endpoint->OutputName(); }

private:
    void Run() {
        while (!stop) {
            service.Serve(*endpoint, std::chrono::steady_clock::now());
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
    }

    transfer::SamplerService service; // outlives the endpoint, whose thread answers through it
    std::unique_ptr<transfer::JackMidiEndpoint> endpoint;
    std::atomic<bool> stop{false};
    std::thread thread;
};

std::unique_ptr<program::Program> TwoSecondProgram() {
    const auto dir = std::filesystem::temp_directory_path() / "velomire-closed-loop-bench";
    std::filesystem::create_directories(dir);
    bench::WriteWav(dir / "two.wav", 1, 44100, 2 * 44100, [](std::uint32_t frame, std::uint16_t) {
        return static_cast<std::int16_t>(std::lround(8000 * std::sin(frame * 0.05)));
    });
    auto program = std::make_unique<program::Program>();
    program->SetProgramPath(dir / "bench.vmp", true);
    bench::SilentMessages messages;
    program::WavInfo wav(messages);
    wav.Open("two.wav");
    program->InitSampleEntry(0, "two.wav", wav);
    program->sampleCount = 1;
    return program;
}

transfer::SamplerSettings SettingsFor(int model) {
    transfer::SamplerSettings settings;
    settings.samplerModel = model;
    settings.maxProgram = 254;
    settings.maxSample = 255;
    return settings;
}

int IndexOf(const std::vector<std::string>& names, const std::string& wanted) {
    const auto found = std::find(names.begin(), names.end(), wanted);
    return found == names.end() ? -1 : static_cast<int>(found - names.begin());
}

void BM_ClosedLoopSend(benchmark::State& state) {
    const int model = static_cast<int>(state.range(0));
    auto program = TwoSecondProgram();

    // The one-way ideal: every byte's wire time and every specified wait, added up.
    double oneWayIdeal = 0;
    {
        transfer::CaptureMidiDriver capture;
        transfer::InstantWaitClock clock;
        bench::SilentMessages messages;
        AnsweringUi ui;
        transfer::MidiOutPort port(capture, clock, messages);
        auto settings = SettingsFor(model);
        settings.midiOutDevice = 0;
        const auto start = clock.Now();
        transfer::SendCommand(*program, settings, port, messages, ui).OnSendProgram();
        oneWayIdeal = std::chrono::duration<double>(clock.Now() - start).count();
    }

    std::string error;
    SamplerThread sampler(transfer::SamplerModel::Family(model), error);
    if (!sampler.Ok()) {
        state.SkipWithError(("needs a running JACK server: " + error).c_str());
        return;
    }
    transfer::JackMidiDriver jackOut;
    transfer::JackMidiInDriver jackIn;
    auto settings = SettingsFor(model);
    settings.midiOutDevice = IndexOf(jackOut.PortNames(), sampler.In());
    settings.midiInDevice = IndexOf(jackIn.PortNames(), sampler.Out());

    if (settings.midiOutDevice < 0 || settings.midiInDevice < 0) {
        state.SkipWithError("the simulated sampler's ports are not listed");
        return;
    }
    double wall = 0;
    double wire = 0;
    int handshakes = 0;
    for (auto _ : state) {
        CountingDriver out(jackOut);
        transfer::SteadyWaitClock clock;
        bench::SilentMessages messages;
        AnsweringUi ui;
        transfer::MidiOutPort port(out, clock, messages);
        transfer::MidiInPort in(jackIn, clock);
        program->nextProgramNumber = 0;
        program->nextSampleNumber = 0;
        transfer::SendCommand send(*program, settings, port, messages, ui);
        send.SetReplyPort(&in);
        const auto start = std::chrono::steady_clock::now();
        send.OnSendProgram();
        wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        wire = std::chrono::duration<double>(transfer::midiWireTimePerByte *
                                             static_cast<std::int64_t>(out.bytes))
                   .count();
        handshakes = ui.handshakes;
        if (messages.count != 0) {
            state.SkipWithError("the send reported a problem");
        }
    }
    state.counters["parts_with_handshake"] = handshakes;
    state.counters["wire_s"] = wire;
    state.counters["wall_s"] = wall;
    state.counters["wall_over_wire"] = wall / wire;
    state.counters["one_way_ideal_s"] = oneWayIdeal;
    state.counters["wall_over_one_way"] = wall / oneWayIdeal;
}
BENCHMARK(BM_ClosedLoopSend)->Arg(0)->Arg(8)->Iterations(1)->Unit(benchmark::kSecond);

} // namespace
