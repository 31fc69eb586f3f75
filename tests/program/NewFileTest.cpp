#include "program/devices/NewFile.h"
#include "support/WavBuilder.h"

#include <gtest/gtest.h>

using velomire::program::NewFile;
using velomire::testing::ReadFile;
using velomire::testing::TempDir;
using velomire::testing::WriteFile;

namespace {

namespace fs = std::filesystem;

const std::vector<std::uint8_t> bytes = {'n', 'e', 'w'};

// Writes `bytes` as `target` through a NewFile and names it.
NewFile::Named WriteNew(const fs::path& target, bool replace) {
    NewFile file(target);
    EXPECT_TRUE(file.Open()) << file.Error();
    EXPECT_TRUE(file.Write(bytes));
    return file.Finish(replace);
}

std::size_t Entries(const fs::path& directory) {
    return static_cast<std::size_t>(
        std::distance(fs::directory_iterator(directory), fs::directory_iterator()));
}

} // namespace

TEST(NewFile, NeverWritesThroughALinkAndReplacesOnlyWhenAsked) {
    TempDir dir;
    fs::create_directory(dir / "out");
    const fs::path victim = dir / "victim.txt";
    fs::create_symlink("../victim.txt", dir / "out" / "dangling.wav");
    WriteFile(dir / "out" / "old.wav", {'o', 'l', 'd'});

    // A name taken by a link (dangling or not) or a file is left as it is, with no trace.
    EXPECT_EQ(WriteNew(dir / "out" / "dangling.wav", false), NewFile::Named::taken);
    EXPECT_EQ(WriteNew(dir / "out" / "old.wav", false), NewFile::Named::taken);
    EXPECT_FALSE(fs::exists(victim));
    EXPECT_EQ(ReadFile(dir / "out" / "old.wav"), (std::vector<std::uint8_t>{'o', 'l', 'd'}));
    EXPECT_EQ(Entries(dir / "out"), 2u);

    // Replacing puts a file in the link's place; what the link named is never created.
    EXPECT_EQ(WriteNew(dir / "out" / "dangling.wav", true), NewFile::Named::done);
    EXPECT_FALSE(fs::is_symlink(dir / "out" / "dangling.wav"));
    EXPECT_EQ(ReadFile(dir / "out" / "dangling.wav"), bytes);
    EXPECT_FALSE(fs::exists(victim));
    EXPECT_EQ(WriteNew(dir / "out" / "fresh.wav", false), NewFile::Named::done);
    EXPECT_EQ(ReadFile(dir / "out" / "fresh.wav"), bytes);

    // A file never named is removed.
    {
        NewFile abandoned(dir / "out" / "gone.wav");
        ASSERT_TRUE(abandoned.Open());
        EXPECT_TRUE(fs::exists(abandoned.TemporaryPath()));
    }
    EXPECT_EQ(Entries(dir / "out"), 3u);
}
