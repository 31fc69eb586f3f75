#pragma once

#include "editing/Rgb.h"

#include <QColor>

namespace velomire::editing {

// A colour of the editors' pictures as Qt paints it.
inline QColor Colour(Rgb rgb) {
    return {rgb.red, rgb.green, rgb.blue};
}

} // namespace velomire::editing
