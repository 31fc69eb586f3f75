#pragma once

#include "editing/AudioOutput.h"

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <span>

namespace velomire::editing {

// The queue between the UI thread and an audio device's callback: a fixed ring of four block
// slots, each holding up to 8192 frames of 16-bit mono PCM, and the renderer that turns them
// into the device's float frames. Adapters own one per open stream.
//
// Threading: Queue, Reset, SamplesPlayed and Full run on the UI thread (the single producer);
// Render runs on the audio thread (the single consumer). They share only std::atomic indices
// and counters; Render takes no lock, allocates nothing and never waits.
//
// When the device runs at another rate than the sample, Render converts with linear
// interpolation; SamplesPlayed always counts frames of the sample.
class BlockStream {
public:
    static constexpr std::size_t slotCount = 4;
    static constexpr std::size_t maxBlockFrames = AudioOutput::maxBlockFrames;

    BlockStream(std::uint32_t sampleRate, std::uint32_t deviceRate);
    BlockStream(const BlockStream&) = delete;
    BlockStream& operator=(const BlockStream&) = delete;

    // UI thread. Copies the frames into the next free slot; false when all four slots are in use
    // (or the block is empty or longer than maxBlockFrames).
    bool Queue(std::uint64_t tag, std::span<const std::int16_t> frames);
    // UI thread. Every block queued before this call is dropped by the next Render, which
    // reports it as finished; SamplesPlayed reads 0 from now on until new frames are played.
    void Reset();
    // UI thread. Frames of the sample played since the last Reset.
    std::uint64_t SamplesPlayed() const;
    // UI thread. True when Queue would refuse for want of a slot.
    bool Full() const;

    // Audio thread. Fills `out` (interleaved, `channels` per frame, every channel the same) from
    // the queued blocks, silence where there are none, and reports each block whose last frame
    // has gone out, or that a Reset dropped, through `finished`, in queue order.
    void Render(std::span<float> out, unsigned channels,
                const AudioOutput::BlockFinished& finished);

private:
    struct Slot {
        std::uint64_t tag = 0;
        // The Reset count when the block was queued: a later Reset drops it.
        std::uint64_t generation = 0;
        std::size_t frames = 0;
        std::array<std::int16_t, maxBlockFrames> data{};
    };

    // Audio thread: the block at queue position `index`, when it may be played now.
    const Slot* Playable(std::uint64_t index, std::uint64_t published,
                         std::uint64_t generation) const;
    // Audio thread: retires the front block and reports it.
    void Retire(const AudioOutput::BlockFinished& finished);

    std::array<Slot, slotCount> slots;

    // Blocks queued so far (written by the UI thread) and blocks finished or dropped so far
    // (written by the audio thread); the slot of block n is slots[n % slotCount].
    std::atomic<std::uint64_t> published{0};
    std::atomic<std::uint64_t> retired{0};
    // Resets asked for (UI thread) and the last one Render has carried out (audio thread).
    std::atomic<std::uint64_t> resets{0};
    std::atomic<std::uint64_t> resetsDone{0};
    // Frames of the sample played since the last Reset (audio thread).
    std::atomic<std::uint64_t> played{0};

    // Audio thread only.
    double step;        // sample frames per device frame
    double phase = 0.0; // position between the current frame and the next, 0 to below 1
    std::size_t offset = 0;
};

} // namespace velomire::editing
