#pragma once

namespace velomire::app {

// Registers the pictures and the user guide compiled into the application (res/velomire.qrc).
// A static library's resources are only linked in when something refers to them.
void InitResources();

} // namespace velomire::app
