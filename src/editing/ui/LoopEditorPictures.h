#pragma once

#include <QIcon>

namespace velomire::editing {

// The Loop Editor's button pictures, drawn here rather than loaded, at one and two device pixels
// per logical pixel.

// The part buttons: 0 "Sound", 1..4 "Loop 1".."Loop 4". Each shows a little waveform on the
// picture's black with the part's band colour behind it; a loop adds its round arrow.
QIcon PartPicture(int part);
// "P l a y" and "S t o p".
QIcon PlayPicture();
QIcon StopPicture();

} // namespace velomire::editing
