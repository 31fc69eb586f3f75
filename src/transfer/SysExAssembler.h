#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <vector>

namespace velomire::transfer {

// A run of one message's bytes as the assembler hands it out: the whole message, or in pieces
// what arrived of it since its last piece.
struct SysExPiece {
    std::span<const std::uint8_t> bytes;
    bool opens = true;  // starts with the message's F0
    bool closes = true; // ends with its F7
    bool cut = false;   // the message was cut short here (no bytes): its earlier pieces are void
};

// Turns the bytes of an input port, in whatever pieces they come, into whole System Exclusive
// messages (F0 to F7). Real-time bytes (F8 to FF) may sit inside a message and are left out;
// any other status byte ends the message in progress unfinished, and it is dropped. Bytes outside
// a message (notes, clock) are ignored. A message longer than the limit is dropped whole.
class SysExAssembler {
public:
    static constexpr std::size_t defaultLimit = std::size_t{64} * 1024;

    explicit SysExAssembler(std::size_t limit = defaultLimit) : limit(limit) {}

    // Calls `message` with each message completed by these bytes, in order.
    void Feed(std::span<const std::uint8_t> bytes,
              const std::function<void(std::span<const std::uint8_t>)>& message);
    // The same bytes delivered as they come: each completed message, and at the end of the call
    // what has arrived of the message in progress, which the assembler then forgets. Memory stays
    // within one call's bytes however long the message; the limit holds for each piece.
    void FeedPieces(std::span<const std::uint8_t> bytes,
                    const std::function<void(const SysExPiece&)>& piece);
    void Reset();

    // Messages dropped because they were cut short or too long.
    std::size_t Dropped() const { return dropped; }

private:
    void Take(std::span<const std::uint8_t> bytes,
              const std::function<void(const SysExPiece&)>& piece);
    // The message in progress ends without its F7.
    void Cut(const std::function<void(const SysExPiece&)>& piece);

    std::size_t limit;
    std::vector<std::uint8_t> current;
    bool inMessage = false;
    bool overflowed = false;
    bool opened = false; // a piece of the message in progress has been handed out
    std::size_t dropped = 0;
};

} // namespace velomire::transfer
