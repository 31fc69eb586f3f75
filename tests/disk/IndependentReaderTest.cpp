// An S1000/S1100 hard disk image Velomire writes, read by a reader written elsewhere: libgig's
// libakai (through its Akai.h) must list the program and give every sample word for word, and
// gigtools' akaiextract must extract each sample as a WAV file holding the same words. Both read
// S1000/S1100 hard disks only: the later models' file types are not in their lists.

#include "disk/DiskImage.h"
#include "program/MessageList.h"
#include "program/WavInfo.h"
#include "support/DiskRows.h"

#include <Akai.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <list>
#include <map>
#include <unistd.h>

namespace velomire::disk {
namespace {

namespace fs = std::filesystem;

using testing::AddRow;
using testing::PatternWords;

class IndependentReader : public ::testing::Test {
protected:
    void SetUp() override {
        program::SetFieldText(program.header.programName, "Drum kit");
        program.header.ResetForNewProgram(0);
        AddRow(program, "kick", program::sendMono, 9000, 36);    // two 8 KB blocks
        AddRow(program, "snare", program::sendStereo, 3001, 38); // odd length
        AddRow(program, "hat", program::sendMono, 500, 42);
        PatternWords words;
        std::vector<std::uint8_t> image;
        ASSERT_TRUE(MakeImage(program, {3, Medium::scsi}, words, image));
        fs::create_directories(directory);
        std::ofstream(file, std::ios::binary)
            .write(reinterpret_cast<const char*>(image.data()),
                   static_cast<std::streamsize>(image.size()));
    }
    void TearDown() override { fs::remove_all(directory); }

    // name -> (root key, part, words); libakai shows the codes of '-', '#', '+' and '.' as spaces.
    const std::map<std::string, std::tuple<int, int, std::size_t>> expected{
        {"KICK", {36, 0, 9000}},
        {"SNARE      L", {38, 1, 3001}},
        {"SNARE      R", {38, 2, 3001}},
        {"HAT", {42, 0, 500}}};
    program::Program program;
    fs::path directory = fs::temp_directory_path() / ("velomire-akai-" + std::to_string(getpid()));
    fs::path file = directory / "HD0_512.hda";
};

TEST_F(IndependentReader, LibakaiListsTheProgramAndReadsEverySampleWordForWord) {
    ::DiskImage image(file.c_str());
    AkaiDisk disk(&image);
    ASSERT_EQ(disk.GetPartitionCount(), 1u);
    AkaiPartition* partition = disk.GetPartition(0);
    ASSERT_NE(partition, nullptr);
    std::list<AkaiDirEntry> volumes;
    ASSERT_EQ(partition->ListVolumes(volumes), 1u);
    EXPECT_EQ(volumes.front().mName, "DRUM KIT");
    AkaiVolume* volume = partition->GetVolume(0);
    std::list<AkaiDirEntry> programs;
    ASSERT_EQ(volume->ListPrograms(programs), 1u);
    EXPECT_EQ(programs.front().mName, "DRUM KIT");
    AkaiProgram* read = volume->GetProgram(0);
    ASSERT_EQ(read->mNumberOfKeygroups, 3);
    EXPECT_EQ(read->mpKeygroups[1].mLowKey, 36);
    read->Release();

    std::list<AkaiDirEntry> samples;
    ASSERT_EQ(volume->ListSamples(samples), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        AkaiSample* sample = volume->GetSample(static_cast<uint>(i));
        ASSERT_TRUE(sample->LoadSampleData());
        const auto [key, part, length] = expected.at(sample->mName);
        EXPECT_EQ(sample->mMidiRootNote, key);
        ASSERT_EQ(sample->mNumberOfSamples, length);
        for (std::size_t w = 0; w < length; ++w) {
            ASSERT_EQ(sample->mpSamples[w], PatternWords::Word(key, part, w))
                << sample->mName << " word " << w;
        }
        sample->Release();
    }
    volume->Release();
    partition->Release();
}

TEST_F(IndependentReader, AkaiextractWritesEverySampleWithTheSameWords) {
    if (std::system("command -v akaiextract >/dev/null 2>&1") != 0) {
        GTEST_SKIP() << "akaiextract (gigtools) is not installed";
    }
    const fs::path out = directory / "extracted";
    // It lists what it found and asks before it writes.
    const std::string command = "echo y | akaiextract '" + file.string() + "' '" + out.string() +
                                "' >'" + (directory / "log").string() + "' 2>&1";
    ASSERT_EQ(std::system(command.c_str()), 0);
    std::size_t found = 0;
    for (const auto& item : fs::recursive_directory_iterator(out)) {
        if (item.path().extension() != ".wav") {
            continue;
        }
        const std::string name = item.path().stem().string();
        ASSERT_TRUE(expected.count(name)) << name;
        const auto [key, part, length] = expected.at(name);
        program::MessageList messages;
        program::WavInfo wav(messages);
        ASSERT_TRUE(wav.Open(item.path().string())) << messages.Reasons();
        ASSERT_EQ(wav.FrameCount(), length) << name;
        wav.Seek(0);
        for (std::size_t w = 0; w < length; ++w) {
            ASSERT_EQ(wav.ReadFrame(0), PatternWords::Word(key, part, w)) << name << " word " << w;
        }
        ++found;
    }
    EXPECT_EQ(found, expected.size());
}

} // namespace
} // namespace velomire::disk
