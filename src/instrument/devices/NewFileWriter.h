#pragma once

#include "instrument/ImportWriter.h"

namespace velomire::instrument {

// The NewFileWriter of the command line and the desktop: each file written under a temporary
// name beside it and named only when complete, never over anything already there (NewFile).
NewFileWriter DiskNewFileWriter();

} // namespace velomire::instrument
