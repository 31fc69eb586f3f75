#include "editing/BlockPlayer.h"

#include <algorithm>
#include <limits>
#include <new>
#include <tuple>

namespace velomire::editing {

namespace {

using program::appCaption;

} // namespace

std::string_view WaveOutErrorMessage(AudioError code) {
    switch (code) {
    case AudioError::BadDeviceId:
        return "WaveOut error: Specified device identifier is out of range";
    case AudioError::Allocated:
        return "WaveOut error: Specified resource is already allocated";
    case AudioError::NoDriver:
        return "WaveOut error: No device driver is present";
    case AudioError::NoMemory:
        return "WaveOut error: Unable to allocate or lock memory";
    case AudioError::BadFormat:
        return "WaveOut error: Attempted to open with an unsupported waveform-audio format";
    case AudioError::Sync:
        return "WaveOut error: The device is synchronous";
    case AudioError::None:
    case AudioError::Other:
        break;
    }
    return "Error, can't open Wave out device";
}

BlockPlayer::BlockPlayer(AudioOutput& output, program::UserMessages& messages)
    : output(output), messages(messages) {}

BlockPlayer::~BlockPlayer() {
    if (output.IsOpen()) {
        Close();
    }
}

void BlockPlayer::SetTrack(std::span<const std::int16_t> track, std::uint32_t rate) {
    if (output.IsOpen()) {
        Close();
    }
    waveform = track;
    sampleRate = rate;
    looping = false;
    const auto last = static_cast<std::int64_t>(waveform.size()) - 1;
    SetRegion(0, static_cast<int>(std::min<std::int64_t>(last, std::numeric_limits<int>::max())));
}

void BlockPlayer::SetDevice(int device) {
    waveOutDevice = device;
}

void BlockPlayer::SetRegion(int first, int last) {
    const auto lastFrame = static_cast<std::int64_t>(waveform.size()) - 1;
    start = std::clamp<std::int64_t>(first, 0, std::max<std::int64_t>(lastFrame, 0));
    end = std::clamp<std::int64_t>(last, -1, lastFrame);
    pendingRegion.reset();
    playPosition = start;
    bytesLeft = end >= start ? RegionBytes() : 0;
}

void BlockPlayer::EditRegion(int first, int last) {
    if (!(cursorRunning && looping && bytesLeft > 0)) {
        SetRegion(first, last);
        return;
    }
    const auto lastFrame = static_cast<std::int64_t>(waveform.size()) - 1;
    pendingRegion = {std::clamp<std::int64_t>(first, 0, std::max<std::int64_t>(lastFrame, 0)),
                     std::clamp<std::int64_t>(last, -1, lastFrame)};
}

void BlockPlayer::SetLooping(bool loops) {
    looping = loops;
}

bool BlockPlayer::OnPlay() {
    if (pendingRegion) {
        std::tie(start, end) = *pendingRegion;
        pendingRegion.reset();
    }
    if (output.IsOpen()) {
        // The blocks still out come back later with tags we no longer wait for; their slots in
        // the output are freed by the reset.
        output.Reset();
        outstanding = {};
        buffersQueued = 0;
    }
    olderStart = olderFrames = newerStart = newerFrames = framesRetired = cursorBase = 0;
    olderLoop = newerLoop = cursorLoop = {};
    cursorRunning = true;
    stopping = false;
    if (!OpenAndStart(true) || buffersQueued == 0) {
        cursorRunning = false;
    }
    return cursorRunning;
}

void BlockPlayer::OnStop() {
    bytesLeft = 0;
    pendingRegion.reset();
    if (!output.IsOpen()) {
        return;
    }
    output.Reset();
    stopping = buffersQueued > 0;
}

bool BlockPlayer::OpenAndStart(bool open) {
    if (!open) {
        if (output.IsOpen()) {
            output.Reset();
            output.Close();
        }
        FreeBlocks();
        outstanding = {};
        buffersQueued = 0;
        cursorRunning = false;
        stopping = false;
        return true;
    }
    if (!output.IsOpen()) {
        try {
            for (auto& block : blocks) {
                block.assign(static_cast<std::size_t>(blockFrames), 0);
            }
        } catch (const std::bad_alloc&) {
            FreeBlocks();
            messages.Show(WaveOutErrorMessage(AudioError::NoMemory), appCaption);
            return false;
        }
        const AudioStatus status = output.Open(waveOutDevice, sampleRate);
        if (!status) {
            // Nothing is kept from a failed opening: the next "P l a y" starts afresh.
            FreeBlocks();
            messages.Show(WaveOutErrorMessage(status.code), appCaption);
            return false;
        }
    }
    playPosition = start;
    bytesLeft = end >= start ? RegionBytes() : 0;
    QueueBlock(0);
    QueueBlock(1);
    return true;
}

void BlockPlayer::Close() {
    bytesLeft = 0;
    pendingRegion.reset();
    OpenAndStart(false);
}

void BlockPlayer::QueueBlock(int header) {
    auto& block = blocks[static_cast<std::size_t>(header)];
    auto& tag = outstanding[static_cast<std::size_t>(header)];
    if (bytesLeft <= 0 || tag != 0 || block.empty()) {
        return;
    }
    const auto trackFrames = static_cast<std::int64_t>(waveform.size());
    if (playPosition >= trackFrames) {
        bytesLeft = 0;
        return;
    }

    // A block the device refuses leaves the position and the history as they were: the next
    // refill plays these frames.
    const auto saved = std::tuple(start, end, pendingRegion, playPosition, bytesLeft, framesRetired,
                                  olderStart, olderFrames, olderLoop, newerStart, newerFrames,
                                  newerLoop, cursorBase, cursorLoop);
    framesRetired += olderFrames;
    olderStart = newerStart;
    olderFrames = newerFrames;
    olderLoop = newerLoop;
    newerStart = playPosition;
    newerLoop = looping ? LoopSpan{start, end - start + 1} : LoopSpan{};

    // Played once, a block is the smaller of bytesLeft and 16384 bytes. While looping, a block
    // does not stop at the end of a round: it is filled to its 16384 bytes with round after round
    // of the loop, going on from the frame the block before stopped at, and may stop in the
    // middle of a round. With one round per block, a short loop (100 frames are 200 bytes and
    // 2.3 ms at 44100 Hz) would have to be refilled through the UI thread faster than its reports
    // can arrive, and the device would run dry between two blocks: an audible gap.
    std::int64_t frames = 0;
    while (frames < blockFrames && bytesLeft > 0) {
        const std::int64_t count =
            std::min({bytesLeft / 2, blockFrames - frames, trackFrames - playPosition});
        if (count <= 0) {
            bytesLeft = 0;
            break;
        }
        const auto source = waveform.subspan(static_cast<std::size_t>(playPosition),
                                             static_cast<std::size_t>(count));
        std::copy(source.begin(), source.end(),
                  block.begin() + static_cast<std::ptrdiff_t>(frames));
        frames += count;
        playPosition += count;
        bytesLeft -= count * 2;
        if (bytesLeft <= 0 && looping) {
            // The next frames start the loop again right behind these: no gap. An edit made
            // during the round takes effect here.
            if (pendingRegion) {
                std::tie(start, end) = *pendingRegion;
                pendingRegion.reset();
            }
            if (end < start) {
                break;
            }
            playPosition = start;
            bytesLeft = RegionBytes();
        }
    }
    newerFrames = frames;
    // The block the device is playing: the older one, or this one when it is the only one.
    cursorBase = olderFrames > 0 ? olderStart : newerStart;
    cursorLoop = olderFrames > 0 ? olderLoop : newerLoop;

    const std::uint64_t blockTag = ++nextTag;
    if (!output.Queue(blockTag, std::span(block.data(), static_cast<std::size_t>(frames)))) {
        std::tie(start, end, pendingRegion, playPosition, bytesLeft, framesRetired, olderStart,
                 olderFrames, olderLoop, newerStart, newerFrames, newerLoop, cursorBase,
                 cursorLoop) = saved;
        return;
    }
    tag = blockTag;
    ++buffersQueued;
}

bool BlockPlayer::OnBlockFinished(std::uint64_t tag) {
    const auto found = std::find(outstanding.begin(), outstanding.end(), tag);
    if (tag == 0 || found == outstanding.end()) {
        return cursorRunning;
    }
    *found = 0;
    --buffersQueued;
    QueueBlock(static_cast<int>(found - outstanding.begin()));
    if (buffersQueued == 0) {
        cursorRunning = false;
        stopping = false;
    }
    return cursorRunning;
}

std::optional<std::int64_t> BlockPlayer::CursorFrame() const {
    if (!cursorRunning || stopping) {
        return std::nullopt;
    }
    std::int64_t frame =
        cursorBase - framesRetired + static_cast<std::int64_t>(output.SamplesPlayed());
    if (cursorLoop.frames > 0) {
        // A loop's blocks carry round after round, so the count runs on past End, and, while the
        // device is still in the block before (its report not read yet), falls before the
        // block's start: either way the frame is that many frames on in the repeated loop.
        const std::int64_t into = (frame - cursorLoop.start) % cursorLoop.frames;
        frame = cursorLoop.start + (into < 0 ? into + cursorLoop.frames : into);
    } else if (frame < start) {
        // The device is still at the end of the previous round of a loop.
        frame += end - start + 1;
    }
    return frame;
}

void BlockPlayer::FreeBlocks() {
    for (auto& block : blocks) {
        std::vector<std::int16_t>().swap(block);
    }
}

} // namespace velomire::editing
