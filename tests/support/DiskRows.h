#pragma once

#include "disk/DiskImage.h"
#include "program/Program.h"

#include <cstdint>
#include <string_view>
#include <vector>

namespace velomire::testing {

// Words made up from the row's root key, the part and the position, so that a word read from the
// wrong file or the wrong place shows.
class PatternWords : public disk::SampleWords {
public:
    program::Status Read(const program::SampleEntry& entry, int part,
                         std::vector<std::int16_t>& words) override {
        words.resize(entry.sample.lengthWords);
        for (std::size_t i = 0; i < words.size(); ++i) {
            words[i] = Word(entry.sample.rootKey, part, i);
        }
        ++reads;
        return {};
    }
    static std::int16_t Word(int key, int part, std::size_t i) {
        return static_cast<std::int16_t>(key * 301 + part * 7919 - static_cast<int>(i * 13));
    }
    int reads = 0;
};

// A row as the program keeps it, playing from two keys below its root key to three above; its
// root key also tells its words apart.
inline void AddRow(program::Program& program, std::string_view name, std::int16_t sendMode,
                   std::uint32_t words, std::int16_t rootKey, std::uint32_t rate = 44100) {
    program::SampleEntry& entry = program.samples[static_cast<std::size_t>(program.sampleCount++)];
    program::SampleBlock& sample = entry.sample;
    program::SetFieldText(sample.sampleName, name);
    sample.sendMode = sendMode;
    sample.lengthWords = words;
    sample.endPoint = words - 1;
    sample.rootKey = rootKey;
    sample.headerRate = rate;
    sample.headerValid = 128;
    sample.loopMode = program::loopNone;
    entry.keygroup.lowKey = static_cast<std::int16_t>(rootKey - 2);
    entry.keygroup.highKey = static_cast<std::int16_t>(rootKey + 3);
    entry.keygroup.velocityHigh = 127;
}

} // namespace velomire::testing
