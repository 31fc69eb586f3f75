#pragma once

#include "editing/Rgb.h"

#include <optional>
#include <vector>

namespace velomire::editing {

// One dot on a key of the drawn keyboard: an ellipse inside the rectangle left..right, top..bottom
// (picture pixels; right and bottom exclusive, as a filled rectangle), grey outline, filled red
// for the pitch and cyan for the other keys of the range.
struct KeyMark {
    int note = 0;
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
    bool isPitch = false;
    Rgb fill;
    bool operator==(const KeyMark&) const = default;
};

// Point <-> key arithmetic of the keyboard picture: 61 white keys of 8 pixels from picture x = 1,
// C0 (note 24) to G8 (note 127), black keys above picture row 29, the whole picture 489 by 47
// pixels. Picture pixels count from the picture's top-left corner; dialog pixels add the
// picture's position in the dialog (23, 41 in the Sample Editor's layout).
class KeyboardGeometry {
public:
    static constexpr int pictureWidth = 489; // pixels
    static constexpr int pictureHeight = 47; // pixels
    static constexpr int whiteKeyWidth = 8;  // pixels
    static constexpr int whiteKeyCount = 61;
    static constexpr int octaveWidth = 56;    // pixels: 7 white keys
    static constexpr int blackKeyBottom = 29; // picture rows 0..29 are the upper, black-key part
    static constexpr int lowestNote = 24;     // C0
    static constexpr int highestNote = 127;   // G8
    static constexpr int markWidth = 5;       // pixels
    static constexpr int markHeight = 8;      // pixels

    static constexpr Rgb markOutline{153, 153, 153};
    static constexpr Rgb pitchFill{255, 0, 0};
    static constexpr Rgb rangeFill{0, 255, 255};

    // pictureLeft, pictureTop: where the picture's top-left corner sits in the dialog (pixels).
    explicit KeyboardGeometry(int pictureLeft = 23, int pictureTop = 41);

    int PictureLeft() const { return pictureLeft; }
    int PictureTop() const { return pictureTop; }

    // Whether a dialog pixel lies on the keys (inside the picture's one-pixel border).
    bool OnKeyboard(int x, int y) const;
    // The note under a dialog pixel; none when the point is off the keys, so that the click
    // changes nothing.
    std::optional<int> KeyFromPoint(int x, int y) const;

    // The same in picture pixels.
    static bool OnKeyboardPicture(int px, int py);
    // A point exactly on the border between two keys belongs to the key on its left. In the upper
    // part each 8-pixel band across a white-key border gives the black key between them, or E
    // (between E and F) or the next C (between B and C) where there is none. Notes above 127 are
    // taken as 127.
    static std::optional<int> KeyAtPicturePoint(int px, int py);

    // The dots for the keys from lowKey to highKey, in that order; keys outside 24..127 (only a
    // program file written elsewhere holds them) have no place on the picture and get no dot.
    // The pitch is red only when it lies inside the range.
    static std::vector<KeyMark> KeyMarks(int lowKey, int highKey, int pitch);

private:
    int pictureLeft;
    int pictureTop;
};

} // namespace velomire::editing
