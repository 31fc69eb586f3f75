#include "transfer/SysExBuffer.h"

#include "program/StereoNames.h"

#include <algorithm>
#include <array>
#include <chrono>

namespace velomire::transfer {

namespace {

// Shifts the two's-complement bits of a value right by `bits`, filling with its sign bit, so
// that counts wider than 32 bits go on sending the sign (0 or all ones) instead of hitting an
// out-of-range shift.
std::uint32_t ShiftRightSigned(std::uint32_t rest, int bits) {
    const bool negative = (rest & 0x80000000u) != 0;
    rest >>= bits;
    if (negative) {
        rest |= ~(0xFFFFFFFFu >> bits);
    }
    return rest;
}

std::uint8_t Low8(std::int16_t value) {
    return static_cast<std::uint8_t>(static_cast<std::uint16_t>(value) & 0xFFu);
}

} // namespace

SysExBuffer::SysExBuffer(WaitClock& clock) : clock(clock) {
    bytes.reserve(initialCapacity);
}

void SysExBuffer::AppendBytes(std::int16_t b0, std::int16_t b1, std::int16_t b2, std::int16_t b3) {
    bytes.push_back(Low8(b0));
    for (std::int16_t b : {b1, b2, b3}) {
        if (b >= 0) {
            bytes.push_back(Low8(b));
        }
    }
}

void SysExBuffer::AppendSevenBit(std::int32_t value, std::int16_t count) {
    auto rest = static_cast<std::uint32_t>(value);
    for (int i = 0; i < count; ++i) {
        bytes.push_back(static_cast<std::uint8_t>(rest & 0x7Fu));
        rest = ShiftRightSigned(rest, 7);
    }
}

void SysExBuffer::AppendNibbles(std::int32_t value, std::int16_t count) {
    auto rest = static_cast<std::uint32_t>(value);
    for (int i = 0; i < count; ++i) {
        bytes.push_back(static_cast<std::uint8_t>(rest & 0x0Fu));
        rest = ShiftRightSigned(rest, 4);
    }
}

void SysExBuffer::AppendSplitBytes(std::int32_t value, std::int16_t count) {
    auto rest = static_cast<std::uint32_t>(value);
    for (int i = 0; i < count; ++i) {
        // Even positions carry the low 7 bits of the next value byte, odd ones its top bit.
        const int width = i % 2 == 0 ? 7 : 1;
        bytes.push_back(static_cast<std::uint8_t>(rest & ((1u << width) - 1u)));
        rest = ShiftRightSigned(rest, width);
    }
}

void SysExBuffer::AppendSample12(std::uint16_t word) {
    bytes.push_back(static_cast<std::uint8_t>(word >> 9));
    bytes.push_back(static_cast<std::uint8_t>(((word >> 4) & 0x1Fu) << 2));
}

void SysExBuffer::AppendSample16(std::uint16_t word) {
    bytes.push_back(static_cast<std::uint8_t>(word >> 9));
    bytes.push_back(static_cast<std::uint8_t>((word >> 2) & 0x7Fu));
    bytes.push_back(static_cast<std::uint8_t>((word & 0x03u) << 5));
}

void SysExBuffer::AppendS900Name(std::string_view name, int part) {
    for (const char c : program::PartName(name, part, 10)) {
        const auto byte = static_cast<unsigned char>(c);
        bytes.push_back(static_cast<std::uint8_t>(byte & 0x7Fu));
        bytes.push_back(static_cast<std::uint8_t>(byte >> 7));
    }
}

void SysExBuffer::AppendAkaiName(std::string_view name, int part) {
    for (const char c : program::PartName(name, part, 12)) {
        AppendNibbles(AkaiCharCode(c), 2);
    }
}

void SysExBuffer::MarkChecksumStart() {
    checksumStart = bytes.size();
}

void SysExBuffer::AppendChecksum() {
    std::uint8_t sum = 0;
    for (std::size_t i = std::min(checksumStart, bytes.size()); i < bytes.size(); ++i) {
        sum ^= bytes[i];
    }
    bytes.push_back(sum);
}

void SysExBuffer::WaitMilliseconds(std::int32_t ms) {
    SleepFor(clock, std::chrono::milliseconds(ms), idleHook, [this] { return WaitInterrupted(); });
}

void SysExBuffer::Clear() {
    bytes.clear();
    checksumStart = 0;
}

std::uint8_t AkaiCharCode(char c) {
    // Compared as plain ASCII ranges: std::toupper is undefined for the negative values a
    // signed char takes above 0x7F, and the result must not depend on the locale.
    if (c >= '0' && c <= '9') {
        return static_cast<std::uint8_t>(c - '0');
    }
    if (c >= 'A' && c <= 'Z') {
        return static_cast<std::uint8_t>(c - 'A' + 11);
    }
    if (c >= 'a' && c <= 'z') {
        return static_cast<std::uint8_t>(c - 'a' + 11);
    }
    switch (c) {
    case ' ':
        return 10;
    case '#':
        return 37;
    case '+':
        return 38;
    case '-':
        return 39;
    default:
        return 40; // '.' and every character the sampler cannot show
    }
}

} // namespace velomire::transfer
