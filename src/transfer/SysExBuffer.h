#pragma once

#include "transfer/WaitClock.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string_view>
#include <vector>

namespace velomire::transfer {

// Assembles one System Exclusive message (or one piece of a long one) byte by byte, with the
// value encodings of the three sampler families. Every encoding keeps only the low bits of its
// value's two's-complement form, so it only ever appends MIDI data bytes (0x00..0x7F) apart from
// what AppendBytes is given.
//
// The buffer starts with room for 4096 bytes and grows when a message needs more.
class SysExBuffer {
public:
    static constexpr std::size_t initialCapacity = 4096;

    explicit SysExBuffer(WaitClock& clock);
    virtual ~SysExBuffer() = default;
    SysExBuffer(const SysExBuffer&) = delete;
    SysExBuffer& operator=(const SysExBuffer&) = delete;

    // b0 always (its low 8 bits); then b1, b2, b3 in order, each only when not negative.
    void AppendBytes(std::int16_t b0, std::int16_t b1 = -1, std::int16_t b2 = -1,
                     std::int16_t b3 = -1);
    // count bytes of 7 bits each, least significant group first.
    void AppendSevenBit(std::int32_t value, std::int16_t count);
    // count bytes of 4 bits each, low nibble first.
    void AppendNibbles(std::int32_t value, std::int16_t count);
    // count bytes alternating the next 7 bits and the next 1 bit of the value.
    void AppendSplitBytes(std::int32_t value, std::int16_t count);
    // An offset-binary 16-bit sample word as 2 bytes (12 bits kept) or 3 bytes (16 bits).
    void AppendSample12(std::uint16_t word);
    void AppendSample16(std::uint16_t word);
    // The 10-character S900 name (20 bytes) and the 12-character Akai name (24 bytes); a part of
    // 1 or 2 ends the name in "-L" or "-R".
    void AppendS900Name(std::string_view name, int part);
    void AppendAkaiName(std::string_view name, int part);

    void MarkChecksumStart();
    // The XOR of every byte from the checksum start to the end.
    void AppendChecksum();

    // Returns after `ms` milliseconds, sleeping; calls the idle hook at least every 20 ms. Ends
    // early once WaitInterrupted() answers true.
    void WaitMilliseconds(std::int32_t ms);
    void SetIdleHook(std::function<void()> hook) { idleHook = std::move(hook); }
    // The time on the buffer's clock (how long a send took).
    WaitClock::TimePoint Now() { return clock.Now(); }

    std::span<const std::uint8_t> Bytes() const { return bytes; }
    std::size_t Count() const { return bytes.size(); }
    void Clear();

protected:
    // True when waiting on is pointless (the transfer has ended or is being cancelled).
    virtual bool WaitInterrupted() const { return false; }
    WaitClock& Clock() { return clock; }
    const std::function<void()>& IdleHook() const { return idleHook; }

private:
    WaitClock& clock;
    std::function<void()> idleHook;
    std::vector<std::uint8_t> bytes;
    std::size_t checksumStart = 0;
};

// The Akai character code of one character: digits 0-9, space 10, A-Z 11-36 (lower case is
// folded), '#' 37, '+' 38, '-' 39, '.' 40; everything else is sent as '.'.
std::uint8_t AkaiCharCode(char c);

} // namespace velomire::transfer
