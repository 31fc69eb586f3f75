#pragma once

#include "editing/LoopFinder.h"
#include "editing/Spin.h"
#include "editing/WaveformStrokes.h"
#include "editing/WaveformSummary.h"
#include "editing/WaveformView.h"
#include "program/SampleBlock.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <limits>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace velomire::program {
class WavInfo;
}

namespace velomire::editing {

// How opening the Loop Editor went. On anything but ok the entry is unchanged and the editor
// closes: after the reader's own message (fileNotRead), after memoryAllocErrorText
// (memoryAllocError), or at once (noFrames: the file or the entry holds no frame to edit).
enum class LoopEditorStatus { ok, fileNotRead, noFrames, memoryAllocError };

// Start, End, Length and dwell of the current part, as the editor shows them. Frames count from
// the first frame of the file; dwell is in ms (9999 = hold).
struct RegionFigures {
    std::int64_t start = 0;
    std::int64_t end = 0;
    std::int64_t length = 0;
    std::int64_t dwell = 0;
    bool operator==(const RegionFigures&) const = default;
};

// The Loop Editor's state and rules on the working copy of one row's SampleBlock and the sample
// held in memory as one mono track. Every call changes the block at once; there is no cancel.
//
// While the editor is open the end points of loops 1 to 4 (indices 0 to 3) are absolute frame
// numbers like soundStart and soundEnd; Finish makes them relative to soundStart again and sets
// lengthWords and endPoint. Finish runs at the latest when the model is destroyed, so every way of
// closing the dialog finishes alike. Opening brings what a program file may hold outside the WAV
// file inside it: frameCount at most the file's, the sound and loops within its frames, at most
// 4 loops in use.
//
// Parts: -1 none (the whole sample), 0 the sound, 1..4 loops 1..4. Clicks and the inward snaps
// never leave a region shorter than 64 frames, and after every change the loops are pulled back
// inside the sound.
class LoopEditorModel {
public:
    static constexpr int noPart = -1;
    static constexpr int soundPart = 0;
    static constexpr int loopParts = 4;
    static constexpr std::int64_t minimumLength = 64; // frames kept by clicks and snaps
    static constexpr int maxTypedSnapLevel = 999;
    static constexpr int maxSpinSnapLevel = 500;
    static constexpr int maxDwell = 9999; // ms, = hold
    static constexpr int loopModeCount = 4;
    static constexpr std::string_view memoryAllocErrorText = "Waveform : Memory alloc error";
    static constexpr std::size_t noFrameLimit = std::numeric_limits<std::size_t>::max();

    // frameLimit: the most frames the editor may hold in memory; a longer sample is refused as
    // memoryAllocError, as when the allocation itself fails.
    explicit LoopEditorModel(program::SampleBlock& sample, std::size_t frameLimit = noFrameLimit);
    ~LoopEditorModel();
    LoopEditorModel(const LoopEditorModel&) = delete;
    LoopEditorModel& operator=(const LoopEditorModel&) = delete;

    // Reads the block's file (fileName, in the program's directory) as one mono track, builds the
    // summary, and opens the editor on it.
    LoopEditorStatus Open(program::WavInfo& wav, const std::filesystem::path& programDirectory);
    // The same with the file named by path.
    LoopEditorStatus Open(program::WavInfo& wav, const std::string& path);
    // The same on frames already in memory, which stand for the file's frames.
    LoopEditorStatus OpenFrames(std::vector<std::int16_t> frames);
    // Block back to relative loop points, lengthWords and endPoint set; the track is released.
    // Does nothing when the editor is not open.
    void Finish();
    bool IsOpen() const { return open; }

    // "Loop editor  -  " followed by the file name.
    std::string Caption() const;

    std::span<const std::int16_t> Waveform() const { return waveform; }
    const WaveformSummary& Summary() const { return summary; }
    std::int64_t FrameCount() const { return static_cast<std::int64_t>(waveform.size()); }

    int CurrentPart() const { return currentPart; }
    RegionFigures Figures() const;
    // The dwell box takes typing only while a loop is current.
    bool DwellEnabled() const { return currentPart > soundPart; }
    int SnapLevel() const { return snapLevel; }
    int LoopCount() const { return sample.loopCount; }
    int LoopMode() const { return sample.loopMode; }
    // Loop n (1..4) as the editor holds it: absolute end point, length, dwell; zeros for other n.
    RegionFigures Loop(int n) const;

    // "Sound" and "Loop 1".."Loop 4": choosing a part only shows it. Moving an edge of loop n
    // (click, snap, typing, Find loop) raises the loop count to n, and turns "No looping" into
    // "Normal Looping".
    void SelectSound();
    bool SelectLoop(int n);

