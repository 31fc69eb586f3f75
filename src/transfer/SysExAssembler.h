#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <vector>

namespace velomire::transfer {

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
    void Reset();

    // Messages dropped because they were cut short or too long.
    std::size_t Dropped() const { return dropped; }

private:
    std::size_t limit;
    std::vector<std::uint8_t> current;
    bool inMessage = false;
    bool overflowed = false;
    std::size_t dropped = 0;
};

} // namespace velomire::transfer
