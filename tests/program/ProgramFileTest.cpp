#include "program/ProgramFile.h"
#include "support/HexMatch.h"
#include "support/WavBuilder.h"

#include <gtest/gtest.h>

#include <memory>
#include <random>

#include <climits>
#include <sys/stat.h>

using namespace velomire::program;
using velomire::testing::BytesEqual;
using velomire::testing::Hex;
using velomire::testing::ReadFile;
using velomire::testing::TempDir;
using velomire::testing::WriteFile;

namespace {

// A program whose every stored byte outside the padding differs from a fresh program's.
std::unique_ptr<Program> ScrambledProgram(int count, unsigned seed = 7) {
    auto program = std::make_unique<Program>();
    std::mt19937 random(seed);
    std::vector<std::uint8_t> bytes(ProgramHeader::size + ProgramFile::rowSize * 40);
    for (auto& b : bytes) {
        b = static_cast<std::uint8_t>(random());
    }
    ByteReader in(bytes);
    program->header.Read(in);
    for (auto& entry : program->samples) {
        entry.sample.Read(in);
        entry.keygroup.Read(in);
    }
    program->sampleCount = count;
    return program;
}

std::vector<std::uint8_t> WithCount(std::vector<std::uint8_t> bytes, std::int32_t count) {
    for (int i = 0; i < 4; ++i) {
        bytes[16 + i] = static_cast<std::uint8_t>(static_cast<std::uint32_t>(count) >> (8 * i));
    }
    return bytes;
}

} // namespace

// 152 bytes of header, 308 a row; loading gives back every stored byte.
TEST(ProgramFile, StoresHeaderAndRowsBackToBackAndLoadsEveryByteBack) {
    auto empty = std::make_unique<Program>();
    empty->header.ResetForNewProgram(0);
    const auto header = ProgramFile::Store(*empty);
    ASSERT_EQ(header.size(), 152u);
    const auto start = Hex("0F 56 65 6C 6F 6D 69 72 65 20 56 39 38 2E 30 35 00 00 00 00");
    EXPECT_TRUE(BytesEqual(std::span(header).first(start.size()), start));

    auto two = ScrambledProgram(2);
    const auto twoRows = ProgramFile::Store(*two);
    ASSERT_EQ(twoRows.size(), 768u);
    std::vector<std::uint8_t> keygroup;
    ByteWriter out(keygroup);
    two->samples[1].keygroup.Write(out);
    EXPECT_TRUE(BytesEqual(std::span(twoRows).subspan(692), keygroup));

    auto saved = ScrambledProgram(40);
    const auto bytes = ProgramFile::Store(*saved);
    ASSERT_EQ(bytes.size(), 12472u);
    auto loaded = std::make_unique<Program>();
    ASSERT_TRUE(ProgramFile::Load(bytes, *loaded));
    EXPECT_EQ(loaded->sampleCount, 40);
    EXPECT_TRUE(BytesEqual(ProgramFile::Store(*loaded), bytes));
    EXPECT_EQ(loaded->samples[39].sample.samplerSampleNumber,
              saved->samples[39].sample.samplerSampleNumber);
}

TEST(ProgramFile, AcceptsEveryFormOfTheLeadingText) {
    auto saved = ScrambledProgram(1);
    const auto canonical = ProgramFile::Store(*saved);
    const std::vector<std::uint8_t> body(canonical.begin() + 16, canonical.end());

    const std::vector<std::vector<std::uint8_t>> prefixes = {
        Hex("09 58 58 58 58 58 58 58 58 58"), // another name and version
        Hex("00"),                            // empty text
        Hex("FF 03 00 41 42 43"),             // 16-bit length
        Hex("FF FF FF 02 00 00 00 41 42"),    // 32-bit length
        Hex("FF FE FF 02 41 00 42 00"),       // 16-bit characters
        Hex("FF FE FF FF 01 00 41 00"),       // 16-bit characters, long length
    };
    for (const auto& prefix : prefixes) {
        std::vector<std::uint8_t> bytes = prefix;
        bytes.insert(bytes.end(), body.begin(), body.end());
        auto loaded = std::make_unique<Program>();
        ASSERT_TRUE(ProgramFile::Load(bytes, *loaded)) << "prefix of " << prefix.size();
        EXPECT_TRUE(BytesEqual(ProgramFile::Store(*loaded), canonical));
    }
}

