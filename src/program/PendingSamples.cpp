#include "program/PendingSamples.h"

#include "program/AddSample.h"

#include <algorithm>
#include <functional>

namespace velomire::program {
namespace {

// A pending entry holds its file name in 40 characters, NUL included.
constexpr std::size_t fileNameLimit = Program::fileNameChars + 1;

} // namespace

void PendingSamples::FillFrom(const Program& program) {
    entries.clear();
    const int count = std::clamp(program.sampleCount, 0, Program::maxSamples);
    for (int i = 0; i < count; ++i) {
        const SampleBlock& sample = program.samples[static_cast<std::size_t>(i)].sample;
        entries.push_back({i, FieldText(sample.sampleName), FieldText(sample.fileName), {}});
    }
}

void PendingSamples::Add(const std::vector<std::string>& files, UserMessages& messages,
                         const std::filesystem::path& from) {
    std::string skipped;
    for (const std::string& file : files) {
        if (std::any_of(entries.begin(), entries.end(),
                        [&](const PendingEntry& e) { return e.file == file; })) {
            skipped += "\n" + file;
            continue;
        }
        if (Count() >= Program::maxSamples) {
            messages.Show("Error : Maximum number of Samples (40) reached", appCaption);
            break;
        }
        if (file.empty() || file.size() >= fileNameLimit) {
            continue;
        }
        entries.push_back(
            {-1, std::string(), file, from.empty() ? std::string() : (from / file).string()});
    }
    if (!skipped.empty()) {
        messages.Show("In the list already, not added again:" + skipped, appCaption);
    }
}

void PendingSamples::Remove(std::vector<int> rows) {
    std::sort(rows.begin(), rows.end(), std::greater<>());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    for (const int row : rows) {
        if (row >= 0 && row < Count()) {
            entries.erase(entries.begin() + row);
        }
    }
}

std::string PendingSamples::ListLine(const PendingEntry& e) {
    std::string line = e.file + " [" + e.name + "]";
    if (!e.source.empty()) {
        line += "  from " + std::filesystem::path(e.source).parent_path().string();
    }
    return line;
}

bool PendingSamples::ApplyTo(Program& program, UserMessages& messages) const {
    bool changed = false;
    for (int row = program.sampleCount - 1; row >= 0; --row) {
        const bool kept = std::any_of(entries.begin(), entries.end(),
                                      [row](const PendingEntry& e) { return e.index == row; });
        if (!kept) {
            program.RemoveSampleEntry(row);
            changed = true;
        }
    }

    for (const PendingEntry& e : entries) {
        if (e.index == -1 && program.sampleCount < Program::maxSamples &&
            AddSample(program, e.file, messages)) {
            changed = true;
        }
    }
    return changed;
}

} // namespace velomire::program
