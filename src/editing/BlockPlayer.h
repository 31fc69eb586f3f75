#pragma once

// Audio preview: the Loop Editor's player, streaming a region of the editor's mono track to an
// AudioOutput in two alternating blocks of 16384 bytes (8192 frames).
//
// Threading contract
// - Every member function runs on the UI thread: the editor's buttons (OnPlay, OnStop), the
//   choice of a part (SetRegion, SetLooping), its cursor timer (CursorFrame), its closing
//   (Close), and OnBlockFinished.
// - The output reports finished blocks on the audio thread (AudioOutput::BlockFinished). The
//   editor hands those tags over to the UI thread (FinishedBlockQueue, or a queued call) and
//   only there calls OnBlockFinished. Nothing here is touched by the audio thread; what the two
//   threads share lives inside the output (std::atomic counters and a lock-free block ring).

#include "editing/AudioOutput.h"
#include "program/UserMessages.h"

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <utility>
#include <vector>

namespace velomire::editing {

// The fixed text shown when the output cannot be opened, by error code.
std::string_view WaveOutErrorMessage(AudioError code);

class BlockPlayer {
public:
    static constexpr std::int64_t blockBytes = 16384;
    static constexpr std::int64_t blockFrames = blockBytes / 2;

    BlockPlayer(AudioOutput& output, program::UserMessages& messages);
    ~BlockPlayer();
    BlockPlayer(const BlockPlayer&) = delete;
    BlockPlayer& operator=(const BlockPlayer&) = delete;

    // The editor's mono track at its sample rate (Hz). The track stays owned by the editor and
    // must outlive the playback. Closes the device if it was open; the region becomes the whole
    // track, played once.
    void SetTrack(std::span<const std::int16_t> waveform, std::uint32_t sampleRate);
    // The output device index (the settings' waveOutDevice); AudioOutput::defaultDevice (-1)
    // means the system's default output. Takes effect at the next opening.
    void SetDevice(int waveOutDevice);

    // The region of the chosen part: Start and End frames, both inclusive. The rest of the stream
    // becomes this region from its start; a running playback goes on with it after the blocks
    // already queued. Figures outside the track are pulled inside it.
    void SetRegion(int start, int end);
    // The figures of the playing part were edited: while a loop plays, the round under way is
    // finished and the edited region takes over at the next wrap; otherwise like SetRegion.
    void EditRegion(int start, int end);
    // Whether the region refills from Start when it runs out: a loop part in "Normal Looping" or
    // "Loop until release". Read at every refill, so a change of loop mode applies at once. While
    // looping, every block is filled to its 8192 frames with the loop repeated, going on from
    // where the block before stopped.
    void SetLooping(bool loops);

    // "P l a y": restarts the region from its start, opening the device on the first call.
    // Returns true when it plays and the cursor timer should run; false when the device could
    // not be opened (the message has been shown, nothing is kept) or there is nothing to play.
    bool OnPlay();
    // "S t o p": the rest of the region is dropped and the device reset; it stays open. The
    // blocks come back through OnBlockFinished, the last one stopping the cursor.
    void OnStop();
    // Open = true: opens the device if needed and queues the region's first two blocks; false
    // when the device cannot be opened. Open = false: closes the device and frees the blocks.
    bool OpenAndStart(bool open);
    // The editor's finishing steps: stop, reset and close.
    void Close();

    // A block came back (UI thread, with the tag the output reported). Refills it; returns
    // whether the cursor still runs (false once no block is left in the device). Tags of blocks
    // dropped by a restart or a Close are ignored.
    bool OnBlockFinished(std::uint64_t tag);

    // The frame the device is playing, for the cursor timer; none while the cursor is stopped.
    std::optional<std::int64_t> CursorFrame() const;
    bool CursorRunning() const { return cursorRunning; }
    bool IsOpen() const { return output.IsOpen(); }
    int BuffersQueued() const { return buffersQueued; }
    // Whether the two 16384-byte blocks are allocated (only while the device is open).
    bool HoldsBlocks() const { return !blocks[0].empty(); }

private:
    void QueueBlock(int header);
    std::int64_t RegionBytes() const { return (end - start) * 2 + 2; }
    void FreeBlocks();

    AudioOutput& output;
    program::UserMessages& messages;

    std::span<const std::int16_t> waveform;
    std::uint32_t sampleRate = 0;
    int waveOutDevice = AudioOutput::defaultDevice;

    // The region, both ends inclusive; end < start means there is nothing to play.
    std::int64_t start = 0;
    std::int64_t end = -1;
    bool looping = false;
    // An edited loop region waiting for the round under way to end.
    std::optional<std::pair<std::int64_t, std::int64_t>> pendingRegion;

    std::array<std::vector<std::int16_t>, 2> blocks;
    // The tag each block is out with, 0 while it is not in the device.
    std::array<std::uint64_t, 2> outstanding{};
    std::uint64_t nextTag = 0;

    std::int64_t playPosition = 0; // frame the next block starts at
    std::int64_t bytesLeft = 0;    // bytes of the region not yet queued
    int buffersQueued = 0;         // blocks in the device and not yet back

    // The loop a block was filled from: its Start frame and its length in frames, 0 frames for a
    // block of a region played once. A loop's block carries round after round, so its frames
    // run from its start frame to End and on from Start again.
    struct LoopSpan {
        std::int64_t start = 0;
        std::int64_t frames = 0;
    };

    // Start frame, frame count and loop of the two most recently queued blocks, the frames of
    // every block queued before the older one, and the start and loop of the block the device is
    // playing.
    std::int64_t olderStart = 0;
    std::int64_t olderFrames = 0;
    LoopSpan olderLoop;
    std::int64_t newerStart = 0;
    std::int64_t newerFrames = 0;
    LoopSpan newerLoop;
    std::int64_t framesRetired = 0;
    std::int64_t cursorBase = 0;
    LoopSpan cursorLoop;

    bool cursorRunning = false;
    // Stop was pressed and its blocks are on their way back: the played count has restarted
    // from 0, so the cursor has no position to show until the timer stops.
    bool stopping = false;
};

} // namespace velomire::editing
