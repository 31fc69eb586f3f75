#include "program/ProgramDelta.h"

namespace velomire::program {

StoredProgram StoredProgram::Of(const Program& program) {
    return {program.header, program.samples, program.sampleCount};
}

ProgramDelta ProgramDelta::Between(const StoredProgram& before, const Program& after) {
    ProgramDelta delta;
    if (!(before.header == after.header)) {
        delta.header = Header{before.header, after.header};
    }
    delta.countBefore = before.sampleCount;
    delta.countAfter = after.sampleCount;
    // Every slot, also those past the count, so undo gives back the very same memory image.
    for (std::size_t i = 0; i < before.samples.size(); ++i) {
        if (!(before.samples[i] == after.samples[i])) {
            delta.rows.push_back({static_cast<int>(i), before.samples[i], after.samples[i]});
        }
    }
    return delta;
}

bool ProgramDelta::Empty() const {
    return !header && countBefore == countAfter && rows.empty();
}

void ProgramDelta::ApplyAfter(Program& program) const {
    if (header) {
        program.header = header->after;
    }
    for (const Row& row : rows) {
        program.samples[static_cast<std::size_t>(row.index)] = row.after;
    }
    program.sampleCount = countAfter;
}

void ProgramDelta::ApplyBefore(Program& program) const {
    if (header) {
        program.header = header->before;
    }
    for (const Row& row : rows) {
        program.samples[static_cast<std::size_t>(row.index)] = row.before;
    }
    program.sampleCount = countBefore;
}

} // namespace velomire::program
