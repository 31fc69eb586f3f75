// Taking a 2 s mono sample back through a running JACK server (start one with 256-frame periods,
// e.g. `jackd -d dummy -r 44100 -p 256`) from the simulated sampler of this program, loaded with
// it: the SDS target and the S3000 XL. Wall time against the wire time of the bytes received
// (goal: at most 1.10). Skipped without a JACK server.

#include "BenchSupport.h"
#include "transfer/Librarian.h"
#include "transfer/MidiInPort.h"
#include "transfer/MidiOutPort.h"
#include "transfer/SamplerLoad.h"
#include "transfer/SamplerService.h"
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

// Counts what comes back from the real driver.
class CountingIn : public transfer::MidiInDriver {
public:
    explicit CountingIn(transfer::MidiInDriver& inner) : inner(inner) {}
    std::vector<std::string> PortNames() override { return inner.PortNames(); }
    transfer::MidiStatus Open(unsigned index) override { return inner.Open(index); }
    transfer::MidiStatus Poll(std::vector<transfer::MidiInBytes>& out) override {
        const std::size_t before = out.size();
        const transfer::MidiStatus status = inner.Poll(out);
        for (std::size_t i = before; i < out.size(); ++i) {
            bytes += out[i].bytes.size();
        }
        return status;
    }
    transfer::MidiStatus Close() override { return inner.Close(); }
    bool Gone() const override { return inner.Gone(); }
    transfer::MidiInDriver& inner;
    std::size_t bytes = 0;
};

class QuietProgress final : public transfer::LibrarianProgress {
public:
    void Progress(std::uint64_t, std::uint64_t) override {}
    bool Cancelled() override { return false; }
};

// The simulated sampler on its own JACK ports, loaded with the 2 s sample, answering in the JACK
// cycle where it can; this thread does the rest.
class SamplerThread {
public:
    SamplerThread(std::int32_t model, const std::filesystem::path& dir, std::string& error)
        : service(Script(model)),
          endpoint(transfer::JackMidiEndpoint::Open("velomire-bench-sampler", true, true, error)) {
        bench::SilentMessages messages;
        service.Inspect([&](transfer::SimulatedSampler& sampler) {
            loaded = transfer::LoadSampler(sampler, model, dir, messages).samples;
        });
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
    bool Ok() const { return endpoint != nullptr && loaded == 1; }
    std::string In() const { return endpoint->InputName(); }
    std::string Out() const { return endpoint->OutputName(); }

private:
    static transfer::SamplerScript Script(std::int32_t model) {
        transfer::SamplerScript script;
        script.family = transfer::SamplerModel::Family(model);
        script.model = model;
        return script;
    }
    void Run() {
        while (!stop) {
            service.Serve(*endpoint, std::chrono::steady_clock::now());
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
    }

    transfer::SamplerService service;
    std::unique_ptr<transfer::JackMidiEndpoint> endpoint;
    int loaded = 0;
    std::atomic<bool> stop{false};
    std::thread thread;
};

int IndexOf(const std::vector<std::string>& names, const std::string& wanted) {
    const auto found = std::find(names.begin(), names.end(), wanted);
    return found == names.end() ? -1 : static_cast<int>(found - names.begin());
}

void BM_GetSample(benchmark::State& state) {
    const auto model = static_cast<std::int32_t>(state.range(0));
    const auto dir = std::filesystem::temp_directory_path() / "velomire-get-bench";
    std::filesystem::create_directories(dir);
    bench::WriteWav(dir / "two.wav", 1, 44100, 2 * 44100, [](std::uint32_t frame, std::uint16_t) {
        return static_cast<std::int16_t>(std::lround(8000 * std::sin(frame * 0.05)));
    });
    std::string error;
    SamplerThread sampler(model, dir, error);
    if (!sampler.Ok()) {
        state.SkipWithError(("needs a running JACK server: " + error).c_str());
        return;
    }
    transfer::JackMidiDriver jackOut;
    transfer::JackMidiInDriver jackIn;
    const int outIndex = IndexOf(jackOut.PortNames(), sampler.In());
    const int inIndex = IndexOf(jackIn.PortNames(), sampler.Out());
    if (outIndex < 0 || inIndex < 0) {
        state.SkipWithError("the simulated sampler's ports are not listed");
        return;
    }
    double wall = 0;
    double wire = 0;
    for (auto _ : state) {
        CountingIn in(jackIn);
        transfer::SteadyWaitClock clock;
        bench::SilentMessages messages;
        transfer::MidiOutPort out(jackOut, clock, messages);
        transfer::MidiInPort reply(in, clock);
        if (!out.Open(outIndex) || !reply.Open(inIndex)) {
            state.SkipWithError("the ports do not open");
            return;
        }
        const auto librarian = transfer::MakeLibrarian(model, {out, reply, 0, 0});
        QuietProgress progress;
        transfer::DecodedSample sample;
        const auto start = std::chrono::steady_clock::now();
        const transfer::LibrarianResult result = librarian->GetSample(0, sample, progress);
        wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        wire = std::chrono::duration<double>(transfer::midiWireTimePerByte *
                                             static_cast<std::int64_t>(in.bytes))
                   .count();
        if (!result.Ok() || sample.frames.size() != 2 * 44100) {
            state.SkipWithError(("the get failed: " + result.text).c_str());
        }
        reply.Close();
        out.Close();
    }
    state.counters["wire_s"] = wire;
    state.counters["wall_s"] = wall;
    state.counters["wall_over_wire"] = wall / wire;
}
BENCHMARK(BM_GetSample)->Arg(0)->Arg(8)->Iterations(1)->Unit(benchmark::kSecond);

} // namespace
