#include "transfer/SamplerContents.h"

#include "program/StereoNames.h"
#include "transfer/SysExDecoder.h"
#include "transfer/families/Family.h"

#include <algorithm>
#include <variant>

namespace velomire::transfer {

ProgramNamesInSampler::ProgramNamesInSampler(const program::Program& program, SamplerFamily family)
    : family(FamilyOf(family)) {
    programName = Normalised(WireName(program.ProgramName(), 0));
    for (int row = 0; row < program.sampleCount; ++row) {
        const program::SampleBlock& sample = program.samples[static_cast<std::size_t>(row)].sample;
        for (const int part : program::PartsOf(sample.sendMode)) {
            sampleNames.insert(Normalised(WireName(program::FieldText(sample.sampleName), part)));
        }
    }
}

bool ProgramNamesInSampler::Matches(const SamplerEntry& entry) const {
    const std::string name = Normalised(entry.name);
    if (name.empty()) {
        return false;
    }
    return entry.kind == SamplerEntry::Kind::program ? name == programName
                                                     : sampleNames.contains(name);
}

// The field of the family, as a send fills it: the name cut, then the part's suffix.
std::string ProgramNamesInSampler::WireName(std::string_view name, int part) const {
    const int chars = family != nullptr ? family->ShownNameChars() : 0;
    return program::PartName(name, part, static_cast<std::size_t>(std::max(chars, 0)));
}

// As the family shows it (Family::ShownName), trailing spaces dropped.
std::string ProgramNamesInSampler::Normalised(std::string_view name) const {
    std::string out = family != nullptr ? family->ShownName(name) : Family::CaseFolded(name);
    while (!out.empty() && out.back() == ' ') {
        out.pop_back();
    }
    return out;
}

std::vector<int> SamplesOfProgram(const DecodedProgram& program,
                                  const std::vector<SamplerEntry>& entries) {
    const auto trimmed = [](std::string name) {
        while (!name.empty() && name.back() == ' ') {
            name.pop_back();
        }
        return name;
    };
    std::vector<int> numbers;
    for (const DecodedFields& keygroup : program.keygroups) {
        for (const DecodedField& field : keygroup) {
            const auto* name = std::get_if<std::string>(&field.value);
            if (name == nullptr || !field.name.ends_with("ampleName") || trimmed(*name).empty()) {
                continue;
            }
            for (const SamplerEntry& entry : entries) {
                if (entry.kind == SamplerEntry::Kind::sample &&
                    trimmed(entry.name) == trimmed(*name) &&
                    std::find(numbers.begin(), numbers.end(), entry.number) == numbers.end()) {
                    numbers.push_back(entry.number);
                }
            }
        }
    }
    return numbers;
}

} // namespace velomire::transfer
