#pragma once

namespace velomire::editing {

// One click of an up-down arrow (a Windows up-down control reports the up arrow as a negative
// step; callers translate).
enum class Spin { up, down };

} // namespace velomire::editing
