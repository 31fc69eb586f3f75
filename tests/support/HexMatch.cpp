#include "support/HexMatch.h"

#include <algorithm>
#include <cstdio>
#include <stdexcept>
#include <string>

namespace velomire::testing {
namespace {

int HexDigit(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

std::string Dump(std::span<const std::uint8_t> bytes, std::size_t from, std::size_t to) {
    std::string out;
    char cell[4];
    for (std::size_t i = from; i < std::min(to, bytes.size()); ++i) {
        std::snprintf(cell, sizeof cell, "%02X ", bytes[i]);
        out += cell;
    }
    return out.empty() ? "(end)" : out;
}

} // namespace

std::vector<std::uint8_t> Hex(std::string_view text) {
    std::vector<std::uint8_t> out;
    int high = -1;
    for (char c : text) {
        const int d = HexDigit(c);
        if (d < 0) {
            if (high >= 0) {
                throw std::invalid_argument("odd hex digit");
            }
            continue;
        }
        if (high < 0) {
            high = d;
        } else {
            out.push_back(static_cast<std::uint8_t>(high * 16 + d));
            high = -1;
        }
    }
    if (high >= 0) {
        throw std::invalid_argument("odd hex digit");
    }
    return out;
}

::testing::AssertionResult BytesEqual(std::span<const std::uint8_t> actual,
                                      std::span<const std::uint8_t> expected) {
    const std::size_t common = std::min(actual.size(), expected.size());
    std::size_t at = 0;
    while (at < common && actual[at] == expected[at]) {
        ++at;
    }
    if (at == common && actual.size() == expected.size()) {
        return ::testing::AssertionSuccess();
    }
    const std::size_t from = at > 4 ? at - 4 : 0;
    return ::testing::AssertionFailure()
           << "bytes differ at offset " << at << " (actual " << actual.size() << " bytes, expected "
           << expected.size() << ")\n  actual   @" << from << ": " << Dump(actual, from, at + 8)
           << "\n  expected @" << from << ": " << Dump(expected, from, at + 8);
}

} // namespace velomire::testing
