#include "program/ProgramFile.h"

#include "program/ByteReader.h"
#include "program/ByteWriter.h"

#include <memory>

namespace velomire::program {
namespace {

constexpr std::uint8_t longTextMark = 0xFF;
constexpr std::uint16_t wideTextMark = 0xFFFE;
constexpr std::uint16_t longerTextMark = 0xFFFF;

const std::string truncatedText = "Error: This program file is incomplete !";

// A length as the archive writes it: one byte below 255, else 255 and a 16-bit length, else 255,
// 65535 and a 32-bit length. 65534 after the 255 announces 16-bit characters instead of a length.
struct TextLength {
    std::uint32_t length = 0;
    bool wideMark = false;
};

TextLength ReadTextLength(ByteReader& in) {
    const std::uint8_t shortLength = in.U8();
    if (shortLength != longTextMark) {
        return {shortLength};
    }
    const std::uint16_t length16 = in.U16();
    if (length16 == wideTextMark) {
        return {0, true};
    }
    if (length16 != longerTextMark) {
        return {length16};
    }
    return {in.U32()};
}

// Skips the identifying text in any of the archive's forms; its content is not checked.
bool SkipLeadingText(ByteReader& in) {
    TextLength text = ReadTextLength(in);
    std::size_t charSize = 1;
    if (text.wideMark) {
        charSize = 2;
        text = ReadTextLength(in);
        if (text.wideMark) {
            return false;
        }
    }
    in.Skip(static_cast<std::size_t>(text.length) * charSize);
    return in.Ok();
}

} // namespace

std::vector<std::uint8_t> ProgramFile::Store(const Program& program) {
    const int count = std::clamp(program.sampleCount, 0, Program::maxSamples);
    std::vector<std::uint8_t> bytes;
    bytes.reserve(emptySize + rowSize * static_cast<std::size_t>(count));
    ByteWriter out(bytes);
    out.U8(static_cast<std::uint8_t>(identifier.size()));
    for (char c : identifier) {
        out.U8(static_cast<std::uint8_t>(c));
    }
    out.I32(count);
    program.header.Write(out);
    for (int i = 0; i < count; ++i) {
        const SampleEntry& entry = program.samples[static_cast<std::size_t>(i)];
        entry.sample.Write(out);
        entry.keygroup.Write(out);
    }
    return bytes;
}

FileResult ProgramFile::Load(std::span<const std::uint8_t> bytes, Program& program) {
    ByteReader in(bytes);
    if (!SkipLeadingText(in)) {
        return FileResult::Error(truncatedText);
    }
    const std::int32_t count = in.I32();
    if (!in.Ok()) {
        return FileResult::Error(truncatedText);
    }
    if (count < 0 || count > Program::maxSamples) {
        return FileResult::Error("Error: This program file names " + std::to_string(count) +
                                 " samples; a program holds 0 to 40 !");
    }

    // Read into fresh blocks and touch the program only once everything is there.
    auto fresh = std::make_unique<Program>();
    fresh->header.Read(in);
    for (int i = 0; i < count; ++i) {
        SampleEntry& entry = fresh->samples[static_cast<std::size_t>(i)];
        entry.sample.Read(in);
        entry.keygroup.Read(in);
    }
    if (!in.Ok()) {
        return FileResult::Error(truncatedText);
    }
    program.header = fresh->header;
    program.samples = fresh->samples;
    program.sampleCount = count;
    return {};
}

FileResult ProgramFile::LoadFile(const std::filesystem::path& path, Program& program) {
    std::vector<std::uint8_t> bytes;
    FileResult read =
        ReadRegularFile(path, maxFileSize, "Error: This is not a program file !", bytes);
    if (!read) {
        return read;
    }
    return Load(bytes, program);
}

FileResult ProgramFile::SaveFile(const std::filesystem::path& path, const Program& program) {
    return ReplaceFile(path, Store(program));
}

} // namespace velomire::program
