// The Loop Editor on a long sample: a 10-minute 44.1 hz stereo file (26.46 M frames, 106 MB).
// Open: the WAV reader's mono mix of every frame into memory plus the min/max summary, the wait
// the user has before the waveform appears (target under 1 s). Strokes: one redraw's worth of
// waveform for a 1000-pixel picture at several zooms, which must fit a 60 Hz frame (16 ms)
// while the user scrolls or zooms; the walk over every shown frame is measured for comparison.
// Find loop: one press of "Find loop" in the middle of the file, searching the loop's end (or its
// start) as the editor does, which must stay well under 100 ms.

#include "BenchSupport.h"
#include "editing/LoopEditorModel.h"
#include "editing/LoopFinder.h"
#include "editing/WaveformStrokes.h"
#include "program/Program.h"
#include "program/WavInfo.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <memory>
#include <numbers>
#include <random>
#include <string>
#include <vector>

namespace {

using namespace velomire;

constexpr std::uint32_t rate = 44100;                     // Hz
constexpr std::uint32_t tenMinuteFrames = rate * 60 * 10; // 10 minutes
constexpr int pictureWidth = 1000;                        // pixels
constexpr int pictureHeight = 300;                        // pixels

using bench::SilentMessages;

// A canonical stereo file of a slowly swelling tone with noise, written once into the system's
// temporary directory and removed at exit.
class LongStereoFile {
public:
    LongStereoFile() {
        path = std::filesystem::temp_directory_path() /
               ("velomire-editor-bench-" + std::to_string(std::random_device{}()) + ".wav");
        std::mt19937 random(1);
        std::uniform_int_distribution<int> noise(-800, 800);
        bench::WriteWav(
            path, 2, rate, tenMinuteFrames, [&](std::uint32_t i, std::uint16_t channel) {
                const double swell = 0.5 + 0.5 * std::sin(i * 2 * std::numbers::pi / (rate * 7));
                const double tone = std::sin(i * 2 * std::numbers::pi * 220 / rate);
                const double level = channel == 0 ? 20000 : 15000;
                return static_cast<std::int16_t>(static_cast<int>(level * swell * tone) +
                                                 noise(random));
            });
    }
    ~LongStereoFile() {
        std::error_code error;
        std::filesystem::remove(path, error);
    }
    LongStereoFile(const LongStereoFile&) = delete;
    LongStereoFile& operator=(const LongStereoFile&) = delete;

