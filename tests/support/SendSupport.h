#pragma once

#include "program/Program.h"
#include "program/UserMessages.h"
#include "program/WavInfo.h"
#include "transfer/SendCommand.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace velomire::testing {

// Answers every question of a send with its default and keeps the "Sending ..." lines.
class AnswerAllUi : public transfer::SendUi {
public:
    bool ConfirmSummary(const transfer::ProgramSummary&) override { return true; }
    bool AskNumbers(transfer::SendNumbers&) override { return true; }
    void OpenSending(const std::string&) override {}
    void AddLine(const std::string& line) override { lines.push_back(line); }
    void CloseSending() override {}
    void SetSampleBar(int) override {}
    void SetProgramBar(int) override {}
    std::vector<std::string> lines;
};

// Adds the WAV file `name` of the program's directory as its next entry.
inline void AddSampleFile(program::Program& program, program::UserMessages& messages,
                          const std::string& name) {
    program::WavInfo wav(messages);
    ASSERT_TRUE(wav.Open(program.SampleFilePath(name), name));
    program.InitSampleEntry(program.sampleCount, name, wav);
    ++program.sampleCount;
}

// The frames of one part of an entry as the senders read them, from its sound start.
inline std::vector<std::int16_t> PartFrames(const program::Program& program,
                                            program::UserMessages& messages, int entry, int part) {
    const program::SampleBlock& sample = program.samples[static_cast<std::size_t>(entry)].sample;
    program::WavInfo wav(messages);
    const std::string name = program::FieldText(sample.fileName);
    EXPECT_TRUE(wav.Open(program.SampleFilePath(name), name));
    wav.Seek(sample.soundStart);
    std::vector<std::int16_t> frames;
    for (std::uint32_t i = 0; i < sample.lengthWords; ++i) {
        frames.push_back(static_cast<std::int16_t>(wav.ReadFrame(part)));
    }
    return frames;
}

} // namespace velomire::testing
