#include "transfer/SamplerMemory.h"

#include "transfer/families/Family.h"

namespace velomire::transfer {

namespace {

template <typename Item> void Renumber(std::map<int, Item>& held) {
    std::map<int, Item> renumbered;
    int next = 0;
    for (auto& [number, item] : held) {
        item.number = next;
        renumbered.emplace(next++, std::move(item));
    }
    held = std::move(renumbered);
}

template <typename Item> int Slot(const std::map<int, Item>& held, int number, bool byPosition) {
    return byPosition && number >= static_cast<int>(held.size()) ? static_cast<int>(held.size())
                                                                 : number;
}

template <typename Item> bool Erase(std::map<int, Item>& held, int number, bool byPosition) {
    if (held.erase(number) == 0) {
        return false;
    }
    if (byPosition) {
        Renumber(held);
    }
    return true;
}

} // namespace

void SamplerMemory::NumberByPosition() {
    byPosition = true;
    Renumber(samples);
    Renumber(programs);
}

int SamplerMemory::SampleSlot(int number) const {
    return Slot(samples, number, byPosition);
}

int SamplerMemory::ProgramSlot(int number) const {
    return Slot(programs, number, byPosition);
}

void SamplerMemory::Keep(DecodedSample sample) {
    sample.number = SampleSlot(sample.number);
    const int number = sample.number;
    samples[number] = std::move(sample);
}

void SamplerMemory::Keep(DecodedProgram program) {
    program.number = ProgramSlot(program.number);
    const int number = program.number;
    programs[number] = std::move(program);
}

bool SamplerMemory::EraseSample(int number) {
    return Erase(samples, number, byPosition);
}

bool SamplerMemory::EraseProgram(int number) {
    return Erase(programs, number, byPosition);
}

std::unique_ptr<RequestResponder> MakeRequestResponder(std::int32_t model, SamplerMemory& memory,
                                                       const SendFaults& faults) {
    const Family* family = FamilyOf(model);
    return family != nullptr ? family->MakeResponder(model, memory, faults) : nullptr;
}

} // namespace velomire::transfer