    std::string Path() const { return path.string(); }

private:
    std::filesystem::path path;
};

const LongStereoFile& File() {
    static const LongStereoFile file;
    return file;
}

program::SampleBlock NewBlock() {
    program::SampleBlock block;
    program::SetFieldText(block.fileName, "long.wav");
    block.channels = 2;
    block.frameCount = tenMinuteFrames;
    block.soundEnd = tenMinuteFrames - 1;
    block.lengthWords = tenMinuteFrames;
    for (std::size_t n = 0; n < 4; ++n) {
        block.loopAt[n] = tenMinuteFrames - 1;
        block.loopLength[n] = tenMinuteFrames;
    }
    block.loopMode = program::loopNone;
    return block;
}

void BM_OpenLoopEditor(benchmark::State& state) {
    const std::string path = File().Path();
    SilentMessages messages;
    program::WavInfo wav(messages);
    for (auto _ : state) {
        program::SampleBlock block = NewBlock();
        editing::LoopEditorModel model(block);
        if (model.Open(wav, path) != editing::LoopEditorStatus::ok) {
            state.SkipWithError("cannot open the long file");
            return;
        }
        benchmark::DoNotOptimize(model.Waveform().data());
    }
    state.SetItemsProcessed(state.iterations() * tenMinuteFrames);
}
BENCHMARK(BM_OpenLoopEditor)->Unit(benchmark::kMillisecond)->MinTime(3.0);

// The summary alone, the part of opening added on top of reading the file.
void BM_BuildSummary(benchmark::State& state) {
    std::vector<std::int16_t> frames(tenMinuteFrames);
    std::mt19937 random(2);
    for (auto& frame : frames) {
        frame = static_cast<std::int16_t>(random());
    }
    for (auto _ : state) {
        editing::WaveformSummary summary;
        benchmark::DoNotOptimize(summary.Build(frames));
        state.counters["summaryMB"] = static_cast<double>(summary.SummaryBytes()) / 1e6;
    }
}
BENCHMARK(BM_BuildSummary)->Unit(benchmark::kMillisecond);

// One editor opened on the long file, shared by the stroke benchmarks.
editing::LoopEditorModel& OpenModel() {
    static program::SampleBlock block = NewBlock();
    static const auto model = [] {
        auto opened = std::make_unique<editing::LoopEditorModel>(block);
        SilentMessages messages;
        program::WavInfo wav(messages);
        opened->Open(wav, File().Path());
        opened->SetPictureSize(pictureWidth, pictureHeight);
        return opened;
    }();
    return *model;
}

// The view of state.range(0) frames (0: all) starting a third into the sample.
editing::WaveformView ViewOf(std::int64_t frames) {
    editing::WaveformView view(tenMinuteFrames, pictureWidth, pictureHeight);
    if (frames > 0) {
        const std::int64_t first = tenMinuteFrames / 3;
        view.ZoomTo(first, first + frames - 1);
    }
    return view;
}

void BM_StrokesFromSummary(benchmark::State& state) {
    const editing::LoopEditorModel& model = OpenModel();
    const editing::WaveformView view = ViewOf(state.range(0));
    std::size_t strokes = 0;
    for (auto _ : state) {
        const auto drawn = editing::WaveformStrokes::FromSummary(model.Summary(), view, 1000,
                                                                 tenMinuteFrames - 1000);
        strokes = drawn.strokes.size();
        benchmark::DoNotOptimize(drawn.strokes.data());
    }
    state.counters["strokes"] = static_cast<double>(strokes);
}
BENCHMARK(BM_StrokesFromSummary)
    ->Arg(0)
    ->Arg(tenMinuteFrames / 16)
    ->Arg(1 << 16)
    ->Arg(4000)
    ->Arg(200)
    ->Unit(benchmark::kMicrosecond);

// The whole redraw as the painter asks for it: bands, guide dashes and strokes of the full view.
void BM_RedrawWholeSample(benchmark::State& state) {
    editing::LoopEditorModel& model = OpenModel();
    model.ZoomAll();
    model.SelectSound();
    for (auto _ : state) {
        benchmark::DoNotOptimize(model.Bands().size());
        benchmark::DoNotOptimize(model.GuideDashes().size());
        benchmark::DoNotOptimize(model.Strokes().strokes.size());
    }
}
BENCHMARK(BM_RedrawWholeSample)->Unit(benchmark::kMicrosecond);

// One press of "Find loop" on a one-second loop halfway into the file: state.range(0) = 1 searches
// the start instead of the end.
void BM_FindLoop(benchmark::State& state) {
    const editing::LoopEditorModel& model = OpenModel();
    editing::LoopSearch search;
    search.start = tenMinuteFrames / 2;
    search.end = search.start + rate - 1;
    search.lowest = 0;
    search.highest = tenMinuteFrames - 1;
    search.moveStart = state.range(0) == 1;
    search.window = rate * editing::LoopEditorModel::findWindowMs / 1000;
    search.compare = rate * editing::LoopEditorModel::seamCompareMs / 1000;
    std::size_t found = 0;
    for (auto _ : state) {
        const auto candidates = editing::FindLoops(model.Waveform(), search);
        found = candidates.size();
        benchmark::DoNotOptimize(candidates.data());
    }
    state.counters["candidates"] = static_cast<double>(found);
}
BENCHMARK(BM_FindLoop)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// For comparison: the walk over every shown frame that the summary replaces.
void BM_StrokesByWalk(benchmark::State& state) {
    const editing::LoopEditorModel& model = OpenModel();
    const editing::WaveformView view = ViewOf(state.range(0));
    for (auto _ : state) {
        const auto drawn =
            editing::WaveformStrokes::Walk(model.Waveform(), view, 1000, tenMinuteFrames - 1000);
        benchmark::DoNotOptimize(drawn.strokes.data());
    }
}
BENCHMARK(BM_StrokesByWalk)->Arg(0)->Arg(1 << 16)->Unit(benchmark::kMillisecond);

} // namespace
