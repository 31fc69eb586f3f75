#pragma once

#include <cstddef>
#include <filesystem>
#include <set>
#include <string>
#include <string_view>

namespace velomire::program {

// A name from a sampler, a disk image or another file made safe as a file name on every system,
// for every file Velomire names after something it read: characters a file system refuses or
// gives a meaning (/ \ : * ? " < > |, control characters, bytes that are not UTF-8) become '_', a
// run of spaces is one, spaces and dots at either end go (Windows drops them at the end), the name
// is cut to `maxChars` when that is not 0, and a name Windows keeps for a device, also before an
// extension ("CON", "com1", "NUL.X", "AUX .1"), gets a '_' after the device's name. Nothing left
// gives `fallback`.
std::string SafeFileStem(std::string_view name, std::string_view fallback,
                         std::size_t maxChars = 0);

// The first of "STEM.EXT", "STEM-2.EXT" ... "STEM-999.EXT" that is neither in `taken` (names in
// lower case, the ones a run has written) nor in `directory`; it goes into `taken`. Empty when all
// of them are used.
std::string FreeFileName(const std::filesystem::path& directory, std::string_view stem,
                         std::string_view extension, std::set<std::string>& taken);

} // namespace velomire::program