TEST(ProgramFile, RefusedFilesLeaveTheProgramExactlyAsItWas) {
    const auto canonical = ProgramFile::Store(*ScrambledProgram(2, 1));
    const std::vector<std::vector<std::uint8_t>> bad = {
        WithCount(canonical, 41),    WithCount(canonical, -1),
        WithCount(canonical, 3),     // shorter than its count
        Hex("FF FF FF FF FF FF 7F"), // text longer than the file
        Hex("FF FE FF FE FF 00"),    // nested wide mark
    };
    auto program = ScrambledProgram(5, 99);
    const auto before = ProgramFile::Store(*program);
    for (const auto& bytes : bad) {
        const auto result = ProgramFile::Load(bytes, *program);
        EXPECT_FALSE(result);
        EXPECT_FALSE(result.text.empty());
        EXPECT_TRUE(BytesEqual(ProgramFile::Store(*program), before));
    }
    EXPECT_NE(ProgramFile::Load(WithCount(canonical, 41), *program).text.find("41"),
              std::string::npos);
}

TEST(ProgramFile, EveryTruncationIsRefusedWithoutReadingPastTheEnd) {
    const auto canonical = ProgramFile::Store(*ScrambledProgram(2, 5));
    auto program = std::make_unique<Program>();
    for (std::size_t size = 0; size < canonical.size(); ++size) {
        // A heap copy of exactly `size` bytes, so the sanitizer sees any read past it.
        const std::vector<std::uint8_t> cut(canonical.begin(),
                                            canonical.begin() + static_cast<long>(size));
        EXPECT_FALSE(ProgramFile::Load(cut, *program)) << "size " << size;
    }
}

TEST(ProgramFile, UnterminatedTextFieldsAreReadUpToTheirWidth) {
    auto saved = std::make_unique<Program>();
    saved->sampleCount = 1;
    saved->samples[0].sample.fileName.fill('f');
    saved->samples[0].sample.sampleName.fill('s');
    saved->header.programName.fill('p');
    auto loaded = std::make_unique<Program>();
    ASSERT_TRUE(ProgramFile::Load(ProgramFile::Store(*saved), *loaded));
    EXPECT_EQ(FieldText(loaded->samples[0].sample.fileName), std::string(40, 'f'));
    EXPECT_EQ(FieldText(loaded->samples[0].sample.sampleName), std::string(20, 's'));
    EXPECT_EQ(loaded->ProgramName(), std::string(20, 'p'));
}

TEST(ProgramFile, SavingReplacesTheFileAndAFailedSaveKeepsTheOldOne) {
    TempDir dir;
    const auto path = dir / "Drums.vmp";
    auto first = ScrambledProgram(1, 3);
    ASSERT_TRUE(ProgramFile::SaveFile(path, *first));
    auto second = ScrambledProgram(3, 4);
    ASSERT_TRUE(ProgramFile::SaveFile(path, *second));
    EXPECT_TRUE(BytesEqual(ReadFile(path), ProgramFile::Store(*second)));

    // A directory standing where the file should go: the rename fails, nothing is destroyed,
    // and no temporary file is left behind.
    const auto blocked = dir / "Blocked.vmp";
    std::filesystem::create_directory(blocked);
    WriteFile(blocked / "keep", {1, 2, 3});
    EXPECT_FALSE(ProgramFile::SaveFile(blocked, *first));
    EXPECT_TRUE(std::filesystem::exists(blocked / "keep"));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()),
                            std::filesystem::directory_iterator()),
              2);

    auto loaded = std::make_unique<Program>();
    ASSERT_TRUE(ProgramFile::LoadFile(path, *loaded));
    EXPECT_EQ(loaded->sampleCount, 3);
    EXPECT_FALSE(ProgramFile::LoadFile(dir / "missing.vmp", *loaded));
#ifndef _WIN32 // no FIFOs, links or NAME_MAX there
    ASSERT_EQ(mkfifo((dir / "fifo.vmp").c_str(), 0600), 0);
    EXPECT_FALSE(ProgramFile::LoadFile(dir / "fifo.vmp", *loaded)); // refused, not waited on
    EXPECT_EQ(loaded->sampleCount, 3);
#endif
}

#ifndef _WIN32
TEST(ProgramFile, SavingThroughALinkKeepsTheLinkThePermissionsAndWorksWithoutATemporaryFile) {
    namespace fs = std::filesystem;
    TempDir dir;
    const auto real = dir / "real.vmp";
    const auto link = dir / "link.vmp";
    auto program = ScrambledProgram(2);
    ASSERT_TRUE(ProgramFile::SaveFile(real, *ScrambledProgram(1)));
    fs::permissions(real, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    fs::create_symlink("real.vmp", link);
    ASSERT_TRUE(ProgramFile::SaveFile(link, *program));
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_TRUE(BytesEqual(ReadFile(real), ProgramFile::Store(*program)));
    EXPECT_EQ(fs::status(real).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);

    // A name as long as the folder allows leaves no room for a temporary name beside it.
    const auto longest = dir / (std::string(NAME_MAX - 4, 'p') + ".vmp");
    WriteFile(longest, {1, 2, 3});
    ASSERT_TRUE(ProgramFile::SaveFile(longest, *program));
    EXPECT_TRUE(BytesEqual(ReadFile(longest), ProgramFile::Store(*program)));
}
#endif
