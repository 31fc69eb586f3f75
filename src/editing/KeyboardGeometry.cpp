#include "editing/KeyboardGeometry.h"

#include <algorithm>
#include <array>

namespace velomire::editing {

namespace {

constexpr int semitonesPerOctave = 12;
constexpr int whiteKeysPerOctave = 7;

// Semitone above the octave's C of each white key, and of the band that straddles the right
// border of each white key (the black key there, or E and the next C where there is none).
constexpr std::array<int, whiteKeysPerOctave> whiteSemitone = {0, 2, 4, 5, 7, 9, 11};
constexpr std::array<int, whiteKeysPerOctave> borderSemitone = {1, 3, 4, 6, 8, 10, 12};

// Left edge (pixels from the octave's start) and top row of the dot of each semitone: low on the
// white keys, high on the black ones.
constexpr std::array<int, semitonesPerOctave> markX = {2,  6,  10, 14, 18, 26,
                                                       30, 34, 38, 42, 46, 50};
constexpr std::array<int, semitonesPerOctave> markY = {35, 18, 35, 18, 35, 35,
                                                       18, 35, 18, 35, 18, 35};

// The white keys start at picture x = 1; the bands of the upper part are shifted right by half a
// black key (4 pixels).
constexpr int firstWhiteX = 1;
constexpr int upperBandShift = 4;

int FloorDiv(int value, int divisor) {
    const int quotient = value / divisor;
    return (value % divisor != 0 && value < 0) ? quotient - 1 : quotient;
}

int NoteOf(int whiteIndex, const std::array<int, whiteKeysPerOctave>& semitones) {
    return KeyboardGeometry::lowestNote + semitonesPerOctave * (whiteIndex / whiteKeysPerOctave) +
           semitones[static_cast<std::size_t>(whiteIndex % whiteKeysPerOctave)];
}

} // namespace

KeyboardGeometry::KeyboardGeometry(int pictureLeft, int pictureTop)
    : pictureLeft(pictureLeft), pictureTop(pictureTop) {}

bool KeyboardGeometry::OnKeyboard(int x, int y) const {
    return OnKeyboardPicture(x - pictureLeft, y - pictureTop);
}

std::optional<int> KeyboardGeometry::KeyFromPoint(int x, int y) const {
    return KeyAtPicturePoint(x - pictureLeft, y - pictureTop);
}

bool KeyboardGeometry::OnKeyboardPicture(int px, int py) {
    return px > 0 && px < pictureWidth - 1 && py > 0 && py < pictureHeight - 1;
}

std::optional<int> KeyboardGeometry::KeyAtPicturePoint(int px, int py) {
    if (!OnKeyboardPicture(px, py)) {
        return std::nullopt;
    }
    const int lastWhite = whiteKeyCount - 1;
    int note = 0;
    if (py > blackKeyBottom) {
        // px >= 1 here, so the index is never negative.
        const int white = std::min(FloorDiv(px - firstWhiteX, whiteKeyWidth), lastWhite);
        note = NoteOf(white, whiteSemitone);
    } else {
        const int band =
            std::clamp(FloorDiv(px - firstWhiteX - upperBandShift, whiteKeyWidth), 0, lastWhite);
        note = NoteOf(band, borderSemitone);
    }
    return std::min(note, highestNote);
}

std::vector<KeyMark> KeyboardGeometry::KeyMarks(int lowKey, int highKey, int pitch) {
    std::vector<KeyMark> marks;
    const int first = std::max(lowKey, lowestNote);
    const int last = std::min(highKey, highestNote);
    for (int note = first; note <= last; ++note) {
        const int semitone = (note - lowestNote) % semitonesPerOctave;
        const int octave = (note - lowestNote) / semitonesPerOctave;
        KeyMark mark;
        mark.note = note;
        mark.left = markX[static_cast<std::size_t>(semitone)] + octaveWidth * octave;
        mark.top = markY[static_cast<std::size_t>(semitone)];
        mark.right = mark.left + markWidth;
        mark.bottom = mark.top + markHeight;
        mark.isPitch = note == pitch;
        mark.fill = mark.isPitch ? pitchFill : rangeFill;
        marks.push_back(mark);
    }
    return marks;
}

} // namespace velomire::editing