    // Mouse buttons at a pixel of the waveform picture (its own pixels). The left button moves the
    // part's start, the right button its end, only when 64 frames remain. False when nothing
    // changed.
    bool LeftClick(int x, int y);
    bool RightClick(int x, int y);

    // "0<" and ">0" beside Start and End: move the edge to the next frame whose absolute value is
    // at most the snap level. False when nothing changed.
    bool SnapStartLeft();
    bool SnapStartRight();
    bool SnapEndLeft();
    bool SnapEndRight();
    // Start, End and Length typed into their boxes: taken as a click at that frame would be (the
    // frame kept inside the sample), a length as the end it gives. The current part keeps at
    // least 64 frames; false when nothing changed.
    bool TypeStart(std::int64_t frame);
    bool TypeEnd(std::int64_t frame);
    bool TypeLength(std::int64_t length);

    // "Find loop" on the current loop: moves its end (with moveStart its start; the other edge
    // stays) to the best candidate of FindLoops within findWindowMs on each side, comparing
    // seamCompareMs of frames at the seam. Pressed again on the loop it proposed, it moves on to
    // the next best, and after the last back to the best. False when nothing fits.
    bool FindLoop(bool moveStart);
    // How far the current loop's wave jumps at its join, as a share of full scale (0 without a
    // loop chosen), and whether that is heard as a click (above poorJoinShare).
    double JoinShare() const;
    bool PoorJoin() const { return JoinShare() > poorJoinShare; }
    // 100 ms each side holds several periods of the lowest notes a sampler plays; 3 ms of frames
    // at the seam cover a whole period of anything above 330 Hz and the shape of the wave around
    // the join for lower ones, while a slowly decaying level barely changes over them.
    static constexpr int findWindowMs = 100;
    static constexpr int seamCompareMs = 3;

    // "Remove 0": the sound shrinks to its first and last frame above the snap level; a sound with
    // no such frame stays as it is (false).
    bool RemoveSilence();

    // Typed values, refused (false, nothing changed) outside their ranges: dwell 0..9999 (kept
    // only while a loop is current), snap level 0..999, number of loops 0..4, loop mode 0..3.
    bool SetDwell(int ms);
    bool SetSnapLevel(int level);
    bool SetLoopCount(int count);
    bool SetLoopMode(int mode);
    // The up-downs: snap level within 0..500, number of loops within 0..4.
    void SnapSpin(Spin step);
    void LoopCountSpin(Spin step);

    // The display. SetPictureSize must be called with the picture's client size (pixels) before
    // clicks and strokes mean anything; it keeps the frames shown.
    const WaveformView& View() const { return view; }
    void SetPictureSize(int width, int height);
    void ZoomIn();
    void ZoomOut();
    // Shows every frame; the chosen part stays chosen.
    void ZoomAll();
    // Shows the current part's frames, when it is longer than one frame.
    void ZoomRegion();
    void Scroll(ScrollRequest request, int position = 0);

    // What to draw, in the picture's pixels: the bands (in painting order), then the zero line
    // at View().MidY(), the guide dashes and the strokes.
    std::vector<WaveBand> Bands() const;
    WaveformStrokes Strokes() const;
    std::vector<GuideDash> GuideDashes() const { return WaveformStrokes::GuideDashes(view); }

    // Changes whenever the picture may have changed (view, size, part, sound, loops, loop count
    // or mode): a painter may keep its image while the revision stays the same. The boxes (snap
    // level, dwell) are read back by the dialog after each call.
    std::uint64_t Revision() const { return revision; }

private:
    // The rest of an Open once the file is open: the track, the summary, the editor.
    LoopEditorStatus Read(program::WavInfo& wav);

    // Takes the frames of a successful load: builds the summary and puts the block into the
    // editor's form. mean is the frames' mean value.
    LoopEditorStatus Adopt(std::vector<std::int16_t> frames, double mean);
    // The loops' end points and lengths brought inside the sound, as every redraw does.
    void KeepLoopsInSound();
    void Changed();
    bool NearZero(std::int64_t frame) const;
    // Moves the current part's first or last frame (the other edge stays).
    void MoveStart(std::int64_t frame);
    void MoveEnd(std::int64_t frame);
    // After an edge of the current loop moved: the count and mode make it play.
    void LoopEdited();
    std::int64_t LastFrame() const { return FrameCount() - 1; }

    program::SampleBlock& sample;
    std::size_t frameLimit;
    bool open = false;
    std::vector<std::int16_t> waveform;
    WaveformSummary summary;
    WaveformView view;
    int pictureWidth = 0;
    int pictureHeight = 0;
    int currentPart = noPart;
    int snapLevel = 0;
    std::uint64_t revision = 0;
    // The proposals of the last "Find loop" and the one in place.
    std::vector<LoopCandidate> proposals;
    std::size_t proposal = 0;
    int proposalPart = noPart;
    bool proposalMovesStart = false;
};

} // namespace velomire::editing
