#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

namespace velomire::testing {

// "F0 7E 00" -> {0xF0, 0x7E, 0x00}; blanks and newlines between bytes are ignored.
std::vector<std::uint8_t> Hex(std::string_view text);

// Compares bytes and, on a difference, names the first differing offset with a few bytes of
// context on each side. Use as EXPECT_TRUE(BytesEqual(actual, Hex("...")));
::testing::AssertionResult BytesEqual(std::span<const std::uint8_t> actual,
                                      std::span<const std::uint8_t> expected);

} // namespace velomire::testing
