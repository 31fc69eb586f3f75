#pragma once

#include "program/Program.h"
#include "program/SafeFile.h"

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

namespace velomire::program {

// A program file: a length-prefixed identifying text, the sample count, the program header and
// each row's sample block and keygroup block, byte for byte. 152 + 308 bytes per row.
class ProgramFile {
public:
    static constexpr std::string_view identifier = "Velomire V98.05";
    static constexpr std::size_t emptySize = 1 + 15 + 4 + ProgramHeader::size;      // 152 bytes
    static constexpr std::size_t rowSize = SampleBlock::size + KeygroupBlock::size; // 308 bytes
    // Real program files are a few kilobytes; anything far larger is not one.
    static constexpr std::uintmax_t maxFileSize = std::uintmax_t{16} * 1024 * 1024;

    static std::vector<std::uint8_t> Store(const Program& program);

    // Replaces the stored part of `program` (header, table, count) with the file's content. On
    // any failure `program` is left exactly as it was.
    static FileResult Load(std::span<const std::uint8_t> bytes, Program& program);

    static FileResult LoadFile(const std::filesystem::path& path, Program& program);
    // Replaces the file so that a failed save leaves the previous file as it was (ReplaceFile).
    static FileResult SaveFile(const std::filesystem::path& path, const Program& program);
};

} // namespace velomire::program
