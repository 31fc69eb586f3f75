#include "transfer/SamplerContents.h"

#include "transfer/SendCommand.h"
#include "transfer/SysExBuffer.h"
#include "transfer/SysExDecoder.h"

#include <algorithm>
#include <variant>

namespace velomire::transfer {

ProgramNamesInSampler::ProgramNamesInSampler(const program::Program& program, SamplerFamily family)
    : family(family) {
    programName = Normalised(WireName(program.ProgramName(), 0));
    for (int row = 0; row < program.sampleCount; ++row) {
        const program::SampleBlock& sample = program.samples[static_cast<std::size_t>(row)].sample;
        for (const int part : SendCommand::PartsOf(sample.sendMode)) {
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

// The field of the family, as SysExBuffer fills it: the name cut, then the part's suffix.
std::string ProgramNamesInSampler::WireName(std::string_view name, int part) const {
    const std::size_t width = family == SamplerFamily::s900    ? 10
                              : family == SamplerFamily::s1000 ? 12
                                                               : name.size();
    std::string field(std::max(width, std::size_t{2}), ' ');
    std::copy_n(name.begin(), std::min(name.size(), width), field.begin());
    if (part > 0 && family != SamplerFamily::sds) {
        field[field.size() - 2] = '-';
        field.back() = part == 1 ? 'L' : 'R';
    } else if (part > 0) {
        field += part == 1 ? "-L" : "-R";
    }
    return field;
}

// Trailing spaces dropped; Akai names through the sampler's character set (upper case, '.' for
// what it cannot show); other names compared without regard to letter case.
std::string ProgramNamesInSampler::Normalised(std::string_view name) const {
    std::string out;
    for (const char c : name) {
        if (family == SamplerFamily::s1000) {
            out += AkaiChar(AkaiCharCode(c));
        } else {
            out += (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
        }
    }
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
