#pragma once

// Audio preview: the output device seen by the players.
//
// Threading contract
// - UI thread: every member function of AudioOutput (DeviceNames, SetBlockFinished, Open, Queue,
//   Reset, SamplesPlayed, Close) and everything in BlockPlayer and WavFilePlayer.
// - Audio callback thread (the device's own): the adapter's rendering and the BlockFinished
//   handler, which the adapter calls there. The handler must not block, allocate or throw; it
//   hands the tag over to the UI thread (FinishedBlockQueue is a lock-free way to do that), where
//   the player's OnBlockFinished is called with it.
// - Shared between the two: the queued blocks and the played-sample count, held in std::atomic
//   indices and counters (see BlockStream). Nothing the audio thread does ever waits for the UI.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <utility>
#include <vector>

namespace velomire::editing {

// Why a device could not be opened or used. The player turns each code into its fixed message
// ("WaveOut error: ..."); the adapter's own words are kept in AudioStatus::text for tests and
// diagnostics only.
enum class AudioError {
    None,
    BadDeviceId, // no device with that index
    Allocated,   // the device is busy (held by another program) or cannot be opened for output
    NoDriver,    // no audio system or no output device at all
    NoMemory,    // memory for the stream or its blocks could not be obtained
    BadFormat,   // the device cannot play 16-bit PCM at the asked rate
    Sync,  // the device only plays synchronously (kept for the full table; no adapter uses it)
    Other, // anything else
};

struct AudioStatus {
    AudioError code = AudioError::None;
    std::string text;

    explicit operator bool() const { return code == AudioError::None; }
    static AudioStatus Error(AudioError code, std::string text = {}) {
        return {code, std::move(text)};
    }
};

// The highest sample rate asked of a device, in Hz; a rate beyond it is a broken sample header.
inline constexpr std::uint32_t maxOutputRate = 768000;

// A wave output device taking 16-bit mono PCM in blocks. Each queued block is played in order
// right after the one before it (no gap while the next block is queued in time) and is then
// reported back as finished with the tag it was queued with.
class AudioOutput {
public:
    // Called on the audio thread (see the threading contract above) once per finished block.
    using BlockFinished = std::function<void(std::uint64_t tag)>;

    // The index that asks for the system's default output device instead of a listed one.
    static constexpr int defaultDevice = -1;
    // The largest block Queue takes: 16384 bytes.
    static constexpr std::size_t maxBlockFrames = 8192;

    virtual ~AudioOutput() = default;

    // Readable names of the output devices; a device's index is its position in this list. The
    // list is taken again on every call; Open refers to the last one taken.
    virtual std::vector<std::string> DeviceNames() = 0;

    // Where finished blocks are reported. Set it while the output is closed.
    void SetBlockFinished(BlockFinished handler) { blockFinished = std::move(handler); }

    // Opens device `device` (or the default device for defaultDevice) for 16-bit mono PCM at
    // `rate` Hz and starts it; it plays silence until blocks arrive. Closes a previous opening.
    virtual AudioStatus Open(int device, std::uint32_t rate) = 0;
    virtual bool IsOpen() const = 0;

    // Copies the frames (1 to maxBlockFrames) into the output's own queue, so the caller's
    // buffer may be reused at once. At most four blocks wait in the queue, finished or dropped
    // ones not yet counted.
    virtual AudioStatus Queue(std::uint64_t tag, std::span<const std::int16_t> frames) = 0;

    // Stops playback at once: every queued block is dropped and reported as finished (on the
    // audio thread, shortly after), and the played count starts again from 0. Blocks queued
    // after the call play normally.
    virtual void Reset() = 0;

    // Frames played since the last Reset (or since Open).
    virtual std::uint64_t SamplesPlayed() const = 0;

    // Stops and closes the device. Blocks still queued are not reported; once Close has
    // returned the handler is never called again.
    virtual void Close() = 0;

protected:
    BlockFinished blockFinished;
};

} // namespace velomire::editing
