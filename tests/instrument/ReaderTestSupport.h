#pragma once

#include "instrument/devices/InstrumentFiles.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

// What the tests of the readers of instrument files share.
namespace velomire::test {

// `frames` words rising in steps of 100 from -3000: every word of a sound told apart.
inline std::vector<std::int16_t> Ramp(int frames) {
    std::vector<std::int16_t> words;
    for (int i = 0; i < frames; ++i)
        words.push_back(static_cast<std::int16_t>(i * 100 - 3000));
    return words;
}

// The first instrument of `path`, read as Import instrument reads it; a refusal fails the test.
inline instrument::Instrument ReadFirst(const std::filesystem::path& path) {
    std::string error;
    auto read = instrument::ReadInstrument(path, {}, error);
    EXPECT_TRUE(read) << error;
    return read.value_or(instrument::Instrument{});
}

} // namespace velomire::test
