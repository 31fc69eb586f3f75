#pragma once

// libgig's headers, read as its library was compiled. On Windows a RIFF file's handle is a HANDLE
// only while WIN32 is defined, which MinGW leaves undefined in a strict C++ mode; read without it,
// the headers describe other class layouts than the library has (velomire_gig defines it).
#include <DLS.h>
#include <RIFF.h>
#include <SF.h>

#include <type_traits>

#ifdef _WIN32
static_assert(std::is_same_v<RIFF::File::Handle, HANDLE>,
              "libgig's headers must be read with WIN32 defined, as its library was built");
#endif
