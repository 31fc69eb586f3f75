#pragma once

#include "transfer/Librarian.h"

#include <memory>

namespace velomire::transfer {

// The S1000/S3000 family's librarian: the catalogue from the status, program and sample lists,
// the headers one by one, a sample's data by the Sample Dump Standard Dump Request through the SDS
// receiver (the SDS number is the sample's position) or, when the sampler does not answer that
// within the receiver's 5 s, by RSPACK, and the deletes. Each request waits at most 2 s for its
// answer; each Data Packet at most 2 s.
std::unique_ptr<Librarian> MakeS1000Librarian(const LibrarianPorts& ports);

} // namespace velomire::transfer
