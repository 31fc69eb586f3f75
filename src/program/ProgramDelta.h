#pragma once

#include "program/Program.h"

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

namespace velomire::program {

// What a program file holds of a program: its header and its sample table.
struct StoredProgram {
    ProgramHeader header;
    std::array<SampleEntry, Program::maxSamples> samples{};
    std::int32_t sampleCount = 0;

    static StoredProgram Of(const Program& program);
};

// The difference a change made to a program's stored data: the header when it changed, the row
// count, and each row that differs with its index and both entries. It holds values only, so it
// can be applied again after other changes have come and gone, as an undo history needs.
class ProgramDelta {
public:
    ProgramDelta() = default;
    // From the stored data before a change to the program after it.
    static ProgramDelta Between(const StoredProgram& before, const Program& after);

    bool Empty() const;
    // Gives the program its state after the change (redo) or before it (undo).
    void ApplyAfter(Program& program) const;
    void ApplyBefore(Program& program) const;

private:
    struct Row {
        int index = 0;
        SampleEntry before;
        SampleEntry after;
    };
    struct Header {
        ProgramHeader before;
        ProgramHeader after;
    };

    std::optional<Header> header;
    std::int32_t countBefore = 0;
    std::int32_t countAfter = 0;
    std::vector<Row> rows;
};

} // namespace velomire::program
