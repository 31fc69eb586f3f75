#pragma once

#include "transfer/Librarian.h"

#include <memory>

namespace velomire::transfer {

// The S900/S950 librarian: the catalogue (RCAT), sample parameters (RSPRM), programs (RPRGM) and
// sample data (the sample dump, acknowledged block by block while it arrives). The sampler
// cannot be told to delete anything.
std::unique_ptr<Librarian> MakeS900Librarian(const LibrarianPorts& ports);

} // namespace velomire::transfer
