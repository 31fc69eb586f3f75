#include "editing/BlockStream.h"

#include <algorithm>

namespace velomire::editing {

namespace {

// 16-bit PCM to the float range -1 to below 1; exact for every 16-bit value.
constexpr float pcmScale = 1.0f / 32768.0f;

} // namespace

BlockStream::BlockStream(std::uint32_t sampleRate, std::uint32_t deviceRate)
    : step(deviceRate == 0 ? 1.0 : static_cast<double>(sampleRate) / deviceRate) {}

bool BlockStream::Queue(std::uint64_t tag, std::span<const std::int16_t> frames) {
    if (frames.empty() || frames.size() > maxBlockFrames || Full()) {
        return false;
    }
    const std::uint64_t index = published.load(std::memory_order_relaxed);
    Slot& slot = slots[index % slotCount];
    slot.tag = tag;
    slot.generation = resets.load(std::memory_order_relaxed);
    slot.frames = frames.size();
    std::copy(frames.begin(), frames.end(), slot.data.begin());
    // Publishing the index hands the slot to the audio thread.
    published.store(index + 1, std::memory_order_release);
    return true;
}

bool BlockStream::Full() const {
    // The slot of a retired block is free again once its retirement is seen.
    return published.load(std::memory_order_relaxed) - retired.load(std::memory_order_acquire) >=
           slotCount;
}

void BlockStream::Reset() {
    resets.fetch_add(1, std::memory_order_release);
}

std::uint64_t BlockStream::SamplesPlayed() const {
    // Until Render has carried out the last Reset, the count still holds frames from before it.
    if (resetsDone.load(std::memory_order_acquire) != resets.load(std::memory_order_relaxed)) {
        return 0;
    }
    return played.load(std::memory_order_relaxed);
}

const BlockStream::Slot* BlockStream::Playable(std::uint64_t index, std::uint64_t publishedCount,
                                               std::uint64_t generation) const {
    if (index >= publishedCount) {
        return nullptr;
    }
    const Slot& slot = slots[index % slotCount];
    // A block queued after a Reset this Render has not seen yet waits for the next Render, so
    // the frames it plays are counted after the count has gone back to 0.
    return slot.generation <= generation ? &slot : nullptr;
}

void BlockStream::Retire(const AudioOutput::BlockFinished& finished) {
    const std::uint64_t index = retired.load(std::memory_order_relaxed);
    const std::uint64_t tag = slots[index % slotCount].tag;
    offset = 0;
    // The slot is free from here on; the report may make the UI queue into it at once.
    retired.store(index + 1, std::memory_order_release);
    if (finished) {
        finished(tag);
    }
}

void BlockStream::Render(std::span<float> out, unsigned channels,
                         const AudioOutput::BlockFinished& finished) {
    channels = std::max(channels, 1u);
    const std::uint64_t generation = resets.load(std::memory_order_acquire);
    const std::uint64_t publishedCount = published.load(std::memory_order_acquire);
    std::uint64_t count = played.load(std::memory_order_relaxed);

    if (resetsDone.load(std::memory_order_relaxed) != generation) {
        while (retired.load(std::memory_order_relaxed) < publishedCount &&
               slots[retired.load(std::memory_order_relaxed) % slotCount].generation < generation) {
            Retire(finished);
        }
        phase = 0.0;
        count = 0;
        played.store(0, std::memory_order_relaxed);
        resetsDone.store(generation, std::memory_order_release);
    }

    const std::size_t frames = out.size() / channels;
    std::size_t written = 0;
    while (written < frames) {
        const std::uint64_t head = retired.load(std::memory_order_relaxed);
        const Slot* slot = Playable(head, publishedCount, generation);
        if (slot == nullptr) {
            phase = 0.0;
            break;
        }
        const std::int16_t current = slot->data[offset];
        std::int16_t next = current;
        if (offset + 1 < slot->frames) {
            next = slot->data[offset + 1];
        } else if (const Slot* following = Playable(head + 1, publishedCount, generation)) {
            next = following->data[0];
        }
        const float value =
            static_cast<float>(current + phase * (static_cast<double>(next) - current)) * pcmScale;
        std::fill_n(out.begin() + static_cast<std::ptrdiff_t>(written * channels), channels, value);
        ++written;

        phase += step;
        while (phase >= 1.0) {
            phase -= 1.0;
            ++count;
            if (++offset == slot->frames) {
                Retire(finished);
                slot =
                    Playable(retired.load(std::memory_order_relaxed), publishedCount, generation);
                if (slot == nullptr) {
                    break;
                }
            }
        }
    }
    std::fill(out.begin() + static_cast<std::ptrdiff_t>(written * channels), out.end(), 0.0f);
    played.store(count, std::memory_order_relaxed);
}

} // namespace velomire::editing
