#pragma once

#include "program/Status.h"

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace velomire::program {

// What the user reads when a file cannot be opened or read.
inline constexpr std::string_view cantOpenFile = "Error: Can't open File !";

// Reading and writing files report a Status: the sentence shown to the user ("Error: Can't open
// File !") and, when the system refused, "path: reason" as its detail.
using FileResult = Status;

// True for an existing regular file (after following links). Files named by the user or by a
// program are opened only when this holds: opening a FIFO or a device would wait forever.
bool IsRegularFile(const std::filesystem::path& path);

// Reads a whole regular file of at most `maxSize` bytes. "Error: Can't open File !" when the file
// is missing, unreadable or not a regular file; `tooLarge` when it is larger.
FileResult ReadRegularFile(const std::filesystem::path& path, std::uintmax_t maxSize,
                           const std::string& tooLarge, std::vector<std::uint8_t>& bytes);

// Replaces the content of `path` with `bytes` so that a failure leaves the old content intact:
// through a temporary file beside the target, renamed over it once every byte is written. A
// symbolic link stays a link (its target is replaced) and the file keeps its permissions. When the
// folder refuses a temporary file but the file itself is writable, the file is written in place
// and its old bytes, kept in memory, are put back if the write fails.
FileResult ReplaceFile(const std::filesystem::path& path, std::span<const std::uint8_t> bytes);

} // namespace velomire::program
