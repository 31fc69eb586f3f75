#pragma once

#include "program/ByteReader.h"
#include "program/ByteWriter.h"

#include <array>
#include <cstddef>
#include <cstdint>

namespace velomire::program {

// One loop: `at` is the loop's last word and `length` its length in words, both counted from
// soundStart, so its first word is at - length + 1. dwell is in milliseconds, 9999 = hold.
struct LoopSpec {
    std::uint32_t at = 0;
    std::uint32_t length = 0;
    std::uint32_t dwell = 0;
    bool operator==(const LoopSpec&) const = default;
};

// Send modes: which channels of the file are sent, and as how many sampler samples.
enum SendMode : std::int16_t { sendMono = 0, sendLeft = 1, sendRight = 2, sendStereo = 3 };

// Loop modes as the samplers number them.
enum LoopMode : std::int16_t { loopNormal = 0, loopUntilRelease = 1, loopNone = 2, loopToEnd = 3 };

// The sound of one program row, stored byte for byte (232 bytes) in the program file. Lengths,
// points and loops count words (frames of one channel). 16-bit fields are signed except bits
// and channels.
struct SampleBlock {
    static constexpr std::size_t size = 232;
    static constexpr std::size_t loopSlots = 8; // loops 0-3 are edited and sent, 4-7 only stored

    std::array<char, 40> fileName{}; // relative to the program directory, at most 39 characters
    std::uint16_t bits = 0;
    std::uint16_t channels = 0;
    std::uint32_t sampleRate = 0;     // Hz
    std::uint32_t samplePeriodNs = 0; // ns
    std::uint32_t frameCount = 0;
    std::uint32_t soundStart = 0; // first frame of the kept sound
    std::uint32_t soundEnd = 0;   // last frame of the kept sound
    std::uint32_t s900RightLoopShift = 0;
    std::int16_t sendMode = sendMono;
    std::uint8_t dataSent = 0;
    std::uint8_t padding1 = 0;
    std::array<std::int16_t, 3> samplerSampleNumber{}; // per part: mono/mix, left, right
    std::int16_t bandwidth = 0;
    std::int16_t rootKey = 0; // note number at which the sample sounds at its recorded pitch
    std::array<char, 20> sampleName{}; // at most 12 characters are used
    std::int16_t headerValid = 0;
    std::int16_t loopCount = 0;
    std::int16_t loopMode = loopNone;
    std::int32_t tuneOffset = 0; // 1/256 semitone; only the low 16 bits are sent
    std::uint32_t waveAddress = 0;
    std::uint32_t lengthWords = 0; // always even
    std::uint32_t startPoint = 0;
    std::uint32_t endPoint = 0;
    std::array<std::uint32_t, loopSlots> loopAt{};
    std::array<std::uint32_t, loopSlots> loopLength{};
    std::array<std::uint32_t, loopSlots> loopDwell{};
    std::uint32_t headerRate = 0; // Hz, as sent in the sample headers
    std::int16_t headerSpare = 0;
    std::array<std::uint8_t, 2> padding2{};

    LoopSpec Loop(std::size_t index) const {
        return {loopAt[index], loopLength[index], loopDwell[index]};
    }
    void SetLoop(std::size_t index, const LoopSpec& loop) {
        loopAt[index] = loop.at;
        loopLength[index] = loop.length;
        loopDwell[index] = loop.dwell;
    }

    void Read(ByteReader& in);
    void Write(ByteWriter& out) const;
    bool operator==(const SampleBlock&) const = default;
};

static_assert(offsetof(SampleBlock, bits) == 40);
static_assert(offsetof(SampleBlock, channels) == 42);
static_assert(offsetof(SampleBlock, sampleRate) == 44);
static_assert(offsetof(SampleBlock, samplePeriodNs) == 48);
static_assert(offsetof(SampleBlock, frameCount) == 52);
static_assert(offsetof(SampleBlock, soundStart) == 56);
static_assert(offsetof(SampleBlock, soundEnd) == 60);
static_assert(offsetof(SampleBlock, s900RightLoopShift) == 64);
static_assert(offsetof(SampleBlock, sendMode) == 68);
static_assert(offsetof(SampleBlock, dataSent) == 70);
static_assert(offsetof(SampleBlock, samplerSampleNumber) == 72);
static_assert(offsetof(SampleBlock, bandwidth) == 78);
static_assert(offsetof(SampleBlock, rootKey) == 80);
static_assert(offsetof(SampleBlock, sampleName) == 82);
static_assert(offsetof(SampleBlock, headerValid) == 102);
static_assert(offsetof(SampleBlock, loopCount) == 104);
static_assert(offsetof(SampleBlock, loopMode) == 106);
static_assert(offsetof(SampleBlock, tuneOffset) == 108);
static_assert(offsetof(SampleBlock, waveAddress) == 112);
static_assert(offsetof(SampleBlock, lengthWords) == 116);
static_assert(offsetof(SampleBlock, startPoint) == 120);
static_assert(offsetof(SampleBlock, endPoint) == 124);
static_assert(offsetof(SampleBlock, loopAt) == 128);
static_assert(offsetof(SampleBlock, loopLength) == 160);
static_assert(offsetof(SampleBlock, loopDwell) == 192);
static_assert(offsetof(SampleBlock, headerRate) == 224);
static_assert(offsetof(SampleBlock, headerSpare) == 228);
static_assert(sizeof(SampleBlock) == SampleBlock::size);

} // namespace velomire::program
