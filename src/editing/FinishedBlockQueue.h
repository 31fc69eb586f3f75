#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <optional>

namespace velomire::editing {

// Carries the tags of finished blocks from the audio thread to the UI thread without a lock:
// the output's BlockFinished handler calls Push (audio thread, the single producer), the UI
// thread calls Pop (the single consumer) from a short timer, or after being woken, and hands
// each tag to the player's OnBlockFinished.
//
// At most four blocks wait in an output and each is reported once, so 64 places are never all
// taken while the UI thread keeps draining; Push refuses rather than overwrite when they are.
class FinishedBlockQueue {
public:
    static constexpr std::size_t capacity = 64;

    // Audio thread.
    bool Push(std::uint64_t tag) {
        const std::size_t tail = writeIndex.load(std::memory_order_relaxed);
        if (tail - readIndex.load(std::memory_order_acquire) >= capacity) {
            return false;
        }
        tags[tail % capacity] = tag;
        writeIndex.store(tail + 1, std::memory_order_release);
        return true;
    }

    // UI thread.
    std::optional<std::uint64_t> Pop() {
        const std::size_t head = readIndex.load(std::memory_order_relaxed);
        if (head == writeIndex.load(std::memory_order_acquire)) {
            return std::nullopt;
        }
        const std::uint64_t tag = tags[head % capacity];
        readIndex.store(head + 1, std::memory_order_release);
        return tag;
    }

private:
    std::array<std::uint64_t, capacity> tags{};
    std::atomic<std::size_t> writeIndex{0};
    std::atomic<std::size_t> readIndex{0};
};

} // namespace velomire::editing
