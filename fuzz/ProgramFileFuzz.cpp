// Loads arbitrary bytes as a program file, then reads every text field the way the list view and
// the senders do, and stores the program again: none of it may read outside its buffers.
#include "program/ProgramFile.h"

#include <cstddef>
#include <cstdint>
#include <memory>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace velomire::program;
    static auto program = std::make_unique<Program>();
    if (!ProgramFile::Load(std::span(data, size), *program)) {
        return 0;
    }
    std::size_t total = program->ProgramName().size();
    for (int i = 0; i < program->sampleCount; ++i) {
        const SampleBlock& s = program->samples[static_cast<std::size_t>(i)].sample;
        total += FieldText(s.fileName).size() + FieldText(s.sampleName).size();
    }
    const auto stored = ProgramFile::Store(*program);
    if (stored.size() !=
            ProgramFile::emptySize +
                ProgramFile::rowSize * static_cast<std::size_t>(program->sampleCount) ||
        total > 100 * 41) {
        __builtin_trap();
    }
    return 0;
}
