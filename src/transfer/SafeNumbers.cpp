#include "transfer/SafeNumbers.h"

#include "transfer/DumpText.h"

#include <cstddef>

namespace velomire::transfer {
namespace {

// Past this many samples the warning counts the rest: the dialog stays a dialog.
constexpr std::size_t namedSamples = 6;

bool RunIsFree(const std::map<std::int32_t, std::string>& used, std::int32_t first,
               std::int32_t count) {
    const auto next = used.lower_bound(first);
    return next == used.end() || next->first >= first + count;
}

std::string Named(std::int32_t number, const std::string& name) {
    std::string text = std::to_string(number);
    if (!name.empty()) {
        text += " \"" + EscapedDumpText(name) + "\"";
    }
    return text;
}

} // namespace

NumbersInUse NumbersInUse::From(const std::vector<SamplerEntry>& entries) {
    NumbersInUse inUse;
    for (const SamplerEntry& entry : entries) {
        auto& numbers = entry.kind == SamplerEntry::Kind::program ? inUse.programs : inUse.samples;
        numbers.emplace(entry.number, entry.name);
    }
    return inUse;
}

std::optional<FreeNumbers> FirstFreeNumbers(const NumbersInUse& inUse, const SendShape& shape,
                                            std::int32_t programLimit, std::int32_t sampleLimit) {
    FreeNumbers free;
    // Every number taken lies below the next candidate, so each search ends after at most one
    // step per number in use.
    if (shape.withProgram) {
        while (inUse.programs.contains(free.programs)) {
            ++free.programs;
        }
        if (free.programs >= programLimit) {
            return std::nullopt;
        }
    }
    const std::int32_t parts = std::max<std::int32_t>(shape.sampleParts, 1);
    while (!RunIsFree(inUse.samples, free.samples, parts)) {
        const auto blocking = inUse.samples.lower_bound(free.samples);
        free.samples = blocking->first + 1;
    }
    if (free.samples >= sampleLimit) {
        return std::nullopt;
    }
    return free;
}

std::string OverwriteWarning(const NumbersInUse& inUse, const SendShape& shape,
                             std::int32_t programNumber, std::int32_t sampleNumber) {
    std::string program;
    if (shape.withProgram) {
        if (const auto found = inUse.programs.find(programNumber); found != inUse.programs.end()) {
            program = "program " + Named(found->first, found->second);
        }
    }
    std::string samples;
    std::size_t count = 0;
    const auto end = inUse.samples.lower_bound(sampleNumber + shape.sampleParts);
    for (auto it = inUse.samples.lower_bound(sampleNumber); it != end; ++it, ++count) {
        if (count < namedSamples) {
            samples += (count == 0 ? "" : ", ") + Named(it->first, it->second);
        }
    }
    if (count > namedSamples) {
        samples += " and " + std::to_string(count - namedSamples) + " more";
    }
    if (count > 0) {
        samples = (count == 1 ? "sample " : "samples ") + samples;
    }
    if (program.empty() && samples.empty()) {
        return {};
    }
    const std::string both = program.empty()   ? samples
                             : samples.empty() ? program
                                               : program + " and " + samples;
    return "This send overwrites " + both + " in the sampler.";
}

} // namespace velomire::transfer
