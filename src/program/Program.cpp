#include "program/Program.h"

#include "program/WavInfo.h"

#include <cmath>
#include <limits>
#include <system_error>

namespace velomire::program {
namespace {

constexpr std::uint32_t defaultLoopDwell = 9999; // hold
constexpr std::uint32_t unusedLoopLength = 64;

} // namespace

std::int32_t TuneOffsetForRate(std::uint32_t rate) {
    const std::uint32_t q = rate / 44100;
    if (q == 0) {
        return std::numeric_limits<std::int32_t>::min();
    }
    return static_cast<std::int32_t>(10000.0 * std::log(static_cast<double>(q)) / std::log(9.5475));
}

std::string Program::SetProgramPath(const std::filesystem::path& path, bool isNew) {
    std::error_code ec;
    std::filesystem::path full = std::filesystem::absolute(path, ec);
    if (ec) {
        full = path;
    }
    std::string title = full.stem().string();

    SetFieldText(header.programName, title, programNameChars);
    programDirectory = full.parent_path();
    programCreated = true;

    if (isNew) {
        sampleCount = 0;
        header.ResetForNewProgram(nextProgramNumber);
    }
    return title;
}

void Program::InitSampleEntry(int row, std::string_view fileName, const WavInfo& wav) {
    if (row < 0 || row >= maxSamples) {
        return;
    }
    SampleEntry& entry = samples[static_cast<std::size_t>(row)];
    SampleBlock& s = entry.sample;
    s = SampleBlock{};
    SetFieldText(s.fileName, fileName, fileNameChars);
    s.bits = wav.Bits();
    s.channels = wav.Channels();
    s.sampleRate = wav.Rate();
    s.samplePeriodNs = wav.PeriodNs();
    s.frameCount = wav.FrameCount();
    s.soundStart = 0;
    s.soundEnd = s.frameCount - 1;
    s.s900RightLoopShift = wav.S900Shift();
    s.sendMode = static_cast<std::int16_t>(3 * (s.channels - 1));
    s.dataSent = 0;
    s.bandwidth = 1;
    s.rootKey = 60;
    SetFieldText(s.sampleName, wav.Name(), sampleNameChars);
    s.headerValid = 128;
    s.loopCount = 0;
    s.loopMode = loopNone;
    s.tuneOffset = TuneOffsetForRate(s.sampleRate);
    s.waveAddress = 0;
    s.lengthWords = s.frameCount & ~1u;
    s.startPoint = 0;
    s.endPoint = s.lengthWords - 1;
    for (std::size_t i = 0; i < SampleBlock::loopSlots; ++i) {
        const bool edited = i < 4;
        s.SetLoop(i, {edited ? s.lengthWords - 1 : 0, edited ? s.lengthWords : unusedLoopLength,
                      i == 0 ? defaultLoopDwell : 0});
    }
    s.headerRate = s.sampleRate;
    s.headerSpare = 0;

    KeygroupBlock& k = entry.keygroup;
    k = KeygroupBlock{};
    k.lowKey = 24;
    k.highKey = 127;
    k.keygroupTune = 0;
    k.keygroupWords = {99, 0, 0,  0,  0,  0, 99, 99, 43, 0, 0, 0,
                       0,  0, 99, 99, 99, 0, 0,  0,  0,  0, 0, 1};
    k.output = 0;
    k.velocityLow = 0;
    k.velocityHigh = 127;
    k.velocityTune = 0;
    k.velocityWords.fill(0);
}

void Program::RemoveSampleEntry(int row) {
    if (row < 0 || row >= sampleCount) {
        return;
    }
    for (int i = row; i + 1 < sampleCount; ++i) {
        samples[static_cast<std::size_t>(i)] = samples[static_cast<std::size_t>(i) + 1];
    }
    --sampleCount;
}

namespace {

// The valid rows among `rows`, sorted, each once.
std::vector<int> ValidRows(std::vector<int> rows, int count) {
    std::erase_if(rows, [count](int row) { return row < 0 || row >= count; });
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    return rows;
}

} // namespace

void Program::RemoveSampleEntries(std::vector<int> rows) {
    rows = ValidRows(std::move(rows), sampleCount);
    // From the last, so the earlier indices stay valid.
    for (std::size_t i = rows.size(); i-- > 0;) {
        RemoveSampleEntry(rows[i]);
    }
}

std::vector<int> Program::MoveSampleEntries(std::vector<int> rows, int step) {
    rows = ValidRows(std::move(rows), sampleCount);
    if (rows.empty() || (step != -1 && step != 1) || (step < 0 && rows.front() == 0) ||
        (step > 0 && rows.back() == sampleCount - 1)) {
        return {};
    }
    const auto at = [this](int row) -> SampleEntry& {
        return samples[static_cast<std::size_t>(row)];
    };
    if (step < 0) {
        for (int& row : rows) {
            std::swap(at(row), at(row - 1));
            --row;
        }
    } else {
        for (std::size_t i = rows.size(); i-- > 0;) {
            std::swap(at(rows[i]), at(rows[i] + 1));
            ++rows[i];
        }
    }
    return rows;
}

std::vector<int> Program::MoveSampleEntriesTo(std::vector<int> rows, int before) {
    rows = ValidRows(std::move(rows), sampleCount);
    if (rows.empty() || before < 0 || before > sampleCount) {
        return {};
    }
    std::vector<SampleEntry> moved;
    std::vector<SampleEntry> staying;
    int insertAt = 0; // where the moved rows go among the staying ones
    for (int row = 0; row < sampleCount; ++row) {
        const bool isMoved = std::binary_search(rows.begin(), rows.end(), row);
        (isMoved ? moved : staying).push_back(samples[static_cast<std::size_t>(row)]);
        if (!isMoved && row < before) {
            ++insertAt;
        }
    }
    std::vector<int> placed;
    std::size_t next = 0;
    for (std::size_t i = 0; i < staying.size() + moved.size(); ++i) {
        const auto index = static_cast<int>(i);
        if (index >= insertAt && index < insertAt + static_cast<int>(moved.size())) {
            samples[i] = moved[static_cast<std::size_t>(index - insertAt)];
            placed.push_back(index);
        } else {
            samples[i] = staying[next++];
        }
    }
    if (placed == rows) {
        return {};
    }
    return placed;
}

} // namespace velomire::program
