#include "editing/LoopEditorModel.h"

#include "program/MonoFrames.h"
#include "program/Program.h"
#include "program/WavInfo.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <utility>

namespace velomire::editing {

namespace {

constexpr std::size_t loopSlots = LoopEditorModel::loopParts; // loops 1..4: indices 0..3

} // namespace

LoopEditorModel::LoopEditorModel(program::SampleBlock& sample, std::size_t frameLimit)
    : sample(sample), frameLimit(frameLimit) {}

LoopEditorModel::~LoopEditorModel() {
    Finish();
}

LoopEditorStatus LoopEditorModel::Open(program::WavInfo& wav,
                                       const std::filesystem::path& programDirectory) {
    const std::string name = program::FieldText(sample.fileName);
    Finish();
    if (!wav.Open(programDirectory / name, name)) {
        return LoopEditorStatus::fileNotRead; // the reader has shown its message
    }
    return Read(wav);
}

LoopEditorStatus LoopEditorModel::Open(program::WavInfo& wav, const std::string& path) {
    Finish();
    if (!wav.Open(path)) {
        return LoopEditorStatus::fileNotRead; // the reader has shown its message
    }
    return Read(wav);
}

LoopEditorStatus LoopEditorModel::Read(program::WavInfo& wav) {
    program::MonoFrames read = program::ReadMonoFrames(wav, sample.frameCount, frameLimit);
    switch (read.status) {
    case program::MonoFrames::Status::noFrames:
        return LoopEditorStatus::noFrames;
    case program::MonoFrames::Status::tooLong:
        return LoopEditorStatus::memoryAllocError;
    case program::MonoFrames::Status::ok:
        break;
    }
    return Adopt(std::move(read.frames), read.mean);
}

LoopEditorStatus LoopEditorModel::OpenFrames(std::vector<std::int16_t> frames) {
    Finish();
    const std::size_t frameCount = std::min<std::size_t>(sample.frameCount, frames.size());
    if (frameCount == 0) {
        return LoopEditorStatus::noFrames;
    }
    if (frameCount > frameLimit) {
        return LoopEditorStatus::memoryAllocError;
    }
    frames.resize(frameCount);
    double mean = 0.0;
    for (const std::int16_t value : frames) {
        mean += value / static_cast<double>(frameCount);
    }
    return Adopt(std::move(frames), mean);
}

LoopEditorStatus LoopEditorModel::Adopt(std::vector<std::int16_t> frames, double mean) {
    waveform = std::move(frames);
    if (!summary.Build(waveform)) {
        waveform = {};
        return LoopEditorStatus::memoryAllocError;
    }

    // From here on the block changes. Loop end points become absolute with the stored start;
    // then everything a file written elsewhere may hold outside the frames is brought inside them
    // so that nothing reads or draws outside the track.
    const std::int64_t last = LastFrame();
    const std::int64_t storedStart = sample.soundStart;
    const std::int64_t soundEnd = std::min<std::int64_t>(sample.soundEnd, last);
    const std::int64_t soundStart = std::min<std::int64_t>(storedStart, soundEnd);
    sample.frameCount = static_cast<std::uint32_t>(waveform.size());
    sample.soundStart = static_cast<std::uint32_t>(soundStart);
    sample.soundEnd = static_cast<std::uint32_t>(soundEnd);
    for (std::size_t n = 0; n < loopSlots; ++n) {
        const std::int64_t end = std::min<std::int64_t>(sample.loopAt[n] + storedStart, last);
        const std::int64_t length = std::clamp<std::int64_t>(sample.loopLength[n], 1, end + 1);
        sample.loopAt[n] = static_cast<std::uint32_t>(end);
        sample.loopLength[n] = static_cast<std::uint32_t>(length);
    }
    sample.loopCount = std::clamp<std::int16_t>(sample.loopCount, 0, loopParts);
    KeepLoopsInSound();

    const auto level = static_cast<int>(std::abs(std::trunc(mean)));
    snapLevel = level > maxSpinSnapLevel ? 0 : level;
    currentPart = noPart;
    view = WaveformView(FrameCount(), pictureWidth, pictureHeight);
    open = true;
    Changed();
    return LoopEditorStatus::ok;
}

void LoopEditorModel::Finish() {
    if (!open) {
        return;
    }
    KeepLoopsInSound();
    const std::uint32_t soundLength = sample.soundEnd - sample.soundStart + 1;
    // The sampler sends an even number of words and holds the last one's index as the end point.
    sample.lengthWords = soundLength & ~1u;
    sample.endPoint = sample.lengthWords == 0 ? 0 : sample.lengthWords - 1;
    for (std::size_t n = 0; n < loopSlots; ++n) {
        sample.loopAt[n] -= sample.soundStart;
    }
    waveform = {};
    summary = {};
    view = {};
    currentPart = noPart;
    open = false;
    Changed();
}

std::string LoopEditorModel::Caption() const {
    return "Loop editor  -  " + program::FieldText(sample.fileName);
}

RegionFigures LoopEditorModel::Loop(int n) const {
    if (n < 1 || n > loopParts) {
        return {};
    }
    const auto index = static_cast<std::size_t>(n - 1);
    const std::int64_t end = sample.loopAt[index];
    const std::int64_t length = sample.loopLength[index];
    return {end - length + 1, end, length, sample.loopDwell[index]};
}

RegionFigures LoopEditorModel::Figures() const {
    if (currentPart == soundPart) {
        const std::int64_t start = sample.soundStart;
        const std::int64_t end = sample.soundEnd;
        return {start, end, end - start + 1, 0};
    }
    if (currentPart > soundPart) {
        return Loop(currentPart);
    }
    return {0, LastFrame(), FrameCount(), 0};
}

void LoopEditorModel::SelectSound() {
    if (!open) {
        return;
    }
    currentPart = soundPart;
    Changed();
}

bool LoopEditorModel::SelectLoop(int n) {
    if (!open || n < 1 || n > loopParts) {
        return false;
    }
    // Only looking: the loop count and mode stay until a loop point is edited.
    currentPart = n;
    Changed();
    return true;
}

bool LoopEditorModel::LeftClick(int x, int y) {
    if (!open || currentPart < soundPart) {
        return false;
    }
    const auto frame = view.FrameAtPixel(x, y);
    if (!frame || Figures().end - *frame + 1 < minimumLength) {
        return false;
    }
    MoveStart(*frame);
    return true;
}

bool LoopEditorModel::RightClick(int x, int y) {
    if (!open || currentPart < soundPart) {
        return false;
    }
    const auto frame = view.FrameAtPixel(x, y);
    if (!frame || *frame - Figures().start + 1 < minimumLength) {
        return false;
    }
    MoveEnd(*frame);
    return true;
}

bool LoopEditorModel::TypeStart(std::int64_t frame) {
    if (!open || currentPart < soundPart) {
        return false;
    }
    frame = std::clamp<std::int64_t>(frame, 0, LastFrame());
    const RegionFigures figures = Figures();
    if (frame == figures.start || figures.end - frame + 1 < minimumLength) {
        return false;
    }
    MoveStart(frame);
    return true;
}

bool LoopEditorModel::TypeEnd(std::int64_t frame) {
    if (!open || currentPart < soundPart) {
        return false;
    }
    frame = std::clamp<std::int64_t>(frame, 0, LastFrame());
    const RegionFigures figures = Figures();
    if (frame == figures.end || frame - figures.start + 1 < minimumLength) {
        return false;
    }
    MoveEnd(frame);
    return true;
}

bool LoopEditorModel::TypeLength(std::int64_t length) {
    if (!open || currentPart < soundPart) {
        return false;
    }
    return TypeEnd(Figures().start + std::clamp<std::int64_t>(length, 1, FrameCount()) - 1);
}

bool LoopEditorModel::FindLoop(bool moveStart) {
    if (!open || currentPart <= soundPart) {
        return false;
    }
    const RegionFigures figures = Figures();
    const auto isHere = [&](const LoopCandidate& c) {
        return c.start == figures.start && c.end == figures.end;
    };
    if (proposalPart == currentPart && proposalMovesStart == moveStart &&
        proposal < proposals.size() && isHere(proposals[proposal])) {
        proposal = (proposal + 1) % proposals.size();
    } else {
        const std::int64_t rate = std::max<std::int64_t>(sample.sampleRate, 1);
        LoopSearch search;
        search.start = figures.start;
        search.end = figures.end;
        search.lowest = sample.soundStart;
        search.highest = sample.soundEnd;
        search.moveStart = moveStart;
        search.window = std::max<std::int64_t>(rate * findWindowMs / 1000, minimumLength);
        search.compare = std::max<std::int64_t>(rate * seamCompareMs / 1000, 8);
        search.minimumLength = minimumLength;
        proposals = FindLoops(waveform, search);
        proposal = 0;
        proposalPart = currentPart;
        proposalMovesStart = moveStart;
        if (proposals.empty()) {
            return false;
        }
        // Already the best: the press shows the next one.
        if (proposals.size() > 1 && isHere(proposals[0])) {
            proposal = 1;
        }
    }
    const LoopCandidate& chosen = proposals[proposal];
    if (isHere(chosen)) {
        return false;
    }
    if (moveStart) {
        MoveStart(chosen.start);
    } else {
        MoveEnd(chosen.end);
    }
    return true;
}

double LoopEditorModel::JoinShare() const {
    if (!open || currentPart <= soundPart) {
        return 0;
    }
    const RegionFigures figures = Figures();
    return JoinJump(waveform, figures.start, figures.end) / 32768.0;
}

bool LoopEditorModel::NearZero(std::int64_t frame) const {
    return std::abs(int{waveform[static_cast<std::size_t>(frame)]}) <= snapLevel;
}

void LoopEditorModel::LoopEdited() {
    if (sample.loopCount < currentPart) {
        sample.loopCount = static_cast<std::int16_t>(currentPart);
    }
    // A loop placed on a sample that played straight through is meant to be heard.
    if (sample.loopMode == program::loopNone) {
        sample.loopMode = program::loopNormal;
    }
}

void LoopEditorModel::MoveStart(std::int64_t frame) {
    if (currentPart == soundPart) {
        sample.soundStart = static_cast<std::uint32_t>(frame);
    } else {
        const auto index = static_cast<std::size_t>(currentPart - 1);
        sample.loopLength[index] = static_cast<std::uint32_t>(sample.loopAt[index] - frame + 1);
        LoopEdited();
    }
    KeepLoopsInSound();
    Changed();
}

void LoopEditorModel::MoveEnd(std::int64_t frame) {
    if (currentPart == soundPart) {
        sample.soundEnd = static_cast<std::uint32_t>(frame);
    } else {
        const auto index = static_cast<std::size_t>(currentPart - 1);
        const std::int64_t start = Figures().start;
        sample.loopAt[index] = static_cast<std::uint32_t>(frame);
        sample.loopLength[index] = static_cast<std::uint32_t>(frame - start + 1);
        LoopEdited();
    }
    KeepLoopsInSound();
    Changed();
}

bool LoopEditorModel::SnapStartRight() {
    if (!open || currentPart < soundPart) {
        return false;
    }
    const RegionFigures figures = Figures();
    for (std::int64_t frame = figures.start + 1; frame <= figures.end; ++frame) {
        if (NearZero(frame)) {
            if (figures.end - frame + 1 < minimumLength) {
                return false;
            }
            MoveStart(frame);
            return true;
        }
    }
    return false;
}

bool LoopEditorModel::SnapStartLeft() {
    if (!open || currentPart < soundPart) {
        return false;
    }
    const RegionFigures figures = Figures();
    const std::int64_t floor = currentPart == soundPart ? 0 : sample.soundStart;
    for (std::int64_t frame = figures.start - 1; frame >= floor; --frame) {
        if (NearZero(frame)) {
            MoveStart(frame);
            return true;
        }
    }
    return false;
}

bool LoopEditorModel::SnapEndRight() {
    if (!open || currentPart < soundPart) {
        return false;
    }
    const RegionFigures figures = Figures();
    const std::int64_t ceiling = currentPart == soundPart ? LastFrame() : sample.soundEnd;
    for (std::int64_t frame = figures.end + 1; frame <= ceiling; ++frame) {
        if (NearZero(frame)) {
            MoveEnd(frame);
            return true;
        }
    }
    return false;
}

bool LoopEditorModel::SnapEndLeft() {
    if (!open || currentPart < soundPart) {
        return false;
    }
    const RegionFigures figures = Figures();
    for (std::int64_t frame = figures.end - 1; frame >= figures.start; --frame) {
        if (NearZero(frame)) {
            if (frame - figures.start + 1 < minimumLength) {
                return false;
            }
            MoveEnd(frame);
            return true;
        }
    }
    return false;
}

bool LoopEditorModel::RemoveSilence() {
    if (!open) {
        return false;
    }
    const std::int64_t soundStart = sample.soundStart;
    const std::int64_t soundEnd = sample.soundEnd;
    std::int64_t first = soundStart;
    while (first <= soundEnd && NearZero(first)) {
        ++first;
    }
    if (first > soundEnd) {
        return false; // nothing but near-silence: the start must stay a frame of the sound
    }
    std::int64_t last = soundEnd;
    while (NearZero(last)) {
        --last;
    }
    sample.soundStart = static_cast<std::uint32_t>(first);
    sample.soundEnd = static_cast<std::uint32_t>(last);
    KeepLoopsInSound();
    Changed();
    return true;
}

bool LoopEditorModel::SetDwell(int ms) {
    if (ms < 0 || ms > maxDwell) {
        return false;
    }
    if (open && currentPart > soundPart) {
        sample.loopDwell[static_cast<std::size_t>(currentPart - 1)] =
            static_cast<std::uint32_t>(ms);
    }
    return true;
}

bool LoopEditorModel::SetSnapLevel(int level) {
    if (level < 0 || level > maxTypedSnapLevel) {
        return false;
    }
    snapLevel = level;
    return true;
}

bool LoopEditorModel::SetLoopCount(int count) {
    if (count < 0 || count > loopParts) {
        return false;
    }
    sample.loopCount = static_cast<std::int16_t>(count);
    Changed();
    return true;
}

bool LoopEditorModel::SetLoopMode(int mode) {
    if (mode < 0 || mode >= loopModeCount) {
        return false;
    }
    sample.loopMode = static_cast<std::int16_t>(mode);
    Changed();
    return true;
}

void LoopEditorModel::SnapSpin(Spin step) {
    snapLevel =
        step == Spin::up ? std::min(snapLevel + 1, maxSpinSnapLevel) : std::max(snapLevel - 1, 0);
}

void LoopEditorModel::LoopCountSpin(Spin step) {
    const int count = sample.loopCount + (step == Spin::up ? 1 : -1);
    sample.loopCount = static_cast<std::int16_t>(std::clamp(count, 0, loopParts));
    Changed();
}

void LoopEditorModel::SetPictureSize(int width, int height) {
    pictureWidth = width;
    pictureHeight = height;
    view.SetPictureSize(width, height);
    Changed();
}

void LoopEditorModel::ZoomIn() {
    view.ZoomIn();
    Changed();
}

void LoopEditorModel::ZoomOut() {
    view.ZoomOut();
    Changed();
}

void LoopEditorModel::ZoomAll() {
    view.ZoomAll();
    Changed();
}

void LoopEditorModel::ZoomRegion() {
    const RegionFigures figures = Figures();
    if (view.ZoomTo(figures.start, figures.end)) {
        Changed();
    }
}

void LoopEditorModel::Scroll(ScrollRequest request, int position) {
    view.Scroll(request, position);
    Changed();
}

std::vector<WaveBand> LoopEditorModel::Bands() const {
    std::vector<WaveBand> bands;
    if (!open || currentPart == noPart) {
        return bands;
    }
    const RegionFigures figures = Figures();
    if (auto band = WaveformStrokes::Band(view, figures.start, figures.end, currentPart, 0)) {
        bands.push_back(*band);
    }
    // In the sound's view the loops that will play show as stripes, one per loop in use.
    if (currentPart == soundPart && sample.loopMode < program::loopNone && sample.loopCount > 0) {
        for (int k = 1; k <= sample.loopCount; ++k) {
            const RegionFigures loop = Loop(k);
            if (auto band =
                    WaveformStrokes::Band(view, loop.start, loop.end, -k, sample.loopCount)) {
                bands.push_back(*band);
            }
        }
    }
    return bands;
}

WaveformStrokes LoopEditorModel::Strokes() const {
    if (!open) {
        return {};
    }
    return WaveformStrokes::FromSummary(summary, view, sample.soundStart, sample.soundEnd);
}

void LoopEditorModel::KeepLoopsInSound() {
    const std::int64_t soundStart = sample.soundStart;
    const std::int64_t soundEnd = sample.soundEnd;
    for (std::size_t n = 0; n < loopSlots; ++n) {
        // The end point moves inside the sound (the loop keeps its length), then a start before
        // the sound's start shortens the loop. An end before the sound's start, left by a moved
        // sound start, becomes the sound's first frame.
        const std::int64_t end = std::clamp<std::int64_t>(sample.loopAt[n], soundStart, soundEnd);
        std::int64_t length = std::max<std::int64_t>(sample.loopLength[n], 1);
        if (end - length + 1 < soundStart) {
            length = end - soundStart + 1;
        }
        sample.loopAt[n] = static_cast<std::uint32_t>(end);
        sample.loopLength[n] = static_cast<std::uint32_t>(length);
    }
}

void LoopEditorModel::Changed() {
    ++revision;
}

} // namespace velomire::editing
